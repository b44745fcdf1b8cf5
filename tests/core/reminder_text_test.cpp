// The texts of the reminder windows and the checks of the edit dialog's OK.
#include <gtest/gtest.h>

#include "core/reminders/reminder_form.h"
#include "core/reminders/reminder_text.h"
#include "reminder_test_util.h"

namespace zorbek {
namespace {

using testing::At;
namespace msg = reminder_message;

TEST(ReminderText, ListColumnsOfEveryMode) {
  const SystemTime s = At(2026, 3, 4, 7, 5, 9);  // a Wednesday
  const SystemTime e = At(2026, 3, 8, 0, 0, 0);
  EXPECT_EQ(ReminderTimeColumn(0, s, e), "2026年03月04日 07时05分09秒");
  EXPECT_EQ(ReminderTimeColumn(1, s, e), "每天 07时05分09秒");
  EXPECT_EQ(ReminderTimeColumn(2, s, e), "每周星期三 07时05分09秒");
  EXPECT_EQ(ReminderTimeColumn(3, s, e), "每月4日 07时05分09秒");
  EXPECT_EQ(ReminderTimeColumn(4, s, e), "每年3月4日 07时05分09秒");
  EXPECT_EQ(ReminderTimeColumn(5, s, e), "2026年03月04日至2026年03月08日 07时05分09秒");
  EXPECT_EQ(ReminderTimeColumn(30, s, e), "半时提醒");
  EXPECT_EQ(ReminderTimeColumn(60, s, e), "整时提醒");
  const std::vector<std::pair<int, const char*>> modes = {
      {0, "提醒一次"}, {1, "每天同一时间"}, {2, "每周同一时间"}, {3, "每月同一时间"},
      {4, "每年同一时间"}, {5, "时间段"}, {30, "半时提醒"}, {60, "整时提醒"}, {7, ""}};
  for (const auto& [mode, text] : modes) EXPECT_EQ(ReminderModeColumn(mode), text) << mode;
  EXPECT_EQ(ReminderValidityColumn(0), "临时");
  EXPECT_EQ(ReminderValidityColumn(5), "长期");
  EXPECT_EQ(ReminderValidityColumn(60), "长期");
}

TEST(ReminderText, DetailView) {
  EXPECT_EQ(ReminderDetailText(1, At(2026, 1, 1, 7, 5, 0), "起床"),
            "时间：每天 07时05分00秒\r\n\r\n起床");
  EXPECT_EQ(ReminderDetailText(4, At(2026, 2, 9, 7, 5, 0), "x"),
            "时间：每年2月9日 07时05分00秒\r\n\r\nx");
  for (int mode : {5, 30, 60}) EXPECT_EQ(ReminderDetailText(mode, At(2026, 1, 1), "t"), "时间：\r\n\r\nt");
  EXPECT_EQ(ReminderDetailText(-1, At(2026, 1, 1), "t"), "");
}

TEST(ReminderText, PopUp) {
  // A daily 08:00 reminder shown at 08:12 after a 10-minute postponement.
  EXPECT_EQ(ReminderPopupText(1, At(2026, 1, 1, 8, 0, 0), At(2026, 1, 1), "开会",
                              At(2026, 12, 6, 8, 12, 40)),
            "时间：每天 08时00分00秒\r\n\r\n延时：00时12分\r\n\r\n开会");
  // Month and day are padded here; a range has " 至 ".
  EXPECT_EQ(ReminderPopupText(4, At(2026, 2, 9, 7, 5, 0), At(2026, 1, 1), "x",
                              At(2027, 2, 9, 10, 0, 0)),
            "时间：每年02月09日 07时05分00秒\r\n\r\n延时：02时55分\r\n\r\nx");
  EXPECT_EQ(ReminderPopupText(3, At(2026, 2, 9, 7, 5, 0), At(2026, 1, 1), "x",
                              At(2027, 2, 9, 7, 5, 0)),
            "时间：每月09日 07时05分00秒\r\n\r\n延时：00时00分\r\n\r\nx");
  EXPECT_EQ(ReminderPopupText(5, At(2026, 12, 10, 8, 0, 0), At(2026, 12, 12, 8, 0, 0), "r",
                              At(2026, 12, 11, 9, 1, 0)),
            "时间：2026年12月10日 至 2026年12月12日 08时00分00秒\r\n\r\n延时：01时01分\r\n\r\nr");
  // A half-hourly reminder shown at 10:31 tells the present moment.
  EXPECT_EQ(ReminderPopupText(30, At(2026, 1, 1), At(2026, 1, 1), "h", At(2026, 12, 6, 10, 31, 2)),
            "时间：半时提醒：2026年12月06日 10时31分02秒\r\n\r\n延时：01分\r\n\r\nh");
  EXPECT_EQ(ReminderPopupText(60, At(2026, 1, 1), At(2026, 1, 1), "h", At(2026, 12, 6, 11, 2, 0)),
            "时间：整时提醒：2026年12月06日 11时02分00秒\r\n\r\n延时：02分\r\n\r\nh");
  // Due before midnight and shown after it: late, never a negative time.
  EXPECT_EQ(ReminderPopupText(0, At(2026, 12, 6, 23, 50, 0), At(2026, 12, 6), "o",
                              At(2026, 12, 7, 0, 15, 0)),
            "时间：2026年12月06日 23时50分00秒\r\n\r\n延时：00时25分\r\n\r\no");
  // A once reminder fires in the minute before its moment: no lateness.
  EXPECT_EQ(ReminderPopupText(0, At(2026, 12, 6, 8, 30, 30), At(2026, 12, 6), "o",
                              At(2026, 12, 6, 8, 29, 40)),
            "时间：2026年12月06日 08时30分30秒\r\n\r\n延时：00时00分\r\n\r\no");
  // Counted from the occurrence the reminder fired for: a Saturday 23:00 reminder postponed
  // two hours is two hours late on Sunday at 01:00; a missed one 3 h 59 min late says so.
  EXPECT_EQ(ReminderPopupText(2, At(2026, 12, 5, 23, 0, 0), At(2026, 12, 5), "w",
                              At(2026, 12, 13, 1, 0, 5), 120),
            "时间：每周星期六 23时00分00秒\r\n\r\n延时：02时00分\r\n\r\nw");
  EXPECT_EQ(ReminderPopupText(1, At(2026, 12, 5, 21, 0, 0), At(2026, 12, 5), "d",
                              At(2026, 12, 13, 0, 59, 59), 239),
            "时间：每天 21时00分00秒\r\n\r\n延时：03时59分\r\n\r\nd");
}

ReminderForm Form(int mode, const std::string& text = "提醒") {
  ReminderForm f;
  f.id = "s1";
  f.text = text;
  f.modeIndex = mode;
  f.date = At(2026, 12, 25);  // a Friday
  f.time = At(2026, 1, 1, 9, 30, 15, 250);
  f.endDate = At(2026, 12, 28);
  f.weekday = 5;
  f.start = f.stop = At(2026, 1, 1, 1, 1, 1);
  return f;
}

TEST(ReminderForm, TextChecks) {
  const std::string chinese150 = [] {
    std::string s;
    for (int i = 0; i < 150; ++i) s += "中";
    return s;
  }();
  EXPECT_TRUE(CheckReminderForm(Form(0, chinese150)).ok);  // 300 bytes
  EXPECT_EQ(CheckReminderForm(Form(0, chinese150 + "a")).message, msg::kFillInText);
  EXPECT_EQ(CheckReminderForm(Form(0, " \t\r\n ")).message, msg::kFillInText);
  // White space around the text is trimmed away before counting.
  const auto padded = CheckReminderForm(Form(0, "  " + chinese150 + "\r\n\r\n"));
  ASSERT_TRUE(padded.ok);
  EXPECT_EQ(padded.content, chinese150);

  std::string ten = "1";
  for (int i = 2; i <= 10; ++i) ten += "\r\n" + std::to_string(i);
  EXPECT_TRUE(CheckReminderForm(Form(0, ten + "\r\n\r\n\r\n")).ok);  // trailing lines trimmed
  EXPECT_EQ(CheckReminderForm(Form(0, ten + "\r\n11")).message, msg::kTooManyLines);
  // The text is checked before the mode.
  EXPECT_EQ(CheckReminderForm(Form(-1, "")).message, msg::kFillInText);
  EXPECT_EQ(CheckReminderForm(Form(-1)).message, msg::kChooseMode);
}

TEST(ReminderForm, ModesAndTheirTimes) {
  const auto once = CheckReminderForm(Form(0));
  ASSERT_TRUE(once.ok);
  EXPECT_EQ(once.start, At(2026, 12, 25, 9, 30, 15, 250));
  EXPECT_EQ(once.stop, once.start);
  EXPECT_EQ(once.id, "s1");

  // Weekly: moved forward to the chosen weekday, across a year's end too.
  ReminderForm wed = Form(2);
  wed.weekday = 3;
  EXPECT_EQ(CheckReminderForm(wed).start, At(2026, 12, 30, 9, 30, 15, 250));
  ReminderForm mon = Form(2);
  mon.date = At(2026, 12, 31);
  mon.weekday = 1;
  EXPECT_EQ(CheckReminderForm(mon).start, At(2027, 1, 4, 9, 30, 15, 250));
  EXPECT_EQ(CheckReminderForm(mon).start.dayOfWeek, 1);

  // Range.
  ReminderForm same = Form(5);
  same.date = same.endDate = At(2026, 12, 10);
  EXPECT_EQ(CheckReminderForm(same).message, msg::kStartNotBeforeEnd);
  ReminderForm backwards = Form(5);
  backwards.endDate = At(2026, 12, 24);
  EXPECT_EQ(CheckReminderForm(backwards).message, msg::kStartNotBeforeEnd);
  ReminderForm oneDay = Form(5);
  oneDay.date = At(2026, 12, 10);
  oneDay.endDate = At(2026, 12, 11);
  const auto range = CheckReminderForm(oneDay);
  ASSERT_TRUE(range.ok);
  EXPECT_EQ(range.start, At(2026, 12, 10, 9, 30, 15, 250));
  EXPECT_EQ(range.stop, At(2026, 12, 11, 9, 30, 15, 250));
  {
    // A one-day range over the night the clocks go forward is 23 hours long, and still a day.
    testing::ScopedTimeZone tz("Europe/Berlin");
    ReminderForm spring = Form(5);
    spring.date = At(2027, 3, 28);
    spring.endDate = At(2027, 3, 29);
    EXPECT_TRUE(CheckReminderForm(spring).ok);
  }

  // Hourly and half-hourly: the fixed id, the times as they were.
  ReminderForm hourly = Form(0);
  ToggleHourlyBox(hourly, true, true);
  EXPECT_FALSE(FormEnables(hourly).modeList);
  EXPECT_FALSE(FormEnables(hourly).time);
  ToggleHourlyBox(hourly, false, true);  // checking the other box clears this one
  EXPECT_FALSE(hourly.hourly);
  const auto half = CheckReminderForm(hourly);
  ASSERT_TRUE(half.ok);
  EXPECT_EQ(half.mode, 30);
  EXPECT_EQ(half.id, kHourlyReminderId);
  EXPECT_EQ(half.start, At(2026, 1, 1, 1, 1, 1));
  ToggleHourlyBox(hourly, false, false);
  EXPECT_TRUE(FormEnables(hourly).modeList);
  EXPECT_EQ(CheckReminderForm(hourly).mode, 0);
}

class ReminderCommandTest : public ::testing::Test {
 protected:
  ReminderCommandTest() {
    EXPECT_TRUE(doc_.LoadFromString(testing::kEmptyDatabase));
    store_.Init(doc_, kSchedulePath, nullptr, false);
  }
  CXmlDocument doc_;
  ReminderStore store_;
};

TEST_F(ReminderCommandTest, ASecondHalfHourlyReminderChangesTheFirst) {
  ReminderForm f = Form(0, "first");
  f.halfHourly = true;
  f.modeListEnabled = false;
  ASSERT_TRUE(AddReminderFromForm(store_, CheckReminderForm(f)).ok);
  f.text = "second";
  f.halfHourly = false;
  f.hourly = true;
  ASSERT_TRUE(AddReminderFromForm(store_, CheckReminderForm(f)).ok);
  ASSERT_EQ(store_.Size(), 1u);
  EXPECT_EQ(store_.Get(kHourlyReminderId)->content, "second");
  EXPECT_EQ(store_.Get(kHourlyReminderId)->mode, 60);
}

TEST_F(ReminderCommandTest, ModifyUnderTheRowsId) {
  ASSERT_TRUE(AddReminderFromForm(store_, CheckReminderForm(Form(1, "daily"))).ok);
  // Changed to hourly, it keeps its own id.
  ReminderForm f = ReminderFormFor(*store_.Get("s1"));
  EXPECT_EQ(f.modeIndex, 1);
  EXPECT_EQ(f.text, "daily");
  ToggleHourlyBox(f, true, true);
  const auto result = CheckReminderForm(f);
  EXPECT_EQ(result.id, kHourlyReminderId);
  ASSERT_TRUE(ModifyReminderFromForm(store_, "s1", result).ok);
  EXPECT_EQ(store_.Get("s1")->mode, 60);
  EXPECT_FALSE(store_.Get(kHourlyReminderId));

  EXPECT_EQ(ModifyReminderFromForm(store_, "gone", CheckReminderForm(Form(1))).message,
            msg::kModifyFailed);
  // An hourly reminder whose row has vanished from the store is added again under the row's id.
  EXPECT_TRUE(ModifyReminderFromForm(store_, "s2", result).ok);
  EXPECT_EQ(store_.Get("s2")->mode, 60);
}

}  // namespace
}  // namespace zorbek
