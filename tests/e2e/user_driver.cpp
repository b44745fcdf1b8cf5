// A user at the keyboard, inside the program: loaded into the built program with LD_PRELOAD by
// the first-day test, it waits for the windows a user would see and types into them. It knows
// the program only by what the screen shows (window kinds, object names, texts), never by its
// classes, so it drives the very binary a user starts.
//
// ZORBEK_E2E_SCENARIO names the walk ("create", "check", "type-unsaved", "recovered", "slip",
// "sync"); what was seen goes to the file ZORBEK_E2E_REPORT, one "key=value" line each. The
// "sync" walk waits, between its steps, for files a script puts in the directory
// ZORBEK_E2E_CONTROL (see BuildSync). A step that does not come about in time ends the
// program with status 3, the report naming the step (and any message box in the way).
#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

constexpr int kTickMs = 50;
constexpr auto kStepLimit = std::chrono::seconds(60);  // the sanitizers make the program slow

struct Step {
  const char* name;
  std::function<bool()> run;  // true when the step is done
  // The sync walk: the control file the step waits for. Its time runs only once the script has
  // put it there; what the other machine does before (its commands, the sync tool carrying the
  // files) is the script's to bound.
  const char* after = nullptr;
};

class UserDriver : public QObject {
 public:
  UserDriver(QString scenario, QString reportPath, QString control)
      : QObject(qApp), scenario_(std::move(scenario)), reportPath_(std::move(reportPath)),
        control_(std::move(control)) {
    if (scenario_ == QLatin1String("create")) BuildCreate();
    else if (scenario_ == QLatin1String("check")) BuildCheck();
    else if (scenario_ == QLatin1String("reminder")) BuildReminder();
    else if (scenario_ == QLatin1String("type-unsaved")) BuildTypeUnsaved();
    else if (scenario_ == QLatin1String("recovered")) BuildRecovered();
    else if (scenario_ == QLatin1String("slip")) BuildSlip();
    else if (scenario_ == QLatin1String("sync")) BuildSync();
    else Fail("unknown scenario " + scenario_);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &UserDriver::Tick);
    stepStart_ = std::chrono::steady_clock::now();
    timer_.start();
  }

 private:
  // ---- what a user sees --------------------------------------------------------------------
  QMainWindow* MainWindow() const {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible() && Tree(m)) return m;
    return nullptr;
  }
  static QTreeWidget* Tree(QWidget* main) {
    return main ? main->findChild<QTreeWidget*>(QStringLiteral("CXmlTreeCtrl")) : nullptr;
  }
  QTreeWidget* Tree() const { return Tree(MainWindow()); }
  QTreeWidgetItem* Item(const QStringList& path) const {
    QTreeWidget* tree = Tree();
    if (!tree || path.isEmpty()) return nullptr;
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < tree->topLevelItemCount() && !item; ++i)
      if (tree->topLevelItem(i)->text(0) == path[0]) item = tree->topLevelItem(i);
    for (int level = 1; item && level < path.size(); ++level) {
      QTreeWidgetItem* next = nullptr;
      for (int i = 0; i < item->childCount() && !next; ++i)
        if (item->child(i)->text(0) == path[level]) next = item->child(i);
      item = next;
    }
    return item;
  }
  // The item as a user reaches it: every folder on the way opened, as a click on its arrow
  // does (the tree makes a folder's items when it is first opened).
  QTreeWidgetItem* Reveal(const QStringList& path) const {
    QTreeWidget* tree = Tree();
    for (qsizetype level = 1; tree && level < path.size(); ++level) {
      QTreeWidgetItem* folder = Item(path.mid(0, level));
      if (!folder) return nullptr;
      if (!folder->isExpanded()) tree->expandItem(folder);
    }
    return Item(path);
  }
  QLineEdit* LabelEditor() const {
    QTreeWidget* tree = Tree();
    if (!tree) return nullptr;
    for (QLineEdit* e : tree->viewport()->findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  static QWidget* Editor() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->objectName() == QLatin1String("EsrEditor")) return w;
    return nullptr;
  }
  static QTextEdit* EditorText() {
    QWidget* e = Editor();
    return e ? e->findChild<QTextEdit*>() : nullptr;
  }
  static QMenu* OpenMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

  // ---- what a user does --------------------------------------------------------------------
  // Input that may open a menu or a message box is posted, so that the driver is never inside
  // the window's own event loop when it looks again.
  static void PostKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, mods));
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyRelease, key, mods));
  }
  // The context-menu key, as the platform delivers it: aimed at the current row's middle.
  static void PostMenuKey(QWidget* w) {
    const QPoint pos = w->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QCoreApplication::postEvent(
        w, new QContextMenuEvent(QContextMenuEvent::Keyboard, pos, w->mapToGlobal(pos)));
  }
  // Chinese comes from the input method as committed text.
  static void TypeChinese(QWidget* w, const QString& text) {
    QInputMethodEvent e;
    e.setCommitString(text);
    QApplication::sendEvent(w, &e);
  }
  static bool ChooseMenuItem(const QString& text) {
    QMenu* menu = OpenMenu();
    if (!menu) return false;
    for (QAction* a : menu->actions()) {
      if (a->text() != text || !a->isEnabled()) continue;
      menu->setActiveAction(a);
      QTest::keyClick(menu, Qt::Key_Return);
      return true;
    }
    return false;
  }

  void NameNewItem(const char* stepName, const QString& name, const QStringList& path) {
    steps_.push_back({stepName, [this, name] {
                        QLineEdit* edit = LabelEditor();
                        if (!edit) return false;
                        edit->setFocus();
                        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
                        TypeChinese(edit, name);
                        QTest::keyClick(edit, Qt::Key_Return);
                        return true;
                      }});
    steps_.push_back({"the renamed item shows", [this, path] { return Item(path) != nullptr; }});
  }
  void MenuCommandOnSelection(const char* stepName, const QString& command) {
    steps_.push_back({stepName, [this] {
                        QTreeWidget* tree = Tree();
                        if (!tree) return false;
                        tree->setFocus();
                        PostMenuKey(tree);
                        return true;
                      }});
    steps_.push_back({"choose the menu item", [command] { return ChooseMenuItem(command); }});
  }
  void OpenSelectedNoteWithEnter() {
    steps_.push_back({"press Enter on the note", [this] {
                        QTreeWidget* tree = Tree();
                        if (!tree) return false;
                        tree->setFocus();
                        PostKey(tree, Qt::Key_Return);
                        return true;
                      }});
    steps_.push_back({"the editor shows", [] { return EditorText() != nullptr; }});
  }
  void CloseEditorAndProgram() {
    steps_.push_back({"close the editor", [] {
                        QWidget* e = Editor();
                        if (!e) return false;
                        QMetaObject::invokeMethod(e, &QWidget::close, Qt::QueuedConnection);
                        return true;
                      }});
    steps_.push_back({"the editor is gone", [] { return Editor() == nullptr; }});
    steps_.push_back({"close the main window", [this] {
                        Write();
                        QMainWindow* m = MainWindow();
                        if (!m) return false;
                        QMetaObject::invokeMethod(m, &QWidget::close, Qt::QueuedConnection);
                        return true;
                      }});
  }

  // A fresh account: a folder in the file box, a note in it, a Chinese line in the note.
  void BuildCreate() {
    BuildTyping();
    steps_.push_back({"press the save button", [] {
                        QWidget* e = Editor();
                        auto* save = e->findChild<QAction*>(QStringLiteral("cmd32838"));
                        auto* bar = e->findChild<QToolBar*>(QStringLiteral("Main"));
                        if (!save || !bar || !save->isEnabled()) return false;
                        auto* button = qobject_cast<QAbstractButton*>(bar->widgetForAction(save));
                        if (!button) return false;
                        QTest::mouseClick(button, Qt::LeftButton);
                        return true;
                      }});
    steps_.push_back({"the note is saved", [this] {
                        QTextEdit* text = EditorText();
                        if (!text || text->document()->isModified()) return false;
                        report_ << "saved=1";
                        return true;
                      }});
    CloseEditorAndProgram();
  }

  // The line is typed and left unsaved; then the user goes (the test ends the program).
  void BuildTypeUnsaved() {
    BuildTyping();
    steps_.push_back({"report the typing", [this] {
                        report_ << "typed=1";
                        Write();
                        return true;
                      }});
  }

  // The next start tells where the unsaved text went.
  void BuildRecovered() {
    steps_.push_back({"a message shows", [this] {
                        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                        if (!box || !MainWindow()) return false;
                        report_ << QStringLiteral("message=%1").arg(box->text());
                        QTest::keyClick(box, Qt::Key_Return);
                        return true;
                      }});
    steps_.push_back({"close the main window", [this] {
                        Write();
                        QMainWindow* m = MainWindow();
                        if (!m || QApplication::activeModalWidget()) return false;
                        QMetaObject::invokeMethod(m, &QWidget::close, Qt::QueuedConnection);
                        return true;
                      }});
  }

  void BuildTyping() {
    steps_.push_back({"the main window shows", [this] {
                        QTreeWidget* tree = Tree();
                        if (!tree) return false;
                        tree->setFocus();
                        QTest::keyClick(tree, Qt::Key_Home);  // the file box
                        return tree->currentItem() == tree->topLevelItem(0);
                      }});
    MenuCommandOnSelection("menu key on the file box", QStringLiteral("新建文件夹"));
    NameNewItem("name the folder", QStringLiteral("日记本"),
                {QStringLiteral("文件箱"), QStringLiteral("日记本")});
    MenuCommandOnSelection("menu key on the folder", QStringLiteral("新建ESR文件"));
    NameNewItem("name the note", QStringLiteral("第一篇"),
                {QStringLiteral("文件箱"), QStringLiteral("日记本"), QStringLiteral("第一篇")});
    OpenSelectedNoteWithEnter();
    steps_.push_back({"type a line", [] {
                        QTextEdit* text = EditorText();
                        text->setFocus();
                        TypeChinese(text, QStringLiteral("今天下雪了，路上很滑。"));
                        return text->document()->isModified();
                      }});
  }

  // The next start: the folder and the note are there, open as they were left, with the line.
  void BuildCheck() {
    steps_.push_back({"the tree is filled", [this] {
                        QTreeWidgetItem* note = Item({QStringLiteral("文件箱"), QStringLiteral("日记本"),
                                                      QStringLiteral("第一篇")});
                        if (!note) return false;
                        QTreeWidgetItem* folder = note->parent();
                        report_ << QStringLiteral("folder=%1").arg(folder->text(0))
                                << QStringLiteral("note=%1").arg(note->text(0))
                                << QStringLiteral("fileBoxExpanded=%1").arg(folder->parent()->isExpanded())
                                << QStringLiteral("folderExpanded=%1").arg(folder->isExpanded());
                        QTreeWidget* tree = Tree();
                        const QRect r = tree->visualItemRect(note);
                        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                          QPoint(r.left() + 30, r.center().y()));
                        return tree->currentItem() == note;
                      }});
    OpenSelectedNoteWithEnter();
    steps_.push_back({"read the note", [this] {
                        report_ << QStringLiteral("text=%1").arg(EditorText()->toPlainText());
                        return true;
                      }});
    CloseEditorAndProgram();
  }

  // A reminder due at start: the pop-up shows it; the user reads it, presses "确定", opens the
  // reminder list from "时间表" and closes the program.
  static QWidget* Popup() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->windowTitle() == QStringLiteral("提示") && w->findChild<QLabel*>())
        return w;
    return nullptr;
  }
  static QWidget* ReminderList() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->objectName() == QLatin1String("Schedule")) return w;
    return nullptr;
  }
  void BuildReminder() {
    steps_.push_back({"the pop-up shows", [this] {
                        QWidget* popup = Popup();
                        if (!popup) return false;
                        QString text = popup->findChild<QLabel*>()->text();
                        text.replace(QLatin1Char('\n'), QLatin1Char('|'));
                        report_ << QStringLiteral("popup=%1").arg(text);
                        return true;
                      }});
    steps_.push_back({"press OK on the pop-up", [] {
                        QWidget* popup = Popup();
                        for (QAbstractButton* b : popup->findChildren<QAbstractButton*>())
                          if (b->text() == QStringLiteral("确定")) {
                            QTest::mouseClick(b, Qt::LeftButton);
                            return true;
                          }
                        return false;
                      }});
    steps_.push_back({"the pop-up is gone", [this] {
                        if (Popup()) return false;
                        report_ << QStringLiteral("dismissed=1");
                        return true;
                      }});
    steps_.push_back({"double-click the timetable", [this] {
                        QTreeWidgetItem* item = Item({QStringLiteral("时间表")});
                        if (!item) return false;
                        QTreeWidget* tree = Tree();
                        const QRect r = tree->visualItemRect(item);
                        const QPoint at(r.left() + 30, r.center().y());
                        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
                        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
                        return true;
                      }});
    steps_.push_back({"the reminder list shows", [this] {
                        QWidget* list = ReminderList();
                        if (!list) return false;
                        auto* view = list->findChild<QAbstractItemView*>(QStringLiteral("CReportCtrl"));
                        if (!view) return false;
                        report_ << QStringLiteral("rows=%1").arg(view->model()->rowCount());
                        return true;
                      }});
    steps_.push_back({"close the main window", [this] {
                        Write();
                        QMainWindow* m = MainWindow();
                        if (!m) return false;
                        QMetaObject::invokeMethod(m, &QWidget::close, Qt::QueuedConnection);
                        return true;
                      }});
    // The reminder list is open: the program asks before it ends.
    steps_.push_back({"answer the exit question", [this] {
                        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                        if (!box) return false;
                        report_ << QStringLiteral("asked=%1").arg(box->text());
                        Write();
                        for (QAbstractButton* b : box->buttons())
                          if (box->buttonRole(b) == QMessageBox::AcceptRole) {
                            QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
                            return true;
                          }
                        return false;
                      }});
  }

  // A slip of the keyboard at start: Delete, Enter on the file box, which has the focus. Every
  // note goes into the recycle bin; the user opens the bin from the toolbar and restores it.
  static QWidget* RecycleBin() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->objectName() == QLatin1String("RecycleBin")) return w;
    return nullptr;
  }
  void BuildSlip() {
    steps_.push_back({"the tree is filled", [this] {
                        QTreeWidget* tree = Tree();
                        if (!tree || !tree->topLevelItem(0) || tree->topLevelItem(0)->childCount() == 0)
                          return false;
                        report_ << QStringLiteral("before=%1").arg(tree->topLevelItem(0)->childCount())
                                << QStringLiteral("current=%1").arg(
                                       tree->currentItem() ? tree->currentItem()->text(0) : QString());
                        tree->setFocus();
                        PostKey(tree, Qt::Key_Delete);
                        return true;
                      }});
    steps_.push_back({"press Enter on the question", [this] {
                        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                        if (!box) return false;
                        report_ << QStringLiteral("asked=%1").arg(box->text());
                        PostKey(box, Qt::Key_Return);
                        return true;
                      }});
    steps_.push_back({"the file box is empty", [this] {
                        QTreeWidget* tree = Tree();
                        if (!tree || QApplication::activeModalWidget() ||
                            tree->topLevelItem(0)->childCount() != 0)
                          return false;
                        report_ << QStringLiteral("after=0");
                        return true;
                      }});
    steps_.push_back({"press the recycle bin button", [this] {
                        QMainWindow* m = MainWindow();
                        for (QToolBar* bar : m ? m->findChildren<QToolBar*>() : QList<QToolBar*>())
                          for (QAction* a : bar->actions())
                            if (a->objectName() == QLatin1String("showRecycleBin")) {
                              QMetaObject::invokeMethod(a, &QAction::trigger, Qt::QueuedConnection);
                              return true;
                            }
                        return false;
                      }});
    steps_.push_back({"restore the file box", [this] {
                        QWidget* bin = RecycleBin();
                        auto* list = bin ? bin->findChild<QTreeWidget*>(QStringLiteral("RecycleBinList")) : nullptr;
                        if (!list || list->topLevelItemCount() != 1) return false;
                        report_ << QStringLiteral("bin=%1|%2|%3").arg(list->topLevelItem(0)->text(0),
                                                                      list->topLevelItem(0)->text(1),
                                                                      list->topLevelItem(0)->text(4));
                        list->setCurrentItem(list->topLevelItem(0));
                        for (QAbstractButton* b : bin->findChildren<QAbstractButton*>())
                          if (b->text() == QStringLiteral("恢复")) {
                            QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
                            return true;
                          }
                        return false;
                      }});
    steps_.push_back({"the notes are back", [this] {
                        QTreeWidget* tree = Tree();
                        QWidget* bin = RecycleBin();
                        auto* list = bin ? bin->findChild<QTreeWidget*>(QStringLiteral("RecycleBinList")) : nullptr;
                        if (!tree || !list || list->topLevelItemCount() != 0 ||
                            tree->topLevelItem(0)->childCount() == 0)
                          return false;
                        report_ << QStringLiteral("restored=%1").arg(tree->topLevelItem(0)->childCount());
                        bin->close();
                        return true;
                      }});
    steps_.push_back({"close the main window", [this] {
                        Write();
                        QMainWindow* m = MainWindow();
                        if (!m || QApplication::activeModalWidget()) return false;
                        QMetaObject::invokeMethod(m, &QWidget::close, Qt::QueuedConnection);
                        return true;
                      }});
  }

  // The program on one of two machines a sync tool keeps in step, with a note open while the
  // other machine's changes come in. A script drives the other machine and tells the user here
  // what came, by a file in the control directory (its text: what the user should now see):
  //   reload    the other machine changed the open note; the editor, with no edits of its own,
  //             shows the new text (the file's text);
  //   type      the user types this text at the end of the note and leaves it unsaved;
  //   conflict  the other machine changed it again while the user's edits here are unsaved; the
  //             editor keeps them and says so; the user saves;
  //   folder    the machines do not see each other: the user makes a folder (the file's text);
  //             the other machine changes its database meanwhile;
  //   meet      the machines see each other again: the program merges the conflict copy the
  //             sync tool makes and says so;
  //   quit      the user closes the editor and the program.
  // Every message box is read into the report and answered with Enter, whenever it shows.
  bool Control(const char* name, QString* text = nullptr) const {
    QFile f(QDir(control_).filePath(QString::fromLatin1(name)));
    if (!f.open(QIODevice::ReadOnly)) return false;
    if (text) *text = QString::fromUtf8(f.readAll()).trimmed();
    return true;
  }
  bool Told(const QString& words, qsizetype from = 0) const {
    for (qsizetype i = from; i < messages_.size(); ++i)
      if (messages_[i].contains(words)) return true;
    return false;
  }
  void AnswerMessages() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    QString text = box->text();
    text.replace(QLatin1Char('\n'), QLatin1Char('|'));
    messages_ << text;
    report_ << QStringLiteral("message=%1").arg(text);
    Write();
    PostKey(box, Qt::Key_Return);
  }
  void BuildSync() {
    steps_.push_back({"the note shows in the tree", [this] {
                        QTreeWidgetItem* note = Reveal({QStringLiteral("文件箱"), QStringLiteral("工作"),
                                                        QStringLiteral("周报")});
                        if (!note) return false;
                        QTreeWidget* tree = Tree();
                        tree->scrollToItem(note);
                        const QRect r = tree->visualItemRect(note);
                        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                          QPoint(r.left() + 30, r.center().y()));
                        return tree->currentItem() == note;
                      }});
    OpenSelectedNoteWithEnter();
    steps_.push_back({"report the open editor", [this] {
                        report_ << QStringLiteral("opened=1");
                        Write();
                        return true;
                      }});
    steps_.push_back({"the other machine's text shows", [this] {
                        QString expected;
                        QTextEdit* text = EditorText();
                        if (!Control("reload", &expected) || !text ||
                            !text->toPlainText().contains(expected) || text->document()->isModified())
                          return false;
                        report_ << QStringLiteral("reloaded=%1").arg(Editor()->windowTitle());
                        return true;
                      }, "reload"});
    steps_.push_back({"type a line, unsaved", [this] {
                        QTextEdit* text = EditorText();
                        if (!Control("type", &typed_)) return false;
                        text->setFocus();
                        text->moveCursor(QTextCursor::End);
                        TypeChinese(text, typed_);
                        if (!text->document()->isModified()) return false;
                        report_ << QStringLiteral("typed=1");
                        Write();
                        return true;
                      }, "type"});
    steps_.push_back({"the editor keeps the line and says so", [this] {
                        QTextEdit* text = EditorText();
                        if (!Control("conflict") || !Told(QStringLiteral("这篇笔记在别处被修改过")))
                          return false;
                        report_ << QStringLiteral("kept=%1").arg(
                                       text->toPlainText().contains(typed_) &&
                                       text->document()->isModified());
                        Write();
                        return true;
                      }, "conflict"});
    steps_.push_back({"press the save button", [] {
                        QWidget* e = Editor();
                        auto* save = e->findChild<QAction*>(QStringLiteral("cmd32838"));
                        if (!save || !save->isEnabled() || QApplication::activeModalWidget()) return false;
                        QMetaObject::invokeMethod(save, &QAction::trigger, Qt::QueuedConnection);
                        return true;
                      }});
    steps_.push_back({"the note is saved", [this] {
                        QTextEdit* text = EditorText();
                        if (!text || text->document()->isModified()) return false;
                        report_ << QStringLiteral("saved=1");
                        Write();
                        return true;
                      }});
    steps_.push_back({"select the file box", [this] {
                        QTreeWidget* tree = Tree();
                        if (!Control("folder") || !tree || QApplication::activeModalWidget()) return false;
                        QMainWindow* m = MainWindow();
                        m->activateWindow();
                        tree->setFocus();
                        tree->setCurrentItem(tree->topLevelItem(0));
                        return tree->currentItem() == tree->topLevelItem(0);
                      }, "folder"});
    MenuCommandOnSelection("menu key on the file box", QStringLiteral("新建文件夹"));
    steps_.push_back({"name the folder", [this] {
                        QString name;
                        QLineEdit* edit = LabelEditor();
                        if (!edit || !Control("folder", &name)) return false;
                        edit->setFocus();
                        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
                        TypeChinese(edit, name);
                        QTest::keyClick(edit, Qt::Key_Return);
                        return true;
                      }});
    steps_.push_back({"the folder shows", [this] {
                        QString name;
                        Control("folder", &name);
                        if (!Reveal({QStringLiteral("文件箱"), name})) return false;
                        mergeFrom_ = messages_.size();
                        report_ << QStringLiteral("folder=1");
                        Write();
                        return true;
                      }});
    // The script writes "meet" once the machines see each other again.
    steps_.push_back({"the conflict copy is merged", [this] {
                        if (!Control("meet") || !Told(QStringLiteral("已合并同步工具留下的冲突副本"), mergeFrom_))
                          return false;
                        report_ << QStringLiteral("merged=1");
                        Write();
                        return true;
                      }, "meet"});
    steps_.push_back({"the script is done", [this] { return Control("quit"); }, "quit"});
    CloseEditorAndProgram();
  }

  // ---- running -------------------------------------------------------------------------------
  void Tick() {
    if (busy_) return;
    busy_ = true;
    if (scenario_ == QLatin1String("sync")) AnswerMessages();
    while (next_ < steps_.size()) {
      if (!steps_[next_].run()) break;
      ++next_;
      stepStart_ = std::chrono::steady_clock::now();
    }
    busy_ = false;
    if (next_ >= steps_.size()) {
      timer_.stop();
      return;
    }
    if (steps_[next_].after && !Control(steps_[next_].after)) stepStart_ = std::chrono::steady_clock::now();
    if (std::chrono::steady_clock::now() - stepStart_ > kStepLimit) {
      QString why = QStringLiteral("timeout=%1").arg(QString::fromUtf8(steps_[next_].name));
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        why += QStringLiteral(" message=") + box->text();
      if (QTreeWidget* tree = Tree())
        why += QStringLiteral(" labelEditor=%1 popup=%2 items=%3")
                   .arg(LabelEditor() != nullptr)
                   .arg(QApplication::activePopupWidget() != nullptr)
                   .arg(tree->topLevelItem(0) ? tree->topLevelItem(0)->childCount() : -1);
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
          why += QStringLiteral(" window=%1:%2").arg(QString::fromLatin1(w->metaObject()->className()),
                                                     w->windowTitle());
      Fail(why);
    }
  }
  void Write() {
    QFile f(reportPath_);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
      f.write((report_.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
  }
  void Fail(const QString& why) {
    report_ << why;
    Write();
    std::_Exit(3);
  }

  QString scenario_, reportPath_, control_;
  QStringList report_;
  QStringList messages_;  // every message box seen (the sync walk)
  qsizetype mergeFrom_ = 0;  // the first of them after the folder was made
  QString typed_;            // what the user typed
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool busy_ = false;
  QTimer timer_;
  std::chrono::steady_clock::time_point stepStart_;
};

void StartUserDriver() {
  const QString scenario = qEnvironmentVariable("ZORBEK_E2E_SCENARIO");
  if (scenario.isEmpty()) return;
  const QString report = qEnvironmentVariable("ZORBEK_E2E_REPORT");
  const QString control = qEnvironmentVariable("ZORBEK_E2E_CONTROL");
  // The application is still being built: start once its event loop runs.
  QMetaObject::invokeMethod(
      qApp, [scenario, report, control] { new UserDriver(scenario, report, control); },
      Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartUserDriver)
