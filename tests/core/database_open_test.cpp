#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::FakePrompts;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

TEST(OpenDatabase, MissingFileInMissingDirectoryIsCreated) {
  FakePrompts prompts;
  TempDir dir;
  const std::string path = dir / "新 目录/sub/Zorbek.xml";
  CXmlDocument doc;
  auto opened = OpenDatabaseFile(doc, path);
  EXPECT_EQ(opened.status, LoadStatus::Missing);
  EXPECT_TRUE(opened.archive);
  EXPECT_EQ(ReadFile(path), "<list><hotkey/><filetree><archive/></filetree></list>");
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST(OpenDatabase, ExistingDatabaseIsKeptAsItIs) {
  FakePrompts prompts;
  TempDir dir;
  const std::string db =
      "<list><tools><t/></tools><hotkey/><filetree><archive><a type=\"dir\"/></archive>"
      "<schedule/></filetree></list>";
  WriteFile(dir / "Zorbek.xml", db);
  CXmlDocument doc;
  auto opened = OpenDatabaseFile(doc, dir / "Zorbek.xml");
  EXPECT_EQ(opened.status, LoadStatus::Loaded);
  EXPECT_EQ(ReadFile(dir / "Zorbek.xml"), db);
}

TEST(OpenDatabase, UnreadableDatabaseIsKeptAsideAndTheUserTold) {
  FakePrompts prompts;
  FakeClock clock;
  clock.SetUnixMillis(1796640480000);  // some moment; only the name depends on it
  SetClock(&clock);
  TempDir dir;
  const std::string corrupt = "<list><filetree><archive><重要 type=\"esr\"></archive>";
  for (const std::string& content : {corrupt, std::string("<html><body/></html>")}) {
    WriteFile(dir / "Zorbek.xml", content);
    CXmlDocument doc;
    auto opened = OpenDatabaseFile(doc, dir / "Zorbek.xml");
    EXPECT_EQ(opened.status, LoadStatus::Unparsable);
    ASSERT_FALSE(opened.keptAs.empty());
    EXPECT_NE(opened.keptAs.find("Zorbek.xml.unreadable-"), std::string::npos);
    EXPECT_EQ(ReadFile(opened.keptAs), content);
    EXPECT_EQ(ReadFile(dir / "Zorbek.xml"),
              "<list><hotkey/><filetree><archive/></filetree></list>");
    EXPECT_EQ(prompts.LastMessage(), KeptAsideMessage(opened.keptAs));
  }
  SetClock(nullptr);
}

TEST(OpenDatabase, WhenTheFileCannotBeKeptAsideNothingIsWritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores directory permissions";
  FakePrompts prompts;
  TempDir dir;
  std::filesystem::create_directory(dir / "ro");
  WriteFile(dir / "ro/Zorbek.xml", "garbage");
  std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
  CXmlDocument doc;
  OpenDatabaseFile(doc, dir / "ro/Zorbek.xml");
  EXPECT_TRUE(doc.WriteProtected());
  EXPECT_EQ(ReadFile(dir / "ro/Zorbek.xml"), "garbage");
}

TEST(StorePaths, NamesAndDirectories) {
  TempDir dir;
  EXPECT_EQ(NoteStoreDirectory("/d/data/Zorbek.xml"), "/d/data/Zorbek/archive");
  WriteFile(dir / "a.esr", "");
  WriteFile(dir / "A1.esr", "");
  std::filesystem::create_directory(dir / "a2.esr");
  EXPECT_EQ(UniqueFileName(dir.path(), "a", ".esr"), "a3.esr");
  EXPECT_EQ(UniqueFileName(dir.path(), "b", ""), "b");
  EXPECT_TRUE(FileExistsIn(dir.path(), "A.ESR"));
  EXPECT_TRUE(SamePath("C:\\Data\\Zorbek.xml", "c:/data/zorbek.XML"));
  EXPECT_FALSE(SamePath("/a/b", "/a/b/"));
  EXPECT_TRUE(EnsureParentDirectories(dir / "x/y z/中/note.esr"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "x/y z/中"));
  WriteFile(dir / "tree/sub/f.esr", "x");
  std::filesystem::permissions(dir / "tree/sub/f.esr", std::filesystem::perms::owner_read);
  DeleteDirectoryTree(dir / "tree");
  EXPECT_FALSE(std::filesystem::exists(dir / "tree"));
}

TEST(CliTree, PrintsWhatTheTreeShowsAndWritesNothing) {
  TempDir dir;
  const std::string db =
      "<list><hotkey/><filetree><archive state=\"expanded\"><日记 type=\"dir\"><一月 type=\"ESR\"/>"
      "<x type=\"rtf\"><hidden type=\"esr\"/></x><子 type=\"Dir\"><n type=\"esr\"/></子></日记>"
      "<todo type=\"esr\"/><untyped/></archive></filetree></list>";
  WriteFile(dir / "Zorbek.xml", db);
  std::string out, err;
  EXPECT_EQ(RunCli({"--db", dir / "Zorbek.xml", "tree"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "日记 [dir]\n  一月 [esr]\n  子 [dir]\n    n [esr]\ntodo [esr]\n");
  EXPECT_EQ(ReadFile(dir / "Zorbek.xml"), db);

  // A missing database named with --db is said so and created nothing; a broken one is
  // refused.
  EXPECT_EQ(RunCli({"--db", dir / "none/Zorbek.xml", "tree"}, &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "数据库文件不存在：" + (dir / "none/Zorbek.xml") + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
  WriteFile(dir / "bad.xml", "<list>");
  EXPECT_EQ(RunCli({"--db", dir / "bad.xml", "tree"}, &out, &err), 1);
  EXPECT_NE(err.find("bad.xml"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "bad.xml"), "<list>");
  EXPECT_EQ(RunCli({"--db", dir / "bad.xml", "tree", "extra"}, &out, &err), 2);
  EXPECT_NE(err.find("usage:"), std::string::npos);
  EXPECT_EQ(RunCli({"nosuchcommand"}, &out, &err), 2);
}

}  // namespace
}  // namespace zorbek
