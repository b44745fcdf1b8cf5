// zorbek-cli history-of ITEM: the kept versions of a note, newest first. Each version is a plain
// note file; "zorbek-cli text VERSION" prints its text.
#include <ctime>
#include <iostream>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/notes/note_history.h"

namespace zorbek::cli {
namespace {

int Run(Context& ctx) {
  if (ctx.args.size() != 1) return UsageError("history-of");
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable)
    return Refuse("数据库文件无法读取：" + ctx.databasePath);
  const auto item = ResolveItem(doc, ctx.args[0]);
  if (!item || item->size() < 2) return Refuse("没有这个文件或文件夹：" + ctx.args[0]);
  const std::string type = Attribute(ShownItemElement(doc, *item), "type");
  if (!IsNoteType(type)) return Refuse("只有笔记有历史版本：" + ctx.args[0]);
  const std::string file =
      ExistingPathIgnoringCase(DocumentPathOfItem(*item, ctx.databasePath, ".esr").str());
  for (const NoteVersion& v : VersionsOf(ctx.databasePath, file)) {
    const std::time_t t = static_cast<std::time_t>(v.keptAt);
    std::tm tm {};
    ::localtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
    std::cout << when << "\t" << v.bytes << "\t" << v.path << "\n";
  }
  return kDone;
}

Register reg({"history-of", "ITEM",
              "the kept versions of a note, newest first: time, bytes, file (print one with "
              "\"text FILE\")",
              Run});

}  // namespace
}  // namespace zorbek::cli
