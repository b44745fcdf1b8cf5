#include "ui/db/conflict_copies.h"

#include <set>
#include <string>

#include "core/app/prompts.h"
#include "core/db/conflict_merge.h"
#include "core/notes/notebook.h"

namespace zorbek {

bool TakeConflictCopies(Notebook& notebook, const std::vector<std::string>& noteCopies,
                        std::int64_t* retryAfterMillis) {
  if (retryAfterMillis) *retryAfterMillis = 0;
  if (!notebook.IsOpen() || notebook.Document().WriteProtected()) return false;
  MergeReport report = MergeConflictCopies(notebook.DatabasePath(), noteCopies);
  if (retryAfterMillis) *retryAfterMillis = report.postponedMillis;
  // What the user was told already is not told again at every look.
  static std::set<std::string> told;
  if (!report.error.empty() && !told.insert(report.error).second) return false;
  std::erase_if(report.unreadable, [](const std::string& path) { return !told.insert(path).second; });
  if (!report.Merged() && report.error.empty() && report.unreadable.empty()) return false;
  if (report.Merged()) notebook.ReloadIfChanged();
  prompts().Message(MergeReportMessage(report), MsgButtons::Ok,
                    report.error.empty() ? MsgIcon::Information : MsgIcon::Warning);
  return report.Merged();
}

}  // namespace zorbek
