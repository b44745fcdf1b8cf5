// Chinese input needs an input method framework (ibus or fcitx) loaded into the toolkit. Where
// the desktop does not say which one (QT_IM_MODULE unset, as on most Wayland sessions, where
// the toolkit has no protocol of its own for input methods), the program looks for a running
// framework before its window system connection opens.
#pragma once

#include <string>
#include <vector>

namespace zorbek {

struct InputMethodSetting {
  std::string imModule;                  // QT_IM_MODULE as the program found it
  std::vector<std::string> running;      // names of the user's running programs (/proc/PID/comm)
  std::vector<std::string> pluginFiles;  // the toolkit's input method plugin files
};

// The module to load, or "" to leave the choice as it is: the user's own setting always wins,
// and a framework is chosen only when it runs and the toolkit has a plugin that speaks to it.
// fcitx 5 also answers on ibus's interface, so its own plugin is not required.
std::string ChooseInputMethodModule(const InputMethodSetting& s);

// The names of the programs this user runs.
std::vector<std::string> RunningProgramNames();
// The file names in dir (the toolkit's platforminputcontexts plugin directory).
std::vector<std::string> FileNamesIn(const std::string& dir);

}  // namespace zorbek
