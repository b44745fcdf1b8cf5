// The history of every note: earlier versions kept when a save replaces them.
//
// Layout: <database without extension>/history/ mirrors the note store. The versions of the note
// store/工作/甲.esr are the files history/工作/甲/YYYYMMDD-HHMMSS.esr (the UTC time the version
// was kept), plain note documents the user can copy out by hand. A version file's name begins
// with a digit, a note's or folder's name never does, so the versions of a note 甲 and the
// histories of the notes of a folder that once had its name never meet.
//
// The rules: a save keeps the version it replaces when the newest kept version is older than ten
// minutes (so saving every minute does not flood it) and differs from it; versions older than
// the keeping time (90 days) go, and of the rest at most the newest 50 stay. A note's history
// follows it through rename and move (FollowNoteHistory, from the notebook's change events) and
// goes to the recycle bin with it (recycle_bin.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/notes/notebook_event.h"

namespace zorbek {

inline constexpr std::int64_t kHistoryQuietSeconds = 10 * 60;
inline constexpr int kDefaultHistoryKeepDays = 90;
inline constexpr int kDefaultHistoryMaxVersions = 50;
// Zorbek.ini, [History] KeepDays and MaxVersions.
inline constexpr const char* kHistorySection = "History";
inline constexpr const char* kHistoryKeepDaysKey = "KeepDays";
inline constexpr const char* kHistoryMaxVersionsKey = "MaxVersions";

struct HistoryRules {
  std::int64_t quietSeconds = kHistoryQuietSeconds;
  int keepDays = kDefaultHistoryKeepDays;      // 0: no age limit
  int maxVersions = kDefaultHistoryMaxVersions;  // 0: no count limit
};
// The rules with the settings file's values.
HistoryRules HistoryRulesOf(const std::string& settingsFile);

struct NoteVersion {
  std::string path;        // the version's file
  std::int64_t keptAt = 0;  // seconds since 1970-01-01 UTC
  std::uint64_t bytes = 0;
};

// The history directory of the database.
std::string HistoryDirectory(const std::string& databasePath);
// The directory that holds the versions of a note file or the histories below a folder's
// directory of the store; "" for a path outside the store.
std::string HistoryPathOf(const std::string& databasePath, const std::string& storePath);

// The kept versions of a note file, newest first.
std::vector<NoteVersion> VersionsOf(const std::string& databasePath, const std::string& noteFile);

// Called right before noteFile is replaced by a save: keeps its present content as a version
// when the rules say so, then prunes. Returns the version written, if any. Never refuses the
// save: a version that cannot be written is simply not kept.
std::optional<std::string> KeepVersionBeforeSave(const std::string& databasePath,
                                                 const std::string& noteFile,
                                                 const HistoryRules& rules, std::int64_t now);

// Removes the versions of a note that the rules no longer keep.
void PruneVersions(const std::string& versionsDirectory, const HistoryRules& rules,
                   std::int64_t now);

// Moves the histories of renamed and moved notes and folders along with them (the notebook does
// so before it tells its listeners); what lies below a folder moves with the folder's.
void FollowNoteHistory(const std::string& databasePath, const std::vector<NotebookEvent>& events);

}  // namespace zorbek
