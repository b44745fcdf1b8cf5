#include "core/db/change_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <filesystem>
#include <mutex>
#include <set>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "zorbek-journal 1";

bool Present(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  for (;;) {
    const auto tab = line.find('\t', pos);
    out.push_back(Unescape(line.substr(pos, tab == std::string_view::npos ? line.npos : tab - pos)));
    if (tab == std::string_view::npos) break;
    pos = tab + 1;
  }
  return out;
}

const char* KindName(DiskStep::Kind k) {
  switch (k) {
    case DiskStep::Kind::MadeDirectory: return "mkdir";
    case DiskStep::Kind::CreatedFile: return "create";
    case DiskStep::Kind::Renamed: return "rename";
    case DiskStep::Kind::Removed: return "remove";
  }
  return "";
}

std::string StepLine(const DiskStep& s) {
  std::string line = std::string("step\t") + KindName(s.kind) + "\t" + Escape(s.from) + "\t" +
                     Escape(s.to);
  if (!s.hash.empty()) line += "\t" + Escape(s.hash);
  return line + "\n";
}

bool KindOf(std::string_view name, DiskStep::Kind* k) {
  for (auto c : {DiskStep::Kind::MadeDirectory, DiskStep::Kind::CreatedFile,
                 DiskStep::Kind::Renamed, DiskStep::Kind::Removed})
    if (name == KindName(c)) {
      *k = c;
      return true;
    }
  return false;
}

struct Parsed {
  std::vector<DiskStep> steps;
  std::vector<ElementExpectation> done;
  bool forward = false;
};

bool Parse(std::string_view text, Parsed* out) {
  std::size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    auto nl = text.find('\n', pos);
    // A line without its end was cut short while being appended: its step was never taken.
    if (nl == std::string_view::npos) break;
    const std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (first) {
      if (line != kHeader) return false;
      first = false;
      continue;
    }
    if (line.empty()) continue;
    const auto f = Fields(line);
    if (f[0] == "forward") {
      out->forward = true;
    } else if (f[0] == "step" && (f.size() == 4 || f.size() == 5)) {
      DiskStep s{};
      if (!KindOf(f[1], &s.kind)) return false;
      s.from = f[2];
      s.to = f[3];
      if (f.size() == 5) s.hash = f[4];
      out->steps.push_back(std::move(s));
    } else if (f[0] == "expect" && f.size() == 3) {
      out->done.push_back({f[2], f[1] == "present"});
    } else {
      return false;
    }
  }
  return !first;
}

bool SameContent(const std::string& a, const std::string& b) {
  const auto x = ReadWholeFile(a);
  const auto y = ReadWholeFile(b);
  return x && y && *x == *y;
}

bool ShowsChange(CXmlDocument& doc, const std::vector<ElementExpectation>& done) {
  for (const auto& e : done)
    if (static_cast<bool>(doc.Select(e.elementPath)) != e.present) return false;
  return true;
}

// Whether directory holds nothing but temporary files of atomic writes, which are removed.
bool OnlyWriteLeftoversIn(const std::string& directory) {
  std::vector<std::string> leftovers;
  if (DIR* dir = ::opendir(directory.c_str())) {
    bool others = false;
    while (const dirent* e = ::readdir(dir)) {
      const std::string_view name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = JoinPath(directory, std::string(name));
      struct stat st {};
      if (IsAtomicWriteLeftover(name) && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        leftovers.push_back(path);
      else
        others = true;
    }
    ::closedir(dir);
    if (others) return false;
  } else {
    return false;
  }
  for (const std::string& path : leftovers)
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  return true;
}

// Undoes a step; a file that cannot go without losing text stays and is listed in kept.
bool Undo(const DiskStep& s, std::vector<std::string>* kept) {
  std::error_code ec;
  switch (s.kind) {
    case DiskStep::Kind::MadeDirectory:
      if (!IsDirectory(s.to)) return true;
      // A write into the new directory cut short by a kill leaves its temporary file there;
      // the file was never anyone's note, and the directory goes with it.
      if (OnlyWriteLeftoversIn(s.to)) return ::rmdir(s.to.c_str()) == 0;
      return true;  // something else lives there now: it stays
    case DiskStep::Kind::CreatedFile: {
      if (!Present(s.to)) return true;
      struct stat st {};
      const bool empty = ::lstat(s.to.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
      const bool copy = S_ISREG(st.st_mode) &&
                        ((!s.hash.empty() && ContentHash(s.to) == s.hash) ||
                         (s.hash.empty() && !s.from.empty() && SameContent(s.from, s.to)));
      if (empty || copy) return ::unlink(s.to.c_str()) == 0;
      if (kept) kept->push_back(s.to);
      return true;
    }
    case DiskStep::Kind::Renamed:
      if (Present(s.to) && !Present(s.from)) return RenameNoReplace(s.to, s.from);
      if (Present(s.to) && Present(s.from) && !SamePath(s.from, s.to) && kept)
        kept->push_back(s.to);
      return true;
    case DiskStep::Kind::Removed:
      // What a delete removed cannot come back; what it left stays where it is.
      return true;
  }
  return false;
}

bool EndsWithEsr(std::string_view name) {
  if (name.size() < 5) return false;
  std::string ext(name.substr(name.size() - 4));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".esr";
}

XmlNode ChildNamedIgnoringCase(XmlNode parent, std::string_view name) {
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c))
    if (IsElement(c) && c.name() == name) return c;
  for (XmlNode c = FirstChild(parent); c; c = NextSibling(c)) {
    if (!IsElement(c)) continue;
    const std::string_view n = c.name();
    if (n.size() == name.size() && SamePath(n, name)) return c;
  }
  return {};
}

bool IsNodeName(std::string_view name) {
  return IsValidXmlName(name) && name.find(':') == std::string_view::npos &&
         name.find('/') == std::string_view::npos;
}

// Gives a note file that could not go back an element, so the user finds it in the tree: in
// its own folder when that folder is in the database and the name is free there, else moved
// into the recovered notes' folder. Returns the file's path afterwards ("" when it stays
// unplaced), and the element path in *elementPath.
std::string PlaceKeptFile(CXmlDocument& doc, const std::string& store, const std::string& file,
                          std::string* elementPath) {
  if (!IsRegularFile(file) || !EndsWithEsr(file)) return {};
  if (file.size() <= store.size() + 1 || file.compare(0, store.size(), store) != 0 ||
      file[store.size()] != '/')
    return {};
  const std::string relative = file.substr(store.size() + 1);
  const std::string name = FileNameOf(relative);
  const std::string base = name.substr(0, name.size() - 4);
  const std::string folderDir = DirectoryOf(relative);
  std::string folderPath = kArchivePath;
  if (!folderDir.empty()) folderPath += "/" + folderDir;
  try {
    XmlNode folder = doc.Select(folderPath);
    const std::string type = folder ? Attribute(folder, "type") : std::string();
    const bool isFolder = type.empty() || SamePath(type, "dir");
    if (folder && isFolder && IsNodeName(base) && !ChildNamedIgnoringCase(folder, base)) {
      XmlNode e = doc.CreateElement(base);
      SetAttribute(e, "type", "esr");
      AppendChild(folder, e);
      *elementPath = folderPath + "/" + base;
      return file;
    }
    XmlNode archive = doc.Select(kArchivePath, false);
    if (!archive) return {};
    const std::string recoveredDir = JoinPath(store, kRecoveredFolderName);
    XmlNode recovered = ChildNamedIgnoringCase(archive, kRecoveredFolderName);
    if (!IsDirectory(recoveredDir) && ::mkdir(recoveredDir.c_str(), kPrivateDirectoryMode) != 0) return {};
    if (!recovered) {
      recovered = doc.CreateElement(kRecoveredFolderName);
      SetAttribute(recovered, "type", "dir");
      AppendChild(archive, recovered);
    }
    const std::string stem = IsNodeName(base) ? base : std::string("笔记");
    std::string fileName;
    for (unsigned n = 0;; ++n) {
      const std::string candidate = n == 0 ? stem : stem + std::to_string(n);
      if (!FileExistsIn(recoveredDir, candidate + ".esr") &&
          !ChildNamedIgnoringCase(recovered, candidate)) {
        fileName = candidate;
        break;
      }
    }
    const std::string to = JoinPath(recoveredDir, fileName + ".esr");
    if (!RenameNoReplace(file, to)) return {};
    SyncDirectory(DirectoryOf(file));
    SyncDirectory(recoveredDir);
    SyncDirectory(store);
    XmlNode e = doc.CreateElement(fileName);
    SetAttribute(e, "type", "esr");
    AppendChild(recovered, e);
    *elementPath = std::string(kArchivePath) + "/" + kRecoveredFolderName + "/" + fileName;
    return to;
  } catch (const std::exception&) {
    return {};
  }
}

constexpr std::string_view kDeletedPrefix = ".deleted-";
constexpr std::string_view kImportPrefix = ".import-";

}  // namespace

namespace {
constexpr std::uint64_t kFnvBasis = 1469598103934665603ULL;
void FnvAdd(std::uint64_t& h, const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(p[i]);
    h *= 1099511628211ULL;
  }
}
std::string Hex(std::uint64_t h) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}
}  // namespace

std::string ContentHashOfData(std::string_view data) {
  std::uint64_t h = kFnvBasis;
  FnvAdd(h, data.data(), data.size());
  return Hex(h);
}

std::string ContentHash(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::uint64_t h = kFnvBasis;
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return {};
    }
    if (n == 0) break;
    FnvAdd(h, buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return Hex(h);
}

bool IsDeletedFilesDirectoryName(std::string_view name) {
  for (std::string_view prefix : {kDeletedPrefix, kImportPrefix})
    if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix) return true;
  return false;
}

namespace {
std::string MakeDirectoryBesideStore(const std::string& databasePath, std::string_view prefix) {
  const std::string base = DirectoryOf(NoteStoreDirectory(databasePath));
  if (base.empty() || !IsDirectory(base)) return {};
  std::string pattern = JoinPath(base, std::string(prefix) + "XXXXXX");
  if (!::mkdtemp(pattern.data())) return {};
  return pattern;
}
}  // namespace

std::string MakeDeletedFilesDirectory(const std::string& databasePath) {
  return MakeDirectoryBesideStore(databasePath, kDeletedPrefix);
}

std::string MakeImportDirectory(const std::string& databasePath) {
  return MakeDirectoryBesideStore(databasePath, kImportPrefix);
}

void RemoveDeletedFilesLeftovers(const std::string& databasePath) {
  const std::string base = DirectoryOf(NoteStoreDirectory(databasePath));
  if (base.empty()) return;
  DIR* d = ::opendir(base.c_str());
  if (!d) return;
  std::vector<std::string> found;
  while (const dirent* e = ::readdir(d))
    if (IsDeletedFilesDirectoryName(e->d_name)) found.push_back(JoinPath(base, e->d_name));
  ::closedir(d);
  for (const auto& path : found) {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  if (!found.empty()) SyncDirectory(base);
}

std::string JournalPathOf(const std::string& databasePath) {
  const std::string target = ResolveSymbolicLinks(databasePath);
  std::string dir = DirectoryOf(target);
  if (dir.empty()) dir = ".";
  if (dir != "/") dir += '/';
  return dir + "." + FileNameOf(target) + ".journal";
}

ChangeJournal::ChangeJournal(std::string databasePath)
    : path_(databasePath.empty() ? std::string() : JournalPathOf(databasePath)) {}

bool ChangeJournal::Write(std::string* error) {
  std::string text(kHeader);
  text += '\n';
  if (forward_) text += "forward\n";
  for (const auto& e : done_)
    text += std::string("expect\t") + (e.present ? "present" : "absent") + "\t" +
            Escape(e.elementPath) + "\n";
  for (const auto& s : steps_) text += StepLine(s);
  return WriteFileAtomically(path_, text, error);
}

bool ChangeJournal::Append(const DiskStep& step, bool sync, std::string* error) {
  const std::string line = StepLine(step);
  const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  bool ok = fd >= 0 && WriteAll(fd, line);
  if (ok && sync && ::fdatasync(fd) != 0) ok = false;
  const int saved = errno;
  if (fd >= 0) ::close(fd);
  if (!ok && error) *error = SystemReason(saved);
  return ok;
}

bool ChangeJournal::Begin(std::vector<DiskStep> steps, std::vector<ElementExpectation> done,
                          bool forward, std::string* error) {
  steps_ = std::move(steps);
  done_ = std::move(done);
  forward_ = forward;
  if (path_.empty()) return open_ = true;  // a document without a file: nothing to settle
  open_ = Write(error);
  return open_;
}

bool ChangeJournal::Add(DiskStep step, std::string* error, bool sync) {
  if (path_.empty() || !open_) {
    steps_.push_back(std::move(step));
    return open_;
  }
  if (!Append(step, sync, error)) return false;
  steps_.push_back(std::move(step));
  return true;
}

void ChangeJournal::SyncSteps() const {
  if (!path_.empty() && open_) {
    // Lines appended without a flush of their own reach the disk before the database does.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
      ::fdatasync(fd);
      ::close(fd);
    }
  }
  std::set<std::string> dirs;
  for (const auto& s : steps_) {
    for (const std::string* p : {&s.from, &s.to}) {
      if (p->empty()) continue;
      dirs.insert(DirectoryOf(*p));
      if (s.kind == DiskStep::Kind::MadeDirectory && p == &s.to) dirs.insert(*p);
    }
  }
  for (const auto& d : dirs)
    if (!d.empty()) SyncDirectory(d);
  // Created files are flushed by whoever writes them; an empty one has nothing to flush.
}

void ChangeJournal::Commit() {
  if (!open_) return;
  open_ = false;
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  SyncDirectory(DirectoryOf(path_));
}

bool ChangeJournal::Undo() {
  if (!open_) return true;
  bool ok = true;
  for (auto it = steps_.rbegin(); it != steps_.rend(); ++it)
    ok = zorbek::Undo(*it, nullptr) && ok;
  if (ok) Commit();
  return ok;
}

bool UndoDiskStep(const DiskStep& step) { return Undo(step, nullptr); }

bool StoreFileHasElement(CXmlDocument& doc, const std::string& path) {
  const std::string store = NoteStoreDirectory(doc.GetPath());
  if (path.size() <= store.size() + 1 || path.compare(0, store.size(), store) != 0 ||
      path[store.size()] != '/' || !EndsWithEsr(path))
    return false;
  std::string_view rest = std::string_view(path).substr(store.size() + 1);
  rest.remove_suffix(4);
  XmlNode node = doc.Select(kArchivePath);
  while (node && !rest.empty()) {
    const auto slash = rest.find('/');
    node = ChildNamedIgnoringCase(node, rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (node && !rest.empty() && !SamePath(Attribute(node, "type"), "dir")) return false;
  }
  return node && !SamePath(Attribute(node, "type"), "dir") && !Attribute(node, "type").empty();
}

std::string PlaceNoteFileInTree(CXmlDocument& doc, const std::string& path,
                                std::string* elementPath) {
  return PlaceKeptFile(doc, NoteStoreDirectory(doc.GetPath()), path, elementPath);
}

JournalRecovery RecoverInterruptedChange(CXmlDocument& doc) {
  JournalRecovery out;
  if (doc.GetPath().empty()) return out;
  const std::string path = JournalPathOf(doc.GetPath());
  const auto text = ReadWholeFile(path);
  if (!text) return out;
  out.found = true;
  Parsed j;
  const bool parsed = Parse(*text, &j);
  auto done = [&] {
    ::unlink(path.c_str());
    SyncDirectory(DirectoryOf(path));
  };
  // A journal cut short was never begun: no step of it was taken.
  if (!parsed) {
    done();
    return out;
  }
  if (ShowsChange(doc, j.done)) {
    done();
    return out;
  }
  if (j.forward) {
    for (const auto& s : j.steps) {
      if (s.kind != DiskStep::Kind::Removed || !Present(s.from)) continue;
      std::error_code ec;
      fs::remove_all(s.from, ec);
    }
    bool changed = false;
    for (const auto& s : j.steps)
      if (s.kind == DiskStep::Kind::Removed && Present(s.from)) out.keptFiles.push_back(s.from);
    if (out.keptFiles.empty()) {
      for (const auto& e : j.done) {
        if (e.present) continue;
        if (XmlNode n = doc.Select(e.elementPath)) {
          Remove(n);
          changed = true;
        }
      }
    }
    if (changed && !doc.Save()) return out;  // the journal stays for the next open
    out.finished = changed;
    done();
    return out;
  }
  bool ok = true;
  std::vector<std::string> kept;
  for (auto it = j.steps.rbegin(); it != j.steps.rend(); ++it) ok = Undo(*it, &kept) && ok;
  out.undone = true;
  // What could not go back is never deleted: note files get an element of their own.
  const std::string store = NoteStoreDirectory(doc.GetPath());
  bool placed = false;
  for (const std::string& file : kept) {
    std::string elementPath;
    const std::string now = PlaceKeptFile(doc, store, file, &elementPath);
    out.keptFiles.push_back(now.empty() ? file : now);
    if (!now.empty()) {
      out.placedAs.push_back(elementPath);
      placed = true;
    }
  }
  if (placed && !doc.Save()) return out;  // the journal stays; the files are where they were put
  if (ok) done();
  return out;
}

}  // namespace zorbek
