#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// zorbek-cli import, export, drag and drop on a database whose path holds Chinese characters
// and spaces.
class TransferCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(db, "<list><hotkey/><filetree><archive>"
                  "<工作 type=\"dir\"><子目录 type=\"dir\"/><甲 type=\"esr\"/></工作>"
                  "<生活 type=\"dir\"><甲 type=\"esr\"/></生活>"
                  "</archive></filetree></list>");
    WriteFile(store + "/工作/甲.esr", "{\\rtf1 work}");
    WriteFile(store + "/生活/甲.esr", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0}");
    fs::create_directories(store + "/工作/子目录");
  }
  int Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", db});
    return RunCli(args, &out, &err);
  }
  TempDir dir{"zorbek 命令"};
  std::string db = dir / "我的 笔记/Zorbek.xml";
  std::string store = dir / "我的 笔记/Zorbek/archive";
  std::string files = dir / "外面 文件";
  std::string out, err;
};

TEST_F(TransferCliTest, ImportPrintsEachNoteAddedAndFailsWhenOneWasNot) {
  WriteFile(files + "/甲.txt", "文本");
  WriteFile(files + "/乙.esr", "{\\rtf1 b}");
  EXPECT_EQ(Cli({"import", "工作", files + "/甲.txt", files + "/乙.esr"}), 0) << err;
  EXPECT_EQ(out, "甲1\n乙\n");
  EXPECT_EQ(Cli({"tree"}), 0);
  EXPECT_EQ(out, "工作 [dir]\n  甲1 [esr]\n  乙 [esr]\n  子目录 [dir]\n  甲 [esr]\n生活 [dir]\n  甲 [esr]\n");
  EXPECT_EQ(Cli({"import", "工作/甲", files + "/没有.txt", files + "/甲.txt"}), 1);
  EXPECT_EQ(out, "甲2\n");
  EXPECT_NE(err.find("文件复制出错，请检查文件是否存在或者被占用。\n"), std::string::npos);
  EXPECT_EQ(Cli({"import", "没有", files + "/甲.txt"}), 1);
  EXPECT_EQ(Cli({"import", "工作"}), 2);
}

TEST_F(TransferCliTest, ExportOnlyNotes) {
  const std::string before = ReadFile(db);
  fs::create_directories(files);
  EXPECT_EQ(Cli({"export", "生活/甲", files + "/c.txt"}), 0) << err;
  EXPECT_EQ(ReadFile(files + "/c.txt"), "中");
  EXPECT_EQ(Cli({"export", "生活/甲", files + "/c.rtf"}), 0) << err;
  EXPECT_EQ(ReadFile(files + "/c.rtf").rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(Cli({"export", "生活", files + "/d.rtf"}), 1);
  EXPECT_EQ(err, "只支持ESR文件导出\n");  // refused before the RTF engine starts
  EXPECT_EQ(Cli({"export", "/", files + "/d.rtf"}), 1);
  EXPECT_FALSE(fs::exists(files + "/d.rtf"));
  EXPECT_EQ(ReadFile(db), before);
}

TEST_F(TransferCliTest, DragPrintsTheNewPathOrNothing) {
  EXPECT_EQ(Cli({"drag", "工作/甲", "生活/甲"}), 0) << err;
  EXPECT_EQ(out, "生活/甲1\n");
  EXPECT_EQ(ReadFile(store + "/生活/甲1.esr"), "{\\rtf1 work}");
  EXPECT_EQ(Cli({"drag", "工作", "工作/子目录"}), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(Cli({"drag", "工作/子目录", "/"}), 0);
  EXPECT_EQ(out, "子目录\n");
  EXPECT_TRUE(fs::is_directory(store + "/子目录"));
  // The disk move fails: the message, and nothing changes.
  fs::remove(store + "/生活/甲.esr");
  EXPECT_EQ(Cli({"drag", "生活/甲", "工作"}), 1);
  EXPECT_EQ(err, "移动文件失败，因为源文件已经不存在或者占用。\n");
  EXPECT_EQ(Cli({"tree"}), 0);
  EXPECT_EQ(out, "子目录 [dir]\n工作 [dir]\n生活 [dir]\n  甲1 [esr]\n  甲 [esr]\n");
}

TEST_F(TransferCliTest, DropAddsOnlyEsrFiles) {
  WriteFile(files + "/a.esr", "{\\rtf1 a}");
  WriteFile(files + "/b.txt", "b");
  WriteFile(files + "/无扩展名", "c");
  EXPECT_EQ(Cli({"drop", "生活", files + "/a.esr", files + "/b.txt", files + "/无扩展名"}), 0) << err;
  EXPECT_EQ(out, "a\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(Cli({"drop", "生活", files + "/没有.esr"}), 1);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace zorbek
