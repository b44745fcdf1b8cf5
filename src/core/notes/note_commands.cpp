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
    return ExistingPathIgnoringCase(StorePathOf(p) + (IsNoteType(type) ? NoteExtension(type) : ""));
  };
  const std::string own = pathOf(element);
  for (XmlNode c = FirstChild(Parent(element)); c; c = NextSibling(c)) {
    if (!IsElement(c) || c == element || !EqualsIgnoreLatinCase(c.name(), element.name()))
      continue;
    if (KindOfType(Attribute(c, "type")) && pathOf(c) == own) return true;
  }
  return false;
}

void NoteCommands::Publish(const std::vector<NotebookEvent>& events) const {
  if (!events.empty() && publish_) publish_(events);
}

std::vector<NotebookEvent> NoteCommands::ChangesBelow(const ItemPath& item,
                                                      NotebookEventKind kind,
                                                      const ItemPath* newItem) {
  std::vector<NotebookEvent> out;
  if (!IsInFileBox(item)) return out;
  XmlNode element = doc_.Select(ElementPathOfItem(item).str());
  if (!element) return out;
  const std::string database = doc_.GetPath();
  ItemPath relative;
  const auto add = [&](XmlNode e, bool below) {
    const std::string type = Attribute(e, "type");
    const bool note = IsNoteType(type);
    const std::string ext = note ? NoteExtension(type) : std::string();
    NotebookEvent c;
    c.kind = kind;
    c.item = note ? ItemKind::Note : ItemKind::Folder;
    c.below = below;
    c.oldItem = item;
    c.oldItem.insert(c.oldItem.end(), relative.begin(), relative.end());
    c.oldDocumentPath = DocumentPathOfItem(c.oldItem, database, ext);
    c.oldElementPath = ElementPathOfItem(c.oldItem);
    if (newItem) {
      c.newItem = *newItem;
      c.newItem.insert(c.newItem.end(), relative.begin(), relative.end());
      c.newDocumentPath = DocumentPathOfItem(c.newItem, database, ext);
      c.newElementPath = ElementPathOfItem(c.newItem);
    }
    out.push_back(std::move(c));
  };
  // The file box is never named: its children are the top-most entries then.
  const bool fileBox = IsFileBox(item);
  const std::function<void(XmlNode)> walk = [&](XmlNode e) {
    for (XmlNode c : ShownChildren(e)) {
      relative.push_back(ElementName(c));
      add(c, !fileBox || relative.size() > 1);
      walk(c);
      relative.pop_back();
    }
  };
  if (!fileBox) add(element, false);
  walk(element);
  return out;
}

int NoteCommands::IndexOf(const ItemPath& item) {
  XmlNode element = doc_.Select(ElementPathOfItem(item).str());
  if (!element) return -1;
  const std::vector<XmlNode> siblings = ShownChildren(Parent(element));
  const auto it = std::find(siblings.begin(), siblings.end(), element);
  return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
}

std::vector<NotebookEvent> NoteCommands::AddedEvents(const ItemPath& item) {
  std::vector<NotebookEvent> events = ChangesBelow(item, NotebookEventKind::kAdded, &item);
  for (NotebookEvent& e : events) {
    // Only new names: nothing was there before.
    e.oldItem.clear();
    e.oldDocumentPath.clear();
    e.oldElementPath.clear();
  }
  if (!events.empty()) events.front().index = IndexOf(item);
  return events;
}

namespace {

// False when visit ended the walk.
bool WalkBelow(XmlNode element, OutlineDepth depth, int level,
               const std::function<bool(const OutlineStep&)>& visit) {
  OutlineStep step;
  step.level = level;
  for (XmlNode child = FirstChild(element); child; child = NextSibling(child)) {
    if (!IsElement(child)) continue;
    const auto kind = KindOfType(child.attribute("type").value());
    if (!kind) continue;  // neither a folder nor a note: not shown, nor anything below it
    step.name = child.name();
    step.kind = *kind;
    step.expanded = EqualsIgnoreLatinCase(child.attribute("state").value(), "expanded");
    step.childrenLeftOut = false;
    const bool below = depth == OutlineDepth::Whole || step.expanded || *kind != ItemKind::Folder;
    if (!below) {
      for (XmlNode c = FirstChild(child); c && !step.childrenLeftOut; c = NextSibling(c))
        step.childrenLeftOut = IsElement(c) && KindOfType(c.attribute("type").value());
    }
    if (!visit(step)) return false;
    if (below && !WalkBelow(child, depth, level + 1, visit)) return false;
  }
  return true;
}

}  // namespace

std::optional<bool> NoteCommands::WalkOutline(const ItemPath& folder, OutlineDepth depth,
                                              const std::function<bool(const OutlineStep&)>& visit) {
  XmlNode element = doc_.Select(ElementPathOfItem(folder).str());
  if (TypeString(element) != "element") return std::nullopt;
  WalkBelow(element, depth, 0, visit);
  return EqualsIgnoreLatinCase(Attribute(element, "state"), "expanded");
}

TreeEntry NoteCommands::Outline(const ItemPath& folder, OutlineDepth depth) {
  TreeEntry root;
  // The entries on the way down from root to the last one handed on.
  std::vector<TreeEntry*> open{&root};
  const std::optional<bool> expanded = WalkOutline(folder, depth, [&](const OutlineStep& step) {
    open.resize(static_cast<std::size_t>(step.level) + 1);
    TreeEntry& entry = open.back()->children.emplace_back();
    entry.name = std::string(step.name);
    entry.kind = step.kind;
    entry.expanded = step.expanded;
    entry.childrenLeftOut = step.childrenLeftOut;
    open.push_back(&entry);
    return true;
  });
  if (!expanded) return root;
  root.name = folder.empty() ? std::string() : folder.back();
  root.expanded = *expanded;
  return root;
}

std::string SortKeyOfName(std::string_view name) {
  return FoldLatinCaseCp936(Utf8ToCp936(name));
}

std::string NoteCommands::StoreDirectory() const { return NoteStoreDirectory(doc_.GetPath()); }

std::string NoteCommands::StorePathOf(const ItemPath& item) const {
  return DocumentPathOfItem(item, doc_.GetPath()).str();
}

NoteOutcome RefusedStep(const StoreChange& change, std::string message) {
  NoteOutcome out;
  out.reason = change.Error();
  if (change.JournalFailed()) out.saved = false;
  else out.message = std::move(message);
  return out;
}

NoteOutcome NoteCommands::Finish(NoteOutcome outcome, StoreChange& change,
                                 const std::vector<NotebookEvent>& events) {
  if (!change.Save()) {
    outcome.saved = false;
    outcome.reason = doc_.LastSaveError();
    // A delete that deleted for good stays done: the windows follow the database.
    if (!change.KeptChange()) {
      NoteOutcome refused;
      refused.saved = false;
      refused.reason = outcome.reason;
      refused.kind = outcome.kind;
      return refused;
    }
  }
  outcome.done = true;
  Publish(events);
  return outcome;
}

void NoteCommands::RemoveElement(XmlNode element, StoreChange& change) {
  const NodePlace place = PlaceOf(element);
  Remove(element);
  change.OnUndo([element, place] { PutBack(element, place); });
}

std::optional<Placement> NoteCommands::PlacementFor(const ItemPath& selected) {
  if (!IsInFileBox(selected)) return std::nullopt;
  Placement p;
  p.selection = doc_.Select(ElementPathOfItem(selected).str());
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
  p.directory = ExistingPathIgnoringCase(StorePathOf(p.folder));
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

NoteOutcome NoteCommands::NewEntry(const ItemPath& selected, ItemKind kind) {
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
    if (!NameFitsFileSystem(p->directory, file)) return Refused(kMsgNameTooLong);
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
    out.item = ChildOf(p->folder, name);
    return Finish(std::move(out), change, AddedEvents(out.item));
  } catch (const std::exception&) {
    return Refused(kMsgUnexpected);
  }
}

NoteOutcome NoteCommands::NewNote(const ItemPath& selected) {
  return NewEntry(selected, ItemKind::Note);
}

NoteOutcome NoteCommands::NewFolder(const ItemPath& selected) {
  return NewEntry(selected, ItemKind::Folder);
}

NoteOutcome NoteCommands::Rename(const ItemPath& item, std::string_view editedText) {
  // The top-level items are never renamed.
  if (!IsInFileBox(item) || item.size() < 2) return {};
  const std::string name(TrimSpaces(FirstCharacters(editedText, kMaxLabelLength)));
  if (name.empty()) return {};
  if (EqualsIgnoreLatinCase(name, item.back())) return {};
  if (!IsValidNodeName(name)) return Refused(kMsgIllegalName);
  try {
    XmlNode element = doc_.Select(ElementPathOfItem(item).str());
    // Without its element the database could not follow the disk: nothing is renamed.
    if (!element) return Refused(kMsgRenameFailed);
    if (SharesDiskWithTwin(item, element)) return Refused(FormatMessage(kMsgCaseTwins, item.back()));
    const std::string parentDir = ExistingPathIgnoringCase(StorePathOf(ParentOf(item)));
    std::string oldPath = StorePathOf(item);
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
    const std::vector<NotebookEvent> events =
        ChangesBelow(item, NotebookEventKind::kRenamed, &renamedItem);

    const std::string from = ExistingPathIgnoringCase(oldPath);
    const bool moveOnDisk = !SamePath(from, newPath);
    if (moveOnDisk && !NameFitsFileSystem(parentDir, FileNameOf(newPath)))
      return Refused(kMsgNameTooLong);
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
    out.item = renamedItem;
    return Finish(std::move(out), change, events);
  } catch (const std::exception&) {
    return Refused(kMsgUnexpected);
  }
}

NoteOutcome NoteCommands::Copy(const ItemPath& item) {
  if (!IsInFileBox(item)) return {};
  if (EqualsIgnoreLatinCase(ItemTypeOf(doc_, item), "dir")) return Refused(kMsgNoFolderCopy);
  NoteOutcome out;
  out.done = true;
  out.name = item.back();
  return out;
}

NoteOutcome NoteCommands::Paste(const ItemPath& copied, const ItemPath& target) {
  if (copied.empty() || copied.back().empty() || !IsInFileBox(copied))
    return Refused(kMsgCopiedGone);
  if (!IsInFileBox(target)) return {};
  try {
    const std::string sourceName = copied.back();
    XmlNode source = doc_.Select(ElementPathOfItem(copied).str());
    // The copied item lost its element (the file was edited by hand): it no longer exists.
    if (!source) return Refused(kMsgCopiedGone);
    const std::string sourceType = Attribute(source, "type");
    if (EqualsIgnoreLatinCase(sourceType, "dir")) return Refused(kMsgNoFolderCopy);
    if (sourceType.empty()) return Refused(kMsgCopyFailed);  // the file box has no file
    const std::string ext = NoteExtension(sourceType);
    const std::string sourcePath = ExistingPathIgnoringCase(StorePathOf(copied) + ext);

    XmlNode targetElement = doc_.Select(ElementPathOfItem(target).str());
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
    const std::string directory = ExistingPathIgnoringCase(StorePathOf(destination));
    const std::string file = UniqueEntryName(destinationElement, directory, sourceName, ext);
    const std::string destinationPath = JoinPath(directory, file);
    const std::string name = file.substr(0, file.rfind('.'));
    if (!IsValidNodeName(name)) return {};
    if (!NameFitsFileSystem(directory, file)) return Refused(kMsgNameTooLong);
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
    out.item = ChildOf(destination, name);
    return Finish(std::move(out), change, AddedEvents(out.item));
  } catch (const std::exception&) {
    return Refused(kMsgCopyFailed);
  }
}

std::string NoteCommands::DeleteQuestion(const ItemPath& item) {
  XmlNode element = doc_.Select(ElementPathOfItem(item).str());
  const bool note = element && IsNoteType(Attribute(element, "type"));
  return FormatMessage(note ? kAskDeleteNote : kAskDeleteFolder,
                       item.empty() ? std::string() : item.back());
}

NoteOutcome NoteCommands::Delete(const ItemPath& item) {
  if (!IsInFileBox(item)) return {};
  // Whoever shows a note about to go (its editor) learns it first.
  Publish(ChangesBelow(item, NotebookEventKind::kDeleting));
  return DeleteEntry(item);
}

NoteOutcome NoteCommands::DeleteEntry(const ItemPath& item) {
  std::vector<NotebookEvent> changes;
  try {
    const ElementPath elementPath = ElementPathOfItem(item);
    XmlNode element = doc_.Select(elementPath.str());
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
      const std::string file = ExistingPathIgnoringCase(StorePathOf(item) + NoteExtension(type));
      change.Expect(elementPath, false);
      // A note whose file is gone already is still taken off the tree; one whose file stays
      // (it cannot be deleted) is kept, and the user is told.
      // (A directory where the note's file should be is not the note's: it is not taken.)
      if (IsDirectory(file)) return Refused(kMsgDeleteFailed);
      if (!takeOff(file) || Present(file)) return RefusedStep(change, kMsgDeleteFailed);
      changes = ChangesBelow(item, NotebookEventKind::kDeleted);
      for (XmlNode e : doc_.SelectAll(elementPath.str())) RemoveElement(e, change);
    } else {
      out.kind = ItemKind::Folder;
      const std::string directory = ExistingPathIgnoringCase(StorePathOf(item));
      const bool fileBox = IsFileBox(item);
      if (fileBox && element) {
        for (XmlNode c : ShownChildren(element))
          change.Expect(ElementPathOfItem(Child(item, c)), false);
      } else {
        change.Expect(elementPath, false);
      }
      if (!takeOff(directory)) return RefusedStep(change, kMsgDeleteFailed);
      // Nothing of it could go (a read-only store): refused, nothing changed.
      if (Present(directory) && !change.KeptChange()) return RefusedStep(change, kMsgDeleteFailed);
      if (!Present(directory)) {
        changes = ChangesBelow(item, NotebookEventKind::kDeleted);
        if (fileBox) {
          if (element) {
            std::vector<XmlNode> children;
            for (XmlNode c = FirstChild(element); c; c = NextSibling(c)) children.push_back(c);
            for (XmlNode c : children) RemoveElement(c, change);
          }
        } else {
          for (XmlNode e : doc_.SelectAll(elementPath.str())) RemoveElement(e, change);
        }
      } else {
        // Only part of the directory could go: exactly what is gone from disk leaves the
        // database and the tree, what stayed stays, and the user learns what that is.
        if (!element) return Refused(kMsgDeleteFailed);
        PruneGone(element, item, changes, change);
        std::string message = kMsgDeleteFailed;
        for (const std::string& left : Leftovers(directory)) {
          message += '\n';
          message += left;
        }
        out.message = std::move(message);
      }
    }
    return Finish(std::move(out), change, changes);
  } catch (const std::exception&) {
    return Refused(kMsgDeleteFailed);
  }
}

void NoteCommands::PruneGone(XmlNode element, const ItemPath& item,
                             std::vector<NotebookEvent>& changes, StoreChange& change) {
  for (XmlNode c : ShownChildren(element)) {
    const ItemPath child = Child(item, c);
    const std::string type = Attribute(c, "type");
    const bool note = IsNoteType(type);
    const std::string path =
        ExistingPathIgnoringCase(StorePathOf(child) + (note ? NoteExtension(type) : ""));
    if (Present(path)) {
      if (!note) PruneGone(c, child, changes, change);
      continue;
    }
    auto below = ChangesBelow(child, NotebookEventKind::kDeleted);
    changes.insert(changes.end(), below.begin(), below.end());
    RemoveElement(c, change);
  }
}

NoteOutcome NoteCommands::Move(const ItemPath& item, MoveTo to) {
  if (!IsInFileBox(item) || item.size() < 2) return {};
  try {
    XmlNode element = doc_.Select(ElementPathOfItem(item).str());
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
    // The same names at another place in the folder.
    NotebookEvent moved;
    moved.kind = NotebookEventKind::kMoved;
    moved.item = KindOfType(Attribute(element, "type")).value_or(ItemKind::Note);
    moved.oldItem = moved.newItem = item;
    moved.oldElementPath = moved.newElementPath = ElementPathOfItem(item);
    moved.oldDocumentPath = moved.newDocumentPath = DocumentPathOfItem(
        item, doc_.GetPath(),
        moved.item == ItemKind::Note ? NoteExtension(Attribute(element, "type")) : "");
    moved.index = IndexOf(item);
    NoteOutcome out;
    out.name = item.back();
    out.kind = moved.item;
    out.item = item;
    return Finish(std::move(out), change, {moved});
  } catch (const std::exception&) {
    return Refused(kMsgUnexpected);
  }
}

NoteOutcome NoteCommands::Sort(const ItemPath& folder, SortMode mode) {
  if (!IsInFileBox(folder)) return {};
  try {
    XmlNode element = doc_.Select(ElementPathOfItem(folder).str());
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
    NotebookEvent sorted;
    sorted.kind = NotebookEventKind::kReordered;
    sorted.item = ItemKind::Folder;
    sorted.newItem = folder;
    sorted.newElementPath = ElementPathOfItem(folder);
    sorted.newDocumentPath = DocumentPathOfItem(folder, doc_.GetPath());
    NoteOutcome out;
    out.item = folder;
    out.kind = ItemKind::Folder;
    StoreChange change(doc_);
    change.OnUndo([element, all] {
      for (const Entry& e : all) AppendChild(element, e.node);
    });
    return Finish(std::move(out), change, {sorted});
  } catch (const std::exception&) {
    return Refused(kMsgUnexpected);
  }
}

NoteOutcome NoteCommands::SetExpanded(const ItemPath& folder, bool expanded) {
  if (!IsInFileBox(folder)) return {};
  XmlNode element = doc_.Select(ElementPathOfItem(folder).str());
  if (!element) return {};  // nothing is remembered for an item without element
  NoteOutcome out;
  out.done = true;
  out.kind = ItemKind::Folder;
  out.item = folder;
  const char* state = expanded ? "expanded" : "collapsed";
  if (Attribute(element, "state") != state) {
    SetAttribute(element, "state", state);
    out.saved = doc_.Save();
    if (!out.saved) out.reason = doc_.LastSaveError();
  }
  NotebookEvent e;
  e.kind = expanded ? NotebookEventKind::kExpanded : NotebookEventKind::kCollapsed;
  e.item = ItemKind::Folder;
  e.newItem = folder;
  e.newElementPath = ElementPathOfItem(folder);
  e.newDocumentPath = DocumentPathOfItem(folder, doc_.GetPath());
  Publish({e});
  return out;
}

NoteOutcome NoteCommands::OpenNote(const ItemPath& item) {
  if (!IsInFileBox(item)) return {};
  const ElementPath elementPath = ElementPathOfItem(item);
  XmlNode element = doc_.Select(elementPath.str());
  if (!element || !EqualsIgnoreLatinCase(Attribute(element, "type"), "esr")) return {};
  SetAttributeU64(element, "lasttime", static_cast<std::uint64_t>(clock().UnixSeconds()));
  const DocumentPath documentPath(
      ExistingPathIgnoringCase(StorePathOf(item) + std::string(kNoteExtension)));
  OpenNoteEditor(documentPath, elementPath);
  NoteOutcome out;
  out.done = true;
  out.name = item.back();
  out.item = item;
  out.saved = doc_.Save();
  return out;
}

std::optional<NoteCommands::BrowseTarget> NoteCommands::DirectoryToShow(const ItemPath& item) {
  if (!IsInFileBox(item)) return std::nullopt;
  XmlNode element = doc_.Select(ElementPathOfItem(item).str());
  if (element && EqualsIgnoreLatinCase(Attribute(element, "type"), "esr"))
    return BrowseTarget{ExistingPathIgnoringCase(StorePathOf(item) + std::string(kNoteExtension)),
                        true};
  // A folder's directory is made when it is missing (an empty file box has none yet).
  const std::string directory = ExistingPathIgnoringCase(StorePathOf(item));
  if (!IsDirectory(directory)) EnsureParentDirectories(directory + "/");
  return BrowseTarget{directory, false};
}

}  // namespace zorbek
