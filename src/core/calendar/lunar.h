// Gregorian dates, the Chinese lunar calendar of 1901 to 2050 and the names of a day: year
// (stem, branch and animal), lunar month, lunar day and solar term.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zorbek::calendar {

// A Gregorian date.
struct Date {
  int year = 1901, month = 1, day = 1;
  friend bool operator==(const Date&, const Date&) = default;
};

bool IsGregorianLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDate(const Date& date);

// "YYYY-MM-DD" (four, two and two digits) <-> a valid date.
bool ParseDate(std::string_view text, Date* out);
std::string FormatDate(const Date& date);

// Days from 1901-01-01 (day 0); earlier dates are negative. The date must be valid.
int DayNumber(const Date& date);
Date DateOfDayNumber(int dayNumber);
// 0 = Sunday ... 6 = Saturday.
int DayOfWeek(int dayNumber);

// A lunar date. A day of a leap month carries the plain number of the month it follows.
struct LunarDate {
  int year = 0, month = 0, day = 0;
  bool leapMonth = false;
  friend bool operator==(const LunarDate&, const LunarDate&) = default;
};

// Days of lunar month `month` (1-12) of `year`: the normal month, and the leap month that
// follows it when `month` is the year's leap month (else 0). Years outside the tables give
// 30 and 0.
struct LunarMonthLength {
  int normal = 30, leap = 0;
};
LunarMonthLength LunarMonthLengthOf(int year, int month);
// The month after which `year` has its leap month, or 0 (also outside the tables).
int LeapMonthOf(int year);
// The days of lunar year `year`, leap month included.
int LunarYearLength(int year);

// The first and last Gregorian day numbers the tables convert: 1901-01-01 (lunar 1900-11-11)
// through the last day of lunar 2050.
int FirstLunarDayNumber();
int LastLunarDayNumber();

// Gregorian day number -> lunar date; false outside FirstLunarDayNumber()..LastLunarDayNumber().
bool ToLunar(int dayNumber, LunarDate* out);

// The solar term (1 = 小寒 ... 24 = 冬至) that falls on the date, or 0; 0 outside 1901-2050.
int SolarTermOf(const Date& date);

// Texts. Each gives "" for a value it has no name for.
std::string YearName(int lunarYear);      // "丙午 马年"
std::string MonthName(int lunarMonth);    // "正月" ... "十二月"
std::string DayName(int lunarDay);        // "初一" ... "三十"
std::string SolarTermName(int term);      // "小寒" ... "冬至"

// The four names of a day; all empty where the tables do not reach.
struct DayNames {
  std::string year, month, day, term;
  friend bool operator==(const DayNames&, const DayNames&) = default;
};

// Everything the calendar shows for one Gregorian day.
struct LunarDay {
  Date date;
  int dayNumber = 0;
  bool covered = false;  // the lunar tables reach the day; lunar and the names are empty if not
  LunarDate lunar;
  int solarTerm = 0;
  DayNames names;
};
LunarDay DescribeDay(const Date& date);

// The description text of a day: "year month day term", joined by single spaces (an empty term
// leaves the trailing space).
std::string Description(const DayNames& names);

}  // namespace zorbek::calendar
