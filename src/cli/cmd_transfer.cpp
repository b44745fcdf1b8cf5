// zorbek-cli commands that bring files in as notes and take notes out, and move folders and
// notes as a drag inside the tree does: import, export, drag, drop. ITEM names a folder or note
// below the file box, names joined by "/"; "/" alone is the file box.
#include <iostream>
#include <optional>

#include "cli/command.h"
#include "cli/helper_commands.h"
#include "cli/rtf_engine.h"
#include "core/db/database.h"
#include "core/notes/note_transfer.h"

namespace zorbek::cli {
namespace {

int NoSuchItem(const std::string& text) { return Refuse("没有这个文件或文件夹：" + text); }

// The item path as the commands take it: the names below the file box joined by "/".
std::string ItemText(const ItemPath& item) {
  if (item.size() <= 1) return "/";
  std::string text;
  for (std::size_t i = 1; i < item.size(); ++i) text += (i > 1 ? "/" : "") + item[i];
  return text;
}

// Prints the name of each note added and the messages of the files that were to be added and
// were not (on standard error); refused when there was any such file.
int ReportAdded(const std::vector<TransferOutcome>& results, const CXmlDocument& doc) {
  bool failed = false, unsaved = false;
  std::string reason = doc.LastSaveError();
  for (const TransferOutcome& out : results) {
    if (!out.saved) {
      // The save failed and took every file of the batch back: said once, below.
      unsaved = true;
      if (!out.reason.empty()) reason = out.reason;
    } else if (out.done) {
      std::cout << out.name << "\n";
    } else if (!out.skipped) {
      failed = true;
      std::cerr << WithReason(out.message.empty() ? "未能添加：" + out.file : out.message, out.reason)
                << "\n";
    }
  }
  std::cout.flush();
  if (unsaved) return Refuse(SaveFailedMessage(doc.GetPath(), reason));
  return failed ? kRefused : kDone;
}

struct Session {
  CXmlDocument doc;
  NoteCommands commands{doc};
  NoteTransfer transfer{commands};
  explicit Session(const std::string& path) { OpenDatabaseFile(doc, path); }
};

int RunImport(Context& ctx) {
  if (ctx.args.size() < 2) return UsageError("import");
  Session s(ctx.databasePath);
  const auto item = ResolveItem(s.doc, ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  EnsureRtfEngine();  // without it only ".esr" files can be imported
  const std::vector<std::string> files(ctx.args.begin() + 1, ctx.args.end());
  return ReportAdded(s.transfer.Import(*item, files), s.doc);
}

int RunDrop(Context& ctx) {
  if (ctx.args.size() < 2) return UsageError("drop");
  Session s(ctx.databasePath);
  const auto item = ResolveItem(s.doc, ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  const std::vector<std::string> files(ctx.args.begin() + 1, ctx.args.end());
  return ReportAdded(s.transfer.DropFiles(*item, files), s.doc);
}

int RunExport(Context& ctx) {
  if (ctx.args.size() != 2) return UsageError("export");
  // Export changes no database: it is read as it is, without the writer lock.
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable)
    return Refuse("数据库文件无法读取：" + ctx.databasePath);
  NoteCommands commands(doc);
  NoteTransfer transfer(commands);
  const auto item = ResolveItem(doc, ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  const TransferOutcome can = transfer.CanExport(*item);
  if (!can.done) return Refuse(can.message);
  EnsureRtfEngine();
  const TransferOutcome out = transfer.Export(*item, ctx.args[1]);
  if (!out.done) return Refuse(out.message);
  return kDone;
}

int RunDrag(Context& ctx) {
  if (ctx.args.size() != 2) return UsageError("drag");
  Session s(ctx.databasePath);
  const auto item = ResolveItem(s.doc, ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  const auto target = ResolveItem(s.doc, ctx.args[1]);
  if (!target) return NoSuchItem(ctx.args[1]);
  const TransferOutcome out = s.transfer.Drop(*item, *target);
  if (!out.saved)
    return Refuse(SaveFailedMessage(ctx.databasePath,
                                    out.reason.empty() ? s.doc.LastSaveError() : out.reason));
  if (out.done) std::cout << ItemText(out.item) << "\n";
  else if (!out.message.empty()) return Refuse(WithReason(out.message, out.reason));
  return kDone;
}

Register importCmd({HelperCommandText("import").name, HelperCommandText("import").usage,
     HelperCommandText("import").summary, RunImport});
Register exportCmd({HelperCommandText("export").name, HelperCommandText("export").usage,
     HelperCommandText("export").summary, RunExport});
Register dragCmd({HelperCommandText("drag").name, HelperCommandText("drag").usage,
     HelperCommandText("drag").summary, RunDrag});
Register dropCmd({HelperCommandText("drop").name, HelperCommandText("drop").usage,
     HelperCommandText("drop").summary, RunDrop});

}  // namespace
}  // namespace zorbek::cli
