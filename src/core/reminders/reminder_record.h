// One reminder as the program keeps it, its XML form and the ids of new reminders.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app/clock.h"
#include "core/db/xml_document.h"

namespace zorbek {

// The reminder modes.
namespace reminder_mode {
inline constexpr std::int32_t kOnce = 0;
inline constexpr std::int32_t kDaily = 1;
inline constexpr std::int32_t kWeekly = 2;
inline constexpr std::int32_t kMonthly = 3;
inline constexpr std::int32_t kYearly = 4;
inline constexpr std::int32_t kRange = 5;
inline constexpr std::int32_t kHalfHourly = 30;
inline constexpr std::int32_t kHourly = 60;
}  // namespace reminder_mode

// Whether the mode is one the check knows (0-5, 30, 60).
bool IsKnownReminderMode(std::int32_t mode);

struct ReminderRecord {
  std::string id;          // also the name of its element under the schedule element
  SystemTime start;        // the reminder time (which fields count depends on the mode)
  SystemTime stop;         // last day of a date range
  std::int32_t mode = 0;
  std::string content;     // the text, UTF-8
  std::int32_t valid = 0;  // 1 = armed for its next due time
  SystemTime lastUpdate;   // when it last fired or was marked handled
  // Postponement in minutes; memory only, 0 after loading, adding and modifying.
  std::int32_t delayMinutes = 0;
  // The calendar second a postponement fixed (modes 0-5); memory only. Set by a postponement
  // and cleared when it fires or is dropped, so that a reminder postponed past midnight (or past
  // the end of its week, month, year or date range) still comes back, and never before it.
  std::optional<std::int64_t> postponedUntil;

  // ---- what the check keeps between passes (memory only) ----
  // The calendar second of the occurrence the last firing or drop was for: the pop-up counts
  // the lateness from it.
  std::optional<std::int64_t> dueAt;
  // lastUpdate as a calendar second: exact for a firing of this run (a reading the clock shows
  // twice, when the clocks go back, is no guess then), else computed from lastUpdate. Valid while
  // lastUpdate is the date-time in handledFor.
  std::optional<SystemTime> handledFor;
  std::int64_t handledAt = 0;
  // The latest occurrence at or before a moment stays the same until the next occurrence: the
  // check computes both once per occurrence, for this mode, start and stop.
  struct OccurrenceSpan {
    std::int32_t mode = -1;
    SystemTime start, stop;
    std::int64_t from = 0, until = 0;   // valid for from <= now < until
    std::optional<std::int64_t> latest;
  };
  std::optional<OccurrenceSpan> occurrences;
};

// ---- XML form ----------------------------------------------------------------------------------
// The eight attributes of a reminder element, in the order they are written.
inline constexpr std::array<const char*, 8> kReminderAttributes = {
    "mode", "lowtime", "hightime", "stoplowtime", "stophightime", "lulowtime", "luhightime",
    "valid"};

// Reads one child node of the schedule element. Nothing is validated: any name, mode and valid
// value is taken as it stands; missing or malformed numbers read as 0.
ReminderRecord ReadReminder(XmlNode node);
// Every child node of the schedule element, in document order.
std::vector<ReminderRecord> ReadReminders(XmlNode schedule);

// Writes "mode", the four start/stop halves and "valid" (and with lastUpdate also "lulowtime"
// and "luhightime", in the table's order).
void WriteReminderTimes(XmlNode element, const SystemTime& start, const SystemTime& stop,
                        std::int32_t mode, const SystemTime* lastUpdate, std::int32_t valid);
void WriteReminderHandled(XmlNode element, const SystemTime& moment, std::int32_t valid);

// ---- ids ---------------------------------------------------------------------------------------
// The id every hourly and half-hourly reminder gets, so that there is at most one of them.
inline constexpr const char* kHourlyReminderId = "oneandhalfhouravxursoptyxmndxporxpwxgx15xf";

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0, data3 = 0;
  std::array<std::uint8_t, 8> data4{};
};

// "s" and 32 lower-case hex digits: data1, data2, data3, then the two halves of data4, each read
// as a little-endian 32-bit number.
std::string ReminderIdFromGuid(const Guid& guid);
// The id made without a GUID: the high half of the file time of the local time, the upper and
// lower 16 bits of its low half, the milliseconds since start-up and a pseudo-random number.
std::string ReminderIdFromParts(std::uint64_t fileTimeNow, std::uint32_t ticks,
                                std::uint32_t random);
// A random (version 4) GUID, or nullopt when no random source is available.
std::optional<Guid> NewGuid();
// A fresh id for a reminder of mode 0-5.
std::string NewReminderId();

}  // namespace zorbek
