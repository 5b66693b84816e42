#pragma once
// A view that lists one log table a page at a time from the server through a LogStore: the
// page model, the store on the console's log connection (or one set for the view), the paging
// keys, stopping a count, and a failed statement shown as a message. The access and upload
// logs and the print preview are such views; they say how a table row becomes a list row.

#include "overseer/core/consoleview.h"
#include "overseer/core/logstore.h"
#include "overseer/core/pagemodel.h"

#include <memory>

namespace lt::overseer
{

class ConsoleContext;

class PagedLogView : public ConsoleView
{
    Q_OBJECT
public:
    PagedLogView(ConsoleContext& context, LogTable table, QObject* parent);
    ~PagedLogView() override;

    QAbstractItemModel* model() override { return &model_; }
    PageModel& pageModel() { return model_; }
    void firstPage() override { turn(&LogStore::日志_显示首页数据); }
    void previousPage() override { turn(&LogStore::日志_显示上页数据); }
    void nextPage() override { turn(&LogStore::日志_显示下页数据); }
    void lastPage() override { turn(&LogStore::日志_显示尾页数据); }
    void cancelWork() override { turn(&LogStore::cancelCount); }

    // The store of the list shown; null before the view was first shown.
    LogStore* store() const { return store_.get(); }
    // The connection string of the workers; by default Cnn0's.
    void setConnectionString(const QString& connectionString) { connection_ = connectionString; }
    QString connectionString() const;

protected:
    // The texts of a list row from the fields of a table row.
    virtual QStringList rowTexts(const QStringList& fields) const = 0;
    // After a new page went into the model.
    virtual void pageShown() {}
    // The store on the current connection string (a new one when that changed).
    LogStore& ensureStore();

    ConsoleContext& context_;
    PageModel model_;

private:
    // The store's step, once there is a store.
    void turn(void (LogStore::*step)())
    {
        if (store_)
            (store_.get()->*step)();
    }

    LogTable table_;
    QString connection_;
    std::unique_ptr<LogStore> store_;
    QString storeConnection_; // the one store_'s workers were opened on
};

} // namespace lt::overseer
