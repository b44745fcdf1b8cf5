#include "core/notes/note_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_opener.h"
#include "core/notes/recycle_bin.h"
#include "core/notes/store_change.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

NoteOutcome Refused(std::string message = {}) {
  NoteOutcome out;
  out.message = std::move(message);
  return out;
}

ItemPath ParentOf(const ItemPath& item) {
  return ItemPath(item.begin(), item.end() - (item.empty() ? 0 : 1));
}

ItemPath ChildOf(ItemPath folder, const std::string& name) {
  folder.push_back(name);
  return folder;
}

// Whether the file system of directory takes the name, with the temporary file of its saves.
bool NameFits(const std::string& directory, const std::string& file) {
  return EntryNameFits(directory, file);
}

// Something (a file, a directory, a link) of that name is there.
bool Present(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The file extension of a note of this type: "." and the type in lower case, the form the
// store's files have.
std::string NoteExtension(std::string_view type) {
  std::string ext = FoldLatinCase(type);
  ext.insert(ext.begin(), '.');
  return ext;
}

// The first max characters of UTF-8 text, never cutting a character.
std::string_view FirstCharacters(std::string_view text, std::size_t max) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) {
      if (chars == max) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// A child element of parent other than self whose name equals name ignoring Latin case.
XmlNode ChildNamed(XmlNode parent, std::string_view name, XmlNode self = {}) {
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c))
    if (IsElement(c) && c != self && EqualsIgnoreLatinCase(c.name(), name)) return c;
  return {};
}

// The item of a child element of item's element.
ItemPath Child(const ItemPath& item, XmlNode child) {
  ItemPath path = item;
  path.push_back(ElementName(child));
  return path;
}

// What is left below a directory that could not be deleted whole: its files, and directories
// that stayed empty. The first few, for the message.
std::vector<std::string> Leftovers(const std::string& directory) {
  constexpr std::size_t kMaxNamed = 10;
  std::vector<std::string> out;
  std::error_code ec;
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(directory, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code e;
    const bool dir = it->is_directory(e) && !it->is_symlink(e);
    if (dir && !fs::is_empty(it->path(), e)) continue;
    if (out.size() == kMaxNamed) {
      out.push_back("…");
      break;
    }
    out.push_back(it->path().string());
  }
  if (out.empty()) out.push_back(directory);
  return out;
}

}  // namespace

bool NoteCommands::SharesDiskWithTwin(const ItemPath& item, XmlNode element) {
  if (!element || item.size() < 2) return false;
  const auto pathOf = [&](XmlNode e) {
    const std::string type = Attribute(e, "type");
    ItemPath p = ParentOf(item);
    p.push_back(ElementName(e));
    return ExistingPathIgnoringCase(DocumentPath(p) + (IsNoteType(type) ? NoteExtension(type) : ""));
  };
  const std::string own = pathOf(element);
  for (XmlNode c = FirstChild(Parent(element)); c; c = NextSibling(c)) {
    if (!IsElement(c) || c == element || !EqualsIgnoreLatinCase(c.name(), element.name()))
      continue;
    if (KindOfType(Attribute(c, "type")) && pathOf(c) == own) return true;
  }
  return false;
}

void NoteCommands::Publish(const std::vector<NoteChange>& changes) const {
  if (!changes.empty() && publish_) publish_(changes);
}

std::vector<NoteChange> NoteCommands::ChangesBelow(const ItemPath& item, NoteChangeKind kind,
                                                   const ItemPath* newItem) {
  std::lock_guard lock(doc_.Mutex());
  std::vector<NoteChange> out;
  if (!IsInFileBox(item)) return out;
  XmlNode element = doc_.Select(ElementPathOfItem(item));
  if (!element) return out;
  const std::string database = doc_.GetPath();
  ItemPath relative;
  const auto add = [&](XmlNode e) {
    const std::string type = Attribute(e, "type");
    const bool note = IsNoteType(type);
    const std::string ext = note ? NoteExtension(type) : std::string();
    NoteChange c;
    c.kind = kind;
    c.item = note ? ItemKind::Note : ItemKind::Folder;
    ItemPath old = item;
    old.insert(old.end(), relative.begin(), relative.end());
    c.oldDocumentPath = DocumentPathOfItem(old, database) + ext;
    c.oldElementPath = ElementPathOfItem(old);
    if (newItem) {
      ItemPath now = *newItem;
      now.insert(now.end(), relative.begin(), relative.end());
      c.newDocumentPath = DocumentPathOfItem(now, database) + ext;
      c.newElementPath = ElementPathOfItem(now);
    }
    out.push_back(std::move(c));
  };
  const std::function<void(XmlNode)> walk = [&](XmlNode e) {
    for (XmlNode c : ShownChildren(e)) {
      relative.push_back(ElementName(c));
      add(c);
      walk(c);
      relative.pop_back();
    }
  };
  if (!IsFileBox(item)) add(element);
  walk(element);
  return out;
}

std::string SortKeyOfName(std::string_view name) {
  return FoldLatinCaseCp936(Utf8ToCp936(name));
}

std::string NoteCommands::StoreDirectory() const { return NoteStoreDirectory(doc_.GetPath()); }

std::string NoteCommands::DocumentPath(const ItemPath& item) const {
  return DocumentPathOfItem(item, doc_.GetPath());
}

NoteOutcome RefusedStep(const StoreChange& change, std::string message) {
  NoteOutcome out;
  out.reason = change.Error();
  if (change.JournalFailed()) out.saved = false;
  else out.message = std::move(message);
  return out;
}

NoteOutcome NoteCommands::Finish(NoteOutcome outcome, StoreChange& change, const TreeStep& tree) {
  if (!change.Save()) {
    outcome.saved = false;
    outcome.reason = doc_.LastSaveError();
    // A delete that deleted for good stays done: the tree follows the database.
    if (!change.KeptChange()) {
      NoteOutcome refused;
      refused.saved = false;
      refused.reason = outcome.reason;
      refused.kind = outcome.kind;
      return refused;
    }
  }
  outcome.done = true;
  if (tree) tree(outcome);
  return outcome;
}

void NoteCommands::RemoveElement(XmlNode element, StoreChange& change) {
  const NodePlace place = PlaceOf(element);
  Remove(element);
  change.OnUndo([element, place] { PutBack(element, place); });
}

std::optional<Placement> NoteCommands::PlacementFor(const ItemPath& selected) {
  std::lock_guard lock(doc_.Mutex());
  if (!IsInFileBox(selected)) return std::nullopt;
  Placement p;
  p.selection = doc_.Select(ElementPathOfItem(selected));
  if (p.selection && selected.size() > 1 && IsNoteType(Attribute(p.selection, "type"))) {
    p.folder = ParentOf(selected);
    p.folderElement = Parent(p.selection);
    p.afterSelection = true;
  } else {
    p.folder = selected;
    p.folderElement = p.selection;
  }
  // Without the receiving element the entry could not be recorded: nothing is created.
  if (!p.folderElement) return std::nullopt;
  p.directory = ExistingPathIgnoringCase(DocumentPath(p.folder));
  return p;
}

std::string NoteCommands::UniqueEntryName(XmlNode folderElement, const std::string& directory,
                                          std::string_view base, std::string_view ext) {
  // Two siblings of one name would share one element path, so the database is consulted too.
  std::string name(base);
  for (unsigned n = 1;; ++n) {
    const std::string file = name + std::string(ext);
    if (!FileExistsIn(directory, file) && !ChildNamed(folderElement, name)) return file;
    name = std::string(base) + std::to_string(n);
  }
}

NoteOutcome NoteCommands::NewEntry(const ItemPath& selected, ItemKind kind,
                                   const TreeStep& tree) {
  std::lock_guard lock(doc_.Mutex());
  try {
    const auto p = PlacementFor(selected);
    if (!p) return {};
    const bool note = kind == ItemKind::Note;
    const std::string ext = note ? std::string(kNoteExtension) : std::string();
    const std::string file =
        UniqueEntryName(p->folderElement, p->directory, note ? kNewNoteBase : kNewFolderBase, ext);
    const std::string path = JoinPath(p->directory, file);
    const std::string name = file.substr(0, file.size() - ext.size());
    if (!IsValidNodeName(name)) return {};
    // A name longer than the file system takes is no name for an entry.
    if (!NameFits(p->directory, file)) return Refused(kMsgNameTooLong);
    // The disk first: the folder's directory when it is missing, then the new entry. Both stop
    // silently, as nothing has changed yet.
    StoreChange change(doc_);
    change.Expect(ElementPathOfItem(ChildOf(p->folder, name)), true);
    if (!change.MakeParentDirectories(path)) return RefusedStep(change);
    if (note ? !change.CreateEmptyFile(path) : !change.MakeDirectory(path))
      return RefusedStep(change);

    XmlNode element = doc_.CreateElement(name);
    SetAttribute(element, "type", note ? "esr" : "dir");
    if (p->afterSelection) InsertAfter(p->selection, element);
    else InsertChild(p->folderElement, element, true);
    change.OnUndo([element] { Remove(element); });
    NoteOutcome out;
    out.name = name;
    out.kind = kind;
    out.afterTarget = p->afterSelection;
    return Finish(std::move(out), change, tree);
  } catch (const std::exception&) {
    return {};
  }
}

NoteOutcome NoteCommands::NewNote(const ItemPath& selected, const TreeStep& tree) {
  return NewEntry(selected, ItemKind::Note, tree);
}

NoteOutcome NoteCommands::NewFolder(const ItemPath& selected, const TreeStep& tree) {
  return NewEntry(selected, ItemKind::Folder, tree);
}

NoteOutcome NoteCommands::Rename(const ItemPath& item, std::string_view editedText,
                                 const TreeStep& tree) {
  std::vector<NoteChange> changes;
  NoteOutcome out;
  {
    std::lock_guard lock(doc_.Mutex());
    out = RenameLocked(item, editedText, tree, changes);
  }
  if (out.done) Publish(changes);
  return out;
}

NoteOutcome NoteCommands::RenameLocked(const ItemPath& item, std::string_view editedText,
                                       const TreeStep& tree, std::vector<NoteChange>& changes) {
  // The top-level items are never renamed.
  if (!IsInFileBox(item) || item.size() < 2) return {};
  const std::string name(TrimSpaces(FirstCharacters(editedText, kMaxLabelLength)));
  if (name.empty()) return {};
  if (EqualsIgnoreLatinCase(name, item.back())) return {};
  if (!IsValidNodeName(name)) return Refused(kMsgIllegalName);
  try {
    XmlNode element = doc_.Select(ElementPathOfItem(item));
    // Without its element the database could not follow the disk: nothing is renamed.
    if (!element) return Refused(kMsgRenameFailed);
    if (SharesDiskWithTwin(item, element)) return Refused(FormatMessage(kMsgCaseTwins, item.back()));
    const std::string parentDir = ExistingPathIgnoringCase(DocumentPath(ParentOf(item)));
    std::string oldPath = DocumentPath(item);
    std::string newPath;
    const std::string type = Attribute(element, "type");
    const bool note = IsNoteType(type);
    if (note) {
      const std::string ext = NoteExtension(type);
      if (FileExistsIn(parentDir, name + ext)) return Refused(kMsgFileExists);
      oldPath += ext;
      newPath = JoinPath(parentDir, name + ext);
    } else {
      if (FileExistsIn(parentDir, name)) return Refused(kMsgFolderExists);
      newPath = JoinPath(parentDir, name);
    }
    // A sibling element of that name (a folder beside a note, say) would share the element path.
    if (XmlNode other = ChildNamed(Parent(element), name, element)) {
      const bool folder = KindOfType(Attribute(other, "type")) == ItemKind::Folder;
      return Refused(folder ? kMsgFolderExists : kMsgFileExists);
    }

    ItemPath renamedItem = ParentOf(item);
    renamedItem.push_back(name);
    changes = ChangesBelow(item, NoteChangeKind::kRenamed, &renamedItem);

    const std::string from = ExistingPathIgnoringCase(oldPath);
    const bool moveOnDisk = !SamePath(from, newPath);
    if (moveOnDisk && !NameFits(parentDir, FileNameOf(newPath))) return Refused(kMsgNameTooLong);
    StoreChange change(doc_);
    change.Expect(ElementPathOfItem(item), false);
    change.Expect(ElementPathOfItem(renamedItem), true);
    if (moveOnDisk && !change.Rename(from, newPath)) return RefusedStep(change, kMsgRenameFailed);

    XmlNode renamed = doc_.CreateElement(name);
    CopyAttributes(renamed, element);
    MoveChildren(renamed, element);
    Replace(element, renamed);
    change.OnUndo([element, renamed] {
      Replace(renamed, element);
      MoveChildren(element, renamed);
      Remove(renamed);
    });
    NoteOutcome out;
    out.name = name;
    out.kind = note ? ItemKind::Note : ItemKind::Folder;
    NoteOutcome done = Finish(std::move(out), change, tree);
    if (!done.done) changes.clear();
    return done;
  } catch (const std::exception&) {
    return {};
  }
}

NoteOutcome NoteCommands::Copy(const ItemPath& item) {
  std::lock_guard lock(doc_.Mutex());
  if (!IsInFileBox(item)) return {};
  if (EqualsIgnoreLatinCase(ItemTypeOf(doc_, item), "dir")) return Refused(kMsgNoFolderCopy);
  NoteOutcome out;
  out.done = true;
  out.name = item.back();
  return out;
}

NoteOutcome NoteCommands::Paste(const ItemPath& copied, const ItemPath& target,
                                const TreeStep& tree) {
  std::lock_guard lock(doc_.Mutex());
  if (copied.empty() || copied.back().empty() || !IsInFileBox(copied))
    return Refused(kMsgCopiedGone);
  if (!IsInFileBox(target)) return {};
  try {
    const std::string sourceName = copied.back();
    XmlNode source = doc_.Select(ElementPathOfItem(copied));
    // The copied item lost its element (the file was edited by hand): it no longer exists.
    if (!source) return Refused(kMsgCopiedGone);
    const std::string sourceType = Attribute(source, "type");
    if (EqualsIgnoreLatinCase(sourceType, "dir")) return Refused(kMsgNoFolderCopy);
    if (sourceType.empty()) return Refused(kMsgCopyFailed);  // the file box has no file
    const std::string ext = NoteExtension(sourceType);
    const std::string sourcePath = ExistingPathIgnoringCase(DocumentPath(copied) + ext);

    XmlNode targetElement = doc_.Select(ElementPathOfItem(target));
    const std::string targetType = FoldLatinCase(ItemTypeOf(doc_, target));
    ItemPath destination;
    XmlNode destinationElement;
    bool after = false;
    if (targetType == "dir") {
      destination = target;
      destinationElement = targetElement;
    } else if (targetType == "esr" || targetType == "doc") {
      destination = ParentOf(target);
      destinationElement = Parent(targetElement);
      after = true;
    }
    if (!destinationElement) {
      // Nothing is pasted (the file box itself, or a target without element).
      NoteOutcome out;
      out.saved = doc_.Save();
      return out;
    }
    const std::string directory = ExistingPathIgnoringCase(DocumentPath(destination));
    const std::string file = UniqueEntryName(destinationElement, directory, sourceName, ext);
    const std::string destinationPath = JoinPath(directory, file);
    const std::string name = file.substr(0, file.rfind('.'));
    if (!IsValidNodeName(name)) return {};
    if (!NameFits(directory, file)) return Refused(kMsgNameTooLong);
    if (!IsRegularFile(sourcePath)) return Refused(kMsgCopyFailed);
    StoreChange change(doc_);
    change.Expect(ElementPathOfItem(ChildOf(destination, name)), true);
    if (!change.MakeParentDirectories(destinationPath)) return RefusedStep(change, kMsgCopyFailed);
    // A copy that fails half-way leaves nothing behind, and nothing is recorded for it.
    if (!change.CopyFile(sourcePath, destinationPath)) return RefusedStep(change, kMsgCopyFailed);

    XmlNode element = doc_.CreateElement(name);
    CopyAttributes(element, source);
    if (after) InsertAfter(targetElement, element);
    else InsertChild(targetElement, element, true);
    change.OnUndo([element] { Remove(element); });
    NoteOutcome out;
    out.name = name;
    out.kind = KindOfType(sourceType).value_or(ItemKind::Note);
    out.afterTarget = after;
    return Finish(std::move(out), change, tree);
  } catch (const std::exception&) {
    return {};
  }
}

std::string NoteCommands::DeleteQuestion(const ItemPath& item) {
  std::lock_guard lock(doc_.Mutex());
  XmlNode element = doc_.Select(ElementPathOfItem(item));
  const bool note = element && IsNoteType(Attribute(element, "type"));
  return FormatMessage(note ? kAskDeleteNote : kAskDeleteFolder,
                       item.empty() ? std::string() : item.back());
}

NoteOutcome NoteCommands::Delete(const ItemPath& item, const TreeStep& tree) {
  if (!IsInFileBox(item)) return {};
  // Whoever shows a note about to go (its editor) learns it first, with no lock held.
  Publish(ChangesBelow(item, NoteChangeKind::kDeleting));
  std::vector<NoteChange> gone;
  NoteOutcome out;
  {
    std::lock_guard lock(doc_.Mutex());
    out = DeleteLocked(item, tree, gone);
  }
  Publish(gone);
  return out;
}

NoteOutcome NoteCommands::DeleteLocked(const ItemPath& item, const TreeStep& tree,
                                       std::vector<NoteChange>& changes) {
  try {
    const std::string elementPath = ElementPathOfItem(item);
    XmlNode element = doc_.Select(elementPath);
    const std::string type = Attribute(element, "type");
    // Two items whose names differ only in letter case may share one file: never take the other's.
    if (SharesDiskWithTwin(item, element)) return Refused(FormatMessage(kMsgCaseTwins, item.back()));
    NoteOutcome out;
    StoreChange change(doc_);
    // What is deleted goes into the recycle bin, with the record of where it stood, as steps of
    // this change; only what cannot be moved whole is deleted in place, for good.
    bool binMade = false;
    const auto takeOff = [&](const std::string& path) {
      if (Present(path) && !DeletableWhole(path)) {
        change.DeleteInPlace(path);
        return !change.JournalFailed();
      }
      if (!binMade) {
        const std::string files =
            BeginTrashEntry(change, doc_, item, element, clock().UnixSeconds());
        if (files.empty()) return false;
        change.KeepDeletedIn(files);
        binMade = true;
      }
      return !Present(path) || change.SetAside(path);
    };
    if (element && IsNoteType(type)) {
      out.kind = ItemKind::Note;
      const std::string file = ExistingPathIgnoringCase(DocumentPath(item) + NoteExtension(type));
      change.Expect(elementPath, false);
      // A note whose file is gone already is still taken off the tree; one whose file stays
      // (it cannot be deleted) is kept, and the user is told.
      // (A directory where the note's file should be is not the note's: it is not taken.)
      if (IsDirectory(file)) return Refused(kMsgDeleteFailed);
      if (!takeOff(file) || Present(file)) return RefusedStep(change, kMsgDeleteFailed);
      changes = ChangesBelow(item, NoteChangeKind::kDeleted);
      for (XmlNode e : doc_.SelectAll(elementPath)) RemoveElement(e, change);
      out.removed.push_back(item);
    } else {
      out.kind = ItemKind::Folder;
      const std::string directory = ExistingPathIgnoringCase(DocumentPath(item));
      const bool fileBox = IsFileBox(item);
      if (fileBox && element) {
        for (XmlNode c : ShownChildren(element)) change.Expect(ElementPathOfItem(Child(item, c)), false);
      } else {
        change.Expect(elementPath, false);
      }
      if (!takeOff(directory)) return RefusedStep(change, kMsgDeleteFailed);
      // Nothing of it could go (a read-only store): refused, nothing changed.
      if (Present(directory) && !change.KeptChange()) return RefusedStep(change, kMsgDeleteFailed);
      if (!Present(directory)) {
        changes = ChangesBelow(item, NoteChangeKind::kDeleted);
        if (fileBox) {
          if (element) {
            for (XmlNode c : ShownChildren(element)) out.removed.push_back(Child(item, c));
            std::vector<XmlNode> children;
            for (XmlNode c = FirstChild(element); c; c = NextSibling(c)) children.push_back(c);
            for (XmlNode c : children) RemoveElement(c, change);
          }
        } else {
          for (XmlNode e : doc_.SelectAll(elementPath)) RemoveElement(e, change);
          out.removed.push_back(item);
        }
      } else {
        // Only part of the directory could go: exactly what is gone from disk leaves the
        // database and the tree, what stayed stays, and the user learns what that is.
        if (!element) return Refused(kMsgDeleteFailed);
        PruneGone(element, item, out, changes, change);
        std::string message = kMsgDeleteFailed;
        for (const std::string& left : Leftovers(directory)) {
          message += '\n';
          message += left;
        }
        out.message = std::move(message);
      }
    }
    NoteOutcome done = Finish(std::move(out), change, tree);
    if (!done.done) changes.clear();
    return done;
  } catch (const std::exception&) {
    return Refused(kMsgDeleteFailed);
  }
}

void NoteCommands::PruneGone(XmlNode element, const ItemPath& item, NoteOutcome& out,
                             std::vector<NoteChange>& changes, StoreChange& change) {
  for (XmlNode c : ShownChildren(element)) {
    const ItemPath child = Child(item, c);
    const std::string type = Attribute(c, "type");
    const bool note = IsNoteType(type);
    const std::string path =
        ExistingPathIgnoringCase(DocumentPath(child) + (note ? NoteExtension(type) : ""));
    if (Present(path)) {
      if (!note) PruneGone(c, child, out, changes, change);
      continue;
    }
    auto below = ChangesBelow(child, NoteChangeKind::kDeleted);
    changes.insert(changes.end(), below.begin(), below.end());
    RemoveElement(c, change);
    out.removed.push_back(child);
  }
}

NoteOutcome NoteCommands::Move(const ItemPath& item, MoveTo to, const TreeStep& tree) {
  std::lock_guard lock(doc_.Mutex());
  if (!IsInFileBox(item) || item.size() < 2) return {};
  try {
    XmlNode element = doc_.Select(ElementPathOfItem(item));
    if (!element) return {};
    XmlNode parent = Parent(element);
    const NodePlace place = PlaceOf(element);
    const std::vector<XmlNode> siblings = ShownChildren(parent);
    const auto it = std::find(siblings.begin(), siblings.end(), element);
    if (it == siblings.end()) return {};
    const std::size_t i = static_cast<std::size_t>(it - siblings.begin());
    const std::size_t n = siblings.size();
    switch (to) {
      case MoveTo::Top:
        if (i == 0) return {};
        InsertChild(parent, element, true);
        break;
      case MoveTo::Up:
        if (i == 0) return {};
        if (i >= 2) InsertBefore(siblings[i - 1], element);
        else InsertChild(parent, element, true);
        break;
      case MoveTo::Down:
        if (i + 1 >= n) return {};
        InsertAfter(siblings[i + 1], element);
        break;
      case MoveTo::Bottom:
        if (i + 1 >= n) return {};
        AppendChild(parent, element);
        break;
    }
    StoreChange change(doc_);
    change.OnUndo([element, place] { PutBack(element, place); });
    NoteOutcome out;
    out.name = item.back();
    return Finish(std::move(out), change, tree);
  } catch (const std::exception&) {
    return {};
  }
}

NoteOutcome NoteCommands::Sort(const ItemPath& folder, SortMode mode, const TreeStep& tree,
                               bool save) {
  std::lock_guard lock(doc_.Mutex());
  if (!IsInFileBox(folder)) return {};
  try {
    XmlNode element = doc_.Select(ElementPathOfItem(folder));
    if (TypeString(element) != "element") return {};
    struct Entry {
      XmlNode node;
      std::string key;
    };
    std::vector<Entry> folders, notes, all;
    for (XmlNode c = FirstChild(element); c; c = NextSibling(c)) {
      if (!IsElement(c)) continue;
      const std::string type = Attribute(c, "type");
      const bool isFolder = type.empty() || EqualsIgnoreLatinCase(type, "dir");
      Entry e{c, SortKeyOfName(c.name())};
      (isFolder ? folders : notes).push_back(e);
      all.push_back(std::move(e));
    }
    // Names equal under the comparison keep their order.
    const auto byName = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    std::vector<Entry> list;
    switch (mode) {
      case SortMode::Folders:
        std::stable_sort(folders.begin(), folders.end(), byName);
        list = folders;
        list.insert(list.end(), notes.begin(), notes.end());
        break;
      case SortMode::Files:
        std::stable_sort(notes.begin(), notes.end(), byName);
        list = folders;
        list.insert(list.end(), notes.begin(), notes.end());
        break;
      case SortMode::Mixed: {
        // Notes and folders together, in name order, as the command's name promises.
        list = all;
        std::stable_sort(list.begin(), list.end(), byName);
        break;
      }
    }
    for (const Entry& e : list) AppendChild(element, e.node);
    if (!save) {
      NoteOutcome out;
      out.done = true;
      if (tree) tree(out);
      return out;
    }
    StoreChange change(doc_);
    change.OnUndo([element, all] {
      for (const Entry& e : all) AppendChild(element, e.node);
    });
    return Finish(NoteOutcome{}, change, tree);
  } catch (const std::exception&) {
    return {};
  }
}

NoteOutcome NoteCommands::OpenNote(const ItemPath& item) {
  std::string documentPath, elementPath;
  {
    std::lock_guard lock(doc_.Mutex());
    if (!IsInFileBox(item)) return {};
    elementPath = ElementPathOfItem(item);
    XmlNode element = doc_.Select(elementPath);
    if (!element || !EqualsIgnoreLatinCase(Attribute(element, "type"), "esr")) return {};
    SetAttributeU64(element, "lasttime", static_cast<std::uint64_t>(clock().UnixSeconds()));
    documentPath = ExistingPathIgnoringCase(DocumentPath(item) + std::string(kNoteExtension));
  }
  // The editor is opened without the document's lock: it may take it on its own.
  OpenNoteEditor(documentPath, elementPath);
  NoteOutcome out;
  out.done = true;
  out.name = item.back();
  std::lock_guard lock(doc_.Mutex());
  out.saved = doc_.Save();
  return out;
}

std::optional<NoteCommands::BrowseTarget> NoteCommands::DirectoryToShow(const ItemPath& item) {
  std::lock_guard lock(doc_.Mutex());
  if (!IsInFileBox(item)) return std::nullopt;
  XmlNode element = doc_.Select(ElementPathOfItem(item));
  if (element && EqualsIgnoreLatinCase(Attribute(element, "type"), "esr"))
    return BrowseTarget{ExistingPathIgnoringCase(DocumentPath(item) + std::string(kNoteExtension)),
                        true};
  // A folder's directory is made when it is missing (an empty file box has none yet).
  const std::string directory = ExistingPathIgnoringCase(DocumentPath(item));
  if (!IsDirectory(directory)) EnsureParentDirectories(directory + "/");
  return BrowseTarget{directory, false};
}

}  // namespace zorbek
