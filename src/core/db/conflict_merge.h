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
// - Reminders are matched by id. One present on one side only is kept. One changed on both
//   sides: when only its handled state differs (it fired on both machines) the later handling is
//   kept; otherwise both are kept, the copy's under a new id (a conflict reminder).
// - A note's conflict copy "<name>.sync-conflict-<date>-<time>-<device>.esr" is renamed to
//   "<name>_冲突_<date>_<hhmm>.esr" (a free name) and given an element directly after its note.
// - The database is saved only over the version read; afterwards each merged database copy is
//   kept under "<copy>.merged-YYYYMMDD-HHMMSS" (never deleted), so that it is not merged again.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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
// The notes' conflict copies in the note store, in path order.
std::vector<std::string> NoteConflictCopies(const std::string& databasePath);

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
  bool Merged() const { return !keptCopies.empty() || !conflictNotes.empty(); }
};

// Merges the root of a database copy into doc by the rules above, the note store storeDirectory
// judging which files exist. Only doc changes.
void MergeDatabaseCopy(CXmlDocument& doc, const CXmlDocument& copy,
                       const std::string& storeDirectory, MergeReport& report);

// The whole: with the database's writer lock (the caller's process must be allowed it), reads
// the database, merges every database copy, makes every note copy a conflict note, saves over
// the version read (again from the start, at most three times, when another writer got in
// between), then keeps the database copies aside. Nothing is done, and nothing written, when
// there are no conflict copies.
MergeReport MergeConflictCopies(const std::string& databasePath);

// What the user is told of a merge, or of why it could not be done.
std::string MergeReportMessage(const MergeReport& report);

}  // namespace zorbek
