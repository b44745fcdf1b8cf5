// zorbek-cli tree: the note tree as the program shows it.
#include <iostream>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/text/cp936.h"

namespace zorbek::cli {
namespace {

void PrintFolder(XmlNode folder, int depth, std::string& out) {
  for (XmlNode child = FirstChild(folder); child; child = NextSibling(child)) {
    if (!IsElement(child)) continue;
    const std::string type = FoldLatinCase(Attribute(child, "type"));
    if (type != "dir" && type != "esr") continue;  // not shown, nor anything below it
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += child.name();  // the whole name, as the tree labels it
    out += " [" + type + "]\n";
    PrintFolder(child, depth + 1, out);
  }
}

int RunTree(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("tree");
  if (auto missing = RefuseMissingDatabase(ctx)) return *missing;
  CXmlDocument doc;
  const LoadStatus status = LoadDatabaseReadOnly(doc, ctx.databasePath);
  if (status == LoadStatus::Unparsable)
    return Refuse("数据库文件无法读取：" + ctx.databasePath);
  std::string out;
  if (XmlNode archive = doc.Select(kArchivePath)) PrintFolder(archive, 0, out);
  std::cout << out;
  return kDone;
}

Register reg({"tree", "", "print the note tree: one line per folder or note, two spaces a level",
              RunTree});

}  // namespace
}  // namespace zorbek::cli
