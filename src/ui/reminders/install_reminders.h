// Puts the reminder windows in place at start-up: the main window counts and closes the list
// window at exit.
#pragma once

#include "core/reminders/reminder_store.h"

namespace zorbek {

// Call once, on the main thread, before the main window shows.
void InstallReminderList();

// The check's timing in the program: the first pass 10 s after the database opened, then every
// 5 s. Only the end-to-end tests shorten the first wait (ZORBEK_TEST_FIRST_CHECK_MS).
ReminderCheckTiming ProgramCheckTiming();

}  // namespace zorbek
