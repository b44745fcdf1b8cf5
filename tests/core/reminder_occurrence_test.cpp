// Reminders due at their occurrences: at or after the moment and never before it, once per
// occurrence (and one write of the file per firing), late across midnight, when the clocks go
// back and forward, on 29 February and at the ends of a date range.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/reminders/due_rules.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_text.h"
#include "reminder_test_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::At;
using Lines = std::vector<std::string>;
using namespace reminder_mode;

// A store over a database file, passes on a fake clock, and the count of the file's saves.
class OccurrenceTest : public ::testing::TestWithParam<const char*> {
 protected:
  OccurrenceTest() : tz_(GetParam()) {
    testing::WriteFile(path_, testing::kEmptyDatabase);
    EXPECT_EQ(doc_.Load(path_), LoadStatus::Loaded);
    store_.Init(doc_, kSchedulePath, &sink_, false);
  }

  void Add(const std::string& id, std::int32_t mode, const SystemTime& start,
           std::optional<SystemTime> stop = std::nullopt) {
    ASSERT_EQ(store_.Add(id, start, stop.value_or(start), mode, id), StoreResult::kDone);
  }
  // Marks a reminder handled at a moment, as a firing of an earlier run left it in the file.
  void FiredAt(const std::string& id, const SystemTime& t) {
    ASSERT_EQ(store_.MarkHandled(id, t, 0), StoreResult::kDone);
  }
  void SetNow(const SystemTime& t) { clock_.Set(t.year, t.month, t.day, t.hour, t.minute, t.second); }
  std::uint64_t Saves() const { return doc_.SuccessfulSaves(); }

  // One pass: "fire id" / "drop id".
  Lines Pass() { return testing::EventTexts(store_.CheckPass()); }
  Lines PassAt(const SystemTime& t) {
    SetNow(t);
    return Pass();
  }
  // Passes every step seconds for a span of seconds from the present moment of the fake clock
  // (the clock moves by whole steps, so a night the clocks go back is walked through once), as
  // "YYYY-MM-DD HH:MM:SS fire|drop id" lines.
  Lines RunFor(std::int64_t seconds, int step) {
    Lines out;
    for (std::int64_t done = 0; done <= seconds; done += step) {
      const std::string moment = FormatDateTime(clock().LocalNow());
      for (const auto& e : Pass()) out.push_back(moment + " " + e);
      clock_.Advance(step);
    }
    return out;
  }
  Lines Run(const SystemTime& from, const SystemTime& to, int step) {
    FakeClock end;
    end.SetLocal(to.year, to.month, to.day, to.hour, to.minute, to.second);
    SetNow(from);
    return RunFor((end.NowUnixMillis() - clock_.clock().NowUnixMillis()) / 1000, step);
  }

  testing::ScopedTimeZone tz_;
  testing::ScopedFakeClock clock_;
  testing::RecordingSink sink_;
  testing::TempDir dir_;
  std::string path_ = dir_ / "Zorbek.xml";
  CXmlDocument doc_;
  ReminderStore store_;
};

INSTANTIATE_TEST_SUITE_P(TimeZones, OccurrenceTest,
                         ::testing::Values("Asia/Shanghai", "Europe/Berlin"),
                         [](const auto& info) {
                           return std::string(info.param).substr(0, std::string(info.param).find('/'));
                         });

// Every mode fires at the first pass at or after its moment, seconds included; a pass a few
// seconds before it finds nothing.
TEST_P(OccurrenceTest, EveryModeFiresAtItsMomentNeverBefore) {
  Add("once", kOnce, At(2026, 12, 11, 19, 4, 41));
  Add("daily", kDaily, At(2026, 12, 11, 19, 4, 41));
  Add("weekly", kWeekly, At(2026, 12, 11, 19, 4, 41));
  Add("monthly", kMonthly, At(2026, 12, 11, 19, 4, 41));
  Add("yearly", kYearly, At(2026, 12, 11, 19, 4, 41));
  Add("range", kRange, At(2026, 12, 11, 19, 4, 41), At(2026, 12, 13, 19, 4, 41));
  const Lines all = {"fire once", "fire daily", "fire weekly", "fire monthly", "fire yearly",
                     "fire range"};
  EXPECT_EQ(Run(At(2026, 12, 11, 19, 3, 0), At(2026, 12, 11, 19, 4, 40), 5), Lines{});
  EXPECT_EQ(PassAt(At(2026, 12, 11, 19, 4, 40)), Lines{});
  EXPECT_EQ(PassAt(At(2026, 12, 11, 19, 4, 41)), all);
  EXPECT_EQ(Run(At(2026, 12, 11, 19, 4, 42), At(2026, 12, 11, 23, 0, 0), 5), Lines{});

  // A reminder at 10:00:00 with passes at :05 past the minute: 10:00:05, not 09:59:05.
  Add("ten", kOnce, At(2026, 12, 12, 10, 0, 0));
  EXPECT_EQ(Run(At(2026, 12, 12, 9, 58, 0) , At(2026, 12, 12, 10, 1, 0), 5),
            Lines{"2026-12-12 10:00:00 fire ten"});
  SetNow(At(2026, 12, 12, 9, 58, 3));
  store_.Modify("ten", At(2026, 12, 12, 10, 0, 0), At(2026, 12, 12, 10, 0, 0), kOnce, "ten");
  EXPECT_EQ(RunFor(150, 5), Lines{"2026-12-12 10:00:03 fire ten"});
}

// A weekly, monthly and yearly reminder at 20:01, 22:30 and 23:59 (and a daily, a once, a date
// range and an hourly one) over 48 hours: each fires once per occurrence, and the file is
// written once per firing. Before the mend the evening ones fired again every minute after
// midnight, and every one of them rewrote the file that often.
TEST_P(OccurrenceTest, OncePerOccurrenceAndOneWriteEachOver48Hours) {
  // Friday 11 and Saturday 12 December 2026; seconds apart, so that no two fire in one pass.
  Add("w2001", kWeekly, At(2026, 12, 11, 20, 1, 0));
  Add("w2230", kWeekly, At(2026, 12, 12, 22, 30, 5));
  Add("w2359", kWeekly, At(2026, 12, 11, 23, 59, 10));
  Add("m2001", kMonthly, At(2026, 12, 12, 20, 1, 15));
  Add("m2230", kMonthly, At(2026, 12, 11, 22, 30, 20));
  Add("m2359", kMonthly, At(2026, 12, 12, 23, 59, 25));
  Add("y2001", kYearly, At(2026, 12, 11, 20, 1, 30));
  Add("y2230", kYearly, At(2026, 12, 12, 22, 30, 35));
  Add("y2359", kYearly, At(2026, 12, 11, 23, 59, 40));
  Add("d2359", kDaily, At(2026, 12, 11, 23, 59, 45));
  Add("o0000", kOnce, At(2026, 12, 12, 0, 0, 50));
  Add("r2230", kRange, At(2026, 12, 11, 22, 30, 50), At(2026, 12, 12, 22, 30, 50));
  Add("hourly", kHourly, At(2026, 12, 11, 12, 0, 0));
  const std::uint64_t before = Saves();
  const Lines events = Run(At(2026, 12, 11, 12, 5, 0), At(2026, 12, 13, 12, 4, 55), 5);

  std::map<std::string, Lines> moments;
  for (const std::string& e : events) {
    ASSERT_NE(e.find(" fire "), std::string::npos) << e;
    moments[e.substr(e.rfind(' ') + 1)].push_back(e.substr(0, 19));
  }
  const std::map<std::string, Lines> expected = {
      {"w2001", {"2026-12-11 20:01:00"}},
      {"w2230", {"2026-12-12 22:30:05"}},
      {"w2359", {"2026-12-11 23:59:10"}},
      {"m2001", {"2026-12-12 20:01:15"}},
      {"m2230", {"2026-12-11 22:30:20"}},
      {"m2359", {"2026-12-12 23:59:25"}},
      {"y2001", {"2026-12-11 20:01:30"}},
      {"y2230", {"2026-12-12 22:30:35"}},
      {"y2359", {"2026-12-11 23:59:40"}},
      {"d2359", {"2026-12-11 23:59:45", "2026-12-12 23:59:45"}},
      {"o0000", {"2026-12-12 00:00:50"}},
      {"r2230", {"2026-12-11 22:30:50", "2026-12-12 22:30:50"}},
  };
  for (const auto& [id, at] : expected) EXPECT_EQ(moments[id], at) << id;
  EXPECT_EQ(moments["hourly"].size(), 48u);
  EXPECT_EQ(Saves() - before, events.size());
  EXPECT_EQ(sink_.Ids().size(), events.size());
}

// The cases of the reports: a weekly Friday 23:00, a monthly 30th 22:30 and a yearly 21:00
// reminder, passes every 5 seconds until 04:00 the next day: one pop-up and one save each.
TEST_P(OccurrenceTest, EveningRemindersDoNotFireAgainAfterMidnight) {
  Add("weekly", kWeekly, At(2026, 12, 11, 23, 0, 0));
  Add("monthly", kMonthly, At(2026, 12, 30, 22, 30, 0));
  Add("yearly", kYearly, At(2026, 12, 30, 21, 0, 0));
  EXPECT_EQ(Run(At(2026, 12, 11, 22, 59, 55), At(2026, 12, 12, 4, 0, 0), 5),
            Lines{"2026-12-11 23:00:00 fire weekly"});
  ASSERT_EQ(store_.Delete("weekly"), StoreResult::kDone);  // its later Fridays are not walked
  const std::uint64_t before = Saves();
  EXPECT_EQ(Run(At(2026, 12, 30, 20, 59, 55), At(2026, 12, 31, 4, 0, 0), 5),
            (Lines{"2026-12-30 21:00:00 fire yearly", "2026-12-30 22:30:00 fire monthly"}));
  EXPECT_EQ(Saves() - before, 2u);
  // A daytime weekly reminder leaves the file alone the next day.
  Add("day", kWeekly, At(2027, 1, 8, 10, 0, 0));
  const std::uint64_t dayBefore = Saves();
  EXPECT_EQ(Run(At(2027, 1, 8, 9, 59, 0), At(2027, 1, 9, 23, 0, 0), 5),
            Lines{"2027-01-08 10:00:00 fire day"});
  EXPECT_EQ(Saves() - dayBefore, 1u);
}

// Lateness counts across midnight: an evening reminder missed while the program was closed fires
// at the first pass after start while it is less than 240 minutes late, else it is dropped.
TEST_P(OccurrenceTest, AMissedEveningReminderFiresAfterMidnight) {
  Add("d2350", kDaily, At(2026, 12, 10, 23, 50, 0));
  FiredAt("d2350", At(2026, 12, 10, 23, 50, 2));
  Add("w2300", kWeekly, At(2026, 12, 4, 23, 0, 0));  // Fridays
  FiredAt("w2300", At(2026, 12, 4, 23, 0, 1));
  Add("d2100", kDaily, At(2026, 12, 10, 21, 0, 0));
  FiredAt("d2100", At(2026, 12, 10, 21, 0, 0));
  // The program starts at 00:20 on Saturday.
  EXPECT_EQ(PassAt(At(2026, 12, 12, 0, 20, 0)), (Lines{"fire d2350", "fire w2300", "fire d2100"}));
  // A 21:00 reminder is 239:59 late at 00:59:59 and fires; 240 minutes late it is dropped,
  // written once and then left alone.
  Add("d2100a", kDaily, At(2026, 12, 10, 21, 0, 0));
  FiredAt("d2100a", At(2026, 12, 10, 21, 0, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 12, 0, 59, 59)), Lines{"fire d2100a"});
  Add("d2100b", kDaily, At(2026, 12, 10, 21, 0, 0));
  FiredAt("d2100b", At(2026, 12, 10, 21, 0, 0));
  const std::uint64_t before = Saves();
  EXPECT_EQ(PassAt(At(2026, 12, 12, 1, 0, 0)), Lines{"drop d2100b"});
  EXPECT_EQ(Run(At(2026, 12, 12, 1, 0, 5), At(2026, 12, 12, 20, 0, 0), 5), Lines{});
  EXPECT_EQ(Saves() - before, 1u);
  EXPECT_EQ(sink_.Ids(), (Lines{"d2350", "w2300", "d2100", "d2100a"}));

  // The pop-up says how late it is, counted from the occurrence, across midnight.
  const auto r = store_.Get("d2350");
  ASSERT_TRUE(r && r->dueAt);
  EXPECT_EQ(*r->dueAt, CalendarSeconds(At(2026, 12, 11, 23, 50, 0)));
  EXPECT_EQ(r->lastUpdate, At(2026, 12, 12, 0, 20, 0));
}

// A reminder postponed comes back at the moment the postponement fixed, to the second and
// whatever the date: never before it, once.
TEST_P(OccurrenceTest, APostponementIsAFixedMoment) {
  Add("w", kWeekly, At(2026, 12, 12, 23, 0, 0));  // Saturdays
  EXPECT_EQ(PassAt(At(2026, 12, 12, 23, 0, 2)), Lines{"fire w"});
  SetNow(At(2026, 12, 12, 23, 0, 7));
  ASSERT_TRUE(store_.SetDelay("w", 120));
  EXPECT_EQ(RunFor(2 * 3600 + 10, 1), Lines{"2026-12-13 01:00:07 fire w"});
  EXPECT_EQ(Run(At(2026, 12, 13, 1, 0, 20), At(2026, 12, 19, 22, 59, 0), 60), Lines{});

  Add("o", kOnce, At(2026, 12, 14, 8, 0, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 14, 8, 0, 0)), Lines{"fire o"});
  SetNow(At(2026, 12, 14, 8, 2, 37));
  ASSERT_TRUE(store_.SetDelay("o", 10));
  EXPECT_EQ(RunFor(700, 5), Lines{"2026-12-14 08:12:37 fire o"});
}

// The clocks go back: 02:00-03:00 is read twice on 25 October 2026 in Berlin. A once reminder at
// 02:30 fires once, a daily one once that night, an hourly one in each of the two hours.
TEST_P(OccurrenceTest, TheClocksGoingBack) {
  Add("once", kOnce, At(2026, 10, 25, 2, 30, 0));
  Add("daily", kDaily, At(2026, 10, 24, 2, 30, 0));
  Add("late", kDaily, At(2026, 10, 24, 2, 50, 0));
  FiredAt("daily", At(2026, 10, 24, 2, 30, 0));
  FiredAt("late", At(2026, 10, 24, 2, 50, 0));
  Add("hourly", kHourly, At(2026, 10, 24, 2, 30, 0));
  SetNow(At(2026, 10, 25, 0, 30, 0));
  const Lines events = RunFor(5 * 3600, 5);
  auto count = [&](const std::string& id) {
    return std::count_if(events.begin(), events.end(), [&](const std::string& e) {
      return e.substr(e.rfind(' ') + 1) == id;
    });
  };
  EXPECT_EQ(count("once"), 1);
  EXPECT_EQ(count("daily"), 1);
  EXPECT_EQ(count("late"), 1);
  const bool berlin = std::string(GetParam()) == "Europe/Berlin";
  Lines hours;  // five real hours from 00:30
  for (const std::string& e : events)
    if (e.ends_with(" hourly")) hours.push_back(e.substr(11, 2));
  EXPECT_EQ(hours, berlin ? (Lines{"01", "02", "02", "03", "04"})
                          : (Lines{"01", "02", "03", "04", "05"}));

  // Started in the second 02:00-03:00, a daily 02:50 reminder missed in the first one fires once.
  store_.Delete("late");
  Add("late", kDaily, At(2026, 10, 24, 2, 50, 0));
  FiredAt("late", At(2026, 10, 24, 2, 50, 0));
  clock_.clock().SetUnixMillis(berlin ? 1792892400000 : 1792867200000);  // 02:40 CET / 02:40
  const Lines again = RunFor(1800, 5);
  EXPECT_EQ(std::count_if(again.begin(), again.end(),
                          [](const std::string& e) { return e.ends_with(" late"); }),
            1);
}

// The clocks go forward: 02:00-03:00 is skipped on 28 March 2027 in Berlin. A reminder at 02:30
// fires once that night, at 03:30, as if the clock had not jumped.
TEST_P(OccurrenceTest, TheClocksGoingForward) {
  Add("once", kOnce, At(2027, 3, 28, 2, 30, 0));
  Add("daily", kDaily, At(2027, 3, 27, 2, 30, 0));
  FiredAt("daily", At(2027, 3, 27, 2, 30, 0));
  const Lines events = Run(At(2027, 3, 28, 0, 0, 0), At(2027, 3, 29, 12, 0, 0), 5);
  const bool berlin = std::string(GetParam()) == "Europe/Berlin";
  const std::string at = berlin ? "2027-03-28 03:30:00" : "2027-03-28 02:30:00";
  EXPECT_EQ(events, (Lines{at + " fire once", at + " fire daily",
                           "2027-03-29 02:30:00 fire daily"}));
}

// 29 February: a yearly reminder fires in leap years only, a monthly one for the 30th skips
// February, and a once reminder on the day fires once.
TEST_P(OccurrenceTest, TwentyNinthOfFebruary) {
  Add("yearly", kYearly, At(2028, 2, 29, 10, 0, 0));
  Add("monthly30", kMonthly, At(2028, 1, 30, 11, 0, 0));
  Add("once", kOnce, At(2028, 2, 29, 12, 0, 0));
  Lines fires;
  for (const std::string& e : Run(At(2027, 12, 31, 0, 0, 0), At(2033, 1, 1, 0, 0, 0), 3600))
    if (e.ends_with("yearly") || e.ends_with("once") || e.substr(0, 7) <= "2028-04")
      fires.push_back(e);
  EXPECT_EQ(fires, (Lines{"2028-01-30 11:00:00 fire monthly30", "2028-02-29 10:00:00 fire yearly",
                          "2028-02-29 12:00:00 fire once", "2028-03-30 11:00:00 fire monthly30",
                          "2028-04-30 11:00:00 fire monthly30", "2032-02-29 10:00:00 fire yearly"}));
}

// A date range fires on its first and its last day and on none outside them; once it is over it
// leaves the file alone.
TEST_P(OccurrenceTest, TheEndsOfADateRange) {
  Add("r", kRange, At(2026, 12, 10, 8, 0, 0), At(2026, 12, 12, 8, 0, 0));
  const std::uint64_t before = Saves();
  EXPECT_EQ(Run(At(2026, 12, 8, 0, 0, 0), At(2026, 12, 10, 7, 59, 55), 5), Lines{});
  EXPECT_EQ(Saves(), before);  // nothing written while it has not begun
  EXPECT_EQ(Run(At(2026, 12, 10, 8, 0, 0), At(2026, 12, 14, 0, 0, 0), 30),
            (Lines{"2026-12-10 08:00:00 fire r", "2026-12-11 08:00:00 fire r",
                   "2026-12-12 08:00:00 fire r"}));
  EXPECT_EQ(Saves() - before, 3u);  // nothing written when it is over
  EXPECT_EQ(store_.Get("r")->lastUpdate, At(2026, 12, 12, 8, 0, 0));

  // The last day missed: fired up to 239 minutes late, else dropped once.
  Add("late", kRange, At(2026, 12, 10, 8, 0, 0), At(2026, 12, 12, 8, 0, 0));
  FiredAt("late", At(2026, 12, 11, 8, 0, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 12, 11, 59, 59)), Lines{"fire late"});
  Add("dropped", kRange, At(2026, 12, 10, 8, 0, 0), At(2026, 12, 12, 8, 0, 0));
  FiredAt("dropped", At(2026, 12, 11, 8, 0, 0));
  EXPECT_EQ(PassAt(At(2026, 12, 12, 12, 0, 0)), Lines{"drop dropped"});
  const std::uint64_t after = Saves();
  EXPECT_EQ(Run(At(2026, 12, 12, 12, 0, 5), At(2026, 12, 13, 12, 0, 0), 60), Lines{});
  EXPECT_EQ(Saves(), after);
}

// Where the occurrences lie, without passes.
TEST_P(OccurrenceTest, FindOccurrences) {
  ReminderRecord r;
  r.mode = kMonthly;
  r.start = At(2026, 1, 31, 9, 0, 0);
  const std::int64_t feb = CalendarSeconds(At(2027, 2, 15, 0, 0, 0));
  OccurrencesAround around = FindOccurrences(r, feb);
  EXPECT_EQ(around.latest, CalendarSeconds(At(2027, 1, 31, 9, 0, 0)));
  EXPECT_EQ(around.next, CalendarSeconds(At(2027, 3, 31, 9, 0, 0)));
  r.mode = kYearly;
  r.start = At(2028, 2, 29, 9, 0, 0);
  around = FindOccurrences(r, CalendarSeconds(At(2031, 6, 1, 0, 0, 0)));
  EXPECT_EQ(around.latest, CalendarSeconds(At(2028, 2, 29, 9, 0, 0)));
  EXPECT_EQ(around.next, CalendarSeconds(At(2032, 2, 29, 9, 0, 0)));
  // 29 February 2100 does not exist: eight years from 2096 to 2104.
  around = FindOccurrences(r, CalendarSeconds(At(2101, 1, 1, 0, 0, 0)));
  EXPECT_EQ(around.latest, CalendarSeconds(At(2096, 2, 29, 9, 0, 0)));
  EXPECT_EQ(around.next, CalendarSeconds(At(2104, 2, 29, 9, 0, 0)));
  r.mode = kRange;
  r.start = At(2026, 12, 10, 8, 0, 0);
  r.stop = At(2026, 12, 12, 7, 0, 0);
  around = FindOccurrences(r, CalendarSeconds(At(2026, 12, 9, 0, 0, 0)));
  EXPECT_FALSE(around.latest);
  EXPECT_EQ(around.next, CalendarSeconds(At(2026, 12, 10, 8, 0, 0)));
  around = FindOccurrences(r, CalendarSeconds(At(2027, 1, 1, 0, 0, 0)));
  EXPECT_EQ(around.latest, CalendarSeconds(At(2026, 12, 12, 8, 0, 0)));
  EXPECT_FALSE(around.next);
  // A record with no such day (a file edited by hand) never occurs.
  r.mode = kYearly;
  r.start.month = 2;
  r.start.day = 30;
  around = FindOccurrences(r, feb);
  EXPECT_FALSE(around.latest || around.next);
  r.mode = kWeekly;
  r.start.dayOfWeek = 9;
  EXPECT_FALSE(FindOccurrences(r, feb).latest);
}

}  // namespace
}  // namespace zorbek
