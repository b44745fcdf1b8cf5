// zorbek-cli convert-ramulo: the conversion from the command line, and the texts it brings
// over as zorbek-cli text reads them back.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/app/ini_file.h"
#include "core/io/file_util.h"
#include "core/legacy/ramulo_convert.h"
#include "support/ramulo_data.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

TEST(ConvertRamuloCommand, ConvertsAndEveryTextComesBack) {
  TempDir dir;
  const auto nodes = testing::SampleRamuloNodes();
  testing::WriteRamuloSet(dir / "legacy", nodes);
  std::string out, err;
  ASSERT_EQ(RunCli({"convert-ramulo", dir / "legacy", dir / "new"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "文件夹 2 个，笔记 9 个，跳过 0 个，缺少文本 0 个\n");
  const std::string store = dir / "new/Zorbek/archive";
  const std::vector<std::pair<std::string, std::string>> notes = {
      {"工作/工作.esr", *nodes[0].text},          {"工作/计划212026/计划212026.esr", *nodes[1].text},
      {"工作/计划212026/丂表.esr", *nodes[2].text}, {"工作/计划212026/乗车.esr", *nodes[3].text},
      {"工作/会议29记录.esr", *nodes[4].text},      {"esr12.esr", *nodes[5].text},
      {"a29b.esr", *nodes[6].text},                {"x.esr", *nodes[7].text},
      {"x1.esr", *nodes[8].text}};
  for (const auto& [file, text] : notes) {
    ASSERT_EQ(RunCli({"text", store + "/" + file}, &out, &err), 0) << file << err;
    EXPECT_EQ(out, text + "\n") << file;  // the last paragraph ends as every other
  }
}

TEST(ConvertRamuloCommand, ExistingDatabaseOnlyWithReplace) {
  TempDir dir;
  testing::WriteRamuloSet(dir / "legacy", {{0, "新", "n", "新的"}});
  const std::string db =
      "<list><hotkey>h</hotkey><filetree><archive><旧 type=\"esr\"/></archive>"
      "<schedule><r id=\"{1}\" mode=\"2\"/></schedule></filetree></list>";
  WriteFile(dir / "db/Zorbek.xml", db);
  WriteFile(dir / "db/Zorbek/archive/旧.esr", "old");
  WriteFile(dir / "db/Zorbek/FileStore/f.txt", "linked");
  std::string out, err;
  EXPECT_EQ(RunCli({"convert-ramulo", dir / "legacy", dir / "db"}, &out, &err), 1);
  EXPECT_NE(err.find("--replace"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "db/Zorbek.xml"), db);

  ASSERT_EQ(RunCli({"convert-ramulo", "--replace", dir / "legacy", dir / "db/"}, &out, &err), 0)
      << err;
  // The new notes take the old archive's place; the rest keeps its order.
  EXPECT_EQ(ReadFile(dir / "db/Zorbek.xml"),
            "<list><hotkey>h</hotkey><filetree><archive><新 type=\"esr\"/></archive>"
            "<schedule><r id=\"{1}\" mode=\"2\"/></schedule></filetree></list>");
  EXPECT_FALSE(PathExists(dir / "db/Zorbek/archive/旧.esr"));
  EXPECT_EQ(ReadFile(dir / "db/Zorbek/FileStore/f.txt"), "linked");
}

TEST(ConvertRamuloCommand, RefusalsAndUsage) {
  TempDir dir;
  std::filesystem::create_directories(dir / "empty");
  std::string out, err;
  EXPECT_EQ(RunCli({"convert-ramulo", dir / "empty", dir / "new"}, &out, &err), 1);
  EXPECT_EQ(err, std::string(kMsgNoTreeFiles) + "\n");
  EXPECT_FALSE(PathExists(dir / "new"));
  EXPECT_EQ(RunCli({"convert-ramulo", dir / "empty"}, &out, &err), 2);
  EXPECT_EQ(RunCli({"convert-ramulo", dir / "empty", dir / "new", "--bogus"}, &out, &err), 2);
}

TEST(ConvertRamuloCommand, UseNamesTheDatabaseForTheNextStart) {
  // The settings file lies in the user's data directory: here, a temporary one. The command runs
  // in another working directory and is given a relative target.
  TempDir dir;
  testing::WriteRamuloSet(dir / "legacy", {{0, "新", "n", "新的"}});
  std::filesystem::create_directories(dir / "work");
  const char* oldData = std::getenv("XDG_DATA_HOME");
  const std::string savedData = oldData ? oldData : "";
  const auto savedCwd = std::filesystem::current_path();
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  std::filesystem::current_path(dir / "work");
  std::string out, err;
  const int rc = RunCli({"convert-ramulo", "../legacy", "converted", "--use"}, &out, &err);
  std::filesystem::current_path(savedCwd);
  if (oldData) setenv("XDG_DATA_HOME", savedData.c_str(), 1);
  else unsetenv("XDG_DATA_HOME");
  ASSERT_EQ(rc, 0) << err;
  EXPECT_NE(out.find(kMsgNextStart), std::string::npos);
  // The path is whole: the next start does not run where this command ran.
  EXPECT_EQ(ReadProfileString(dir / "data/Zorbek/Zorbek.ini", "Project", "WorkPath", ""),
            dir / "work/converted/Zorbek.xml");
}

}  // namespace
}  // namespace zorbek
