// zorbek-cli text [--raw] NOTE: the plain text of a note as the search reads it. NOTE is a
// note of the tree ("生活/读书笔记/红楼梦"), as the other commands take it, or an RTF file.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/io/file_util.h"
#include "core/notes/item_path.h"
#include "core/rtf/plain_text.h"
#include "core/text/cp936.h"

namespace zorbek::cli {
namespace {

// The file of the note the argument names: an existing file is taken as it is (as before),
// anything else as an item of the tree. Sets *refused when the argument names neither.
std::string NoteFileOf(Context& c, const std::string& arg, std::optional<int>* refused) {
  if (IsRegularFile(arg)) return arg;
  if (auto missing = RefuseMissingDatabase(c)) {
    *refused = missing;
    return {};
  }
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, c.databasePath) == LoadStatus::Unparsable) {
    *refused = Refuse("数据库文件无法读取：" + c.databasePath);
    return {};
  }
  const auto item = ResolveItem(doc, arg);
  if (!item) {
    *refused = Refuse("没有这个文件或文件夹：" + arg);
    return {};
  }
  if (item->size() < 2 || !IsNoteType(ItemTypeOf(doc, *item))) {
    *refused = Refuse("text: " + arg + " is a folder, not a note");
    return {};
  }
  return DocumentPathOfItem(*item, c.databasePath, ".esr").str();
}

int Run(Context& c) {
  bool raw = false;
  std::string arg;
  for (const auto& a : c.args) {
    if (a == "--raw") raw = true;
    else if (arg.empty() && (a.empty() || a[0] != '-')) arg = a;
    else return UsageError("text");
  }
  if (arg.empty()) return UsageError("text");
  std::optional<int> refused;
  const std::string path = NoteFileOf(c, arg, &refused);
  if (refused) return *refused;
  // Written out as it is read: a note of any size takes no more memory than a piece of it.
  const bool opened = StreamPlainTextFile(path, !raw, [](std::string_view piece) {
    std::fwrite(piece.data(), 1, piece.size(), stdout);
  });
  if (!opened) return Refuse("text: cannot open " + path);
  std::fflush(stdout);
  return kDone;
}

Register reg({"text", "[--raw] NOTE",
              "plain text of a note as the search reads it (NOTE: an item of the tree, or an "
              "RTF file): UTF-8 (each font's code page decoded, \\uN as its character), or "
              "the bytes as they stand (code page 936 in a note) with --raw",
              Run});

}  // namespace
}  // namespace zorbek::cli
