#include "ui/db/xml_tree_ctrl.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <map>

#include "ui/app/qt_text.h"
#include "core/app/prompts.h"
#include "core/db/block_pool.h"
#include "core/db/database.h"
#include "core/notes/note_opener.h"
#include "core/text/cp936.h"
#include "ui/db/file_browser.h"

// The images live in the program's resources, which a static library must ask for.
static void InitTreeResources() { Q_INIT_RESOURCE(zorbek); }

namespace zorbek {

namespace {

constexpr int kNormalImageRole = Qt::UserRole + 1;
constexpr int kSelectedImageRole = Qt::UserRole + 2;
// A collapsed folder whose items are made only when they are first needed (it has children).
constexpr int kChildrenLeftOutRole = Qt::UserRole + 3;

const char* ImageFile(int index) {
  switch (index) {
    case kImageFileBox: return ":/icons/filebox.png";
    case kImageFileBoxSelected: return ":/icons/filebox_selected.png";
    case kImageSchedule: return ":/icons/schedule.png";
    case kImageScheduleSelected: return ":/icons/schedule_selected.png";
    case kImageHomePage: return ":/icons/home.png";
    case kImageHomePageSelected: return ":/icons/home_selected.png";
    case kImageFolder: return ":/icons/folder.png";
    case kImageFolderSelected: return ":/icons/folder_selected.png";
    case kImageNote: return ":/icons/note.png";
    case kImageNoteSelected: return ":/icons/note_selected.png";
    default: return nullptr;
  }
}

// One icon per pair of images: the normal one, and the one a selected item shows.
QIcon IconOf(int normal, int selected) {
  static QHash<int, QIcon> cache;
  const int key = normal * 100 + selected;
  auto it = cache.find(key);
  if (it != cache.end()) return *it;
  QIcon icon;
  icon.addPixmap(CXmlTreeCtrl::ImageAt(normal), QIcon::Normal);
  icon.addPixmap(CXmlTreeCtrl::ImageAt(selected), QIcon::Selected);
  return *cache.insert(key, icon);
}

int ImageOfKind(ItemKind kind, bool selected) {
  if (kind == ItemKind::Folder) return selected ? kImageFolderSelected : kImageFolder;
  return selected ? kImageNoteSelected : kImageNote;
}

// The tree's items. Their text, their images and whether their children are left out are kept
// as plain members and handed out through data(), rather than stored as a value per role: a
// notebook of many folders makes tens of thousands of items at start, and each stored role
// costs allocations (the item's list of columns, its list of values, the value itself).
class EntryItem final : public QTreeWidgetItem {
 public:
  static constexpr int kType = QTreeWidgetItem::UserType + 1;

  explicit EntryItem(QString text) : QTreeWidgetItem(kType), text_(std::move(text)) {}
  // A large notebook makes tens of thousands at start: beyond the first 4,000 (which a
  // small notebook keeps in the C library's memory, without a region of its own), they come
  // from a pool.
  static void* operator new(std::size_t size) {
    if (heapItems_ >= kHeapItems && size <= Pool().BlockSize())
      if (void* block = Pool().Allocate()) return block;
    ++heapItems_;
    return ::operator new(size);
  }
  static void operator delete(void* item) {
    if (Pool().Free(item)) return;
    --heapItems_;
    ::operator delete(item);
  }

  static EntryItem* Of(QTreeWidgetItem* item) {
    return item && item->type() == kType ? static_cast<EntryItem*>(item) : nullptr;
  }
  static const EntryItem* Of(const QTreeWidgetItem* item) {
    return item && item->type() == kType ? static_cast<const EntryItem*>(item) : nullptr;
  }

  void SetImages(int normal, int selected) {
    if (normal == normal_ && selected == selected_) return;
    normal_ = static_cast<qint16>(normal);
    selected_ = static_cast<qint16>(selected);
    emitDataChanged();
  }
  bool ChildrenLeftOut() const { return leftOut_; }
  void SetChildrenLeftOut(bool leftOut) { leftOut_ = leftOut; }

  QVariant data(int column, int role) const override {
    if (column == 0) {
      switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole: return text_;
        case Qt::DecorationRole:
          return normal_ < 0 ? QVariant() : QVariant(IconOf(normal_, selected_));
        case kNormalImageRole: return normal_ < 0 ? QVariant() : QVariant(int{normal_});
        case kSelectedImageRole: return selected_ < 0 ? QVariant() : QVariant(int{selected_});
        case kChildrenLeftOutRole: return leftOut_ ? QVariant(true) : QVariant();
        default: break;
      }
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant& value) override {
    if (column == 0) {
      switch (role) {
        case kNormalImageRole:
          return SetImages(value.isValid() ? value.toInt() : -1, selected_);
        case kSelectedImageRole:
          return SetImages(normal_, value.isValid() ? value.toInt() : -1);
        case kChildrenLeftOutRole: return SetChildrenLeftOut(value.toBool());
        case Qt::DisplayRole:
        case Qt::EditRole:
          if (QString text = value.toString(); text != text_) {
            text_ = std::move(text);
            emitDataChanged();
          }
          return;
        default: break;
      }
    }
    QTreeWidgetItem::setData(column, role, value);
  }

 private:
  // Never destroyed: items may outlive the program's static objects.
  static BlockPool& Pool();
  static constexpr std::size_t kHeapItems = 4000;
  static inline std::size_t heapItems_ = 0;  // items in the C library's memory

  QString text_;
  qint16 normal_ = -1;
  qint16 selected_ = -1;
  bool leftOut_ = false;
};

BlockPool& EntryItem::Pool() {
  static BlockPool& pool = *new BlockPool(sizeof(EntryItem));
  return pool;
}

const Qt::ItemFlags kTopLevelFlags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
const Qt::ItemFlags kEntryFlags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                                  Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}  // namespace

// Expansion done by the program (filling, new entries, moves) is not the user's and is not
// written to the database.
class CXmlTreeCtrl::Quiet {
 public:
  explicit Quiet(CXmlTreeCtrl* tree) : tree_(tree) { ++tree_->quiet_; }
  ~Quiet() { --tree_->quiet_; }

 private:
  CXmlTreeCtrl* tree_;
};

// The label editor: at most 259 characters; the text it ends with goes to the rename instead of
// into the item. An edit cancelled with Escape never reaches setModelData, so it renames nothing.
class TreeLabelDelegate : public QStyledItemDelegate {
 public:
  explicit TreeLabelDelegate(CXmlTreeCtrl* tree) : QStyledItemDelegate(tree), tree_(tree) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
      line->setMaxLength(static_cast<int>(kMaxLabelLength));
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    QStyledItemDelegate::setEditorData(editor, index);
    const QString retyped = tree_->TakeRetypedLabel();
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && !retyped.isEmpty()) {
      line->setText(retyped);
      line->selectAll();
    }
  }

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor))
      tree_->LabelEditCommitted(QPersistentModelIndex(index), line->text());
  }

 private:
  CXmlTreeCtrl* tree_;
};

CXmlTreeCtrl::CXmlTreeCtrl(Notebook& notebook, QWidget* parent)
    : QTreeWidget(parent), notebook_(notebook) {
  InitTreeResources();
  setObjectName(QStringLiteral("CXmlTreeCtrl"));
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(true);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setItemDelegate(new TreeLabelDelegate(this));
  InitTransfer();

  homePage_url_ = QUrl::fromLocalFile(QDir(QCoreApplication::applicationDirPath())
                                          .filePath(QStringLiteral("guide.html")));
  openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  browse_ = [](const QString& path, bool selectFile) { ShowInFileManager(path, selectFile); };
  runMenu_ = [](QMenu& menu, const QPoint& pos) { return menu.exec(pos); };

  const auto top = [this](std::string_view text, int normal, int selected) {
    auto* item = new EntryItem(Q(std::string(text)));
    addTopLevelItem(item);
    item->setFlags(kTopLevelFlags);
    SetItemImages(item, normal, selected);
    return item;
  };
  fileBox_ = top(kFileBoxText, kImageFileBox, kImageFileBoxSelected);
  schedule_ = top(kScheduleText, kImageSchedule, kImageScheduleSelected);
  homePage_ = top(kHomePageText, kImageHomePage, kImageHomePageSelected);

  connect(this, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { OnExpansionChanged(item, true); });
  connect(this, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { OnExpansionChanged(item, false); });
  connect(this, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem*, int) { ActivateItem(SelectedItem()); });
  listener_ = notebook_.AddListener(
      [this](const std::vector<NotebookEvent>& events) { Follow(events); });
  if (notebook_.IsOpen()) FillFileBox();
}

void CXmlTreeCtrl::FillFileBox() {
  const ItemPath box{std::string(kFileBoxText)};
  // A collapsed file box gets its items when it is opened, as any folder.
  bool any = false;
  const std::optional<bool> expanded =
      notebook_.Commands().WalkOutline(box, OutlineDepth::Shown, [&any](const OutlineStep&) {
        any = true;
        return false;
      });
  if (expanded == false && any) {
    Quiet quiet(this);
    fileBox_->setExpanded(false);
    LeaveChildrenOut(fileBox_, true);
    return;
  }
  LeaveChildrenOut(fileBox_, false);
  FillShown(box, fileBox_);
}

CXmlTreeCtrl::~CXmlTreeCtrl() { notebook_.RemoveListener(listener_); }

// ---- following the notebook --------------------------------------------------------------

void CXmlTreeCtrl::Follow(const std::vector<NotebookEvent>& events) {
  for (const NotebookEvent& e : events) {
    // What lies below an entry moves, goes or comes with its item.
    if (e.below) continue;
    switch (e.kind) {
      case NotebookEventKind::kAdded: AddItem(e); break;
      case NotebookEventKind::kRenamed:
        if (QTreeWidgetItem* item = ShownItemOfPath(e.oldItem); item && !e.newItem.empty())
          item->setText(0, Q(e.newItem.back()));
        break;
      case NotebookEventKind::kMoved: MoveItem(e); break;
      case NotebookEventKind::kDeleted:
        // Exactly what left the database leaves the tree (all of it, unless a directory could
        // be removed only in part).
        if (QTreeWidgetItem* item = ShownItemOfPath(e.oldItem); item && item->parent()) {
          QTreeWidgetItem* parent = item->parent();
          delete item;
          UpdateChildIndicator(parent);
        } else if (QTreeWidgetItem* folder = ShownItemOfPath(ParentPath(e.oldItem))) {
          UpdateChildIndicator(folder);
        }
        break;
      case NotebookEventKind::kReordered:
        // A folder whose items are not made yet gets them in the new order when they are.
        if (QTreeWidgetItem* item = ShownItemOfPath(e.newItem); item && !ChildrenLeftOut(item)) {
          qDeleteAll(item->takeChildren());
          FillShown(e.newItem, item);
        }
        break;
      case NotebookEventKind::kExpanded:
      case NotebookEventKind::kCollapsed:
        ExpandQuietly(ShownItemOfPath(e.newItem), e.kind == NotebookEventKind::kExpanded);
        break;
      case NotebookEventKind::kReloaded: Refill(); break;
      default: break;
    }
  }
}

ItemPath CXmlTreeCtrl::ParentPath(const ItemPath& path) {
  return path.size() < 2 ? ItemPath() : ItemPath(path.begin(), path.end() - 1);
}

QTreeWidgetItem* CXmlTreeCtrl::InsertNewItem(QTreeWidgetItem* parent, const NotebookEvent& e,
                                             const ItemPath& path) {
  QTreeWidgetItem* item = NewItem(Q(path.back()), e.item);
  const int at = e.index < 0 ? parent->childCount() : std::min(e.index, parent->childCount());
  parent->insertChild(at, item);
  // A folder comes with what lies below it (one restored or found in a merged version).
  if (e.item == ItemKind::Folder) FillShown(path, item);
  return item;
}

void CXmlTreeCtrl::AddItem(const NotebookEvent& e) {
  if (e.newItem.size() < 2) return;
  QTreeWidgetItem* parent = ShownItemOfPath(ParentPath(e.newItem));
  // Into a folder whose items are not made yet: they are made with it when it is opened.
  if (!parent) return;
  if (ChildrenLeftOut(parent)) return UpdateChildIndicator(parent);
  InsertNewItem(parent, e, e.newItem);
}

void CXmlTreeCtrl::MoveItem(const NotebookEvent& e) {
  if (e.newItem.size() < 2) return;
  QTreeWidgetItem* item = ShownItemOfPath(e.oldItem);
  if (item && !item->parent()) return;
  QTreeWidgetItem* from = item ? item->parent() : ShownItemOfPath(ParentPath(e.oldItem));
  QTreeWidgetItem* to = ShownItemOfPath(ParentPath(e.newItem));
  if (!to || ChildrenLeftOut(to)) {
    // Into a folder whose items are not made yet: the item goes from view until it is opened.
    delete item;
    if (to) UpdateChildIndicator(to);
    if (from && from != to) UpdateChildIndicator(from);
    return;
  }
  if (!item) {
    // Out of a folder whose items are not made yet, into one that shows.
    CollapseAll(InsertNewItem(to, e, e.newItem));
    if (from) UpdateChildIndicator(from);
    return;
  }
  from->takeChild(from->indexOfChild(item));
  item->setText(0, Q(e.newItem.back()));
  if (!to) to = from;
  const int at = e.index < 0 ? to->childCount() : std::min(e.index, to->childCount());
  to->insertChild(at, item);
  // The item takes its new place collapsed, and so do the items below it.
  CollapseAll(item);
}

void CXmlTreeCtrl::ExpandQuietly(QTreeWidgetItem* item, bool expanded) {
  if (!item) return;
  Quiet quiet(this);
  item->setExpanded(expanded);
}

void CXmlTreeCtrl::CollapseAll(QTreeWidgetItem* item) {
  Quiet quiet(this);
  QList<QTreeWidgetItem*> pending{item};
  while (!pending.isEmpty()) {
    QTreeWidgetItem* i = pending.takeLast();
    i->setExpanded(false);
    for (int c = 0; c < i->childCount(); ++c) pending.push_back(i->child(c));
  }
}

void CXmlTreeCtrl::Refill() {
  // What the user sees, by the items' texts.
  std::map<ItemPath, bool> expansion;
  for (QTreeWidgetItemIterator it(fileBox_); *it && TopLevelItemOf(*it) == fileBox_; ++it)
    if (HasChildren(*it)) expansion.emplace(ItemPathOf(*it), (*it)->isExpanded());
  QTreeWidgetItem* selected = SelectedItem();
  const ItemPath selection =
      selected && TopLevelItemOf(selected) == fileBox_ ? ItemPathOf(selected) : ItemPath();
  const QTreeWidgetItem* copied = CopiedItem();
  const ItemPath copiedPath = copied ? ItemPathOf(copied) : ItemPath();
  const int scrolled = verticalScrollBar()->value();

  Quiet quiet(this);
  setUpdatesEnabled(false);
  qDeleteAll(fileBox_->takeChildren());
  FillFileBox();
  // An item that showed children keeps its expansion; any other shows as its element says
  // (nothing to keep at the first filling).
  for (QTreeWidgetItemIterator it(fileBox_);
       !expansion.empty() && *it && TopLevelItemOf(*it) == fileBox_; ++it) {
    const auto was = expansion.find(ItemPathOf(*it));
    if (was != expansion.end() && (*it)->isExpanded() != was->second)
      (*it)->setExpanded(was->second);
  }
  if (!selection.empty()) {
    ItemPath path = selection;
    QTreeWidgetItem* item = nullptr;
    while (!path.empty() && !(item = ItemOfPath(path))) path.pop_back();
    if (item) setCurrentItem(item);
  }
  QTreeWidgetItem* copiedNow = copiedPath.empty() ? nullptr : ItemOfPath(copiedPath);
  copied_ = copiedNow ? QPersistentModelIndex(indexFromItem(copiedNow)) : QPersistentModelIndex();
  setUpdatesEnabled(true);
  verticalScrollBar()->setValue(scrolled);
}

// ---- items and their names ---------------------------------------------------------------

ItemPath CXmlTreeCtrl::ItemPathOf(const QTreeWidgetItem* item) {
  ItemPath path;
  for (const QTreeWidgetItem* i = item; i; i = i->parent()) path.push_back(S(i->text(0)));
  std::reverse(path.begin(), path.end());
  return path;
}

ElementPath CXmlTreeCtrl::ElementPathOfItem(const QTreeWidgetItem* item) const {
  return zorbek::ElementPathOfItem(ItemPathOf(item));
}

std::string CXmlTreeCtrl::ItemTypeOf(const QTreeWidgetItem* item) const {
  return zorbek::ItemTypeOf(notebook_.Document(), ItemPathOf(item));
}

QTreeWidgetItem* CXmlTreeCtrl::TopLevelItemOf(QTreeWidgetItem* item) {
  while (item && item->parent()) item = item->parent();
  return item;
}

QTreeWidgetItem* CXmlTreeCtrl::FindItem(const ItemPath& path, bool make) const {
  if (path.empty()) return nullptr;
  QTreeWidgetItem* item = nullptr;
  const QString top = Q(path[0]);
  for (int i = 0; i < topLevelItemCount() && !item; ++i)
    if (topLevelItem(i)->text(0) == top) item = topLevelItem(i);
  for (std::size_t level = 1; item && level < path.size(); ++level) {
    if (ChildrenLeftOut(item)) {
      if (!make) return nullptr;
      // The items below are made now: what they show is the notebook's, not a change.
      const_cast<CXmlTreeCtrl*>(this)->MakeChildren(item);
    }
    const QString text = Q(path[level]);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount() && !next; ++i)
      if (item->child(i)->text(0) == text) next = item->child(i);
    item = next;
  }
  if (item && make && ChildrenLeftOut(item)) const_cast<CXmlTreeCtrl*>(this)->MakeChildren(item);
  return item;
}

QTreeWidgetItem* CXmlTreeCtrl::ItemOfPath(const ItemPath& path) const { return FindItem(path, true); }

QTreeWidgetItem* CXmlTreeCtrl::ShownItemOfPath(const ItemPath& path) const {
  return FindItem(path, false);
}

bool CXmlTreeCtrl::ChildrenLeftOut(const QTreeWidgetItem* item) {
  if (const EntryItem* entry = EntryItem::Of(item)) return entry->ChildrenLeftOut();
  return item && item->data(0, kChildrenLeftOutRole).toBool();
}

bool CXmlTreeCtrl::HasChildren(const QTreeWidgetItem* item) {
  return item && (item->childCount() > 0 || ChildrenLeftOut(item));
}

void CXmlTreeCtrl::LeaveChildrenOut(QTreeWidgetItem* item, bool leftOut) {
  if (EntryItem* entry = EntryItem::Of(item)) entry->SetChildrenLeftOut(leftOut);
  else item->setData(0, kChildrenLeftOutRole, leftOut ? QVariant(true) : QVariant());
  item->setChildIndicatorPolicy(leftOut ? QTreeWidgetItem::ShowIndicator
                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void CXmlTreeCtrl::MakeChildren(QTreeWidgetItem* item) {
  if (!ChildrenLeftOut(item)) return;
  LeaveChildrenOut(item, false);
  Quiet quiet(this);
  std::vector<RowPath> expanded;
  BuildShown(ItemPathOf(item), item, expanded);
  ExpandRows(item, expanded);
}

void CXmlTreeCtrl::UpdateChildIndicator(QTreeWidgetItem* item) {
  if (!ChildrenLeftOut(item)) return;
  // Whether the folder still has anything to show once opened.
  if (!HasShownChildren(ItemPathOf(item))) LeaveChildrenOut(item, false);
}

bool CXmlTreeCtrl::HasShownChildren(const ItemPath& folder) const {
  bool any = false;
  notebook_.Commands().WalkOutline(folder, OutlineDepth::Shown, [&any](const OutlineStep&) {
    any = true;
    return false;
  });
  return any;
}

QTreeWidgetItem* CXmlTreeCtrl::SelectedItem() const {
  const auto selected = selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

// ---- filling -----------------------------------------------------------------------------

QTreeWidgetItem* CXmlTreeCtrl::NewItem(const QString& text, ItemKind kind) {
  auto* item = new EntryItem(text);
  item->setFlags(kEntryFlags);
  SetItemImages(item, ImageOfKind(kind, false), ImageOfKind(kind, true));
  return item;
}

// The items of entries, built before they join the tree (one insertion per level keeps the
// filling of a large tree fast). Items whose entry says "expanded" are collected.
QList<QTreeWidgetItem*> CXmlTreeCtrl::BuildChildren(const std::vector<TreeEntry>& entries,
                                                    QList<QTreeWidgetItem*>& expanded) {
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(entries.size()));
  for (const TreeEntry& entry : entries) {
    QTreeWidgetItem* item = NewItem(Q(entry.name), entry.kind);
    if (!entry.children.empty()) item->addChildren(BuildChildren(entry.children, expanded));
    if (entry.childrenLeftOut) LeaveChildrenOut(item, true);
    if (entry.expanded) expanded.push_back(item);
    items.push_back(item);
  }
  return items;
}

std::optional<bool> CXmlTreeCtrl::BuildShown(const ItemPath& folder, QTreeWidgetItem* item,
                                             std::vector<RowPath>& expanded) {
  // The items of each level wait in a list until the level is complete, then join their parent
  // at once; a parent joins its own parent only after its children have joined it, so the tree
  // itself sees one insertion, the last one.
  struct Level {
    QTreeWidgetItem* parent;
    QList<QTreeWidgetItem*> items;
  };
  std::vector<Level> levels{Level{item, {}}};
  const auto closeTo = [&levels](std::size_t depth) {
    for (; levels.size() > depth; levels.pop_back())
      if (!levels.back().items.isEmpty()) levels.back().parent->addChildren(levels.back().items);
  };
  QTreeWidgetItem* last = nullptr;
  RowPath rows;  // of the last item
  const int first = item->childCount();
  const std::optional<bool> state = notebook_.Commands().WalkOutline(
      folder, OutlineDepth::Shown, [&](const OutlineStep& step) {
        const auto depth = static_cast<std::size_t>(step.level) + 1;
        if (depth > levels.size()) levels.push_back(Level{last, {}});
        else closeTo(depth);
        QList<QTreeWidgetItem*>& items = levels.back().items;
        rows.resize(depth);
        rows.back() = static_cast<int>(items.size()) + (depth == 1 ? first : 0);
        last = NewItem(Q(step.name), step.kind);
        if (step.childrenLeftOut) LeaveChildrenOut(last, true);
        if (step.expanded) expanded.push_back(rows);
        items.push_back(last);
        return true;
      });
  closeTo(0);
  return state;
}

void CXmlTreeCtrl::FillShown(const ItemPath& folder, QTreeWidgetItem* item) {
  if (!item) return;
  Quiet quiet(this);
  std::vector<RowPath> expanded;
  const std::optional<bool> state = BuildShown(folder, item, expanded);
  ExpandRows(item, expanded);
  item->setExpanded(state.value_or(false));
}

void CXmlTreeCtrl::ExpandRows(QTreeWidgetItem* item, const std::vector<RowPath>& expanded) {
  // By their rows: an item's own index would be looked for among all its siblings.
  const QModelIndex top = indexFromItem(item);
  if (!top.isValid()) return;  // not in the tree: nothing shows expanded
  for (const RowPath& rows : expanded) {
    QModelIndex index = top;
    for (const int row : rows) index = model()->index(row, 0, index);
    setExpanded(index, true);
  }
}

void CXmlTreeCtrl::FillFolder(const TreeEntry& entry, QTreeWidgetItem* item) {
  if (!item) return;
  Quiet quiet(this);
  QList<QTreeWidgetItem*> expanded;
  item->addChildren(BuildChildren(entry.children, expanded));
  for (QTreeWidgetItem* e : expanded) e->setExpanded(true);
  item->setExpanded(entry.expanded);
}

void CXmlTreeCtrl::OnExpansionChanged(QTreeWidgetItem* item, bool expanded) {
  // A folder opened for the first time gets its items now.
  if (expanded) MakeChildren(item);
  if (quiet_) return;
  const NoteOutcome out = notebook_.Commands().SetExpanded(ItemPathOf(item), expanded);
  if (!out.saved) notebook_.ReportSaveFailure(out.reason);
}

// ---- images ------------------------------------------------------------------------------

QPixmap CXmlTreeCtrl::ImageAt(int index) {
  InitTreeResources();
  const char* file = ImageFile(index);
  return file ? QPixmap(QString::fromLatin1(file)) : QPixmap();
}

void CXmlTreeCtrl::SetItemImages(QTreeWidgetItem* item, int normal, int selected) {
  if (EntryItem* entry = EntryItem::Of(item)) return entry->SetImages(normal, selected);
  item->setData(0, kNormalImageRole, normal);
  item->setData(0, kSelectedImageRole, selected);
  item->setIcon(0, IconOf(normal, selected));
}

int CXmlTreeCtrl::NormalImageOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kNormalImageRole).toInt() : -1;
}

int CXmlTreeCtrl::SelectedImageOf(const QTreeWidgetItem* item) {
  return item ? item->data(0, kSelectedImageRole).toInt() : -1;
}

// ---- context menus -----------------------------------------------------------------------

TreeMenu CXmlTreeCtrl::MenuOf(QTreeWidgetItem* item) {
  QTreeWidgetItem* top = TopLevelItemOf(item);
  if (!top || !top->treeWidget()) return TreeMenu::None;
  auto* tree = qobject_cast<CXmlTreeCtrl*>(top->treeWidget());
  if (!tree) return TreeMenu::None;
  if (top == tree->fileBox_) return TreeMenu::FileBox;
  if (top == tree->schedule_) return TreeMenu::Schedule;
  if (top == tree->homePage_) return TreeMenu::HomePage;
  return TreeMenu::None;
}

std::unique_ptr<QMenu> CXmlTreeCtrl::BuildContextMenu(QTreeWidgetItem* item) {
  const TreeMenu which = MenuOf(item);
  if (which == TreeMenu::None) return nullptr;
  auto menu = std::make_unique<QMenu>(QStringLiteral("右键"), this);
  const auto add = [&](int id, const char* text) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(id);
    return action;
  };
  using namespace treecmd;
  switch (which) {
    case TreeMenu::FileBox: {
      add(kOpen, "打开");
      add(kNewNote, "新建ESR文件");
      add(kNewFolder, "新建文件夹");
      add(kOpenDirectory, "打开目录");
      add(kRename, "重命名");
      add(kCopy, "复制");
      QAction* paste = add(kPaste, "粘贴");
      add(kDelete, "删除");
      menu->addSeparator();
      QAction* search = add(kSearchFolder, "搜索该目录");
      menu->addSeparator();
      add(kSortMixed, "混合排序");
      add(kSortFolders, "目录排序");
      add(kSortFiles, "文件排序");
      menu->addSeparator();
      add(kImport, "导入文件");
      add(kExport, "导出文件");
      menu->addSeparator();
      add(kMoveUp, "移上一位置");
      add(kMoveDown, "移下一位置");
      add(kMoveTop, "移到目录最前");
      add(kMoveBottom, "移到目录最后");
      const QTreeWidgetItem* copied = CopiedItem();
      paste->setEnabled(copied && !copied->text(0).isEmpty());
      const std::string type = ItemTypeOf(item);
      search->setEnabled(type.empty() || EqualsIgnoreLatinCase(type, "dir"));
      break;
    }
    case TreeMenu::Schedule:
      add(kOpenPlan, "打开计划");
      break;
    case TreeMenu::HomePage:
      add(kOpenHomePage, "打开主页");
      add(kContactMe, "联系我")->setEnabled(!contact_.isEmpty());
      break;
    case TreeMenu::None:
      break;
  }
  return menu;
}

void CXmlTreeCtrl::contextMenuEvent(QContextMenuEvent* event) {
  QPoint pos = event->pos();  // in the viewport
  QTreeWidgetItem* item = nullptr;
  if (event->reason() == QContextMenuEvent::Keyboard) {
    // The context-menu key: the menu of the item the keyboard is on, shown below its label.
    item = KeyboardItem();
    if (!item) return;
    scrollToItem(item);
    const QRect rect = visualItemRect(item);
    pos = QPoint(rect.left() + iconSize().width() + 8, rect.bottom());
  } else {
    item = itemAt(pos);
    if (!item) return;
    // Only a click on the item's image or label counts, not the rest of its row.
    const QRect rect = visualItemRect(item);
    const int labelEnd = rect.left() + iconSize().width() + 8 +
                         fontMetrics().horizontalAdvance(item->text(0)) + 6;
    if (pos.x() < rect.left() || pos.x() > labelEnd) return;
  }
  setCurrentItem(item);
  std::unique_ptr<QMenu> menu = BuildContextMenu(item);
  if (!menu) return;
  event->accept();
  QAction* chosen = runMenu_ ? runMenu_(*menu, viewport()->mapToGlobal(pos)) : nullptr;
  if (chosen && chosen->isEnabled()) RunCommand(chosen->data().toInt());
}

QTreeWidgetItem* CXmlTreeCtrl::KeyboardItem() {
  // The focused item is the one the keys act on, even before it shows selected (the tree
  // takes the focus with its first item current but nothing selected).
  QTreeWidgetItem* item = currentItem();
  if (!item) return SelectedItem();
  if (!item->isSelected()) setCurrentItem(item);
  return item;
}

void CXmlTreeCtrl::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const bool ours = !IsEditingLabel() && (event->modifiers() & ~Qt::KeypadModifier) == 0 &&
                    (key == Qt::Key_Delete || key == Qt::Key_Return || key == Qt::Key_Enter);
  if (QTreeWidgetItem* item = ours ? KeyboardItem() : nullptr) {
    switch (key) {
      case Qt::Key_Delete:
        // As the menu's "删除", with its question.
        event->accept();
        RunCommand(treecmd::kDelete);
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        // As the double-click: a folder opens or closes, a note opens in its editor.
        event->accept();
        if (HasChildren(item)) item->setExpanded(!item->isExpanded());
        ActivateItem(item);
        return;
      default:
        break;
    }
  }
  QTreeWidget::keyPressEvent(event);
}

// ---- commands ----------------------------------------------------------------------------

void CXmlTreeCtrl::Report(const NoteOutcome& outcome) {
  if (!outcome.message.empty()) prompts().Message(outcome.message);
  if (!outcome.saved) notebook_.ReportSaveFailure(outcome.reason);
}

QTreeWidgetItem* CXmlTreeCtrl::CopiedItem() const {
  return copied_.isValid() ? itemFromIndex(copied_) : nullptr;
}

void CXmlTreeCtrl::RunCommand(int id) {
  QTreeWidgetItem* item = SelectedItem();
  if (!item) return;
  // A change from outside that the watcher has not reported yet is read first, so that the
  // command works on the file as it is; when that took the item away, nothing is done.
  const ItemPath chosen = ItemPathOf(item);
  if (notebook_.ReloadIfChanged() == ReloadResult::kReloaded) {
    item = SelectedItem();
    if (!item || ItemPathOf(item) != chosen) return;
  }
  using namespace treecmd;
  switch (id) {
    case kOpen: OpenNote(item); break;
    case kNewNote: NewEntry(item, ItemKind::Note); break;
    case kNewFolder: NewEntry(item, ItemKind::Folder); break;
    case kOpenDirectory: OpenDirectory(item); break;
    case kRename:
      if (item->parent()) editItem(item);  // the top-level items keep their names
      break;
    case kCopy: {
      const NoteOutcome out = notebook_.Commands().Copy(ItemPathOf(item));
      if (out.done) copied_ = QPersistentModelIndex(indexFromItem(item));
      Report(out);
      break;
    }
    case kPaste: Paste(item); break;
    case kDelete: Delete(item); break;
    case kSearchFolder: emit searchFolderRequested(); break;
    case kSortMixed: Sort(item, SortMode::Mixed); break;
    case kSortFolders: Sort(item, SortMode::Folders); break;
    case kSortFiles: Sort(item, SortMode::Files); break;
    case kImport: ImportFiles(item); break;
    case kExport: ExportNote(item); break;
    case kMoveUp: Move(item, MoveTo::Up); break;
    case kMoveDown: Move(item, MoveTo::Down); break;
    case kMoveTop: Move(item, MoveTo::Top); break;
    case kMoveBottom: Move(item, MoveTo::Bottom); break;
    case kOpenPlan: emit reminderListRequested(); break;
    case kOpenHomePage: OpenHomePage(); break;
    case kContactMe:
      if (!contact_.isEmpty() && openUrl_) openUrl_(QUrl(QStringLiteral("mailto:") + contact_));
      break;
    default: break;
  }
}

void CXmlTreeCtrl::NewEntry(QTreeWidgetItem* selected, ItemKind kind) {
  const ItemPath path = ItemPathOf(selected);
  NoteCommands& commands = notebook_.Commands();
  const NoteOutcome out = kind == ItemKind::Note ? commands.NewNote(path) : commands.NewFolder(path);
  if (out.done) {
    // The folder is open now as if the user had opened it, and comes back so at the next
    // start. A save that fails here fails again at the next change, which tells the user.
    const ItemPath folder(out.item.begin(), out.item.end() - 1);
    static_cast<void>(commands.SetExpanded(folder, true));
    if (QTreeWidgetItem* item = ItemOfPath(out.item)) {
      setCurrentItem(item);
      editItem(item);  // the user names it at once; the edit ends in the rename
    }
  }
  Report(out);
}

void CXmlTreeCtrl::LabelEditCommitted(const QPersistentModelIndex& index, const QString& text) {
  // The rename runs once the editor has closed, so that its messages do not end the edit again.
  QMetaObject::invokeMethod(
      this,
      [this, index, text] {
        if (index.isValid()) EndLabelEdit(itemFromIndex(index), text);
      },
      Qt::QueuedConnection);
}

void CXmlTreeCtrl::EndLabelEdit(QTreeWidgetItem* item, const QString& text) {
  if (!item || !item->parent()) return;
  const NoteOutcome out = notebook_.Commands().Rename(ItemPathOf(item), S(text));
  Report(out);
  // What the user typed is not lost with the refusal: it is back in the label editor.
  if (!out.done && !out.message.empty()) {
    retypedLabel_ = text;
    setCurrentItem(item);
    editItem(item);
    if (!IsEditingLabel()) retypedLabel_.clear();
  }
}

void CXmlTreeCtrl::Paste(QTreeWidgetItem* target) {
  QTreeWidgetItem* copied = CopiedItem();
  const ItemPath source = copied ? ItemPathOf(copied) : ItemPath();
  Report(notebook_.Commands().Paste(source, ItemPathOf(target)));
}

void CXmlTreeCtrl::Delete(QTreeWidgetItem* item) {
  const ItemPath path = ItemPathOf(item);
  if (!IsInFileBox(path)) return;
  const std::string question = notebook_.Commands().DeleteQuestion(path);
  if (prompts().Message(question, MsgButtons::OkCancel, MsgIcon::Question) != MsgResult::Ok)
    return;
  Report(notebook_.Commands().Delete(path));
}

void CXmlTreeCtrl::Move(QTreeWidgetItem* item, MoveTo to) {
  const NoteOutcome out = notebook_.Commands().Move(ItemPathOf(item), to);
  if (out.done)
    if (QTreeWidgetItem* moved = ItemOfPath(out.item)) setCurrentItem(moved);
  Report(out);
}

void CXmlTreeCtrl::Sort(QTreeWidgetItem* item, SortMode mode) {
  Report(notebook_.Commands().Sort(ItemPathOf(item), mode));
}

void CXmlTreeCtrl::OpenDirectory(QTreeWidgetItem* item) {
  const auto target = notebook_.Commands().DirectoryToShow(ItemPathOf(item));
  if (target && browse_) browse_(Q(target->path), target->selectFile);
}

void CXmlTreeCtrl::OpenNote(QTreeWidgetItem* item) {
  Report(notebook_.Commands().OpenNote(ItemPathOf(item)));
}

void CXmlTreeCtrl::OpenHomePage() {
  if (openUrl_ && homePage_url_.isValid()) openUrl_(homePage_url_);
}

void CXmlTreeCtrl::ActivateItem(QTreeWidgetItem* item) {
  if (!item) return;
  QTreeWidgetItem* top = TopLevelItemOf(item);
  if (top == fileBox_) {
    // Folders and the file box are not opened (the double-click expands them).
    if (!EqualsIgnoreLatinCase(ItemTypeOf(item), "dir")) OpenNote(item);
  } else if (item == schedule_) {
    emit reminderListRequested();
  } else if (item == homePage_) {
    OpenHomePage();
  }
}

}  // namespace zorbek
