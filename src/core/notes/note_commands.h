// The commands that change the note tree, as operations on item paths.
//
// Every change runs in one order: the note store on disk, then the database element, then the
// save of the database, then the events that tell the windows (notebook_event.h). The disk steps
// and the save are one StoreChange (store_change.h): a kill anywhere is settled at the next
// open, and a save that fails takes the disk steps and the element back, so the command is
// refused (done = false, saved = false) with disk and database as they were, and nothing is
// published. A command that cannot do a step is refused before it changes anything, and the outcome
// carries the message the user sees (none where the program stays silent). Questions (the delete
// confirmation) are the caller's: these operations ask nothing.
//
// Main thread only, like the document. Items outside the file box (the timetable, the home page)
// are never acted on, so no path outside the note store is touched. No operation shows
// anything: a save that failed is reported in the outcome (saved = false), and the caller shows
// SaveFailedMessage.
//
// Every change tells the publisher (the notebook) what it did to which folders and notes once
// it is complete: added, renamed, moved, reordered, expanded or collapsed; a delete first
// announces the notes it is about to delete (kDeleting), then names those that are gone
// (kDeleted).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/db/xml_document.h"
#include "core/notes/item_path.h"
#include "core/notes/recycle_bin.h"
#include "core/notes/notebook_event.h"

namespace zorbek {

class StoreChange;

// The messages of the commands.
inline constexpr const char* kMsgIllegalName = "存在非法字符如空格、逗号或者数字开头等。";
// A valid name whose file (or the temporary file a save of it goes through) is longer than the
// file system takes.
inline constexpr const char* kMsgNameTooLong = "名称太长，文件系统不接受这么长的文件名。";
inline constexpr const char* kMsgFileExists = "文件已经存在。";
inline constexpr const char* kMsgFolderExists = "文件夹已经存在。";
inline constexpr const char* kMsgRenameFailed = "所请求修改的文件或文件夹不存在。";
inline constexpr const char* kMsgNoFolderCopy = "只支持文件复制，不支持文件夹复制。";
inline constexpr const char* kMsgCopiedGone = "文件已经不存在或者路径不对";
inline constexpr const char* kMsgCopyFailed = "文件复制失败，请检查文件存在与否。";
inline constexpr const char* kMsgDeleteFailed = "删除文件出错，可能文件不存在又或者意外出错。";
// A command stopped by an error nobody foresaw (the XML library refused a name, memory ran out).
inline constexpr const char* kMsgUnexpected = "操作没有完成：出现了意外的错误。";
inline constexpr const char* kAskDeleteNote = "确定删除选择的<%s>文件吗?";
inline constexpr const char* kAskDeleteFolder = "确定删除选择的<%s>文件夹吗?";
// Two elements of one folder whose names differ only in letter case, on one file or directory.
inline constexpr const char* kMsgCaseTwins =
    "<%s>与同一文件夹中名称只差字母大小写的另一项共用磁盘上的同一个文件或文件夹，"
    "为免动到另一项，没有执行这个操作。";

inline constexpr std::string_view kNewNoteBase = "新建ESR文档";
inline constexpr std::string_view kNewFolderBase = "新建文件夹";
inline constexpr std::string_view kNoteExtension = ".esr";
// The longest text a label edit hands to the rename, in characters.
inline constexpr std::size_t kMaxLabelLength = 259;

enum class MoveTo { Top, Up, Down, Bottom };
// Folders sorted, notes kept in order; notes sorted, folders kept; everything sorted together.
enum class SortMode { Folders = 1, Files = 2, Mixed = 3 };

// Where a new entry goes, relative to the selected item.
struct Placement {
  ItemPath folder;         // the folder item that receives the entry
  std::string directory;   // its directory in the note store
  XmlNode folderElement;   // its element
  XmlNode selection;       // the selected item's element (empty when it has none)
  bool afterSelection = false;  // after the selected note; otherwise the folder's first child
};

// How a command went: the one outcome of the tree commands and of the transfers.
struct NoteOutcome {
  bool done = false;      // the change was made
  bool saved = true;      // false when the save after the change failed (the user was told)
  std::string message;    // a refusal's message; empty when the refusal is silent
  // The system's reason when a disk step or the save failed (disk full, read-only, ...): the
  // command line names it; the program names it with a failed save.
  std::string reason;
  std::string name;       // the new name (new note, new folder, rename, paste, move)
  ItemKind kind = ItemKind::Note;  // what the entry is
  // The entry made, renamed or moved, at its new place (empty when none). A folder delete that
  // could remove its directory only in part is done, and message names what stayed.
  ItemPath item;
  // Transfers: the file concerned (the one added, written, or offered), and whether a dropped
  // file was skipped (not an ".esr" file).
  std::string file;
  bool skipped = false;
  explicit operator bool() const { return done; }
};

// A folder or note as the tree shows it, with what lies below it.
struct TreeEntry {
  std::string name;
  ItemKind kind = ItemKind::Folder;
  bool expanded = false;  // its element's state says "expanded"
  // A collapsed folder whose children were left out of a shown-only outline (it has some).
  bool childrenLeftOut = false;
  std::vector<TreeEntry> children;
};

// How much of a folder an outline takes: everything below it, or only what shows (the children
// of the folder itself and, below them, the children of expanded folders only).
enum class OutlineDepth { Whole, Shown };

// One folder or note of an outline, as WalkOutline hands it on.
struct OutlineStep {
  std::string_view name;  // valid during the call only
  ItemKind kind = ItemKind::Folder;
  bool expanded = false;
  bool childrenLeftOut = false;
  int level = 0;  // 0 for a child of the folder walked, 1 for its children, ...
};

class NoteCommands {
 public:
  explicit NoteCommands(CXmlDocument& doc) : doc_(doc) {}

  // Where the events go (the notebook); none by default.
  void SetPublisher(NotebookListener publish) { publish_ = std::move(publish); }
  // Hands events to the publisher (nothing for an empty list), once a change is complete. For
  // the parts that change the tree on their own (drag and drop, import).
  void Publish(const std::vector<NotebookEvent>& events) const;
  // The events that a change of item (as it is now in the database) into newItem makes: one
  // for item and one for every folder and note shown below it (below = true), each with its
  // old names and, unless newItem is null, its new ones. The file box itself is never named,
  // only what lies below it. Call it before the change, while the elements are still in place.
  std::vector<NotebookEvent> ChangesBelow(const ItemPath& item, NotebookEventKind kind,
                                          const ItemPath* newItem = nullptr);
  // The kAdded events of the entry now at item (and of what lies below it), with its index.
  std::vector<NotebookEvent> AddedEvents(const ItemPath& item);
  // The place of item's element among the shown children of its folder (-1 when it has none).
  int IndexOf(const ItemPath& item);

  // The folders and notes shown below folder (the file box: the whole tree), as the tree shows
  // them; the entry of folder itself carries its own state. With OutlineDepth::Shown the
  // children of a collapsed folder below folder are left out (childrenLeftOut says it has some).
  TreeEntry Outline(const ItemPath& folder, OutlineDepth depth = OutlineDepth::Whole);
  // The entries of that outline one at a time, each before what lies below it, without
  // building it (a tree of many folders is filled straight from the elements); the walk ends
  // early when visit returns false. Returns the state of folder itself: expanded or not;
  // nothing when there is no such folder.
  std::optional<bool> WalkOutline(const ItemPath& folder, OutlineDepth depth,
                                  const std::function<bool(const OutlineStep&)>& visit);

  CXmlDocument& Document() { return doc_; }
  std::string StoreDirectory() const;
  // The item's place in the note store's file system: a folder's directory, a note's file
  // without its extension.
  std::string StorePathOf(const ItemPath& item) const;

  // The placement rule: a selected note gives "after it, in its folder"; anything else is the
  // folder that receives the entry at its front. nullopt outside the file box, or when the
  // receiving folder has no element.
  std::optional<Placement> PlacementFor(const ItemPath& selected);

  // A name for a new entry of folder: base+ext, base+"1"+ext, ... the first whose file is free
  // in directory and whose name (without ext) no child element of folder has already.
  std::string UniqueEntryName(XmlNode folderElement, const std::string& directory,
                              std::string_view base, std::string_view ext);

  NoteOutcome NewNote(const ItemPath& selected);
  NoteOutcome NewFolder(const ItemPath& selected);

  // The end of a label edit: editedText is what the user typed.
  NoteOutcome Rename(const ItemPath& item, std::string_view editedText);

  // Whether item may be remembered for a paste (done), or the message why not.
  NoteOutcome Copy(const ItemPath& item);
  // Pastes the copied item as it is now onto target. copied is empty when nothing was copied
  // or the copied item no longer exists.
  NoteOutcome Paste(const ItemPath& copied, const ItemPath& target);

  // The confirmation the user answers before Delete.
  std::string DeleteQuestion(const ItemPath& item);
  NoteOutcome Delete(const ItemPath& item);

  // Puts an entry of the recycle bin back (recycle_bin.h) and publishes what came back.
  RestoreOutcome Restore(const std::string& trashId);

  NoteOutcome Move(const ItemPath& item, MoveTo to);
  // Sorts the children of folder and saves, as every other change does.
  NoteOutcome Sort(const ItemPath& folder, SortMode mode);

  // A folder (or the file box) opened or closed: its element's state is written and saved
  // when it changes, and kExpanded or kCollapsed is published. Refused without an element.
  NoteOutcome SetExpanded(const ItemPath& folder, bool expanded);

  // Opening a note: lasttime, then OpenNoteEditor, then the save. Anything that is not a note
  // (or has no element) is not opened.
  NoteOutcome OpenNote(const ItemPath& item);

  // Whether another element of the item's folder, whose name differs only in letter case,
  // names the same file or directory on disk as the item (a store from a case-insensitive
  // file system): a delete, rename or move of the one would take the other's.
  bool SharesDiskWithTwin(const ItemPath& item, XmlNode element);

  // What "open directory" shows: a note's file (to be shown selected) or a folder's directory.
  struct BrowseTarget {
    std::string path;
    bool selectFile = false;
  };
  std::optional<BrowseTarget> DirectoryToShow(const ItemPath& item);

 private:
  NoteOutcome NewEntry(const ItemPath& selected, ItemKind kind);
  // Saves the change; on success (or for a delete that could not be taken back) the events
  // are published. A failed save leaves the outcome refused and unsaved, and publishes nothing.
  NoteOutcome Finish(NoteOutcome outcome, StoreChange& change,
                     const std::vector<NotebookEvent>& events);
  NoteOutcome DeleteEntry(const ItemPath& item);
  // Takes off the database what of the folder element's subtree is gone from disk, after a
  // delete that could remove its directory only in part.
  void PruneGone(XmlNode element, const ItemPath& item, std::vector<NotebookEvent>& events,
                 StoreChange& change);
  // Takes an element off the database, so that a failed save can put it back.
  void RemoveElement(XmlNode element, StoreChange& change);

  CXmlDocument& doc_;
  NotebookListener publish_;
};

// The refusal of a disk step that could not be taken: with its message and the system's reason;
// a journal that could not be written refuses the command as a failed save (saved = false).
NoteOutcome RefusedStep(const StoreChange& change, std::string message = {});

// The sort key of a name: its CP936 bytes with Latin letters folded, compared as unsigned
// bytes (a double-byte character compares as one unit by its code).
std::string SortKeyOfName(std::string_view name);

}  // namespace zorbek
