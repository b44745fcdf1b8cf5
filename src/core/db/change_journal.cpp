#include "core/db/change_journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <set>

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
    if (nl == std::string_view::npos) nl = text.size();
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
    } else if (f[0] == "step" && f.size() == 4) {
      DiskStep s{};
      if (!KindOf(f[1], &s.kind)) return false;
      s.from = f[2];
      s.to = f[3];
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

// Undoes a step; a file that cannot go without losing text stays and is listed in kept.
bool Undo(const DiskStep& s, std::vector<std::string>* kept) {
  std::error_code ec;
  switch (s.kind) {
    case DiskStep::Kind::MadeDirectory:
      if (!IsDirectory(s.to)) return true;
      if (fs::is_empty(s.to, ec)) return ::rmdir(s.to.c_str()) == 0;
      return true;  // something else lives there now: it stays
    case DiskStep::Kind::CreatedFile: {
      if (!Present(s.to)) return true;
      struct stat st {};
      const bool empty = ::lstat(s.to.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
      if (empty || (!s.from.empty() && SameContent(s.from, s.to))) return ::unlink(s.to.c_str()) == 0;
      if (kept) kept->push_back(s.to);
      return true;
    }
    case DiskStep::Kind::Renamed:
      if (Present(s.to) && !Present(s.from)) return RenameNoReplace(s.to, s.from);
      if (Present(s.to) && Present(s.from) && !SamePath(s.from, s.to) && kept)
        kept->push_back(s.to);
      return true;
    case DiskStep::Kind::Removed:
      return !Present(s.from);
  }
  return false;
}

}  // namespace

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
  for (const auto& s : steps_)
    text += std::string("step\t") + KindName(s.kind) + "\t" + Escape(s.from) + "\t" +
            Escape(s.to) + "\n";
  return WriteFileAtomically(path_, text, error);
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

bool ChangeJournal::Add(DiskStep step, std::string* error) {
  steps_.push_back(std::move(step));
  if (path_.empty() || !open_) return open_;
  return Write(error);
}

void ChangeJournal::SyncSteps() const {
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

JournalRecovery RecoverInterruptedChange(CXmlDocument& doc) {
  std::lock_guard lock(doc.Mutex());
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
  for (auto it = j.steps.rbegin(); it != j.steps.rend(); ++it) ok = Undo(*it, &out.keptFiles) && ok;
  out.undone = true;
  if (ok) done();
  return out;
}

}  // namespace zorbek
