#include "core/reminders/reminder_time.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>
#include <string>

namespace zorbek {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::uint64_t kTicksPerMilli = 10'000;
constexpr std::uint64_t kTicksPerDay = kSecondsPerDay * kFileTimeTicksPerSecond;

std::int64_t EpochDays1601() {
  static const std::int64_t days = DaysFromCivil(1601, 1, 1);
  return days;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

// The classic days-from-civil conversion (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

int DayOfWeekOf(int year, int month, int day) {
  // 1970-01-01 was a Thursday (4).
  return static_cast<int>((DaysFromCivil(year, month, day) % 7 + 11) % 7);
}

bool IsValidDate(int year, int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

SystemTime AddDays(const SystemTime& t, int days) {
  int y = 0, m = 0, d = 0;
  CivilFromDays(DaysFromCivil(t.year, t.month, t.day) + days, y, m, d);
  SystemTime out = t;
  out.year = static_cast<std::uint16_t>(y);
  out.month = static_cast<std::uint16_t>(m);
  out.day = static_cast<std::uint16_t>(d);
  return WithDayOfWeek(out);
}

SystemTime WithDayOfWeek(SystemTime t) {
  t.dayOfWeek = static_cast<std::uint16_t>(DayOfWeekOf(t.year, t.month, t.day));
  return t;
}

bool IsValidSystemTime(const SystemTime& t) {
  return t.year >= 1601 && t.year <= 30827 && IsValidDate(t.year, t.month, t.day) &&
         t.hour < 24 && t.minute < 60 && t.second < 60 && t.milliseconds < 1000;
}

std::optional<std::uint64_t> ToFileTime(const SystemTime& t) {
  if (!IsValidSystemTime(t)) return std::nullopt;
  const auto days = static_cast<std::uint64_t>(DaysFromCivil(t.year, t.month, t.day) -
                                               EpochDays1601());
  const std::uint64_t seconds = t.hour * 3600u + t.minute * 60u + t.second;
  return days * kTicksPerDay + seconds * kFileTimeTicksPerSecond + t.milliseconds * kTicksPerMilli;
}

std::optional<SystemTime> FromFileTime(std::uint64_t fileTime) {
  if (fileTime >= (std::uint64_t{1} << 63)) return std::nullopt;
  const std::uint64_t days = fileTime / kTicksPerDay;
  std::uint64_t rest = fileTime % kTicksPerDay;
  int y = 0, m = 0, d = 0;
  CivilFromDays(EpochDays1601() + static_cast<std::int64_t>(days), y, m, d);
  SystemTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint16_t>(m);
  t.day = static_cast<std::uint16_t>(d);
  const std::uint64_t millis = rest / kTicksPerMilli;
  t.hour = static_cast<std::uint16_t>(millis / 3'600'000);
  t.minute = static_cast<std::uint16_t>(millis / 60'000 % 60);
  t.second = static_cast<std::uint16_t>(millis / 1000 % 60);
  t.milliseconds = static_cast<std::uint16_t>(millis % 1000);
  return WithDayOfWeek(t);
}

SystemTime FileTimeEpoch() { return *FromFileTime(0); }

FileTimeHalves SplitFileTime(std::uint64_t fileTime) {
  FileTimeHalves h;
  h.low = static_cast<std::int32_t>(static_cast<std::uint32_t>(fileTime & 0xFFFFFFFFu));
  h.high = static_cast<std::int32_t>(static_cast<std::uint32_t>(fileTime >> 32));
  return h;
}

std::uint64_t JoinFileTime(std::int32_t low, std::int32_t high) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
         static_cast<std::uint32_t>(low);
}

FileTimeHalves StoredHalves(const SystemTime& t) { return SplitFileTime(ToFileTime(t).value_or(0)); }

SystemTime FromStoredHalves(std::int32_t low, std::int32_t high) {
  return FromFileTime(JoinFileTime(low, high)).value_or(FileTimeEpoch());
}

std::int32_t ParseDecimal32(std::string_view text) {
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<std::int64_t>(INT_MAX) + 1) break;  // saturated either way
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<std::int32_t>(value);
}

namespace {
// The local time zone's offset from UTC, in seconds, at an instant.
std::int64_t UtcOffsetAt(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!localtime_r(&t, &tm)) return 0;
  return tm.tm_gmtoff;
}
}  // namespace

std::int64_t CalendarSeconds(const SystemTime& t) {
  if (t.year < 1900) return 0;
  // The wall-clock reading as if it were UTC; the instant is that minus the offset in force.
  const std::int64_t wall = DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay +
                            t.hour * 3600 + t.minute * 60 + t.second;
  // At most one change of offset lies within a day of the moment: the offsets a day before and
  // a day after are the only ones it can have.
  const std::int64_t before = UtcOffsetAt(wall - kSecondsPerDay);
  const std::int64_t after = UtcOffsetAt(wall + kSecondsPerDay);
  const std::int64_t early = wall - before, late = wall - after;
  const bool earlyFits = UtcOffsetAt(early) == before;
  const bool lateFits = UtcOffsetAt(late) == after;
  // A reading the clock shows twice (the clocks go back) is its first moment; one it skips (the
  // clocks go forward) is read with the offset before the change, as if the clock had not jumped.
  if (earlyFits && lateFits) return std::min(early, late);
  if (lateFits) return late;
  return early;
}

std::string FormatDateTime(const SystemTime& t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

namespace {
// Exactly `digits` decimal digits at text[at...].
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  int v = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}
}  // namespace

std::optional<SystemTime> ParseDateText(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto y = Digits(text, 0, 4), m = Digits(text, 5, 2), d = Digits(text, 8, 2);
  if (!y || !m || !d || *y < 1601 || !IsValidDate(*y, *m, *d)) return std::nullopt;
  SystemTime t;
  t.year = static_cast<std::uint16_t>(*y);
  t.month = static_cast<std::uint16_t>(*m);
  t.day = static_cast<std::uint16_t>(*d);
  return WithDayOfWeek(t);
}

std::optional<SystemTime> ParseTimeText(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  const auto h = Digits(text, 0, 2), m = Digits(text, 3, 2), s = Digits(text, 6, 2);
  if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
  SystemTime t;
  t.hour = static_cast<std::uint16_t>(*h);
  t.minute = static_cast<std::uint16_t>(*m);
  t.second = static_cast<std::uint16_t>(*s);
  return t;
}

std::optional<SystemTime> ParseDateTimeText(std::string_view text) {
  if (text.size() != 19 || text[10] != ' ') return std::nullopt;
  auto date = ParseDateText(text.substr(0, 10));
  const auto time = ParseTimeText(text.substr(11));
  if (!date || !time) return std::nullopt;
  date->hour = time->hour;
  date->minute = time->minute;
  date->second = time->second;
  return date;
}

}  // namespace zorbek
