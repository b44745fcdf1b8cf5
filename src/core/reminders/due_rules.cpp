#include "core/reminders/due_rules.h"

#include <algorithm>
#include <climits>

#include "core/reminders/reminder_time.h"

namespace zorbek {
namespace {

using namespace reminder_mode;

std::int64_t MinuteOfDay(const SystemTime& t) { return t.hour * 60 + t.minute; }
std::int64_t SecondOfDay(const SystemTime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

bool SameDate(const SystemTime& a, const SystemTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

SystemTime WholeMinute(SystemTime t) {
  t.second = 0;
  t.milliseconds = 0;
  return t;
}

bool UsesPostponedOccurrence(std::int32_t mode) { return mode >= kDaily && mode <= kRange; }

// A repeating reminder is armed again on a new day, or on the same day while the present moment
// is still before its time of day, unless it was marked handled less than a minute ago.
void Rearm(ReminderRecord& r, const PassMoment& m, bool sameSecondCounts) {
  if (!SameDate(m.now, r.lastUpdate)) {
    r.valid = 1;
    return;
  }
  const std::int64_t now = SecondOfDay(m.now), at = SecondOfDay(r.start);
  if (sameSecondCounts ? now <= at : now < at) {
    const std::int64_t e = m.seconds - CalendarSeconds(r.lastUpdate);
    if (e >= 60 || e <= 0) r.valid = 1;
  }
}

// 0 to 239 minutes late fires an armed reminder, 240 or more drops it.
DueAction Window(ReminderRecord& r, std::int64_t late) {
  if (late < 0 || r.valid != 1) return DueAction::kNone;
  r.valid = 0;
  return late <= 239 ? DueAction::kFire : DueAction::kDrop;
}

DueAction Once(ReminderRecord& r, const PassMoment& m) {
  const std::int64_t due = CalendarSeconds(r.start) + std::int64_t{r.delayMinutes} * 60;
  const std::int64_t late = (m.seconds - due) / 60;  // truncated toward zero
  if (late < 0) {
    r.valid = 1;
    return DueAction::kNone;
  }
  return Window(r, late);
}

DueAction Repeating(ReminderRecord& r, const PassMoment& m) {
  const SystemTime& n = m.now;
  const SystemTime& s = r.start;
  const std::int64_t delay = r.delayMinutes;
  std::int64_t late = 0;
  switch (r.mode) {
    case kDaily:
      late = MinuteOfDay(n) - (MinuteOfDay(s) + delay);
      break;
    case kWeekly:
      late = (n.dayOfWeek * 1440 + MinuteOfDay(n)) - (s.dayOfWeek * 1440 + MinuteOfDay(s)) - delay;
      break;
    case kMonthly:
      late = (n.day * 1440 + MinuteOfDay(n)) - (s.day * 1440 + MinuteOfDay(s)) - delay;
      break;
    case kYearly: {
      // Every month counts as 31 days (744 hours), so a date never spills into the next month.
      auto at = [](const SystemTime& t) {
        return (std::int64_t{t.month} * 744 + t.day * 24 + t.hour) * 60 + t.minute;
      };
      late = at(n) - at(s) - delay;
      break;
    }
  }
  Rearm(r, m, r.mode == kDaily);
  return Window(r, late);
}

DueAction Range(ReminderRecord& r, const PassMoment& m) {
  const std::int64_t afterLast = (m.seconds - CalendarSeconds(r.stop)) / 60;
  const std::int64_t afterFirst = (m.seconds - CalendarSeconds(r.start)) / 60;
  if (afterLast > 240 || afterFirst < -240) {
    r.valid = 0;
    return DueAction::kDisarm;
  }
  Rearm(r, m, false);
  return Window(r, MinuteOfDay(m.now) - (MinuteOfDay(r.start) + r.delayMinutes));
}

DueAction EveryHalfOrFullHour(ReminderRecord& r, const PassMoment& m) {
  const int minute = r.mode == kHalfHourly ? m.now.minute % 30 : m.now.minute;
  if (minute >= 5) {
    r.valid = 1;
  } else if (minute <= 3 && r.valid == 1) {
    r.valid = 0;
    return DueAction::kFire;
  }
  return DueAction::kNone;
}

// A postponed occurrence is due at its own moment, whatever day, week, month or range it falls
// in; afterwards the reminder follows its mode again.
DueAction Postponed(ReminderRecord& r, const PassMoment& m) {
  const std::int64_t late = FloorDiv(m.seconds - *r.postponedUntil, 60);
  if (late < 0) return DueAction::kNone;
  const DueAction action = Window(r, late);
  r.postponedUntil.reset();
  r.delayMinutes = 0;
  return action;
}

}  // namespace

PassMoment PassMoment::Of(const SystemTime& now) { return PassMoment{now, CalendarSeconds(now)}; }

DueAction ApplyDueRule(ReminderRecord& r, const PassMoment& m) {
  if (r.postponedUntil && UsesPostponedOccurrence(r.mode)) return Postponed(r, m);
  switch (r.mode) {
    case kOnce: return Once(r, m);
    case kDaily:
    case kWeekly:
    case kMonthly:
    case kYearly: return Repeating(r, m);
    case kRange: return Range(r, m);
    case kHalfHourly:
    case kHourly: return EveryHalfOrFullHour(r, m);
    default: return DueAction::kNone;
  }
}

void ApplyPostponement(ReminderRecord& r, const PassMoment& m, std::int32_t minutes) {
  r.postponedUntil.reset();
  if (minutes == 0) {
    r.delayMinutes = 0;
    r.valid = 0;
    return;
  }
  std::int64_t delay = 0;
  if (r.mode == kOnce) {
    // Minutes from the reminder's moment to the present one, across dates as well.
    delay = FloorDiv(CalendarSeconds(WholeMinute(m.now)) - CalendarSeconds(WholeMinute(r.start)),
                     60) +
            minutes;
  } else {
    delay = (std::int64_t{m.now.hour} - r.start.hour) * 60 + m.now.minute - r.start.minute +
            minutes;
  }
  r.delayMinutes = static_cast<std::int32_t>(std::clamp<std::int64_t>(delay, INT_MIN, INT_MAX));
  r.valid = 1;
  if (UsesPostponedOccurrence(r.mode))
    r.postponedUntil = CalendarSeconds(WholeMinute(m.now)) + std::int64_t{minutes} * 60;
}

}  // namespace zorbek
