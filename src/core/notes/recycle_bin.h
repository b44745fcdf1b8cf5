// The recycle bin ("回收站") of a database: what a delete takes off the note tree is kept here,
// beside the note store, until it is restored, deleted for good, or older than the keeping time.
//
// Layout: <database without extension>/trash/<id>/ for each deleted item, where id is the UTC
// time of the delete and six random characters ("20261209-211500-Ab3xYz"):
//   item.xml  the record: where the item stood (the element path of its folder, its neighbours
//             and its index there), when it was deleted, and a copy of its element with every
//             attribute and everything below it (for the file box, every child of the archive);
//   files/    its note file or its directory, moved out of the store as they were (for the file
//             box, the whole store directory "archive").
// The bin is never inside the note store, so nothing scans it as notes; the files in it are the
// store's own files and can be copied out by hand.
//
// A delete puts its item into the bin within its own StoreChange (BeginTrashEntry: the entry's
// directory and record are steps of the change, the files are set aside into it), so a kill at
// any moment leaves the item either in the tree (the change was undone) or in the bin (it was
// saved). A restore is one StoreChange the other way: folders that are gone are made again, the
// files go back under a free name, the elements go back at their place, and the entry is set
// aside with the change (removed once the database is saved).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/xml_document.h"
#include "core/notes/item_path.h"

namespace zorbek {

class StoreChange;

// How long deleted items are kept, and where that is set: Zorbek.ini, [RecycleBin] KeepDays
// (0 keeps them until the user empties the bin).
inline constexpr int kDefaultTrashKeepDays = 30;
inline constexpr const char* kTrashSection = "RecycleBin";
inline constexpr const char* kTrashKeepDaysKey = "KeepDays";

inline constexpr const char* kMsgTrashItemGone = "回收站里没有这一项。";
inline constexpr const char* kMsgTrashRestoreFailed = "无法恢复：";
inline constexpr const char* kMsgTrashPlaceIsNote = "原来所在的文件夹已被同名笔记占用。";
inline constexpr const char* kMsgTrashPurgeFailed = "无法彻底删除：";

// One deleted item, as the bin lists it.
struct TrashEntry {
  std::string id;           // the entry's directory name
  ElementPath folderPath;   // of the folder it was in (the archive for the file box)
  std::string name;         // its name ("文件箱" for the file box)
  bool fileBox = false;
  bool folder = false;      // a folder (or the file box), else a note
  std::int64_t deletedAt = 0;  // seconds since 1970-01-01 UTC
  std::uint64_t bytes = 0;     // the size of its files
  int notes = 0;               // how many notes it holds (1 for a note)

  // Where it was, as the tree names it: "文件箱/B/A".
  std::string TreePath() const;
};

class RecycleBin {
 public:
  // The bin of the database at databasePath.
  explicit RecycleBin(const std::string& databasePath);

  const std::string& Directory() const { return dir_; }
  // Every entry whose record can be read, newest first.
  std::vector<TrashEntry> List() const;
  std::optional<TrashEntry> Find(std::string_view id) const;
  // An entry by id, else the newest entry deleted from that tree path ("B/A", "文件箱/B/A", "/"
  // for the file box).
  std::optional<TrashEntry> Resolve(std::string_view idOrPath) const;

  // Deletes an entry for good. False (with the system's reason) when it could not go; what it
  // left is no longer listed and goes with the next pruning.
  bool Purge(const std::string& id, std::string* error = nullptr) const;
  // Deletes every entry for good; returns how many went.
  int Empty() const;
  // Deletes the entries deleted more than days days before now (seconds since 1970); days <= 0
  // keeps everything. Returns how many went. Also removes what killed purges left.
  int Prune(int days, std::int64_t now) const;

  // The path of an entry's directory, record and files.
  std::string EntryDirectory(const std::string& id) const;

 private:
  std::string dir_;
};

// The keeping time set in the settings file (kDefaultTrashKeepDays when it is not set).
int TrashKeepDays(const std::string& settingsFile);

// Used by a delete within its change: makes the entry's directory and writes its record, as
// steps of change. item is the deleted item, element its element (may be empty: a folder the
// database does not know). Returns the entry's "files" directory, into which the change then
// sets the deleted files aside (StoreChange::KeepDeletedIn); "" when the entry could not be
// made (change.Error() says why).
std::string BeginTrashEntry(StoreChange& change, CXmlDocument& doc, const ItemPath& item,
                            XmlNode element, std::int64_t now);

// What a restore did.
struct RestoreOutcome {
  bool done = false;
  bool saved = true;       // false: the save failed and everything was taken back
  std::string message;     // a refusal's message
  std::string reason;      // the system's reason of a failed step or save
  std::vector<ItemPath> restored;  // the items that came back (the file box: its children)
  std::vector<ItemPath> madeFolders;  // folders made again because they were gone
};

// Puts an entry of the bin back into doc's tree: into the folder it was in (folders that are gone
// are made again), at its place among the siblings that are still there, under a free name when
// its own is taken ("名称1", "名称2", ...). On the document's thread.
RestoreOutcome RestoreFromTrash(CXmlDocument& doc, const std::string& id);

}  // namespace zorbek
