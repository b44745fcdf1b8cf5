// Puts the reminder windows in place at start-up: the main window counts and closes the list
// window at exit.
#pragma once

namespace zorbek {

// Call once, on the main thread, before the main window shows.
void InstallReminderList();

}  // namespace zorbek
