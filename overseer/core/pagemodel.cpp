#include "overseer/core/pagemodel.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace lt::overseer
{

int twipsToPixels(int twips, qreal dpi)
{
    return int(std::lround(twips * dpi / 1440.0));
}

void PageModel::setLayout(const ColumnLayout& layout)
{
    beginResetModel();
    columns_ = layout;
    rows_.clear();
    endResetModel();
}

void PageModel::setIcons(IconOf iconOf, IconFor iconFor)
{
    iconOf_ = std::move(iconOf);
    iconFor_ = std::move(iconFor);
    if (!rows_.isEmpty())
        emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, 0), {Qt::DecorationRole});
}

void PageModel::fit(QStringList& row) const
{
    if (!keepsHidden_ && row.size() > columns_.size())
        row.resize(columns_.size());
    while (row.size() < columns_.size())
        row << QString();
}

void PageModel::setRows(QList<QStringList> rows)
{
    beginResetModel();
    for (QStringList& row : rows)
        fit(row);
    rows_ = std::move(rows);
    endResetModel();
}

void PageModel::clearRows()
{
    setRows({});
}

void PageModel::appendRows(QList<QStringList> rows)
{
    if (rows.isEmpty())
        return;
    for (QStringList& row : rows)
        fit(row);
    const int first = int(rows_.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    rows_ << std::move(rows);
    endInsertRows();
}

void PageModel::setText(int row, int column, const QString& text)
{
    if (row < 0 || row >= rows_.size() || column < 0)
        return;
    if (column >= columns_.size() && !keepsHidden_)
        return;
    QStringList& texts = rows_[row];
    while (texts.size() <= column)
        texts << QString();
    texts[column] = text;
    // The whole row: its icon may follow from any of its texts.
    if (!columns_.isEmpty())
        emit dataChanged(index(row, 0), index(row, int(columns_.size()) - 1));
}

QString PageModel::text(int row, int column) const
{
    if (row < 0 || row >= rows_.size())
        return {};
    return rows_[row].value(column);
}

int PageModel::iconIndex(int row) const
{
    return iconOf_ && row >= 0 && row < rows_.size() ? iconOf_(rows_[row]) : 0;
}

int PageModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int PageModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant PageModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return rows_[index.row()][index.column()];
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            Qt::Alignment((columns_[index.column()].centred ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignVCenter));
    case Qt::DecorationRole:
        if (index.column() == 0 && iconOf_ && iconFor_)
            return iconFor_(iconOf_(rows_[index.row()]));
        return {};
    default:
        return {};
    }
}

bool PageModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    setText(index.row(), index.column(), value.toString());
    return true;
}

QVariant PageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return {};
    if (role == Qt::DisplayRole)
        return columns_[section].header;
    if (role == kTwipsRole)
        return columns_[section].twips;
    if (role == kHasIconsRole)
        return section == 0 && iconOf_ && iconFor_;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment(columns_[section].centred ? Qt::AlignHCenter : Qt::AlignLeft));
    return {};
}

Qt::ItemFlags PageModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (labelsEditable_ && index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

void PageModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columns_.size())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> order_(rows_.size());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        const int c = QString::compare(rows_[a][column], rows_[b][column]);
        return order == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    QList<QStringList> sorted;
    QList<int> newRowOf(rows_.size());
    for (int i = 0; i < order_.size(); ++i) {
        sorted << rows_[order_[i]];
        newRowOf[order_[i]] = i;
    }
    rows_ = std::move(sorted);
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << createIndex(newRowOf[index.row()], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool PageModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rows_.size())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    rows_.remove(row, count);
    endRemoveRows();
    return true;
}

} // namespace lt::overseer
