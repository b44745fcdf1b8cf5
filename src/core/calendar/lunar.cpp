#include "core/calendar/lunar.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/calendar/lunar_tables.h"

namespace zorbek::calendar {

namespace {

constexpr int FloorDiv(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
constexpr int FloorMod(int a, int b) { return a - FloorDiv(a, b) * b; }

// Days from 0000-03-01 of the proleptic Gregorian calendar, shifted so that the year starts in
// March and the leap day comes last.
constexpr int DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = FloorDiv(y, 400);
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

constexpr int kDay0 = DaysFromCivil(1901, 1, 1);

constexpr bool InTables(int year) { return year >= kFirstTableYear && year <= kLastTableYear; }

constexpr int LeapMonthAt(int year) {
  const int i = year - kFirstTableYear;
  const std::uint8_t b = kLeapMonthTable[static_cast<std::size_t>(i / 2)];
  return i % 2 == 0 ? b >> 4 : b & 0x0F;
}

constexpr LunarMonthLength MonthLengthAt(int year, int month) {
  LunarMonthLength len;
  if (!InTables(year) || month < 1 || month > 12) return len;
  const unsigned word = kMonthSizeTable[static_cast<std::size_t>(year - kFirstTableYear)];
  const int leap = LeapMonthAt(year);
  const int bit = (leap != 0 && month > leap) ? 15 - month : 16 - month;
  len.normal = (word >> bit) & 1u ? 30 : 29;
  if (leap == month) len.leap = (word >> (15 - leap)) & 1u ? 30 : 29;
  return len;
}

constexpr int YearLengthAt(int year) {
  int days = 0;
  for (int m = 1; m <= 12; ++m) {
    const LunarMonthLength len = MonthLengthAt(year, m);
    days += len.normal + len.leap;
  }
  return days;
}

// Lunar 1901-01-01 is Gregorian 1901-02-19, day 49.
constexpr int kFirstNewYear = 49;

// The day number of every lunar new year from 1901 to 2051 (the day after lunar 2050 ends).
constexpr std::array<int, kTableYears + 1> kNewYears = [] {
  std::array<int, kTableYears + 1> starts{};
  starts[0] = kFirstNewYear;
  for (int i = 0; i < kTableYears; ++i) starts[i + 1] = starts[i] + YearLengthAt(kFirstTableYear + i);
  return starts;
}();

constexpr const char* kStems[10] = {"甲", "乙", "丙", "丁", "戊", "己", "庚", "辛", "壬", "癸"};
constexpr const char* kBranches[12] = {"子", "丑", "寅", "卯", "辰", "巳",
                                       "午", "未", "申", "酉", "戌", "亥"};
// The rabbit is 兔 (the character 免, "exempt", has been seen in its place).
constexpr const char* kAnimals[12] = {"鼠", "牛", "虎", "兔", "龙", "蛇",
                                      "马", "羊", "猴", "鸡", "狗", "猪"};
constexpr const char* kNumerals[10] = {"一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
constexpr const char* kMonthNames[12] = {"正月", "二月", "三月", "四月",   "五月",   "六月",
                                         "七月", "八月", "九月", "十月", "十一月", "十二月"};
constexpr const char* kTermNames[24] = {
    "小寒", "大寒", "立春", "雨水", "惊蛰", "春分", "清明", "谷雨", "立夏", "小满", "芒种", "夏至",
    "小暑", "大暑", "立秋", "处暑", "白露", "秋分", "寒露", "霜降", "立冬", "小雪", "大雪", "冬至"};

}  // namespace

bool IsGregorianLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsGregorianLeapYear(year) ? 1 : 0);
}

bool IsValidDate(const Date& date) {
  return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
         date.day <= DaysInMonth(date.year, date.month);
}

bool ParseDate(std::string_view text, Date* out) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  auto number = [&](std::size_t from, std::size_t count, int* value) {
    *value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      *value = *value * 10 + (text[i] - '0');
    }
    return true;
  };
  Date date;
  if (!number(0, 4, &date.year) || !number(5, 2, &date.month) || !number(8, 2, &date.day) ||
      !IsValidDate(date))
    return false;
  *out = date;
  return true;
}

std::string FormatDate(const Date& date) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year, date.month, date.day);
  return buf;
}

int DayNumber(const Date& date) { return DaysFromCivil(date.year, date.month, date.day) - kDay0; }

Date DateOfDayNumber(int dayNumber) {
  const int z = dayNumber + kDay0;
  const int era = FloorDiv(z, 146097);
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  Date date;
  date.day = doy - (153 * mp + 2) / 5 + 1;
  date.month = mp < 10 ? mp + 3 : mp - 9;
  date.year = yoe + era * 400 + (date.month <= 2);
  return date;
}

// 1901-01-01 was a Tuesday.
int DayOfWeek(int dayNumber) { return FloorMod(dayNumber + 2, 7); }

LunarMonthLength LunarMonthLengthOf(int year, int month) { return MonthLengthAt(year, month); }

int LeapMonthOf(int year) { return InTables(year) ? LeapMonthAt(year) : 0; }

int LunarYearLength(int year) { return YearLengthAt(year); }

int FirstLunarDayNumber() { return 0; }
int LastLunarDayNumber() { return kNewYears.back() - 1; }

bool ToLunar(int dayNumber, LunarDate* out) {
  if (dayNumber < FirstLunarDayNumber() || dayNumber > LastLunarDayNumber()) return false;
  LunarDate lunar;
  if (dayNumber < kFirstNewYear) {
    // 1901-01-01 is lunar 1900-11-11; the twelfth month of 1900 starts on day 19.
    lunar.year = 1900;
    lunar.month = dayNumber > 18 ? 12 : 11;
    lunar.day = dayNumber > 18 ? dayNumber - 18 : dayNumber + 11;
    *out = lunar;
    return true;
  }
  const auto next = std::upper_bound(kNewYears.begin(), kNewYears.end(), dayNumber);
  const int index = static_cast<int>(next - kNewYears.begin()) - 1;
  lunar.year = kFirstTableYear + index;
  int left = dayNumber - kNewYears[static_cast<std::size_t>(index)];
  for (int m = 1; m <= 12; ++m) {
    const LunarMonthLength len = MonthLengthAt(lunar.year, m);
    lunar.month = m;
    if (left < len.normal) break;
    left -= len.normal;
    if (len.leap != 0) {
      if (left < len.leap) {
        lunar.leapMonth = true;
        break;
      }
      left -= len.leap;
    }
  }
  lunar.day = left + 1;
  *out = lunar;
  return true;
}

int SolarTermOf(const Date& date) {
  if (!InTables(date.year) || date.month < 1 || date.month > 12) return 0;
  const std::uint8_t b =
      kSolarTermTable[static_cast<std::size_t>((date.year - kFirstTableYear) * 12 + date.month - 1)];
  if (date.day < 15 && date.day == 15 - (b >> 4)) return 2 * date.month - 1;
  if (date.day >= 15 && date.day == 15 + (b & 0x0F)) return 2 * date.month;
  return 0;
}

std::string YearName(int lunarYear) {
  const int stem = FloorMod(lunarYear - 4, 10), branch = FloorMod(lunarYear - 4, 12);
  return std::string(kStems[stem]) + kBranches[branch] + " " + kAnimals[branch] + "年";
}

std::string MonthName(int lunarMonth) {
  return lunarMonth >= 1 && lunarMonth <= 12 ? kMonthNames[lunarMonth - 1] : "";
}

std::string DayName(int lunarDay) {
  if (lunarDay < 1 || lunarDay > 30) return "";
  if (lunarDay <= 10) return std::string("初") + kNumerals[lunarDay - 1];
  if (lunarDay < 20) return std::string("十") + kNumerals[lunarDay - 11];
  if (lunarDay == 20) return "二十";
  if (lunarDay < 30) return std::string("廿") + kNumerals[lunarDay - 21];
  return "三十";
}

std::string SolarTermName(int term) { return term >= 1 && term <= 24 ? kTermNames[term - 1] : ""; }

LunarDay DescribeDay(const Date& date) {
  LunarDay d;
  d.date = date;
  d.dayNumber = DayNumber(date);
  d.covered = ToLunar(d.dayNumber, &d.lunar);
  if (!d.covered) return d;
  d.solarTerm = SolarTermOf(date);
  d.names.year = YearName(d.lunar.year);
  d.names.month = MonthName(d.lunar.month);
  d.names.day = DayName(d.lunar.day);
  d.names.term = SolarTermName(d.solarTerm);
  return d;
}

std::string Description(const DayNames& names) {
  return names.year + " " + names.month + " " + names.day + " " + names.term;
}

}  // namespace zorbek::calendar
