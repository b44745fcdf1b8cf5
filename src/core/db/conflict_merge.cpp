#include "core/db/conflict_merge.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include <dirent.h>
#include <sys/stat.h>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/database.h"
#include "core/db/database_lock.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/reminders/reminder_record.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

constexpr std::string_view kMark = ".sync-conflict-";

bool AllDigits(std::string_view s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HasExtension(std::string_view name, std::string_view ext) {
  return name.size() > ext.size() &&
         EqualsIgnoreLatinCase(name.substr(name.size() - ext.size()), ext);
}

bool IsType(XmlNode e, const char* type) { return EqualsIgnoreLatinCase(Attribute(e, "type"), type); }

std::vector<XmlNode> Elements(XmlNode parent) {
  std::vector<XmlNode> out;
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c))
    if (IsElement(c)) out.push_back(c);
  return out;
}

// The child element of that name: written exactly so, else ignoring Latin case (the names of a
// folder's items are told apart without regard to case).
XmlNode ChildNamed(XmlNode parent, std::string_view name) {
  XmlNode loose;
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c)) {
    if (!IsElement(c)) continue;
    const std::string n = Name(c);
    if (n == name) return c;
    if (!loose && EqualsIgnoreLatinCase(n, name)) loose = c;
  }
  return loose;
}

bool Exists(const std::string& path, bool directory) {
  const std::string found = ExistingPathIgnoringCase(path);
  return directory ? IsDirectory(found) : IsRegularFile(found);
}

std::map<std::string, std::string> Attributes(XmlNode e) {
  std::map<std::string, std::string> out;
  for (auto a : e.attributes()) out[a.name()] = a.value();
  return out;
}

// ---- folders and notes ----------------------------------------------------------------------

void MergeFolder(CXmlDocument& doc, XmlNode into, XmlNode from, const std::string& dir,
                 MergeReport& report, std::vector<std::string>* absent) {
  XmlNode previous;  // where the last item of the copy's folder is in the database's
  for (XmlNode c : Elements(from)) {
    const std::string name = Name(c);
    const bool folder = IsType(c, "dir");
    const bool note = IsType(c, "esr");
    const std::string path = JoinPath(dir, folder ? name : name + ".esr");
    XmlNode m = ChildNamed(into, name);
    if (!m) {
      // Only what the store holds: an item whose file went, went on the other machine too.
      if ((folder || note) && !Exists(path, folder)) {
        if (absent) absent->push_back(path);
        continue;
      }
      m = doc.CreateElement(name);
      CopyAttributes(m, c);
      if (previous) InsertAfter(previous, m);
      else InsertChild(into, m, true);
      ++(folder ? report.folders : report.notes);
    }
    if (folder && IsType(m, "dir")) MergeFolder(doc, m, c, path, report, absent);
    previous = m;
  }
}

// Takes off the database's notes that the copy lacks and whose file is gone, and folders left
// empty that the copy lacks and whose directory is gone.
void DropGone(XmlNode into, XmlNode from, const std::string& dir, MergeReport& report,
              std::vector<std::string>* absent) {
  for (XmlNode m : Elements(into)) {
    const std::string name = Name(m);
    const XmlNode c = from ? ChildNamed(from, name) : XmlNode();
    if (IsType(m, "dir")) {
      const std::string path = JoinPath(dir, name);
      DropGone(m, c, path, report, absent);
      if (!c && !Exists(path, true) && Elements(m).empty()) {
        Remove(m);
        ++report.dropped;
        if (absent) absent->push_back(path);
      }
    } else if (IsType(m, "esr") && !c && !Exists(JoinPath(dir, name + ".esr"), false)) {
      Remove(m);
      ++report.dropped;
      if (absent) absent->push_back(JoinPath(dir, name + ".esr"));
    }
  }
}

// ---- reminders ------------------------------------------------------------------------------

bool SameReminder(XmlNode a, XmlNode b, bool handling) {
  auto x = Attributes(a);
  auto y = Attributes(b);
  if (!handling)
    for (const char* k : {"valid", "lulowtime", "luhightime"}) {
      x.erase(k);
      y.erase(k);
    }
  return x == y && Text(a) == Text(b);
}

std::int64_t HandledAt(XmlNode r) {
  const auto high = static_cast<std::int64_t>(std::atol(Attribute(r, "luhightime").c_str()));
  const auto low = static_cast<std::uint32_t>(std::atol(Attribute(r, "lulowtime").c_str()));
  return (high << 32) | low;
}

XmlNode ChildElement(CXmlDocument& doc, XmlNode parent, const char* name) {
  if (XmlNode found = ChildNamed(parent, name)) return found;
  return AppendChild(parent, doc.CreateElement(name));
}

void MergeReminders(CXmlDocument& doc, const CXmlDocument& copy, MergeReport& report) {
  const XmlNode theirs = const_cast<CXmlDocument&>(copy).Select(kSchedulePath);
  if (!theirs || Elements(theirs).empty()) return;
  XmlNode ours = doc.Select(kSchedulePath);
  if (!ours) ours = ChildElement(doc, ChildElement(doc, doc.DocumentElement(), "filetree"), "schedule");
  for (XmlNode c : Elements(theirs)) {
    const XmlNode m = ChildNamed(ours, Name(c));
    if (m && Name(m) != Name(c)) continue;  // ids are exact; a case twin is another reminder
    if (!m) {
      ours.append_copy(c);
      ++report.reminders;
    } else if (SameReminder(m, c, true)) {
      continue;
    } else if (SameReminder(m, c, false)) {
      // Fired or handled on both machines: the later handling stands.
      if (HandledAt(c) > HandledAt(m))
        for (const char* k : {"lulowtime", "luhightime", "valid"}) SetAttribute(m, k, Attribute(c, k));
    } else {
      XmlNode twin = ours.append_copy(c);
      twin.set_name(NewReminderId().c_str());
      ++report.conflictReminders;
    }
  }
}

// ---- note conflict copies -------------------------------------------------------------------

struct Adopted {
  std::string from;
  std::string to;
};

// The folder element of a directory below the store (made where the database lacks it).
XmlNode FolderOf(CXmlDocument& doc, const std::string& relative) {
  XmlNode folder = doc.Select(kArchivePath);
  std::size_t start = 0;
  while (folder && start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    XmlNode next = ChildNamed(folder, part);
    if (!next) {
      if (!IsValidXmlName(part)) return XmlNode();
      next = AppendChild(folder, doc.CreateElement(part));
      SetAttribute(next, "type", "dir");
    }
    folder = next;
  }
  return folder;
}

// The folder of a note's conflict copy below the store ("" for the store itself), or nothing
// when the path is not a note's conflict copy there, or is gone.
std::optional<std::string> CopyFolderInStore(const std::string& store, const std::string& file) {
  namespace fs = std::filesystem;
  const auto conflict = ParseConflictName(FileNameOf(file));
  if (!conflict || !HasExtension(conflict->original, ".esr") || !IsRegularFile(file))
    return std::nullopt;
  const fs::path relative =
      fs::path(file).lexically_normal().lexically_relative(fs::path(store).lexically_normal());
  if (relative.empty() || *relative.begin() == ".." || relative.is_absolute()) return std::nullopt;
  const std::string folder = relative.parent_path().generic_string();
  return folder == "." ? std::string() : folder;
}

std::vector<Adopted> AdoptNoteCopies(CXmlDocument& doc, const std::string& databasePath,
                                     const std::vector<std::string>& copies, MergeReport& report) {
  std::vector<Adopted> done;
  const std::string store = NoteStoreDirectory(databasePath);
  for (const std::string& file : copies) {
    const auto conflict = ParseConflictName(FileNameOf(file));
    const std::optional<std::string> folderPath = CopyFolderInStore(store, file);
    if (!conflict || !folderPath) continue;
    const std::string dir = DirectoryOf(file);
    const std::string& relative = *folderPath;
    XmlNode folder = FolderOf(doc, relative);
    if (!folder) continue;
    std::string base = conflict->stem + "_冲突_" + conflict->stamp;
    if (!IsValidXmlName(base)) base = "冲突笔记_" + conflict->stamp;
    // A free name, on disk and among the folder's items.
    std::string name;
    for (unsigned n = 0;; ++n) {
      name = n == 0 ? base : base + std::to_string(n);
      if (!FileExistsIn(dir, name + ".esr") && !ChildNamed(folder, name)) break;
    }
    const std::string to = JoinPath(dir, name + ".esr");
    if (!RenameNoReplace(file, to)) continue;
    done.push_back({file, to});
    XmlNode element = doc.CreateElement(name);
    SetAttribute(element, "type", "esr");
    if (XmlNode original = ChildNamed(folder, conflict->stem)) InsertAfter(original, element);
    else AppendChild(folder, element);
    report.conflictNotes.push_back(relative.empty() ? name : relative + "/" + name);
  }
  return done;
}

}  // namespace

std::optional<ConflictName> ParseConflictName(std::string_view name) {
  const std::size_t at = name.find(kMark);
  if (at == std::string_view::npos || at == 0) return std::nullopt;
  const std::string_view rest = name.substr(at + kMark.size());
  // YYYYMMDD-HHMMSS-DEVICE[.ext]
  if (rest.size() < 8 + 1 + 6 + 1 + 1 || rest[8] != '-' || rest[15] != '-') return std::nullopt;
  const std::string_view date = rest.substr(0, 8);
  const std::string_view time = rest.substr(9, 6);
  if (!AllDigits(date) || !AllDigits(time)) return std::nullopt;
  const std::string_view tail = rest.substr(16);
  const std::size_t dot = tail.find('.');
  const std::string_view device = tail.substr(0, dot);
  if (device.empty() ||
      !std::all_of(device.begin(), device.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
    return std::nullopt;
  ConflictName out;
  out.stem = std::string(name.substr(0, at));
  out.original = out.stem + (dot == std::string_view::npos ? "" : std::string(tail.substr(dot)));
  out.stamp = std::string(date) + "_" + std::string(time.substr(0, 4));
  return out;
}

std::vector<std::string> DatabaseConflictCopies(const std::string& databasePath) {
  const std::string target = ResolveSymbolicLinks(databasePath);
  const std::string own = FileNameOf(target);
  std::vector<std::string> out;
  std::error_code ec;
  const std::string dir = DirectoryOf(target);
  for (std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const auto conflict = ParseConflictName(name);
    std::error_code e;
    if (conflict && conflict->original == own && it->is_regular_file(e))
      out.push_back(JoinPath(dir.empty() ? "." : dir, name));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> NoteConflictCopies(const std::string& databasePath,
                                            const std::atomic<bool>* stop) {
  namespace fs = std::filesystem;
  std::vector<std::string> out;
  const std::string store = NoteStoreDirectory(databasePath);
  std::error_code ec;
  fs::recursive_directory_iterator it(store, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (stop && stop->load(std::memory_order_relaxed)) break;
    const std::string name = it->path().filename().string();
    std::error_code e;
    if (name.find(kMark) == std::string::npos || !it->is_regular_file(e)) continue;
    const auto conflict = ParseConflictName(name);
    if (conflict && HasExtension(conflict->original, ".esr")) out.push_back(it->path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

void MergeDatabaseCopy(CXmlDocument& doc, const CXmlDocument& copy, const std::string& store,
                       MergeReport& report, std::vector<std::string>* absent) {
  XmlNode root = doc.DocumentElement();
  const XmlNode theirRoot = copy.DocumentElement();
  if (!root || !theirRoot) return;
  // What the copy has at the top and the database lacks (a tools list, say) is taken over.
  for (XmlNode c : Elements(theirRoot))
    if (!ChildNamed(root, Name(c))) root.append_copy(c);
  XmlNode archive = doc.Select(kArchivePath);
  const XmlNode theirs = const_cast<CXmlDocument&>(copy).Select(kArchivePath);
  if (!archive) archive = ChildElement(doc, ChildElement(doc, root, "filetree"), "archive");
  if (theirs) MergeFolder(doc, archive, theirs, store, report, absent);
  DropGone(archive, theirs, store, report, absent);
  MergeReminders(doc, copy, report);
}

ConflictCopyScan::ConflictCopyScan(std::string databasePath, std::function<void(Task)> post,
                                   Found found)
    : databasePath_(std::move(databasePath)), post_(std::move(post)), found_(std::move(found)) {
  thread_ = std::thread([this] { Run(); });
}

ConflictCopyScan::~ConflictCopyScan() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void ConflictCopyScan::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
  }
  wake_.notify_one();
}

void ConflictCopyScan::Run() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return requested_ || stop_; });
      if (stop_) return;
      requested_ = false;
    }
    std::vector<std::string> copies = NoteConflictCopies(databasePath_, &stop_);
    if (stop_) return;
    // The findings travel by value: the notebook's thread owns them from here.
    post_([found = found_, copies = std::move(copies)]() mutable { found(std::move(copies)); });
  }
}

namespace {

std::int64_t ChangedAtMillis(const struct stat& st) {
  return static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000 + st.st_ctim.tv_nsec / 1000000;
}

// A sync tool's temporary file of a download under way (Syncthing's on Linux and on Windows).
bool IsSyncDownload(std::string_view name) {
  return (name.starts_with(".syncthing.") || name.starts_with("~syncthing~")) &&
         name.ends_with(".tmp");
}

}  // namespace

std::int64_t SyncSettleWait(const std::string& databasePath,
                            const std::vector<std::string>& copies,
                            const std::vector<std::string>& absent) {
  if (absent.empty()) return 0;
  const std::int64_t now = clock().NowUnixMillis();
  // Status change times: a sync tool sets a file's modification time to the other machine's,
  // but the file arrived here when it was renamed into place.
  std::int64_t newest = 0;
  struct stat st {};
  if (::stat(databasePath.c_str(), &st) == 0) newest = ChangedAtMillis(st);
  for (const std::string& c : copies)
    if (::stat(c.c_str(), &st) == 0) newest = std::max(newest, ChangedAtMillis(st));
  // A clock behind the file system's waits no longer than the whole time.
  std::int64_t wait = std::min(newest + kSyncSettleMillis - now, kSyncSettleMillis);
  // A download under way beside a missing item: looked at again shortly. One that has not
  // moved for long is a leftover of the tool and does not hold the merge up.
  std::set<std::string> dirs;
  for (const std::string& path : absent) {
    std::string dir = DirectoryOf(path);
    while (!dir.empty() && !IsDirectory(dir)) dir = DirectoryOf(dir);
    if (!dir.empty()) dirs.insert(dir);
  }
  for (const std::string& dir : dirs) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) continue;
    while (const dirent* e = ::readdir(d)) {
      if (!IsSyncDownload(e->d_name)) continue;
      const std::string path = JoinPath(dir, e->d_name);
      if (::lstat(path.c_str(), &st) == 0 && now - ChangedAtMillis(st) < kSyncDownloadStaleMillis)
        wait = std::max(wait, kSyncRecheckMillis);
    }
    ::closedir(d);
  }
  return std::max<std::int64_t>(wait, 0);
}

MergeReport MergeConflictCopies(const std::string& databasePath) {
  return MergeConflictCopies(databasePath, NoteConflictCopies(databasePath));
}

MergeReport MergeConflictCopies(const std::string& databasePath,
                                const std::vector<std::string>& noteCopies) {
  MergeReport report;
  const std::vector<std::string> copies = DatabaseConflictCopies(databasePath);
  const std::string storeDirectory = NoteStoreDirectory(databasePath);
  if (copies.empty() &&
      std::none_of(noteCopies.begin(), noteCopies.end(), [&](const std::string& file) {
        return CopyFolderInStore(storeDirectory, file).has_value();
      }))
    return report;
  std::string refusal;
  if (!EnsureWriterLock(databasePath, &refusal)) {
    report.saved = false;
    report.error = refusal;
    return report;
  }
  const std::string store = NoteStoreDirectory(databasePath);
  std::vector<std::string> merged;
  for (int attempt = 0;; ++attempt) {
    report = MergeReport();
    merged.clear();
    CXmlDocument doc;
    const LoadStatus status = LoadDatabaseReadOnly(doc, databasePath);
    if (status == LoadStatus::Unparsable) {
      report.saved = false;
      report.error = "数据库文件无法读取。";
      return report;
    }
    if (status == LoadStatus::Missing) doc.LoadFromString("<list><hotkey/><filetree><archive/></filetree></list>");
    std::vector<std::string> absent;
    for (const std::string& path : copies) {
      CXmlDocument copy;
      if (LoadDatabaseReadOnly(copy, path) != LoadStatus::Loaded) {
        report.unreadable.push_back(path);
        continue;
      }
      MergeDatabaseCopy(doc, copy, store, report, &absent);
      merged.push_back(path);
    }
    // What rests on a file not being here waits until the sync tool has brought what it
    // carries: the database copies are merged at a later look, from the file as it is then.
    // The notes' copies are taken in now.
    if (const std::int64_t wait = SyncSettleWait(databasePath, merged, absent); wait > 0) {
      const std::vector<std::string> unreadable = std::move(report.unreadable);
      report = MergeReport();
      report.unreadable = unreadable;
      report.postponedMillis = wait;
      merged.clear();
      const LoadStatus again = LoadDatabaseReadOnly(doc, databasePath);
      if (again == LoadStatus::Unparsable) {
        report.saved = false;
        report.error = "数据库文件无法读取。";
        return report;
      }
      if (again == LoadStatus::Missing)
        doc.LoadFromString("<list><hotkey/><filetree><archive/></filetree></list>");
    }
    const std::vector<Adopted> adopted = AdoptNoteCopies(doc, databasePath, noteCopies, report);
    if ((merged.empty() && adopted.empty()) || doc.Save()) break;
    // Nothing of a merge that was not saved stays: the copies go back to their names.
    for (auto it = adopted.rbegin(); it != adopted.rend(); ++it) RenameNoReplace(it->to, it->from);
    const std::string reason = doc.LastSaveError();
    if (reason != kChangedOnDiskReason || attempt == 2) {
      report = MergeReport();
      report.saved = false;
      report.error = SaveFailedMessage(databasePath, reason);
      return report;
    }
  }
  // Merged copies are kept, under a name that is not merged again.
  for (const std::string& path : merged) {
    const std::string aside = KeptAsideName(path, "merged");
    if (RenameNoReplace(path, aside)) report.keptCopies.push_back(aside);
  }
  return report;
}

std::string MergeReportMessage(const MergeReport& r) {
  if (!r.error.empty())
    return FormatMessage("同步工具留下的冲突副本没有合并，两边的版本都还在原处：\n%s", r.error);
  std::string text = r.Merged() ? "已合并同步工具留下的冲突副本（另一台电脑上的修改）。" : "";
  if (!r.keptCopies.empty()) {
    text += "\n数据库：新增文件夹 " + std::to_string(r.folders) + " 个，笔记 " +
            std::to_string(r.notes) + " 篇，提醒 " + std::to_string(r.reminders) + " 条";
    if (r.conflictReminders > 0)
      text += "；两边都修改过的提醒 " + std::to_string(r.conflictReminders) + " 条，两份都保留";
    text += "。\n冲突副本已保留为：";
    for (const auto& k : r.keptCopies) text += "\n  " + k;
  }
  if (!r.conflictNotes.empty()) {
    text += "\n两边都修改过的笔记，另一份已作为冲突笔记放在原笔记旁边，可以打开比较后删除：";
    for (const auto& n : r.conflictNotes) text += "\n  " + n;
  }
  for (const auto& u : r.unreadable)
    text += std::string(text.empty() ? "" : "\n") + "无法读取、没有合并的冲突副本：" + u;
  return text;
}

}  // namespace zorbek
