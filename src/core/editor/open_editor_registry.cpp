#include "core/editor/open_editor_registry.h"

#include <algorithm>

#include "core/text/cp936.h"

namespace zorbek {

void OpenEditorRegistry::Add(NoteIdentity* identity) {
  if (!identity) return;
  if (std::find(entries_.begin(), entries_.end(), identity) == entries_.end())
    entries_.push_back(identity);
}

void OpenEditorRegistry::Remove(const NoteIdentity* identity) {
  entries_.remove(const_cast<NoteIdentity*>(identity));
}

NoteIdentity* OpenEditorRegistry::Find(const DocumentPath* documentPath,
                                       const ElementPath* elementPath) const {
  for (NoteIdentity* entry : entries_) {
    if (documentPath &&
        !EqualsIgnoreLatinCase(entry->NoteDocumentPath().str(), documentPath->str()))
      continue;
    if (elementPath && !EqualsIgnoreLatinCase(entry->NoteElementPath().str(), elementPath->str()))
      continue;
    return entry;
  }
  return nullptr;
}

NoteIdentity* OpenEditorRegistry::First() const {
  return entries_.empty() ? nullptr : entries_.front();
}

int OpenEditorRegistry::Count() const {
  return static_cast<int>(entries_.size());
}

void OpenEditorRegistry::CloseAll() {
  // Editors live on this thread, so a close takes effect before it returns; closing reaches
  // back into the registry, so the first entry is looked up again each time.
  while (NoteIdentity* first = First()) {
    first->CloseWithoutAsking();
    Remove(first);
  }
}

bool OpenEditorRegistry::CloseAllAsking() {
  while (NoteIdentity* first = First()) {
    if (!first->CloseAskingToSave()) return false;
    Remove(first);
  }
  return true;
}

void OpenEditorRegistry::PreserveAllUnsaved() {
  // A copy: preserving may reach back into the registry.
  const std::list<NoteIdentity*> entries = entries_;
  for (NoteIdentity* e : entries) e->PreserveUnsaved();
}

OpenEditorRegistry& OpenEditors() {
  static OpenEditorRegistry registry;
  return registry;
}

int OpenEditorCount() { return OpenEditors().Count(); }
void CloseAllEditors() { OpenEditors().CloseAll(); }

}  // namespace zorbek
