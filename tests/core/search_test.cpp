// The walk, the keyword tests, the parallel search and the history of the search and history
// panels, over real databases and note files in temporary directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/rtf/plain_text.h"
#include "core/search/history.h"
#include "core/search/keyword.h"
#include "core/search/note_search.h"
#include "core/search/note_walk.h"
#include "core/text/cp936.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// A note as a rich edit control writes it: Chinese text as \'xx escapes of code page 936.
std::string Rtf(std::string_view utf8Body, std::string_view extra = {}) {
  std::string body;
  for (unsigned char c : Utf8ToCp936(utf8Body)) {
    if (c >= 0x80) {
      static const char* hex = "0123456789abcdef";
      body += "\\'";
      body += hex[c >> 4];
      body += hex[c & 15];
    } else {
      body += static_cast<char>(c);
    }
  }
  return "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}"
         "{\\colortbl ;\\red255\\green0\\blue0;}\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 " +
         body + std::string(extra) + "\\par}";
}

class SearchTest : public ::testing::Test {
 protected:
  // archive: the XML inside the archive element; notes: document path below the store -> RTF.
  void Make(const std::string& archive,
            const std::vector<std::pair<std::string, std::string>>& notes = {}) {
    WriteFile(db, "<list><hotkey/><filetree><archive>" + archive + "</archive></filetree></list>");
    for (const auto& [rel, rtf] : notes) WriteFile(store + "/" + rel, rtf);
    ASSERT_EQ(doc.Load(db), LoadStatus::Loaded);
  }
  std::vector<NoteEntry> All() { return CollectNotes(doc, ElementPath(kArchivePath), store); }
  std::vector<std::string> Hits(const std::string& keyword, std::string_view label = "路径：Root") {
    const SearchStart start = SearchStartOf(label, db);
    const auto notes = CollectNotes(doc, start.elementPath, start.directory);
    std::vector<std::string> names;
    for (std::size_t i : SearchNotes(notes, SearchKeyword(keyword), 3))
      names.push_back(notes[i].documentPath.str().substr(store.size()));
    return names;
  }

  TempDir dir{"zorbek-search"};
  std::string db = dir / "笔记 库/Zorbek.xml";
  std::string store = NoteStoreDirectory(db);
  CXmlDocument doc;
};

TEST_F(SearchTest, WalkInDocumentOrderWithEveryNonNoteTypeWalkedAsAFolder) {
  Make("<a type=\"esr\" lasttime=\"5\"/>"
       "<F type=\"dir\"><b type=\"ESR\"/>text<c type=\"esr\" lasttime=\"x\"/></F>"
       "<odd type=\"other\"><d type=\"esr\"/></odd>"
       "<untyped><e type=\"esr\" lasttime=\"12abc\"/></untyped>"
       "<empty type=\"dir\"/><f type=\"esr\"/>");
  const auto notes = All();
  std::vector<std::string> paths;
  for (const auto& n : notes) paths.push_back(n.documentPath.str().substr(store.size()));
  EXPECT_EQ(paths, (std::vector<std::string>{"/a.esr", "/F/b.ESR", "/F/c.esr", "/odd/d.esr",
                                             "/untyped/e.esr", "/f.esr"}));
  EXPECT_EQ(notes[0].lastTime, 5u);
  EXPECT_EQ(notes[2].lastTime, 0u);   // not a number
  EXPECT_EQ(notes[4].lastTime, 12u);  // the leading digits, as a decimal conversion reads them
  EXPECT_TRUE(CollectNotes(doc, ElementPath("/list/filetree/archive/missing"), store).empty());

  EXPECT_EQ(ParseLastTime(""), 0u);
  EXPECT_EQ(ParseLastTime("-5"), 0u);
  EXPECT_EQ(ParseLastTime("1796740643"), 1796740643u);
  EXPECT_EQ(ParseLastTime("99999999999999999999999"), UINT64_MAX);
}

TEST_F(SearchTest, TheDeepestTreeADatabaseMayHoldIsWalked) {
  std::string open, close;
  for (int i = 0; i < 1000; ++i) {
    open += "<d type=\"dir\">";
    close += "</d>";
  }
  ASSERT_TRUE(doc.LoadFromString("<list><filetree><archive>" + open + "<n type=\"esr\"/>" + close +
                                 "</archive></filetree></list>"));
  const auto notes = CollectNotes(doc, ElementPath(kArchivePath), "/s");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].documentPath.str().size(), 2 + 1000 * 2 + 6);
}

TEST_F(SearchTest, ScopeLabelAndWhereTheSearchStarts) {
  EXPECT_EQ(ScopeLabelOf(ElementPath("/list/filetree/archive/A/B"), "dir"), "路径：/A/B");
  EXPECT_EQ(ScopeLabelOf(ElementPath("/list/filetree/archive/A"), "DIR"), "路径：/A");
  EXPECT_EQ(ScopeLabelOf(ElementPath("/list/filetree/archive/A"), ""), "路径：/A");
  EXPECT_EQ(ScopeLabelOf(ElementPath("/list/filetree/archive"), ""), "路径：Root");  // the file box
  EXPECT_EQ(ScopeLabelOf(ElementPath("/list/filetree/archive/A/n"), "esr"), "路径：Root");  // a note
  EXPECT_EQ(ScopeLabelOf(ElementPath("/list/filetree/schedule"), ""), "路径：Root");
  EXPECT_EQ(ScopeLabelOf(ElementPath(""), ""), "路径：Root");

  const SearchStart root = SearchStartOf("路径：Root", db);
  EXPECT_EQ(root.elementPath.str(), "/list/filetree/archive");
  EXPECT_EQ(root.directory, store);
  EXPECT_EQ(SearchStartOf("路径：root", db).elementPath.str(), "/list/filetree/archive");
  const SearchStart folder = SearchStartOf("路径：/A/路径：B", db);
  EXPECT_EQ(folder.elementPath.str(), "/list/filetree/archive/A/路径：B");
  EXPECT_EQ(folder.directory, store + "/A/路径：B");

  EXPECT_EQ(ElementPathFromDocumentPath(DocumentPath(store + "/A/n.esr"), db), ElementPath("/list/filetree/archive/A/n"));
  EXPECT_EQ(ElementPathFromDocumentPath(DocumentPath(store + "/a.b/n.ESR"), db), ElementPath("/list/filetree/archive/a.b/n"));
  EXPECT_EQ(ElementPathFromDocumentPath(DocumentPath("/elsewhere/n.esr"), db), std::nullopt);
  EXPECT_EQ(FileNameOf(store + "/A/n.esr"), "n.esr");
}

TEST_F(SearchTest, PathAndTextMatches) {
  Make("<工作 type=\"dir\"><周报 type=\"esr\"/><计划 type=\"esr\"/></工作>"
       "<杂项 type=\"dir\"><图片 type=\"esr\"/><字体 type=\"esr\"/><大小写 type=\"esr\"/></杂项>",
       {{"工作/周报.esr", Rtf("本周完成了检索功能")},
        {"工作/计划.esr", Rtf("下周计划")},
        {"杂项/图片.esr", Rtf("看图", "{\\pict\\pngblip 89504e47 secretword}")},
        {"杂项/字体.esr", "{\\rtf1{\\fonttbl{\\f0 FontOnlyName;}}\\f0 body\\par}"},
        {"杂项/大小写.esr", Rtf("Hello World")}});
  // A folder's name finds every note in it; the database's own directory finds every note.
  EXPECT_EQ(Hits("工作"), (std::vector<std::string>{"/工作/周报.esr", "/工作/计划.esr"}));
  EXPECT_EQ(Hits("笔记 库").size(), 5u);
  EXPECT_EQ(Hits("检索"), (std::vector<std::string>{"/工作/周报.esr"}));
  // Text only inside a picture or a font table is no text.
  EXPECT_TRUE(Hits("secretword").empty());
  EXPECT_TRUE(Hits("89504e47").empty());
  EXPECT_TRUE(Hits("FontOnlyName").empty());
  // Latin letters are case-sensitive.
  EXPECT_EQ(Hits("Hello").size(), 1u);
  EXPECT_TRUE(Hits("hello").empty());
  // A folder's scope.
  EXPECT_EQ(Hits("计划", "路径：/工作"), (std::vector<std::string>{"/工作/计划.esr"}));
  EXPECT_TRUE(Hits("Hello", "路径：/工作").empty());
  EXPECT_TRUE(Hits("Hello", "路径：/没有").empty());
}

TEST_F(SearchTest, AChineseKeywordNeverMatchesAcrossTwoCharacters) {
  // "中文" is D6 D0 CE C4; D0 CE, the second byte of one and the first of the other, is a
  // character of its own.
  const std::string text = Utf8ToCp936("中文");  // D6 D0 CE C4
  const std::string across = text.substr(1, 2);   // D0 CE, the bytes across the two characters
  const std::string keyword = Cp936ToUtf8(across);
  ASSERT_EQ(Utf8ToCp936(keyword), across) << "D0 CE must be a character of its own";
  Make("<n type=\"esr\"/><m type=\"esr\"/>",
       {{"n.esr", Rtf("中文")}, {"m.esr", Rtf(keyword + "中文")}});
  EXPECT_EQ(Hits(keyword), (std::vector<std::string>{"/m.esr"}));
  EXPECT_EQ(Hits("中文"), (std::vector<std::string>{"/n.esr", "/m.esr"}));
  // The byte search itself: a candidate on a trail byte, then a real one further on.
  EXPECT_EQ(FindCp936(text + across, across), text.size());
  EXPECT_EQ(FindCp936(text, across), std::string_view::npos);
  EXPECT_EQ(FindCp936("ab" + text, "b"), 1u);
}

TEST_F(SearchTest, CharactersOutsideCodePage936AreMatchedInUnicode) {
  // 한 is \u54620, 😀 is the surrogate pair \u-10179 \u-8704; each with a "?" stand-in.
  Make("<k type=\"esr\"/><e type=\"esr\"/><q type=\"esr\"/><한국 type=\"dir\"><p type=\"esr\"/></한국>",
       {{"k.esr", Rtf("韩文：", "\\u54620?\\uc2\\u44397\\'3f\\'3f")},
        {"e.esr", Rtf("表情", "\\u-10179?\\u-8704?")},
        {"q.esr", Rtf("问号???")},
        {"한국/p.esr", Rtf("无")}});
  EXPECT_EQ(Hits("한국"), (std::vector<std::string>{"/k.esr", "/한국/p.esr"}));
  EXPECT_EQ(Hits("😀"), (std::vector<std::string>{"/e.esr"}));
  EXPECT_EQ(Hits("文：한"), (std::vector<std::string>{"/k.esr"}));
  // A keyword code page 936 holds is matched on the bytes as ever, stand-ins included.
  EXPECT_EQ(Hits("???"), (std::vector<std::string>{"/k.esr", "/q.esr"}));
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1 a\\u54620?b{\\uc0\\u44397}c\\u-10179?\\u-8704?d}"),
            "a한b국c😀d");
  EXPECT_TRUE(SearchKeyword("中文").InCp936());
  EXPECT_FALSE(SearchKeyword("😀").InCp936());
}

TEST_F(SearchTest, AnUnreadableDocumentHasOnlyItsPathTested) {
  Make("<gone type=\"esr\"/><Case type=\"esr\"/>", {{"case.esr", Rtf("内容")}});
  EXPECT_EQ(Hits("gone"), (std::vector<std::string>{"/gone.esr"}));
  EXPECT_TRUE(Hits("nothing").empty());
  // A file whose name differs from its element in Latin case is still read.
  EXPECT_EQ(Hits("内容"), (std::vector<std::string>{"/Case.esr"}));
}

TEST_F(SearchTest, HitsComeInWalkOrderAndASearchStops) {
  std::string archive;
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 400; ++i) {
    const std::string name = "n" + std::to_string(i);
    archive += "<" + name + " type=\"esr\"/>";
    files.push_back({name + ".esr", Rtf(i % 7 == 0 ? "命中" : "没有", std::string(i % 5 * 3000, 'x'))});
  }
  Make(archive, files);
  const auto notes = All();
  std::vector<std::size_t> expected;
  for (std::size_t i = 0; i < notes.size(); i += 7) expected.push_back(i);
  for (unsigned threads : {1u, 2u, 8u}) EXPECT_EQ(SearchNotes(notes, SearchKeyword("命中"), threads), expected);

  NoteSearch search(notes, SearchKeyword("命中"), 2);
  search.Cancel();
  std::size_t hits = 0;
  for (;;) {
    const auto p = search.Poll();
    hits += p.newHits.size();
    if (p.finished) {
      EXPECT_LT(p.tested, notes.size());
      break;
    }
    search.WaitForProgress(50);
  }
  EXPECT_LT(hits, expected.size());
}

TEST(History, LatestFirstThirtyRowsEqualTimesInWalkOrder) {
  std::vector<NoteEntry> notes;
  for (int i = 0; i < 40; ++i) notes.push_back({DocumentPath("/s/n" + std::to_string(i) + ".esr"), 0});
  // Never opened: the first 30 in the order of the tree.
  auto rows = LatestNotes(notes);
  ASSERT_EQ(rows.size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(rows[i].documentPath.str(), "/s/n" + std::to_string(i) + ".esr");
  notes[35].lastTime = 100;
  notes[20].lastTime = 200;
  notes[5].lastTime = 100;
  rows = LatestNotes(notes);
  ASSERT_EQ(rows.size(), 30u);
  EXPECT_EQ(rows[0].documentPath.str(), "/s/n20.esr");
  EXPECT_EQ(rows[1].documentPath.str(), "/s/n5.esr");  // equal times: walk order
  EXPECT_EQ(rows[2].documentPath.str(), "/s/n35.esr");
  EXPECT_EQ(rows[3].documentPath.str(), "/s/n0.esr");
  notes.resize(4);
  notes[3].lastTime = 7;
  rows = LatestNotes(notes);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].documentPath.str(), "/s/n3.esr");
  EXPECT_EQ(rows[1].documentPath.str(), "/s/n0.esr");
}

TEST_F(SearchTest, CommandLineSearchAndHistory) {
  Make("<甲 type=\"dir\"><同名 type=\"esr\" lasttime=\"300\"/></甲>"
       "<乙 type=\"dir\"><同名 type=\"esr\" lasttime=\"abc\"/></乙><单 type=\"esr\" lasttime=\"400\"/>",
       {{"甲/同名.esr", Rtf("关键")}, {"乙/同名.esr", Rtf("关键")}, {"单.esr", Rtf("别的")}});
  std::string out, err;
  ASSERT_EQ(RunCli({"--db", db, "search", "关键"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "0\t同名.esr\t" + store + "/甲/同名.esr\n1\t同名.esr\t" + store + "/乙/同名.esr\n");
  ASSERT_EQ(RunCli({"--db", db, "search", "--scope", "乙", "关键"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "0\t同名.esr\t" + store + "/乙/同名.esr\n");
  // A note as the scope: the whole tree, as the label gives it.
  ASSERT_EQ(RunCli({"--db", db, "search", "--scope", "/乙/同名", "别的"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "0\t单.esr\t" + store + "/单.esr\n");
  ASSERT_EQ(RunCli({"--db", db, "search", "没有的词"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunCli({"--db", db, "search", "--scope", "/丙", "x"}, &out, &err), 1);
  EXPECT_EQ(err, "没有这个文件或文件夹：/丙\n");
  EXPECT_EQ(RunCli({"--db", db, "search"}, &out, &err), 2);

  ASSERT_EQ(RunCli({"--db", db, "history"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "0\t单.esr\t400\n1\t同名.esr\t300\n2\t同名.esr\t0\n");
  // Read only: the database file is as it was.
  EXPECT_NE(testing::ReadFile(db).find("lasttime=\"abc\""), std::string::npos);

  // The keyword is cut at 49 bytes of code page 936 without splitting a character: 24
  // characters and one more byte leave 24 characters (48 bytes), which the note holds.
  std::string long24;
  for (int i = 0; i < 24; ++i) long24 += "关";
  WriteFile(store + "/单.esr", Rtf(long24 + "尾"));
  ASSERT_EQ(RunCli({"--db", db, "search", long24 + "尾部"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "0\t单.esr\t" + store + "/单.esr\n");
  EXPECT_EQ(CutToCp936Bytes(long24 + "尾部", 49), long24);
  EXPECT_EQ(CutToCp936Bytes("a" + long24 + "尾部", 49), "a" + long24);
  EXPECT_EQ(CutToCp936Bytes(std::string(60, 'z'), 49), std::string(49, 'z'));
}

}  // namespace
}  // namespace zorbek
