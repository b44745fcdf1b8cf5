#include "core/app/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/app/ini_file.h"
#include "core/io/file_util.h"

namespace zorbek {

std::string ReplaceLastExtension(std::string_view path, std::string_view ext) {
  return RemoveLastExtension(path) + std::string(ext);
}

std::string RemoveLastExtension(std::string_view path) {
  const auto sep = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep))
    return std::string(path);
  return std::string(path.substr(0, dot));
}

std::string CurrentExecutablePath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string SiblingProgramPath(std::string_view exe, std::string_view name) {
  std::string dir = DirectoryOf(exe);
  if (dir.empty()) dir = ".";
  if (dir.back() != '/') dir += '/';
  return dir + std::string(name);
}

std::string ProgramBase(std::string_view programPath) {
  const std::string dir = DirectoryOf(programPath);
  if (!dir.empty() && ::access(dir.c_str(), W_OK) == 0) return std::string(programPath);
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data = std::string(home) + "/.local/share";
  } else {
    data = "/tmp";
  }
  const std::string own = data + "/Zorbek";
  std::error_code ec;
  std::filesystem::create_directories(own, ec);
  return own + "/" + FileNameOf(programPath);
}

std::string SettingsFilePath(std::string_view base) { return ReplaceLastExtension(base, ".ini"); }
std::string DefaultDatabasePath(std::string_view base) { return ReplaceLastExtension(base, ".xml"); }
std::string FileStoreDirectory(std::string_view base) {
  return RemoveLastExtension(base) + "/FileStore";
}

std::string ComputeDatabasePath(std::string_view base) {
  // The path is taken whole: cutting a long path short would open some other database.
  std::string work = ReadProfileString(SettingsFilePath(base), kProjectSection, kWorkPathKey, "");
  if (!work.empty()) return work;
  return DefaultDatabasePath(base);
}

}  // namespace zorbek
