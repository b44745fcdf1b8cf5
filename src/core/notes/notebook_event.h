// What the notebook tells its listeners: one typed event per folder or note that a change
// touched, and events for the notebook as a whole (read again from disk, reminders changed).
//
// The notebook is the model and the windows are its views: a command changes the document,
// saves it, and then the notebook publishes what happened; every window (the note tree, the
// editors, the search and history panels, the reminder list) follows from the events alone.
// Events are published on the main thread after the change is complete and saved, never in
// the middle of one.
//
// A change names every folder and note it touched, each with its old and its new names: a
// renamed or moved folder gives one event for the folder and one for every folder and note
// below it (below = true), so that a listener never has to work out what lies below, and a
// view of items acts on the events with below = false only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/notes/item_path.h"

namespace zorbek {

enum class NotebookEventKind {
  kAdded,     // a new folder or note (new names, index); a folder comes with what lies below it
  kRenamed,   // same folder, new name (old and new names)
  kMoved,     // to another place, in its folder or another one (old and new names, index)
  kReplaced,  // the note's file was replaced by other content (old names only)
  kDeleting,  // about to be deleted; the user has confirmed (old names only)
  kDeleted,   // gone from disk and database (old names only)
  kReordered,     // the children of a folder (newItem) were sorted
  kExpanded,      // a folder (newItem) shows its children, and is remembered so
  kCollapsed,     // a folder (newItem) hides its children
  kReloaded,      // the whole database was read again from disk: every view refills
  kRemindersChanged,  // reminders were added, changed, deleted or marked handled
};

// Who made an added or moved entry; views show every origin the same way.
enum class EventOrigin {
  kCommand,  // a command of this program (menu, label edit, drag and drop, import)
  kOutside,  // found in the database when it was read again (another machine's version)
};

struct NotebookEvent {
  NotebookEventKind kind = NotebookEventKind::kRenamed;
  ItemKind item = ItemKind::Note;
  // The item paths (the tree items' texts, top-level first); empty where not given.
  ItemPath oldItem, newItem;
  // The document path: the note's file (".esr" included) or the folder's directory in the note
  // store, as the item's texts name it (letter case as in the tree); and the element path.
  DocumentPath oldDocumentPath;
  ElementPath oldElementPath;
  DocumentPath newDocumentPath;  // empty for kReplaced, kDeleting, kDeleted
  ElementPath newElementPath;
  // kAdded, kMoved: the entry's place among the shown children of its (new) folder.
  int index = -1;
  // The entry lies below another entry of the same event list (a folder's contents).
  bool below = false;
  EventOrigin origin = EventOrigin::kCommand;
  friend bool operator==(const NotebookEvent&, const NotebookEvent&) = default;
};

// Called on the main thread once a change is complete. A listener may call the notebook again
// (its events are published after the current list); it must not keep the events' strings
// beyond the call.
using NotebookListener = std::function<void(const std::vector<NotebookEvent>& events)>;

}  // namespace zorbek
