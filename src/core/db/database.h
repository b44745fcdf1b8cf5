// Opening the database file as the program does at start-up.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include <string>

#include "core/db/xml_document.h"

namespace zorbek {

inline constexpr const char* kHotkeyPath = "/list/hotkey";
inline constexpr const char* kArchivePath = "/list/filetree/archive";
inline constexpr const char* kSchedulePath = "/list/filetree/schedule";
inline constexpr const char* kToolsPath = "/list/tools";

struct OpenedDatabase {
  LoadStatus status = LoadStatus::Missing;
  // Where an unreadable file was kept; empty when nothing had to be kept aside.
  std::string keptAs;
  XmlNode archive;
  // False when elements had to be created and the file could not be written (the user was
  // told).
  bool saved = true;
  // The writer lock could not be had (another process writes this database): the document was
  // loaded for reading and is write-protected.
  bool lockRefused = false;
  std::string lockMessage;  // why, for the user
  // What settling an interrupted change could not put back, for the user; empty when nothing.
  std::string recoveryMessage;
  // A writer died and the program opened the database: the note store may hold its temporary
  // files, which SweepStoreLeftovers (on a thread of its own, LeftoverSweep) is to take.
  bool storeSweepNeeded = false;
};

// Takes the writer lock of the process's role (database_lock.h), makes the database's directory,
// loads the file and creates /list/hotkey and /list/filetree/archive when missing (saving the
// file then). Nothing but the database file (and its lock, and a journal when there is one) is
// read on the way: only when the lock's mark or a journal shows that a writer died are its
// temporary files looked for, beside the database then, and in the note store (by a changing
// command at once; the program, which must show its window first, leaves that to
// SweepStoreLeftovers on a thread of its own, see storeSweepNeeded).
//
// A file that exists but cannot be read as a database (it does not parse, or its root element is
// not "list") is never overwritten: it is renamed (or, failing that, copied) to
// "<path>.unreadable-YYYYMMDD-HHMMSS", the user is told where, and a fresh database is started.
// When it cannot be kept aside at all, the document is write-protected so that it is not lost.
// Every message but the lock message (lockMessage, for the caller to show) is shown here.
OpenedDatabase OpenDatabaseFile(CXmlDocument& doc, const std::string& path);

// Takes what a dead writer's atomic writes left in the note store of the database at path:
// temporary files ("." name ".tmp-" six characters) last changed before notAfter (so that the
// files of writes under way in this process are left alone). A temporary file that may hold
// the only copy of a note's text (not empty, and not the same as the file it was to replace)
// is not removed but kept beside that file as "<name>.未完成的保存-<six characters>". stop,
// when set, ends the walk early (returns false then). Counts what went in *removed.
bool SweepStoreLeftovers(const std::string& path, std::int64_t notAfter,
                         const std::atomic<bool>* stop = nullptr, int* removed = nullptr);

// The sweep of a program that found a dead writer's mark, on a thread of its own: the window
// shows first. The writer lock's mark stays until the sweep has gone through the whole store, so
// that a run ended in the middle of it leaves the sweep to the next start. Stopped and joined
// when destroyed.
class LeftoverSweep {
 public:
  explicit LeftoverSweep(std::string databasePath);
  ~LeftoverSweep();
  LeftoverSweep(const LeftoverSweep&) = delete;
  LeftoverSweep& operator=(const LeftoverSweep&) = delete;
  void Wait();  // until the sweep is over (tests)

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Loads for reading only: nothing is created or written. Returns the status; an unreadable
// file leaves the document empty.
LoadStatus LoadDatabaseReadOnly(CXmlDocument& doc, const std::string& path);

// The message shown when an unreadable database was kept aside.
std::string KeptAsideMessage(const std::string& keptAs);

}  // namespace zorbek
