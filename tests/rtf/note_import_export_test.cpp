#include <gtest/gtest.h>

#include <filesystem>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_transfer.h"
#include "rtf/note_converter_engine.h"
#include "rtf_test_util.h"
#include "support/fake_prompts.h"
#include "support/file_box.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using namespace zorbek::testing;

// Import and export through the real RTF engine, on a database whose path holds Chinese
// characters and spaces.
class NoteImportExportTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallNoteConverter(); }
  void Open(const std::string& archive) {
    WriteFile(db, "<list><hotkey/><filetree><archive>" + archive + "</archive></filetree></list>");
    OpenDatabaseFile(doc, db);
    store = NoteStoreDirectory(db);
  }
  std::string Saved() const {
    const std::string file = ReadFile(db);
    const auto a = file.find("<archive"), b = file.find("</filetree>");
    return file.substr(a, b - a);
  }
  std::string NoteText(const std::string& relative) const {
    return Text(*ReadDoc(Bytes(store + "/" + relative)));
  }
  static std::vector<std::string> Names(const std::vector<TransferOutcome>& results) {
    std::vector<std::string> names;
    for (const auto& r : results) names.push_back(r.done ? r.name : "-");
    return names;
  }

  FakePrompts prompts;
  TempDir dir{"zorbek 导入"};
  std::string db = dir / "我的 笔记/Zorbek.xml";
  std::string source = dir / "下载 文件";
  std::string store;
  CXmlDocument doc;
  NoteCommands cmd{doc};
  NoteTransfer transfer{cmd};
};

TEST_F(NoteImportExportTest, TextIntoAFolderThatHasTheNameTakesAFreeNameAndLeavesNothingBehind) {
  Open("<文件夹 type=\"dir\"><a type=\"esr\"/></文件夹>");
  WriteFile(store + "/文件夹/a.esr", "{\\rtf1 old}");
  WriteFile(source + "/a.txt", "第一行\r\n第二行");
  WriteFile(source + "/a.esr", "beside the source, not to be touched");
  // The converted copy is made in a private temporary directory, gone afterwards.
  const std::string tmp = dir / "临时 目录";
  fs::create_directories(tmp);
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  setenv("TMPDIR", tmp.c_str(), 1);
  const auto results = transfer.Import(testing::FileBoxItem({"文件夹"}), {source + "/a.txt"});
  if (oldTmp) setenv("TMPDIR", savedTmp.c_str(), 1);
  else unsetenv("TMPDIR");
  EXPECT_TRUE(fs::is_empty(tmp));
  EXPECT_EQ(Names(results), std::vector<std::string>{"a1"});
  EXPECT_EQ(results[0].item, testing::FileBoxItem({"文件夹", "a1"}));
  EXPECT_EQ(Saved(), "<archive><文件夹 type=\"dir\"><a1 type=\"esr\"/><a type=\"esr\"/></文件夹></archive>");
  EXPECT_EQ(ReadFile(store + "/文件夹/a1.esr").rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(NoteText("文件夹/a1.esr"), "第一行\n第二行");
  EXPECT_EQ(ReadFile(store + "/文件夹/a.esr"), "{\\rtf1 old}");
  // The source, and the .esr that lay beside it, are as they were; nothing else appeared.
  EXPECT_EQ(ReadFile(source + "/a.txt"), "第一行\r\n第二行");
  EXPECT_EQ(ReadFile(source + "/a.esr"), "beside the source, not to be touched");
  EXPECT_EQ(std::distance(fs::directory_iterator(source), fs::directory_iterator()), 2);
}

TEST_F(NoteImportExportTest, ContentDecidesRtfAndTheTextRuleDecodesTheRest) {
  Open("<文件夹 type=\"dir\"/>");
  WriteFile(source + "/b.txt", "{\\RTF1\\ansi\\ansicpg936 \\b \\'d6\\'d0\\'ce\\'c4\\b0}");
  WriteFile(source + "/gbk.txt", "\xD6\xD0\xCE\xC4");  // not UTF-8: code page 936
  WriteFile(source + "/说明", "没有扩展名");               // no "." at all
  WriteFile(source + "/c.rtf", "plain text in an rtf file");
  const auto results = transfer.Import(
      testing::FileBoxItem({"文件夹"}), {source + "/b.txt", source + "/gbk.txt", source + "/说明", source + "/c.rtf"});
  EXPECT_EQ(Names(results), (std::vector<std::string>{"b", "gbk", "说明", "c"}));
  EXPECT_EQ(NoteText("文件夹/b.esr"), "中文");
  EXPECT_NE(ReadFile(store + "/文件夹/b.esr").find("\\b"), std::string::npos);  // read as RTF
  EXPECT_EQ(NoteText("文件夹/gbk.esr"), "中文");
  EXPECT_EQ(NoteText("文件夹/说明.esr"), "没有扩展名");
  EXPECT_EQ(NoteText("文件夹/c.esr"), "plain text in an rtf file");
}

TEST_F(NoteImportExportTest, SeveralFilesKeepTheirOrderAfterTheSelection) {
  Open("<文件夹 type=\"dir\"><旧 type=\"esr\"/><尾 type=\"esr\"/></文件夹>");
  for (const char* n : {"一.txt", "二.esr", "三.txt"}) WriteFile(source + "/" + n, "{\\rtf1 x}");
  const std::vector<std::string> files{source + "/一.txt", source + "/二.esr", source + "/三.txt"};
  // A folder selected: the first goes first, each further one after the one before.
  auto results = transfer.Import(testing::FileBoxItem({"文件夹"}), files);
  EXPECT_EQ(Names(results), (std::vector<std::string>{"一", "二", "三"}));
  EXPECT_EQ(Saved(), "<archive><文件夹 type=\"dir\"><一 type=\"esr\"/><二 type=\"esr\"/>"
                     "<三 type=\"esr\"/><旧 type=\"esr\"/><尾 type=\"esr\"/></文件夹></archive>");
  // A note selected: the first directly after it.
  Open("<文件夹 type=\"dir\"><旧 type=\"esr\"/><尾 type=\"esr\"/></文件夹>");
  fs::remove_all(store);
  results = transfer.Import(testing::FileBoxItem({"文件夹", "旧"}), files);
  EXPECT_EQ(Names(results), (std::vector<std::string>{"一", "二", "三"}));
  EXPECT_EQ(Saved(), "<archive><文件夹 type=\"dir\"><旧 type=\"esr\"/><一 type=\"esr\"/>"
                     "<二 type=\"esr\"/><三 type=\"esr\"/><尾 type=\"esr\"/></文件夹></archive>");
}

TEST_F(NoteImportExportTest, AFailedFileDoesNotStopTheNext) {
  Open("<文件夹 type=\"dir\"/>");
  WriteFile(source + "/好.txt", "ok");
  const auto results =
      transfer.Import(testing::FileBoxItem({"文件夹"}), {source + "/没有.txt", source + "/没有.esr", source + "/好.txt"});
  EXPECT_EQ(Names(results), (std::vector<std::string>{"-", "-", "好"}));
  EXPECT_EQ(results[0].message, kMsgFileCopyError);
  EXPECT_EQ(results[1].message, kMsgFileCopyError);
  EXPECT_FALSE(fs::exists(store + "/文件夹/没有.esr"));
  // An esr already in the folder's directory without element is recorded, not copied.
  WriteFile(store + "/文件夹/孤儿.esr", "{\\rtf1 orphan}");
  EXPECT_EQ(Names(transfer.Import(testing::FileBoxItem({"文件夹"}), {store + "/文件夹/孤儿.esr"})),
            std::vector<std::string>{"孤儿"});
  EXPECT_FALSE(fs::exists(store + "/文件夹/孤儿1.esr"));
}

TEST_F(NoteImportExportTest, ExportWritesRtfOnlyForAnRtfExtensionAsWritten) {
  Open("<文件夹 type=\"dir\"><笔记 type=\"esr\"/></文件夹>");
  WriteFile(store + "/文件夹/笔记.esr", ReadFile(RtfTestFile("generated/wine8-riched20_zh_table_3x4.rtf")));
  const std::string out = dir / "导出 结果";
  fs::create_directories(out);
  const auto before = ReadFile(db);
  ASSERT_TRUE(transfer.Export(testing::FileBoxItem({"文件夹", "笔记"}), out + "/c.rtf").done);
  ASSERT_TRUE(transfer.Export(testing::FileBoxItem({"文件夹", "笔记"}), out + "/c.txt").done);
  ASSERT_TRUE(transfer.Export(testing::FileBoxItem({"文件夹", "笔记"}), out + "/c.RTF").done);
  EXPECT_EQ(ReadFile(out + "/c.rtf").rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(ReadFile(out + "/c.txt").rfind("本周课程表\n节次\t星期一", 0), 0u);
  EXPECT_EQ(ReadFile(out + "/c.RTF"), ReadFile(out + "/c.txt"));
  EXPECT_EQ(ReadFile(db), before);  // export changes no database
  // The exported text file comes back in as a note with the same text.
  const auto back = transfer.Import(testing::FileBoxItem({"文件夹"}), {out + "/c.txt"});
  ASSERT_TRUE(back[0].done);
  EXPECT_EQ(NoteText("文件夹/c.esr"), ReadFile(out + "/c.txt"));

  // Folders and the file box are not exported; nor is a note onto its own file.
  for (const ItemPath& item : {testing::FileBoxItem({"文件夹"}), testing::FileBoxItem({})}) {
    const TransferOutcome refused = transfer.Export(item, out + "/d.rtf");
    EXPECT_EQ(refused.message, kMsgExportOnlyNotes);
    EXPECT_EQ(transfer.CanExport(item).message, kMsgExportOnlyNotes);
  }
  EXPECT_FALSE(fs::exists(out + "/d.rtf"));
  const std::string own = store + "/文件夹/笔记.esr";
  const std::string kept = ReadFile(own);
  EXPECT_FALSE(transfer.Export(testing::FileBoxItem({"文件夹", "笔记"}), own).done);
  EXPECT_EQ(ReadFile(own), kept);
  // A place that cannot be written is reported.
  const TransferOutcome failed = transfer.Export(testing::FileBoxItem({"文件夹", "笔记"}), out + "/没有/c.rtf");
  EXPECT_FALSE(failed.done);
  EXPECT_EQ(failed.message.rfind("导出文件失败：", 0), 0u);
}

}  // namespace
}  // namespace zorbek
