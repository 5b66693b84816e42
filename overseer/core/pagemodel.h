#pragma once
// One page of a view's rows as a table model: the column layout (header, width in twips,
// alignment) and at most a page of rows, each row its texts in column order. The list sorts
// within the page only.

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace lt::overseer
{

// A column of a list layout; widths are in twips (15 twips = 1 pixel at 96 dpi).
struct ColumnSpec {
    QString header;
    int twips = 0;
    bool centred = false;
};
using ColumnLayout = QList<ColumnSpec>;

// Pixels of a width in twips at the given dots per inch.
int twipsToPixels(int twips, qreal dpi = 96);

class PageModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The column width in twips, under Qt::UserRole of the horizontal header.
    static constexpr int kTwipsRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    // Removes all rows and columns and puts the layout's columns in.
    void setLayout(const ColumnLayout& layout);
    const ColumnLayout& layout() const { return columns_; }
    // Replaces the rows; texts beyond the last column are not kept.
    void setRows(QList<QStringList> rows);
    void clearRows();
    const QStringList& rowTexts(int row) const { return rows_.at(row); }
    QString text(int row, int column) const;
    const QList<QStringList>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Text order on one column; rows that compare equal keep their order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

    // In-place editing of the row text (first column); off unless a view turns it on.
    void setLabelsEditable(bool editable) { labelsEditable_ = editable; }

private:
    ColumnLayout columns_;
    QList<QStringList> rows_;
    bool labelsEditable_ = false;
};

} // namespace lt::overseer
