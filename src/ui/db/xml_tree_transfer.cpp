// The note tree's import and export commands and its drag and drop: moving folders and notes
// inside the tree, notes dragged out to a file manager, ".esr" files dropped in from one.
#include <QCoreApplication>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <unistd.h>

#include "ui/app/qt_text.h"
#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {
namespace {


// Near the top or the bottom of the view a drag scrolls it.
constexpr int kScrollMargin = 16;

// The local files of dropped data, in order.
QStringList LocalFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files.push_back(url.toLocalFile());
  return files;
}

// Where the file dialogs of import and export open: the user's home, then the directory of the
// files chosen last.
std::string& TransferDirectory() {
  static std::string dir = QDir::homePath().toStdString();
  return dir;
}

}  // namespace

void CXmlTreeCtrl::InitTransfer() {
  setDragDropMode(QAbstractItemView::DragDrop);
  setDropIndicatorShown(false);  // the item under the cursor is highlighted instead
}

// ---- import and export -------------------------------------------------------------------

void CXmlTreeCtrl::SelectAdded(const std::vector<TransferOutcome>& results) {
  for (const TransferOutcome& out : results) {
    if (!out.done) continue;
    QTreeWidgetItem* item = ItemOfPath(out.item);
    if (!item) continue;
    ExpandQuietly(item->parent(), true);
    setCurrentItem(item);
  }
}

void CXmlTreeCtrl::ImportFiles(QTreeWidgetItem* item) {
  if (!item) return;
  const std::vector<std::string> files =
      prompts().OpenFiles("导入文件", kImportFilter, TransferDirectory(), true);
  if (files.empty()) return;
  TransferDirectory() = DirectoryOf(files.front());
  setCurrentItem(item);
  const auto results = transfer_.Import(ItemPathOf(item), files);
  SelectAdded(results);
  for (const TransferOutcome& out : results) Report(out);
}

void CXmlTreeCtrl::ExportNote(QTreeWidgetItem* item) {
  if (!item) return;
  const ItemPath path = ItemPathOf(item);
  const TransferOutcome can = transfer_.CanExport(path);
  if (!can.done) {
    Report(can);
    return;
  }
  // The dialog asks before it replaces an existing file.
  const std::optional<std::string> file =
      prompts().SaveFile("导出文件", kExportFilter, JoinPath(TransferDirectory(), path.back() + ".rtf"), "");
  if (!file) return;
  TransferDirectory() = DirectoryOf(*file);
  Report(transfer_.Export(path, *file));
}

// ---- dragging out and inside -------------------------------------------------------------

QMimeData* CXmlTreeCtrl::DragData(QTreeWidgetItem* item, std::string* missing) const {
  if (!item) return nullptr;
  const ItemPath path = ItemPathOf(item);
  if (!CanDragItem(path) || TopLevelItemOf(item) != fileBox_) return nullptr;
  auto* data = new QMimeData;
  QString text = QString::number(::getpid());
  for (const std::string& name : path) text += u'\n' + Q(name);
  data->setData(QString::fromLatin1(kItemMimeType), text.toUtf8());
  const TransferOutcome file = transfer_.DragOutFile(path);
  if (file.done) data->setUrls({QUrl::fromLocalFile(Q(file.file))});
  else if (missing) *missing = file.message;
  return data;
}

QTreeWidgetItem* CXmlTreeCtrl::DraggedItemOf(const QMimeData* data) const {
  const QString format = QString::fromLatin1(kItemMimeType);
  if (!data || !data->hasFormat(format)) return nullptr;
  const QStringList lines = QString::fromUtf8(data->data(format)).split(u'\n');
  if (lines.size() < 2 || lines[0] != QString::number(::getpid())) return nullptr;
  ItemPath path;
  for (qsizetype i = 1; i < lines.size(); ++i) path.push_back(S(lines[i]));
  return ItemOfPath(path);
}

void CXmlTreeCtrl::startDrag(Qt::DropActions) {
  QTreeWidgetItem* item = currentItem();
  std::string missing;
  QMimeData* data = DragData(item, &missing);
  if (!data) return;  // the top-level items and the timetable's are not dragged

  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  // The drag image is the item's row, held at its middle.
  QRect rect = visualItemRect(item);
  rect.setWidth(std::min(rect.width(), iconSize().width() + 12 +
                                           fontMetrics().horizontalAdvance(item->text(0))));
  const QPixmap image = viewport()->grab(rect);
  drag->setPixmap(image);
  drag->setHotSpot(QPoint(image.width() / 2, image.height() / 2));

  dragged_ = QPersistentModelIndex(indexFromItem(item));
  dragLeft_ = false;
  drag->exec(kDragActions, Qt::CopyAction);
  const bool left = dragLeft_;
  dragged_ = QPersistentModelIndex();
  dragLeft_ = false;
  SetDropHighlight(nullptr);
  // Out of the window a note without file had nothing to offer.
  if (left && !missing.empty()) prompts().Message(missing);
}

QTreeWidgetItem* CXmlTreeCtrl::DropHighlightItem() const {
  return dropHighlight_.isValid() ? itemFromIndex(dropHighlight_) : nullptr;
}

void CXmlTreeCtrl::SetDropHighlight(QTreeWidgetItem* item) {
  QTreeWidgetItem* old = DropHighlightItem();
  if (old == item) return;
  if (old) {
    old->setData(0, Qt::BackgroundRole, QVariant());
    old->setData(0, Qt::ForegroundRole, QVariant());
  }
  dropHighlight_ = item ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
  if (item) {
    item->setBackground(0, palette().highlight());
    item->setForeground(0, palette().highlightedText());
  }
}

void CXmlTreeCtrl::dragEnterEvent(QDragEnterEvent* event) {
  if (DraggedItemOf(event->mimeData()) || !LocalFiles(event->mimeData()).isEmpty()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void CXmlTreeCtrl::dragMoveEvent(QDragMoveEvent* event) {
  const QPoint pos = event->position().toPoint();
  // The view scrolls when the cursor comes near its top or bottom edge.
  if (pos.y() < kScrollMargin)
    verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
  else if (pos.y() > viewport()->height() - kScrollMargin)
    verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);

  QTreeWidgetItem* target = itemAt(pos);
  if (QTreeWidgetItem* dragged = DraggedItemOf(event->mimeData())) {
    // An internal drag: the item under the cursor is highlighted; where a release would change
    // nothing (itself, below itself, outside the file box) the cursor says so.
    SetDropHighlight(target);
    const bool useful = target && TopLevelItemOf(target) == fileBox_ &&
                        !IsSameOrBelow(ItemPathOf(target), ItemPathOf(dragged));
    event->setDropAction(Qt::CopyAction);
    event->setAccepted(useful);
    return;
  }
  if (LocalFiles(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  // Files from a file manager select the item under the cursor; they land there.
  if (target) setCurrentItem(target);
  else clearSelection();
  event->setDropAction(Qt::CopyAction);
  event->setAccepted(target != nullptr);
}

void CXmlTreeCtrl::dragLeaveEvent(QDragLeaveEvent* event) {
  SetDropHighlight(nullptr);
  if (dragged_.isValid()) dragLeft_ = true;
  event->accept();
}

void CXmlTreeCtrl::dropEvent(QDropEvent* event) {
  SetDropHighlight(nullptr);
  const QPoint pos = event->position().toPoint();
  if (QTreeWidgetItem* dragged = DraggedItemOf(event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The move runs once the drag has ended, so that its messages do not stop the drag loop.
    const QPersistentModelIndex from(indexFromItem(dragged));
    QTreeWidgetItem* target = itemAt(pos);
    const QPersistentModelIndex to = target ? QPersistentModelIndex(indexFromItem(target))
                                            : QPersistentModelIndex();
    const bool onItem = target != nullptr;
    QMetaObject::invokeMethod(
        this,
        [this, from, to, onItem] {
          if (!from.isValid() || (onItem && !to.isValid())) return;
          DropItem(itemFromIndex(from), onItem ? itemFromIndex(to) : nullptr);
        },
        Qt::QueuedConnection);
    return;
  }
  const QStringList files = LocalFiles(event->mimeData());
  if (files.isEmpty() || !SelectedItem()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  // The file manager is not kept waiting for the copies and their messages.
  QMetaObject::invokeMethod(this, [this, files] { DropFiles(files); }, Qt::QueuedConnection);
}

void CXmlTreeCtrl::DropItem(QTreeWidgetItem* dragged, QTreeWidgetItem* target) {
  if (!dragged) return;
  const ItemPath from = ItemPathOf(dragged);
  std::optional<ItemPath> to;
  if (target) to = ItemPathOf(target);
  // A folder released on an item opens that item (the tree's own choice: nothing is written).
  const bool folder = to && CanDragItem(from) && IsInFileBox(*to) && !IsSameOrBelow(*to, from) &&
                     EqualsIgnoreLatinCase(ItemTypeOf(dragged), "dir");
  const QPersistentModelIndex targetIndex =
      target ? QPersistentModelIndex(indexFromItem(target)) : QPersistentModelIndex();
  const TransferOutcome out = transfer_.Drop(from, to);
  if (out.done)
    if (QTreeWidgetItem* moved = ItemOfPath(out.item)) setCurrentItem(moved);
  if (folder && targetIndex.isValid()) ExpandQuietly(itemFromIndex(targetIndex), true);
  Report(out);
}

void CXmlTreeCtrl::DropFiles(const QStringList& paths) {
  QTreeWidgetItem* selected = SelectedItem();
  if (!selected) return;
  std::vector<std::string> files;
  for (const QString& p : paths) files.push_back(S(p));
  const auto results = transfer_.DropFiles(ItemPathOf(selected), files);
  SelectAdded(results);
  for (const TransferOutcome& out : results) Report(out);
}

}  // namespace zorbek
