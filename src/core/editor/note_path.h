// The names of an open note: its document path and its element path, and how two requests for
// the same note are recognised as one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/notes/note_names.h"

namespace zorbek {

// "\" becomes "/" and the Latin capitals become small letters. Two notes are the same note
// exactly when their normalised paths are equal.
std::string NormaliseNotePath(std::string_view path);
// The same for a document or element path, which stays what it is.
template <class Kind>
NoteName<Kind> NormaliseNotePath(const NoteName<Kind>& path) {
  return NoteName<Kind>(NormaliseNotePath(path.str()));
}

// Only the separators: "\" becomes "/". File names on this system keep their letter case, so
// this is the form a document is opened with.
std::string NormaliseSeparators(std::string_view path);

// The file path as it lies on disk: path itself when it exists, else the one existing path
// whose every component equals path's component without regard to Latin letter case (the
// first in directory order when several do). nullopt when there is none.
std::optional<std::string> ResolvePathIgnoringCase(const std::string& path);

}  // namespace zorbek
