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
// still the copy of its source (its content hash is journaled); a renamed file or directory goes
// back only when its old name is free. A note file that cannot go back is placed in the tree
// instead: in its own folder when that folder is in the database, else in the file box's
// folder "恢复的笔记", and the user is told where.
//
// The journal is appended to, one line per step, each line flushed to disk before its step is
// taken; a last line cut short by a power cut belongs to a step that was never taken.
#pragma once

#include <string>
#include <string_view>
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
  std::string hash = {};  // CreatedFile: ContentHash of what was written (empty: an empty file)
};

// A hash of a file's content (FNV-1a, 64 bits, in hexadecimal); empty when it cannot be read.
std::string ContentHash(const std::string& path);
std::string ContentHashOfData(std::string_view data);

// The folder of the file box that takes the notes a recovery could not put back.
inline constexpr const char* kRecoveredFolderName = "恢复的笔记";

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
  // Adds a step to the open journal before it is taken; with sync the line is on disk first.
  bool Add(DiskStep step, std::string* error = nullptr, bool sync = true);
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
  bool Append(const DiskStep& step, bool sync, std::string* error);
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
  std::vector<std::string> keptFiles;  // files that could not go back, where they are now
  std::vector<std::string> placedAs;   // the element paths the kept note files were given
};

// Settles the journal of doc's database, if there is one; doc is the loaded database.
// On the document's thread (the main thread).
JournalRecovery RecoverInterruptedChange(CXmlDocument& doc);

// Whether an element of doc's note tree names the note file at path (a file of the note store;
// names compared ignoring Latin case, as the store's are).
bool StoreFileHasElement(CXmlDocument& doc, const std::string& path);
// Gives a note file of the store that no element names an element, as the recovery does: in
// its own folder when that folder is in the database and the name is free there, else moved
// into the file box's folder "恢复的笔记". Returns where the file is now ("" when it could not be
// placed) and its element path in *elementPath. The caller saves.
std::string PlaceNoteFileInTree(CXmlDocument& doc, const std::string& path,
                                std::string* elementPath);

// Undoes one step now (used by Undo and by the recovery).
bool UndoDiskStep(const DiskStep& step);

// Deletes go in two steps: what is deleted is first moved into a directory of its own beside the
// note store (a rename, which a failed save can take back), and removed for good once the
// database is saved. The directory for one delete ("" when it cannot be made).
std::string MakeDeletedFilesDirectory(const std::string& databasePath);
// A private directory beside the store for the converted copies of an import ("" when it
// cannot be made); what a killed import left there goes with the next open, as below.
std::string MakeImportDirectory(const std::string& databasePath);
// Removes what deletes (and imports) of killed writers left in such directories. Only while no journal is
// open: an open journal may still move them back.
void RemoveDeletedFilesLeftovers(const std::string& databasePath);
// The name of such a directory, or of an import's (".deleted-" or ".import-" and six characters).
bool IsDeletedFilesDirectoryName(std::string_view name);

}  // namespace zorbek
