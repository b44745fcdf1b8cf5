#include "core/notes/note_opener.h"

#include <utility>

namespace zorbek {
namespace {
OpenNoteEditorFn& EditorHandler() {
  static OpenNoteEditorFn fn;
  return fn;
}
}  // namespace

void SetOpenNoteEditor(OpenNoteEditorFn fn) { EditorHandler() = std::move(fn); }

void OpenNoteEditor(const DocumentPath& documentPath, const ElementPath& elementPath) {
  // A copy: the handler may install another one while it runs.
  if (auto fn = EditorHandler()) fn(documentPath, elementPath);
}

}  // namespace zorbek
