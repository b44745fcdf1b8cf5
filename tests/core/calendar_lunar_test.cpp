#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/calendar/lunar.h"
#include "core/calendar/lunar_tables.h"
#include "support/temp_dir.h"

namespace zorbek::calendar {

[[maybe_unused]] static void PrintTo(const LunarDate& d, std::ostream* os) {
  *os << d.year << "-" << (d.leapMonth ? "leap " : "") << d.month << "-" << d.day;
}
[[maybe_unused]] static void PrintTo(const Date& d, std::ostream* os) { *os << FormatDate(d); }

namespace {

LunarDate Lunar(int y, int m, int d) {
  LunarDate lunar;
  EXPECT_TRUE(ToLunar(DayNumber({y, m, d}), &lunar)) << y << "-" << m << "-" << d;
  return lunar;
}

LunarDate L(int y, int m, int d, bool leap = false) { return LunarDate{y, m, d, leap}; }

TEST(LunarDayNumber, CountsFromFirstJanuary1901WithTheGregorianLeapRule) {
  EXPECT_EQ(DayNumber({1901, 1, 1}), 0);
  EXPECT_EQ(DayOfWeek(0), 2);  // a Tuesday
  EXPECT_EQ(DayNumber({1901, 2, 19}), 49);
  EXPECT_EQ(DayNumber({1904, 3, 1}) - DayNumber({1904, 2, 28}), 2);
  EXPECT_EQ(DayNumber({1900, 12, 31}), -1);
  EXPECT_EQ(DayNumber({2001, 1, 1}) - DayNumber({2000, 1, 1}), 366);  // 2000 is a leap year
  EXPECT_EQ(DayNumber({2101, 1, 1}) - DayNumber({2100, 1, 1}), 365);  // 2100 is not
  EXPECT_EQ(DayOfWeek(DayNumber({2026, 12, 1})), 2);
  EXPECT_EQ(DayOfWeek(DayNumber({1900, 12, 30})), 0);  // before day 0 as well

  for (int n : {-693000, -1, 0, 59, 365, 36524, 54787, 2900000}) {
    const Date d = DateOfDayNumber(n);
    EXPECT_TRUE(IsValidDate(d)) << n;
    EXPECT_EQ(DayNumber(d), n);
  }
  EXPECT_FALSE(IsValidDate({1900, 2, 29}));
  EXPECT_TRUE(IsValidDate({2000, 2, 29}));
  EXPECT_FALSE(IsValidDate({2026, 4, 31}));
  EXPECT_FALSE(IsValidDate({2026, 13, 1}));
}

TEST(LunarDayNumber, ParsesOnlyWholeValidDates) {
  Date d;
  ASSERT_TRUE(ParseDate("2026-02-17", &d));
  EXPECT_EQ(d, (Date{2026, 2, 17}));
  EXPECT_EQ(FormatDate({1, 3, 4}), "0001-03-04");
  for (const char* bad : {"2026-2-17", "2026-02-30", "2026/02/17", "2026-02-17 ", "", "20260217",
                          "2026-00-10", "+026-02-17"})
    EXPECT_FALSE(ParseDate(bad, &d)) << bad;
}

TEST(LunarConversion, TheCalendarsTellingDays) {
  EXPECT_EQ(Lunar(2026, 2, 17), L(2026, 1, 1));
  EXPECT_EQ(Lunar(2026, 2, 16), L(2025, 12, 29));
  // The leap sixth month of 2025 carries the plain number 6.
  EXPECT_EQ(Lunar(2025, 6, 25), L(2025, 6, 1));
  EXPECT_EQ(Lunar(2025, 7, 25), L(2025, 6, 1, true));
  EXPECT_EQ(Lunar(2025, 7, 24), L(2025, 6, 30));
  EXPECT_EQ(Lunar(2025, 8, 23), L(2025, 7, 1));
  EXPECT_EQ(Lunar(2026, 12, 6), L(2026, 10, 28));
}

TEST(LunarConversion, BeforeTheFirstLunarNewYearOfTheTables) {
  EXPECT_EQ(Lunar(1901, 1, 1), L(1900, 11, 11));
  EXPECT_EQ(Lunar(1901, 1, 19), L(1900, 11, 29));
  EXPECT_EQ(Lunar(1901, 1, 20), L(1900, 12, 1));
  EXPECT_EQ(Lunar(1901, 2, 18), L(1900, 12, 30));
  EXPECT_EQ(Lunar(1901, 2, 19), L(1901, 1, 1));
}

// Seven month-size words of the long-published table made six lunar months begin a day early or
// late; these are the days that show it.
TEST(LunarConversion, MendedMonthSizes) {
  EXPECT_EQ(Lunar(2025, 4, 27), L(2025, 3, 30));
  EXPECT_EQ(Lunar(2025, 4, 28), L(2025, 4, 1));
  EXPECT_EQ(Lunar(2013, 6, 8), L(2013, 5, 1));
  EXPECT_EQ(Lunar(2013, 6, 7), L(2013, 4, 29));
  EXPECT_EQ(Lunar(1989, 8, 1), L(1989, 6, 30));
  EXPECT_EQ(Lunar(1989, 8, 2), L(1989, 7, 1));
  EXPECT_EQ(Lunar(1916, 2, 3), L(1916, 1, 1));
  EXPECT_EQ(Lunar(1916, 2, 2), L(1915, 12, 29));
}

TEST(LunarConversion, MonthAndYearLengths) {
  // 2025: leap month after the sixth; the leap month has 29 days, the sixth 30.
  EXPECT_EQ(LeapMonthOf(2025), 6);
  EXPECT_EQ(LunarMonthLengthOf(2025, 6).normal, 30);
  EXPECT_EQ(LunarMonthLengthOf(2025, 6).leap, 29);
  EXPECT_EQ(LunarMonthLengthOf(2025, 7).leap, 0);
  EXPECT_EQ(LunarYearLength(2025), DayNumber({2026, 2, 17}) - DayNumber({2025, 1, 29}));
  // 2033 has its leap month after the eleventh; 1901 none; 2050 after the third.
  EXPECT_EQ(LeapMonthOf(2033), 11);
  EXPECT_EQ(LeapMonthOf(1901), 0);
  EXPECT_EQ(LeapMonthOf(2050), 3);
  // Outside the tables: 30 days, no leap month, no table read.
  EXPECT_EQ(LunarMonthLengthOf(1900, 5).normal, 30);
  EXPECT_EQ(LunarMonthLengthOf(1900, 5).leap, 0);
  EXPECT_EQ(LunarMonthLengthOf(2051, 1).normal, 30);
  EXPECT_EQ(LeapMonthOf(2051), 0);
  EXPECT_EQ(LeapMonthOf(-5), 0);
  EXPECT_EQ(LunarYearLength(1900), 360);
}

// Walking every covered day, the lunar date moves on by one day, or to the first of the next
// month (the leap month after its namesake) when the month is full; every year starts with its
// first month, and the new years lie where the Chinese new year can fall.
TEST(LunarConversion, EveryDayFollowsTheMonthLengths) {
  LunarDate prev;
  ASSERT_TRUE(ToLunar(0, &prev));
  int newYears = 0;
  for (int n = 1; n <= LastLunarDayNumber(); ++n) {
    LunarDate cur;
    ASSERT_TRUE(ToLunar(n, &cur)) << n;
    const LunarMonthLength len = prev.year >= 1901 ? LunarMonthLengthOf(prev.year, prev.month)
                                                   : LunarMonthLength{prev.month == 11 ? 29 : 30, 0};
    const int monthDays = prev.leapMonth ? len.leap : len.normal;
    if (prev.day < monthDays) {
      ASSERT_EQ(cur, L(prev.year, prev.month, prev.day + 1, prev.leapMonth)) << n;
    } else if (!prev.leapMonth && len.leap != 0) {
      ASSERT_EQ(cur, L(prev.year, prev.month, 1, true)) << n;
    } else if (prev.month < 12) {
      ASSERT_EQ(cur, L(prev.year, prev.month + 1, 1)) << n;
    } else {
      ASSERT_EQ(cur, L(prev.year + 1, 1, 1)) << n;
      const Date d = DateOfDayNumber(n);
      EXPECT_TRUE((d.month == 1 && d.day >= 21) || (d.month == 2 && d.day <= 20))
          << "new year " << cur.year << " on " << FormatDate(d);
      ++newYears;
    }
    prev = cur;
  }
  EXPECT_EQ(newYears, 150);
  EXPECT_EQ(prev, L(2050, 12, 29));
  EXPECT_EQ(FormatDate(DateOfDayNumber(LastLunarDayNumber())), "2051-02-10");
}

// The two tables agree with the solar terms: the winter solstice always falls in the eleventh
// month, and a leap month never holds one of the twelve principal terms (the even ones).
TEST(LunarConversion, LeapMonthsAndTheSolsticeAgreeWithTheSolarTerms) {
  for (int n = 0; n <= LastLunarDayNumber(); ++n) {
    const LunarDay day = DescribeDay(DateOfDayNumber(n));
    if (day.solarTerm == 24) {
      EXPECT_EQ(day.lunar.month, 11) << FormatDate(day.date);
      EXPECT_FALSE(day.lunar.leapMonth) << FormatDate(day.date);
    }
    if (day.solarTerm % 2 == 0 && day.solarTerm != 0) {
      EXPECT_FALSE(day.lunar.leapMonth) << FormatDate(day.date) << " " << day.names.term;
    }
  }
}

TEST(LunarConversion, OutsideTheTablesNothingIsConvertedOrNamed) {
  LunarDate lunar;
  EXPECT_FALSE(ToLunar(-1, &lunar));
  EXPECT_FALSE(ToLunar(LastLunarDayNumber() + 1, &lunar));
  EXPECT_FALSE(ToLunar(-1000000, &lunar));
  EXPECT_FALSE(ToLunar(3000000, &lunar));
  for (const Date& d : {Date{1900, 12, 31}, Date{2051, 2, 11}, Date{1, 1, 1}, Date{9999, 12, 31}}) {
    const LunarDay day = DescribeDay(d);
    EXPECT_FALSE(day.covered) << FormatDate(d);
    EXPECT_EQ(day.names, DayNames{}) << FormatDate(d);
    EXPECT_EQ(day.solarTerm, 0);
  }
  EXPECT_EQ(SolarTermOf({1900, 1, 6}), 0);
  EXPECT_EQ(SolarTermOf({2051, 1, 5}), 0);
  // Lunar 2050 runs into January 2051, beyond the solar-term table: converted, no term.
  const LunarDay last = DescribeDay({2051, 1, 5});
  EXPECT_TRUE(last.covered);
  EXPECT_EQ(last.names.term, "");
}

TEST(LunarNames, YearMonthDayAndTerm) {
  EXPECT_EQ(YearName(2026), "丙午 马年");
  EXPECT_EQ(YearName(2025), "乙巳 蛇年");
  EXPECT_EQ(YearName(1900), "庚子 鼠年");
  EXPECT_EQ(YearName(1984), "甲子 鼠年");
  EXPECT_EQ(YearName(2023), "癸卯 兔年");  // the rabbit, not 免
  EXPECT_EQ(YearName(3), "癸亥 猪年");     // years below 4 stay in the cycle
  EXPECT_EQ(MonthName(1), "正月");
  EXPECT_EQ(MonthName(10), "十月");
  EXPECT_EQ(MonthName(11), "十一月");
  EXPECT_EQ(MonthName(12), "十二月");
  EXPECT_EQ(MonthName(0), "");
  EXPECT_EQ(MonthName(13), "");
  const std::map<int, std::string> days = {{1, "初一"},  {10, "初十"}, {11, "十一"}, {19, "十九"},
                                           {20, "二十"}, {21, "廿一"}, {29, "廿九"}, {30, "三十"},
                                           {0, ""},      {31, ""},     {-3, ""}};
  for (const auto& [d, name] : days) EXPECT_EQ(DayName(d), name) << d;
  EXPECT_EQ(SolarTermName(1), "小寒");
  EXPECT_EQ(SolarTermName(16), "处暑");
  EXPECT_EQ(SolarTermName(24), "冬至");
  EXPECT_EQ(SolarTermName(0), "");
  EXPECT_EQ(SolarTermName(25), "");
}

TEST(LunarNames, DescriptionJoinsTheFourNames) {
  // An empty term leaves the last separator standing.
  EXPECT_EQ(Description(DescribeDay({2026, 12, 6}).names), "丙午 马年 十月 廿八 ");
  EXPECT_EQ(Description(DescribeDay({2026, 2, 4}).names), "乙巳 蛇年 十二月 十七 立春");
  EXPECT_EQ(DescribeDay({2026, 1, 5}).names.term, "小寒");
  EXPECT_EQ(DescribeDay({2026, 1, 20}).names.term, "大寒");
  EXPECT_EQ(DescribeDay({2026, 2, 4}).names.term, "立春");
  EXPECT_EQ(DescribeDay({2026, 2, 5}).names.term, "");
}

std::vector<int> TableRow(int year) {
  std::vector<int> row;
  for (int m = 0; m < 12; ++m)
    row.push_back(kSolarTermTable[static_cast<std::size_t>((year - 1901) * 12 + m)]);
  return row;
}

TEST(LunarSolarTerms, TellingRows) {
  using R = std::vector<int>;
  EXPECT_EQ(TableRow(1901), (R{0x96, 0xB4, 0x96, 0xA6, 0x97, 0x97, 0x78, 0x79, 0x79, 0x69, 0x78, 0x77}));
  EXPECT_EQ(TableRow(2025), (R{0xA5, 0xC3, 0xA5, 0xB5, 0xA6, 0xA6, 0x87, 0x88, 0x88, 0x78, 0x87, 0x86}));
  EXPECT_EQ(TableRow(2026), (R{0xA5, 0xB3, 0xA5, 0xA5, 0xA6, 0xA6, 0x88, 0x88, 0x88, 0x78, 0x87, 0x87}));
  // 处暑 2050 falls on 23 August in Beijing time: 0x88 in August, not 0x87.
  EXPECT_EQ(TableRow(2050), (R{0xA5, 0xC3, 0xA5, 0xB5, 0xA6, 0xA6, 0x87, 0x88, 0x88, 0x78, 0x87, 0x87}));
  EXPECT_EQ(DescribeDay({2050, 8, 23}).names.term, "处暑");
  EXPECT_EQ(DescribeDay({2050, 8, 22}).names.term, "");
}

// Every date of the solar-term data file is encoded, and no other day of 1901-2050 has a term.
TEST(LunarSolarTerms, TableReproducesEveryDateOfTheDataFile) {
  const std::string path = ZORBEK_TESTDATA_DIR "/../data/solar-terms-1901-2050.tsv";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::map<int, std::pair<int, std::string>> terms;  // day number -> term number, name
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::string year, number, name, date;
    ASSERT_TRUE(std::getline(fields, year, '\t') && std::getline(fields, number, '\t') &&
                std::getline(fields, name, '\t') && std::getline(fields, date, '\t'))
        << line;
    Date d;
    ASSERT_TRUE(ParseDate(date, &d)) << line;
    ASSERT_EQ(d.year, std::stoi(year)) << line;
    terms[DayNumber(d)] = {std::stoi(number), name};
  }
  ASSERT_EQ(terms.size(), 3600u);
  int checked = 0;
  for (int n = DayNumber({1901, 1, 1}); n <= DayNumber({2050, 12, 31}); ++n) {
    const Date d = DateOfDayNumber(n);
    const auto it = terms.find(n);
    if (it == terms.end()) {
      ASSERT_EQ(SolarTermOf(d), 0) << FormatDate(d);
      continue;
    }
    ASSERT_EQ(SolarTermOf(d), it->second.first) << FormatDate(d);
    ASSERT_EQ(SolarTermName(SolarTermOf(d)), it->second.second) << FormatDate(d);
    ++checked;
  }
  EXPECT_EQ(checked, 3600);
}

TEST(LunarCli, ConvertsArgumentsAndStandardInput) {
  std::string out, err;
  ASSERT_EQ(testing::RunCli({"lunar", "2026-02-17", "2025-07-25", "2026-12-06", "2026-02-04"}, &out,
                            &err),
            0)
      << err;
  EXPECT_EQ(out,
            "2026-02-17\t2026-1-1\t丙午 马年 正月 初一 \n"
            "2025-07-25\t2025-6-1\t乙巳 蛇年 六月 初一 \n"
            "2026-12-06\t2026-10-28\t丙午 马年 十月 廿八 \n"
            "2026-02-04\t2025-12-17\t乙巳 蛇年 十二月 十七 立春\n");

  ASSERT_EQ(testing::RunCli({"lunar"}, &out, &err, "1901-01-01\r\n\n1901-02-19\n"), 0) << err;
  EXPECT_EQ(out,
            "1901-01-01\t1900-11-11\t庚子 鼠年 十一月 十一 \n"
            "1901-02-19\t1901-1-1\t辛丑 牛年 正月 初一 雨水\n");
}

TEST(LunarCli, RefusesWhatItCannotConvertAndGoesOn) {
  std::string out, err;
  EXPECT_EQ(testing::RunCli({"lunar"}, &out, &err, "2026-02-30\n1900-12-31\n2026-02-16\n2051-02-11\n"),
            1);
  EXPECT_EQ(out, "2026-02-16\t2025-12-29\t乙巳 蛇年 十二月 廿九 \n");
  EXPECT_NE(err.find("2026-02-30"), std::string::npos);
  EXPECT_NE(err.find("1900-12-31"), std::string::npos);
  EXPECT_NE(err.find("2051-02-11"), std::string::npos);
}

}  // namespace
}  // namespace zorbek::calendar
