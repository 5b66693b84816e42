#include "overseer/core/pagedlogview.h"

#include "common/datasources.h"
#include "common/widgets/messages.h"
#include "overseer/core/consolecontext.h"

namespace lt::overseer
{

PagedLogView::PagedLogView(ConsoleContext& context, LogTable table, QObject* parent)
    : context_(context), table_(std::move(table))
{
    setParent(parent);
}

PagedLogView::~PagedLogView() = default;

QString PagedLogView::connectionString() const
{
    if (!connection_.isEmpty())
        return connection_;
    if (context_.MySql && !context_.MySql->Cnn0.connectionString().isEmpty())
        return context_.MySql->Cnn0.connectionString();
    return dsn::chosenConnectionStrings().log;
}

LogStore& PagedLogView::ensureStore()
{
    const QString connection = connectionString();
    if (store_ && storeConnection_ == connection)
        return *store_;
    store_ = std::make_unique<LogStore>(table_, connection);
    storeConnection_ = connection;
    connect(store_.get(), &LogStore::pageChanged, this, [this] {
        QList<QStringList> rows;
        for (const QStringList& fields : store_->page())
            rows << rowTexts(fields);
        model_.setRows(std::move(rows));
        pageShown();
    });
    connect(store_.get(), &LogStore::rowsDeleted, this, [this](const QList<int>& rows) {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            model_.removeRows(*it, 1);
    });
    connect(store_.get(), &LogStore::statusChanged, this, [this] { setStatus(store_->status()); });
    connect(store_.get(), &LogStore::failed, this, [this](const QString& message) {
        ui::message(window(), message, ui::Icon::Exclamation);
    });
    return *store_;
}

} // namespace lt::overseer
