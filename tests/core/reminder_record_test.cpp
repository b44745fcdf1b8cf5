// Reminder times as file times, their stored halves, ids.
#include <gtest/gtest.h>

#include <set>

#include "core/reminders/reminder_record.h"
#include "core/reminders/reminder_time.h"
#include "reminder_test_util.h"

namespace zorbek {
namespace {

using testing::At;

TEST(ReminderFileTime, ExampleMomentAndItsHalves) {
  const auto ft = ToFileTime(At(2026, 12, 6, 8, 30, 0));
  ASSERT_TRUE(ft);
  EXPECT_EQ(*ft, 134410194000000000ull);
  EXPECT_EQ(*ft, 0x01DD855BFB8FB400ull);
  const FileTimeHalves h = SplitFileTime(*ft);
  EXPECT_EQ(h.low, -74468352);
  EXPECT_EQ(h.high, 31294811);
  EXPECT_EQ(JoinFileTime(h.low, h.high), *ft);
}

TEST(ReminderFileTime, RoundTripKeepsMillisecondsAndFillsDayOfWeek) {
  SystemTime t = At(2028, 2, 29, 23, 59, 59, 999);
  t.dayOfWeek = 0;  // wrong on purpose: the file time does not carry it
  const SystemTime back = FromStoredHalves(StoredHalves(t).low, StoredHalves(t).high);
  EXPECT_EQ(back, At(2028, 2, 29, 23, 59, 59, 999));
  EXPECT_EQ(back.dayOfWeek, 2);  // a Tuesday

  // The ends of the range a file time can hold.
  EXPECT_EQ(*FromFileTime(*ToFileTime(At(1601, 1, 1))), At(1601, 1, 1));
  EXPECT_EQ(*FromFileTime(*ToFileTime(At(30827, 12, 31, 23, 59, 59, 999))),
            At(30827, 12, 31, 23, 59, 59, 999));
  EXPECT_EQ(FileTimeEpoch(), At(1601, 1, 1));
  EXPECT_EQ(FileTimeEpoch().dayOfWeek, 1);  // Monday
}

TEST(ReminderFileTime, NoDateTimeMeansTheEpoch) {
  // Not a date: written as 0.
  EXPECT_FALSE(ToFileTime(SystemTime{}));
  EXPECT_FALSE(ToFileTime(At(2026, 2, 29)));
  EXPECT_FALSE(ToFileTime(At(1600, 12, 31)));
  SystemTime late = At(2026, 1, 1);
  late.hour = 24;
  EXPECT_FALSE(ToFileTime(late));
  EXPECT_EQ(StoredHalves(SystemTime{}).low, 0);
  EXPECT_EQ(StoredHalves(SystemTime{}).high, 0);
  // A negative high half is a value of 2^63 or more: no date-time, read as the epoch.
  EXPECT_FALSE(FromFileTime(JoinFileTime(0, -1)));
  EXPECT_EQ(FromStoredHalves(0, -1), At(1601, 1, 1));
  EXPECT_EQ(FromStoredHalves(0, 0), At(1601, 1, 1));
}

TEST(ReminderFileTime, NumbersAreReadTheAtoiWay) {
  EXPECT_EQ(ParseDecimal32("-74468352"), -74468352);
  EXPECT_EQ(ParseDecimal32("  \t+42abc"), 42);
  EXPECT_EQ(ParseDecimal32(""), 0);
  EXPECT_EQ(ParseDecimal32("abc"), 0);
  EXPECT_EQ(ParseDecimal32("- 5"), 0);
  EXPECT_EQ(ParseDecimal32("1 2"), 1);
  EXPECT_EQ(ParseDecimal32("2147483647"), 2147483647);
  EXPECT_EQ(ParseDecimal32("-2147483648"), -2147483647 - 1);
  // Beyond 32 bits the value saturates instead of wrapping round.
  EXPECT_EQ(ParseDecimal32("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseDecimal32("-99999999999999999999"), -2147483647 - 1);
}

TEST(ReminderCalendar, DatesAndCalendarSeconds) {
  EXPECT_EQ(DayOfWeekOf(2026, 12, 25), 5);  // Friday
  EXPECT_EQ(AddDays(At(2026, 12, 31, 9), 4), At(2027, 1, 4, 9));
  EXPECT_EQ(AddDays(At(2028, 2, 28), 1), At(2028, 2, 29));
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);

  testing::ScopedTimeZone tz("Asia/Shanghai");
  EXPECT_EQ(CalendarSeconds(At(1970, 1, 1, 8, 0, 0)), 0);
  EXPECT_EQ(CalendarSeconds(At(1970, 1, 1, 8, 0, 0, 999)), 0);  // milliseconds do not count
  EXPECT_EQ(CalendarSeconds(At(1899, 12, 31, 23, 59, 59)), 0);  // the 1900 floor
  EXPECT_EQ(CalendarSeconds(At(1601, 1, 1)), 0);
  EXPECT_EQ(FloorDiv(-1, 60), -1);
  EXPECT_EQ(FloorDiv(-60, 60), -1);
  EXPECT_EQ(FloorDiv(59, 60), 0);
}

TEST(ReminderIds, GuidFormAndFallback) {
  Guid g;
  g.data1 = 0x1234ABCD;
  g.data2 = 0x00EF;
  g.data3 = 0x4A01;
  g.data4 = {0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0};
  // The two halves of the last eight bytes are read as little-endian numbers.
  EXPECT_EQ(ReminderIdFromGuid(g), "s1234abcd00ef4a0104030201d0c0b0a0");

  EXPECT_EQ(ReminderIdFromParts(0x01DD855BFB8FB400ull, 0x2A, 7),
            "s01dd855bfb8fb4000000002a00000007");

  std::set<std::string> ids;
  for (int i = 0; i < 100; ++i) {
    const std::string id = NewReminderId();
    ASSERT_EQ(id.size(), 33u);
    EXPECT_EQ(id[0], 's');
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef", 1), std::string::npos);
    EXPECT_TRUE(IsValidXmlName(id));
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 100u);
  EXPECT_TRUE(IsValidXmlName(kHourlyReminderId));
}

TEST(ReminderXml, ElementWithoutAttributesAndOtherNodes) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString(
      "<list><filetree><schedule>"
      "<bare>only text</bare>"
      "<odd mode=' 7x' lowtime='junk' hightime='31294811' valid='5'>a<b>b</b>c</odd>"
      "</schedule></filetree></list>"));
  const auto records = ReadReminders(doc.Select("/list/filetree/schedule"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].id, "bare");
  EXPECT_EQ(records[0].mode, 0);
  EXPECT_EQ(records[0].valid, 0);
  EXPECT_EQ(records[0].start, At(1601, 1, 1));
  EXPECT_EQ(records[0].stop, At(1601, 1, 1));
  EXPECT_EQ(records[0].lastUpdate, At(1601, 1, 1));
  EXPECT_EQ(records[0].content, "only text");
  EXPECT_EQ(records[0].delayMinutes, 0);
  // Taken as they stand: an unknown mode, a valid of 5, a low half that is no number.
  EXPECT_EQ(records[1].mode, 7);
  EXPECT_EQ(records[1].valid, 5);
  EXPECT_EQ(records[1].start, *FromFileTime(JoinFileTime(0, 31294811)));
}

}  // namespace
}  // namespace zorbek
