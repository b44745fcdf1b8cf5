// The Ramulo conversion with the real note writer: the tree it builds, the files it writes, the
// names it maps, and what it keeps of an existing database.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "core/db/xml_document.h"
#include "core/io/file_util.h"
#include "core/db/change_journal.h"
#include "core/db/database.h"
#include "core/legacy/ramulo_convert.h"
#include "core/notes/store_change.h"
#include "core/notes/store_check.h"
#include "core/rtf/plain_text.h"
#include "core/text/cp936.h"
#include "rtf/note_converter_engine.h"
#include "support/fake_prompts.h"
#include "support/ramulo_data.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::RamuloNode;
using testing::TempDir;
using testing::WriteFile;
using testing::WriteRamuloSet;

struct Conversion {
  Conversion() { InstallNoteConverter(); }
  TempDir dir{"zorbek-ramulo"};
  std::string legacy = dir / "旧数据";
  std::string target = dir / "新库/Zorbek.xml";
  std::string archive = dir / "新库/Zorbek/archive";

  RamuloReport Run(bool replace = false, std::size_t notesPerSave = 100) {
    std::filesystem::create_directories(DirectoryOf(target));
    RamuloOptions o;
    o.treeFilesPath = legacy + "/TreeFiles.dat";
    o.treeStruPath = legacy + "/TreeStru.dat";
    o.targetPath = target;
    o.replaceStore = replace;
    o.notesPerSave = notesPerSave;
    return ConvertRamulo(o);
  }
  // The archive element as written to disk.
  std::string ArchiveXml() {
    CXmlDocument doc;
    doc.Load(target);
    XmlNode a = doc.Select("/list/filetree/archive");
    if (!a) return "(none)";
    std::ostringstream os;
    a.print(os, "", pugi::format_raw);
    return os.str();
  }
  // The note's text as the search (and zorbek-cli text) reads it, without the line end of the
  // last paragraph, which the note writer ends like every other.
  std::string Text(const std::string& relative) {
    std::string text = Cp936ToUtf8(ExtractPlainText(archive + "/" + relative));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
};

TEST(RamuloConvert, NodeWithChildrenBecomesFolderHoldingItsOwnNote) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "A", "f1", "甲"}, {1, "B", "f2", "乙"}, {1, "C", "f3", "丙"},
                            {0, "D", "f4", "丁"}});
  const RamuloReport r = c.Run();
  ASSERT_TRUE(r.done) << r.message;
  EXPECT_EQ(c.ArchiveXml(),
            "<archive><A type=\"dir\"><A type=\"esr\"/><B type=\"esr\"/><C type=\"esr\"/></A>"
            "<D type=\"esr\"/></archive>");
  EXPECT_EQ(c.Text("A/A.esr"), "甲");
  EXPECT_EQ(c.Text("A/B.esr"), "乙");
  EXPECT_EQ(c.Text("A/C.esr"), "丙");
  EXPECT_EQ(c.Text("D.esr"), "丁");
  EXPECT_EQ(r.folders, 1);
  EXPECT_EQ(r.notes, 4);
  EXPECT_EQ(r.skipped, 0);
}

TEST(RamuloConvert, NamesAreMappedByCharacterAndTakeFreeNames) {
  Conversion c;
  WriteRamuloSet(c.legacy, testing::SampleRamuloNodes());
  const RamuloReport r = c.Run();
  ASSERT_TRUE(r.done) << r.message;
  // 12 -> esr12, a.b -> a29b, a space -> 21; 丂 (81 40) and 乗 (81 5C) end in the bytes of "@"
  // and "\" but stay as they are. Two sibling leaves x: x and x1.
  EXPECT_EQ(c.ArchiveXml(),
            "<archive><工作 type=\"dir\"><工作 type=\"esr\"/>"
            "<计划212026 type=\"dir\"><计划212026 type=\"esr\"/><丂表 type=\"esr\"/>"
            "<乗车 type=\"esr\"/></计划212026><会议29记录 type=\"esr\"/></工作>"
            "<esr12 type=\"esr\"/><a29b type=\"esr\"/><x type=\"esr\"/><x1 type=\"esr\"/>"
            "</archive>");
  EXPECT_EQ(c.Text("工作/工作.esr"), "工作的总说明\n第二行");
  EXPECT_EQ(c.Text("工作/计划212026/丂表.esr"), "丂字开头的表格说明");
  EXPECT_EQ(c.Text("工作/计划212026/乗车.esr"), "乗车路线：地铁二号线");
  EXPECT_EQ(c.Text("x.esr"), "第一个x");
  EXPECT_EQ(c.Text("x1.esr"), "第二个x");
  EXPECT_EQ(r.folders, 2);
  EXPECT_EQ(r.notes, 9);
}

TEST(RamuloConvert, MappingTable) {
  EXPECT_EQ(kRamuloNameMapping.size(), 31u);
  EXPECT_EQ(MapRamuloLine("a b"), "a21b");
  EXPECT_EQ(MapRamuloLine("~x"), "esr0x");
  EXPECT_EQ(MapRamuloLine("\t\t2009年"), "\t\tesr2009年");
  EXPECT_EQ(MapRamuloLine(",.\\"), "esr302925");
  EXPECT_EQ(MapRamuloLine("甲\t乙"), "甲\t乙");  // a TAB in a name is no depth
  RamuloEntry e{MapRamuloLine("\t甲\t乙"), "s"};
  EXPECT_EQ(EntryDepth(e), 1);
  EXPECT_EQ(EntryName(e), "甲乙");
  // CR LF and LF lines, the shorter file ends the list, the last line may lack its end.
  const auto entries = ParseRamuloFiles("f1\r\nf2\nf3", Utf8ToCp936("甲\r\n\t乙\n丙\n丁\n"));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].structure, "\t乙");
  EXPECT_EQ(entries[2].fileStem, "f3");
}

TEST(RamuloConvert, ShorterTreeFilesEndsTheTree) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "A", "f1", "1"}, {0, "B", "f2", "2"}, {0, "C", "f3", "3"}},
                 /*dropLastFiles=*/1);
  const RamuloReport r = c.Run();
  ASSERT_TRUE(r.done);
  EXPECT_EQ(c.ArchiveXml(), "<archive><A type=\"esr\"/><B type=\"esr\"/></archive>");
  EXPECT_FALSE(PathExists(c.archive + "/C.esr"));
}

TEST(RamuloConvert, UnusableNamesAndMissingTextsAreCountedNotLost) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "[坏]", "b", "坏"},
                            {1, "子", "c", "子"},
                            {2, "孙", "d", "孙"},
                            {0, "好]", "e", "好"},
                            {0, "无文本", "missing", std::nullopt},
                            {0, "末", "z", "末"}});
  testing::FakePrompts prompts;
  const RamuloReport r = c.Run();
  ASSERT_TRUE(r.done);
  // The folder that cannot be an element goes with its subtree; the rest comes over.
  EXPECT_EQ(c.ArchiveXml(), "<archive><无文本 type=\"esr\"/><末 type=\"esr\"/></archive>");
  EXPECT_EQ(r.skipped, 4);
  EXPECT_EQ(r.skippedNames, (std::vector<std::string>{"[坏]", "好]"}));
  EXPECT_EQ(r.missingTexts, 1);
  EXPECT_EQ(c.Text("无文本.esr"), "");
  const std::string notice = ConversionNotice(r);
  EXPECT_NE(notice.find("[坏]"), std::string::npos);
  EXPECT_NE(notice.find("missing.txt"), std::string::npos);
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST(RamuloConvert, DepthsThatJumpBackKeepEveryNode) {
  // Well-formed files never do this; a damaged one must not lose the rest of the tree.
  Conversion c;
  WriteRamuloSet(c.legacy, {{1, "首", "a", "1"},
                            {0, "A", "b", "2"},
                            {2, "B", "c", "3"},
                            {1, "C", "d", "4"},
                            {0, "D", "e", "5"}});
  ASSERT_TRUE(c.Run().done);
  EXPECT_EQ(c.ArchiveXml(),
            "<archive><首 type=\"esr\"/><A type=\"dir\"><A type=\"esr\"/><B type=\"esr\"/>"
            "<C type=\"esr\"/></A><D type=\"esr\"/></archive>");
}

TEST(RamuloConvert, NoteNeverSharesItsElementNameWithASiblingFolder) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "x", "a", "夹"}, {1, "y", "b", "子"}, {0, "x", "c", "叶"}});
  ASSERT_TRUE(c.Run().done);
  EXPECT_EQ(c.ArchiveXml(),
            "<archive><x type=\"dir\"><x type=\"esr\"/><y type=\"esr\"/></x>"
            "<x1 type=\"esr\"/></archive>");
  EXPECT_EQ(c.Text("x1.esr"), "叶");
}

TEST(RamuloConvert, ExistingDatabaseKeepsEverythingButItsNotes) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "新", "n", "新笔记"}});
  const std::string kept =
      "<hotkey><key id=\"1\">Ctrl+Alt+Z</key></hotkey><tools><tool name=\"t\"/></tools>";
  const std::string schedule =
      "<schedule><r1 id=\"{A}\" mode=\"1\" content=\"开会\"/></schedule>";
  WriteFile(c.target, "<list>" + kept + "<filetree><archive><旧 type=\"esr\"/></archive>" +
                          schedule + "</filetree></list>");
  WriteFile(c.archive + "/旧.esr", "{\\rtf1 old}");
  const std::string fileStore = DirectoryOf(c.archive) + "/FileStore/图.png";
  WriteFile(fileStore, "png");
  ASSERT_TRUE(c.Run(/*replace=*/true).done);
  const std::string xml = testing::ReadFile(c.target);
  EXPECT_NE(xml.find(kept), std::string::npos) << xml;
  EXPECT_NE(xml.find(schedule), std::string::npos) << xml;
  EXPECT_EQ(c.ArchiveXml(), "<archive><新 type=\"esr\"/></archive>");
  EXPECT_FALSE(PathExists(c.archive + "/旧.esr"));
  EXPECT_EQ(testing::ReadFile(fileStore), "png");  // linked files are not the archive's
}

TEST(RamuloConvert, WithoutReplaceOldFilesKeepTheirNames) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "旧", "n", "新的"}});
  WriteFile(c.archive + "/旧.esr", "{\\rtf1 old}");
  ASSERT_TRUE(c.Run().done);
  EXPECT_EQ(c.ArchiveXml(), "<archive><旧1 type=\"esr\"/></archive>");
  EXPECT_EQ(testing::ReadFile(c.archive + "/旧.esr"), "{\\rtf1 old}");
  EXPECT_EQ(c.Text("旧1.esr"), "新的");
}

TEST(RamuloConvert, UnreadableLegacyFilesLeaveTheTargetUntouched) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "新", "n", "x"}});
  const std::string db = "<list><filetree><archive><旧 type=\"esr\"/></archive></filetree></list>";
  WriteFile(c.target, db);
  WriteFile(c.archive + "/旧.esr", "old");
  std::filesystem::remove(c.legacy + "/TreeStru.dat");
  std::filesystem::create_directory(c.legacy + "/TreeStru.dat");  // exists, cannot be read
  RamuloReport r = c.Run(true);
  EXPECT_FALSE(r.done);
  EXPECT_EQ(r.message, kMsgReadTreeStru);
  EXPECT_EQ(testing::ReadFile(c.target), db);
  EXPECT_EQ(testing::ReadFile(c.archive + "/旧.esr"), "old");
  std::filesystem::remove(c.legacy + "/TreeFiles.dat");
  r = c.Run(true);
  EXPECT_EQ(r.message, kMsgReadTreeFiles);
}

TEST(RamuloConvert, UnreadableTargetDatabaseIsKeptAside) {
  Conversion c;
  WriteRamuloSet(c.legacy, {{0, "新", "n", "x"}});
  WriteFile(c.target, "<list><filetree>broken");
  testing::FakePrompts prompts;
  ASSERT_TRUE(c.Run(true).done);
  ASSERT_EQ(prompts.Messages().size(), 1u);
  bool kept = false;
  for (const auto& e : std::filesystem::directory_iterator(DirectoryOf(c.target)))
    if (e.path().filename().string().rfind("Zorbek.xml.unreadable-", 0) == 0)
      kept = testing::ReadFile(e.path().string()) == "<list><filetree>broken";
  EXPECT_TRUE(kept);
  EXPECT_EQ(c.ArchiveXml(), "<archive><新 type=\"esr\"/></archive>");
}

TEST(RamuloConvert, EverySavedElementHasItsFile) {
  // Saved after every second note: each save on the way names only notes already written.
  Conversion c;
  std::vector<RamuloNode> nodes;
  for (int i = 0; i < 7; ++i) nodes.push_back({i % 2, "n" + std::to_string(i), "s", "t"});
  WriteRamuloSet(c.legacy, nodes);
  std::vector<std::string> seen;
  RamuloOptions o;
  o.treeFilesPath = c.legacy + "/TreeFiles.dat";
  o.treeStruPath = c.legacy + "/TreeStru.dat";
  o.targetPath = c.target;
  o.notesPerSave = 2;
  int checks = 0;
  o.progress = [&](std::size_t, std::size_t) {
    CXmlDocument doc;
    doc.Load(c.target);
    std::vector<std::pair<XmlNode, std::string>> todo{{doc.Select("/list/filetree/archive"), c.archive}};
    while (!todo.empty()) {
      auto [node, dir] = todo.back();
      todo.pop_back();
      for (XmlNode child : node.children()) {
        const std::string path = dir + "/" + child.name();
        if (Attribute(child, "type") == "dir") {
          EXPECT_TRUE(IsDirectory(path)) << path;
          todo.push_back({child, path});
        } else {
          EXPECT_TRUE(IsRegularFile(path + ".esr")) << path;
          ++checks;
        }
      }
    }
  };
  std::filesystem::create_directories(DirectoryOf(c.target));
  ASSERT_TRUE(ConvertRamulo(o).done);
  EXPECT_GT(checks, 0);
  EXPECT_EQ(c.ArchiveXml(),
            "<archive><n0 type=\"dir\"><n0 type=\"esr\"/><n1 type=\"esr\"/></n0>"
            "<n2 type=\"dir\"><n2 type=\"esr\"/><n3 type=\"esr\"/></n2>"
            "<n4 type=\"dir\"><n4 type=\"esr\"/><n5 type=\"esr\"/></n4><n6 type=\"esr\"/></archive>");
}

TEST(RamuloConvert, AKilledConversionLeavesStoreAndDatabaseInAgreement) {
  // Ended after each of its steps, as a kill would, over a database whose notes it replaces:
  // the next open finds the old notes, or the batches saved so far, never a file without element.
  std::vector<RamuloNode> nodes;
  for (int i = 0; i < 7; ++i) nodes.push_back({i % 2, "n" + std::to_string(i), "s", "t"});
  testing::FakePrompts prompts;
  int kills = 0;
  for (int k = 1; k < 60; ++k) {
    SCOPED_TRACE(k);
    Conversion c;
    WriteRamuloSet(c.legacy, nodes);
    WriteFile(c.target, "<list><filetree><archive><旧 type=\"dir\"><笔 type=\"esr\"/></旧>"
                        "</archive></filetree></list>");
    WriteFile(c.archive + "/旧/笔.esr", "{\\rtf1 old}");
    const pid_t pid = ::fork();
    if (pid == 0) {
      int calls = 0;
      SetStoreChangeStepHook([&](int) {
        if (++calls == k) ::_exit(0);
      });
      c.Run(/*replace=*/true, /*notesPerSave=*/2);
      ::_exit(3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) break;
    ++kills;
    CXmlDocument doc;
    OpenDatabaseFile(doc, c.target);
    const StoreAgreement a = CheckStoreAgreement(doc);
    EXPECT_TRUE(a.Agrees()) << (a.elementsWithoutFile.empty() ? "" : a.elementsWithoutFile[0])
                            << (a.filesWithoutElement.empty() ? "" : a.filesWithoutElement[0])
                            << (a.leftovers.empty() ? "" : a.leftovers[0]);
    EXPECT_FALSE(PathExists(JournalPathOf(c.target)));
    // Until the emptied archive was saved, the old note is all there is.
    if (doc.Select("/list/filetree/archive/旧/笔")) {
      EXPECT_EQ(testing::ReadFile(c.archive + "/旧/笔.esr"), "{\\rtf1 old}");
    }
  }
  EXPECT_GT(kills, 5);
}

TEST(RamuloConvert, LocatesTheLegacyFiles) {
  TempDir dir;
  EXPECT_EQ(LocateRamuloFiles(dir.path()).message, kMsgNoTreeFiles);
  WriteFile(dir / "TreeFiles.dat", "");
  RamuloFiles f = LocateRamuloFiles(dir.path() + "/");
  EXPECT_EQ(f.message, kMsgNoTreeStru);
  EXPECT_TRUE(f.treeFiles.empty());
  WriteFile(dir / "TreeStru.dat", "");
  f = LocateRamuloFiles(dir.path() + "/");
  ASSERT_TRUE(f);
  EXPECT_EQ(f.treeFiles, dir / "TreeFiles.dat");  // no doubled separator
  EXPECT_EQ(f.treeStru, dir / "TreeStru.dat");
}

}  // namespace
}  // namespace zorbek
