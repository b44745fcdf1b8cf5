#include "core/notes/note_transfer.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/app/prompts.h"
#include "core/db/change_journal.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/store_change.h"
#include "core/rtf/note_converter.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;

// A file that cannot become a note for its name: which file, and why.
TransferOutcome NotAdded(TransferOutcome out, const char* why) {
  out.message = FormatMessage(kMsgNotAdded, FileNameOf(out.file)) + "\n" + why;
  return out;
}

TransferOutcome Refused(std::string message = {}) {
  TransferOutcome out;
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

// The extension of a note file of this type: "." and the type in lower case, as the store's
// files are named.
std::string NoteExtension(std::string_view type) {
  std::string ext = FoldLatinCase(type);
  ext.insert(ext.begin(), '.');
  return ext;
}

// The file name without its extension (everything from the last "." on).
std::string BaseNameOf(std::string_view path) {
  std::string name = FileNameOf(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

// A child element of parent whose name equals name ignoring Latin case.
XmlNode ChildNamed(XmlNode parent, std::string_view name) {
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c))
    if (IsElement(c) && EqualsIgnoreLatinCase(c.name(), name)) return c;
  return {};
}

// A private directory for converted copies, removed with what it holds when this goes away:
// beside the note store (one file system with it, and what a killed import leaves there goes at
// the next open), else in the temporary directory.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& databasePath) {
    path_ = databasePath.empty() ? std::string() : MakeImportDirectory(databasePath);
    if (!path_.empty()) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zorbek-import-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDirectory() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

bool CanDragItem(const ItemPath& item) {
  return item.size() >= 2 && item[0] != kScheduleText;
}

bool IsSameOrBelow(const ItemPath& target, const ItemPath& item) {
  return target.size() >= item.size() && std::equal(item.begin(), item.end(), target.begin());
}

std::string FileExtensionOf(std::string_view path) {
  const std::string name = FileNameOf(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// ---- adding a note file ------------------------------------------------------------------

TransferOutcome NoteTransfer::AddNoteFile(const ItemPath& selected, const std::string& file) {
  StoreChange change(commands_.Document());
  std::vector<NotebookEvent> events;
  std::vector<TransferOutcome> results{Add(selected, file, change, events)};
  SaveBatch(results, change, events);
  return results.front();
}

void NoteTransfer::SaveBatch(std::vector<TransferOutcome>& results, StoreChange& change,
                             const std::vector<NotebookEvent>& events) {
  if (std::none_of(results.begin(), results.end(), [](const auto& r) { return r.done; })) return;
  if (!change.Save()) {
    // Nothing of the batch stays: every file added is refused, unsaved.
    for (TransferOutcome& r : results) {
      if (!r.done) continue;
      r.done = false;
      r.saved = false;
      r.reason = commands_.Document().LastSaveError();
    }
    return;
  }
  commands_.Publish(events);
}

TransferOutcome NoteTransfer::Add(const ItemPath& selected, const std::string& file,
                                  StoreChange& change, std::vector<NotebookEvent>& events,
                                  const std::string& chosenFile) {
  CXmlDocument& doc = commands_.Document();
  TransferOutcome out;
  out.file = chosenFile.empty() ? file : chosenFile;  // what the user chose, for the messages
  const auto p = commands_.PlacementFor(selected);
  if (!p) return out;  // no selection in the file box
  const std::string base = BaseNameOf(file);
  ElementPath expected;  // the element the saved database shows, named before the copy
  try {
    std::string name;
    const std::string inPlace =
        ExistingPathIgnoringCase(JoinPath(p->directory, base + std::string(kNoteExtension)));
    if (!base.empty() && SameFile(inPlace, file)) {
      // The file already lies where the note belongs: record it, unless it is recorded.
      if (ChildNamed(p->folderElement, base)) return out;
      if (!IsValidNodeName(base)) return NotAdded(std::move(out), kMsgIllegalName);
      name = base;
    } else {
      const std::string fileName =
          commands_.UniqueEntryName(p->folderElement, p->directory, base, kNoteExtension);
      const std::string target = JoinPath(p->directory, fileName);
      name = fileName.substr(0, fileName.size() - kNoteExtension.size());
      // The reason is told, as a rename tells it: the name comes from the file's.
      if (!IsValidNodeName(name)) return NotAdded(std::move(out), kMsgIllegalName);
      if (!NameFitsFileSystem(p->directory, fileName))
        return NotAdded(std::move(out), kMsgNameTooLong);
      // A source that cannot be read is a copy error; nothing is created for it.
      if (!IsRegularFile(file)) {
        out.message = kMsgFileCopyError;
        return out;
      }
      expected = ElementPathOfItem(ChildOf(p->folder, name));
      change.Expect(expected, true);
      const auto fail = [&](const char* message) {
        change.Unexpect(expected);
        out = RefusedStep(change, message);
        out.file = file;
        return out;
      };
      if (!change.MakeParentDirectories(target)) return fail(kMsgFileCopyError);
      if (!change.CopyFile(file, target))
        // Only a taken name is "already exists"; a source that cannot be read is a copy error.
        return fail(PathExists(target) ? kMsgTargetExists : kMsgFileCopyError);
    }

    XmlNode element = doc.CreateElement(name);
    SetAttribute(element, "type", "esr");
    if (p->afterSelection) InsertAfter(p->selection, element);
    else InsertChild(p->folderElement, element, true);
    change.OnUndo([element] { Remove(element); });
    out.done = true;
    out.name = name;
    out.kind = ItemKind::Note;
    out.item = ChildOf(p->folder, name);
    // Its place now: the later files of a batch are placed after it, so that the events,
    // replayed in order, build the same tree.
    const auto added = commands_.AddedEvents(out.item);
    events.insert(events.end(), added.begin(), added.end());
    return out;
  } catch (const std::exception&) {
    if (!expected.empty()) change.Unexpect(expected);
    out.message = kMsgFileCopyError;
    return out;
  }
}

std::vector<TransferOutcome> NoteTransfer::Import(const ItemPath& selected,
                                                  const std::vector<std::string>& files) {
  // Converted first, without the database lock (the conversion does not touch the database):
  // each copy carries its source's base name, which names the note.
  std::optional<ScratchDirectory> scratch;
  std::vector<std::string> sources(files.size());
  std::vector<bool> failed(files.size(), false);
  std::vector<std::string> reasons(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i];
    if (EqualsIgnoreLatinCase(FileExtensionOf(file), "esr")) {
      sources[i] = file;
      continue;
    }
    if (!scratch) scratch.emplace(commands_.Document().GetPath());
    std::string converted;
    if (!scratch->path().empty()) {
      const std::string dir = JoinPath(scratch->path(), std::to_string(i));
      if (::mkdir(dir.c_str(), 0700) == 0)
        converted = JoinPath(dir, BaseNameOf(file) + std::string(kNoteExtension));
    }
    std::string error;
    if (converted.empty() || !ConvertNoteFile(file, converted, NoteFormat::kRtf, &error)) {
      failed[i] = true;
      reasons[i] = converted.empty() ? SystemReason(errno) : error;
    }
    else
      sources[i] = converted;
  }
  // Then added as one change, saved once after the last file.
  CXmlDocument& doc = commands_.Document();
  StoreChange change(doc);
  std::vector<NotebookEvent> events;
  std::vector<TransferOutcome> results;
  ItemPath selection = selected;
  for (std::size_t i = 0; i < files.size(); ++i) {
    TransferOutcome out;
    if (failed[i]) {
      out.message = kMsgFileCopyError;
      out.reason = reasons[i];
    } else {
      out = Add(selection, sources[i], change, events, files[i]);
    }
    out.file = files[i];
    if (out.done) selection = out.item;
    results.push_back(std::move(out));
  }
  SaveBatch(results, change, events);
  return results;
}

std::vector<TransferOutcome> NoteTransfer::DropFiles(const ItemPath& selected,
                                                     const std::vector<std::string>& files) {
  StoreChange change(commands_.Document());
  std::vector<NotebookEvent> events;
  std::vector<TransferOutcome> results;
  ItemPath selection = selected;
  for (const std::string& file : files) {
    TransferOutcome out;
    if (EqualsIgnoreLatinCase(FileExtensionOf(file), "esr")) {
      out = Add(selection, file, change, events);
      if (out.done) selection = out.item;
    } else {
      out.file = file;
      out.skipped = true;
    }
    results.push_back(std::move(out));
  }
  SaveBatch(results, change, events);
  return results;
}

// ---- export ------------------------------------------------------------------------------

TransferOutcome NoteTransfer::CanExport(const ItemPath& item) const {
  CXmlDocument& doc = commands_.Document();
  if (item.size() < 2 || !IsInFileBox(item) || !EqualsIgnoreLatinCase(ItemTypeOf(doc, item), "esr"))
    return Refused(kMsgExportOnlyNotes);
  TransferOutcome out;
  out.done = true;
  out.name = item.back();
  out.item = item;
  out.file = ExistingPathIgnoringCase(commands_.StorePathOf(item) + std::string(kNoteExtension));
  return out;
}

TransferOutcome NoteTransfer::Export(const ItemPath& item, const std::string& outPath) {
  TransferOutcome out = CanExport(item);
  if (!out.done) return out;
  const std::string source = out.file;
  out.done = false;
  out.file = outPath;
  const auto failed = [&](const std::string& why) {
    out.message = FormatMessage(kMsgExportFailed, outPath + "\n" + why);
    return out;
  };
  // Written over the note's own file, the note would become whatever the export wrote.
  if (SameFile(source, outPath)) return failed("这是笔记本身的文件。");
  std::string error;
  if (!ConvertNoteFile(source, outPath, ExportFormatOf(outPath), &error)) return failed(error);
  out.done = true;
  return out;
}

// ---- moves -------------------------------------------------------------------------------

TransferOutcome NoteTransfer::Move(const ItemPath& dragged, const ItemPath& target, bool folder) {
  CXmlDocument& doc = commands_.Document();
  if (!CanDragItem(dragged) || !IsInFileBox(dragged) || !IsInFileBox(target)) return {};
  if (IsSameOrBelow(target, dragged)) return {};  // onto itself or into its own subtree
  const ItemPath oldParent = ParentOf(dragged);
  if (target == oldParent) return {};  // nothing to do
  try {
    XmlNode element = doc.Select(ElementPathOfItem(dragged).str());
    XmlNode targetElement = doc.Select(ElementPathOfItem(target).str());
    if (!element || !targetElement) return {};
    const std::string type = Attribute(element, "type");
    if (folder ? !EqualsIgnoreLatinCase(type, "dir") : !IsNoteType(type)) return {};

    // Into a folder or the file box as its first child; next to a note, directly before it.
    const bool into =
        IsFileBox(target) || EqualsIgnoreLatinCase(Attribute(targetElement, "type"), "dir");
    const ItemPath destination = into ? target : ParentOf(target);
    XmlNode destinationElement = into ? targetElement : Parent(targetElement);
    if (!destinationElement) return {};
    const bool changesFolder = destination != oldParent;
    // Its file or directory is also its case twin's: moving it would take the other's along.
    if (changesFolder && commands_.SharesDiskWithTwin(dragged, element)) {
      TransferOutcome refused;
      refused.message = FormatMessage(kMsgCaseTwins, dragged.back());
      return refused;
    }

    const std::string ext = folder ? std::string() : NoteExtension(type);
    std::string name = dragged.back();
    std::string from, to;
    if (changesFolder) {
      const std::string directory = ExistingPathIgnoringCase(commands_.StorePathOf(destination));
      const std::string fileName =
          commands_.UniqueEntryName(destinationElement, directory, dragged.back(), ext);
      name = fileName.substr(0, fileName.size() - ext.size());
      from = ExistingPathIgnoringCase(commands_.StorePathOf(dragged) + ext);
      to = JoinPath(directory, fileName);
    }
    // What the move does to the names of the folder or note and everything below it, named
    // while they are still in place; told once the move is saved. A move inside its folder
    // changes no names: only the entry itself is told, for its new place.
    const ItemPath movedItem = ChildOf(destination, name);
    std::vector<NotebookEvent> changes =
        commands_.ChangesBelow(dragged, NotebookEventKind::kMoved, &movedItem);
    if (!changesFolder && !changes.empty()) changes.resize(1);
    // The element is made before the disk changes: a name it refuses leaves the disk alone.
    XmlNode moved = doc.CreateElement(name);
    StoreChange change(doc);
    if (changesFolder) {
      change.Expect(ElementPathOfItem(dragged), false);
      change.Expect(ElementPathOfItem(ChildOf(destination, name)), true);
      if (!change.MakeParentDirectories(to) || !change.Rename(from, to)) {
        Remove(moved);
        TransferOutcome refused;
        refused = RefusedStep(change, kMsgMoveFailed);
        return refused;
      }
    }
    const NodePlace place = PlaceOf(element);
    CopyAttributes(moved, element);
    MoveChildren(moved, element);
    if (into) InsertChild(targetElement, moved, true);
    else InsertBefore(targetElement, moved);
    Remove(element);
    change.OnUndo([element, moved, place] {
      PutBack(element, place);
      MoveChildren(element, moved);
      Remove(moved);
    });
    if (!change.Save()) {
      TransferOutcome refused;
      refused.saved = false;
      refused.reason = doc.LastSaveError();
      return refused;
    }

    TransferOutcome out;
    out.done = true;
    out.name = name;
    out.kind = folder ? ItemKind::Folder : ItemKind::Note;
    out.item = movedItem;
    out.file = to;
    if (!changes.empty()) changes.front().index = commands_.IndexOf(movedItem);
    commands_.Publish(changes);
    return out;
  } catch (const std::exception&) {
    TransferOutcome refused;
    refused.message = kMsgMoveFailed;
    return refused;
  }
}

TransferOutcome NoteTransfer::MoveFolderTo(const ItemPath& folder, const ItemPath& target) {
  return Move(folder, target, true);
}

TransferOutcome NoteTransfer::MoveNoteTo(const ItemPath& note, const ItemPath& target) {
  return Move(note, target, false);
}

TransferOutcome NoteTransfer::Drop(const ItemPath& dragged, const std::optional<ItemPath>& target) {
  CXmlDocument& doc = commands_.Document();
  if (!target || !CanDragItem(dragged)) return {};
  if (IsSameOrBelow(*target, dragged) || !IsInFileBox(*target)) return {};
  TransferOutcome out;
  const std::string type = ItemTypeOf(doc, dragged);
  if (EqualsIgnoreLatinCase(type, "dir")) out = Move(dragged, *target, true);
  else if (EqualsIgnoreLatinCase(type, "esr")) out = Move(dragged, *target, false);
  // The release saves the database, also when nothing moved (a successful move saved already).
  if (!out.done && out.saved) out.saved = doc.Save();
  return out;
}

TransferOutcome NoteTransfer::DragOutFile(const ItemPath& item) const {
  CXmlDocument& doc = commands_.Document();
  if (!CanDragItem(item) || !IsInFileBox(item)) return {};
  if (!EqualsIgnoreLatinCase(ItemTypeOf(doc, item), "esr")) return {};
  const std::string file =
      ExistingPathIgnoringCase(commands_.StorePathOf(item) + std::string(kNoteExtension));
  if (!IsRegularFile(file)) return Refused(kMsgDraggedFileMissing);
  TransferOutcome out;
  out.done = true;
  out.name = item.back();
  out.item = item;
  out.file = file;
  return out;
}

}  // namespace zorbek
