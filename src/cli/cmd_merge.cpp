// zorbek-cli merge-conflicts: takes in the conflict copies a sync tool left beside the database
// and in its note store, as the program does when it finds them.
#include <chrono>
#include <iostream>
#include <thread>

#include "cli/command.h"
#include "core/db/conflict_merge.h"
#include "core/db/database.h"

namespace zorbek::cli {
namespace {

int RunMerge(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("merge-conflicts");
  // Opened as the program opens it first, so that an interrupted change is settled.
  {
    CXmlDocument doc;
    const OpenedDatabase opened = OpenDatabaseFile(doc, ctx.databasePath);
    if (opened.status == LoadStatus::Unparsable || opened.lockRefused)
      return Refuse(opened.lockMessage.empty() ? "数据库文件无法读取：" + ctx.databasePath
                                               : opened.lockMessage);
  }
  // A merge that rests on files the sync tool may not have brought yet waits for it, as the
  // program does, then goes on.
  MergeReport report = MergeConflictCopies(ctx.databasePath);
  for (int looks = 0; report.postponedMillis > 0 && report.error.empty(); ++looks) {
    if (report.Merged()) std::cout << MergeReportMessage(report) << "\n";
    if (looks == 0) std::cerr << "等待同步工具送来其余的文件……\n";
    std::this_thread::sleep_for(std::chrono::milliseconds(report.postponedMillis));
    report = MergeConflictCopies(ctx.databasePath);
  }
  if (!report.error.empty()) return Refuse(MergeReportMessage(report));
  if (report.Merged() || !report.unreadable.empty()) std::cout << MergeReportMessage(report) << "\n";
  return report.unreadable.empty() ? kDone : kRefused;
}

Register reg({"merge-conflicts", "",
              "take in the conflict copies a sync tool left: merge every "
              "<name>.sync-conflict-*.xml beside the database into it (every folder, note and "
              "reminder of either side kept once; the copy is kept as <copy>.merged-DATE), and "
              "make every <note>.sync-conflict-*.esr a conflict note beside its note",
              RunMerge});

}  // namespace
}  // namespace zorbek::cli
