// The reminder edit dialog without its widgets: what its controls hold, which of them are
// enabled, the checks of its OK button, and the list window's add and modify commands that
// store the result.
#pragma once

#include <cstdint>
#include <string>

#include "core/app/clock.h"
#include "core/reminders/reminder_record.h"
#include "core/reminders/reminder_store.h"

namespace zorbek {

// The messages of the checks and commands.
namespace reminder_message {
inline constexpr const char* kFillInText = "请填定提醒内容。";
inline constexpr const char* kTooManyLines = "内容行数最多不能超过10行。";
inline constexpr const char* kStartNotBeforeEnd = "开始日期应该小于结束工期，请重新设置。";
inline constexpr const char* kLessThanOneDay = "时间间隔差至少为一天，请重新设置。";
inline constexpr const char* kChooseMode = "请选择恰当模式。";
inline constexpr const char* kHourlyModifyFailed = "半时或定时提醒修改失败";
inline constexpr const char* kAddFailed = "添加新的备忘记录失败。";
inline constexpr const char* kModifyFailed = "修改失败";
// A control character (other than tab and line breaks) cannot be stored in the database.
inline constexpr const char* kControlCharacter = "提醒内容中含有无法保存的控制字符，请删除后再试。";
}  // namespace reminder_message

// The dialog's fields and controls.
struct ReminderForm {
  bool isNew = true;
  std::string id;              // a new id in add mode, the reminder's in modify mode
  std::string text;            // the reminder text as typed
  bool modeListEnabled = true;
  int modeIndex = 0;           // 0-5 in the mode list, -1 when nothing is selected
  bool hourly = false;         // "每小时"
  bool halfHourly = false;     // "每半小时"
  SystemTime date;             // start date picker (its date counts)
  SystemTime time;             // time picker (hour, minute, second, milliseconds count)
  int weekday = 0;             // weekday list, 0 = Sunday
  SystemTime endDate;          // end date picker (its date counts)
  SystemTime start, stop;      // the fields as they were before OK; hourly and half-hourly keep them
};

// Which controls are enabled.
struct ReminderFormEnables {
  bool modeList = true, startDate = true, weekday = false, endDate = false, time = true;
};

// Add mode: a new id, the present date and time, today's weekday, "只提醒一次".
ReminderForm NewReminderForm();
// Modify mode: the form filled from a reminder.
ReminderForm ReminderFormFor(const ReminderRecord& record);
// The enabled controls for the form's mode and check boxes.
ReminderFormEnables FormEnables(const ReminderForm& form);
// Checking "每小时" (hourly = true) or "每半小时" (hourly = false) or clearing one of them, as the
// dialog does: at most one stays checked.
void ToggleHourlyBox(ReminderForm& form, bool hourly, bool checked);

struct ReminderFormResult {
  bool ok = false;
  std::string message;  // the first failed check's message when not ok
  std::string id;
  SystemTime start, stop;
  std::int32_t mode = -1;
  std::string content;  // the trimmed text
};

// The checks of OK, in their order: the text (1 to 300 bytes in code page 936 once trimmed, at
// most 10 lines), the mode, then the fields the mode needs. A weekly reminder's date moves
// forward to the chosen weekday; hourly and half-hourly reminders get the fixed id.
ReminderFormResult CheckReminderForm(const ReminderForm& form);

struct ReminderCommandOutcome {
  bool ok = false;
  std::string message;  // why not, when not ok
  bool saved = true;    // false when the change could not be written to the file
};

// The list window's add command after OK: a second hourly or half-hourly reminder modifies the
// first, any other is added.
ReminderCommandOutcome AddReminderFromForm(ReminderStore& store, const ReminderFormResult& form);
// The list window's modify command after OK, under the id of the row that was modified.
ReminderCommandOutcome ModifyReminderFromForm(ReminderStore& store, const std::string& rowId,
                                              const ReminderFormResult& form);

}  // namespace zorbek
