// Conflict copies a sync tool leaves when both machines changed the same file, and how they are
// taken in: a copy of the database is merged into the database in place, a copy of a note becomes
// a conflict note beside its note. Nothing of either side is lost, and no copy is deleted.
//
// The rules (docs/architecture.md, "Two machines"):
// - Folders and notes are matched by their element path. One present in the copy and not in the
//   database is added, in its folder (made when missing), after the sibling it follows in the
//   copy, when its file or directory is in the note store: the sync tool carries the files, so a
//   note deleted on one machine and edited on the other is on disk and comes back. One whose file
//   is gone (moved or deleted on the other machine, and the sync tool did the same here) holds no
//   text and is not added; likewise a note of the database in place that the copy lacks and whose
//   file is gone is taken off. Attributes of an element on both sides are the database's.
//   The sync tool brings a change's files one by one, in no set order: a merge that rests on a
//   file being absent waits until the copy and the database have been in place kSyncSettleMillis
//   and no download of the tool is under way beside the missing file (SyncSettleWait).
// - Reminders are matched by id. One present on one side only is kept. One changed on both
//   sides: when only its handled state differs (it fired on both machines) the later handling is
//   kept; otherwise both are kept, the copy's under a new id (a conflict reminder).
// - A note's conflict copy "<name>.sync-conflict-<date>-<time>-<device>.esr" is renamed to
//   "<name>_冲突_<date>_<hhmm>.esr" (a free name) and given an element directly after its note.
// - The database is saved only over the version read; afterwards each merged database copy is
//   kept under "<copy>.merged-YYYYMMDD-HHMMSS" (never deleted), so that it is not merged again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/db/xml_document.h"

namespace zorbek {

// A sync tool's conflict name, "<stem>.sync-conflict-YYYYMMDD-HHMMSS-<device>[.<ext>]".
struct ConflictName {
  std::string original;  // "<stem>[.<ext>]"
  std::string stem;      // "<stem>"
  std::string stamp;     // "YYYYMMDD_HHMM"
};
std::optional<ConflictName> ParseConflictName(std::string_view fileName);

// The database's conflict copies (beside it: its stem, ".sync-conflict-…", ".xml"), oldest name
// first.
std::vector<std::string> DatabaseConflictCopies(const std::string& databasePath);
// The notes' conflict copies in the note store, in path order. A walk of every folder of the
// store: for a large one, on a thread of its own (ConflictCopyScan). Stops early, with what it
// found so far, once *stop is set.
std::vector<std::string> NoteConflictCopies(const std::string& databasePath,
                                            const std::atomic<bool>* stop = nullptr);

// Looks for the notes' conflict copies on a thread of its own, so that the walk of a large note
// store never holds up the window. Request() asks for a walk (a request while one is under way
// makes one more after it); what each walk found is handed to found through post, which runs it
// on the thread that owns the notebook. Nothing is called on the scan's thread but the walk.
// Stopped and joined when destroyed; a walk under way ends early and posts nothing.
class ConflictCopyScan {
 public:
  using Task = std::function<void()>;
  using Found = std::function<void(std::vector<std::string> copies)>;
  ConflictCopyScan(std::string databasePath, std::function<void(Task)> post, Found found);
  ~ConflictCopyScan();
  ConflictCopyScan(const ConflictCopyScan&) = delete;
  ConflictCopyScan& operator=(const ConflictCopyScan&) = delete;

  void Request();
  const std::string& DatabasePath() const { return databasePath_; }

 private:
  void Run();

  const std::string databasePath_;
  const std::function<void(Task)> post_;
  const Found found_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct MergeReport {
  int folders = 0;            // folders added from the database copies
  int notes = 0;              // notes added from the database copies
  int reminders = 0;          // reminders added from the database copies
  int conflictReminders = 0;  // reminders changed on both sides, kept twice
  int dropped = 0;            // notes without a file, present on one side only, not kept
  std::vector<std::string> conflictNotes;  // names of the conflict notes made
  std::vector<std::string> keptCopies;     // where the merged database copies were kept
  std::vector<std::string> unreadable;     // database copies that could not be read (left)
  bool saved = true;
  std::string error;  // why nothing was merged, in the user's words
  // > 0: the database copies wait for the sync tool (see SyncSettleWait) and were left as
  // they are; look again after that many milliseconds.
  std::int64_t postponedMillis = 0;
  bool Merged() const { return !keptCopies.empty() || !conflictNotes.empty(); }
};

// Merges the root of a database copy into doc by the rules above, the note store storeDirectory
// judging which files exist. Only doc changes.
// Every file or directory whose absence decided something goes to absent, when given.
void MergeDatabaseCopy(CXmlDocument& doc, const CXmlDocument& copy,
                       const std::string& storeDirectory, MergeReport& report,
                       std::vector<std::string>* absent = nullptr);

// How long after the database and its copies arrived a merge that rests on absent files waits.
constexpr std::int64_t kSyncSettleMillis = 20000;
// How soon a merge held up by a download under way looks again.
constexpr std::int64_t kSyncRecheckMillis = 2000;
// A sync tool's temporary file untouched this long is no download under way.
constexpr std::int64_t kSyncDownloadStaleMillis = 120000;
// The milliseconds a merge of copies into databasePath must wait yet, by the injectable clock,
// when its decisions rest on the files in absent not being there (0: it may go on).
std::int64_t SyncSettleWait(const std::string& databasePath, const std::vector<std::string>& copies,
                            const std::vector<std::string>& absent);

// The whole: with the database's writer lock (the caller's process must be allowed it), reads
// the database, merges every database copy, makes every note copy a conflict note, saves over
// the version read (again from the start, at most three times, when another writer got in
// between), then keeps the database copies aside. Nothing is done, and nothing written, when
// there are no conflict copies.
MergeReport MergeConflictCopies(const std::string& databasePath);
// The same with the notes' conflict copies already found (by a ConflictCopyScan, or the one an
// editor just made): the store is not walked. A path that is not a note's conflict copy in this
// database's store, or is gone by now, is passed over.
MergeReport MergeConflictCopies(const std::string& databasePath,
                                const std::vector<std::string>& noteCopies);

// What the user is told of a merge, or of why it could not be done.
std::string MergeReportMessage(const MergeReport& report);

}  // namespace zorbek
