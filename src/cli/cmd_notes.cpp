// zorbek-cli commands that edit the note tree, over the same operations as the program's tree.
// ITEM names a folder or note below the file box, names joined by "/"; "/" alone is the file box.
#include <iostream>
#include <optional>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/notes/note_commands.h"
#include "core/notes/notebook.h"
#include "core/text/cp936.h"

namespace zorbek::cli {
namespace {

// The open notebook, as the program opens it, and the item paths the arguments name. Every
// command saves what it changed itself, so closing writes nothing more.
struct Session {
  Notebook notebook;
  CXmlDocument& doc = notebook.Document();
  NoteCommands& commands = notebook.Commands();
  explicit Session(const std::string& path) { notebook.Open(path); }
  ~Session() { notebook.Close(false); }

  std::optional<ItemPath> Resolve(const std::string& text) { return ResolveItem(doc, text); }
};

int NoSuchItem(const std::string& text) { return Refuse("没有这个文件或文件夹：" + text); }

// Exit status and output of a command's outcome. quiet is the text for a silent refusal.
// A change that was made in part (a folder deleted but for what could not go) carries its
// message too, and counts as refused.
int Report(const Session& s, const NoteOutcome& outcome, const std::string& quiet,
           bool printName) {
  const std::string reason = outcome.reason.empty() ? s.doc.LastSaveError() : outcome.reason;
  // A save that failed took the change back: the save's message is the refusal.
  if (!outcome.done && !outcome.saved)
    return Refuse(SaveFailedMessage(s.notebook.DatabasePath(), reason));
  if (!outcome.done)
    return Refuse(WithReason(outcome.message.empty() ? quiet : outcome.message, outcome.reason));
  if (printName) std::cout << outcome.name << "\n";
  int status = kDone;
  if (!outcome.message.empty()) status = Refuse(WithReason(outcome.message, outcome.reason));
  if (!outcome.saved) status = Refuse(SaveFailedMessage(s.notebook.DatabasePath(), reason));
  return status;
}

int RunNew(Context& ctx, const char* command, ItemKind kind) {
  if (ctx.args.size() != 1) return UsageError(command);
  Session s(ctx.databasePath);
  const auto item = s.Resolve(ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  const NoteOutcome out =
      kind == ItemKind::Note ? s.commands.NewNote(*item) : s.commands.NewFolder(*item);
  return Report(s, out, kind == ItemKind::Note ? "无法新建文件。" : "无法新建文件夹。", true);
}

int RunRename(Context& ctx) {
  if (ctx.args.size() != 2) return UsageError("rename");
  Session s(ctx.databasePath);
  const auto item = s.Resolve(ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  if (item->size() < 2) return Refuse("文件箱不能重命名。");
  return Report(s, s.commands.Rename(*item, ctx.args[1]), "名称没有改变。", false);
}

int RunPaste(Context& ctx) {
  if (ctx.args.size() != 2) return UsageError("paste");
  Session s(ctx.databasePath);
  const auto source = s.Resolve(ctx.args[0]);
  if (!source) return Refuse(kMsgCopiedGone);
  const auto target = s.Resolve(ctx.args[1]);
  if (!target) return NoSuchItem(ctx.args[1]);
  const NoteOutcome copy = s.commands.Copy(*source);
  if (!copy.done) return Refuse(copy.message.empty() ? kMsgCopiedGone : copy.message);
  return Report(s, s.commands.Paste(*source, *target), "这里不能粘贴。", true);
}

int RunDelete(Context& ctx) {
  if (ctx.args.size() != 1) return UsageError("delete");
  Session s(ctx.databasePath);
  const auto item = s.Resolve(ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  return Report(s, s.commands.Delete(*item), kMsgDeleteFailed, false);
}

int RunMove(Context& ctx) {
  if (ctx.args.size() != 2) return UsageError("move");
  const std::string& where = ctx.args[1];
  MoveTo to;
  if (where == "up") to = MoveTo::Up;
  else if (where == "down") to = MoveTo::Down;
  else if (where == "top") to = MoveTo::Top;
  else if (where == "bottom") to = MoveTo::Bottom;
  else return UsageError("move");
  Session s(ctx.databasePath);
  const auto item = s.Resolve(ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  return Report(s, s.commands.Move(*item, to), "已经不能再移动。", false);
}

int RunSort(Context& ctx) {
  if (ctx.args.size() != 2) return UsageError("sort");
  const std::string& how = ctx.args[1];
  SortMode mode;
  if (how == "folders") mode = SortMode::Folders;
  else if (how == "files") mode = SortMode::Files;
  else if (how == "mixed") mode = SortMode::Mixed;
  else return UsageError("sort");
  Session s(ctx.databasePath);
  const auto item = s.Resolve(ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  return Report(s, s.commands.Sort(*item, mode, /*save=*/true), "无法排序。", false);
}

int RunOpen(Context& ctx) {
  if (ctx.args.size() != 1) return UsageError("open");
  Session s(ctx.databasePath);
  const auto item = s.Resolve(ctx.args[0]);
  if (!item) return NoSuchItem(ctx.args[0]);
  return Report(s, s.commands.OpenNote(*item), "只有文件可以打开。", false);
}

Register newNote({"new-note", "ITEM", "create a note by ITEM (after a note, else first in it); "
                  "print its name", [](Context& c) { return RunNew(c, "new-note", ItemKind::Note); }});
Register newFolder({"new-folder", "ITEM", "create a folder by ITEM, as new-note does; print its "
                    "name", [](Context& c) { return RunNew(c, "new-folder", ItemKind::Folder); }});
Register rename({"rename", "ITEM NEWNAME", "give a folder or note a new name", RunRename});
Register paste({"paste", "SOURCE TARGET", "copy the note SOURCE onto TARGET (into a folder, or "
                "after a note); print the new name", RunPaste});
Register remove({"delete", "ITEM", "delete a note, a folder, or with \"/\" everything (asks "
                 "nothing)", RunDelete});
Register move({"move", "ITEM up|down|top|bottom", "move a folder or note among its siblings",
               RunMove});
Register sort({"sort", "ITEM folders|files|mixed", "sort the folders, the notes, or everything "
               "in ITEM by name", RunSort});
Register open({"open", "ITEM", "record the opening of a note (lasttime), as a double-click does",
               RunOpen});

}  // namespace
}  // namespace zorbek::cli
