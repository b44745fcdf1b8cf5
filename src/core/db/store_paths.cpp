#include "core/db/store_paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/app/paths.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {

std::string NoteStoreDirectory(std::string_view databasePath) {
  return RemoveLastExtension(databasePath) + "/archive";
}

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string out(directory);
  if (out.empty() || (out.back() != '/' && out.back() != '\\')) out += '/';
  out += name;
  return out;
}

bool EnsureParentDirectories(std::string_view path) {
  const auto cut = path.find_last_of("/\\");
  if (cut == std::string_view::npos) return true;  // relative name: the working directory
  std::string parent(path.substr(0, cut));
  if (parent.empty()) return true;  // the root directory
  if (IsDirectory(parent)) return true;
  for (auto& c : parent)
    if (c == '\\') c = '/';
  for (std::size_t pos = parent.find('/', 1); ; pos = parent.find('/', pos + 1)) {
    const std::string prefix = parent.substr(0, pos);
    if (!prefix.empty()) ::mkdir(prefix.c_str(), 0777);
    if (pos == std::string::npos) break;
  }
  return IsDirectory(parent);
}

void DeleteDirectoryTree(std::string_view directory) {
  std::error_code ec;
  const std::filesystem::path dir{std::string(directory)};
  // Read-only entries lose that attribute first, as a user deleting the folder expects.
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (!it->is_symlink(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(dir, ec);
}

bool FileExistsIn(std::string_view directory, std::string_view name) {
  if (PathExists(JoinPath(directory, name))) return true;
  DIR* d = ::opendir(std::string(directory).c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = ::readdir(d)) {
    if (EqualsIgnoreLatinCase(e->d_name, name)) {
      found = true;
      break;
    }
  }
  ::closedir(d);
  return found;
}

std::string UniqueFileName(std::string_view directory, std::string_view base,
                           std::string_view ext) {
  std::string candidate = std::string(base) + std::string(ext);
  for (unsigned n = 1; FileExistsIn(directory, candidate); ++n)
    candidate = std::string(base) + std::to_string(n) + std::string(ext);
  return candidate;
}

bool SamePath(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x == '\\') x = '/';
    if (y == '\\') y = '/';
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace zorbek
