#include "core/reminders/reminder_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace zorbek {
namespace {

using namespace reminder_mode;

std::string Format(const char* pattern, ...) {
  char buf[256];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(buf, sizeof buf, pattern, args);
  va_end(args);
  return buf;
}

// int arguments for the varargs formats
int I(std::uint16_t v) { return v; }

std::string FullMoment(const SystemTime& t) {
  return Format("%04d年%02d月%02d日 %02d时%02d分%02d秒", I(t.year), I(t.month), I(t.day),
                I(t.hour), I(t.minute), I(t.second));
}

// The time line of the list and the detail view for modes 0-4 (month and day not padded).
std::string ListTimeLine(std::int32_t mode, const SystemTime& s) {
  switch (mode) {
    case kOnce: return FullMoment(s);
    case kDaily: return Format("每天 %02d时%02d分%02d秒", I(s.hour), I(s.minute), I(s.second));
    case kWeekly:
      return Format("每周星期%s %02d时%02d分%02d秒", WeekdayName(s.dayOfWeek), I(s.hour),
                    I(s.minute), I(s.second));
    case kMonthly:
      return Format("每月%d日 %02d时%02d分%02d秒", I(s.day), I(s.hour), I(s.minute), I(s.second));
    case kYearly:
      return Format("每年%d月%d日 %02d时%02d分%02d秒", I(s.month), I(s.day), I(s.hour),
                    I(s.minute), I(s.second));
    default: return {};
  }
}

}  // namespace

const char* WeekdayName(int dayOfWeek) {
  static constexpr const char* kNames[] = {"日", "一", "二", "三", "四", "五", "六"};
  return dayOfWeek >= 0 && dayOfWeek <= 6 ? kNames[dayOfWeek] : "";
}

std::string ReminderModeText(std::int32_t mode) {
  switch (mode) {
    case kOnce: return "提醒一次";
    case kDaily: return "每天同一时间";
    case kWeekly: return "每周同一时间";
    case kMonthly: return "每月同一时间";
    case kYearly: return "每年同一时间";
    case kRange: return "时间段";
    case kHalfHourly: return "半时提醒";
    case kHourly: return "整时提醒";
    default: return {};
  }
}

std::string ReminderTimeColumn(std::int32_t mode, const SystemTime& s, const SystemTime& e) {
  switch (mode) {
    case kRange:
      return Format("%04d年%02d月%02d日至%04d年%02d月%02d日 %02d时%02d分%02d秒", I(s.year),
                    I(s.month), I(s.day), I(e.year), I(e.month), I(e.day), I(s.hour), I(s.minute),
                    I(s.second));
    case kHalfHourly:
    case kHourly: return ReminderModeText(mode);
    default: return ListTimeLine(mode, s);
  }
}

std::string ReminderValidityColumn(std::int32_t mode) { return mode == kOnce ? "临时" : "长期"; }

std::string ReminderDetailText(std::int32_t mode, const SystemTime& start,
                               const std::string& content) {
  if (mode == -1) return {};
  return "时间：" + ListTimeLine(mode, start) + "\r\n\r\n" + content;
}

std::string ReminderPopupText(std::int32_t mode, const SystemTime& s, const SystemTime& e,
                              const std::string& content, const SystemTime& now,
                              std::optional<std::int64_t> lateMinutes) {
  std::string line1;
  switch (mode) {
    case kOnce:
    case kDaily:
    case kWeekly: line1 = ListTimeLine(mode, s); break;
    case kMonthly:
      line1 = Format("每月%02d日 %02d时%02d分%02d秒", I(s.day), I(s.hour), I(s.minute),
                     I(s.second));
      break;
    case kYearly:
      line1 = Format("每年%02d月%02d日 %02d时%02d分%02d秒", I(s.month), I(s.day), I(s.hour),
                     I(s.minute), I(s.second));
      break;
    case kRange:
      line1 = Format("%04d年%02d月%02d日 至 %04d年%02d月%02d日 %02d时%02d分%02d秒", I(s.year),
                     I(s.month), I(s.day), I(e.year), I(e.month), I(e.day), I(s.hour),
                     I(s.minute), I(s.second));
      break;
    case kHalfHourly: line1 = "半时提醒：" + FullMoment(now); break;
    case kHourly: line1 = "整时提醒：" + FullMoment(now); break;
    default: break;
  }

  std::string line2;
  if (mode >= kOnce && mode <= kRange) {
    // Minutes from the reminder's time of day to now. A reminder due late in the evening and
    // shown after midnight is late, not early: the day it was due is counted back in. A once
    // reminder may fire in the minute before its moment; that is no lateness either.
    std::int64_t late = 0;
    if (lateMinutes) {
      late = std::max<std::int64_t>(*lateMinutes, 0);
    } else {
      late = (now.hour - s.hour) * 60 + now.minute - s.minute;
      if (late < -720) late += 1440;
      else if (late < 0) late = 0;
    }
    line2 = Format("延时：%02lld时%02lld分", static_cast<long long>(late / 60),
                   static_cast<long long>(late % 60));
  } else {
    line2 = Format("延时：%02d分", now.minute % 30);
  }
  return "时间：" + line1 + "\r\n\r\n" + line2 + "\r\n\r\n" + content;
}

}  // namespace zorbek
