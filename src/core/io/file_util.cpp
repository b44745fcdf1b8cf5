#include "core/io/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/app/clock.h"

namespace zorbek {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
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

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  if (path.empty()) {
    errno = ENOENT;
    return fail("empty path");
  }
  std::string dir = DirectoryOf(path);
  if (dir.empty()) dir = ".";
  std::string tmpl = dir + "/." + FileNameOf(path) + ".tmp-XXXXXX";
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return fail("cannot create a temporary file");
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int saved = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      errno = saved;
      return fail("cannot write");
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    const int saved = errno;
    ::close(fd);
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot flush");
  }
  if (::close(fd) != 0) {
    const int saved = errno;
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot close");
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail("cannot replace the file");
  }
  // Make the rename itself durable.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
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
