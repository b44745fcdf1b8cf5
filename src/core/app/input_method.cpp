#include "core/app/input_method.h"

#include <sys/stat.h>
#include <cctype>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace zorbek {
namespace {

bool Runs(const InputMethodSetting& s, std::string_view name) {
  return std::find(s.running.begin(), s.running.end(), name) != s.running.end();
}

bool HasPlugin(const InputMethodSetting& s, std::string_view key) {
  // libibusplatforminputcontextplugin.so, libfcitx5platforminputcontextplugin.so, ...
  const std::string prefix = "lib" + std::string(key) + "platforminputcontextplugin";
  return std::any_of(s.pluginFiles.begin(), s.pluginFiles.end(),
                     [&](const std::string& f) { return f.rfind(prefix, 0) == 0; });
}

}  // namespace

std::string ChooseInputMethodModule(const InputMethodSetting& s) {
  if (!s.imModule.empty()) return {};
  if (Runs(s, "fcitx5")) {
    if (HasPlugin(s, "fcitx5")) return "fcitx5";
    if (HasPlugin(s, "ibus")) return "ibus";
  }
  if (Runs(s, "fcitx") && HasPlugin(s, "fcitx")) return "fcitx";
  if (Runs(s, "ibus-daemon") && HasPlugin(s, "ibus")) return "ibus";
  return {};
}

std::vector<std::string> RunningProgramNames() {
  std::vector<std::string> out;
  std::error_code ec;
  const uid_t me = ::getuid();
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0 || st.st_uid != me) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (std::getline(comm, name) && !name.empty()) out.push_back(name);
  }
  return out;
}

std::vector<std::string> FileNamesIn(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    out.push_back(entry.path().filename().string());
  return out;
}

}  // namespace zorbek
