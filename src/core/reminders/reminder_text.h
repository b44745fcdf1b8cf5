// The texts the reminder windows show: the detail view, the three columns of the reminder list
// and the pop-up. Lines are separated by "\r\n".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/app/clock.h"
#include "core/reminders/reminder_record.h"

namespace zorbek {

// "日", "一" ... "六" for day of week 0-6 ("" for anything else).
const char* WeekdayName(int dayOfWeek);

// The name of a mode in the list ("提醒一次" ... "整时提醒"); "" for an unknown mode.
std::string ReminderModeText(std::int32_t mode);

// Column "提醒时间": the reminder time as the mode reads it.
std::string ReminderTimeColumn(std::int32_t mode, const SystemTime& start, const SystemTime& stop);
// Column "提醒模式".
inline std::string ReminderModeColumn(std::int32_t mode) { return ReminderModeText(mode); }
// Column "有效期": "临时" for a one-time reminder, "长期" for every other mode.
std::string ReminderValidityColumn(std::int32_t mode);

// The detail view: "时间：", the time line (empty for date ranges, hourly and half-hourly
// reminders), an empty line, the content. Mode -1 (nothing loaded) shows nothing.
std::string ReminderDetailText(std::int32_t mode, const SystemTime& start, const std::string& content);

// The pop-up: "时间：", the time line, an empty line, the lateness line, an empty line, the
// content. now is the local time when the entry becomes the shown one. lateMinutes, when known,
// is how late the reminder is for modes 0-5: whole minutes from the occurrence it fired for to
// now (a postponed reminder counts from its occurrence, not from the postponement); without it
// the lateness is read from the time of day.
std::string ReminderPopupText(std::int32_t mode, const SystemTime& start, const SystemTime& stop,
                              const std::string& content, const SystemTime& now,
                              std::optional<std::int64_t> lateMinutes = std::nullopt);

}  // namespace zorbek
