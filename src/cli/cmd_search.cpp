// zorbek-cli search and history: the search panel's and the history panel's rows.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "cli/command.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/notes/item_path.h"
#include "core/search/history.h"
#include "core/search/note_search.h"
#include "core/search/note_walk.h"
#include "core/text/cp936.h"

namespace zorbek::cli {
namespace {

int Unreadable(const Context& ctx) { return Refuse("数据库文件无法读取：" + ctx.databasePath); }

// The scope label of an item given on the command line, as the panel shows it when that item
// is selected in the tree; nullopt when the tree has no such item.
std::optional<std::string> ScopeOfItem(CXmlDocument& doc, const std::string& text) {
  const auto item = ParseItemPath(text);
  if (!item) return std::nullopt;
  const XmlNode element = ShownItemElement(doc, *item);
  if (!element) return std::nullopt;
  return ScopeLabelOf(ElementPathOfItem(*item), Attribute(element, "type"));
}

int RunSearch(Context& ctx) {
  std::string scopeItem = "/";
  std::string keyword;
  bool haveKeyword = false;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    if (a == "--scope" && i + 1 < ctx.args.size()) {
      scopeItem = ctx.args[++i];
    } else if (a.rfind("--scope=", 0) == 0) {
      scopeItem = a.substr(8);
    } else if (!haveKeyword && (a.empty() || a[0] != '-' || a == "-")) {
      keyword = a;
      haveKeyword = true;
    } else if (a == "--" && i + 1 < ctx.args.size() && !haveKeyword) {
      keyword = ctx.args[++i];
      haveKeyword = true;
    } else {
      return UsageError("search");
    }
  }
  // The keyword box holds 49 bytes of code page 936; the search sees no more.
  keyword = CutToCp936Bytes(keyword, kMaxKeywordBytes);
  if (!haveKeyword || keyword.empty()) return UsageError("search");

  if (auto missing = RefuseMissingDatabase(ctx)) return *missing;
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable) return Unreadable(ctx);
  const auto label = ScopeOfItem(doc, scopeItem);
  if (!label) return Refuse("没有这个文件或文件夹：" + scopeItem);
  const SearchStart start = SearchStartOf(*label, ctx.databasePath);

  NoteSearch search(CollectNotes(doc, start.elementPath, start.directory), SearchKeyword(keyword));
  std::size_t row = 0;
  std::string out;
  for (;;) {
    const NoteSearch::Progress p = search.Poll();
    for (std::size_t i : p.newHits) {
      const std::string& path = search.notes()[i].documentPath.str();
      out += std::to_string(row++);
      out += '\t';
      out += FileNameOf(path);
      out += '\t';
      out += path;
      out += '\n';
    }
    if (!out.empty()) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      std::fflush(stdout);
      out.clear();
    }
    if (p.finished) break;
    search.WaitForProgress(100);
  }
  return kDone;
}

int RunHistory(Context& ctx) {
  if (!ctx.args.empty()) return UsageError("history");
  if (auto missing = RefuseMissingDatabase(ctx)) return *missing;
  CXmlDocument doc;
  if (LoadDatabaseReadOnly(doc, ctx.databasePath) == LoadStatus::Unparsable) return Unreadable(ctx);
  // The document holds no path when the file is missing; the walk needs the database's.
  const std::string store = NoteStoreDirectory(ctx.databasePath);
  const auto rows = LatestNotes(CollectNotes(doc, ElementPath(kArchivePath), store));
  std::string out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out += std::to_string(i);
    out += '\t';
    out += FileNameOf(rows[i].documentPath);
    out += '\t';
    out += std::to_string(rows[i].lastTime);
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return kDone;
}

Register search({"search", "[--scope ITEM] KEYWORD",
                 "the notes whose path or text holds KEYWORD, as the search panel lists them: "
                 "row, file name, document path", RunSearch});
Register history({"history", "", "the 30 notes opened last, as the history panel lists them: "
                  "row, file name, lasttime", RunHistory});

}  // namespace
}  // namespace zorbek::cli
