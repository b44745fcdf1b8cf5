// One change of the note store and the database, whole or not at all.
//
// A command that changes both runs through a StoreChange: it names what the saved database will
// show (Expect), then takes its disk steps through it (each one journaled before it is taken, see
// core/db/change_journal.h), changes the document, registers how to take the document change
// back (OnUndo), and calls Save. Save flushes the store's new files and changed directories, then
// writes the database; when that fails, the document changes are taken back (newest first), the
// disk steps are undone, and disk, database and tree are as before the command. A change left
// unfinished (a refusal half-way, an exception) is abandoned the same way when it goes out of
// scope.
//
// Deletes set aside what they delete (SetAside: a rename into a directory of its own beside the
// store) and remove it for good once the database is saved, so that a failed save can still put
// it back. Where a rename cannot take a file whole (a file that may not be moved), DeleteInPlace
// deletes for good; such a change is finished, never undone, when it is interrupted.
//
// Like the document, a StoreChange belongs to the thread that owns it (the main thread).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/change_journal.h"
#include "core/db/xml_document.h"
#include "core/notes/note_names.h"

namespace zorbek {

class StoreChange {
 public:
  explicit StoreChange(CXmlDocument& doc);
  ~StoreChange();
  StoreChange(const StoreChange&) = delete;
  StoreChange& operator=(const StoreChange&) = delete;

  // What the saved database shows once the change is whole; named before the disk step it
  // stands for. Unexpect takes one back (a file of a batch that could not be added).
  void Expect(const ElementPath& elementPath, bool present);
  void Unexpect(const ElementPath& elementPath);

  // The disk steps. Each returns false (and changes nothing) when it cannot be taken, or when it
  // cannot be journaled first.
  bool MakeParentDirectories(const std::string& path);  // every missing level above path
  bool MakeDirectory(const std::string& path);
  bool CreateEmptyFile(const std::string& path);
  // A copy of a regular file, written beside "to" under a temporary name (flushed) and renamed
  // into place, so that "to" never holds half a copy.
  bool CopyFile(const std::string& from, const std::string& to);
  bool Rename(const std::string& from, const std::string& to);
  // A new file holding data, made the same way. Without sync neither the file nor its journal
  // line is flushed one by one (a batch that flushes the whole store before its save).
  bool WriteNewFile(const std::string& path, std::string_view data, bool sync = true);
  // Moves path (a file or a directory) out of the store into this change's deleted files.
  bool SetAside(const std::string& path);
  // From now on SetAside moves into dir (made by this change), under the path's own name, and
  // what it moved stays there once the change is saved (the recycle bin).
  void KeepDeletedIn(const std::string& dir) {
    deletedFiles_ = dir;
    keepDeleted_ = true;
  }
  // Deletes path for good (what may be deleted of it); the change can no longer be undone.
  // True when nothing of path is left.
  bool DeleteInPlace(const std::string& path);

  // How to take back a change of the document, should the save fail.
  void OnUndo(std::function<void()> undo);

  // Writes the database (see above). True when it was saved; false when it was not, and then
  // everything was undone (unless DeleteInPlace made that impossible: the document keeps the
  // change then, and the journal stays for the next open to finish).
  bool Save();
  // Takes everything back now.
  void Abandon();

  // After a failed Save: the change stayed in the document (it deleted for good).
  bool KeptChange() const { return deletedForGood_; }
  bool JournalFailed() const { return journalFailed_; }
  // The system's reason of the last step that failed.
  const std::string& Error() const { return error_; }

 private:
  bool Journal(DiskStep step, bool sync = true);
  // Writes data beside path under a temporary name, journals it and renames it into place.
  bool PlaceNewFile(const std::string& path, std::string_view data, bool sync,
                    const std::string& from);
  void Rewrite();
  void UndoDocument();

  CXmlDocument& doc_;
  ChangeJournal journal_;
  std::vector<ElementExpectation> expected_;
  std::vector<std::function<void()>> undo_;
  std::string deletedFiles_;  // the directory set-aside files went to
  bool begun_ = false;
  bool forward_ = false;
  bool keepDeleted_ = false;  // set-aside files stay after the save
  bool deletedForGood_ = false;
  bool finished_ = false;
  bool journalFailed_ = false;
  std::string error_;
};

// Whether everything at path (a file, or a directory and all below it) can be moved and then
// deleted: writable directories, no file marked immutable or append-only.
bool DeletableWhole(const std::string& path);

// For tests: called after every disk step, just before the database is written and just after,
// with the number of steps taken. A test may end the process there to stand for a kill.
void SetStoreChangeStepHook(std::function<void(int)> hook);

// Where an element sits among its siblings, so that it can be put back there.
struct NodePlace {
  XmlNode parent;
  XmlNode next;  // the sibling after it (empty: it was the last)
};
NodePlace PlaceOf(XmlNode node);
// Puts a node (removed, or moved elsewhere) back at its place.
void PutBack(XmlNode node, const NodePlace& place);

}  // namespace zorbek
