#include "ui/editor/wnd_esr.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QPointer>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QPainter>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/app/qt_text.h"
#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/app/recovery.h"
#include "core/db/conflict_merge.h"
#include "core/db/store_paths.h"
#include "core/editor/editor_text.h"
#include "core/editor/note_path.h"
#include "core/io/file_util.h"
#include "core/db/change_journal.h"
#include "core/app/paths.h"
#include "core/notes/note_history.h"
#include "core/notes/notebook.h"
#include "core/rtf/rtf_pieces.h"
#include "core/rtf/text_file.h"
#include "core/text/cp936.h"
#include "ui/db/file_browser.h"
#include "ui/editor/date_time_dialog.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/esr_style_toolbar.h"
#include "ui/editor/link_dialog.h"
#include "ui/editor/note_document.h"
#include "ui/editor/note_history_window.h"
#include "ui/editor/paragraph_dialog.h"
#include "ui/editor/table_dialog.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek {

using editor::CheckState;
using Effect = CXRichEditCtrl::Effect;

namespace {

CWndEsr::FileShower& Shower() {
  static CWndEsr::FileShower shower;
  return shower;
}


// The editor's icons, read once for all its windows (an editor opens with some sixty of them).
// They go with the application object.
const QIcon& EditorIcon(const QString& name) {
  struct Icons : QObject {
    QHash<QString, QIcon> byName;
  };
  static QPointer<Icons> icons;
  if (!icons) icons = new Icons;
  if (icons->parent() != qApp) icons->setParent(qApp);
  auto it = icons->byName.find(name);
  if (it == icons->byName.end())
    it = icons->byName.insert(name, QIcon(QStringLiteral(":/icons/editor/%1.png").arg(name)));
  return *it;
}

// The icon of a button whose state is mixed: the picture paled over a grey hatch.
QIcon MixedIcon(const QIcon& icon) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.fillRect(pixmap.rect(), QBrush(QColor(128, 128, 128), Qt::Dense5Pattern));
  p.setOpacity(0.45);
  p.drawPixmap(0, 0, icon.pixmap(16, 16));
  p.end();
  return QIcon(pixmap);
}

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }
Rgb ToRgb(const QColor& c) {
  return Rgb{std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue())};
}

void KeepNoteVersion(const std::string& file);  // below, beside the recovery base
// The notebook the editors follow (and save into): set by FollowNotebook.
Notebook*& EditorsNotebook() {
  static Notebook* notebook = nullptr;
  return notebook;
}
}  // namespace

void CWndEsr::SetFileShower(FileShower shower) { Shower() = std::move(shower); }

// ---- Creation -------------------------------------------------------------------------------------

CWndEsr::CWndEsr(DocumentPath documentPath, ElementPath elementPath, std::string filePath,
                 QWidget* parent)
    : QWidget(parent, Qt::Window),
      NoteIdentity(std::move(documentPath), std::move(elementPath)),
      filePath_(std::move(filePath)) {
  OpenEditors().Add(this);
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(QStringLiteral("EsrEditor"));
  // The note's path as it is spelled on disk: the registry compares paths without regard to
  // case, but on this system a lower-cased path names no file.
  setWindowTitle(Q(filePath_));
  setWindowIcon(EditorIcon(QStringLiteral("editor")));
  resize(kDefaultWidth, kDefaultHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
  layout->setSpacing(0);
  CreateMenu();
  layout->addWidget(menuBar_);  // inside the frame, unlike a layout's own menu bar

  body_ = new QWidget(this);
  body_->installEventFilter(this);
  layout->addWidget(body_, 1);

  panel_ = new QFrame(body_);
  panel_->setObjectName(QStringLiteral("RichEditPanel"));
  panel_->setFrameShape(QFrame::StyledPanel);
  panel_->setFrameShadow(QFrame::Sunken);
  panel_->setAutoFillBackground(true);
  QPalette white = panel_->palette();
  white.setColor(QPalette::Window, Qt::white);
  panel_->setPalette(white);
  auto* panelLayout = new QHBoxLayout(panel_);
  panelLayout->setContentsMargins(1, 1, 1, 1);
  richEdit_ = new CXRichEditCtrl(panel_);
  richEdit_->SetOwner(this);
  panelLayout->addWidget(richEdit_);

  CreateToolBars();
  styleBar_->SetRichEdit(richEdit_);
  // F3 and Shift+F3: the next and the previous match of the last search.
  for (const bool down : {true, false}) {
    auto* again = new QAction(this);
    again->setObjectName(down ? QStringLiteral("FindNextAgain") : QStringLiteral("FindPreviousAgain"));
    again->setShortcut(down ? QKeySequence(Qt::Key_F3) : QKeySequence(Qt::SHIFT | Qt::Key_F3));
    again->setShortcutContext(Qt::WindowShortcut);
    connect(again, &QAction::triggered, this, [this, down] { richEdit_->FindAgain(down); });
    addAction(again);
  }
  LayoutBody();

  connect(richEdit_, &CXRichEditCtrl::StatesMayHaveChanged, this, &CWndEsr::ScheduleStateUpdate);
  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMilliseconds);
  connect(refresh_, &QTimer::timeout, this, &CWndEsr::UpdateCommandStates);
  connect(refresh_, &QTimer::timeout, this, [this] {
    // Not under a dialog, menu or question: the command behind it may be saving this note.
    if (!QApplication::activeModalWidget() && !QApplication::activePopupWidget())
      TakeOutsideChange();
  });
  refresh_->start();
  richEdit_->setFocus();
  UpdateCommandStates();
}

CWndEsr::~CWndEsr() {
  OpenEditors().Remove(this);
  // The children go after this part of the object: they must not reach back into it.
  disconnect(richEdit_, nullptr, this, nullptr);
  refresh_->stop();
}

QAction* CWndEsr::AddCommand(int id, const QString& icon, const QString& tip,
                             const QKeySequence& shortcut, bool checkable) {
  auto* action = new QAction(this);
  action->setData(id);
  action->setObjectName(QStringLiteral("cmd%1").arg(id));
  if (!icon.isEmpty()) {
    const QIcon& picture = EditorIcon(icon);
    action->setIcon(picture);
    icons_[id] = picture;
  }
  action->setText(tip);
  action->setToolTip(shortcut.isEmpty()
                         ? tip
                         : QStringLiteral("%1 (%2)").arg(tip, shortcut.toString(QKeySequence::NativeText)));
  action->setStatusTip(tip);
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
  }
  action->setCheckable(checkable);
  connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
  addAction(action);
  actions_[id] = action;
  return action;
}

void CWndEsr::CreateMenu() {
  menuBar_ = new QMenuBar(this);
  QMenu* file = menuBar_->addMenu(QStringLiteral("文件(&F)"));
  // Ctrl+W closes as the close box does, with the save question.
  file->addAction(AddCommand(cmd::kClose, {}, QStringLiteral("关闭(&X)"),
                             QKeySequence(Qt::CTRL | Qt::Key_W)));
  file->addAction(AddCommand(cmd::kOpenFileDirectory, {}, QStringLiteral("打开文件目录")));
  file->addAction(AddCommand(cmd::kNoteHistory, {}, QString::fromUtf8(kHistoryTitle)));
  QMenu* edit = menuBar_->addMenu(QStringLiteral("编辑"));
  edit->addAction(AddCommand(cmd::kImportContent, {}, QStringLiteral("导入内容")));
  edit->addAction(AddCommand(cmd::kExportContent, {}, QStringLiteral("导出内容")));
  edit->addSeparator();
  // Embedded objects have no verbs on this system; the item stays as the menu's landmark.
  QAction* object = AddCommand(cmd::kObject, {}, QStringLiteral("对象"));
  object->setEnabled(false);
  edit->addAction(object);
  edit->addAction(AddCommand(cmd::kInsertObject, {}, QStringLiteral("插入对像")));
}

void CWndEsr::CreateToolBars() {
  mainBar_ = new QToolBar(body_);
  mainBar_->setWindowTitle(QStringLiteral("Main"));
  mainBar_->setObjectName(QStringLiteral("Main"));
  mainBar_->setIconSize(QSize(16, 16));
  mainBar_->setMovable(false);
  mainBar_->setFloatable(false);
  struct Button {
    int id;
    const char* icon;
    const char* tip;
    QKeySequence shortcut;
    bool checkable;
  };
  const Button mainButtons[] = {
      {cmd::kSave, "save", "保存", QKeySequence::Save, false},
      {cmd::kUndo, "undo", "撤销", QKeySequence::Undo, false},
      {cmd::kRedo, "redo", "重做", QKeySequence::Redo, false},
      {cmd::kCut, "cut", "剪切", {}, false},
      {cmd::kCopy, "copy", "复制", {}, false},
      {cmd::kPaste, "paste", "粘贴", {}, false},
      {cmd::kDelete, "delete", "删除", {}, false},
      {cmd::kFont, "font", "字体", {}, false},
      {cmd::kIndentMore, "indent_more", "增加缩进", {}, false},
      {cmd::kIndentLess, "indent_less", "减少缩进", {}, false},
      {cmd::kParagraph, "paragraph", "段落", {}, false},
      {cmd::kInsertTable, "table", "插入表格", {}, false},
      {cmd::kInsertSeparator, "separator", "插入分隔线", {}, false},
      {cmd::kProtect, "protect", "保护并高亮", {}, true},
      {cmd::kInsertDateTime, "datetime", "插入日期时间", {}, false},
      {cmd::kFind, "find", "查找", QKeySequence::Find, false},
      {cmd::kReplace, "replace", "替换", QKeySequence(Qt::CTRL | Qt::Key_H), false},
  };
  for (const Button& b : mainButtons)
    mainBar_->addAction(AddCommand(b.id, QString::fromUtf8(b.icon), QString::fromUtf8(b.tip),
                                   b.shortcut, b.checkable));
  // Redo answers Ctrl+Y too, the key most users know it by, besides the desktop's own.
  QList<QKeySequence> redoKeys = QKeySequence::keyBindings(QKeySequence::Redo);
  for (const QKeySequence& k : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                QKeySequence(Qt::CTRL | Qt::Key_Y)})
    if (!redoKeys.contains(k)) redoKeys.push_back(k);
  actions_[cmd::kRedo]->setShortcuts(redoKeys);

  styleBar_ = new CEsrStyleToolBar(body_);
  const Button styleButtons[] = {
      {cmd::kBold, "bold", "粗体", QKeySequence::Bold, true},
      {cmd::kItalic, "italic", "斜体", QKeySequence::Italic, true},
      {cmd::kUnderline, "underline", "下划线", QKeySequence::Underline, true},
      {cmd::kStrikeOut, "strikeout", "删除线", {}, true},
      {cmd::kAlignLeft, "align_left", "左对齐", {}, true},
      {cmd::kAlignCenter, "align_center", "居中", {}, true},
      {cmd::kAlignRight, "align_right", "右对齐", {}, true},
      {cmd::kCycleNumbering, "cycle_numbering", "循环编号", {}, false},
      {cmd::kNumbering, "numbering", "编号", {}, true},
      {cmd::kBullets, "bullets", "项目符号", {}, true},
      {cmd::kInsertLink, "link", "插入链接", {}, false},
      {cmd::kTextColor, "text_color", "文字颜色", {}, false},
      {cmd::kBackColor, "back_color", "背景颜色", {}, false},
      {cmd::kSuperscript, "superscript", "上标", {}, true},
      {cmd::kSubscript, "subscript", "下标", {}, true},
  };
  styleBar_->AddFontNameBox();
  styleBar_->AddFontSizeBox();
  for (const Button& b : styleButtons)
    styleBar_->addAction(AddCommand(b.id, QString::fromUtf8(b.icon), QString::fromUtf8(b.tip),
                                    b.shortcut, b.checkable));
}

// ---- Layout and painting ------------------------------------------------------------------------

bool CWndEsr::eventFilter(QObject* watched, QEvent* e) {
  if (watched == body_ && (e->type() == QEvent::Resize || e->type() == QEvent::LayoutRequest))
    LayoutBody();
  return QWidget::eventFilter(watched, e);
}

void CWndEsr::LayoutBody() {
  if (!body_ || !mainBar_ || !styleBar_ || !panel_) return;
  const int width = body_->width();
  const QSize m = mainBar_->sizeHint();
  int top = 0;
  oneRow_ = m.width() + styleBar_->FullWidth() < width;
  // Stacked, each bar is shown whole: the formatting bar narrows its font-name box rather than
  // hide buttons behind "»".
  styleBar_->FitWidth(oneRow_ ? styleBar_->FullWidth() : width);
  const QSize s = styleBar_->sizeHint();
  if (oneRow_) {
    const int h = std::max(m.height(), s.height());
    mainBar_->setGeometry(0, 0, m.width(), h);
    styleBar_->setGeometry(m.width(), 0, s.width(), h);
    top = h;
  } else {
    mainBar_->setGeometry(0, 0, width, m.height());
    styleBar_->setGeometry(0, m.height(), width, s.height());
    top = m.height() + s.height();
  }
  panel_->setGeometry(0, top, width, std::max(0, body_->height() - top));
}

void CWndEsr::paintEvent(QPaintEvent* e) {
  QWidget::paintEvent(e);
  QPainter p(this);
  const QRect r = rect();
  const int w = kFrameWidth;
  p.fillRect(QRect(r.left(), r.top(), r.width(), w), kFrameColor);
  p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), kFrameColor);
  p.fillRect(QRect(r.left(), r.top(), w, r.height()), kFrameColor);
  p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), kFrameColor);
}

// ---- Command states -------------------------------------------------------------------------------

QAction* CWndEsr::Action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

CheckState CWndEsr::CommandCheckState(int id) const {
  const auto it = checks_.find(id);
  return it == checks_.end() ? CheckState::Unchecked : it->second;
}

void CWndEsr::SetCheckState(int id, CheckState state) {
  QAction* action = Action(id);
  if (!action) return;
  const CheckState before = CommandCheckState(id);
  checks_[id] = state;
  action->setChecked(state == CheckState::Checked);
  if (before != state || action->property("checkState").isNull()) {
    action->setProperty("checkState", int(state));
    const auto icon = icons_.find(id);
    if (icon != icons_.end())
      action->setIcon(state == CheckState::Indeterminate ? MixedIcon(icon->second) : icon->second);
  }
}

void CWndEsr::ScheduleStateUpdate() {
  if (updatePending_) return;
  updatePending_ = true;
  QTimer::singleShot(0, this, [this] {
    updatePending_ = false;
    UpdateCommandStates();
  });
}

void CWndEsr::UpdateCommandStates() {
  CXRichEditCtrl* r = richEdit_;
  const auto& para = r->SelectionParaFormat();
  for (auto [id, effect] : {std::pair{cmd::kBold, Effect::Bold}, {cmd::kItalic, Effect::Italic},
                            {cmd::kUnderline, Effect::Underline}, {cmd::kStrikeOut, Effect::StrikeOut},
                            {cmd::kSuperscript, Effect::Superscript},
                            {cmd::kSubscript, Effect::Subscript}, {cmd::kProtect, Effect::Protected}})
    SetCheckState(id, r->EffectState(effect));
  SetCheckState(cmd::kAlignLeft, editor::ValueCheckState(para.paragraph.alignment, int(editor::kAlignLeft)));
  SetCheckState(cmd::kAlignCenter,
                editor::ValueCheckState(para.paragraph.alignment, int(editor::kAlignCenter)));
  SetCheckState(cmd::kAlignRight, editor::ValueCheckState(para.paragraph.alignment, int(editor::kAlignRight)));
  SetCheckState(cmd::kNumbering, editor::NumberingCheckState(para.numbering));
  SetCheckState(cmd::kBullets, editor::BulletsCheckState(para.numbering));

  const bool selected = r->textCursor().hasSelection();
  Action(cmd::kSave)->setEnabled(r->document()->isModified());
  Action(cmd::kUndo)->setEnabled(r->document()->isUndoAvailable());
  Action(cmd::kRedo)->setEnabled(r->document()->isRedoAvailable());
  Action(cmd::kCut)->setEnabled(selected);
  Action(cmd::kCopy)->setEnabled(selected);
  Action(cmd::kDelete)->setEnabled(selected);
  Action(cmd::kPaste)->setEnabled(r->CanPasteNow());
  styleBar_->RefreshBoxes();
}

// ---- Commands ---------------------------------------------------------------------------------------

void CWndEsr::RunCommand(int id) {
  CXRichEditCtrl* r = richEdit_;
  switch (id) {
    case cmd::kBold: r->ToggleEffect(Effect::Bold); break;
    case cmd::kItalic: r->ToggleEffect(Effect::Italic); break;
    case cmd::kUnderline: r->ToggleEffect(Effect::Underline); break;
    case cmd::kStrikeOut: r->ToggleEffect(Effect::StrikeOut); break;
    case cmd::kSuperscript: r->ToggleEffect(Effect::Superscript); break;
    case cmd::kSubscript: r->ToggleEffect(Effect::Subscript); break;
    case cmd::kAlignLeft: r->SetAlignment(editor::kAlignLeft); break;
    case cmd::kAlignCenter: r->SetAlignment(editor::kAlignCenter); break;
    case cmd::kAlignRight: r->SetAlignment(editor::kAlignRight); break;
    case cmd::kNumbering: r->SetNumbering(editor::kNumberingArabic); break;
    case cmd::kBullets: r->SetNumbering(editor::kNumberingBullet); break;
    case cmd::kCycleNumbering: r->CycleNumbering(); break;
    case cmd::kIndentMore: r->Indent(editor::kIndentStep); break;
    case cmd::kIndentLess: r->Indent(-editor::kIndentStep); break;
    case cmd::kTextColor: ChooseColor(false); break;
    case cmd::kBackColor: ChooseColor(true); break;
    case cmd::kProtect: r->ToggleProtect(); break;
    case cmd::kInsertLink: InsertLinkWithDialog(r, this); break;
    case cmd::kInsertTable: InsertTableWithDialog(r, this); break;
    case cmd::kFind: r->Find(); break;
    case cmd::kReplace: r->Replace(); break;
    case cmd::kInsertSeparator: r->InsertSeparator(); break;
    case cmd::kInsertDateTime: InsertDateTime(); break;
    case cmd::kFont: r->FontDialog(); break;
    case cmd::kParagraph: EditParagraph(); break;
    case cmd::kSave: SaveDocument(); break;
    case cmd::kUndo:
      r->undo();
      r->MarkFormatsStale();
      break;
    case cmd::kRedo:
      r->redo();
      r->MarkFormatsStale();
      break;
    case cmd::kCut: r->Cut(); break;
    case cmd::kCopy: r->copy(); break;
    case cmd::kPaste: r->Paste(); break;
    case cmd::kDelete: r->Clear(); break;
    case cmd::kClose:
      QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
      break;
    case cmd::kOpenFileDirectory: OpenFileDirectory(); break;
    case cmd::kImportContent: ImportContent(); break;
    case cmd::kExportContent: ExportContent(); break;
    case cmd::kInsertObject: InsertObject(); break;
    case cmd::kNoteHistory: ShowHistory(); break;
    default: return;
  }
  UpdateCommandStates();
}

void CWndEsr::ChooseColor(bool background) {
  const auto& f = richEdit_->SelectionCharFormat();
  const editor::Uniform<QColor>& current = background ? f.backColor : f.textColor;
  const QColor initial = current && current->isValid() ? *current
                                                       : (background ? QColor(Qt::white) : QColor(Qt::black));
  const std::optional<Rgb> chosen = prompts().ChooseColor(ToRgb(initial));
  richEdit_->setFocus();
  if (!chosen) return;
  if (background)
    richEdit_->SetBackColor(ToQColor(*chosen));
  else
    richEdit_->SetTextColor(ToQColor(*chosen));
}

void CWndEsr::InsertDateTime() {
  CDateTimeDialog dialog(this);
  const bool ok = dialog.exec() == QDialog::Accepted;
  richEdit_->setFocus();
  if (ok && !dialog.SelectedText().isEmpty()) richEdit_->ReplaceSelection(dialog.SelectedText());
}

void CWndEsr::EditParagraph() {
  CParagraphDialog dialog(richEdit_->SelectionParaFormat().paragraph, this);
  const bool ok = dialog.exec() == QDialog::Accepted;
  richEdit_->setFocus();
  if (ok) richEdit_->ApplyParagraphFormat(dialog.Result());
}

void CWndEsr::OpenFileDirectory() {
  if (Shower())
    Shower()(filePath_);
  else
    ShowInFileManager(Q(filePath_), true);
}

// ---- Documents --------------------------------------------------------------------------------------

bool CWndEsr::LoadDocument() {
  std::string problem;
  FileSignature read;
  const std::optional<std::string> bytes = ReadWholeFile(filePath_, &read);
  disk_ = bytes ? std::optional<FileSignature>(read) : FileSignatureOf(filePath_);
  if (!bytes) {
    // Nothing could be read: an empty editor, and the file is left alone until a save.
    loadFailed_ = true;
    richEdit_->ResetDocument();
    prompts().Message(FormatMessage("文档无法读取，编辑器中是空文档：%s", filePath_),
                      MsgButtons::Ok, MsgIcon::Warning);
  } else if (!ReadNote(richEdit_, *bytes, &problem)) {
    // A damaged document shows what could be read; the file is kept aside before a save.
    loadFailed_ = true;
    prompts().Message(FormatMessage("文档已损坏：%s", filePath_ + "\n" + problem), MsgButtons::Ok,
                      MsgIcon::Warning);
  } else {
    loadFailed_ = false;
  }
  const bool ok = !loadFailed_;
  richEdit_->moveCursor(QTextCursor::Start);
  richEdit_->MarkFormatsStale();
  UpdateCommandStates();
  return ok;
}

bool CWndEsr::SaveDocument() {
  if (!TakeOutsideChange()) return false;
  // A document that could not be read is kept aside before it is replaced for the first time.
  if (loadFailed_ && PathExists(filePath_)) {
    const std::optional<std::string> old = ReadWholeFile(filePath_);
    const std::string keep = KeptAsideName(filePath_, "unreadable");
    std::string error;
    if (old && !WriteFileAtomically(keep, *old, &error)) {
      prompts().Message(FormatMessage("文档保存失败：%s", filePath_ + "\n" + error), MsgButtons::Ok,
                        MsgIcon::Error);
      return false;
    }
    if (old)
      prompts().Message(FormatMessage("原来的文档已另存为：%s", keep), MsgButtons::Ok,
                        MsgIcon::Information);
    loadFailed_ = false;
  }
  std::string rtf;
  std::string error;
  if (!WriteNote(*richEdit_->document(), &rtf)) error = "无法生成文档的 RTF 内容";
  if (error.empty()) KeepNoteVersion(filePath_);
  std::vector<std::string> made;
  if (error.empty()) MakeMissingStoreDirectories(&made);
  const auto removeMade = [&made] {
    for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str());  // when empty
  };
  if (!error.empty() || !WriteNoteFile(rtf, &error)) {
    removeMade();
    prompts().Message(FormatMessage("文档保存失败：%s", filePath_ + "\n" + error), MsgButtons::Ok,
                      MsgIcon::Error);
    return false;
  }
  richEdit_->document()->setModified(false);
  const std::string savedAt = filePath_;
  KeepSavedNoteInTree();
  // The note went to "恢复的笔记": the directories made for it alone go again.
  if (filePath_ != savedAt) removeMade();
  UpdateCommandStates();
  return true;
}

void CWndEsr::MakeMissingStoreDirectories(std::vector<std::string>* made) const {
  const Notebook* notebook = EditorsNotebook();
  if (!notebook || !notebook->IsOpen()) return;
  const std::string store = NoteStoreDirectory(notebook->DatabasePath());
  if (filePath_.size() <= store.size() + 1 || filePath_.compare(0, store.size(), store) != 0 ||
      filePath_[store.size()] != '/' || !IsDirectory(store))
    return;
  std::string directory = store;
  std::string_view rest = std::string_view(filePath_).substr(store.size() + 1);
  for (auto slash = rest.find('/'); slash != std::string_view::npos; slash = rest.find('/')) {
    directory = JoinPath(directory, rest.substr(0, slash));
    rest.remove_prefix(slash + 1);
    if (IsDirectory(directory)) continue;
    if (::mkdir(directory.c_str(), kPrivateDirectoryMode) != 0) return;
    made->push_back(directory);
  }
  if (!made->empty()) SyncDirectory(DirectoryOf(made->front()));
}

void CWndEsr::KeepSavedNoteInTree() {
  Notebook* notebook = EditorsNotebook();
  if (!notebook) return;
  CXmlDocument& doc = notebook->Document();
  if (StoreFileHasElement(doc, filePath_)) return;
  const std::string recovered = std::string(kArchivePath) + "/" + kRecoveredFolderName;
  const bool hadRecovered = static_cast<bool>(doc.Select(recovered));
  std::string elementPath;
  const std::string now = PlaceNoteFileInTree(doc, filePath_, &elementPath);
  if (now.empty()) return;  // not a file of the store
  const bool saved = doc.Save();
  FollowTo(DocumentPath(now), ElementPath(elementPath));
  // The windows show it: the note, or the folder of recovered notes with it.
  if (const auto item = ItemPathOfElementPath(ElementPath(
          !hadRecovered && elementPath.rfind(recovered + "/", 0) == 0 ? recovered : elementPath)))
    notebook->Publish(notebook->Commands().AddedEvents(*item));
  prompts().Message(FormatMessage(kMsgSavedIntoTree, now), MsgButtons::Ok, MsgIcon::Information);
  if (!saved) notebook->ReportSaveFailure();
}

namespace {
// Why a guarded write of a note did not replace it (never shown: the version is kept instead).
constexpr const char* kNoteChangedOnDisk = "笔记文件已被其他程序修改。";
}  // namespace

bool CWndEsr::WriteNoteFile(const std::string& rtf, std::string* error) {
  for (int attempt = 0;; ++attempt) {
    FileSignature written;
    if (WriteFileAtomically(filePath_, rtf, error, ReplaceGuard{disk_, kNoteChangedOnDisk},
                            &written)) {
      disk_ = written;
      return true;
    }
    // Another version arrived between the check and the replacement: it is kept too.
    if (*error != kNoteChangedOnDisk || attempt == 2 || !KeepOutsideVersion()) return false;
  }
}

bool CWndEsr::TakeOutsideChange() {
  if (takingOutside_) return true;
  const std::optional<FileSignature> now = FileSignatureOf(filePath_);
  if (!now || now == disk_) return true;
  takingOutside_ = true;
  bool kept = true;
  if (richEdit_->document()->isModified())
    kept = KeepOutsideVersion();
  else
    ReloadFromDisk();
  takingOutside_ = false;
  return kept;
}

void CWndEsr::ReloadFromDisk() {
  QScrollBar* bar = richEdit_->verticalScrollBar();
  const int scroll = bar->value();
  const int position = richEdit_->textCursor().position();
  LoadDocument();
  QTextCursor cursor = richEdit_->textCursor();
  cursor.setPosition(std::clamp(position, 0, richEdit_->document()->characterCount() - 1));
  richEdit_->setTextCursor(cursor);
  bar->setValue(scroll);
  // Once the new text is laid out too.
  QTimer::singleShot(0, this, [this, scroll] { richEdit_->verticalScrollBar()->setValue(scroll); });
  const QString title = Q(filePath_);
  setWindowTitle(title + QStringLiteral(" —— 已载入在别处修改后的内容"));
  QTimer::singleShot(kOutsideNoticeMilliseconds, this, [this, title] {
    if (windowTitle().startsWith(title)) setWindowTitle(Q(filePath_));
  });
}

bool CWndEsr::KeepOutsideVersion() {
  FileSignature read;
  const std::optional<std::string> theirs = ReadWholeFile(filePath_, &read);
  if (!theirs) {
    // Gone again: nothing to keep; the next save writes the note anew.
    disk_ = FileSignatureOf(filePath_);
    return true;
  }
  // Beside the note under a sync tool's conflict name, which the notebook takes in as a conflict
  // note like any other (core/db/conflict_merge.h).
  const SystemTime t = clock().LocalNow();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  std::string stem = FileNameOf(filePath_);
  if (stem.size() > 4 && EqualsIgnoreLatinCase(stem.substr(stem.size() - 4), ".esr"))
    stem.resize(stem.size() - 4);
  std::string copy;
  for (int n = 0; copy.empty() || PathExists(copy); ++n)
    copy = JoinPath(DirectoryOf(filePath_), stem + ".sync-conflict-" + stamp + "-ZORBEK" +
                                                 (n ? std::to_string(n) : std::string()) + ".esr");
  std::string error;
  if (!WriteFileAtomically(copy, *theirs, &error)) {
    prompts().Message(FormatMessage("这篇笔记在别处被修改过，但那个版本无法另存，您的修改没有写入：%s",
                                    filePath_ + "\n" + error),
                      MsgButtons::Ok, MsgIcon::Error);
    return false;
  }
  disk_ = read;
  std::string shown = copy;
  if (Notebook* notebook = EditorsNotebook(); notebook && notebook->IsOpen()) {
    const MergeReport report = MergeConflictCopies(notebook->DatabasePath(), {copy});
    notebook->ReloadIfChanged();
    for (const std::string& name : report.conflictNotes)
      if (FileNameOf(name).rfind(stem + "_冲突_", 0) == 0) shown = name;
  }
  prompts().Message(FormatMessage("这篇笔记在别处被修改过。编辑器中仍是您的文字，保存时写入；别处的版本"
                                  "已作为冲突笔记放在它旁边：%s",
                                  shown),
                    MsgButtons::Ok, MsgIcon::Information);
  return true;
}

void CWndEsr::ImportContent() {
  const std::optional<std::string> path = prompts().OpenFile("导入内容", "");
  richEdit_->setFocus();
  if (!path) return;
  const std::optional<std::string> bytes = ReadWholeFile(*path);
  int taken = 0;
  if (bytes && !bytes->empty()) {
    QTextCursor c = richEdit_->textCursor();
    taken = StartsAsRtf(*bytes) ? InsertRtfContent(c, *bytes)
                                : InsertTextContent(c, DecodeTextFile(*bytes));
    richEdit_->setTextCursor(c);
  }
  if (taken <= 0)
    prompts().Message("导入内容失败，请检文件格式或者文件是否存在。", MsgButtons::Ok, MsgIcon::Warning);
}

void CWndEsr::ExportContent() {
  if (richEdit_->SelectionLength() == 0) {
    prompts().Message("请选择需要导出的内容。", MsgButtons::Ok, MsgIcon::Information);
    return;
  }
  const std::optional<std::string> name = prompts().SaveFile(
      "导出内容", "RTF文档格式(*.rtf)|*.rtf|文本格式(*.txt)|*.txt||", "", "");
  richEdit_->setFocus();
  if (!name) return;
  const QTextCursor c = richEdit_->textCursor();
  std::string data;
  std::string error;
  if (!editor::ExportsAsRtf(*name))
    data = SelectionToText(c);
  else if (!SelectionToRtf(c, &data))
    error = "无法生成 RTF 内容";
  if (!error.empty() || !WriteFileAtomically(*name, data, &error, NewFileAccess::Shared))
    prompts().Message(FormatMessage("导出内容失败：%s", *name + "\n" + error), MsgButtons::Ok,
                      MsgIcon::Error);
}

void CWndEsr::ShowHistory() {
  const Notebook* notebook = EditorsNotebook();
  std::vector<NoteVersion> versions;
  if (notebook) versions = VersionsOf(notebook->DatabasePath(), filePath_);
  auto* window = new CWndNoteHistory(std::move(versions),
                                     [this](const std::string& bytes) { RestoreVersion(bytes); },
                                     this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->open();
}

void CWndEsr::RestoreVersion(const std::string& bytes) {
  // The whole text replaced in one edit block: one undo step takes it back.
  QTextCursor c(richEdit_->document());
  c.beginEditBlock();
  c.select(QTextCursor::Document);
  if (StartsAsRtf(bytes)) InsertRtfContent(c, bytes);
  else InsertTextContent(c, DecodeTextFile(bytes));
  c.endEditBlock();
  richEdit_->document()->setModified(true);
  richEdit_->MarkFormatsStale();
  richEdit_->setFocus();
  UpdateCommandStates();
}

void CWndEsr::InsertObject() {
  const std::optional<std::string> path = prompts().OpenFile(
      "插入对像", "图片(*.png;*.jpg;*.jpeg;*.bmp;*.gif)|*.png;*.jpg;*.jpeg;*.bmp;*.gif||");
  richEdit_->setFocus();
  if (path) richEdit_->InsertPictureFile(Q(*path));
}

// ---- Closing -------------------------------------------------------------------------------------------

bool CWndEsr::BringForward() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  return isVisible();
}

void CWndEsr::FollowTo(const DocumentPath& documentPath, const ElementPath& elementPath) {
  const std::string file = NormaliseSeparators(documentPath.str());
  SetPaths(NormaliseNotePath(documentPath), NormaliseNotePath(elementPath));
  // The file as it lies on disk now (a store copied from a case-insensitive system may spell it
  // otherwise); where it is not there yet, the next save makes it under the new name.
  filePath_ = ResolvePathIgnoringCase(file).value_or(file);
  // The same file under its new name: a rename moves its status time, nothing else.
  const std::optional<FileSignature> now = FileSignatureOf(filePath_);
  if (now && disk_ && now->device == disk_->device && now->inode == disk_->inode &&
      now->size == disk_->size && now->modifiedNs == disk_->modifiedNs)
    disk_ = now;
  setWindowTitle(Q(filePath_));
}

void editor::FollowNoteChanges(const std::vector<NotebookEvent>& events) {
  for (const NotebookEvent& c : events) {
    if (c.item != ItemKind::Note || c.oldDocumentPath.empty()) continue;
    CWndEsr* open = FindNoteEditor(c.oldDocumentPath);
    if (!open) continue;
    switch (c.kind) {
      case NotebookEventKind::kRenamed:
      case NotebookEventKind::kMoved: open->FollowTo(c.newDocumentPath, c.newElementPath); break;
      case NotebookEventKind::kReplaced:
      case NotebookEventKind::kDeleting:
      case NotebookEventKind::kDeleted:
        open->CloseWithoutAsking();
        // Off the list at once, even where the window system has not closed it yet.
        OpenEditors().Remove(open);
        break;
      default:
        break;
    }
  }
}

void editor::UnfollowNotebook(Notebook& notebook, int listener) {
  notebook.RemoveListener(listener);
  if (EditorsNotebook() == &notebook) EditorsNotebook() = nullptr;
}

int editor::FollowNotebook(Notebook& notebook) {
  EditorsNotebook() = &notebook;
  return notebook.AddListener(&editor::FollowNoteChanges);
}

void CWndEsr::CloseWithoutAsking() {
  forcedClose_ = true;
  close();
}

bool CWndEsr::CloseAskingToSave() {
  forcedClose_ = false;
  return close();
}

namespace {
std::string& RecoveryBase() {
  static std::string base;
  return base;
}

// The note's history keeps the version a save is about to replace (by the history's rules).
void KeepNoteVersion(const std::string& file) {
  const Notebook* notebook = EditorsNotebook();
  if (!notebook || RecoveryBase().empty()) return;
  KeepVersionBeforeSave(notebook->DatabasePath(), file,
                        HistoryRulesOf(SettingsFilePath(RecoveryBase())), clock().UnixSeconds());
}
}  // namespace

void CWndEsr::SetRecoveryBase(std::string base) { RecoveryBase() = std::move(base); }

void CWndEsr::PreserveUnsaved() {
  QTextDocument* doc = richEdit_->document();
  if (!doc->isModified() || doc->revision() == preservedRevision_ || RecoveryBase().empty()) return;
  std::string rtf;
  if (!WriteNote(*doc, &rtf)) return;
  std::string name = FileNameOf(filePath_);
  if (name.size() > 4 && EqualsIgnoreLatinCase(name.substr(name.size() - 4), ".esr"))
    name.resize(name.size() - 4);
  if (WriteRecoveryFile(RecoveryBase(), name, rtf)) preservedRevision_ = doc->revision();
}

void CWndEsr::closeEvent(QCloseEvent* e) {
  if (!forcedClose_ && richEdit_->document()->isModified()) {
    // Asked of several editors in a row (at exit), each question comes with its editor in
    // front and its note named in the box's title.
    BringForward();
    const MsgResult answer = prompts().Message("文档已经被修改，保存吗？", MsgButtons::YesNoCancel,
                                               MsgIcon::Question, windowTitle().toStdString());
    // A save that fails keeps the editor open, so that nothing typed is lost.
    if (answer == MsgResult::Cancel || (answer == MsgResult::Yes && !SaveDocument())) {
      e->ignore();
      richEdit_->setFocus();
      return;
    }
  }
  refresh_->stop();
  OpenEditors().Remove(this);
  e->accept();
}

// ---- Opening -------------------------------------------------------------------------------------------

CWndEsr* FindNoteEditor(const DocumentPath& documentPath, const ElementPath& elementPath) {
  const DocumentPath doc = NormaliseNotePath(documentPath);
  const ElementPath element = NormaliseNotePath(elementPath);
  NoteIdentity* found = OpenEditors().Find(&doc, elementPath.empty() ? nullptr : &element);
  return dynamic_cast<CWndEsr*>(found);
}

int editor::OpenNoteEditor(const DocumentPath& documentPath, const ElementPath& elementPath) {
  const DocumentPath doc = NormaliseNotePath(documentPath);
  const ElementPath element = NormaliseNotePath(elementPath);
  const std::optional<std::string> file =
      ResolvePathIgnoringCase(NormaliseSeparators(documentPath.str()));
  if (!file || IsDirectory(*file)) {
    prompts().Message("所指向的文件不存在。");
    return 0;
  }
  CWndEsr* editor = nullptr;
  // The new editor lists itself as it is made. One file is one note, so an editor open on the
  // document is found whatever element names it.
  if (NoteIdentity* open = OpenEditors().Find(&doc, nullptr)) return open->BringForward() ? 1 : 0;
  editor = new CWndEsr(doc, element, *file);
  editor->LoadDocument();
  editor->show();
  editor->RichEdit()->setFocus();
  return 1;
}

}  // namespace zorbek
