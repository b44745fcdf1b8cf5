#include "ui/report/report_ctrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <vector>

namespace zorbek {

// ---- model ---------------------------------------------------------------------------------

int ReportModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_.size()) return {};
  const Row& row = rows_[index.row()];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return index.column() < row.texts.size() ? row.texts[index.column()] : QString();
    case kPreviewHeightRole: return PreviewHeight(index.row());
    default: return {};
  }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < titles_.size())
    return titles_[section];
  return {};
}

bool ReportModel::removeRows(int row, int count, const QModelIndex& parent) {
  if (parent.isValid() || row < 0 || count <= 0 || row + count > rows_.size()) return false;
  beginRemoveRows({}, row, row + count - 1);
  rows_.remove(row, count);
  endRemoveRows();
  return true;
}

void ReportModel::InsertColumn(int index, const QString& title) {
  index = std::clamp(index, 0, static_cast<int>(titles_.size()));
  beginInsertColumns({}, index, index);
  titles_.insert(index, title);
  for (Row& r : rows_)
    if (index <= r.texts.size()) r.texts.insert(index, QString());
  endInsertColumns();
}

int ReportModel::InsertRow(int index, const QStringList& texts) {
  index = std::clamp(index, 0, static_cast<int>(rows_.size()));
  Row row;
  row.texts = texts.mid(0, titles_.size());
  if (batch_) {
    rows_.insert(index, std::move(row));
    return index;
  }
  beginInsertRows({}, index, index);
  rows_.insert(index, std::move(row));
  endInsertRows();
  return index;
}

QString ReportModel::Text(int row, int column) const {
  if (row < 0 || row >= rows_.size() || column < 0) return {};
  const QStringList& texts = rows_[row].texts;
  return column < texts.size() ? texts[column] : QString();
}

void ReportModel::SetText(int row, int column, const QString& text) {
  if (row < 0 || row >= rows_.size() || column < 0 || column >= titles_.size()) return;
  QStringList& texts = rows_[row].texts;
  while (texts.size() <= column) texts.append(QString());
  if (texts[column] == text) return;
  texts[column] = text;
  if (batch_) return;
  const QModelIndex i = index(row, column);
  emit dataChanged(i, i, {Qt::DisplayRole});
}

int ReportModel::PreviewHeight(int row) const {
  if (row < 0 || row >= rows_.size()) return 0;
  const Row& r = rows_[row];
  if (r.previewHeight < 0) r.previewHeight = measure_ ? std::max(0, measure_(row)) : 0;
  return r.previewHeight;
}

void ReportModel::SetPreviewHeight(int row, int height) {
  if (row < 0 || row >= rows_.size()) return;
  height = std::max(-1, height);
  if (rows_[row].previewHeight == height) return;
  rows_[row].previewHeight = height;
  if (batch_) return;
  // Every cell of the row changes its size hint.
  emit dataChanged(index(row, 0), index(row, columnCount() - 1), {kPreviewHeightRole});
}

void ReportModel::BeginBatch() {
  if (batch_++ == 0) beginResetModel();
}

void ReportModel::EndBatch() {
  if (batch_ > 0 && --batch_ == 0) endResetModel();
}

void ReportModel::Clear() {
  if (rows_.isEmpty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

// ---- delegate ------------------------------------------------------------------------------

int ReportDelegate::CellStripHeight(const QFontMetrics& metrics) { return metrics.height() + 8; }

QSize ReportDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const int preview = index.data(ReportModel::kPreviewHeightRole).toInt();
  return QSize(option.rect.width() > 0 ? option.rect.width() : 100,
               CellStripHeight(option.fontMetrics) + preview);
}

void ReportDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = option.widget;
  QStyle* style = widget ? widget->style() : QApplication::style();
  // The selection background covers the preview strip too.
  const QString text = opt.text;
  opt.text.clear();
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
  // The text in the upper strip.
  opt.text = text;
  opt.rect.setHeight(std::min(opt.rect.height(), CellStripHeight(opt.fontMetrics)));
  opt.state &= ~QStyle::State_HasFocus;
  opt.backgroundBrush = Qt::NoBrush;
  opt.showDecorationSelected = false;
  // No second background: draw the text over what is there.
  const QStyle::State state = opt.state;
  opt.state &= ~QStyle::State_Selected;
  QPalette::ColorGroup group = (state & QStyle::State_Enabled)
                                   ? ((state & QStyle::State_Active) ? QPalette::Normal
                                                                     : QPalette::Inactive)
                                   : QPalette::Disabled;
  const QColor ink = (state & QStyle::State_Selected)
                         ? opt.palette.color(group, QPalette::HighlightedText)
                         : opt.palette.color(group, QPalette::Text);
  opt.palette.setColor(QPalette::Text, ink);
  const QRect textRect = opt.rect.adjusted(6, 0, -4, 0);
  painter->save();
  painter->setPen(ink);
  painter->setFont(opt.font);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    opt.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
  painter->restore();
}

// ---- header --------------------------------------------------------------------------------

FlatHeaderView::FlatHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(false);
  setHighlightSections(false);
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void FlatHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!rect.isValid()) return;
  const QPalette& pal = palette();
  painter->save();
  painter->fillRect(rect, pal.color(QPalette::Window));
  painter->setPen(pal.color(QPalette::Mid));
  painter->drawLine(rect.topRight(), rect.bottomRight());
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());
  painter->setPen(pal.color(QPalette::WindowText));
  const QString title = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString()
                                : QString();
  const QRect textRect = rect.adjusted(6, 0, -4, 0);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    fontMetrics().elidedText(title, Qt::ElideRight, textRect.width()));
  painter->restore();
}

// ---- view ----------------------------------------------------------------------------------

CReportCtrl::CReportCtrl(QWidget* parent) : QTreeView(parent), model_(new ReportModel(this)) {
  setObjectName(QStringLiteral("CReportCtrl"));
  setHeader(new FlatHeaderView(this));
  setModel(model_);
  setItemDelegate(new ReportDelegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(false);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // By row: a view scrolled by pixels needs the height of every row to size its scroll bar.
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &CReportCtrl::OnSelectionChanged);
}

int CReportCtrl::InsertColumn(int index, const QString& title, int width) {
  index = std::clamp(index, 0, model_->columnCount());
  model_->InsertColumn(index, title);
  header()->resizeSection(index, width);
  return index;
}

int CReportCtrl::GetColumnCount() const { return model_->columnCount(); }

void CReportCtrl::SetColumnWidth(int column, int width) { header()->resizeSection(column, width); }

int CReportCtrl::GetColumnWidth(int column) const { return header()->sectionSize(column); }

void CReportCtrl::HideColumn(int column, bool hide) { setColumnHidden(column, hide); }

int CReportCtrl::InsertItem(int index, const QStringList& texts) {
  return model_->InsertRow(index, texts);
}

int CReportCtrl::GetItemCount() const { return model_->rowCount(); }

QString CReportCtrl::GetItemText(int row, int column) const { return model_->Text(row, column); }

void CReportCtrl::SetItemText(int row, int column, const QString& text) {
  model_->SetText(row, column, text);
}

bool CReportCtrl::DeleteItem(int row) { return model_->removeRows(row, 1); }

void CReportCtrl::DeleteAllItems() { model_->Clear(); }

int CReportCtrl::GetFirstSelectedItem() const { return GetNextSelectedItem(-1); }

int CReportCtrl::GetNextSelectedItem(int after) const {
  int best = INT_MAX;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    if (range.bottom() <= after) continue;
    best = std::min(best, std::max(range.top(), after + 1));
  }
  return best == INT_MAX ? -1 : best;
}

int CReportCtrl::GetSelectedCount() const {
  // Rows, not cells: the ranges of a row selection may overlap after Ctrl clicks.
  int n = 0;
  for (int r = GetFirstSelectedItem(); r >= 0; r = GetNextSelectedItem(r)) ++n;
  return n;
}

bool CReportCtrl::IsItemSelected(int row) const {
  return row >= 0 && row < GetItemCount() &&
         selectionModel()->isRowSelected(row, QModelIndex());
}

void CReportCtrl::SelectItem(int row, bool select) {
  if (row < 0 || row >= GetItemCount()) return;
  selectionModel()->select(model_->index(row, 0),
                           (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                               QItemSelectionModel::Rows);
}

void CReportCtrl::SetItemPreviewHeight(int row, int height) {
  model_->SetPreviewHeight(row, height);
}

int CReportCtrl::GetItemPreviewHeight(int row) const { return model_->PreviewHeight(row); }

QRect CReportCtrl::PreviewRect(int row) const {
  if (row < 0 || row >= GetItemCount()) return {};
  const QRect rowRect = visualRect(model_->index(row, GetColumnCount() - 1));
  if (!rowRect.isValid()) return {};
  const int strip = ReportDelegate::CellStripHeight(fontMetrics());
  return QRect(0, rowRect.top() + strip, viewport()->width(),
               std::max(0, rowRect.height() - strip));
}

int CReportCtrl::MeasureTextHeight(const QString& text, int width) const {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  const QFontMetrics m = fontMetrics();
  if (width <= 0)
    return m.boundingRect(QRect(0, 0, INT_MAX / 4, INT_MAX / 4), 0, t).height();
  return m.boundingRect(QRect(0, 0, width, INT_MAX / 4), Qt::TextWordWrap, t).height();
}

int CReportCtrl::ViewportWidth() const { return viewport()->width(); }

void CReportCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
  QTreeView::drawRow(painter, option, index);
  const int strip = ReportDelegate::CellStripHeight(option.fontMetrics);
  const QRect preview(option.rect.left(), option.rect.top() + strip, viewport()->width(),
                      option.rect.height() - strip);
  if (preview.height() <= 0) return;
  painter->save();
  painter->setClipRect(preview, Qt::IntersectClip);
  emit const_cast<CReportCtrl*>(this)->drawPreview(painter, index.row(),
                                                   IsItemSelected(index.row()), preview);
  painter->restore();
}

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
  if (!indexAt(event->position().toPoint()).isValid()) emit emptyAreaClicked();
  QTreeView::mousePressEvent(event);
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QModelIndex index = indexAt(event->position().toPoint());
  emit itemDoubleClicked(index.isValid() ? index.row() : -1);
}

void CReportCtrl::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier && currentIndex().isValid()) {
    emit itemDoubleClicked(currentIndex().row());
    return;
  }
  QTreeView::keyPressEvent(event);
}

void CReportCtrl::OnSelectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
  // One notification per row, whatever number of columns the ranges span.
  const auto rowsOf = [](const QItemSelection& s) {
    std::vector<int> rows;
    for (const QItemSelectionRange& r : s)
      for (int row = r.top(); row <= r.bottom(); ++row) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
  };
  for (int row : rowsOf(deselected))
    if (!IsItemSelected(row)) emit itemSelectionChanged(row, false);
  for (int row : rowsOf(selected)) emit itemSelectionChanged(row, true);
}

}  // namespace zorbek
