#include "core/notes/recycle_bin.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "core/app/ini_file.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_history.h"
#include "core/notes/store_change.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordName = "item.xml";
constexpr const char* kFilesName = "files";
constexpr const char* kHistoryName = "history";
constexpr std::string_view kPurgePrefix = ".purge-";

bool Present(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string NoteExtensionOf(std::string_view type) { return "." + FoldLatinCase(type); }

ItemPath ChildOfPath(ItemPath folder, const std::string& name) {
  folder.push_back(name);
  return folder;
}

// A child element of parent named name ignoring Latin case, other than self.
XmlNode ChildNamedLike(XmlNode parent, std::string_view name) {
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c))
    if (IsElement(c) && c.name() == name) return c;
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c))
    if (IsElement(c) && EqualsIgnoreLatinCase(c.name(), name)) return c;
  return {};
}

int NotesIn(XmlNode element) {
  int n = 0;
  for (XmlNode c : ShownChildren(element))
    n += KindOfType(Attribute(c, "type")) == ItemKind::Note ? 1 : NotesIn(c);
  return n;
}

std::uint64_t BytesBelow(const std::string& path) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code e;
    if (it->is_regular_file(e) && !it->is_symlink(e)) total += it->file_size(e);
  }
  return total;
}

std::string EntryName(std::int64_t now) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned> counter{0};
  const std::time_t t = static_cast<std::time_t>(now);
  std::tm tm {};
  ::gmtime_r(&t, &tm);
  char stamp[80];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d-", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::uint64_t r = (static_cast<std::uint64_t>(::getpid()) << 32) ^
                    static_cast<std::uint64_t>(std::time(nullptr)) ^
                    (static_cast<std::uint64_t>(counter++ + 1) * 0x9E3779B97F4A7C15ULL) ^
                    reinterpret_cast<std::uintptr_t>(&counter);
  std::string out = stamp;
  for (int i = 0; i < 6; ++i, r /= 62) out += kChars[r % 62];
  return out;
}

bool ReadRecord(const std::string& path, pugi::xml_document& rec) {
  const auto text = ReadWholeFile(path);
  if (!text) return false;
  if (!rec.load_buffer(text->data(), text->size(), pugi::parse_default, pugi::encoding_utf8))
    return false;
  return static_cast<bool>(rec.child("trashitem"));
}

std::optional<TrashEntry> EntryOf(const std::string& binDir, const std::string& id) {
  if (id.empty() || id[0] == '.') return std::nullopt;
  const std::string dir = JoinPath(binDir, id);
  pugi::xml_document rec;
  if (!ReadRecord(JoinPath(dir, kRecordName), rec)) return std::nullopt;
  const XmlNode r = rec.child("trashitem");
  TrashEntry e;
  e.id = id;
  e.folderPath = ElementPath(Attribute(r, "folder"));
  e.name = Attribute(r, "name");
  const std::string kind = Attribute(r, "kind");
  e.fileBox = kind == "filebox";
  e.folder = kind != "note";
  e.deletedAt = std::strtoll(Attribute(r, "deleted").c_str(), nullptr, 10);
  e.bytes = BytesBelow(JoinPath(dir, kFilesName));
  if (e.fileBox) {
    for (XmlNode c : ShownChildren(r))
      e.notes += KindOfType(Attribute(c, "type")) == ItemKind::Note ? 1 : NotesIn(c);
  } else if (!e.folder) {
    e.notes = 1;
  } else if (XmlNode c = FirstChild(r); c) {
    e.notes = NotesIn(c);
  }
  return e;
}

// The components of an element path below the archive ("" for the archive itself); nullopt for
// a path outside it.
std::optional<std::vector<std::string>> ComponentsBelowArchive(const std::string& path) {
  const std::string_view archive = kArchivePath;
  if (path.compare(0, archive.size(), archive) != 0) return std::nullopt;
  std::string_view rest = std::string_view(path).substr(archive.size());
  if (!rest.empty() && rest[0] != '/') return std::nullopt;
  std::vector<std::string> out;
  while (!rest.empty()) {
    rest.remove_prefix(1);
    const auto slash = rest.find('/');
    out.emplace_back(rest.substr(0, slash));
    if (out.back().empty()) return std::nullopt;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  return out;
}

// Inserts a copy of the record's element into folder at the recorded place.
XmlNode InsertAtPlace(XmlNode folder, XmlNode copyFrom, XmlNode record) {
  const std::string before = Attribute(record, "before");
  const std::string after = Attribute(record, "after");
  if (!before.empty())
    if (XmlNode b = folder.child(before.c_str()); b) return folder.insert_copy_before(copyFrom, b);
  if (!after.empty())
    if (XmlNode a = folder.child(after.c_str()); a) return folder.insert_copy_after(copyFrom, a);
  const long index = std::strtol(Attribute(record, "index").c_str(), nullptr, 10);
  const std::vector<XmlNode> shown = ShownChildren(folder);
  if (index >= 0 && static_cast<std::size_t>(index) < shown.size())
    return folder.insert_copy_before(copyFrom, shown[static_cast<std::size_t>(index)]);
  return folder.append_copy(copyFrom);
}

}  // namespace

std::string TrashEntry::TreePath() const {
  std::string out(kFileBoxText);
  if (fileBox) return out;
  if (auto parts = ComponentsBelowArchive(folderPath.str()))
    for (const auto& p : *parts) out += "/" + p;
  return out + "/" + name;
}

RecycleBin::RecycleBin(const std::string& databasePath)
    : dir_(JoinPath(DirectoryOf(NoteStoreDirectory(databasePath)), "trash")) {}

std::string RecycleBin::EntryDirectory(const std::string& id) const { return JoinPath(dir_, id); }

std::vector<TrashEntry> RecycleBin::List() const {
  std::vector<TrashEntry> out;
  DIR* d = ::opendir(dir_.c_str());
  if (!d) return out;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  ::closedir(d);
  for (const auto& n : names)
    if (auto e = EntryOf(dir_, n)) out.push_back(std::move(*e));
  std::sort(out.begin(), out.end(), [](const TrashEntry& a, const TrashEntry& b) {
    return a.deletedAt != b.deletedAt ? a.deletedAt > b.deletedAt : a.id > b.id;
  });
  return out;
}

std::optional<TrashEntry> RecycleBin::Find(std::string_view id) const {
  if (id.find('/') != std::string_view::npos) return std::nullopt;
  return EntryOf(dir_, std::string(id));
}

std::optional<TrashEntry> RecycleBin::Resolve(std::string_view idOrPath) const {
  if (auto e = Find(idOrPath)) return e;
  std::string path(idOrPath);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path == "/" || path == kFileBoxText) {
    path = std::string(kFileBoxText);
  } else {
    if (!path.empty() && path[0] == '/') path.erase(0, 1);
    if (path.compare(0, kFileBoxText.size() + 1, std::string(kFileBoxText) + "/") != 0)
      path = std::string(kFileBoxText) + "/" + path;
  }
  for (auto& e : List())  // newest first
    if (e.TreePath() == path) return e;
  return std::nullopt;
}

bool RecycleBin::Purge(const std::string& id, std::string* error) const {
  if (id.empty() || id[0] == '.' || id.find('/') != std::string::npos) return false;
  const std::string from = EntryDirectory(id);
  if (!IsDirectory(from)) {
    if (error) *error = kMsgTrashItemGone;
    return false;
  }
  // Out of the list at once (a rename), then removed: a kill in between leaves a name that is
  // never listed and goes with the next pruning.
  const std::string to = JoinPath(dir_, std::string(kPurgePrefix) + id);
  if (!RenameNoReplace(from, to)) {
    if (error) *error = SystemReason(errno);
    return false;
  }
  std::error_code ec;
  fs::remove_all(to, ec);
  SyncDirectory(dir_);
  if (ec && error) *error = ec.message();
  return !ec;
}

int RecycleBin::Empty() const {
  int n = 0;
  for (const auto& e : List()) n += Purge(e.id) ? 1 : 0;
  Prune(0, 0);  // what killed purges left
  return n;
}

int RecycleBin::Prune(int days, std::int64_t now) const {
  int n = 0;
  if (days > 0) {
    const std::int64_t limit = now - static_cast<std::int64_t>(days) * 86400;
    for (const auto& e : List())
      if (e.deletedAt < limit && Purge(e.id)) ++n;
  }
  DIR* d = ::opendir(dir_.c_str());
  if (!d) return n;
  std::vector<std::string> left;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name.substr(0, kPurgePrefix.size()) == kPurgePrefix) left.push_back(JoinPath(dir_, name));
  }
  ::closedir(d);
  for (const auto& p : left) {
    std::error_code ec;
    fs::remove_all(p, ec);
  }
  return n;
}

int TrashKeepDays(const std::string& settingsFile) {
  const std::string v = ReadProfileString(settingsFile, kTrashSection, kTrashKeepDaysKey, "");
  if (v.empty()) return kDefaultTrashKeepDays;
  char* end = nullptr;
  const long days = std::strtol(v.c_str(), &end, 10);
  if (end == v.c_str() || days < 0) return kDefaultTrashKeepDays;
  return static_cast<int>(std::min<long>(days, 100000));
}

std::string BeginTrashEntry(StoreChange& change, CXmlDocument& doc, const ItemPath& item,
                            XmlNode element, std::int64_t now) {
  const std::string databasePath = doc.GetPath();
  const RecycleBin bin(databasePath);
  // The bin itself is a step of the change too, so that a change taken back leaves nothing.
  if (!IsDirectory(bin.Directory()) &&
      !change.MakeParentDirectories(JoinPath(bin.Directory(), "x")))
    return {};
  std::string entry;
  for (int attempt = 0; attempt < 100 && entry.empty(); ++attempt) {
    const std::string candidate = bin.EntryDirectory(EntryName(now));
    if (!Present(candidate)) entry = candidate;
  }
  if (entry.empty() || !change.MakeDirectory(entry)) return {};

  const bool fileBox = IsFileBox(item);
  const std::string type = element ? Attribute(element, "type") : std::string();
  const bool note = element && IsNoteType(type);
  pugi::xml_document rec;
  XmlNode r = rec.append_child("trashitem");
  r.append_attribute("deleted") = std::to_string(now).c_str();
  r.append_attribute("kind") = fileBox ? "filebox" : note ? "note" : "folder";
  const ItemPath folderItem(item.begin(), item.end() - (fileBox ? 0 : 1));
  r.append_attribute("folder") = ElementPathOfItem(folderItem).str().c_str();
  r.append_attribute("name") = item.empty() ? "" : item.back().c_str();
  // The name its file or directory has on disk (its letter case may differ from the element's).
  const std::string docPath = DocumentPathOfItem(item, databasePath).str();
  const std::string onDisk =
      fileBox ? NoteStoreDirectory(databasePath)
              : ExistingPathIgnoringCase(note ? docPath + NoteExtensionOf(type) : docPath);
  r.append_attribute("file") = FileNameOf(onDisk).c_str();
  if (fileBox) {
    for (XmlNode c = FirstChild(element); c; c = NextSibling(c))
      if (IsElement(c)) r.append_copy(c);
  } else if (element) {
    // Its place: the shown neighbours it had, and its index among the shown children.
    const std::vector<XmlNode> shown = ShownChildren(Parent(element));
    const auto it = std::find(shown.begin(), shown.end(), element);
    if (it != shown.end()) {
      r.append_attribute("index") = std::to_string(it - shown.begin()).c_str();
      if (it != shown.begin()) r.append_attribute("after") = std::prev(it)->name();
      if (std::next(it) != shown.end()) r.append_attribute("before") = std::next(it)->name();
    }
    r.append_copy(element);
  }
  std::ostringstream text;
  rec.save(text, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  if (!change.WriteNewFile(JoinPath(entry, kRecordName), text.str())) return {};
  const std::string files = JoinPath(entry, kFilesName);
  if (!change.MakeDirectory(files)) return {};
  // The item's history goes with it.
  const std::string history =
      fileBox ? HistoryDirectory(databasePath)
              : ExistingPathIgnoringCase(HistoryPathOf(databasePath, onDisk));
  if (!history.empty() && IsDirectory(history) &&
      !change.Rename(history, JoinPath(entry, kHistoryName)))
    return {};
  return files;
}

RestoreOutcome RestoreFromTrash(CXmlDocument& doc, const std::string& id) {
  RestoreOutcome out;
  const RecycleBin bin(doc.GetPath());
  const std::string entry = bin.EntryDirectory(id);
  pugi::xml_document rec;
  if (id.empty() || id[0] == '.' || id.find('/') != std::string::npos ||
      !ReadRecord(JoinPath(entry, kRecordName), rec)) {
    out.message = kMsgTrashItemGone;
    return out;
  }
  const XmlNode r = rec.child("trashitem");
  const std::string kind = Attribute(r, "kind");
  const bool fileBox = kind == "filebox";
  const auto parts = ComponentsBelowArchive(Attribute(r, "folder"));
  if (!parts) {
    out.message = kMsgTrashItemGone;
    return out;
  }
  const auto refuse = [&](const StoreChange& change, std::string message) {
    out.message = std::string(kMsgTrashRestoreFailed) + message;
    out.reason = change.Error();
    out.restored.clear();
    out.madeFolders.clear();
    if (change.JournalFailed()) out.saved = false;
    return out;
  };
  try {
    StoreChange change(doc);
    const std::string store = NoteStoreDirectory(doc.GetPath());
    XmlNode folder = doc.Select(kArchivePath, true);
    ItemPath folderItem{std::string(kFileBoxText)};
    std::string directory = ExistingPathIgnoringCase(store);
    if (!IsDirectory(directory) && !change.MakeParentDirectories(JoinPath(store, "x")))
      return refuse(change, change.Error());
    // The folders it was in; those that are gone are made again (appended to their folder).
    for (const std::string& name : *parts) {
      XmlNode next = ChildNamedLike(folder, name);
      if (next && KindOfType(Attribute(next, "type")) != ItemKind::Folder)
        return refuse(change, kMsgTrashPlaceIsNote);
      const std::string nextDir = ExistingPathIgnoringCase(JoinPath(directory, name));
      if (!next) {
        next = doc.CreateElement(name);
        SetAttribute(next, "type", "dir");
        AppendChild(folder, next);
        change.OnUndo([next] { Remove(next); });
        out.madeFolders.push_back(ChildOfPath(folderItem, name));
        change.Expect(ElementPathOfItem(out.madeFolders.back()), true);
      }
      if (!IsDirectory(nextDir) && !change.MakeDirectory(nextDir))
        return refuse(change, change.Error());
      folderItem.push_back(ElementName(next));
      folder = next;
      directory = nextDir;
    }
    const std::string files = JoinPath(entry, kFilesName);
    // The items to put back: the one element, or every child of the file box.
    struct Back {
      XmlNode copy;          // in the record
      std::string fromPath;  // its file or directory in the bin ("" when it had none)
    };
    std::vector<Back> back;
    if (fileBox) {
      const std::string oldStore = JoinPath(files, Attribute(r, "file"));
      for (XmlNode c = FirstChild(r); c; c = NextSibling(c)) {
        if (!IsElement(c)) continue;
        const auto k = KindOfType(Attribute(c, "type"));
        std::string from;
        if (k) {
          from = ExistingPathIgnoringCase(
              JoinPath(oldStore, std::string(c.name()) +
                                     (*k == ItemKind::Note ? NoteExtensionOf(Attribute(c, "type"))
                                                           : std::string())));
        }
        back.push_back({c, from});
      }
    } else {
      XmlNode c = FirstChild(r);
      while (c && !IsElement(c)) c = NextSibling(c);
      back.push_back({c, JoinPath(files, Attribute(r, "file"))});
    }
    for (const Back& b : back) {
      const bool hasFile = !b.fromPath.empty() && Present(b.fromPath);
      const std::string recordedName = b.copy ? b.copy.name() : Attribute(r, "name");
      const std::string type = b.copy ? Attribute(b.copy, "type") : std::string("dir");
      const auto k = KindOfType(type);
      const bool note = k == ItemKind::Note;
      const std::string ext = note ? NoteExtensionOf(type) : std::string();
      // A free name: its own, else with 1, 2, ... (the file and the element both free).
      std::string name = recordedName;
      if (k) {
        for (unsigned n = 1; ChildNamedLike(folder, name) || FileExistsIn(directory, name + ext);
             ++n)
          name = recordedName + std::to_string(n);
      }
      if (k && name != recordedName && !IsValidNodeName(name))
        return refuse(change, kMsgIllegalName);
      const std::string to = JoinPath(directory, name + ext);
      // What the saved database shows once it is whole, named before the disk changes.
      if (k) change.Expect(ElementPathOfItem(ChildOfPath(folderItem, name)), true);
      if (k && hasFile && !change.Rename(b.fromPath, to)) return refuse(change, change.Error());
      // A note whose file was gone already when it was deleted comes back empty; a folder
      // whose directory was gone comes back with an empty one, so store and tree agree.
      if (k && !hasFile && (note ? !change.CreateEmptyFile(to) : !change.MakeDirectory(to)))
        return refuse(change, change.Error());
      XmlNode placed;
      if (b.copy) {
        placed = fileBox ? folder.append_copy(b.copy) : InsertAtPlace(folder, b.copy, r);
      } else {
        placed = doc.CreateElement(name);
        SetAttribute(placed, "type", "dir");
        AppendChild(folder, placed);
      }
      if (!placed) return refuse(change, kMsgTrashItemGone);
      if (name != recordedName) placed.set_name(name.c_str());
      change.OnUndo([placed] { Remove(placed); });
      // Its history comes back with it, where no other history is.
      const std::string history = JoinPath(entry, kHistoryName);
      const std::string historyFrom =
          fileBox ? JoinPath(history, b.copy ? std::string(b.copy.name()) : std::string())
                  : history;
      const std::string historyTo = HistoryPathOf(doc.GetPath(), to);
      if (k && IsDirectory(historyFrom) && !historyTo.empty() && !Present(historyTo) &&
          (!change.MakeParentDirectories(historyTo) || !change.Rename(historyFrom, historyTo)))
        return refuse(change, change.Error());
      if (k) out.restored.push_back(ChildOfPath(folderItem, name));
    }
    // The entry itself goes with the change.
    if (!change.SetAside(entry)) return refuse(change, change.Error());
    if (!change.Save()) {
      out.saved = false;
      out.reason = doc.LastSaveError();
      out.restored.clear();
      out.madeFolders.clear();
      return out;
    }
    out.done = true;
    return out;
  } catch (const std::exception&) {
    out.message = kMsgTrashItemGone;
    out.restored.clear();
    out.madeFolders.clear();
    return out;
  }
}

RestoreOutcome NoteCommands::Restore(const std::string& trashId) {
  RestoreOutcome out = RestoreFromTrash(doc_, trashId);
  if (!out.done) return out;
  // A folder made again comes with everything below it, what came back included.
  std::vector<NotebookEvent> events;
  const auto add = [&](const ItemPath& item) {
    const auto e = AddedEvents(item);
    events.insert(events.end(), e.begin(), e.end());
  };
  if (!out.madeFolders.empty()) add(out.madeFolders.front());
  else
    for (const ItemPath& item : out.restored) add(item);
  Publish(events);
  return out;
}

}  // namespace zorbek
