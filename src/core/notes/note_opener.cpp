#include "core/notes/note_opener.h"

#include <utility>

namespace zorbek {
namespace {
OpenNoteEditorFn& EditorHandler() {
  static OpenNoteEditorFn fn;
  return fn;
}
OpenReminderListFn& ReminderListHandler() {
  static OpenReminderListFn fn;
  return fn;
}
NoteChangeListener& FollowHandler() {
  static NoteChangeListener fn;
  return fn;
}
}  // namespace

void SetEditorsFollow(NoteChangeListener fn) { FollowHandler() = std::move(fn); }

void EditorsFollow(const std::vector<NoteChange>& changes) {
  if (auto fn = FollowHandler()) fn(changes);
}

void SetOpenNoteEditor(OpenNoteEditorFn fn) { EditorHandler() = std::move(fn); }
void SetOpenReminderList(OpenReminderListFn fn) { ReminderListHandler() = std::move(fn); }

void OpenNoteEditor(const std::string& documentPath, const std::string& elementPath) {
  // A copy: the handler may install another one while it runs.
  if (auto fn = EditorHandler()) fn(documentPath, elementPath);
}

void OpenReminderList(const std::string& text) {
  if (auto fn = ReminderListHandler()) fn(text);
}

}  // namespace zorbek
