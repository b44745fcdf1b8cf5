#include "core/io/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/app/clock.h"

namespace zorbek {

namespace {

FileSignature SignatureOf(const struct stat& st) {
  FileSignature s;
  s.device = static_cast<std::uint64_t>(st.st_dev);
  s.inode = static_cast<std::uint64_t>(st.st_ino);
  s.size = static_cast<std::int64_t>(st.st_size);
  s.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  s.changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  return s;
}

}  // namespace

std::optional<FileSignature> FileSignatureOf(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return SignatureOf(st);
}

std::optional<std::size_t> ReadWholeFileInto(const std::string& path,
                                             const std::function<char*(std::size_t)>& room,
                                             FileSignature* signature, std::int64_t limit,
                                             bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  if (signature) *signature = SignatureOf(st);
  const auto refuse = [&] {
    ::close(fd);
    if (tooLarge) *tooLarge = true;
    return std::nullopt;
  };
  if (limit >= 0 && st.st_size > limit) return refuse();
  // One byte more than the size is asked for, so that a file that grew meanwhile is noticed.
  std::size_t capacity = static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 0) + 1;
  char* buffer = room(capacity);
  std::size_t used = 0;
  for (;;) {
    if (used == capacity) {
      std::size_t grown = capacity + std::max<std::size_t>(capacity, 65536);
      // Past the limit by one byte is enough to refuse.
      if (limit >= 0) grown = std::min(grown, static_cast<std::size_t>(limit) + 1);
      if (grown <= used) grown = used + 1;
      capacity = grown;
      buffer = room(capacity);
    }
    const ssize_t n = ::read(fd, buffer + used, capacity - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
    if (limit >= 0 && static_cast<std::int64_t>(used) > limit) return refuse();
  }
  ::close(fd);
  return used;
}

std::optional<std::string> ReadWholeFile(const std::string& path, FileSignature* signature,
                                         std::int64_t limit, bool* tooLarge) {
  // Read straight into the string: a large file is neither copied nor held twice.
  std::string data;
  const auto used = ReadWholeFileInto(
      path,
      [&](std::size_t n) {
        data.resize(n);
        return data.data();
      },
      signature, limit, tooLarge);
  if (!used) return std::nullopt;
  data.resize(*used);
  return data;
}

std::string ResolveSymbolicLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0) return current;
    target.resize(static_cast<std::size_t>(n));
    if (target[0] != '/') {
      const std::string dir = DirectoryOf(current);
      if (!dir.empty()) target = (dir == "/" ? dir : dir + "/") + target;
    }
    current = target;
  }
  return current;
}

bool SyncDirectory(const std::string& directory) {
  const int dfd = ::open(directory.empty() ? "." : directory.c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return false;
  const bool ok = ::fsync(dfd) == 0;
  ::close(dfd);
  return ok;
}

bool IsAtomicWriteLeftover(std::string_view name) {
  constexpr std::string_view kMark = ".tmp-";
  if (name.size() < 1 + 1 + kMark.size() + 6 || name[0] != '.') return false;
  const std::size_t mark = name.size() - 6 - kMark.size();
  if (name.substr(mark, kMark.size()) != kMark) return false;
  for (char c : name.substr(name.size() - 6))
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

int RemoveAtomicWriteLeftovers(const std::string& directory, bool recursive) {
  namespace fs = std::filesystem;
  std::error_code ec;
  int removed = 0;
  auto consider = [&](const fs::directory_entry& entry) {
    std::error_code e;
    if (!entry.is_regular_file(e) || entry.is_symlink(e)) return;
    if (!IsAtomicWriteLeftover(entry.path().filename().string())) return;
    if (fs::remove(entry.path(), e)) ++removed;
  };
  if (recursive) {
    fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) consider(*it);
  } else {
    fs::directory_iterator it(directory, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) consider(*it);
  }
  return removed;
}

bool WriteAll(int fd, std::string_view data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// How the new file was put in place.
enum class Placed { kReplaced, kRefused, kFailed };

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the exchange and no-replace renames are there (a file system without them says
// EINVAL; an old kernel ENOSYS).
bool NoSuchRename(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP; }

// Puts the written temporary file (tmp, whose status is ours) at path, replacing only the
// version the guard names. On kFailed errno says why.
Placed PlaceGuarded(const std::string& tmp, const std::string& path, const struct stat& ours,
                    const ReplaceGuard& guard) {
  // The old version is held open, so that what the exchange brings out can be told for certain
  // (a name can be given to another file at any moment; an open file stays the same file).
  const int oldFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (oldFd < 0) {
    const int openError = errno;
    if (openError != ENOENT) {
      // There, but not readable to us: only the signature can tell.
      const std::optional<FileSignature> now = FileSignatureOf(path);
      if (!now || now != guard.version) return Placed::kRefused;
      if (::rename(tmp.c_str(), path.c_str()) != 0) return Placed::kFailed;
      return Placed::kReplaced;
    }
    // Gone: written again, but never over a file that appears at this moment.
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
      return Placed::kReplaced;
    if (errno == EEXIST) return Placed::kRefused;
    if (!NoSuchRename(errno)) return Placed::kFailed;
    if (PathExists(path)) return Placed::kRefused;
    return ::rename(tmp.c_str(), path.c_str()) == 0 ? Placed::kReplaced : Placed::kFailed;
  }
  struct stat before {};
  if (::fstat(oldFd, &before) != 0 || !guard.version || SignatureOf(before) != *guard.version) {
    ::close(oldFd);
    return Placed::kRefused;
  }
  if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0) {
    const int saved = errno;
    if (!NoSuchRename(saved)) {
      ::close(oldFd);
      errno = saved;
      return Placed::kFailed;
    }
    // No exchange here: the version is checked once more right before a plain rename.
    const bool same = FileSignatureOf(path) == guard.version;
    ::close(oldFd);
    if (!same) return Placed::kRefused;
    return ::rename(tmp.c_str(), path.c_str()) == 0 ? Placed::kReplaced : Placed::kFailed;
  }
  // The old name now holds the new file, and tmp what was at path a moment ago. That is the
  // version read when it is the file held open and was not written since (the exchange itself
  // moves its status time).
  struct stat out {};
  struct stat after {};
  const bool outOk = ::lstat(tmp.c_str(), &out) == 0;
  const bool afterOk = ::fstat(oldFd, &after) == 0;
  ::close(oldFd);
  if (outOk && afterOk && SameFile(out, before) && after.st_size == before.st_size &&
      after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
      after.st_mtim.tv_nsec == before.st_mtim.tv_nsec) {
    ::unlink(tmp.c_str());
    return Placed::kReplaced;
  }
  // Another program put its version in place between the check and the exchange: it goes back.
  if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
    struct stat back {};
    if (::lstat(tmp.c_str(), &back) == 0 && SameFile(back, ours)) {
      ::unlink(tmp.c_str());  // ours
      return Placed::kRefused;
    }
    // A yet newer version had replaced ours meanwhile: that one goes back in place, and the one
    // it replaced is kept beside it, never deleted.
    ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
  }
  if (PathExists(tmp)) ::rename(tmp.c_str(), KeptAsideName(path, "outside").c_str());
  return Placed::kRefused;
}

bool WriteWhole(const std::string& given, std::string_view data, std::string* error,
                const ReplaceGuard* guard, FileSignature* written, NewFileAccess access) {
  auto fail = [&](const char*) {
    if (error) *error = SystemReason(errno);
    return false;
  };
  if (given.empty()) {
    errno = ENOENT;
    return fail("empty path");
  }
  // A link is written through, so that a database linked into a synced folder keeps
  // receiving the changes.
  const std::string path = ResolveSymbolicLinks(given);
  std::string dir = DirectoryOf(path);
  if (dir.empty()) dir = ".";
  // A guarded write that would be refused leaves no trace beside the file.
  if (guard && FileSignatureOf(path) != guard->version && PathExists(path)) {
    if (error) *error = guard->refusal;
    return false;
  }
  std::string tmpl = dir + "/." + FileNameOf(path) + ".tmp-XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return fail("cannot create a temporary file");
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  } else if (access == NewFileAccess::Shared) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  } else {
    ::fchmod(fd, kPrivateFileMode);
  }
  if (!WriteAll(fd, data)) {
    const int saved = errno;
    ::close(fd);
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot write");
  }
  if (::fsync(fd) != 0) {
    const int saved = errno;
    ::close(fd);
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot flush");
  }
  // Kept open past the rename, so that the signature is that of the file written, whatever
  // the path shows by then.
  const int kept = ::dup(fd);
  struct stat ours {};
  if (kept >= 0) ::fstat(kept, &ours);
  if (::close(fd) != 0) {
    const int saved = errno;
    if (kept >= 0) ::close(kept);
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot close");
  }
  Placed placed = Placed::kReplaced;
  if (guard) {
    placed = PlaceGuarded(tmpl, path, ours, *guard);
  } else if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    placed = Placed::kFailed;
  }
  if (placed != Placed::kReplaced) {
    const int saved = errno;
    if (kept >= 0) ::close(kept);
    ::unlink(tmpl.c_str());  // ours, when it is still there (PlaceGuarded leaves no other)
    if (placed == Placed::kRefused) {
      if (error) *error = guard->refusal;
      return false;
    }
    errno = saved;
    return fail("cannot replace the file");
  }
  // Make the rename itself durable.
  SyncDirectory(dir);
  if (written) {
    // Asked after the rename, which changes the status time.
    struct stat now {};
    *written = kept >= 0 && ::fstat(kept, &now) == 0 ? SignatureOf(now) : FileSignature{};
  }
  if (kept >= 0) ::close(kept);
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& given, std::string_view data, std::string* error,
                         NewFileAccess access) {
  return WriteWhole(given, data, error, nullptr, nullptr, access);
}

bool WriteFileAtomically(const std::string& given, std::string_view data, std::string* error,
                         const ReplaceGuard& guard, FileSignature* written) {
  return WriteWhole(given, data, error, &guard, written, NewFileAccess::Private);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  const bool hasA = ::stat(a.c_str(), &sa) == 0, hasB = ::stat(b.c_str(), &sb) == 0;
  if (hasA && hasB) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (hasA != hasB || a.empty() || b.empty()) return false;
  namespace fs = std::filesystem;
  std::error_code ea, eb;
  const fs::path ca = fs::weakly_canonical(a, ea), cb = fs::weakly_canonical(b, eb);
  if (ea || eb) return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
  return ca == cb;
}

std::string SystemReason(int error) {
  switch (error) {
    case ENOSPC: return "磁盘空间不足。";
    case EDQUOT: return "超出了磁盘配额。";
    case EROFS: return "文件系统是只读的。";
    case EACCES:
    case EPERM: return "没有写入权限。";
    case ENOENT: return "路径不存在。";
    case ENOTDIR: return "路径中有一项不是文件夹。";
    case EISDIR: return "目标是一个文件夹。";
    case ENAMETOOLONG: return "文件名太长。";
    case EIO: return "读写磁盘时出错。";
    default: return std::string("系统错误：") + std::strerror(error);
  }
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOf(std::string_view path) {
  const auto pos = path.find_last_of("/\\");
  if (pos == std::string_view::npos) return {};
  if (pos == 0) return "/";
  return std::string(path.substr(0, pos));
}

std::string FileNameOf(std::string_view path) {
  const auto pos = path.find_last_of("/\\");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string KeptAsideName(const std::string& path, std::string_view tag) {
  const SystemTime t = clock().LocalNow();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "-%04u%02u%02u-%02u%02u%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  std::string base = path;
  base += '.';
  base += tag;
  base += stamp;
  std::string name = base;
  for (int n = 1; PathExists(name); ++n) name = base + "-" + std::to_string(n);
  return name;
}

}  // namespace zorbek
