// The reminder windows driven headless: the report list, the edit and detail dialogs, the list
// window over a real store and database file, and the pop-up fed from the check.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/notes/note_opener.h"
#include "core/notes/notebook.h"
#include "core/reminders/reminder_time.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/app/notebook_session.h"
#include "ui/app/open_windows.h"
#include "ui/calendar/xcalendar.h"
#include "ui/db/xml_tree_ctrl.h"
#include "ui/reminders/install_reminders.h"
#include "ui/reminders/schedule_dialogs.h"
#include "ui/reminders/wnd_schedule.h"
#include "ui/reminders/wnd_tip_schedule.h"
#include "ui/report/report_ctrl.h"
#include "core/reminder_test_util.h"

namespace zorbek {
namespace {

using testing::At;
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Runs f on the modal dialog of type D once it shows.
template <typename D>
void WhenModal(std::function<void(D&)> f) {
  QTimer::singleShot(0, [f] {
    auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
    if (!d) {
      ADD_FAILURE() << "no modal dialog";
      return;
    }
    f(*d);
  });
}

// A database file with a store over it, a fake clock in Shanghai time and scripted prompts.
class ReminderUiTest : public ::testing::Test {
 protected:
  ReminderUiTest() {
    if (const char* tz = std::getenv("TZ")) oldTz_ = tz, hadTz_ = true;
    ::setenv("TZ", "Asia/Shanghai", 1);
    ::tzset();
    clock_.SetLocal(2026, 12, 25, 9, 0, 0);  // a Friday
    SetClock(&clock_);
    path_ = dir_ / "Zorbek.xml";
    WriteFile(path_, "<list><hotkey/><filetree><archive/><schedule/></filetree></list>");
    EXPECT_EQ(doc_.Load(path_), LoadStatus::Loaded);
    store_.Init(doc_, kSchedulePath, nullptr, false);
  }
  ~ReminderUiTest() override {
    CloseReminderListWindow();
    SetClock(nullptr);
    if (hadTz_) ::setenv("TZ", oldTz_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

  std::string FileText() const { return ReadFile(path_); }

  FakeClock clock_;
  TempDir dir_;
  std::string path_;
  CXmlDocument doc_;
  ReminderStore store_;
  FakePrompts prompts_;
  bool hadTz_ = false;
  std::string oldTz_;
};

// ---- report list ---------------------------------------------------------------------------

TEST(ReportCtrl, RowsSelectionAndPreviewAreas) {
  CReportCtrl list;
  list.resize(400, 300);
  list.InsertColumn(0, "ID", 100);
  list.InsertColumn(1, "A", 100);
  list.HideColumn(0);
  for (int i = 0; i < 5; ++i) list.InsertItem(0, {QString::number(i), QString("a%1").arg(i)});
  list.InsertItem(99, {"end"});  // clamped to the end, missing texts empty
  ASSERT_EQ(list.GetItemCount(), 6);
  EXPECT_EQ(list.GetItemText(0, 0), "4");
  EXPECT_EQ(list.GetItemText(5, 0), "end");
  EXPECT_EQ(list.GetItemText(5, 1), "");
  EXPECT_TRUE(list.isColumnHidden(0));

  QSignalSpy changes(&list, &CReportCtrl::itemSelectionChanged);
  list.SelectItem(3);
  list.SelectItem(1);
  EXPECT_EQ(list.GetFirstSelectedItem(), 1);
  EXPECT_EQ(list.GetNextSelectedItem(1), 3);
  EXPECT_EQ(list.GetNextSelectedItem(3), -1);
  EXPECT_EQ(list.GetSelectedCount(), 2);
  ASSERT_EQ(changes.size(), 2);  // one notification per row, not per cell
  EXPECT_EQ(changes[0][0].toInt(), 3);
  EXPECT_TRUE(changes[0][1].toBool());

  EXPECT_TRUE(list.DeleteItem(1));
  EXPECT_EQ(list.GetFirstSelectedItem(), 2);  // the old row 3 moved up
  EXPECT_FALSE(list.DeleteItem(17));
  list.ClearSelection();
  EXPECT_EQ(list.GetFirstSelectedItem(), -1);

  // A row grows by its preview height; the owner is asked to draw the area.
  list.show();
  const int plain = list.visualRect(list.Model()->index(0, 1)).height();
  list.SetItemPreviewHeight(0, 40);
  QApplication::processEvents();
  EXPECT_EQ(list.visualRect(list.Model()->index(0, 1)).height(), plain + 40);
  EXPECT_EQ(list.PreviewRect(0).height(), 40);
  QSignalSpy drawn(&list, &CReportCtrl::drawPreview);
  list.viewport()->repaint();
  bool row0 = false;
  for (const auto& call : drawn)
    if (call[1].toInt() == 0 && call[3].toRect().height() == 40) row0 = true;
  EXPECT_TRUE(row0);

  EXPECT_GT(list.MeasureTextHeight("a\r\nb\r\nc"), 2 * list.MeasureTextHeight("a"));
}

TEST(ReportCtrl, ClicksOnTheEmptyAreaAndDoubleClicks) {
  CReportCtrl list;
  list.resize(300, 300);
  list.InsertColumn(0, "A", 200);
  list.InsertItem(0, {"x"});
  list.show();
  QSignalSpy empty(&list, &CReportCtrl::emptyAreaClicked);
  QSignalSpy dbl(&list, &CReportCtrl::itemDoubleClicked);
  const QPoint onRow = list.visualRect(list.Model()->index(0, 0)).center();
  const QPoint below(50, 250);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, below);
  EXPECT_EQ(empty.size(), 1);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, onRow);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, below);
  ASSERT_EQ(dbl.size(), 2);
  EXPECT_EQ(dbl[0][0].toInt(), 0);
  EXPECT_EQ(dbl[1][0].toInt(), -1);
}

// ---- edit and detail dialogs --------------------------------------------------------------

using ScheduleDialogTest = ReminderUiTest;

TEST_F(ScheduleDialogTest, AddModeOpensOnTheOnceModeWithTheDateAndTimeEnabled) {
  CScheduleOperation d;
  EXPECT_EQ(d.windowTitle(), "增加");
  EXPECT_EQ(d.ModeBox()->count(), 6);
  EXPECT_EQ(d.ModeBox()->currentText(), "只提醒一次");
  EXPECT_EQ(d.WeekdayBox()->currentText(), "星期五");
  EXPECT_EQ(d.StartDateEdit()->displayFormat(), "yyyy-MM-dd");
  EXPECT_EQ(d.TimeEdit()->displayFormat(), "HH:mm:ss");
  EXPECT_EQ(d.StartDateEdit()->date(), QDate(2026, 12, 25));
  EXPECT_TRUE(d.StartDateEdit()->isEnabled());
  EXPECT_TRUE(d.TimeEdit()->isEnabled());
  EXPECT_FALSE(d.WeekdayBox()->isEnabled());
  EXPECT_FALSE(d.EndDateEdit()->isEnabled());

  d.ModeBox()->setCurrentIndex(2);  // weekly
  EXPECT_FALSE(d.StartDateEdit()->isEnabled());
  EXPECT_TRUE(d.WeekdayBox()->isEnabled());
  d.ModeBox()->setCurrentIndex(5);  // date range
  EXPECT_TRUE(d.EndDateEdit()->isEnabled());
  EXPECT_FALSE(d.WeekdayBox()->isEnabled());

  // The two boxes exclude each other; clearing both gives the mode's fields back.
  d.HourlyBox()->click();
  EXPECT_TRUE(d.HourlyBox()->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{d.ModeBox(), d.StartDateEdit(), d.TimeEdit(),
                                                    d.WeekdayBox(), d.EndDateEdit()})
    EXPECT_FALSE(w->isEnabled());
  EXPECT_TRUE(d.TextEdit()->isEnabled());
  d.HalfHourlyBox()->click();
  EXPECT_TRUE(d.HalfHourlyBox()->isChecked());
  EXPECT_FALSE(d.HourlyBox()->isChecked());
  d.HalfHourlyBox()->click();
  EXPECT_TRUE(d.ModeBox()->isEnabled());
  EXPECT_TRUE(d.EndDateEdit()->isEnabled());
  EXPECT_TRUE(d.StartDateEdit()->isEnabled());
}

TEST_F(ScheduleDialogTest, OkChecksTheTextAndKeepsTheInputWhenRefused) {
  CScheduleOperation d;
  d.show();
  const QString chinese150 = QString(150, QChar(0x4E2D));
  d.TextEdit()->setPlainText(chinese150 + "x");  // 301 bytes
  d.accept();
  EXPECT_EQ(prompts_.LastMessage(), "请填定提醒内容。");
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(d.TextEdit()->toPlainText(), chinese150 + "x");
  d.TextEdit()->setPlainText("  \n\t ");
  d.accept();
  EXPECT_EQ(prompts_.LastMessage(), "请填定提醒内容。");
  d.TextEdit()->setPlainText("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11");
  d.accept();
  EXPECT_EQ(prompts_.LastMessage(), "内容行数最多不能超过10行。");
  EXPECT_EQ(d.result(), 0);

  d.TextEdit()->setPlainText("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n\n\n");  // trailing lines are trimmed
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.Result().content, "1\n2\n3\n4\n5\n6\n7\n8\n9\n10");
  EXPECT_EQ(d.Result().mode, 0);
  EXPECT_EQ(d.Result().id.size(), 33u);

  CScheduleOperation exact;
  exact.TextEdit()->setPlainText(chinese150);
  exact.accept();
  EXPECT_EQ(exact.result(), QDialog::Accepted);
}

TEST_F(ScheduleDialogTest, WeeklyDatesRangeChecksAndCancel) {
  {
    CScheduleOperation d;
    d.TextEdit()->setPlainText("例会");
    d.ModeBox()->setCurrentIndex(2);
    d.StartDateEdit()->setDate(QDate(2026, 12, 25));  // Friday
    d.WeekdayBox()->setCurrentIndex(3);               // Wednesday
    d.TimeEdit()->setTime(QTime(8, 30, 0));
    d.accept();
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(FormatDateTime(d.Result().start), "2026-12-30 08:30:00");
    EXPECT_EQ(d.Result().start.dayOfWeek, 3);
  }
  {
    CScheduleOperation d;
    d.TextEdit()->setPlainText("例会");
    d.ModeBox()->setCurrentIndex(2);
    d.StartDateEdit()->setDate(QDate(2026, 12, 31));  // Thursday
    d.WeekdayBox()->setCurrentIndex(1);               // Monday
    d.accept();
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(FormatDateTime(d.Result().start).substr(0, 10), "2027-01-04");
  }
  {
    CScheduleOperation d;
    d.TextEdit()->setPlainText("出差");
    d.ModeBox()->setCurrentIndex(5);
    d.StartDateEdit()->setDate(QDate(2026, 12, 10));
    d.EndDateEdit()->setDate(QDate(2026, 12, 10));
    d.accept();
    EXPECT_EQ(prompts_.LastMessage(), "开始日期应该小于结束工期，请重新设置。");
    EXPECT_NE(d.result(), QDialog::Accepted);
    d.EndDateEdit()->setDate(QDate(2026, 12, 11));
    d.TimeEdit()->setTime(QTime(8, 0, 0));
    d.accept();
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(FormatDateTime(d.Result().stop), "2026-12-11 08:00:00");
  }
  {
    CScheduleOperation d;
    prompts_.Clear();
    d.reject();  // Cancel and the close box make no checks
    EXPECT_TRUE(prompts_.Messages().empty());
    EXPECT_EQ(d.result(), QDialog::Rejected);
  }
}

TEST_F(ScheduleDialogTest, ModifyModeShowsTheReminderAndTheDetailViewItsTime) {
  ReminderRecord daily;
  daily.id = "sdaily";
  daily.mode = 1;
  daily.start = daily.stop = At(2026, 12, 1, 7, 5, 0);
  daily.content = "起床\r\n跑步";
  CScheduleOperation d(&daily);
  EXPECT_EQ(d.windowTitle(), "修改");
  EXPECT_EQ(d.ModeBox()->currentIndex(), 1);
  EXPECT_EQ(d.TimeEdit()->time(), QTime(7, 5, 0));
  EXPECT_FALSE(d.StartDateEdit()->isEnabled());
  EXPECT_EQ(d.TextEdit()->toPlainText(), "起床\n跑步");

  ReminderRecord hourly = daily;
  hourly.mode = 60;
  CScheduleOperation h(&hourly);
  EXPECT_TRUE(h.HourlyBox()->isChecked());
  EXPECT_FALSE(h.ModeBox()->isEnabled());
  EXPECT_FALSE(h.TimeEdit()->isEnabled());
  h.accept();
  ASSERT_EQ(h.result(), QDialog::Accepted);
  EXPECT_EQ(h.Result().mode, 60);
  EXPECT_EQ(h.Result().id, kHourlyReminderId);

  CScheduleDetail detail(daily);
  EXPECT_EQ(detail.windowTitle(), "详情");
  EXPECT_EQ(detail.Text(), "时间：每天 07时05分00秒\n\n起床\n跑步");
  ReminderRecord range = daily;
  range.mode = 5;
  EXPECT_EQ(CScheduleDetail(range).Text(), "时间：\n\n起床\n跑步");
}

// ---- list window ---------------------------------------------------------------------------

using ScheduleWindowTest = ReminderUiTest;

QStringList Column(const CReportCtrl* list, int column) {
  QStringList out;
  for (int r = 0; r < list->GetItemCount(); ++r) out << list->GetItemText(r, column);
  return out;
}

TEST_F(ScheduleWindowTest, ShowsTheStoreNewestFirstWithItsColumnsAndLook) {
  store_.Add("sA", At(2026, 12, 26, 8, 0, 0), At(2026, 12, 26, 8, 0, 0), 0, "A");
  store_.Add("sB", At(2026, 12, 1, 7, 5, 9), At(2026, 12, 1, 7, 5, 9), 2, "B");
  store_.Add(kHourlyReminderId, At(2026, 12, 1), At(2026, 12, 1), 30, "C");
  CWndSchedule w(store_);
  w.show();
  EXPECT_EQ(w.windowTitle(), "Schedule");
  EXPECT_EQ(w.size(), QSize(640, 480));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  CReportCtrl* list = w.ReportList();
  EXPECT_EQ(Column(list, kColumnId), QStringList({kHourlyReminderId, "sB", "sA"}));
  EXPECT_EQ(Column(list, kColumnTime),
            QStringList({"半时提醒", "每周星期二 07时05分09秒", "2026年12月26日 08时00分00秒"}));
  EXPECT_EQ(Column(list, kColumnMode), QStringList({"半时提醒", "每周同一时间", "提醒一次"}));
  EXPECT_EQ(Column(list, kColumnValidity), QStringList({"长期", "长期", "临时"}));
  EXPECT_TRUE(list->isColumnHidden(kColumnId));
  const int W = list->viewport()->width();
  EXPECT_EQ(list->GetColumnWidth(kColumnTime), W / 2);
  EXPECT_EQ(list->GetColumnWidth(kColumnMode), W / 4);
  EXPECT_EQ(w.ToolBar()->iconSize(), QSize(36, 32));
  int buttons = 0;
  for (QAction* a : w.ToolBar()->actions())
    if (!a->isSeparator()) {
      ++buttons;
      EXPECT_FALSE(a->toolTip().isEmpty());
      EXPECT_FALSE(a->icon().isNull());
    }
  EXPECT_EQ(buttons, 5);

  // The frame is drawn in RGB(0, 100, 255) along the edges.
  const QImage shot = w.grab().toImage();
  EXPECT_EQ(shot.pixelColor(0, 200), QColor(0, 100, 255));
  EXPECT_EQ(shot.pixelColor(639, 200), QColor(0, 100, 255));
  EXPECT_EQ(shot.pixelColor(320, 1), QColor(0, 100, 255));
}

TEST_F(ScheduleWindowTest, AddingASecondHalfHourlyReminderUpdatesItsRow) {
  CWndSchedule w(store_);
  w.show();
  const auto addHalfHourly = [&](const QString& text) {
    WhenModal<CScheduleOperation>([text](CScheduleOperation& d) {
      d.HalfHourlyBox()->click();
      d.TextEdit()->setPlainText(text);
      d.accept();
    });
    w.RunCommand(schedulecmd::kAdd);
  };
  addHalfHourly("喝水");
  addHalfHourly("站起来走走");
  EXPECT_EQ(w.ReportList()->GetItemCount(), 1);
  EXPECT_EQ(store_.Size(), 1u);
  EXPECT_EQ(store_.Get(kHourlyReminderId)->content, "站起来走走");
  EXPECT_NE(FileText().find("站起来走走"), std::string::npos);

  // An ordinary reminder goes to the top.
  WhenModal<CScheduleOperation>([](CScheduleOperation& d) {
    d.TextEdit()->setPlainText("开会");
    d.accept();
  });
  w.RunCommand(schedulecmd::kAdd);
  ASSERT_EQ(w.ReportList()->GetItemCount(), 2);
  EXPECT_EQ(w.ReportList()->GetItemText(0, kColumnMode), "提醒一次");
}

TEST_F(ScheduleWindowTest, ModifyDetailsAndTheirMessagesWithoutASelection) {
  store_.Add("sA", At(2026, 12, 26, 8, 0, 0), At(2026, 12, 26, 8, 0, 0), 0, "A");
  CWndSchedule w(store_);
  w.show();
  w.RunCommand(schedulecmd::kModify);
  w.RunCommand(schedulecmd::kDetails);
  w.RunCommand(schedulecmd::kDelete);
  EXPECT_EQ(prompts_.MessageTexts(),
            std::vector<std::string>({"请选择一项待修改项。", "请选择一项待详情项。",
                                      "请选择需删除的选项。"}));

  // A double-click on the row modifies it: a daily reminder now, in its row.
  const QPoint onRow = w.ReportList()->visualRect(w.ReportList()->Model()->index(0, 1)).center();
  QTest::mouseClick(w.ReportList()->viewport(), Qt::LeftButton, {}, onRow);
  WhenModal<CScheduleOperation>([](CScheduleOperation& d) {
    EXPECT_EQ(d.windowTitle(), "修改");
    d.ModeBox()->setCurrentIndex(1);
    d.TimeEdit()->setTime(QTime(7, 0, 0));
    d.TextEdit()->setPlainText("早饭");
    d.accept();
  });
  QTest::mouseDClick(w.ReportList()->viewport(), Qt::LeftButton, {}, onRow);
  EXPECT_EQ(w.ReportList()->GetItemCount(), 1);
  EXPECT_EQ(w.ReportList()->GetItemText(0, kColumnTime), "每天 07时00分00秒");
  EXPECT_EQ(store_.Get("sA")->mode, 1);

  QString detail;
  WhenModal<CScheduleDetail>([&detail](CScheduleDetail& d) {
    detail = d.Text();
    d.accept();
  });
  w.RunCommand(schedulecmd::kDetails);
  EXPECT_EQ(detail, "时间：每天 07时00分00秒\n\n早饭");
}

TEST_F(ScheduleWindowTest, ThreeRowsGoAfterOneQuestion) {
  for (const char* id : {"s1", "s2", "s3", "s4"})
    store_.Add(id, At(2026, 12, 26, 8), At(2026, 12, 26, 8), 0, id);
  CWndSchedule w(store_);
  w.show();
  CReportCtrl* list = w.ReportList();
  for (int row : {0, 1, 3}) list->SelectItem(row);  // s4, s3, s1
  prompts_.AnswerNext(MsgResult::Cancel);
  w.RunCommand(schedulecmd::kDelete);
  EXPECT_EQ(list->GetItemCount(), 4);
  prompts_.AnswerNext(MsgResult::Ok);
  w.RunCommand(schedulecmd::kDelete);
  ASSERT_EQ(prompts_.Messages().size(), 2u);
  EXPECT_EQ(prompts_.Messages()[1].text, "决定继续删除选择项吗？");
  EXPECT_EQ(prompts_.Messages()[1].buttons, MsgButtons::OkCancel);
  EXPECT_EQ(Column(list, kColumnId), QStringList({"s2"}));
  const std::string file = FileText();
  EXPECT_EQ(file.find("<s1"), std::string::npos);
  EXPECT_EQ(file.find("<s3"), std::string::npos);
  EXPECT_EQ(file.find("<s4"), std::string::npos);
  EXPECT_NE(file.find("<s2"), std::string::npos);
}

TEST_F(ScheduleWindowTest, TheCalendarDisablesTheCommandsAndPressesItsButton) {
  store_.Add("s1", At(2026, 12, 26, 8), At(2026, 12, 26, 8), 0, "x");
  CWndSchedule w(store_);
  w.show();
  w.RunCommand(schedulecmd::kCalendar);
  EXPECT_TRUE(w.CalendarShown());
  EXPECT_TRUE(w.Calendar()->isVisible());
  EXPECT_FALSE(w.ReportList()->isVisible());
  EXPECT_TRUE(w.Action(schedulecmd::kCalendar)->isChecked());
  for (int c : {schedulecmd::kAdd, schedulecmd::kModify, schedulecmd::kDelete, schedulecmd::kDetails})
    EXPECT_FALSE(w.CommandEnabled(c)) << c;
  w.ReportList()->SelectItem(0);
  w.RunCommand(schedulecmd::kDelete);  // refused: no question, nothing deleted
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(store_.Size(), 1u);
  w.RunCommand(schedulecmd::kCalendar);
  EXPECT_TRUE(w.ReportList()->isVisible());
  EXPECT_FALSE(w.Action(schedulecmd::kCalendar)->isChecked());
  EXPECT_TRUE(w.CommandEnabled(schedulecmd::kDelete));
}

TEST_F(ScheduleWindowTest, PreviewShowsThreeLinesUntilTheRowIsSelectedThenAllOfThem) {
  store_.Add("five", At(2026, 12, 26, 8), At(2026, 12, 26, 8), 0, "一\r\n二\r\n三\r\n四\r\n五");
  store_.Add("ten", At(2026, 12, 26, 8), At(2026, 12, 26, 8), 0,
             "一\r\n二\r\n三\r\n四\r\n五\r\n六\r\n七\r\n八\r\n九\r\n十");
  store_.Add("one", At(2026, 12, 26, 8), At(2026, 12, 26, 8), 0, "短");
  CWndSchedule w(store_);
  w.show();
  CReportCtrl* list = w.ReportList();
  const int line = list->MeasureTextHeight("你");
  const int three = list->MeasureTextHeight("你\r\n好\r\n吗") + 10;
  const int eight = list->MeasureTextHeight("元\r\n旦\r\n节\r\n当\r\n天\r\n你\r\n好\r\n吗") + 10;
  // Rows: one, ten, five.
  EXPECT_EQ(list->GetItemPreviewHeight(0), line + 10);
  EXPECT_EQ(list->GetItemPreviewHeight(1), three);
  EXPECT_EQ(list->GetItemPreviewHeight(2), three);
  list->SelectItem(2);
  EXPECT_EQ(w.ExpandedRow(), 2);
  EXPECT_EQ(list->GetItemPreviewHeight(2), list->MeasureTextHeight("一\r\n二\r\n三\r\n四\r\n五") + 10);
  list->ClearSelection();
  list->SelectItem(1);
  EXPECT_EQ(list->GetItemPreviewHeight(2), three);  // back to three lines
  EXPECT_EQ(list->GetItemPreviewHeight(1), eight);  // ten lines, capped at eight

  // A click on the empty area clears the selection and the larger row.
  list->resize(list->width(), 470);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(100, list->viewport()->height() - 3));
  EXPECT_EQ(list->GetFirstSelectedItem(), -1);
  EXPECT_EQ(w.ExpandedRow(), -2);
  EXPECT_EQ(list->GetItemPreviewHeight(1), three);
}

TEST_F(ScheduleWindowTest, OneWindowFromTheTreeCountedClosedAtExitAndRefilledByAReload) {
  InstallReminderList();
  Notebook notebook;
  NotebookSession session(notebook);
  CXmlTreeCtrl tree(notebook);
  QObject::connect(&tree, &CXmlTreeCtrl::reminderListRequested, &session,
                   &NotebookSession::OpenReminderList);
  const std::string path = dir_ / "tree.xml";
  session.Open(path);
  notebook.Reminders().Add("s1", At(2026, 12, 26, 8), At(2026, 12, 26, 8), 0, "x");
  ASSERT_EQ(ReminderListWindow(), nullptr);
  const int before = openWindows().Count();
  tree.ActivateItem(tree.ScheduleItem());
  CWndSchedule* w = ReminderListWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->ReportList()->GetItemCount(), 1);
  EXPECT_EQ(openWindows().Count(), before + 1);
  w->showMinimized();
  tree.setCurrentItem(tree.ScheduleItem());
  tree.RunCommand(treecmd::kOpenPlan);  // "打开计划"
  EXPECT_EQ(ReminderListWindow(), w);
  EXPECT_FALSE(w->isMinimized());
  EXPECT_TRUE(w->isVisible());

  // Another program's version of the database: the list follows the notebook's reload.
  std::string file = testing::ReadFile(path);
  const auto at = file.find("</schedule>");
  ASSERT_NE(at, std::string::npos);
  file.insert(at, "<s2 mode=\"0\" lowtime=\"0\" hightime=\"0\" valid=\"1\">y</s2>");
  testing::WriteFile(path, file);
  ASSERT_EQ(notebook.ReloadIfChanged(), ReloadResult::kReloaded);
  EXPECT_EQ(w->ReportList()->GetItemCount(), 2);

  prompts_.AnswerNext(MsgResult::Ok);
  EXPECT_TRUE(ConfirmExitWithOpenWindows());
  EXPECT_EQ(prompts_.LastMessage(), kOpenWindowsQuestion);
  EXPECT_EQ(ReminderListWindow(), nullptr);
}

// ---- pop-up --------------------------------------------------------------------------------

// Records the desktop notifications the pop-up sends.
class NoteLog : public ReminderNotifier {
 public:
  void Show(const ReminderNotification& n) override { notes << n.summary + "|" + n.body; }
  void Withdraw(const QString&) override {}
  QStringList notes;
};

class PopupTest : public ReminderUiTest {
 protected:
  PopupTest() {
    CWndTipSchedule::SetNotifier(&log_);
    popup_.SetStore(&store_);
  }
  ~PopupTest() override { CWndTipSchedule::ResetNotifier(); }

  NoteLog log_;
  QStringList& notes_ = log_.notes;
  CWndTipSchedule popup_;
};

TEST_F(PopupTest, TwoRemindersOfOnePassFromTheCheckThreadThenNextAndOk) {
  store_.Add("s1", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "第一条");
  store_.Add("s2", At(2026, 12, 25, 8, 50), At(2026, 12, 25, 8, 50), 1, "第二条");
  store_.Add("s3", At(2026, 12, 25, 8, 55), At(2026, 12, 25, 8, 55), 0, "第三条");
  EXPECT_FALSE(popup_.isVisible());
  // The pass is decided on a thread of its own, as the check does; this thread writes it and
  // the window follows.
  store_.Init(doc_, kSchedulePath, &popup_.Queue(), false);
  PassDecision decision;
  std::thread check([&] { decision = store_.DecidePass(); });
  check.join();
  EXPECT_EQ(decision.handled.size(), 3u);
  store_.ApplyPass(decision);
  EXPECT_FALSE(popup_.isVisible());  // shown from the event loop
  QApplication::processEvents();
  ASSERT_TRUE(popup_.isVisible());
  EXPECT_EQ(popup_.windowTitle(), "提示");
  EXPECT_TRUE(popup_.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(popup_.TextLabel()->text(), "时间：每天 09时00分00秒\n\n延时：00时00分\n\n第一条");
  EXPECT_TRUE(popup_.NextButton()->isEnabled());
  EXPECT_TRUE(popup_.DelayButton()->isEnabled());
  EXPECT_EQ(notes_, (QStringList{"时间：每天 09时00分00秒|第一条", "时间：每天 08时50分00秒|第二条",
                                 "时间：2026年12月25日 08时55分00秒|第三条"}));
  EXPECT_EQ(store_.Get("s1")->valid, 0);  // marked handled, and shown

  QTest::mouseClick(popup_.NextButton(), Qt::LeftButton);
  EXPECT_TRUE(popup_.TextLabel()->text().endsWith("第二条"));
  EXPECT_TRUE(popup_.TextLabel()->text().contains("延时：00时10分"));
  EXPECT_TRUE(popup_.NextButton()->isEnabled());
  QTest::mouseClick(popup_.NextButton(), Qt::LeftButton);
  EXPECT_TRUE(popup_.TextLabel()->text().endsWith("第三条"));
  EXPECT_FALSE(popup_.NextButton()->isEnabled());
  QTest::mouseClick(popup_.OkButton(), Qt::LeftButton);
  EXPECT_FALSE(popup_.isVisible());
  EXPECT_EQ(popup_.Queue().QueuedCount(), 0u);
}

// The program's own check: the session's thread decides, the main thread marks the reminder
// handled, saves the file and shows the pop-up; the notebook tells its windows there too.
TEST_F(PopupTest, TheSessionsCheckIsWrittenSavedAndShownOnTheMainThread) {
  Notebook notebook;
  NotebookSession session(notebook);
  session.SetCheckTiming({std::chrono::milliseconds(0), std::chrono::milliseconds(10)});
  const std::string path = dir_ / "session.xml";
  WriteFile(path, "<list><hotkey/><filetree><archive/><schedule/></filetree></list>");
  session.Open(path);
  std::vector<std::thread::id> toldOn;
  const int listener = notebook.AddListener([&](const std::vector<NotebookEvent>& events) {
    for (const NotebookEvent& e : events)
      if (e.kind == NotebookEventKind::kRemindersChanged) toldOn.push_back(std::this_thread::get_id());
  });
  ASSERT_EQ(notebook.Reminders().Add("s1", At(2026, 12, 25, 8, 59), At(2026, 12, 25, 8, 59), 0,
                                     "开会"),
            StoreResult::kDone);
  const auto shownPopup = [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* popup = qobject_cast<CWndTipSchedule*>(w); popup && popup->isVisible()) return popup;
    return static_cast<CWndTipSchedule*>(nullptr);
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return shownPopup() != nullptr; }, 10'000));
  EXPECT_TRUE(shownPopup()->TextLabel()->text().endsWith("开会"));
  EXPECT_NE(ReadFile(path).find("valid=\"0\""), std::string::npos) << ReadFile(path);
  // The add and the check's marking, both told on this thread.
  ASSERT_GE(toldOn.size(), 2u);
  for (std::thread::id id : toldOn) EXPECT_EQ(id, std::this_thread::get_id());
  notebook.RemoveListener(listener);
}

TEST_F(PopupTest, TheCloseBoxDisarmsAllAndAPostponementComesBackAnHourLater) {
  store_.Add("s1", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "吃药");
  store_.Add("s2", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "喝水");
  store_.Add("s3", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "休息");
  store_.Init(doc_, kSchedulePath, &popup_.Queue(), false);
  store_.CheckPass();
  QApplication::processEvents();
  ASSERT_EQ(popup_.Queue().QueuedCount(), 3u);
  store_.SetDelay("s3", 10);  // armed again meanwhile
  popup_.close();
  EXPECT_FALSE(popup_.isVisible());
  for (const char* id : {"s1", "s2", "s3"}) {
    EXPECT_EQ(store_.Get(id)->valid, 0) << id;
    EXPECT_EQ(store_.Get(id)->delayMinutes, 0) << id;
  }

  // Modify arms s1 again: it fires at 09:01, is postponed by an hour and comes back at 10:01.
  store_.Modify("s1", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "吃药");
  clock_.Advance(60'000);
  store_.CheckPass();
  QApplication::processEvents();
  ASSERT_TRUE(popup_.isVisible());
  QAction* hour = nullptr;
  for (QAction* a : popup_.DelayMenu()->actions())
    if (a->text() == "延迟1小时") hour = a;
  ASSERT_NE(hour, nullptr);
  EXPECT_EQ(popup_.DelayMenu()->actions().size(), 5);
  hour->trigger();
  EXPECT_FALSE(popup_.isVisible());
  clock_.Advance(59 * 60'000);  // 10:00:00
  store_.CheckPass();
  QApplication::processEvents();
  EXPECT_FALSE(popup_.isVisible());
  clock_.Advance(60'000);  // 10:01:00
  store_.CheckPass();
  QApplication::processEvents();
  ASSERT_TRUE(popup_.isVisible());
  EXPECT_TRUE(popup_.TextLabel()->text().contains("延时：01时01分"))
      << popup_.TextLabel()->text().toStdString();
}

TEST_F(PopupTest, HourlyCannotBePostponedAndTheHalfHourlyTextAt1031) {
  clock_.SetLocal(2026, 12, 25, 10, 31, 0);
  store_.Add(kHourlyReminderId, At(2026, 12, 1), At(2026, 12, 1), 30, "站起来");
  store_.Init(doc_, kSchedulePath, &popup_.Queue(), false);
  store_.CheckPass();
  QApplication::processEvents();
  ASSERT_TRUE(popup_.isVisible());
  EXPECT_EQ(popup_.TextLabel()->text(),
            "时间：半时提醒：2026年12月25日 10时31分00秒\n\n延时：01分\n\n站起来");
  EXPECT_FALSE(popup_.DelayButton()->isEnabled());
  EXPECT_FALSE(popup_.NextButton()->isEnabled());
}

}  // namespace
}  // namespace zorbek

// ---- pictures for the documentation ------------------------------------------------------
// Writes the list, the edit dialog, the pop-up and the calendar view into the directory named
// by ZORBEK_REMINDER_SCREENSHOTS (tools/reminder-screenshots.sh); without it the windows are
// only built and drawn.
namespace zorbek {
namespace {

TEST_F(PopupTest, PicturesOfTheReminderWindows) {
  const char* dir = std::getenv("ZORBEK_REMINDER_SCREENSHOTS");
  const auto save = [dir](QWidget& w, const char* name) {
    QApplication::processEvents();
    const QImage shot = w.grab().toImage();
    EXPECT_FALSE(shot.isNull());
    if (dir) {
      EXPECT_TRUE(shot.save(QString::fromLocal8Bit(dir) + "/" + name, "PNG")) << name;
    }
  };
  store_.Add("s1", At(2026, 12, 31, 18, 0, 0), At(2026, 12, 31, 18, 0, 0), 0,
             "年终聚餐，地点：老地方火锅店\r\n记得带上红包");
  store_.Add("s2", At(2026, 12, 28, 9, 30, 0), At(2026, 12, 28, 9, 30, 0), 2,
             "部门周会，准备上周工作总结和本周计划");
  store_.Add("s3", At(2026, 12, 1, 7, 0, 0), At(2026, 12, 1, 7, 0, 0), 1,
             "起床跑步三公里\r\n吃早饭\r\n背二十个英语单词\r\n整理今天的待办事项\r\n出门带伞");
  store_.Add("s4", At(2026, 3, 12, 8, 0, 0), At(2026, 3, 12, 8, 0, 0), 4, "植树节：给阳台的花浇水");
  store_.Add("s5", At(2026, 12, 10, 8, 0, 0), At(2026, 12, 12, 8, 0, 0), 5, "出差北京，每天早上给家里打电话");
  store_.Add(kHourlyReminderId, At(2026, 12, 1), At(2026, 12, 1), 30, "站起来活动一下，喝杯水");

  CWndSchedule w(store_);
  w.show();
  w.ReportList()->SelectItem(3);  // the daily reminder of five lines
  w.ReportList()->setFocus();
  save(w, "reminder-list.png");

  ReminderRecord weekly = *store_.Get("s2");
  CScheduleOperation edit(&weekly);
  edit.show();
  save(edit, "reminder-edit.png");

  w.RunCommand(schedulecmd::kCalendar);
  save(w, "reminder-calendar.png");

  clock_.SetLocal(2026, 12, 28, 9, 32, 0);
  store_.Init(doc_, kSchedulePath, &popup_.Queue(), false);
  store_.CheckPass();
  QApplication::processEvents();
  ASSERT_TRUE(popup_.isVisible());
  save(popup_, "reminder-popup.png");
}

}  // namespace
}  // namespace zorbek
