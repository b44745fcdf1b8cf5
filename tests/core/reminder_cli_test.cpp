// zorbek-cli reminders, reminder-add, reminder-modify, reminder-delete and simulate.
#include <gtest/gtest.h>

#include "core/io/file_util.h"
#include "core/reminders/reminder_record.h"
#include "reminder_test_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::RunCli;

class ReminderCliTest : public ::testing::Test {
 protected:
  int Cli(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
    args.insert(args.begin(), {"--db", db_});
    return RunCli(args, out, err);
  }
  std::string Add(std::vector<std::string> args) {
    args.insert(args.begin(), "reminder-add");
    std::string out, err;
    EXPECT_EQ(Cli(args, &out, &err), 0) << err;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  std::string List() {
    std::string out;
    EXPECT_EQ(Cli({"reminders"}, &out), 0);
    return out;
  }

  testing::ScopedTimeZone tz_{"Asia/Shanghai"};  // inherited by the command
  testing::TempDir dir_;
  std::string db_ = dir_ / "Zorbek.xml";
};

TEST_F(ReminderCliTest, AddListModifyDelete) {
  const std::string daily = Add({"--mode", "1", "--time", "08:00:00", "起床\n刷牙"});
  ASSERT_EQ(daily.size(), 33u);
  const std::string weekly =
      Add({"--mode", "2", "--date", "2026-12-25", "--weekday", "3", "--time", "19:30:00", "w"});
  const std::string range = Add({"--mode", "5", "--date", "2026-12-10", "--to", "2026-12-12",
                                 "--time", "08:00:00", "r"});
  EXPECT_EQ(List(), daily + "\t每天 08时00分00秒\t每天同一时间\t长期\t1\t起床\\n刷牙\n" + weekly +
                        "\t每周星期三 19时30分00秒\t每周同一时间\t长期\t1\tw\n" + range +
                        "\t2026年12月10日至2026年12月12日 08时00分00秒\t时间段\t长期\t1\tr\n");

  // A second hourly reminder changes the first.
  EXPECT_EQ(Add({"--mode", "30", "half"}), kHourlyReminderId);
  EXPECT_EQ(Add({"--mode", "60", "full"}), kHourlyReminderId);
  std::string out;
  ASSERT_EQ(Cli({"reminder-modify", weekly, "--mode", "0", "--date", "2027-01-02"}, &out), 0);
  ASSERT_EQ(Cli({"reminder-delete", daily}), 0);
  EXPECT_EQ(List(), weekly + "\t2027年01月02日 19时30分00秒\t提醒一次\t临时\t1\tw\n" + range +
                        "\t2026年12月10日至2026年12月12日 08时00分00秒\t时间段\t长期\t1\tr\n" +
                        kHourlyReminderId + "\t整时提醒\t整时提醒\t长期\t1\tfull\n");

  std::string err;
  EXPECT_EQ(Cli({"reminder-delete", daily}, nullptr, &err), 1);
  EXPECT_EQ(Cli({"reminder-modify", "nobody", "x"}, nullptr, &err), 1);
}

TEST_F(ReminderCliTest, TheDialogsChecksRefuseWithTheirMessages) {
  std::string err;
  EXPECT_EQ(Cli({"reminder-add", "--mode", "0", "   "}, nullptr, &err), 1);
  EXPECT_EQ(err, "请填定提醒内容。\n");
  EXPECT_EQ(Cli({"reminder-add", "--mode", "0", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11"}, nullptr, &err), 1);
  EXPECT_EQ(err, "内容行数最多不能超过10行。\n");
  EXPECT_EQ(Cli({"reminder-add", "--mode", "5", "--date", "2026-12-10", "--to", "2026-12-10", "r"},
                nullptr, &err),
            1);
  EXPECT_EQ(err, "开始日期应该小于结束工期，请重新设置。\n");
  EXPECT_EQ(Cli({"reminder-add", "--mode", "7", "x"}, nullptr, &err), 1);
  EXPECT_EQ(err, "请选择恰当模式。\n");
  // A control character would make the database unreadable to other XML tools.
  EXPECT_EQ(Cli({"reminder-add", "--mode", "1", "a\x01b"}, nullptr, &err), 1);
  EXPECT_EQ(err, "提醒内容中含有无法保存的控制字符，请删除后再试。\n");
  // Bad usage.
  EXPECT_EQ(Cli({"reminder-add", "x"}), 2);
  EXPECT_EQ(Cli({"reminder-add", "--mode", "0", "--date", "2026-02-30", "x"}), 2);
  EXPECT_EQ(Cli({"reminder-add", "--mode", "0", "--time", "24:00:00", "x"}), 2);
  EXPECT_EQ(Cli({"simulate", "--from", "2026-12-06 08:00:00"}), 2);
  EXPECT_EQ(List(), "");
}

TEST_F(ReminderCliTest, ReadOnlyAndUnreadableDatabases) {
  // Listing a missing database is refused and creates nothing.
  std::string out, missing;
  EXPECT_EQ(Cli({"reminders"}, &out, &missing), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(missing, "数据库文件不存在：" + db_ + "\n");
  EXPECT_FALSE(PathExists(db_));
  EXPECT_EQ(Cli({"reminder-delete", "x"}), 1);
  EXPECT_FALSE(PathExists(db_));
  EXPECT_EQ(Cli({"simulate", "--from", "2026-12-06 08:00:00", "--to", "2026-12-06 09:00:00"}), 0);
  EXPECT_FALSE(PathExists(db_));

  testing::WriteFile(db_, "<list><filetree>");
  std::string err;
  EXPECT_EQ(Cli({"reminders"}, nullptr, &err), 1);
  EXPECT_NE(err.find(db_), std::string::npos);
  EXPECT_EQ(Cli({"reminder-add", "--mode", "0", "x"}), 1);
  EXPECT_EQ(Cli({"simulate", "--from", "2026-12-06 08:00:00", "--to", "2026-12-06 09:00:00"}), 1);
  EXPECT_EQ(testing::ReadFile(db_), "<list><filetree>");
}

TEST_F(ReminderCliTest, SimulateFiresDropsAndPostpones) {
  const std::string daily =
      Add({"--mode", "1", "--date", "2026-12-06", "--time", "08:00:00", "d"});
  const std::string weekly =
      Add({"--mode", "2", "--date", "2026-12-05", "--time", "23:00:00", "w"});  // Saturdays
  const std::string once = Add({"--mode", "0", "--date", "2026-12-06", "--time", "06:00:00", "o"});
  std::string out, err;
  ASSERT_EQ(Cli({"simulate", "--from", "2026-12-06 12:05:00", "--to", "2026-12-08 08:30:00",
                 "--step", "60", "--postpone", daily + ":10"},
                &out, &err),
            0)
      << err;
  // Each first occurrence passed unseen: dropped.
  EXPECT_EQ(out, "2026-12-06 12:05:00\tdrop\t" + daily + "\n" +  //
                     "2026-12-06 12:05:00\tdrop\t" + weekly + "\n" +
                     "2026-12-06 12:05:00\tdrop\t" + once + "\n" +
                     "2026-12-07 08:00:00\tfire\t" + daily + "\n" +
                     "2026-12-07 08:10:00\tfire\t" + daily + "\n" +
                     "2026-12-08 08:00:00\tfire\t" + daily + "\n");
  // The firings are in the file.
  ASSERT_EQ(Cli({"reminders"}, &out), 0);
  EXPECT_NE(out.find(daily + "\t每天 08时00分00秒\t每天同一时间\t长期\t0\td\n"), std::string::npos);

  // Default step of 5 s, around a postponement past midnight.
  ASSERT_EQ(Cli({"simulate", "--from", "2026-12-12 22:59:50", "--to", "2026-12-13 00:01:00",
                 "--postpone", weekly + ":60"},
                &out),
            0);
  EXPECT_EQ(out, "2026-12-12 22:59:50\tdrop\t" + daily + "\n" +
                     "2026-12-12 23:00:00\tfire\t" + weekly + "\n" +
                     "2026-12-13 00:00:00\tfire\t" + weekly + "\n");
}

}  // namespace
}  // namespace zorbek
