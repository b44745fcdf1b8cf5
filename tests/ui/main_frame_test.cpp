#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <filesystem>

#include "core/app/autostart.h"
#include "core/app/ini_file.h"
#include "core/app/paths.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/app/about_dialog.h"
#include "ui/app/commands.h"
#include "ui/app/db_reset_dialog.h"
#include "ui/app/desktop.h"
#include "ui/app/main_frame.h"
#include "ui/app/mini_dock.h"
#include "ui/app/navigator.h"
#include "ui/app/open_windows.h"
#include "ui/app/search_toolbar.h"
#include "ui/app/static_link.h"
#include "ui/db/xml_tree_ctrl.h"
#include "ui/search/search_panel.h"

namespace zorbek {
namespace {
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

QStringList Texts(const QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) out << a->text();
  return out;
}

// Runs f on the modal dialog of type D as soon as it is up.
template <typename D, typename F>
void OnModal(F f) {
  QTimer::singleShot(0, [f] {
    auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    f(*d);
  });
}

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { QCursor::setPos(5, 5); }
  ~MainFrameTest() override { SetUrlOpener(nullptr); }

  std::unique_ptr<CMainFrame> Make() {
    FrameOptions o;
    o.programBase = dir / "Zorbek";
    o.programPath = dir / "bin/Zorbek";
    o.autostartDir = dir / "autostart";
    o.trayIcon = true;
    return std::make_unique<CMainFrame>(o);
  }
  std::string Setting(const char* section, const char* key) {
    return ReadProfileString(dir / "Zorbek.ini", section, key, "<none>");
  }

  FakePrompts prompts;
  TempDir dir{"zorbek-frame"};
};

TEST_F(MainFrameTest, WindowMenusAndToolbarAreAsTheProgramDefinesThem) {
  auto frame = Make();
  EXPECT_EQ(frame->windowTitle(), "Zorbek(Zorbek)");
  EXPECT_FALSE(frame->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(frame->minimumWidth(), 150);
  EXPECT_EQ(frame->maximumWidth(), 400);

  const QList<QAction*> menus = frame->menuBar()->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "文件(&F)");
  EXPECT_EQ(menus[1]->text(), "帮助(&H)");
  EXPECT_EQ(Texts(frame->fileMenu()), QStringList({"联系我", "随WINDOW启动", "转换并导入Ramulo数据库",
                                                   "导入Zorbek数据库", "退出(&X)"}));
  EXPECT_EQ(Texts(frame->helpMenu()), QStringList({"关于Zorbek（Zorbek）(&A)..."}));
  EXPECT_EQ(frame->trayMenu()->title(), "托盘");
  EXPECT_EQ(Texts(frame->trayMenu()), QStringList({"联系我", "打开主页", "随WINDOW启动",
                                                   "转换并导入Ramulo数据库", "导入Zorbek数据库", "退出"}));
  ASSERT_TRUE(frame->trayIcon());
  EXPECT_EQ(frame->trayIcon()->toolTip(), "Zorbek(Zorbek v1.6)");
  // The conversion is greyed until its dialog registers.
  EXPECT_FALSE(frame->action(cmd::kConvertRamulo)->isEnabled());
  int conversions = 0;
  frame->SetCommandHandler(cmd::kConvertRamulo, [&] { ++conversions; });
  frame->action(cmd::kConvertRamulo)->trigger();
  EXPECT_EQ(conversions, 1);

  // Toolbar: tree, history, the keyword box, search; then the recycle bin.
  const QList<QAction*> buttons = frame->searchToolBar()->actions();
  ASSERT_EQ(buttons.size(), 5);
  EXPECT_EQ(buttons[0], frame->action(cmd::kShowTree));
  EXPECT_EQ(buttons[1], frame->action(cmd::kShowHistory));
  EXPECT_EQ(frame->searchToolBar()->widgetForAction(buttons[2]), frame->searchToolBar()->keywordBox());
  EXPECT_EQ(buttons[3], frame->action(cmd::kSearch));
  EXPECT_EQ(frame->navigator()->mode(), CWndNavigator::kTree);
}

TEST_F(MainFrameTest, KeywordBoxFillsTheToolbarAndTheBorderIsDrawn) {
  auto frame = Make();
  frame->show();
  frame->resize(300, 500);
  QApplication::processEvents();
  const int box = frame->searchToolBar()->keywordBox()->width();
  frame->resize(380, 500);
  QApplication::processEvents();
  EXPECT_EQ(frame->searchToolBar()->keywordBox()->width(), box + 80);
  const QImage image = frame->grab().toImage();
  for (QPoint p : {QPoint(0, 0), QPoint(1, 250), QPoint(379, 499), QPoint(200, 498)})
    EXPECT_EQ(image.pixelColor(p), QColor(0, 100, 255)) << p.x() << "," << p.y();
  EXPECT_NE(image.pixelColor(QPoint(2, 250)), QColor(0, 100, 255));
}

TEST_F(MainFrameTest, SearchWithAnEmptyKeywordAsksForOneButShowsTheSearchView) {
  auto frame = Make();
  CWndSearch* panel = frame->navigator()->searchView();
  ASSERT_NE(panel, nullptr);
  frame->action(cmd::kSearch)->trigger();
  EXPECT_EQ(prompts.MessageTexts(), std::vector<std::string>{"输入关键字。"});
  EXPECT_TRUE(panel->keyword().empty());
  EXPECT_EQ(frame->navigator()->mode(), CWndNavigator::kSearch);
  EXPECT_TRUE(frame->action(cmd::kShowTree)->isChecked());
  EXPECT_FALSE(frame->action(cmd::kShowHistory)->isChecked());

  // A keyword reaches the search panel, cut to 49 CP936 bytes without halving a character.
  prompts.Clear();
  frame->searchToolBar()->keywordBox()->setText(QString(30, QChar(0x4E2D)));  // 中: 2 bytes each
  frame->RunCommand(cmd::kSearch);
  std::string zhong;
  for (int i = 0; i < 24; ++i) zhong += "中";
  EXPECT_EQ(panel->keyword(), zhong);
  frame->searchToolBar()->keywordBox()->setText(QString(60, 'a'));
  frame->RunCommand(cmd::kSearch);
  EXPECT_EQ(panel->keyword(), std::string(49, 'a'));
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST_F(MainFrameTest, ToolbarButtonsSwitchTheViewsAndShowTheirStates) {
  auto frame = Make();
  QAction* tree = frame->action(cmd::kShowTree);
  QAction* history = frame->action(cmd::kShowHistory);
  history->trigger();
  EXPECT_EQ(frame->navigator()->mode(), CWndNavigator::kHistory);
  EXPECT_TRUE(history->isChecked());
  EXPECT_FALSE(tree->isChecked());
  EXPECT_TRUE(frame->navigator()->historyView()->isVisibleTo(frame->navigator()));
  // Pressing the tree button while the tree shows leaves it unpressed.
  tree->trigger();
  tree->trigger();
  EXPECT_EQ(frame->navigator()->mode(), CWndNavigator::kTree);
  EXPECT_FALSE(tree->isChecked());
  EXPECT_FALSE(history->isChecked());
  frame->navigator()->setMode(7);
  EXPECT_EQ(frame->navigator()->mode(), CWndNavigator::kTree);
  // The tree's "搜索该目录" goes to the search view.
  emit frame->navigator()->tree()->searchFolderRequested();
  EXPECT_EQ(frame->navigator()->mode(), CWndNavigator::kSearch);
  EXPECT_TRUE(tree->isChecked());
  EXPECT_EQ(frame->navigator()->tree()->HomePageUrl(), HomePageUrl());
}

TEST_F(MainFrameTest, LastPositionPlacesOrCentresTheWindow) {
  WriteFile(dir / "Zorbek.ini", "[WindowRect]\nLastPosition=10,20,310,620\n");
  {
    auto frame = Make();
    EXPECT_EQ(frame->frameGeometry(), QRect(10, 20, 300, 600));
  }
  WriteProfileString(dir / "Zorbek.ini", "WindowRect", "LastPosition", "10,20,910,620");
  {
    auto frame = Make();
    EXPECT_EQ(frame->frameGeometry(), QRect(10, 20, 400, 600));
  }
  const QRect area = QApplication::primaryScreen()->availableGeometry();
  for (const char* value : {"0", "", "-9000,20,-8700,620"}) {
    WriteProfileString(dir / "Zorbek.ini", "WindowRect", "LastPosition", value);
    auto frame = Make();
    EXPECT_EQ(frame->frameGeometry().center().x(), area.center().x()) << value;
  }
}

TEST_F(MainFrameTest, TheWindowKeepsItsPlaceAndSizeOverManyStarts) {
  // The saved rectangle is the outer one, caption and borders included.
  WriteFile(dir / "Zorbek.ini", "[WindowRect]\nLastPosition=100,80,400,580\n");
  for (int start = 0; start < 3; ++start) {
    auto frame = Make();
    frame->show();
    QApplication::processEvents();
    EXPECT_EQ(frame->frameGeometry(), QRect(100, 80, 300, 500)) << "start " << start;
    frame->close();
    EXPECT_EQ(Setting("WindowRect", "LastPosition"), "100,80,400,580") << "start " << start;
  }
}

TEST_F(MainFrameTest, AWindowSavedOffTheScreenComesBackWhollyOnIt) {
  const QRect area = QApplication::primaryScreen()->availableGeometry();
  // Saved on a larger screen: its lower right part lies beyond this one.
  const QString saved = QStringLiteral("%1,%2,%3,%4")
                            .arg(area.right() - 100)
                            .arg(area.bottom() - 100)
                            .arg(area.right() + 200)
                            .arg(area.bottom() + 400);
  WriteFile(dir / "Zorbek.ini", "[WindowRect]\nLastPosition=" + saved.toStdString() + "\n");
  auto frame = Make();
  frame->show();
  QApplication::processEvents();
  EXPECT_TRUE(area.contains(frame->frameGeometry())) << frame->frameGeometry().x() << ","
                                                     << frame->frameGeometry().y();
  EXPECT_EQ(frame->frameGeometry().width(), 300);
  // Clear of the edges: moved in by the program, it does not dock and hide at once.
  EXPECT_EQ(frame->frameGeometry().right(), area.right() - MiniDockPanel::kFitMargin);
  EXPECT_EQ(frame->frameGeometry().bottom(), area.bottom() - MiniDockPanel::kFitMargin);
  EXPECT_FALSE(frame->dock()->timerActive(MiniDockPanel::kEdgeTimer));
}

// Runs that could not know the window's place saved the desktop's corner: that place is not
// used (the window would touch two edges and hide at once); the size is.
TEST_F(MainFrameTest, AMadeUpCornerPlaceIsNotUsedAndTheWindowStaysInSight) {
  WriteFile(dir / "Zorbek.ini", "[WindowRect]\nLastPosition=0,0,400,500\n");
  auto frame = Make();
  frame->show();
  QApplication::processEvents();
  const QRect area = QApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(frame->frameGeometry().size(), QSize(400, 500));
  EXPECT_EQ(frame->frameGeometry().center().x(), area.center().x());
  QCursor::setPos(area.right() - 5, area.bottom() - 5);
  frame->dock()->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->dock()->machine().state(), MiniDockPanel::kShown);
}

// Trays of today send one click; the old ones a click and then the double-click.
TEST_F(MainFrameTest, OneClickOnTheTrayPutsTheWindowAwayAndBringsItBack) {
  FrameOptions o;
  o.programBase = dir / "Zorbek";
  o.programPath = dir / "bin/Zorbek";
  o.autostartDir = dir / "autostart";
  bool trayThere = true;
  o.trayAvailable = [&] { return trayThere; };
  CMainFrame frame(o);
  frame.show();
  QApplication::setActiveWindow(&frame);
  ASSERT_TRUE(frame.isActiveWindow());
  QSystemTrayIcon* tray = frame.trayIcon();
  // In front: one click puts it into the tray; the docking leaves it there.
  emit tray->activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(frame.isVisible());
  EXPECT_EQ(frame.dock()->machine().state(), MiniDockPanel::kAway);
  frame.dock()->machine().OnTimer(MiniDockPanel::kStripTimer);
  frame.dock()->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  EXPECT_FALSE(frame.isVisible());
  // One more click: back.
  emit tray->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(frame.isVisible());
  EXPECT_EQ(frame.dock()->machine().state(), MiniDockPanel::kShown);
  // A double-click on an old tray: click (away), double-click (back): it ends in sight.
  QApplication::setActiveWindow(&frame);
  emit tray->activated(QSystemTrayIcon::Trigger);
  emit tray->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(frame.isVisible());
  // Shown but behind another window: one click brings it forward rather than away.
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  ASSERT_FALSE(frame.isActiveWindow());
  emit tray->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(frame.isVisible());
  // Put away, and then the tray goes (its panel ended): the window is minimised, so that the
  // task bar still leads to it.
  QApplication::setActiveWindow(&frame);
  emit tray->activated(QSystemTrayIcon::Trigger);
  ASSERT_FALSE(frame.isVisible());
  trayThere = false;
  frame.WatchTray();
  EXPECT_TRUE(frame.isVisible());
  EXPECT_TRUE(frame.isMinimized());
  // Without a tray, putting away minimises.
  frame.ComeForward();
  EXPECT_FALSE(frame.isMinimized());
  frame.HideToTray();
  EXPECT_TRUE(frame.isVisible());
  EXPECT_TRUE(frame.isMinimized());
  frame.ComeForward();
  EXPECT_TRUE(frame.isVisible());
  EXPECT_FALSE(frame.isMinimized());
  frame.close();
}

TEST_F(MainFrameTest, DockedAtTheRightEdgeTheWindowHidesAndTheStripBringsItBack) {
  const QRect screen = QApplication::primaryScreen()->geometry();
  auto frame = Make();
  frame->show();
  CMiniDockPanel* dock = frame->dock();
  // Moved by its caption to 10 pixels short of the right edge, grabbed 5 pixels inside.
  frame->move(screen.right() + 1 - 10 - frame->frameGeometry().width(), 50);
  QCursor::setPos(screen.right() + 1 - 15, 60);
  QApplication::processEvents();
  dock->machine().Follow();
  EXPECT_EQ(frame->frameGeometry().right(), screen.right());
  dock->FlushPosition();
  EXPECT_EQ(Setting("WindowRect", "LastPosition"), FormatDockRect(dock->machine().saved()));
  dock->machine().Arm();
  ASSERT_TRUE(dock->timerActive(MiniDockPanel::kEdgeTimer));
  // The cursor leaves: hidden at the next tick, a 3-pixel strip in RGB(0, 100, 255) remains.
  QCursor::setPos(screen.center().x() - 200, 300);
  dock->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  EXPECT_FALSE(frame->isVisible());
  ASSERT_TRUE(dock->strip()->isVisible());
  EXPECT_EQ(dock->strip()->geometry(),
            QRect(screen.right() + 1 - 3, frame->frameGeometry().top(), 3, frame->frameGeometry().height()));
  EXPECT_EQ(dock->strip()->grab().toImage().pixelColor(1, 1), QColor(0, 100, 255));
  // The tray's double-click shows it again.
  emit frame->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_FALSE(dock->strip()->isVisible());
  // The mouse passes over it and leaves: hidden again; then the strip's timer sees the cursor
  // on the strip.
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(frame.get(), &enter);
  QCursor::setPos(screen.center().x() - 200, 300);
  dock->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  ASSERT_FALSE(frame->isVisible());
  QCursor::setPos(screen.right(), 100);
  dock->machine().OnTimer(MiniDockPanel::kStripTimer);
  EXPECT_TRUE(frame->isVisible());
  // Closing writes the last place.
  frame->close();
  EXPECT_EQ(Setting("WindowRect", "LastPosition"), FormatDockRect(dock->machine().saved()));
}

TEST_F(MainFrameTest, WindowsOpenedWhileTheDockedWindowIsOutComeInFrontOfIt) {
  const QRect screen = QApplication::primaryScreen()->geometry();
  auto frame = Make();
  frame->show();
  CMiniDockPanel* dock = frame->dock();
  frame->move(screen.right() + 1 - 10 - frame->frameGeometry().width(), 50);
  QCursor::setPos(screen.right() + 1 - 15, 60);
  QApplication::processEvents();
  dock->machine().Follow();
  ASSERT_EQ(frame->frameGeometry().right(), screen.right());
  auto stripBringsItOut = [&] {
    QCursor::setPos(screen.center().x() - 200, 300);
    dock->machine().Arm();
    dock->machine().OnTimer(MiniDockPanel::kEdgeTimer);
    ASSERT_FALSE(frame->isVisible());
    QCursor::setPos(screen.right(), 100);
    dock->machine().OnTimer(MiniDockPanel::kStripTimer);
    ASSERT_TRUE(frame->isVisible());
  };
  auto onTop = [&] {
    return dock->frameTopMost() &&
           (frame->windowHandle()->flags() & Qt::WindowStaysOnTopHint) != 0;
  };
  stripBringsItOut();
  EXPECT_TRUE(onTop()) << "out from the strip, the window is above the others";

  // A menu leaves it so; a window of the program (here a list window of its own) does not.
  QMenu menu;
  menu.addAction("x");
  menu.popup(QPoint(100, 100));
  QApplication::processEvents();
  EXPECT_TRUE(onTop());
  menu.hide();
  QWidget list;
  list.setWindowTitle("list");
  list.show();
  QApplication::processEvents();
  EXPECT_FALSE(onTop());
  EXPECT_FALSE(frame->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
  list.hide();

  // Out again from the strip; a dialog of the window itself comes in front as well.
  QCursor::setPos(screen.right() - 20, 100);
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(frame.get(), &enter);
  stripBringsItOut();
  ASSERT_TRUE(onTop());
  bool frameBelowDialog = false;
  QTimer::singleShot(0, [&] {
    frameBelowDialog = !onTop();
    if (QWidget* d = QApplication::activeModalWidget()) d->close();
  });
  QDialog dialog(frame.get());
  dialog.exec();
  EXPECT_TRUE(frameBelowDialog);
  frame->close();
}

TEST_F(MainFrameTest, TheTrayBringsTheWindowBackAndItStaysUntilTheMouseHasBeenOnIt) {
  const QRect screen = QApplication::primaryScreen()->geometry();
  auto frame = Make();
  frame->show();
  CMiniDockPanel* dock = frame->dock();
  frame->move(screen.right() + 1 - 10 - frame->frameGeometry().width(), 50);
  QCursor::setPos(screen.right() + 1 - 15, 60);
  QApplication::processEvents();
  dock->machine().Follow();
  ASSERT_EQ(frame->frameGeometry().right(), screen.right());
  // Hidden at the edge; the user double-clicks the tray, far from the window.
  const QPoint tray(10, screen.bottom() - 5);
  QCursor::setPos(tray);
  dock->machine().Arm();
  dock->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  ASSERT_FALSE(frame->isVisible());
  emit frame->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(frame->isVisible());
  for (int tick = 0; tick < 3; ++tick) dock->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  EXPECT_TRUE(frame->isVisible()) << "hidden again before the mouse came onto it";
  // The mouse comes onto the window and leaves it: now it hides as a docked window does.
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(frame.get(), &enter);
  QCursor::setPos(tray);
  dock->machine().Arm();
  dock->machine().OnTimer(MiniDockPanel::kEdgeTimer);
  EXPECT_FALSE(frame->isVisible());

  // Minimised by a window manager that offers a minimise box anyway: restored from the tray.
  emit frame->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  ASSERT_TRUE(frame->isVisible());
  frame->showMinimized();
  QApplication::processEvents();
  emit frame->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
  QApplication::processEvents();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_FALSE(frame->isMinimized());
}

TEST_F(MainFrameTest, ClosingAsksOnlyWhenWindowsAreOpen) {
  {
    auto frame = Make();
    frame->show();
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(prompts.Messages().empty());
  }
  std::vector<std::string> closed;
  int editors = 1, lists = 1;
  bool stubborn = false;  // an editor that cannot save its note stays open
  OpenWindowsRegistration list(OpenWindows::kReminderList, {[&] { return lists; }, [&] {
                                 closed.push_back("list");
                                 lists = 0;
                               }});
  OpenWindowsRegistration editor(OpenWindows::kEditors, {[&] { return editors; }, [&] {
                                   closed.push_back("editors");
                                   if (!stubborn) editors = 0;
                                 }});
  auto frame = Make();
  frame->show();
  prompts.AnswerNext(MsgResult::Cancel);
  EXPECT_FALSE(frame->close());
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(closed.empty());
  ASSERT_EQ(prompts.Messages().size(), 1u);
  EXPECT_EQ(prompts.LastMessage(), "存在打开的窗口，决定退出程序吗？");
  EXPECT_EQ(prompts.Messages()[0].buttons, MsgButtons::OkCancel);
  EXPECT_EQ(prompts.Messages()[0].icon, MsgIcon::Question);

  stubborn = true;
  prompts.AnswerNext(MsgResult::Ok);
  EXPECT_FALSE(frame->close());
  EXPECT_TRUE(frame->isVisible());

  stubborn = false;
  closed.clear();
  prompts.AnswerNext(MsgResult::Ok);
  bool ended = false;
  QObject::connect(frame.get(), &CMainFrame::closed, [&] { ended = true; });
  EXPECT_TRUE(frame->close());
  EXPECT_EQ(closed, (std::vector<std::string>{"editors", "list"}));
  EXPECT_TRUE(ended);
  EXPECT_EQ(frame->trayIcon(), nullptr);
}

TEST_F(MainFrameTest, ShutDownClosesEverythingWithoutAQuestionAndSavesTheDatabase) {
  int editors = 2;
  OpenWindowsRegistration editor(OpenWindows::kEditors, {[&] { return editors; }, [&] { editors = 0; }});
  auto frame = Make();
  frame->show();
  std::filesystem::remove(dir / "Zorbek.xml");
  frame->ShutDown();
  EXPECT_FALSE(frame->isVisible());
  EXPECT_EQ(editors, 0);
  EXPECT_TRUE(prompts.Messages().empty());
  frame.reset();
  EXPECT_EQ(ReadFile(dir / "Zorbek.xml"), "<list><hotkey/><filetree><archive/></filetree></list>");
}

TEST_F(MainFrameTest, StaleAutostartEntryIsRemovedWhenTheMenuOpens) {
  auto frame = Make();
  AutostartEntry entry(dir / "autostart", dir / "bin/Zorbek");
  WriteFile(entry.path(), "[Desktop Entry]\nExec=/elsewhere/Zorbek\n");
  QAction* item = frame->action(cmd::kAutostart);
  item->setChecked(true);
  emit frame->trayMenu()->aboutToShow();
  EXPECT_FALSE(item->isChecked());
  EXPECT_FALSE(std::filesystem::exists(entry.path()));
  // The item switches the entry on and off; the check follows.
  item->trigger();
  EXPECT_TRUE(entry.IsRegistered());
  EXPECT_TRUE(item->isChecked());
  emit frame->fileMenu()->aboutToShow();
  EXPECT_TRUE(item->isChecked());
  item->trigger();
  EXPECT_FALSE(std::filesystem::exists(entry.path()));
  EXPECT_FALSE(item->isChecked());
}

TEST_F(MainFrameTest, ImportingTheSameDatabaseAgainWritesAndShowsNothing) {
  // The open database, named through a link to its folder, and another directory's.
  WriteFile(dir / "Zorbek.ini", "[Project]\nWorkPath=" + (dir / "link/Zorbek.xml") + "\n");
  std::filesystem::create_directories(dir.path());
  std::filesystem::create_directory_symlink(dir / "db", dir / "link");
  WriteFile(dir / "db/Zorbek.xml", "<list/>");
  WriteFile(dir / "other/Zorbek.xml", "<list/>");
  auto frame = Make();
  const std::string before = ReadFile(dir / "Zorbek.ini");

  prompts.NextFolder(dir / "db");
  OnModal<CWndDBReset>([](CWndDBReset& d) {
    d.Browse();
    d.okButton()->click();
  });
  frame->action(cmd::kImportDatabase)->trigger();
  EXPECT_EQ(ReadFile(dir / "Zorbek.ini"), before);
  EXPECT_TRUE(prompts.Messages().empty());

  // Closed without OK: nothing either.
  prompts.NextFolder(dir / "other");
  OnModal<CWndDBReset>([](CWndDBReset& d) {
    d.Browse();
    d.reject();
  });
  frame->RunCommand(cmd::kImportDatabase);
  EXPECT_EQ(ReadFile(dir / "Zorbek.ini"), before);

  // Another database: stored for the next start; the open one stays.
  prompts.NextFolder(dir / "other/");
  OnModal<CWndDBReset>([](CWndDBReset& d) {
    d.Browse();
    d.okButton()->click();
  });
  frame->RunCommand(cmd::kImportDatabase);
  EXPECT_EQ(Setting("Project", "WorkPath"), dir / "other/Zorbek.xml");
  EXPECT_EQ(prompts.MessageTexts(), std::vector<std::string>{"下次启动生效。"});

  // The open database's folder spelled in capitals is another folder on this system.
  WriteFile(dir / "DB/Zorbek.xml", "<list/>");
  prompts.Clear();
  prompts.NextFolder(dir / "DB");
  OnModal<CWndDBReset>([](CWndDBReset& d) {
    d.Browse();
    d.okButton()->click();
  });
  frame->RunCommand(cmd::kImportDatabase);
  EXPECT_EQ(Setting("Project", "WorkPath"), dir / "DB/Zorbek.xml");
  EXPECT_EQ(prompts.MessageTexts(), std::vector<std::string>{"下次启动生效。"});
}

TEST_F(MainFrameTest, ImportIsNotConfirmedWhenTheSettingCannotBeStored) {
  std::filesystem::create_directories(dir / "Zorbek.ini");  // a directory where the file belongs
  WriteFile(dir / "other/Zorbek.xml", "<list/>");
  auto frame = Make();
  prompts.NextFolder(dir / "other");
  OnModal<CWndDBReset>([](CWndDBReset& d) {
    d.Browse();
    d.okButton()->click();
  });
  frame->RunCommand(cmd::kImportDatabase);
  ASSERT_EQ(prompts.Messages().size(), 1u);
  EXPECT_EQ(prompts.LastMessage().rfind("无法写入设置文件：", 0), 0u);
}

TEST(DatabaseDirectoryDialog, KeepsThePresetUnlessADatabaseIsFound) {
  FakePrompts prompts;
  TempDir dir;
  CWndDBReset dialog;
  EXPECT_EQ(dialog.windowTitle(), "导入Zorbek数据库保存目录");
  dialog.setPath("/data/Zorbek.xml");
  EXPECT_EQ(dialog.pathEdit()->text(), "/data/Zorbek.xml");
  EXPECT_TRUE(dialog.pathEdit()->isReadOnly());
  // Cancelled folder browser: nothing.
  dialog.Browse();
  EXPECT_TRUE(prompts.Messages().empty());
  // A directory without Zorbek.xml: told so, the edit keeps the previous choice.
  prompts.NextFolder(dir / "空 目录");
  dialog.Browse();
  EXPECT_EQ(prompts.MessageTexts(),
            std::vector<std::string>{"找不到指向的数据库文件：" + (dir / "空 目录/Zorbek.xml")});
  EXPECT_EQ(dialog.pathEdit()->text(), "/data/Zorbek.xml");
  dialog.show();
  dialog.okButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.path(), "/data/Zorbek.xml");
}

TEST(AboutBox, ShowsTheProgramAndLinksThatOpenTheirAddresses) {
  CAboutDialog about;
  EXPECT_EQ(about.windowTitle(), "关于Zorbek");
  QStringList texts;
  for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
  EXPECT_TRUE(texts.contains("Zorbek（Zorbek) v1.6"));
  EXPECT_TRUE(texts.contains("欢迎反馈意见。"));
  EXPECT_TRUE(texts.contains(ContactMailAddress()));

  std::vector<QUrl> opened;
  bool works = false;
  SetUrlOpener([&](const QUrl& u) {
    opened.push_back(u);
    return works;
  });
  CStaticLink* mail = about.mailLink();
  EXPECT_EQ(mail->currentColor(), CStaticLink::kUnvisited);
  EXPECT_EQ(mail->cursor().shape(), Qt::PointingHandCursor);
  mail->Follow();  // fails: a beep, still unvisited
  EXPECT_EQ(mail->currentColor(), CStaticLink::kUnvisited);
  works = true;
  about.homePageLink()->Follow();
  EXPECT_EQ(about.homePageLink()->currentColor(), CStaticLink::kVisited);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].scheme(), "mailto");
  EXPECT_EQ(opened[1], HomePageUrl());
  EXPECT_TRUE(opened[1].toLocalFile().endsWith("/guide.html"));
  SetUrlOpener(nullptr);
}

}  // namespace
}  // namespace zorbek
