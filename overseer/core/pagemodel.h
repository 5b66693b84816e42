#pragma once
// The one row model of the console's lists: the column layout (header, width in twips,
// alignment) and the rows shown (a log page, a page of an administration list, a statistics
// page), each row its texts in column order, with an optional small icon per row. The list
// sorts the rows shown only. Rows added to a list shown are appended (beginInsertRows), so the
// list keeps its selection and scroll position; a new page replaces the rows.

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <functional>

namespace lt::overseer
{

// A column of a list layout; widths are in twips (15 twips = 1 pixel at 96 dpi).
struct ColumnFormat {
    QString header;
    int twips = 0;
    bool centred = false;
};
using ColumnLayout = QList<ColumnFormat>;

// Pixels of a width in twips at the given dots per inch.
int twipsToPixels(int twips, qreal dpi = 96);

class PageModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The column width in twips, under Qt::UserRole of the horizontal header.
    static constexpr int kTwipsRole = Qt::UserRole;
    // True under this role of the first column's header when its rows carry icons: the list
    // widens that column by the icon, so that the icon does not take the width of the text.
    static constexpr int kHasIconsRole = Qt::UserRole + 1;

    // A row's icon index (into the image list of iconFor) from its texts.
    using IconOf = std::function<int(const QStringList& texts)>;
    using IconFor = std::function<QIcon(int index)>;

    using QAbstractTableModel::QAbstractTableModel;

    // Removes all rows and columns and puts the layout's columns in.
    void setLayout(const ColumnLayout& layout);
    const ColumnLayout& layout() const { return columns_; }
    // Texts beyond the last column: not kept (a log page), or kept as the row's sub-items
    // without a column (an administration row, whose statements read them).
    void setKeepsHiddenTexts(bool keep) { keepsHidden_ = keep; }
    // The rows' small icons in the first column; none unless set.
    void setIcons(IconOf iconOf, IconFor iconFor);
    // Replaces the rows; a row shorter than the layout is filled with empty texts.
    void setRows(QList<QStringList> rows);
    void clearRows();
    // Adds rows after the last one; the rows already shown stay as they are.
    void appendRows(QList<QStringList> rows);
    void appendRow(const QStringList& texts) { appendRows({texts}); }
    // Changes one text of a row (a sub-item without a column too).
    void setText(int row, int column, const QString& text);
    const QStringList& rowTexts(int row) const { return rows_.at(row); }
    // Empty for a row or column that is not there.
    QString text(int row, int column) const;
    const QList<QStringList>& rows() const { return rows_; }
    int iconIndex(int row) const;

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
    bool labelsEditable() const { return labelsEditable_; }

private:
    void fit(QStringList& row) const;
    ColumnLayout columns_;
    QList<QStringList> rows_;
    bool labelsEditable_ = false;
    bool keepsHidden_ = false;
    IconOf iconOf_;
    IconFor iconFor_;
};

} // namespace lt::overseer
