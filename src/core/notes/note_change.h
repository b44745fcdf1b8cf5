// What a change to the note tree did to the folders and notes it touched, as the notebook tells
// its listeners (open editors, the search and history panels, the reminder list).
//
// A change names every folder and note it touched, each with its old and its new names: a
// renamed or moved folder gives one entry for the folder and one for every folder and note
// below it, so that a listener never has to work out what lies below.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/notes/item_path.h"

namespace zorbek {

enum class NoteChangeKind {
  kRenamed,   // same folder, new name (old and new names set)
  kMoved,     // into another folder (old and new names set)
  kReplaced,  // the note's file was replaced by other content (old names only)
  kDeleting,  // about to be deleted; the user has confirmed (old names only)
  kDeleted,   // gone from disk and database (old names only)
};

struct NoteChange {
  NoteChangeKind kind = NoteChangeKind::kRenamed;
  ItemKind item = ItemKind::Note;
  // The document path: the note's file (".esr" included) or the folder's directory in the note
  // store, as the item's texts name it (letter case as in the tree); and the element path.
  std::string oldDocumentPath, oldElementPath;
  std::string newDocumentPath, newElementPath;  // empty for kReplaced, kDeleting, kDeleted
  friend bool operator==(const NoteChange&, const NoteChange&) = default;
};

// Called on the thread that made the change (the main thread in the program), after the
// change released the document's lock. A listener may call the notebook again; it must not
// keep the changes' strings beyond the call.
using NoteChangeListener = std::function<void(const std::vector<NoteChange>& changes)>;

}  // namespace zorbek
