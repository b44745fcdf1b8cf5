// Puts the note editor in place at start-up: the note tree, the search and the history panels
// open notes through it, and the main window counts and closes its windows at exit.
#pragma once

#include <string>

namespace zorbek {

// programBase names the program's files; "localfile:" links are found in its FileStore
// directory. Call once, on the main thread, before the main window shows.
void InstallNoteEditor(const std::string& programBase);

}  // namespace zorbek
