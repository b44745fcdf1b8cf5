// When reminders fire: every mode's rule and the postponements, driven by check passes on a
// fake clock, in a time zone without and in one with daylight saving time.
#include <gtest/gtest.h>

#include "core/reminders/reminder_store.h"
#include "reminder_test_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::At;
using Lines = std::vector<std::string>;

class ReminderDueTest : public ::testing::TestWithParam<const char*> {
 protected:
  ReminderDueTest() : tz_(GetParam()) {
    EXPECT_TRUE(doc_.LoadFromString(testing::kEmptyDatabase));  // no file: passes stay fast
    store_.Init(doc_, kSchedulePath, &sink_, false);
  }

  void Add(const std::string& id, std::int32_t mode, const SystemTime& start,
           const SystemTime& stop) {
    ASSERT_EQ(store_.Add(id, start, stop, mode, id), StoreResult::kDone);
  }
  void Add(const std::string& id, std::int32_t mode, const SystemTime& start) {
    Add(id, mode, start, start);
  }
  void SetNow(const SystemTime& t) {
    clock_.Set(t.year, t.month, t.day, t.hour, t.minute, t.second);
  }
  Lines PassAt(const SystemTime& t) {
    SetNow(t);
    return testing::EventTexts(store_.CheckPass());
  }
  // Passes every step seconds from one moment to another (both included), as
  // "YYYY-MM-DD HH:MM:SS fire|drop id" lines; with firesOnly the drops are left out.
  Lines Run(const SystemTime& from, const SystemTime& to, int step, bool firesOnly = false) {
    FakeClock end;
    end.SetLocal(to.year, to.month, to.day, to.hour, to.minute, to.second);
    Lines out;
    for (SetNow(from); clock_.clock().NowUnixMillis() <= end.NowUnixMillis(); clock_.Advance(step)) {
      const std::string moment = FormatDateTime(clock().LocalNow());
      for (const auto& e : testing::EventTexts(store_.CheckPass()))
        if (!firesOnly || e.rfind("fire", 0) == 0) out.push_back(moment + " " + e);
    }
    return out;
  }
  int Valid(const std::string& id) { return store_.Get(id)->valid; }

  testing::ScopedTimeZone tz_;
  testing::ScopedFakeClock clock_;
  testing::RecordingSink sink_;
  CXmlDocument doc_;
  ReminderStore store_;
};

INSTANTIATE_TEST_SUITE_P(TimeZones, ReminderDueTest,
                         ::testing::Values("Asia/Shanghai", "Europe/Berlin"),
                         [](const auto& info) {
                           return std::string(info.param).substr(0, std::string(info.param).find('/'));
                         });

TEST_P(ReminderDueTest, DailyFiresOncePerDayAtItsTime) {
  Add("d", 1, At(2026, 12, 6, 8, 0, 0));
  Add("late30", 1, At(2026, 12, 6, 8, 0, 30));  // at its second, not early in its minute
  EXPECT_EQ(Run(At(2026, 12, 6, 7, 59, 0), At(2026, 12, 6, 8, 2, 0), 5),
            (Lines{"2026-12-06 08:00:00 fire d", "2026-12-06 08:00:30 fire late30"}));
  EXPECT_EQ(Run(At(2026, 12, 6, 8, 2, 5), At(2026, 12, 7, 7, 59, 55), 60), Lines{});
  EXPECT_EQ(Run(At(2026, 12, 7, 7, 59, 55), At(2026, 12, 7, 8, 0, 40), 5),
            (Lines{"2026-12-07 08:00:00 fire d", "2026-12-07 08:00:30 fire late30"}));
  EXPECT_EQ(sink_.Ids(), (Lines{"d", "late30", "d", "late30"}));
}

TEST_P(ReminderDueTest, AMissedDailyReminderFiresUpTo239MinutesLate) {
  Add("a", 1, At(2026, 12, 6, 8, 0));
  Add("b", 1, At(2026, 12, 6, 8, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 7, 11, 59, 59)), (Lines{"fire a", "fire b"}));
  ASSERT_EQ(store_.Delete("a"), StoreResult::kDone);
  ASSERT_EQ(store_.Delete("b"), StoreResult::kDone);
  Add("c", 1, At(2026, 12, 6, 8, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 7, 12, 0, 0)), Lines{"drop c"});
  EXPECT_EQ(Valid("c"), 0);
  EXPECT_EQ(sink_.Ids(), (Lines{"a", "b"}));  // a drop never reaches the pop-up
}

TEST_P(ReminderDueTest, OnceReminder) {
  Add("o", 0, At(2026, 12, 6, 8, 30, 0));
  // In the future it stays armed on every pass.
  EXPECT_EQ(Run(At(2026, 12, 5, 8, 30, 0), At(2026, 12, 6, 8, 28, 0), 600), Lines{});
  EXPECT_EQ(Valid("o"), 1);
  EXPECT_EQ(PassAt(At(2026, 12, 6, 8, 29, 1)), Lines{});
  // A second before its moment it is not due; at its moment it fires.
  EXPECT_EQ(PassAt(At(2026, 12, 6, 8, 29, 59)), Lines{});
  EXPECT_EQ(PassAt(At(2026, 12, 6, 8, 30, 0)), Lines{"fire o"});
  EXPECT_EQ(Run(At(2026, 12, 6, 8, 30, 5), At(2026, 12, 7, 9, 0, 0), 300), Lines{});

  // Missed while the program was not running: fired up to 239 minutes late, else dropped.
  Add("missed", 0, At(2026, 12, 6, 8, 30, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 6, 12, 29, 59)), Lines{"fire missed"});
  Add("missed2", 0, At(2026, 12, 6, 8, 30, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 6, 12, 30, 0)), Lines{"drop missed2"});
  EXPECT_EQ(Valid("missed2"), 0);
}

TEST_P(ReminderDueTest, WeeklyOnItsWeekdayOnly) {
  Add("sun", 2, At(2026, 12, 6, 9, 0));  // a Sunday
  EXPECT_EQ(Run(At(2026, 12, 6, 0, 0), At(2026, 12, 20, 23, 0), 3600, true),
            (Lines{"2026-12-06 09:00:00 fire sun", "2026-12-13 09:00:00 fire sun",
                   "2026-12-20 09:00:00 fire sun"}));
}

TEST_P(ReminderDueTest, WeeklyPostponedPastMidnightStillComesBack) {
  Add("w", 2, At(2026, 12, 5, 23, 0));  // a Saturday
  // Its first Saturday passed unseen a week ago: dropped. The next fires.
  EXPECT_EQ(Run(At(2026, 12, 12, 22, 59, 0), At(2026, 12, 12, 23, 1, 0), 5),
            (Lines{"2026-12-12 22:59:00 drop w", "2026-12-12 23:00:00 fire w"}));
  SetNow(At(2026, 12, 12, 23, 55, 0));
  ASSERT_TRUE(store_.SetDelay("w", 10));
  EXPECT_EQ(store_.Get("w")->delayMinutes, 65);
  EXPECT_EQ(Valid("w"), 1);
  EXPECT_EQ(Run(At(2026, 12, 12, 23, 55, 5), At(2026, 12, 13, 0, 30, 0), 5),
            Lines{"2026-12-13 00:05:00 fire w"});
  // Then the week goes on as before, at 23:00 on Saturday.
  EXPECT_EQ(store_.Get("w")->delayMinutes, 0);
  EXPECT_EQ(Run(At(2026, 12, 13, 0, 30, 0), At(2026, 12, 19, 23, 10, 0), 60),
            Lines{"2026-12-19 23:00:00 fire w"});
}

TEST_P(ReminderDueTest, MonthlyOnDay31OnlyInLongMonths) {
  Add("m", 3, At(2026, 12, 31, 9, 0));
  EXPECT_EQ(Run(At(2027, 1, 1, 0, 0), At(2027, 6, 1, 0, 0), 3600),
            (Lines{"2027-01-01 00:00:00 drop m", "2027-01-31 09:00:00 fire m", "2027-03-31 09:00:00 fire m",
                   "2027-05-31 09:00:00 fire m"}));
}

TEST_P(ReminderDueTest, YearlyOn29FebruaryOnlyInLeapYears) {
  Add("y", 4, At(2028, 2, 29, 10, 0));
  EXPECT_EQ(Run(At(2027, 1, 1, 0, 0), At(2029, 12, 31, 23, 0), 3600, true),
            Lines{"2028-02-29 10:00:00 fire y"});
}

TEST_P(ReminderDueTest, DateRangeFiresEachDayOfTheRange) {
  Add("r", 5, At(2026, 12, 10, 8, 0), At(2026, 12, 12, 8, 0));
  Add("unknown", 7, At(2026, 12, 10, 8, 0));  // skipped by every pass
  EXPECT_EQ(Run(At(2026, 12, 9, 0, 0), At(2026, 12, 13, 0, 0), 60),
            (Lines{"2026-12-10 08:00:00 fire r", "2026-12-11 08:00:00 fire r",
                   "2026-12-12 08:00:00 fire r"}));
  // Outside its range it is left as it is stored.
  EXPECT_EQ(PassAt(At(2026, 12, 12, 12, 1, 0)), Lines{});
  EXPECT_EQ(Valid("r"), 0);
  EXPECT_EQ(store_.Get("r")->lastUpdate, At(2026, 12, 12, 8, 0, 0));
  EXPECT_EQ(store_.Get("unknown")->valid, 1);
}

TEST_P(ReminderDueTest, TheLastOccurrenceOfARangeCanBePostponedPastItsEnd) {
  Add("r", 5, At(2026, 12, 10, 8, 0), At(2026, 12, 12, 8, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 12, 8, 0, 0)), Lines{"fire r"});
  SetNow(At(2026, 12, 12, 11, 0, 0));
  store_.SetDelay("r", 120);
  EXPECT_EQ(Run(At(2026, 12, 12, 11, 0, 5), At(2026, 12, 12, 14, 0, 0), 60),
            Lines{"2026-12-12 13:00:05 fire r"});
  EXPECT_EQ(Valid("r"), 0);
}

TEST_P(ReminderDueTest, HalfHourlyAndHourly) {
  Add("half", 30, At(2026, 12, 6, 9, 50));
  Add("full", 60, At(2026, 12, 6, 9, 50));
  EXPECT_EQ(Run(At(2026, 12, 6, 9, 50, 0), At(2026, 12, 6, 11, 40, 0), 5),
            (Lines{"2026-12-06 10:00:00 fire half", "2026-12-06 10:00:00 fire full",
                   "2026-12-06 10:30:00 fire half", "2026-12-06 11:00:00 fire half",
                   "2026-12-06 11:00:00 fire full", "2026-12-06 11:30:00 fire half"}));
}

TEST_P(ReminderDueTest, PostponingADailyReminder) {
  Add("d", 1, At(2026, 12, 6, 8, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 6, 8, 0, 0)), Lines{"fire d"});
  SetNow(At(2026, 12, 6, 8, 2, 0));
  store_.SetDelay("d", 10);
  EXPECT_EQ(store_.Get("d")->delayMinutes, 12);
  EXPECT_EQ(Run(At(2026, 12, 6, 8, 2, 5), At(2026, 12, 6, 9, 0, 0), 5),
            Lines{"2026-12-06 08:12:00 fire d"});
  // Dismissing disarms it until the next day.
  store_.SetDelay("d", 0);
  EXPECT_EQ(Run(At(2026, 12, 6, 9, 0, 0), At(2026, 12, 7, 8, 1, 0), 60),
            Lines{"2026-12-07 08:00:00 fire d"});
}

TEST_P(ReminderDueTest, PostponedPastMidnightDailyAndOnce) {
  Add("d", 1, At(2026, 12, 6, 23, 50));
  Add("o", 0, At(2026, 12, 6, 23, 50));
  EXPECT_EQ(PassAt(At(2026, 12, 6, 23, 50, 0)), (Lines{"fire d", "fire o"}));
  SetNow(At(2026, 12, 6, 23, 55, 0));
  store_.SetDelay("d", 10);
  SetNow(At(2026, 12, 7, 0, 5, 0));
  store_.SetDelay("o", 10);
  EXPECT_EQ(store_.Get("o")->delayMinutes, 25);
  EXPECT_EQ(Run(At(2026, 12, 7, 0, 5, 0), At(2026, 12, 7, 23, 55, 0), 60),
            (Lines{"2026-12-07 00:05:00 fire d", "2026-12-07 00:15:00 fire o",
                   "2026-12-07 23:50:00 fire d"}));
}

TEST_P(ReminderDueTest, AWallClockTimeSkippedBySpringForwardIsNotLost) {
  Add("o", 0, At(2027, 3, 28, 2, 30));
  Add("d", 1, At(2027, 3, 27, 2, 30));
  const Lines events = Run(At(2027, 3, 28, 0, 0), At(2027, 3, 28, 6, 0), 60, true);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(sink_.Ids().size(), 2u);
}

}  // namespace
}  // namespace zorbek
