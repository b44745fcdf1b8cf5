// Date arithmetic for reminders: the 64-bit file time a reminder's times are stored as, the
// calendar seconds the due rules compare, and the small civil-date helpers both need.
//
// Reminder times are local wall-clock date-times (SystemTime). The file time is computed from
// the fields alone, without any time-zone conversion; the calendar seconds follow the local time
// zone (TZ) as mktime does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/app/clock.h"

namespace zorbek {

// ---- civil dates (proleptic Gregorian) ---------------------------------------------------------
// Days since 1970-01-01 (negative before it).
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);
int DaysInMonth(int year, int month);
// 0 = Sunday ... 6 = Saturday.
int DayOfWeekOf(int year, int month, int day);
bool IsValidDate(int year, int month, int day);

// The date moved by a number of days (carrying into month and year), with its day of week
// filled in; the time of day is kept.
SystemTime AddDays(const SystemTime& t, int days);
// The same date-time with its day of week recomputed from the date.
SystemTime WithDayOfWeek(SystemTime t);

// ---- file time ---------------------------------------------------------------------------------
// A file time counts 100-nanosecond intervals since 1601-01-01 00:00:00.
inline constexpr std::uint64_t kFileTimeTicksPerSecond = 10'000'000;

// Whether a date-time can be a file time: a real date in 1601..30827, hour < 24, minute < 60,
// second < 60, milliseconds < 1000. (The day of week is not checked.)
bool IsValidSystemTime(const SystemTime& t);

// The file time of a date-time, or nullopt when the date-time is not valid.
std::optional<std::uint64_t> ToFileTime(const SystemTime& t);
// The date-time of a file time, day of week filled in; nullopt for 2^63 and above.
std::optional<SystemTime> FromFileTime(std::uint64_t fileTime);

// 1601-01-01 00:00:00.000 (a Monday): what the file time 0 stands for.
SystemTime FileTimeEpoch();

// The two 32-bit halves as they are written ("%d": a half of 2^31 or more is negative).
struct FileTimeHalves {
  std::int32_t low = 0;
  std::int32_t high = 0;
};
FileTimeHalves SplitFileTime(std::uint64_t fileTime);
std::uint64_t JoinFileTime(std::int32_t low, std::int32_t high);

// The halves of a date-time's file time; an invalid date-time is written as the file time 0.
FileTimeHalves StoredHalves(const SystemTime& t);
// The date-time stored as two halves; a value that is no date-time reads as FileTimeEpoch().
SystemTime FromStoredHalves(std::int32_t low, std::int32_t high);

// A decimal number as C's atoi reads it: leading blanks, an optional sign, digits, anything
// after them ignored; no digits gives 0. Values beyond the 32-bit range saturate.
std::int32_t ParseDecimal32(std::string_view text);

// ---- calendar seconds --------------------------------------------------------------------------
// The calendar time of a local date-time in whole seconds (milliseconds ignored; a year below
// 1900 gives 0). Unlike mktime it gives one answer for a reading the clock shows twice, when the
// clocks go back: its first moment. A reading the clocks skip going forward is read with the
// offset before the change (02:30 on a night that jumps from 02:00 to 03:00 is 03:30).
std::int64_t CalendarSeconds(const SystemTime& t);

// "YYYY-MM-DD HH:MM:SS"
std::string FormatDateTime(const SystemTime& t);

// Strict readers of "YYYY-MM-DD" (years 1601-9999), "HH:MM:SS" and "YYYY-MM-DD HH:MM:SS";
// nullopt for anything else. A date gets its day of week; a time alone has the date fields 0.
std::optional<SystemTime> ParseDateText(std::string_view text);
std::optional<SystemTime> ParseTimeText(std::string_view text);
std::optional<SystemTime> ParseDateTimeText(std::string_view text);

}  // namespace zorbek
