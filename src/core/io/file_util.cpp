#include "core/io/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

std::optional<std::string> ReadWholeFile(const std::string& path, FileSignature* signature) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  if (signature) *signature = SignatureOf(st);
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
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
bool WriteFileAtomicallyAs(const std::string& given, std::string_view data, std::string* error,
                           const std::function<std::string(const std::string&)>& mayReplace,
                           FileSignature* written, NewFileAccess access);
}  // namespace

bool WriteFileAtomically(const std::string& given, std::string_view data, std::string* error,
                         NewFileAccess access) {
  return WriteFileAtomicallyAs(given, data, error, {}, nullptr, access);
}

bool WriteFileAtomically(const std::string& given, std::string_view data, std::string* error,
                         const std::function<std::string(const std::string&)>& mayReplace,
                         FileSignature* written) {
  return WriteFileAtomicallyAs(given, data, error, mayReplace, written, NewFileAccess::Private);
}

namespace {
bool WriteFileAtomicallyAs(const std::string& given, std::string_view data, std::string* error,
                           const std::function<std::string(const std::string&)>& mayReplace,
                           FileSignature* written, NewFileAccess access) {
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
  const int kept = written ? ::dup(fd) : -1;
  if (::close(fd) != 0) {
    const int saved = errno;
    if (kept >= 0) ::close(kept);
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot close");
  }
  // Asked as late as possible, so that a file another program puts in place while this one is
  // written is still seen.
  if (mayReplace) {
    std::string refusal = mayReplace(path);
    if (!refusal.empty()) {
      if (kept >= 0) ::close(kept);
      ::unlink(tmpl.c_str());
      if (error) *error = std::move(refusal);
      return false;
    }
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    if (kept >= 0) ::close(kept);
    ::unlink(tmpl.c_str());
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
