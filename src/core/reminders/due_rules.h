// When a reminder is due: the rule of each mode, applied to one record at one moment.
#pragma once

#include <cstdint>

#include "core/app/clock.h"
#include "core/reminders/reminder_record.h"

namespace zorbek {

// "now" of one check pass: the local wall-clock time and its calendar seconds.
struct PassMoment {
  SystemTime now;
  std::int64_t seconds = 0;
  static PassMoment Of(const SystemTime& now);
};

// What a rule decided. For every action but kNone the record's valid is already 0 and the
// caller marks it handled at the pass moment (lastUpdate and the file).
enum class DueAction {
  kNone,
  kFire,    // 0-239 minutes late (or an hourly/half-hourly reminder at its minute): show it
  kDrop,    // 240 or more minutes late: no pop-up
  kDisarm,  // a date range reminder outside its range
};

// Applies the record's mode rule: re-arming, lateness and the window. Changes the record's
// valid (and, when a postponed occurrence comes due, its postponement). Unknown modes are
// skipped.
DueAction ApplyDueRule(ReminderRecord& record, const PassMoment& moment);

// What a postponement by minutes at moment does to a record: its delay, its re-arming and,
// for modes 1-5, the moment the postponed occurrence is due. minutes = 0 disarms and clears.
void ApplyPostponement(ReminderRecord& record, const PassMoment& moment, std::int32_t minutes);

}  // namespace zorbek
