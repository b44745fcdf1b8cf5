// When a reminder is due: the rule of each mode, applied to one record at one moment.
//
// Modes 0-5 have occurrences: moments in local wall-clock time (the once reminder's moment; every
// day, every week on its weekday, every month on its day, every year on its date, every day of a
// date range, at the time of day of its start). A pass looks at the latest occurrence at or
// before the present moment and at a postponement that has come due. Lateness is counted in
// calendar seconds, across dates: a reminder fires from its moment on, never before it, while it
// is less than 240 minutes late, and once for each occurrence; 240 minutes or more late it is
// dropped (handled without a pop-up). Modes 30 and 60 fire at minutes 0-3 of every hour (and
// 30-33 for mode 30) and are armed again from minute 5 on.
#pragma once

#include <cstdint>
#include <optional>

#include "core/app/clock.h"
#include "core/reminders/reminder_record.h"

namespace zorbek {

// How late a reminder may fire: from 240 minutes on it is dropped.
inline constexpr std::int64_t kDueWindowSeconds = 240 * 60;

// "now" of one check pass: the local wall-clock time and its calendar seconds.
struct PassMoment {
  SystemTime now;
  std::int64_t seconds = 0;
  // From a local wall-clock time (a reading the clock shows twice counts as its first moment).
  static PassMoment Of(const SystemTime& now);
  // From an instant, in milliseconds since 1970 (exact, also when the clocks go back).
  static PassMoment AtUnixMillis(std::int64_t millis);
  // The program's clock, read once.
  static PassMoment Now();
};

// What a rule decided. For every action but kNone the record is marked handled in memory
// (valid 0, lastUpdate the pass moment) and the caller writes that to the file.
enum class DueAction {
  kNone,
  kFire,  // at or after its moment and less than 240 minutes late (or an hourly/half-hourly
          // reminder at its minute): show it
  kDrop,  // 240 or more minutes late: no pop-up
};

// Applies the record's mode rule. Changes valid, lastUpdate and what the check keeps of the
// record (and clears a postponement that came due). Unknown modes are skipped.
DueAction ApplyDueRule(ReminderRecord& record, const PassMoment& moment);

// The latest occurrence of a reminder of modes 0-5 at or before a calendar second, and the first
// one after it (nullopt where there is none). Not used for modes 30 and 60.
struct OccurrencesAround {
  std::optional<std::int64_t> latest;
  std::optional<std::int64_t> next;
};
OccurrencesAround FindOccurrences(const ReminderRecord& record, std::int64_t seconds);

// What a postponement by minutes at moment does to a record: the moment it comes back
// (moment + minutes, to the second, whatever day that is), its delay in minutes from the
// reminder's time of day, and valid 1. minutes = 0 disarms and clears the postponement.
void ApplyPostponement(ReminderRecord& record, const PassMoment& moment, std::int32_t minutes);

}  // namespace zorbek
