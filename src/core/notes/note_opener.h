// Where opening a note leads. The note tree, the search and the history panels open notes
// through NoteCommands::OpenNote; the program installs the editor here when it starts. Until
// something is installed, opening goes no further than the database.
#pragma once

#include <functional>
#include <string>

#include "core/notes/note_names.h"

namespace zorbek {

// documentPath is the note's file (".esr" included), elementPath its element.
using OpenNoteEditorFn =
    std::function<void(const DocumentPath& documentPath, const ElementPath& elementPath)>;

// Install (or, with an empty function, remove) the handler. Main thread only.
void SetOpenNoteEditor(OpenNoteEditorFn fn);

// Calls the installed handler; nothing happens when none is installed.
void OpenNoteEditor(const DocumentPath& documentPath, const ElementPath& elementPath);

}  // namespace zorbek
