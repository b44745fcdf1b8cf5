// Where opening a note or the reminder list leads. The note tree, the search and the history
// panels open notes; the editor and the reminder list window are installed here by the program
// when it starts. Until something is installed, opening goes no further than the database.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/notes/note_change.h"

namespace zorbek {

// documentPath is the note's file (".esr" included), elementPath its element.
using OpenNoteEditorFn =
    std::function<void(const std::string& documentPath, const std::string& elementPath)>;
// text is the element path of the reminders, "/list/filetree/schedule".
using OpenReminderListFn = std::function<void(const std::string& text)>;

// Install (or, with an empty function, remove) the handlers. Main thread only.
void SetOpenNoteEditor(OpenNoteEditorFn fn);
void SetOpenReminderList(OpenReminderListFn fn);
// How the open editors follow renamed, moved and deleted notes (the editor installs it; every
// notebook calls it before its own listeners).
void SetEditorsFollow(NoteChangeListener fn);

// Call the installed handler; nothing happens when none is installed.
void OpenNoteEditor(const std::string& documentPath, const std::string& elementPath);
void OpenReminderList(const std::string& text);
void EditorsFollow(const std::vector<NoteChange>& changes);

}  // namespace zorbek
