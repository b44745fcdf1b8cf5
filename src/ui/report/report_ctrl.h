// A multi-column report list with a flat header and, under each row, a preview area whose
// height is set per row and whose contents the owner draws. Built on Qt's model/view classes:
// CReportCtrl is the view, ReportModel holds the rows, ReportDelegate sizes and paints them.
// Rows are addressed by index, top to bottom, as the owner inserted them.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QList>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <functional>

namespace zorbek {

// The rows: one text per column and the height of the preview area below them.
class ReportModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kPreviewHeightRole = Qt::UserRole + 1;

  explicit ReportModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

  void InsertColumn(int index, const QString& title);
  // index is clamped to 0..rowCount(); texts beyond the columns are dropped, missing ones empty.
  int InsertRow(int index, const QStringList& texts);
  QString Text(int row, int column) const;
  void SetText(int row, int column, const QString& text);
  // A height below 0 is measured when the row is first laid out (see SetPreviewMeasure).
  int PreviewHeight(int row) const;
  void SetPreviewHeight(int row, int height);
  using Measure = std::function<int(int row)>;
  void SetPreviewMeasure(Measure measure) { measure_ = std::move(measure); }
  void Clear();
  // Between the two, rows are inserted without telling the views row by row; the views are
  // reset once at the end. Nothing may hold an index of the model meanwhile.
  void BeginBatch();
  void EndBatch();

 private:
  int batch_ = 0;
  Measure measure_;
  struct Row {
    QStringList texts;
    mutable int previewHeight = 0;
  };
  QStringList titles_;
  QList<Row> rows_;
};

// Draws each cell's text in the upper strip of its row; the strip below is the preview.
class ReportDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit ReportDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Height of the strip that holds the cell texts, in the font of option.
  static int CellStripHeight(const QFontMetrics& metrics);
};

// A header drawn flat: no raised buttons, a thin line between the titles.
class FlatHeaderView : public QHeaderView {
  Q_OBJECT
 public:
  explicit FlatHeaderView(QWidget* parent = nullptr);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

class CReportCtrl : public QTreeView {
  Q_OBJECT
 public:
  explicit CReportCtrl(QWidget* parent = nullptr);

  // ---- columns ----
  int InsertColumn(int index, const QString& title, int width);
  int GetColumnCount() const;
  void SetColumnWidth(int column, int width);
  int GetColumnWidth(int column) const;
  void HideColumn(int column, bool hide = true);

  // ---- rows ----
  // Inserts a row at index (clamped to 0..count) with one text per column; returns its index.
  int InsertItem(int index, const QStringList& texts);
  int GetItemCount() const;
  QString GetItemText(int row, int column) const;
  void SetItemText(int row, int column, const QString& text);
  bool DeleteItem(int row);
  void DeleteAllItems();
  // Many rows at once (filling the list): see ReportModel::BeginBatch.
  void BeginBatch() { model_->BeginBatch(); }
  void EndBatch() { model_->EndBatch(); }

  // ---- selection (several rows; Ctrl and Shift as usual) ----
  // The selected row with the lowest index, or -1.
  int GetFirstSelectedItem() const;
  // The next selected row below after, or -1.
  int GetNextSelectedItem(int after) const;
  int GetSelectedCount() const;
  bool IsItemSelected(int row) const;
  void SelectItem(int row, bool select = true);
  void ClearSelection() { clearSelection(); }

  // ---- preview area ----
  // height < 0: measured by the owner's function when the row is first laid out, so that a
  // long list opens without measuring rows nobody sees.
  void SetItemPreviewHeight(int row, int height);
  void SetPreviewMeasure(ReportModel::Measure measure) { model_->SetPreviewMeasure(std::move(measure)); }
  int GetItemPreviewHeight(int row) const;
  // The preview area of row in viewport coordinates (empty when the row is not laid out).
  QRect PreviewRect(int row) const;
  // The height text needs in the list's font, wrapped at width pixels (0 = no wrapping).
  // "\r\n" counts as one line break.
  int MeasureTextHeight(const QString& text, int width = 0) const;
  // The width the preview text of a row gets: the viewport less the owner's margins.
  int ViewportWidth() const;

  ReportModel* Model() const { return model_; }

 signals:
  // A press on the list where there is no row.
  void emptyAreaClicked();
  // A double-click (or Enter) on a row, or on the empty area (row -1).
  void itemDoubleClicked(int row);
  // A row was selected or deselected.
  void itemSelectionChanged(int row, bool selected);
  // The owner draws the preview area of row into rect (viewport coordinates) with painter.
  void drawPreview(QPainter* painter, int row, bool selected, const QRect& rect);

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

  ReportModel* model_;
};

}  // namespace zorbek
