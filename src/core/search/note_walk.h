// The notes of the archive as the search and the history panels see them: the walk over the
// database, the scope of a search, and the names a note is known by in their lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/xml_document.h"
#include "core/notes/note_names.h"

namespace zorbek {

// One note met by the walk.
struct NoteEntry {
  DocumentPath documentPath;  // directory, "/", name, ".", type (the type as written)
  std::uint64_t lastTime = 0;  // "lasttime"; missing or not a number: 0
};

// The walk of both panels, from the element at startElementPath with startDirectory, in
// document order: an element is walked only when it is an element with child nodes; a child
// whose type is not "esr" (ignoring case) is walked with the directory followed by "/" and its
// name; an "esr" child is a note. Copies what it needs (on the document's thread, so the
// workers never read the document); no file is touched. A missing start element gives no notes.
std::vector<NoteEntry> CollectNotes(CXmlDocument& doc, const ElementPath& startElementPath,
                                    std::string_view startDirectory);

// "lasttime" as the history reads it: the leading decimal digits ("12x" is 12); no digit at
// the start, or a sign, gives 0; a value beyond 64 bits gives the largest one.
std::uint64_t ParseLastTime(std::string_view text);

// The part of a document path after its last "/" (the list's file-name column).
std::string_view FileNameOf(std::string_view documentPath);
inline std::string_view FileNameOf(const DocumentPath& documentPath) {
  return FileNameOf(std::string_view(documentPath.str()));
}

// The element of a document path: the note store directory of the database replaced by
// "/list/filetree/archive", cut at the last "." (dropping the type). nullopt when the path does
// not lie in the note store or has no type.
std::optional<ElementPath> ElementPathFromDocumentPath(const DocumentPath& documentPath,
                                                       std::string_view databasePath);

// ---- the scope of a search ----------------------------------------------------------------
inline constexpr std::string_view kScopePrefix = "路径：";
inline constexpr std::string_view kScopeRoot = "Root";

// The scope label for the tree's selection: "路径：" and the element path below the archive
// when a folder of the archive is selected (type "dir" ignoring case, or no type), else
// "路径：Root". selectedPath is empty when nothing is selected.
std::string ScopeLabelOf(const ElementPath& selectedElementPath, std::string_view selectedType);

// Where a search with this label starts: the element path and the directory.
struct SearchStart {
  ElementPath elementPath;
  std::string directory;
};
SearchStart SearchStartOf(std::string_view scopeLabel, std::string_view databasePath);

}  // namespace zorbek
