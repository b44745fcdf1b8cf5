// A change is whole or not at all, across the note store and the database.
//
// A command that changes both first writes (and flushes) a small journal beside the database:
// the disk steps it is about to take and what the database shows once the change is saved.
// Then it takes the disk steps, changes the document, and saves it; after the save the journal
// goes. A process killed anywhere in between leaves the journal, and the next writer that opens
// the database settles it before anything else:
//
//  - the saved database already shows the change: the journal is stale and simply goes;
//  - otherwise a change that can be taken back (new, rename, copy, move) has its disk steps
//    undone in reverse order, so disk and database are as before the command;
//  - a delete, which cannot be taken back once files are gone, is finished instead: what is
//    left of it is deleted and its elements are removed (the user confirmed it).
//
// Undoing never deletes a user's text: a created file goes only while it is still empty or
// still the copy of its source; a renamed file or directory goes back only when its old name
// is free.
#pragma once

#include <string>
#include <vector>

#include "core/db/xml_document.h"

namespace zorbek {

struct DiskStep {
  enum class Kind {
    MadeDirectory,  // to
    CreatedFile,    // to (empty, or a copy of from when from is given)
    Renamed,        // from -> to (a file or a directory)
    Removed,        // from (a file or a directory with everything in it)
  };
  Kind kind;
  std::string from;
  std::string to;
};

// What the saved database shows once the change is whole.
struct ElementExpectation {
  std::string elementPath;
  bool present = true;
};

class ChangeJournal {
 public:
  // The journal of the database at databasePath (beside the file a link points to).
  explicit ChangeJournal(std::string databasePath);
  // Writes and flushes the journal. forward: the change is finished, not undone, when it is
  // interrupted (a delete). False when it cannot be written: the command must not go on.
  bool Begin(std::vector<DiskStep> steps, std::vector<ElementExpectation> done,
             bool forward = false, std::string* error = nullptr);
  // Adds a step to the open journal (flushed) before it is taken.
  bool Add(DiskStep step, std::string* error = nullptr);
  // Flushes the directories the steps changed, so the database never names what a power cut
  // could take back. Call before the database is saved.
  void SyncSteps() const;
  // The change is saved: the journal goes.
  void Commit();
  // The save failed: the disk steps are undone now (a delete's cannot be) and the journal goes.
  // Returns false when a step could not be undone (the journal stays for the next open).
  bool Undo();

  bool Open() const { return open_; }
  const std::vector<DiskStep>& Steps() const { return steps_; }

 private:
  bool Write(std::string* error);
  std::string path_;
  std::vector<DiskStep> steps_;
  std::vector<ElementExpectation> done_;
  bool forward_ = false;
  bool open_ = false;
};

std::string JournalPathOf(const std::string& databasePath);

// What settling a journal did.
struct JournalRecovery {
  bool found = false;      // there was a journal
  bool undone = false;     // its disk steps were undone
  bool finished = false;   // its delete was finished (the document changed and was saved)
  std::vector<std::string> keptFiles;  // files that were left where they are, for the user
};

// Settles the journal of doc's database, if there is one; doc is the loaded database.
// Holds the document's lock.
JournalRecovery RecoverInterruptedChange(CXmlDocument& doc);

// Undoes one step now (used by Undo and by the recovery).
bool UndoDiskStep(const DiskStep& step);

}  // namespace zorbek
