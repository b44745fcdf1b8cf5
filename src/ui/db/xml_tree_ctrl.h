// The note tree: the navigator's view of the folders and notes of the open notebook, and the
// entry point of every change to them. The notebook (core/notes/notebook.h) owns the database
// document, the commands and the reminder store; the tree turns a menu command, a label edit
// or a drop into one notebook call, and changes its items only when the notebook's events say
// so (added, renamed, moved, deleted, reordered, expanded or collapsed, read again from disk).
//
// An item carries no data but its text and its two images: its place (the texts of its
// ancestors) names its element and its file.
#pragma once

#include <QPersistentModelIndex>
#include <QTreeWidget>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>
#include <string>

#include "core/db/xml_document.h"
#include "core/notes/item_path.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_transfer.h"
#include "core/notes/notebook.h"

class QMenu;
class QMimeData;

namespace zorbek {


// Command ids of the tree's context menus.
namespace treecmd {
inline constexpr int kOpen = 32820;
inline constexpr int kNewNote = 32934;
inline constexpr int kNewFolder = 32808;
inline constexpr int kOpenDirectory = 32809;
inline constexpr int kRename = 32810;
inline constexpr int kCopy = 32818;
inline constexpr int kPaste = 32817;
inline constexpr int kDelete = 32811;
inline constexpr int kSearchFolder = 32908;
inline constexpr int kSortMixed = 32935;
inline constexpr int kSortFolders = 32936;
inline constexpr int kSortFiles = 32937;
inline constexpr int kImport = 32946;
inline constexpr int kExport = 32947;
inline constexpr int kMoveUp = 32944;
inline constexpr int kMoveDown = 32945;
inline constexpr int kMoveTop = 32940;
inline constexpr int kMoveBottom = 32942;
inline constexpr int kOpenPlan = 32880;
inline constexpr int kOpenHomePage = 32898;
inline constexpr int kContactMe = 32900;
}  // namespace treecmd

// The menus of the three top-level items.
enum class TreeMenu { None = 0, FileBox = 131, Schedule = 132, HomePage = 135 };

// The images of the items, by their index in the tree's image table.
enum TreeImage : int {
  kImageFileBox = 0, kImageFileBoxSelected = 1,
  kImageSchedule = 2, kImageScheduleSelected = 3,
  kImageHomePage = 6, kImageHomePageSelected = 7,
  kImageFolder = 8, kImageFolderSelected = 9,
  kImageNote = 10, kImageNoteSelected = 11,
};

class CXmlTreeCtrl : public QTreeWidget {
  Q_OBJECT
 public:
  static constexpr int kWindowId = 1001;

  // The tree shows notebook, which must outlive it; it fills itself when the notebook is opened
  // (or now, when it is open already) and follows its events from then on.
  explicit CXmlTreeCtrl(Notebook& notebook, QWidget* parent = nullptr);
  ~CXmlTreeCtrl() override;

  // Fills the file box again from the notebook, keeping the selection, the expansion (of items
  // that showed children) and the copied item where their items, named by their texts, still
  // exist; a selected item that is gone leaves its nearest remaining folder selected; the rest
  // shows as the elements say. Writes nothing. Done on kReloaded.
  void Refill();
  // The user is in the middle of something here (a label edit, a drag): a reload waits.
  bool IsBusy() const { return IsEditingLabel() || dragged_.isValid(); }

  QTreeWidgetItem* FileBoxItem() const { return fileBox_; }
  QTreeWidgetItem* ScheduleItem() const { return schedule_; }
  QTreeWidgetItem* HomePageItem() const { return homePage_; }

  // ---- items and their names ----
  // The texts of the item and its ancestors, top-level first.
  static ItemPath ItemPathOf(const QTreeWidgetItem* item);
  ElementPath ElementPathOfItem(const QTreeWidgetItem* item) const;
  std::string ItemTypeOf(const QTreeWidgetItem* item) const;
  static QTreeWidgetItem* TopLevelItemOf(QTreeWidgetItem* item);
  // The item with these texts, or null. The items of collapsed folders are made when the
  // folder is first opened or first named here: the items on the way down, and the children of
  // the item found, are made as needed.
  QTreeWidgetItem* ItemOfPath(const ItemPath& path) const;
  // Whether item is a folder whose items are not made yet (it has children, and is collapsed).
  static bool ChildrenLeftOut(const QTreeWidgetItem* item);
  // Whether item has children, made or not.
  static bool HasChildren(const QTreeWidgetItem* item);
  // The selected item, or null.
  QTreeWidgetItem* SelectedItem() const;

  // Appends the folders and notes of entry below item, recursively, and expands item when the
  // entry says so. Writes nothing.
  void FillFolder(const TreeEntry& entry, QTreeWidgetItem* item);

  // Images of an item by their index in the image table.
  void SetItemImages(QTreeWidgetItem* item, int normal, int selected);
  static int NormalImageOf(const QTreeWidgetItem* item);
  static int SelectedImageOf(const QTreeWidgetItem* item);
  // The image of the table at index (null for indexes no item uses).
  static QPixmap ImageAt(int index);

  // ---- commands ----
  // Shows an outcome's refusal message, then a failed save's. With no lock held.
  void Report(const NoteOutcome& outcome);
  // A context-menu command, applied to the selected item; ignored without one.
  void RunCommand(int id);
  // The menu the right button shows on item, with its greyed commands; null for no menu.
  std::unique_ptr<QMenu> BuildContextMenu(QTreeWidgetItem* item);
  static TreeMenu MenuOf(QTreeWidgetItem* item);
  // What a double-click does to the selected item.
  void ActivateItem(QTreeWidgetItem* item);
  // The end of a label edit on item with the edited text (a cancelled edit never comes here).
  // A name that is refused goes back into a new label edit, so that the user can correct it.
  void EndLabelEdit(QTreeWidgetItem* item, const QString& text);
  // The text a label edit starts with instead of the item's, once (the refused name).
  QString TakeRetypedLabel() { return std::exchange(retypedLabel_, QString()); }
  // Whether a label is being edited.
  bool IsEditingLabel() const { return state() == QAbstractItemView::EditingState; }
  // The item the copy command remembered; null when none or when it no longer exists.
  QTreeWidgetItem* CopiedItem() const;

  // ---- what the program connects ----
  // The home page and the author's address ("联系我"); the home page defaults to the user
  // guide beside the program.
  void SetHomePageUrl(const QUrl& url) { homePage_url_ = url; }
  QUrl HomePageUrl() const { return homePage_url_; }
  void SetContactAddress(const QString& mail) { contact_ = mail; }
  // How addresses are opened (default: the desktop's handler).
  void SetUrlOpener(std::function<bool(const QUrl&)> fn) { openUrl_ = std::move(fn); }
  // How "打开目录" shows a path: selected in the file manager (a note) or opened (a folder).
  void SetFileBrowser(std::function<void(const QString& path, bool selectFile)> fn) {
    browse_ = std::move(fn);
  }
  // How a context menu is run: returns the chosen action (default: the menu at the position).
  void SetMenuRunner(std::function<QAction*(QMenu&, const QPoint& globalPos)> fn) {
    runMenu_ = std::move(fn);
  }

  // ---- import, export, drag and drop (xml_tree_transfer.cpp) ----
  // The format of the item an internal drag carries: the process id, then the item's texts,
  // one a line.
  static constexpr const char* kItemMimeType = "application/x-zorbek-tree-item";
  // A dragged note offers its file for copying only: a file manager or a mail program takes a
  // copy and the note stays.
  static constexpr Qt::DropActions kDragActions = Qt::CopyAction;
  // "导入文件": the open-file dialog (several files), then the import with item selected.
  void ImportFiles(QTreeWidgetItem* item);
  // "导出文件": the save-file dialog, then the export of the note.
  void ExportNote(QTreeWidgetItem* item);
  // What a drag of item carries: the item, for a drop inside the tree; and for a note whose
  // file exists, its file URL (text/uri-list). *missing gets "文件不存在。" for a note without
  // file. Null when the item cannot be dragged (top-level items, anything under "时间表").
  QMimeData* DragData(QTreeWidgetItem* item, std::string* missing = nullptr) const;
  // The tree item an internal drag's data names, or null (another process, no such item).
  QTreeWidgetItem* DraggedItemOf(const QMimeData* data) const;
  // An internal drag of dragged released on target (null: on no item).
  void DropItem(QTreeWidgetItem* dragged, QTreeWidgetItem* target);
  // Files dropped from a file manager on the selected item: the ".esr" files become notes.
  void DropFiles(const QStringList& paths);
  // The item under the cursor during an internal drag, shown highlighted; null when none.
  QTreeWidgetItem* DropHighlightItem() const;

 signals:
  // "搜索该目录": the main frame shows the navigator's note tree; the search panel takes the
  // selected folder as the scope of its search.
  void searchFolderRequested();
  // "打开计划" or a double-click on "时间表": the reminder list is wanted.
  void reminderListRequested();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Delete deletes the selected item, Enter acts as the double-click; the rest as the tree's.
  void keyPressEvent(QKeyEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class TreeLabelDelegate;
  class Quiet;

  void OnExpansionChanged(QTreeWidgetItem* item, bool expanded);
  // The tree follows the notebook.
  void Follow(const std::vector<NotebookEvent>& events);
  void AddItem(const NotebookEvent& e);
  void MoveItem(const NotebookEvent& e);
  // The file box's items as the notebook shows them (none made while it is collapsed).
  void FillFileBox();
  QTreeWidgetItem* InsertNewItem(QTreeWidgetItem* parent, const NotebookEvent& e,
                                 const ItemPath& path);
  static ItemPath ParentPath(const ItemPath& path);
  // The item with these texts, making items of collapsed folders on the way when make is set;
  // without it, null for an item below a folder whose items are not made yet.
  QTreeWidgetItem* FindItem(const ItemPath& path, bool make) const;
  // The events: an item that shows, or null (what lies in a folder whose items are not made yet
  // is followed when they are).
  QTreeWidgetItem* ShownItemOfPath(const ItemPath& path) const;
  // The children of a folder whose items were left out, made from the notebook.
  void MakeChildren(QTreeWidgetItem* item);
  // Whether folder has a folder or note to show.
  bool HasShownChildren(const ItemPath& folder) const;
  // Where an item lies below another: its row at each level down.
  using RowPath = std::vector<int>;
  // The items of what shows below folder, read straight from the notebook's elements and
  // appended below item; the places of items whose elements say "expanded" are collected.
  // Returns folder's own state (nothing when it has no element).
  std::optional<bool> BuildShown(const ItemPath& folder, QTreeWidgetItem* item,
                                 std::vector<RowPath>& expanded);
  // Expands the items at these places below item.
  void ExpandRows(QTreeWidgetItem* item, const std::vector<RowPath>& expanded);
  // As FillFolder with the outline of what shows below folder, which is never built.
  void FillShown(const ItemPath& folder, QTreeWidgetItem* item);
  void LeaveChildrenOut(QTreeWidgetItem* item, bool leftOut);
  // A folder whose items are not made yet shows the indicator while it has children.
  void UpdateChildIndicator(QTreeWidgetItem* item);
  // Sets an item's expansion as the program's, not the user's (nothing is written).
  void ExpandQuietly(QTreeWidgetItem* item, bool expanded);
  // The item and every item below it collapsed, as an item that takes a new place shows.
  void CollapseAll(QTreeWidgetItem* item);
  // The item the keys act on (selected on the way), or null.
  QTreeWidgetItem* KeyboardItem();
  void LabelEditCommitted(const QPersistentModelIndex& index, const QString& text);
  QString retypedLabel_;
  void NewEntry(QTreeWidgetItem* selected, ItemKind kind);
  void Paste(QTreeWidgetItem* target);
  void Delete(QTreeWidgetItem* item);
  void Move(QTreeWidgetItem* item, MoveTo to);
  void Sort(QTreeWidgetItem* item, SortMode mode);
  void OpenDirectory(QTreeWidgetItem* item);
  void OpenNote(QTreeWidgetItem* item);
  void OpenHomePage();
  QTreeWidgetItem* NewItem(const QString& text, ItemKind kind);
  QList<QTreeWidgetItem*> BuildChildren(const std::vector<TreeEntry>& entries,
                                        QList<QTreeWidgetItem*>& expanded);
  void InitTransfer();
  void SetDropHighlight(QTreeWidgetItem* item);
  // Notes added by import or drop: each shows in its opened folder, the last one selected.
  void SelectAdded(const std::vector<TransferOutcome>& results);

  Notebook& notebook_;
  NoteTransfer transfer_{notebook_.Commands()};
  int listener_ = 0;
  QPersistentModelIndex dragged_;        // the item of the internal drag in progress
  QPersistentModelIndex dropHighlight_;  // the item under the cursor during it
  bool dragLeft_ = false;                // the internal drag left the window
  QTreeWidgetItem* fileBox_ = nullptr;
  QTreeWidgetItem* schedule_ = nullptr;
  QTreeWidgetItem* homePage_ = nullptr;
  QPersistentModelIndex copied_;
  int quiet_ = 0;  // while set, expansion is not the user's and is not remembered

  QUrl homePage_url_;
  QString contact_;
  std::function<bool(const QUrl&)> openUrl_;
  std::function<void(const QString&, bool)> browse_;
  std::function<QAction*(QMenu&, const QPoint&)> runMenu_;
};

}  // namespace zorbek
