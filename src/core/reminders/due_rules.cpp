#include "core/reminders/due_rules.h"

#include <algorithm>
#include <climits>

#include "core/reminders/reminder_time.h"

namespace zorbek {
namespace {

using namespace reminder_mode;

constexpr std::int64_t kMinDay = -135'140;    // 1600-01-01 and 9999-12-31 as day numbers:
constexpr std::int64_t kMaxDay = 2'932'896;   // no reminder date lies beyond them

bool HasOccurrences(std::int32_t mode) { return mode >= kOnce && mode <= kRange; }

std::int64_t FloorMod(std::int64_t a, std::int64_t b) { return a - FloorDiv(a, b) * b; }

// 0 = Sunday; day 0 (1970-01-01) was a Thursday.
std::int64_t WeekdayOfDay(std::int64_t day) { return FloorMod(day + 4, 7); }

struct Civil {
  int year, month, day;
};
Civil CivilOf(std::int64_t day) {
  Civil c{};
  CivilFromDays(day, c.year, c.month, c.day);
  return c;
}

std::int64_t DayOf(const SystemTime& t) { return DaysFromCivil(t.year, t.month, t.day); }

// The calendar second of the reminder's time of day on a day.
std::int64_t MomentOn(std::int64_t day, const SystemTime& timeOfDay) {
  const Civil c = CivilOf(day);
  SystemTime t = timeOfDay;
  t.year = static_cast<std::uint16_t>(c.year);
  t.month = static_cast<std::uint16_t>(c.month);
  t.day = static_cast<std::uint16_t>(c.day);
  return CalendarSeconds(t);
}

// The latest day at or before `day` (direction -1), or the first at or after it (+1), on which
// a repeating reminder occurs.
std::optional<std::int64_t> OccurrenceDay(const ReminderRecord& r, std::int64_t day, int dir) {
  if (day < kMinDay || day > kMaxDay) return std::nullopt;
  const SystemTime& s = r.start;
  switch (r.mode) {
    case kDaily: return day;
    case kWeekly: {
      if (s.dayOfWeek > 6) return std::nullopt;
      const std::int64_t w = s.dayOfWeek, now = WeekdayOfDay(day);
      return dir < 0 ? day - FloorMod(now - w, 7) : day + FloorMod(w - now, 7);
    }
    case kMonthly: {
      // Months without the day are skipped (the 31st fires in months of 31 days only).
      if (s.day < 1 || s.day > 31) return std::nullopt;
      Civil c = CivilOf(day);
      const bool thisMonth = dir < 0 ? c.day >= s.day : c.day <= s.day;
      if (thisMonth && s.day <= DaysInMonth(c.year, c.month))
        return DaysFromCivil(c.year, c.month, s.day);
      for (int i = 0; i < 12; ++i) {
        c.month += dir;
        if (c.month < 1) c = {c.year - 1, 12, 1};
        if (c.month > 12) c = {c.year + 1, 1, 1};
        if (s.day <= DaysInMonth(c.year, c.month)) return DaysFromCivil(c.year, c.month, s.day);
      }
      return std::nullopt;
    }
    case kYearly: {
      // 29 February occurs in leap years only: up to eight years apart (1896, 1904).
      if (s.month < 1 || s.month > 12 || s.day < 1 || s.day > 31) return std::nullopt;
      const Civil c = CivilOf(day);
      const bool thisYear = dir < 0 ? (s.month < c.month || (s.month == c.month && s.day <= c.day))
                                    : (s.month > c.month || (s.month == c.month && s.day >= c.day));
      for (int y = thisYear ? c.year : c.year + dir, i = 0; i < 9; ++i, y += dir)
        if (IsValidDate(y, s.month, s.day)) return DaysFromCivil(y, s.month, s.day);
      return std::nullopt;
    }
    case kRange: {
      if (!IsValidDate(s.year, s.month, s.day) || !IsValidDate(r.stop.year, r.stop.month, r.stop.day))
        return std::nullopt;
      const std::int64_t first = DayOf(s), last = DayOf(r.stop);
      if (last < first) return std::nullopt;
      if (dir < 0) return day < first ? std::nullopt : std::optional(std::min(day, last));
      return day > last ? std::nullopt : std::optional(std::max(day, first));
    }
    default: return std::nullopt;
  }
}

// The occurrences around the present moment, from what the record keeps while they hold.
std::optional<std::int64_t> LatestOccurrence(ReminderRecord& r, std::int64_t now) {
  auto& span = r.occurrences;
  if (!span || span->mode != r.mode || !(span->start == r.start) || !(span->stop == r.stop) ||
      now < span->from || now >= span->until) {
    const OccurrencesAround around = FindOccurrences(r, now);
    span = ReminderRecord::OccurrenceSpan{r.mode,
                                          r.start,
                                          r.stop,
                                          around.latest.value_or(INT64_MIN),
                                          around.next.value_or(INT64_MAX),
                                          around.latest};
  }
  return span->latest;
}

// lastUpdate as a calendar second.
std::int64_t HandledSeconds(ReminderRecord& r) {
  if (!r.handledFor || !(*r.handledFor == r.lastUpdate)) {
    r.handledFor = r.lastUpdate;
    r.handledAt = CalendarSeconds(r.lastUpdate);
  }
  return r.handledAt;
}

void MarkHandledAt(ReminderRecord& r, const PassMoment& m) {
  r.valid = 0;
  r.lastUpdate = m.now;
  r.handledFor = m.now;
  r.handledAt = m.seconds;
}

DueAction WithOccurrences(ReminderRecord& r, const PassMoment& m) {
  const std::int64_t now = m.seconds;
  const std::optional<std::int64_t> latest = LatestOccurrence(r, now);
  const std::int64_t handled = HandledSeconds(r);
  std::optional<std::int64_t> due;
  if (r.postponedUntil) {
    // The postponed moment, and any occurrence after the one that was postponed.
    if (*r.postponedUntil <= now && handled < *r.postponedUntil) due = *r.postponedUntil;
    if (latest && handled < *latest && (!due || *latest > *due)) due = latest;
    if (!due && *r.postponedUntil <= handled) {
      r.postponedUntil.reset();  // came due while the record was handled otherwise
      r.delayMinutes = 0;
    }
  } else if (latest) {
    // Not handled since it came: lastUpdate before it; or armed by adding or changing the
    // reminder (valid 1; adding sets lastUpdate to the start, so a start in the future arms no
    // earlier occurrence); or handled after the present moment, when the clock was put back.
    const bool armed = handled < *latest || (r.valid == 1 && handled <= now) ||
                       (r.valid == 0 && handled > now);
    if (armed) due = latest;
  }
  if (!due) return DueAction::kNone;
  r.dueAt = latest.value_or(*due);
  if (r.postponedUntil && *r.postponedUntil <= now) {
    r.postponedUntil.reset();
    r.delayMinutes = 0;
  }
  MarkHandledAt(r, m);
  return now - *due < kDueWindowSeconds ? DueAction::kFire : DueAction::kDrop;
}

DueAction EveryHalfOrFullHour(ReminderRecord& r, const PassMoment& m) {
  const int minute = r.mode == kHalfHourly ? m.now.minute % 30 : m.now.minute;
  if (minute >= 5) {
    r.valid = 1;
  } else if (minute <= 3 && r.valid == 1) {
    r.dueAt = m.seconds;
    MarkHandledAt(r, m);
    return DueAction::kFire;
  }
  return DueAction::kNone;
}

}  // namespace

PassMoment PassMoment::Of(const SystemTime& now) { return PassMoment{now, CalendarSeconds(now)}; }

PassMoment PassMoment::AtUnixMillis(std::int64_t millis) {
  return PassMoment{LocalTimeOf(millis), FloorDiv(millis, 1000)};
}

PassMoment PassMoment::Now() { return AtUnixMillis(clock().NowUnixMillis()); }

OccurrencesAround FindOccurrences(const ReminderRecord& r, std::int64_t seconds) {
  OccurrencesAround out;
  if (r.mode == kOnce) {
    if (r.start.year < 1900) return out;  // no calendar second: never due
    const std::int64_t at = CalendarSeconds(r.start);
    (at <= seconds ? out.latest : out.next) = at;
    return out;
  }
  if (!HasOccurrences(r.mode)) return out;
  // The day the moment falls on, a day either side: a time of day skipped by the clocks going
  // forward lands an hour later, possibly on the next day.
  const std::int64_t today = DayOf(LocalTimeOf(seconds * 1000));
  std::optional<std::int64_t> day = OccurrenceDay(r, today + 1, -1);
  for (int i = 0; day && i < 6; ++i) {
    const std::int64_t at = MomentOn(*day, r.start);
    if (at <= seconds) {
      out.latest = at;
      break;
    }
    day = OccurrenceDay(r, *day - 1, -1);
  }
  day = OccurrenceDay(r, today - 1, +1);
  for (int i = 0; day && i < 6; ++i) {
    const std::int64_t at = MomentOn(*day, r.start);
    if (at > seconds) {
      out.next = at;
      break;
    }
    day = OccurrenceDay(r, *day + 1, +1);
  }
  return out;
}

DueAction ApplyDueRule(ReminderRecord& r, const PassMoment& m) {
  if (HasOccurrences(r.mode)) return WithOccurrences(r, m);
  if (r.mode == kHalfHourly || r.mode == kHourly) return EveryHalfOrFullHour(r, m);
  return DueAction::kNone;
}

void ApplyPostponement(ReminderRecord& r, const PassMoment& m, std::int32_t minutes) {
  r.postponedUntil.reset();
  if (minutes == 0) {
    r.delayMinutes = 0;
    r.valid = 0;
    return;
  }
  // The delay as the reminder list knows it: minutes from the reminder's moment (once) or time
  // of day (the others) to the moment it comes back.
  std::int64_t delay = 0;
  if (r.mode == kOnce) {
    auto wholeMinute = [](SystemTime t) {
      t.second = 0;
      t.milliseconds = 0;
      return CalendarSeconds(t);
    };
    delay = FloorDiv(wholeMinute(m.now) - wholeMinute(r.start), 60) + minutes;
  } else {
    delay = (std::int64_t{m.now.hour} - r.start.hour) * 60 + m.now.minute - r.start.minute +
            minutes;
  }
  r.delayMinutes = static_cast<std::int32_t>(std::clamp<std::int64_t>(delay, INT_MIN, INT_MAX));
  r.valid = 1;
  if (HasOccurrences(r.mode)) r.postponedUntil = m.seconds + std::int64_t{minutes} * 60;
}

}  // namespace zorbek
