#include "ui/app/main_frame.h"

#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QSessionManager>
#include <QTimer>

#include "core/app/autostart.h"
#include "core/app/ini_file.h"
#include "core/app/paths.h"
#include "core/app/prompts.h"
#include "core/io/file_util.h"
#include "core/db/store_paths.h"
#include "core/notes/notebook.h"
#include "core/text/cp936.h"
#include "ui/app/about_dialog.h"
#include "ui/app/commands.h"
#include "ui/app/db_reset_dialog.h"
#include "ui/app/desktop.h"
#include "ui/app/mini_dock.h"
#include "ui/app/navigator.h"
#include "ui/app/open_windows.h"
#include "ui/app/search_toolbar.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {
namespace {

constexpr const char* kEnterKeyword = "输入关键字。";
constexpr const char* kNextStart = "下次启动生效。";
constexpr const char* kSettingsNotWritten = "无法写入设置文件：%s";

// How often the tray icon looks for a tray that was not there at start-up.
constexpr int kTrayWatchMs = 5000;

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128})
    icon.addFile(QStringLiteral(":/icons/app_%1.png").arg(size), QSize(size, size));
  return icon;
}

CMainFrame::CMainFrame(const std::string& programBase, QWidget* parent)
    : CMainFrame(FrameOptions{programBase, {}, {}, true, {}}, parent) {}

CMainFrame::CMainFrame(FrameOptions options, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      options_(std::move(options)) {
  if (options_.programPath.empty())
    options_.programPath = QCoreApplication::applicationFilePath().toStdString();
  if (options_.autostartDir.empty()) options_.autostartDir = DefaultAutostartDirectory();

  setWindowTitle(QString::fromUtf8(kFrameTitle));
  setWindowIcon(AppIcon());
  setMinimumWidth(kMinWidth);
  setMaximumWidth(kMaxWidth);
  resize(240, 560);
  // Room for the blue border drawn along the window's edges.
  setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);

  // The database path is worked out once per run; a changed setting counts from the next start.
  navigator_ = new CWndNavigator(ComputeDatabasePath(options_.programBase), this);
  setCentralWidget(navigator_);
  setFocusProxy(navigator_);

  toolbar_ = new CSearchToolBar(this);
  addToolBar(Qt::TopToolBarArea, toolbar_);
  for (QAction* a : {toolbar_->showTreeAction(), toolbar_->showHistoryAction(),
                     toolbar_->searchAction(), toolbar_->showRecycleBinAction()}) {
    const int id = a->data().toInt();
    actions_[id] = a;
    connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
  }
  connect(navigator_, &CWndNavigator::modeChanged, toolbar_, &CSearchToolBar::ShowMode);
  connect(navigator_->tree(), &CXmlTreeCtrl::searchFolderRequested, this, &CMainFrame::SearchFolder);
  toolbar_->ShowMode(navigator_->mode());

  BuildMenus();
  menuBar()->installEventFilter(this);
  if (options_.trayIcon) BuildTray();

  dock_ = new CMiniDockPanel(this, settingsFile());
  dock_->Attach();

  // The desktop session may end without closing the window: save then too.
  connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SaveNow(); });
}

CMainFrame::~CMainFrame() { FinishRun(); }

std::string CMainFrame::settingsFile() const { return SettingsFilePath(options_.programBase); }

QAction* CMainFrame::action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::AddCommand(int id, const QString& text) {
  auto* a = new QAction(text, this);
  a->setData(id);
  connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
  actions_[id] = a;
  return a;
}

void CMainFrame::BuildMenus() {
  AddCommand(cmd::kContact, QStringLiteral("联系我"));
  AddCommand(cmd::kHomePage, QStringLiteral("打开主页"));
  AddCommand(cmd::kAutostart, QString::fromUtf8(kAutostartText))->setCheckable(true);
  AddCommand(cmd::kConvertRamulo, QStringLiteral("转换并导入Ramulo数据库"))->setEnabled(false);
  AddCommand(cmd::kImportDatabase, QStringLiteral("导入Zorbek数据库"));
  AddCommand(cmd::kAppExit, QStringLiteral("退出(&X)"));
  AddCommand(cmd::kTrayExit, QStringLiteral("退出"));
  AddCommand(cmd::kAbout, QStringLiteral("关于Zorbek（Zorbek）(&A)..."));

  fileMenu_ = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  for (int id : {cmd::kContact, cmd::kAutostart, cmd::kConvertRamulo, cmd::kImportDatabase})
    fileMenu_->addAction(action(id));
  fileMenu_->addSeparator();
  fileMenu_->addAction(action(cmd::kAppExit));
  helpMenu_ = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
  helpMenu_->addAction(action(cmd::kAbout));

  trayMenu_ = new QMenu(QStringLiteral("托盘"), this);
  for (int id : {cmd::kContact, cmd::kHomePage, cmd::kAutostart, cmd::kConvertRamulo,
                 cmd::kImportDatabase})
    trayMenu_->addAction(action(id));
  trayMenu_->addSeparator();
  trayMenu_->addAction(action(cmd::kTrayExit));

  // The check of "随WINDOW启动" is read from the desktop each time a menu holding it opens.
  connect(fileMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateAutostartCheck);
  connect(trayMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateAutostartCheck);
}

void CMainFrame::BuildTray() {
  tray_ = new QSystemTrayIcon(AppIcon(), this);
  tray_->setToolTip(QString::fromUtf8(kTrayTip));
  tray_->setContextMenu(trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, &CMainFrame::OnTrayActivated);
  if (!options_.trayAvailable)
    options_.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  if (options_.trayAvailable()) tray_->show();
  // Without a tray the program works on; a panel that starts later still gets the icon, and
  // one that goes away does not take the window with it.
  trayWatch_ = new QTimer(this);
  connect(trayWatch_, &QTimer::timeout, this, &CMainFrame::WatchTray);
  trayWatch_->start(kTrayWatchMs);
}

bool CMainFrame::TrayUsable() const {
  return tray_ && options_.trayAvailable && options_.trayAvailable();
}

void CMainFrame::WatchTray() {
  const bool usable = TrayUsable();
  if (usable && !tray_->isVisible()) tray_->show();
  if (!usable && !isVisible() && dock_ && dock_->machine().state() == MiniDockPanel::kAway)
    showMinimized();
}

void CMainFrame::SetCommandHandler(int id, std::function<void()> handler) {
  if (QAction* a = action(id)) a->setEnabled(static_cast<bool>(handler));
  if (handler)
    handlers_[id] = std::move(handler);
  else
    handlers_.erase(id);
}

void CMainFrame::RunCommand(int id) {
  if (auto it = handlers_.find(id); it != handlers_.end()) {
    it->second();
  } else {
    switch (id) {
      case cmd::kTrayExit:
      case cmd::kAppExit: close(); break;
      case cmd::kAbout: ShowAbout(); break;
      case cmd::kImportDatabase: ImportDatabase(); break;
      case cmd::kAutostart: ToggleAutostart(); break;
      case cmd::kContact: OpenUrlOrTell(ContactMailUrl()); break;
      case cmd::kHomePage: OpenUrlOrTell(HomePageUrl()); break;
      case cmd::kSearch: Search(); break;
      case cmd::kShowTree: navigator_->setMode(CWndNavigator::kTree); break;
      case cmd::kShowHistory: navigator_->setMode(CWndNavigator::kHistory); break;
      default: break;
    }
  }
  // A checkable button toggles itself when pressed: show the navigator's mode again.
  if (toolbar_ && navigator_) toolbar_->ShowMode(navigator_->mode());
}

void CMainFrame::ShowNoteTree() { RunCommand(cmd::kShowTree); }

void CMainFrame::SearchFolder() {
  // Showing the tree, where the command is chosen, would leave the user nowhere: the search
  // view is where the folder shows as the scope and the keyword takes effect.
  navigator_->setMode(CWndNavigator::kSearch);
  toolbar_->keywordBox()->setFocus();
}

void CMainFrame::Search() {
  toolbar_->showTreeAction()->setChecked(true);
  navigator_->setMode(CWndNavigator::kSearch);
  const std::string keyword = toolbar_->Keyword();
  if (keyword.empty())
    prompts().Message(kEnterKeyword);
  else
    navigator_->search(keyword);
}

void CMainFrame::ImportDatabase() {
  const std::string current = navigator_->notebook().IsOpen()
                                  ? navigator_->notebook().DatabasePath()
                                  : ComputeDatabasePath(options_.programBase);
  CWndDBReset dialog(this);
  dialog.setPath(current);
  if (dialog.exec() != QDialog::Accepted) return;
  // The same file as the file system sees it: on this system OTHER and other are two files.
  if (SameFile(dialog.path(), current)) return;
  // Saying "at the next start" when the setting could not be stored would mislead.
  if (!WriteProfileString(settingsFile(), kProjectSection, kWorkPathKey, dialog.path())) {
    prompts().Message(FormatMessage(kSettingsNotWritten, settingsFile()), MsgButtons::Ok,
                      MsgIcon::Error);
    return;
  }
  prompts().Message(kNextStart);
}

void CMainFrame::UpdateAutostartCheck() {
  AutostartEntry entry(options_.autostartDir, options_.programPath);
  action(cmd::kAutostart)->setChecked(entry.IsRegistered());
}

void CMainFrame::ToggleAutostart() {
  AutostartEntry entry(options_.autostartDir, options_.programPath);
  entry.SetRegistered(!entry.IsRegistered());  // failures are silent: the check shows the truth
  UpdateAutostartCheck();
}

void CMainFrame::ShowAbout() {
  CAboutDialog about(this);
  about.exec();
}

void CMainFrame::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
  // Most trays send one click (StatusNotifierItem trays send nothing else); the old trays send
  // a click and then the double-click. One click puts the window in front away and brings it
  // back otherwise; the double-click always ends with the window in front.
  if (reason == QSystemTrayIcon::Trigger) {
    const bool inFront = isVisible() && !isMinimized() &&
                         dock_->machine().state() == MiniDockPanel::kShown && isActiveWindow();
    if (inFront)
      HideToTray();
    else
      ComeForward();
  } else if (reason == QSystemTrayIcon::DoubleClick) {
    ComeForward();
  }
}

void CMainFrame::HideToTray() {
  dock_->machine().SetAway();
  if (TrayUsable())
    hide();
  else
    showMinimized();
}

void CMainFrame::ComeForward(const QString& token) {
  const bool wasShown = isVisible() && !isMinimized();
  // Hidden at an edge, put away, or minimised: back, restored and in front, and it stays
  // until the mouse has been on it (the cursor is at the tray or the launcher, far away).
  if (isMinimized()) showNormal();
  dock_->machine().ShowHeld();
  if (!isVisible()) show();
  if (QWidget* modal = QApplication::activeModalWidget()) {
    // A question is open: that is what the user must see.
    modal->raise();
    modal->activateWindow();
    return;
  }
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    if (!token.isEmpty()) {
      // The desktop raises a window that presents the launcher's token.
      qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    } else if (wasShown && !isActiveWindow()) {
      // Without a token a Wayland desktop ignores requests to raise; a window shown anew comes
      // up in front (in the current workspace) on every desktop.
      hide();
      show();
    }
  }
  raise();
  activateWindow();
}

void CMainFrame::SaveNow() {
  // Nobody may be there to answer a question: what the editors hold unsaved is kept safe.
  openWindows().PreserveAll();
  // The session is ending: a save that fails is told without a question that would hold it up.
  if (navigator_ && !navigator_->notebook().Save())
    std::fprintf(stderr, "%s\n",
                 SaveFailedMessage(navigator_->notebook().DatabasePath(),
                                   navigator_->notebook().Document().LastSaveError())
                     .c_str());
  if (dock_) dock_->FlushPosition();
}

void CMainFrame::FinishRun() {
  if (finished_) return;
  finished_ = true;
  if (dock_) dock_->Detach();
  if (trayWatch_) trayWatch_->stop();
  if (tray_) {
    tray_->hide();
    delete tray_;
    tray_ = nullptr;
  }
}

void CMainFrame::ShutDown() {
  shuttingDown_ = true;
  openWindows().PreserveAll();
  openWindows().CloseAll();
  if (!finished_) {
    close();
    if (!finished_) {  // the close event did not arrive
      FinishRun();
      emit closed();
    }
  }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
  if (!shuttingDown_ && !ConfirmExitWithOpenWindows()) {
    e->ignore();
    return;
  }
  FinishRun();
  QMainWindow::closeEvent(e);
  e->accept();
  emit closed();
}

void CMainFrame::paintEvent(QPaintEvent* e) {
  QMainWindow::paintEvent(e);
  QPainter p(this);
  const QRect r = rect();
  const int b = kBorderWidth;
  p.fillRect(QRect(0, 0, r.width(), b), kBorderColor);
  p.fillRect(QRect(0, r.height() - b, r.width(), b), kBorderColor);
  p.fillRect(QRect(0, 0, b, r.height()), kBorderColor);
  p.fillRect(QRect(r.width() - b, 0, b, r.height()), kBorderColor);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  // The empty part of the menu bar moves the window as the caption does.
  if (watched == menuBar() && event->type() == QEvent::MouseButtonPress) {
    auto* e = static_cast<QMouseEvent*>(event);
    if (e->button() == Qt::LeftButton && !menuBar()->actionAt(e->position().toPoint())) {
      const QPoint g = e->globalPosition().toPoint();
      dock_->machine().Drag(true, {g.x(), g.y()});
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace zorbek
