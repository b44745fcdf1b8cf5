#include "core/app/autostart.h"

#include <cstdlib>
#include <filesystem>

#include "core/app/paths.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

// Characters that make a word of an Exec line need quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

std::string QuoteExecWord(std::string_view word) {
  std::string arg;
  for (char c : word) {
    arg += c;
    if (c == '%') arg += '%';  // a single % would start a field code
  }
  if (arg.find_first_of(kReserved) == std::string::npos && !arg.empty()) return arg;
  std::string quoted = "\"";
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// The escapes of a desktop entry's string values.
std::string EscapeValue(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UnescapeValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default:
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

// The first word of an Exec value (after the value escapes were undone).
std::string FirstExecWord(std::string_view exec) {
  std::size_t i = 0;
  while (i < exec.size() && (exec[i] == ' ' || exec[i] == '\t')) ++i;
  std::string word;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      word += exec[i];
    }
  } else {
    for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t'; ++i) word += exec[i];
  }
  std::string out;
  for (std::size_t k = 0; k < word.size(); ++k) {
    out += word[k];
    if (word[k] == '%' && k + 1 < word.size() && word[k + 1] == '%') ++k;
  }
  return out;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string DefaultAutostartDirectory() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    return std::string(xdg) + "/autostart";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::string(home) + "/.config/autostart";
  return {};
}

std::string AutostartEntryText(std::string_view programPath) {
  std::string text = "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Name=Zorbek\n";
  text += "Comment=" + EscapeValue("笔记与提醒") + "\n";
  text += "Exec=" + EscapeValue(QuoteExecWord(programPath)) + "\n";
  text += "Terminal=false\n";
  text += "X-GNOME-Autostart-enabled=true\n";
  return text;
}

std::optional<AutostartExec> ParseAutostartEntry(std::string_view text) {
  bool inEntry = false;
  std::optional<std::string> exec;
  bool enabled = true;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    const std::string_view line = TrimBlanks(text.substr(start, nl - start));
    start = nl + 1;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = TrimBlanks(line.substr(0, eq));
    const std::string value = UnescapeValue(TrimBlanks(line.substr(eq + 1)));
    if (key == "Exec") exec = value;
    else if (key == "Hidden" && value == "true") enabled = false;
    else if (key == "X-GNOME-Autostart-enabled" && value == "false") enabled = false;
  }
  if (!exec) return std::nullopt;
  return AutostartExec{FirstExecWord(*exec), enabled};
}

AutostartEntry::AutostartEntry(std::string dir, std::string programPath)
    : dir_(std::move(dir)), programPath_(std::move(programPath)) {
  if (!dir_.empty())
    path_ = dir_ + "/" + RemoveLastExtension(FileNameOf(programPath_)) + ".desktop";
}

bool AutostartEntry::IsRegistered() const {
  if (path_.empty()) return false;
  const auto text = ReadWholeFile(path_);
  if (!text) return false;
  const auto exec = ParseAutostartEntry(*text);
  if (exec && EqualsIgnoreLatinCase(exec->program, programPath_)) return exec->enabled;
  std::error_code ec;
  std::filesystem::remove(path_, ec);  // a stale entry: it starts some other program
  return false;
}

bool AutostartEntry::SetRegistered(bool on) const {
  if (path_.empty()) return false;
  std::error_code ec;
  if (!on) {
    std::filesystem::remove(path_, ec);
    return !ec;
  }
  std::filesystem::create_directories(dir_, ec);
  return WriteFileAtomically(path_, AutostartEntryText(programPath_));
}

}  // namespace zorbek
