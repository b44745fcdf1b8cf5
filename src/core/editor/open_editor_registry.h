// The list of open note editors. A note counts as open exactly while its identity is in the
// list; opening a note that is already open only brings its editor forward, and the main
// window closes every editor through it at exit. Main thread only, like the editors.
#pragma once

#include <list>
#include <string>

#include "core/notes/note_names.h"

namespace zorbek {

// What the registry knows of an editor: the note's two normalised paths and how to reach its
// window. The editor window derives from it; destroying an identity destroys the editor.
class NoteIdentity {
 public:
  NoteIdentity(DocumentPath documentPath, ElementPath elementPath)
      : documentPath_(std::move(documentPath)), elementPath_(std::move(elementPath)) {}
  virtual ~NoteIdentity() = default;
  NoteIdentity(const NoteIdentity&) = delete;
  NoteIdentity& operator=(const NoteIdentity&) = delete;

  const DocumentPath& NoteDocumentPath() const { return documentPath_; }
  const ElementPath& NoteElementPath() const { return elementPath_; }
  // The note was renamed or moved: its new normalised paths.
  void SetPaths(DocumentPath documentPath, ElementPath elementPath) {
    documentPath_ = std::move(documentPath);
    elementPath_ = std::move(elementPath);
  }

  // Restores a minimised editor and raises it. True when it is shown.
  virtual bool BringForward() = 0;
  // Closes the editor without the save question; unsaved changes are lost.
  virtual void CloseWithoutAsking() = 0;
  // Closes the editor as its user closes it: a modified note asks whether to save it. False
  // when the editor stays open (the user cancelled, or the note could not be saved).
  virtual bool CloseAskingToSave() {
    CloseWithoutAsking();
    return true;
  }
  // Keeps unsaved changes somewhere safe, without asking (the program is being ended).
  virtual void PreserveUnsaved() {}

 private:
  DocumentPath documentPath_;
  ElementPath elementPath_;
};

class OpenEditorRegistry {
 public:
  // Appends; an identity already listed is not listed twice.
  void Add(NoteIdentity* identity);
  // Removes every entry that refers to identity.
  void Remove(const NoteIdentity* identity);
  // The first entry whose paths equal the given ones without regard to Latin letter case; a
  // null argument is not compared. Null when there is none.
  NoteIdentity* Find(const DocumentPath* documentPath, const ElementPath* elementPath) const;
  NoteIdentity* First() const;
  int Count() const;

  // Closes every editor without asking, oldest first, and returns when none is left. An editor
  // that stays listed after being told to close is taken off the list, so this always ends.
  void CloseAll();
  // Closes the editors one by one, each asking about its own unsaved changes; stops at the
  // first that stays open and returns false then.
  bool CloseAllAsking();
  // Every editor keeps its unsaved changes safe (PreserveUnsaved).
  void PreserveAllUnsaved();

 private:
  std::list<NoteIdentity*> entries_;
};

// The registry of the process.
OpenEditorRegistry& OpenEditors();

// The number of open editors (the main window asks before it closes).
int OpenEditorCount();
// Closes every editor without the save question (program exit).
void CloseAllEditors();

}  // namespace zorbek
