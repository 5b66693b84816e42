#pragma once
// The rows of an administration view as the list shows them: each row its texts (the row's
// text first, then its sub-items, including those without a column) and its small icon. The
// views add, change and remove rows at once as the database accepts each change.

#include "overseer/core/pagemodel.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <functional>

namespace lt::overseer::admin
{

// The small icons of the administration's rows, by their index: 2 a terminal, 15 a terminal of
// the built-in group, 3 a group, 8 a black-list entry, 9 a white-list entry, 10 a recent visit.
QIcon rowIcon(int index);

class ListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using IconOf = std::function<int(const QStringList& texts)>;
    explicit ListModel(IconOf iconOf, QObject* parent = nullptr);

    void setLayout(const ColumnLayout& layout);
    void setRows(QList<QStringList> rows);
    const QList<QStringList>& rows() const { return rows_; }
    QString text(int row, int column) const;
    void setText(int row, int column, const QString& text);
    void appendRow(const QStringList& texts);
    int iconIndex(int row) const;
    // In-place editing of the row text; on while label editing is automatic.
    void setLabelsEditable(bool editable) { labelsEditable_ = editable; }
    bool labelsEditable() const { return labelsEditable_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

private:
    IconOf iconOf_;
    ColumnLayout columns_;
    QList<QStringList> rows_;
    bool labelsEditable_ = false;
};

} // namespace lt::overseer::admin
