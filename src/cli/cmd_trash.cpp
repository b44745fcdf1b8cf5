// zorbek-cli trash, restore, purge: the recycle bin of the database.
// An entry is named by its id (the first column of "trash") or by the tree path it was deleted
// from ("B/A", "/" for the file box: the newest such entry).
#include <ctime>
#include <iostream>

#include "cli/command.h"
#include "core/app/clock.h"
#include "core/app/paths.h"
#include "core/notes/notebook.h"
#include "core/notes/recycle_bin.h"

namespace zorbek::cli {
namespace {

std::string LocalTimeText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm {};
  ::localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

const char* KindText(const TrashEntry& e) {
  return e.fileBox ? "文件箱" : e.folder ? "文件夹" : "笔记";
}

int RunTrash(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("trash");
  for (const TrashEntry& e : RecycleBin(ctx.databasePath).List())
    std::cout << e.id << "\t" << LocalTimeText(e.deletedAt) << "\t" << KindText(e) << "\t"
              << e.TreePath() << "\t" << e.notes << "\t" << e.bytes << "\n";
  return kDone;
}

// Changing the bin takes the database's writer lock, as every changing command does.
struct Writer {
  Notebook notebook;
  OpenedDatabase opened;
  explicit Writer(const std::string& path) : opened(notebook.Open(path)) {}
  ~Writer() { notebook.Close(false); }
};

int RunRestore(Context& ctx) {
  if (ctx.args.empty()) return UsageError("restore");
  Writer w(ctx.databasePath);
  if (w.opened.lockRefused) return Refuse(w.opened.lockMessage);
  const RecycleBin bin(ctx.databasePath);
  int status = kDone;
  for (const std::string& arg : ctx.args) {
    const auto entry = bin.Resolve(arg);
    if (!entry) {
      status = Refuse(std::string(kMsgTrashItemGone) + " " + arg);
      continue;
    }
    const RestoreOutcome out = w.notebook.Commands().Restore(entry->id);
    if (!out.done && !out.saved) {
      status = Refuse(SaveFailedMessage(ctx.databasePath, out.reason));
      continue;
    }
    if (!out.done) {
      status = Refuse(WithReason(out.message, out.reason));
      continue;
    }
    for (const ItemPath& p : out.restored) {
      std::string text;
      for (std::size_t i = 1; i < p.size(); ++i) text += (i > 1 ? "/" : "") + p[i];
      std::cout << text << "\n";
    }
  }
  return status;
}

int RunPurge(Context& ctx) {
  if (ctx.args.empty()) return UsageError("purge");
  Writer w(ctx.databasePath);
  if (w.opened.lockRefused) return Refuse(w.opened.lockMessage);
  const RecycleBin bin(ctx.databasePath);
  if (ctx.args.size() == 1 && ctx.args[0] == "--all") {
    std::cout << bin.Empty() << "\n";
    return kDone;
  }
  if (ctx.args.size() == 1 && ctx.args[0] == "--expired") {
    std::cout << bin.Prune(TrashKeepDays(SettingsFilePath(ctx.programBase)),
                           clock().UnixSeconds())
              << "\n";
    return kDone;
  }
  int status = kDone;
  for (const std::string& arg : ctx.args) {
    const auto entry = bin.Resolve(arg);
    std::string error;
    if (!entry) status = Refuse(std::string(kMsgTrashItemGone) + " " + arg);
    else if (!bin.Purge(entry->id, &error))
      status = Refuse(std::string(kMsgTrashPurgeFailed) + entry->TreePath() + "\n" + error);
  }
  return status;
}

Register trash({"trash", "",
                "list the recycle bin, newest first: id, time of the delete, kind, where it was, "
                "notes, bytes",
                RunTrash});
Register restore({"restore", "ENTRY...",
                  "put entries of the recycle bin back where they were (by id, or by the path "
                  "they were deleted from); print where each item is now",
                  RunRestore});
Register purge({"purge", "ENTRY...|--all|--expired",
                "delete entries of the recycle bin for good; --all empties it, --expired removes "
                "what is older than the keeping time ([RecycleBin] KeepDays in Zorbek.ini, 30 "
                "days by default)",
                RunPurge});

}  // namespace
}  // namespace zorbek::cli
