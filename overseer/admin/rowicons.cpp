#include "overseer/admin/listmodel.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <numeric>

namespace lt::overseer::admin
{

namespace
{

struct IconLook {
    QColor colour;
    QString letter;
};

IconLook lookOf(int index)
{
    switch (index) {
    case 2:
        return {QColor(48, 110, 190), QStringLiteral("终")};
    case 15:
        return {QColor(226, 140, 30), QStringLiteral("临")};
    case 3:
        return {QColor(40, 150, 90), QStringLiteral("组")};
    case 8:
        return {QColor(40, 40, 40), QStringLiteral("黑")};
    case 9:
        return {QColor(150, 160, 175), QStringLiteral("白")};
    case 10:
        return {QColor(120, 80, 170), QStringLiteral("访")};
    default:
        return {QColor(128, 128, 128), QString()};
    }
}

} // namespace

QIcon rowIcon(int index)
{
    static QHash<int, QIcon> icons;
    if (const auto it = icons.constFind(index); it != icons.cend())
        return *it;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const IconLook look = lookOf(index);
        painter.setBrush(look.colour);
        painter.setPen(look.colour.darker(130));
        painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, look.letter);
    }
    return icons.insert(index, QIcon(pixmap)).value();
}

ListModel::ListModel(IconOf iconOf, QObject* parent)
    : QAbstractTableModel(parent), iconOf_(std::move(iconOf))
{
}

void ListModel::setLayout(const ColumnLayout& layout)
{
    beginResetModel();
    columns_ = layout;
    rows_.clear();
    endResetModel();
}

void ListModel::setRows(QList<QStringList> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

QString ListModel::text(int row, int column) const
{
    if (row < 0 || row >= rows_.size())
        return {};
    return rows_[row].value(column);
}

void ListModel::setText(int row, int column, const QString& text)
{
    if (row < 0 || row >= rows_.size() || column < 0)
        return;
    QStringList& texts = rows_[row];
    while (texts.size() <= column)
        texts << QString();
    texts[column] = text;
    emit dataChanged(index(row, 0), index(row, std::max(0, int(columns_.size()) - 1)));
}

void ListModel::appendRow(const QStringList& texts)
{
    beginInsertRows({}, int(rows_.size()), int(rows_.size()));
    rows_ << texts;
    endInsertRows();
}

int ListModel::iconIndex(int row) const
{
    return iconOf_ && row >= 0 && row < rows_.size() ? iconOf_(rows_[row]) : 0;
}

int ListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int ListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
        return rows_[index.row()].value(index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(rowIcon(iconIndex(index.row()))) : QVariant();
    default:
        return {};
    }
}

bool ListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    setText(index.row(), index.column(), value.toString());
    return true;
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return {};
    if (role == Qt::DisplayRole)
        return columns_[section].header;
    if (role == PageModel::kTwipsRole)
        return columns_[section].twips;
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (labelsEditable_ && index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

void ListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columns_.size())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> order_(rows_.size());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        const int c = QString::compare(rows_[a].value(column), rows_[b].value(column));
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
    for (const QModelIndex& i : before)
        after << createIndex(newRowOf[i.row()], i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool ListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rows_.size())
        return false;
    beginRemoveRows({}, row, row + count - 1);
    rows_.remove(row, count);
    endRemoveRows();
    return true;
}

} // namespace lt::overseer::admin
