// Starting the program with the desktop: an XDG autostart entry named after the program file
// ("Zorbek.desktop" in ~/.config/autostart) whose Exec line runs the program's full path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorbek {

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
std::string DefaultAutostartDirectory();

class AutostartEntry {
 public:
  // The entry for programPath (full path of the running program) in directory dir.
  AutostartEntry(std::string dir, std::string programPath);

  // True when the entry starts this program (the path compared without regard to case). An
  // entry that starts some other path is stale: it is removed, and the answer is false. An
  // entry the desktop was told to skip (Hidden, or autostart disabled) counts as absent and is
  // left for the desktop's own settings.
  bool IsRegistered() const;
  // Writes or removes the entry; false when that cannot be done.
  bool SetRegistered(bool on) const;

  const std::string& path() const { return path_; }

 private:
  std::string dir_;
  std::string programPath_;
  std::string path_;
};

// The text of an entry that starts programPath.
std::string AutostartEntryText(std::string_view programPath);

struct AutostartExec {
  std::string program;  // the first word of Exec, unquoted
  bool enabled = true;  // false for Hidden=true or X-GNOME-Autostart-enabled=false
};
// What an entry's text starts, or nullopt when it has no Exec line in its [Desktop Entry] group.
std::optional<AutostartExec> ParseAutostartEntry(std::string_view text);

}  // namespace zorbek
