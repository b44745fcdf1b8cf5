#include "core/db/store_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

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

bool NameFitsFileSystem(const std::string& directory, std::string_view fileName) {
  std::string dir = directory.empty() ? std::string(".") : directory;
  while (!IsDirectory(dir) && dir != "/" && dir != ".") {
    const std::string up = DirectoryOf(dir);
    dir = up.empty() ? std::string(dir[0] == '/' ? "/" : ".") : up;
  }
  long max = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  if (max <= 0) max = 255;
  return fileName.size() + kTemporaryNameExtra <= static_cast<std::size_t>(max);
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
    if (!prefix.empty()) ::mkdir(prefix.c_str(), kPrivateDirectoryMode);
    if (pos == std::string::npos) break;
  }
  return IsDirectory(parent);
}

void DeleteDirectoryTree(std::string_view directory) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path dir{std::string(directory)};
  if (fs::is_symlink(dir, ec)) {
    // A link is removed as it is; what it points to is not the store's.
    fs::remove(dir, ec);
    return;
  }
  if (!fs::is_directory(dir, ec)) {
    fs::remove(dir, ec);
    return;
  }
  // Read-only entries lose that attribute first, as a user deleting the folder expects. An
  // entry that cannot be deleted does not stop the others: as much goes as can go.
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  std::vector<fs::path> entries;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    entries.push_back(it->path());
  for (const fs::path& entry : entries) {
    std::error_code e;
    if (!fs::is_symlink(entry, e) && fs::is_directory(entry, e)) {
      DeleteDirectoryTree(entry.string());
    } else {
      fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, e);
      fs::remove(entry, e);
    }
  }
  fs::remove(dir, ec);
}

namespace {

// A name with few Latin letters has few spellings that differ only in their case ("新建笔记.esr"
// has eight, "新建ESR文档.esr" 64): each is looked up, and the directory, which may hold
// thousands of entries, is not read.
constexpr int kMostLettersLookedUp = 6;

}  // namespace

bool FileExistsIn(std::string_view directory, std::string_view name) {
  if (PathExists(JoinPath(directory, name))) return true;
  std::vector<std::size_t> letters;
  for (std::size_t i = 0; i < name.size(); ++i)
    if ((name[i] >= 'A' && name[i] <= 'Z') || (name[i] >= 'a' && name[i] <= 'z'))
      letters.push_back(i);
  if (letters.size() <= kMostLettersLookedUp) {
    // Any entry counts, a dangling link too, as it does in the directory's listing.
    std::string spelling(name);
    for (unsigned mask = 0; mask < (1u << letters.size()); ++mask) {
      for (std::size_t k = 0; k < letters.size(); ++k) {
        const char c = name[letters[k]];
        const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        spelling[letters[k]] =
            (mask >> k) & 1u ? static_cast<char>(lower - 'a' + 'A') : lower;
      }
      struct stat st {};
      if (::lstat(JoinPath(directory, spelling).c_str(), &st) == 0) return true;
    }
    return false;
  }
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

namespace {
bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of directory whose name equals name ignoring Latin case, or "".
std::string FindIgnoringCase(const std::string& directory, std::string_view name) {
  DIR* d = ::opendir(directory.empty() ? "." : directory.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (EqualsIgnoreLatinCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}
}  // namespace

std::string ExistingPathIgnoringCase(std::string_view path) {
  if (path.empty() || Exists(std::string(path))) return std::string(path);
  std::string out;
  std::size_t pos = 0;
  if (path[0] == '/' || path[0] == '\\') {
    out = "/";
    pos = 1;
  }
  bool resolving = true;
  while (pos <= path.size()) {
    auto next = path.find_first_of("/\\", pos);
    if (next == std::string_view::npos) next = path.size();
    const std::string_view comp = path.substr(pos, next - pos);
    if (!comp.empty()) {
      std::string candidate = out;
      if (!candidate.empty() && candidate.back() != '/') candidate += '/';
      const std::string parent = out;
      candidate += comp;
      if (resolving && !Exists(candidate) && comp != "." && comp != "..") {
        const std::string match = FindIgnoringCase(parent, comp);
        if (!match.empty()) {
          candidate = parent;
          if (!candidate.empty() && candidate.back() != '/') candidate += '/';
          candidate += match;
        } else {
          resolving = false;  // nothing below a missing directory can exist
        }
      }
      out = std::move(candidate);
    }
    pos = next + 1;
  }
  return out;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the exclusive rename: test, then rename.
  if (Exists(to)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool CreateEmptyFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
  if (fd < 0) return false;
  return ::close(fd) == 0;
}

bool CopyFileNoReplace(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  std::vector<char> buf(1 << 16);
  for (;;) {
    const ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buf.data() + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (ok && ::fsync(out) != 0) ok = false;
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

}  // namespace zorbek
