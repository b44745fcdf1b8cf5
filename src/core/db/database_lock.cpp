#include "core/db/database_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

// Byte 0 of the lock file is the writer's; byte 1 is held besides by the program, so that a
// command can tell the running program from another command.
constexpr off_t kWriterByte = 0;
constexpr off_t kProgramByte = 1;

bool TryLockByte(int fd, off_t byte) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool ByteIsLocked(int fd, off_t byte) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

struct ProcessState {
  std::mutex mutex;
  WriterRole role = WriterRole::None;
  std::function<void(const std::string&)> refused;
  // The locks this process holds, by lock file.
  std::map<std::string, std::shared_ptr<DatabaseLock>> held;
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

}  // namespace

std::string LockFilePathOf(const std::string& databasePath) {
  const std::string target = ResolveSymbolicLinks(databasePath);
  std::string dir = DirectoryOf(target);
  if (dir.empty()) dir = ".";
  if (dir != "/") dir += '/';
  return dir + "." + FileNameOf(target) + ".lock";
}

namespace {
constexpr char kWriterMark[] = "writing\n";
}  // namespace

DatabaseLock::DatabaseLock(int fd, std::string lockPath) : fd_(fd), lockPath_(std::move(lockPath)) {
  struct stat st {};
  previousDied_ = ::fstat(fd_, &st) == 0 && st.st_size > 0;
  // Flushed, so that a power cut cannot lose the mark while temporary files of this run survive.
  if (!previousDied_ && ::pwrite(fd_, kWriterMark, sizeof kWriterMark - 1, 0) > 0)
    ::fdatasync(fd_);
}

DatabaseLock::~DatabaseLock() {
  if (fd_ < 0) return;
  // Only a writer that ends through here ends cleanly: a killed one never comes by.
  if (!keepMark_ && ::ftruncate(fd_, 0) != 0) {
    // The mark stays: the next writer sweeps once more, which costs only time.
  }
  ::close(fd_);
}

std::shared_ptr<DatabaseLock> DatabaseLock::Acquire(const std::string& databasePath,
                                                    WriterRole role,
                                                    std::chrono::milliseconds wait,
                                                    LockResult* result) {
  auto set = [&](LockResult r) {
    if (result) *result = r;
  };
  const std::string lockPath = LockFilePathOf(databasePath);
  EnsureParentDirectories(lockPath);
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFileMode);
  if (fd < 0) {
    set(LockResult::NoLockFile);
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (TryLockByte(fd, kWriterByte)) {
      if (role == WriterRole::Program && !TryLockByte(fd, kProgramByte)) {
        // Only a program holds the second byte, and a program always holds the first one too.
        ::close(fd);
        set(LockResult::HeldByProgram);
        return nullptr;
      }
      set(LockResult::Acquired);
      return std::shared_ptr<DatabaseLock>(new DatabaseLock(fd, lockPath));
    }
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
      ::close(fd);
      set(LockResult::NoLockFile);
      return nullptr;
    }
    if (ByteIsLocked(fd, kProgramByte)) {
      ::close(fd);
      set(LockResult::HeldByProgram);
      return nullptr;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      set(LockResult::Busy);
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void SetWriterRole(WriterRole role) {
  std::lock_guard lock(State().mutex);
  State().role = role;
}

WriterRole CurrentWriterRole() {
  std::lock_guard lock(State().mutex);
  return State().role;
}

void SetWriterLockRefusedHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(State().mutex);
  State().refused = std::move(handler);
}

std::string LockedByProgramMessage(const std::string& databasePath) {
  return FormatMessage("Zorbek 正在使用这个数据库，请在程序中修改，或者先退出程序：%s",
                       databasePath);
}

std::string LockBusyMessage(const std::string& databasePath) {
  return FormatMessage("数据库正被另一个程序修改，请稍后再试：%s", databasePath);
}

std::string DatabasePathProblem(const std::string& databasePath) {
  const std::string target = ResolveSymbolicLinks(databasePath);
  const std::string name = FileNameOf(target);
  const std::string problem =
      FormatMessage("这个路径不是可以使用的数据库文件（须为可读的 .xml 文件，或者在自己的文件夹中新建），"
                    "程序不会写入：%s",
                    target);
  if (name.size() <= 4 || !EqualsIgnoreLatinCase(name.substr(name.size() - 4), ".xml"))
    return problem;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0)
    return S_ISREG(st.st_mode) && ::access(target.c_str(), R_OK) == 0 ? std::string() : problem;
  if (errno != ENOENT) return problem;
  // A new database: made only in a directory of the user's (or below one, made on the way).
  for (std::string dir = DirectoryOf(target);; dir = DirectoryOf(dir)) {
    if (dir.empty()) dir = ".";
    if (::stat(dir.c_str(), &st) == 0)
      return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() ? std::string() : problem;
    if (errno != ENOENT || dir == "/" || dir == ".") return problem;
  }
}

namespace {
std::shared_ptr<DatabaseLock> HeldLock(const std::string& databasePath) {
  std::lock_guard lock(State().mutex);
  const auto it = State().held.find(LockFilePathOf(databasePath));
  return it == State().held.end() ? nullptr : it->second;
}
}  // namespace

bool PreviousWriterDied(const std::string& databasePath) {
  const auto held = HeldLock(databasePath);
  return held && held->PreviousWriterDied();
}

void KeepWriterMark(const std::string& databasePath, bool keep) {
  if (const auto held = HeldLock(databasePath)) held->KeepMark(keep);
}

bool EnsureWriterLock(const std::string& databasePath, std::string* messageOut) {
  auto& state = State();
  std::function<void(const std::string&)> refused;
  WriterRole role;
  {
    std::lock_guard lock(state.mutex);
    role = state.role;
    if (role == WriterRole::None || databasePath.empty()) return true;
    if (state.held.count(LockFilePathOf(databasePath))) return true;
    refused = state.refused;
  }
  // Nothing is put beside a file before it is known to be a database.
  if (std::string problem = DatabasePathProblem(databasePath); !problem.empty()) {
    if (messageOut) *messageOut = problem;
    if (refused) refused(problem);
    return false;
  }
  const auto wait = role == WriterRole::Program ? std::chrono::seconds(10)
                                                : std::chrono::seconds(60);
  LockResult result = LockResult::Busy;
  auto held = DatabaseLock::Acquire(databasePath, role, wait, &result);
  if (held) {
    std::lock_guard lock(state.mutex);
    state.held[held->LockFilePath()] = held;
    return true;
  }
  // Without a lock file nothing can be written beside the database either; go on unlocked.
  if (result == LockResult::NoLockFile) return true;
  const std::string message = result == LockResult::HeldByProgram
                                  ? LockedByProgramMessage(databasePath)
                                  : LockBusyMessage(databasePath);
  if (messageOut) *messageOut = message;
  if (refused) refused(message);
  return false;
}

}  // namespace zorbek
