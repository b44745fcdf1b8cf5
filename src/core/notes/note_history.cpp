#include "core/notes/note_history.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "core/app/ini_file.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;

// "YYYYMMDD-HHMMSS.esr" in UTC.
std::string VersionName(std::int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm {};
  ::gmtime_r(&tt, &tm);
  char name[80];
  std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d.esr", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return name;
}

std::optional<std::int64_t> TimeOfVersionName(const std::string& name) {
  std::tm tm {};
  char tail[8] = {};
  if (name.size() != 19 ||
      std::sscanf(name.c_str(), "%4d%2d%2d-%2d%2d%2d%7s", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                  &tm.tm_hour, &tm.tm_min, &tm.tm_sec, tail) != 7 ||
      std::string(tail) != ".esr")
    return std::nullopt;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<std::int64_t>(::timegm(&tm));
}

std::vector<NoteVersion> VersionsIn(const std::string& dir) {
  std::vector<NoteVersion> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    const auto t = TimeOfVersionName(name);
    if (!t) continue;
    const std::string path = JoinPath(dir, name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    out.push_back({path, *t, static_cast<std::uint64_t>(st.st_size)});
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(),
            [](const NoteVersion& a, const NoteVersion& b) { return a.keptAt > b.keptAt; });
  return out;
}

int ReadInt(const std::string& file, const char* key, int def) {
  const std::string v = ReadProfileString(file, kHistorySection, key, "");
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || end == v.c_str() || n < 0) return def;
  return static_cast<int>(std::min<long>(n, 1000000));
}

bool EndsWithEsr(const std::string& path) {
  return path.size() > 4 && EqualsIgnoreLatinCase(path.substr(path.size() - 4), ".esr");
}

}  // namespace

HistoryRules HistoryRulesOf(const std::string& settingsFile) {
  HistoryRules r;
  r.keepDays = ReadInt(settingsFile, kHistoryKeepDaysKey, kDefaultHistoryKeepDays);
  r.maxVersions = ReadInt(settingsFile, kHistoryMaxVersionsKey, kDefaultHistoryMaxVersions);
  return r;
}

std::string HistoryDirectory(const std::string& databasePath) {
  return JoinPath(DirectoryOf(NoteStoreDirectory(databasePath)), "history");
}

std::string HistoryPathOf(const std::string& databasePath, const std::string& storePath) {
  const std::string store = NoteStoreDirectory(databasePath);
  if (storePath.size() <= store.size() + 1 || storePath.compare(0, store.size(), store) != 0 ||
      storePath[store.size()] != '/')
    return {};
  std::string rel = storePath.substr(store.size() + 1);
  if (EndsWithEsr(rel)) rel.resize(rel.size() - 4);
  return JoinPath(HistoryDirectory(databasePath), rel);
}

std::vector<NoteVersion> VersionsOf(const std::string& databasePath, const std::string& noteFile) {
  const std::string dir = HistoryPathOf(databasePath, noteFile);
  if (dir.empty()) return {};
  return VersionsIn(ExistingPathIgnoringCase(dir));
}

void PruneVersions(const std::string& dir, const HistoryRules& rules, std::int64_t now) {
  const std::vector<NoteVersion> versions = VersionsIn(dir);
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const bool tooOld = rules.keepDays > 0 &&
                        versions[i].keptAt < now - static_cast<std::int64_t>(rules.keepDays) * 86400;
    const bool tooMany = rules.maxVersions > 0 && i >= static_cast<std::size_t>(rules.maxVersions);
    if (tooOld || tooMany) ::unlink(versions[i].path.c_str());
  }
}

std::optional<std::string> KeepVersionBeforeSave(const std::string& databasePath,
                                                 const std::string& noteFile,
                                                 const HistoryRules& rules, std::int64_t now) {
  const std::string wanted = HistoryPathOf(databasePath, noteFile);
  if (wanted.empty()) return std::nullopt;
  const std::string dir = ExistingPathIgnoringCase(wanted);
  const std::vector<NoteVersion> versions = VersionsIn(dir);
  std::optional<std::string> kept;
  if (versions.empty() || versions.front().keptAt + rules.quietSeconds <= now) {
    const std::optional<std::string> old = ReadWholeFile(noteFile);
    const bool same = old && !versions.empty() && ReadWholeFile(versions.front().path) == old;
    if (old && !old->empty() && !same && EnsureParentDirectories(JoinPath(dir, "x"))) {
      // A second version in the same second (a clock set back) gets the next free second.
      std::int64_t t = now;
      while (PathExists(JoinPath(dir, VersionName(t)))) ++t;
      const std::string path = JoinPath(dir, VersionName(t));
      if (WriteFileAtomically(path, *old)) kept = path;
    }
  }
  PruneVersions(dir, rules, now);
  return kept;
}

void FollowNoteHistory(const std::string& databasePath, const std::vector<NotebookEvent>& events) {
  for (const NotebookEvent& c : events) {
    if (c.below) continue;
    if (c.kind != NotebookEventKind::kRenamed && c.kind != NotebookEventKind::kMoved) continue;
    const std::string from = HistoryPathOf(databasePath, c.oldDocumentPath.str());
    const std::string to = HistoryPathOf(databasePath, c.newDocumentPath.str());
    if (from.empty() || to.empty()) continue;
    const std::string existing = ExistingPathIgnoringCase(from);
    if (!IsDirectory(existing) || PathExists(to)) continue;
    if (!EnsureParentDirectories(to)) continue;
    RenameNoReplace(existing, to);
  }
}

}  // namespace zorbek
