// zorbek-cli check: whether the note store and the database agree. Read only.
#include <iostream>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/notes/store_check.h"

namespace zorbek::cli {
namespace {

int RunCheck(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("check");
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable)
    return Refuse("数据库文件无法读取：" + ctx.databasePath);
  const StoreAgreement a = CheckStoreAgreement(doc);
  for (const auto& p : a.elementsWithoutFile) std::cout << "缺少文件\t" << p << "\n";
  for (const auto& p : a.filesWithoutElement) std::cout << "没有记录\t" << p << "\n";
  for (const auto& p : a.leftovers) std::cout << "临时文件\t" << p << "\n";
  return a.Agrees() ? kDone : kRefused;
}

// Opens the database for writing, as the program does at start-up: an interrupted change is
// settled and leftover temporary files go. Nothing else is changed.
int RunRecover(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("recover");
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable)
    return Refuse("数据库文件无法读取：" + ctx.databasePath);
  // What the recovery did is told by the opening itself.
  OpenDatabaseFile(doc, ctx.databasePath);
  return kDone;
}

Register recover({"recover", "",
                  "open the database as the program does at start-up: finish or take back a "
                  "change that was interrupted, remove leftover temporary files",
                  RunRecover});

Register reg({"check", "",
              "compare the note store with the database: print every element without its file "
              "or directory, every note file or directory without its element, and leftover "
              "temporary files; exit 1 when there are any",
              RunCheck});

}  // namespace
}  // namespace zorbek::cli
