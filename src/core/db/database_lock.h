// One writer per database.
//
// A process that changes a database holds an advisory lock on a small lock file beside it
// (".<name>.lock", beside the file a symbolic link points to), for as long as it may write.
// The kernel drops the lock when the process ends, however it ends, so a lock of a dead process
// never blocks. The program holds the lock for its whole run and marks it as the program's; a
// command-line change waits for another command-line change to finish, but refuses at once
// while the program runs, since the program would later write its own copy over the change.
//
// The lock file also tells whether the last writer ended cleanly: a writer that takes the lock
// writes a mark into it, and removes the mark when it lets the lock go at a clean end. A mark
// found when the lock is taken is the evidence of a writer that died (killed, crashed, a power
// cut), whose temporary files may still lie in the note store; only then is the store swept.
//
// Processes that only read take no lock.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace zorbek {

enum class WriterRole {
  None,         // no locking (tests that open databases in-process)
  Program,      // the program: holds the lock for the run
  CommandLine,  // a changing command of the command line
};

// What became of a request for the lock.
enum class LockResult {
  Acquired,      // held now (or already held by this process)
  HeldByProgram, // the program runs on this database
  Busy,          // another writer kept it longer than the wait allowed
  NoLockFile,    // the lock file cannot be created (a read-only directory): not locked
};

class DatabaseLock {
 public:
  ~DatabaseLock();
  DatabaseLock(const DatabaseLock&) = delete;
  DatabaseLock& operator=(const DatabaseLock&) = delete;

  // Takes the lock of the database at path, waiting at most wait for another writer.
  static std::shared_ptr<DatabaseLock> Acquire(const std::string& databasePath, WriterRole role,
                                               std::chrono::milliseconds wait,
                                               LockResult* result);

  const std::string& LockFilePath() const { return lockPath_; }
  // Whether the lock file held the mark of a writer that did not end cleanly.
  bool PreviousWriterDied() const { return previousDied_; }
  // While work of a dead writer is still to be cleaned up, the mark stays at the end too.
  void KeepMark(bool keep) { keepMark_ = keep; }

 private:
  DatabaseLock(int fd, std::string lockPath);
  int fd_;
  std::string lockPath_;
  bool previousDied_ = false;
  std::atomic<bool> keepMark_{false};
};

// The lock file of the database at path.
std::string LockFilePathOf(const std::string& databasePath);

// ---- the process's role -------------------------------------------------------------------
// Which lock a process takes when it opens a database for a change (OpenDatabaseFile asks).
void SetWriterRole(WriterRole role);
WriterRole CurrentWriterRole();

// What happens when a command-line change cannot have the lock: the command line prints the
// message and ends (nothing has been changed yet).
void SetWriterLockRefusedHandler(std::function<void(const std::string& message)> handler);

// Makes sure this process holds the writer lock of the database at path for its role (a no-op
// for WriterRole::None and when the lock is already held); the lock is kept until the process
// ends. Returns false when it could not be had, after calling the refusal handler (when one is
// set) with the message, which *message receives too.
bool EnsureWriterLock(const std::string& databasePath, std::string* message = nullptr);

// Whether the writer lock this process holds for the database at path was left marked by a
// writer that died (false when no lock is held).
bool PreviousWriterDied(const std::string& databasePath);
// Keeps the held lock's mark at the end of the process (keep), or lets it go with a clean end.
void KeepWriterMark(const std::string& databasePath, bool keep);

// Why no lock may be taken beside the file at path, in the user's words; empty when the path names
// a database: its target (a symbolic link followed) ends in ".xml" and is a readable file, or is
// absent and the nearest directory above it that exists belongs to the user. Without this a
// database path linked to some other file (say /etc/passwd, for a command run as root) would get
// a lock file beside that file. EnsureWriterLock refuses such a path with this message.
std::string DatabasePathProblem(const std::string& databasePath);

// The messages.
std::string LockedByProgramMessage(const std::string& databasePath);
std::string LockBusyMessage(const std::string& databasePath);

}  // namespace zorbek
