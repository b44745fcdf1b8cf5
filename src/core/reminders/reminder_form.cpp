#include "core/reminders/reminder_form.h"

#include <algorithm>

#include "core/reminders/reminder_time.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

using namespace reminder_mode;

constexpr std::size_t kMaxTextBytes = 300;
constexpr std::size_t kMaxLineFeeds = 9;

std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The date of one picker with the time of day of another.
SystemTime DateAt(const SystemTime& date, const SystemTime& time) {
  SystemTime t;
  t.year = date.year;
  t.month = date.month;
  t.day = date.day;
  t.hour = time.hour;
  t.minute = time.minute;
  t.second = time.second;
  t.milliseconds = time.milliseconds;
  return WithDayOfWeek(t);
}

ReminderFormResult Refused(const char* message) {
  ReminderFormResult r;
  r.message = message;
  return r;
}

}  // namespace

ReminderForm NewReminderForm() {
  const SystemTime now = clock().LocalNow();
  ReminderForm f;
  f.isNew = true;
  f.id = NewReminderId();
  f.modeIndex = kOnce;
  f.date = f.time = f.endDate = now;
  f.weekday = now.dayOfWeek;
  f.start = f.stop = now;
  return f;
}

ReminderForm ReminderFormFor(const ReminderRecord& r) {
  ReminderForm f;
  f.isNew = false;
  f.id = r.id;
  f.text = r.content;
  f.start = r.start;
  f.stop = r.stop;
  if (r.mode == kHalfHourly || r.mode == kHourly) {
    // The pickers are left at the present moment; nothing reads them for these modes.
    const SystemTime now = clock().LocalNow();
    f.modeListEnabled = false;
    f.hourly = r.mode == kHourly;
    f.halfHourly = r.mode == kHalfHourly;
    f.modeIndex = -1;
    f.date = f.time = f.endDate = now;
    f.weekday = now.dayOfWeek;
    return f;
  }
  f.modeIndex = (r.mode >= kOnce && r.mode <= kRange) ? r.mode : -1;
  f.date = f.time = r.start;
  f.endDate = r.stop;
  f.weekday = r.start.dayOfWeek;
  return f;
}

ReminderFormEnables FormEnables(const ReminderForm& f) {
  ReminderFormEnables e;
  if (!f.modeListEnabled) {
    e.modeList = e.startDate = e.weekday = e.endDate = e.time = false;
    return e;
  }
  e.modeList = true;
  e.time = true;
  switch (f.modeIndex) {
    case kOnce: e.startDate = true; e.weekday = false; e.endDate = false; break;
    case kDaily: e.startDate = false; e.weekday = false; e.endDate = false; break;
    case kWeekly: e.startDate = false; e.weekday = true; e.endDate = false; break;
    case kMonthly:
    case kYearly: e.startDate = true; e.weekday = false; e.endDate = false; break;
    case kRange: e.startDate = true; e.weekday = false; e.endDate = true; break;
    default: e.startDate = e.weekday = e.endDate = true; break;  // nothing selected
  }
  return e;
}

void ToggleHourlyBox(ReminderForm& f, bool hourly, bool checked) {
  (hourly ? f.hourly : f.halfHourly) = checked;
  if (checked) (hourly ? f.halfHourly : f.hourly) = false;
  f.modeListEnabled = !f.hourly && !f.halfHourly;
}

ReminderFormResult CheckReminderForm(const ReminderForm& f) {
  using namespace reminder_message;
  const std::string content(Trim(f.text));
  const std::size_t bytes = Cp936Length(content);
  if (bytes == 0 || bytes > kMaxTextBytes) return Refused(kFillInText);
  if (static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) > kMaxLineFeeds)
    return Refused(kTooManyLines);
  if (std::any_of(content.begin(), content.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && u != '\t' && u != '\n' && u != '\r');
      }))
    return Refused(kControlCharacter);

  int mode = -1;
  if (f.modeListEnabled) mode = f.modeIndex;
  else if (f.hourly) mode = kHourly;
  else if (f.halfHourly) mode = kHalfHourly;

  ReminderFormResult r;
  r.ok = true;
  r.id = f.id;
  r.mode = mode;
  r.content = content;
  r.start = f.start;
  r.stop = f.stop;
  switch (mode) {
    case kOnce:
    case kDaily:
    case kMonthly:
    case kYearly:
      r.start = r.stop = DateAt(f.date, f.time);
      return r;
    case kWeekly: {
      r.start = DateAt(f.date, f.time);
      const int from = r.start.dayOfWeek;
      const int to = (f.weekday >= 0 && f.weekday <= 6) ? f.weekday : from;
      r.start = AddDays(r.start, (to - from + 7) % 7);
      r.stop = r.start;
      return r;
    }
    case kRange: {
      // The dates are compared on the calendar, not in seconds: a day with a daylight-saving
      // change is 23 or 25 hours long and still one day. Two different dates are therefore
      // always at least a day apart, and kLessThanOneDay cannot arise.
      const std::int64_t days = DaysFromCivil(f.endDate.year, f.endDate.month, f.endDate.day) -
                                DaysFromCivil(f.date.year, f.date.month, f.date.day);
      if (days <= 0) return Refused(kStartNotBeforeEnd);
      r.start = DateAt(f.date, f.time);
      r.stop = DateAt(f.endDate, f.time);
      return r;
    }
    case kHalfHourly:
    case kHourly:
      r.id = kHourlyReminderId;
      return r;
    default:
      return Refused(kChooseMode);
  }
}

ReminderCommandOutcome AddReminderFromForm(ReminderStore& store, const ReminderFormResult& f) {
  using namespace reminder_message;
  ReminderCommandOutcome out;
  StoreResult result;
  if (store.Get(f.id)) {
    result = store.Modify(f.id, f.start, f.stop, f.mode, f.content);
    if (result == StoreResult::kFailed) {
      out.message = kHourlyModifyFailed;
      return out;
    }
  } else {
    result = store.Add(f.id, f.start, f.stop, f.mode, f.content);
    if (result == StoreResult::kFailed) {
      out.message = kAddFailed;
      return out;
    }
  }
  out.ok = true;
  out.saved = result == StoreResult::kDone;
  return out;
}

ReminderCommandOutcome ModifyReminderFromForm(ReminderStore& store, const std::string& rowId,
                                              const ReminderFormResult& f) {
  using namespace reminder_message;
  ReminderCommandOutcome out;
  StoreResult result = store.Modify(rowId, f.start, f.stop, f.mode, f.content);
  if (result == StoreResult::kFailed) {
    if (f.mode != kHalfHourly && f.mode != kHourly) {
      out.message = kModifyFailed;
      return out;
    }
    result = store.Add(rowId, f.start, f.stop, f.mode, f.content);
    if (result == StoreResult::kFailed) {
      out.message = kAddFailed;
      return out;
    }
  }
  out.ok = true;
  out.saved = result == StoreResult::kDone;
  return out;
}

}  // namespace zorbek
