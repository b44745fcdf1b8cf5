#include "core/app/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>


#include <cstdlib>
#include <filesystem>
#include <vector>

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

std::string UserDataDirectory() {
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    data = xdg;
  } else {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h == '/') {
      home = h;
    } else {
      // A session without HOME (a service, su without -l): the user database knows it.
      std::vector<char> buf(16384);
      passwd pw{};
      passwd* found = nullptr;
      if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
          found->pw_dir && *found->pw_dir == '/')
        home = found->pw_dir;
    }
    // Nowhere to go: the current directory, rather than a directory other users share.
    data = home.empty() ? std::string(".") : home + "/.local/share";
  }
  while (data.size() > 1 && data.back() == '/') data.pop_back();
  return data + "/Zorbek";
}

bool CreateUserDataDirectory() {
  const std::string own = UserDataDirectory();
  std::error_code ec;
  std::filesystem::create_directories(DirectoryOf(own), ec);
  // The notes are the user's own business: private to the user, as the XDG directories are.
  ::mkdir(own.c_str(), kPrivateDirectoryMode);
  // A directory made open to others (by an older version, or a tool that ignored the mode) is
  // closed again, when it is the user's own.
  struct stat st {};
  if (::lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
      (st.st_mode & 077) != 0)
    ::chmod(own.c_str(), st.st_mode & 0700);
  return IsDirectory(own);
}

std::string ProgramBase() { return UserDataDirectory() + "/Zorbek"; }

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
