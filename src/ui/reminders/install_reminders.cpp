#include "ui/reminders/install_reminders.h"

#include <cstdlib>
#include <string>

#include "ui/app/open_windows.h"
#include "ui/reminders/wnd_schedule.h"

namespace zorbek {

void InstallReminderList() {
  static OpenWindowsRegistration list(
      OpenWindows::kReminderList,
      OpenWindows::Kind{[] { return ReminderListWindow() ? 1 : 0; },
                        [] { CloseReminderListWindow(); }});
}

ReminderCheckTiming ProgramCheckTiming() {
  ReminderCheckTiming timing;
  if (const char* first = std::getenv("ZORBEK_TEST_FIRST_CHECK_MS")) {
    char* end = nullptr;
    const long ms = std::strtol(first, &end, 10);
    if (end != first && *end == '\0' && ms >= 0 && ms <= 10'000)
      timing.firstPass = std::chrono::milliseconds(ms);
  }
  return timing;
}

}  // namespace zorbek
