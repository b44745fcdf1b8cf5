#include "ui/reminders/install_reminders.h"

#include "ui/app/open_windows.h"
#include "ui/reminders/wnd_schedule.h"

namespace zorbek {

void InstallReminderList() {
  static OpenWindowsRegistration list(
      OpenWindows::kReminderList,
      OpenWindows::Kind{[] { return ReminderListWindow() ? 1 : 0; },
                        [] { CloseReminderListWindow(); }});
}

}  // namespace zorbek
