#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "core/app/ini_file.h"
#include "core/app/paths.h"
#include "core/db/store_paths.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(ProgramPaths, OnlyTheLastExtensionOfTheFileNameIsReplaced) {
  EXPECT_EQ(ReplaceLastExtension("/opt/a.b.exe", ".ini"), "/opt/a.b.ini");
  EXPECT_EQ(ReplaceLastExtension("/opt/Zorbek", ".ini"), "/opt/Zorbek.ini");
  EXPECT_EQ(ReplaceLastExtension("/opt/v1.6/Zorbek", ".xml"), "/opt/v1.6/Zorbek.xml");
  EXPECT_EQ(RemoveLastExtension("/d/Zorbek.xml"), "/d/Zorbek");
  EXPECT_EQ(FileStoreDirectory("/opt/app/Zorbek"), "/opt/app/Zorbek/FileStore");
}

TEST(ProgramPaths, DatabasePathComesFromTheSettingsFile) {
  TempDir dir;
  const std::string base = dir / "a.b.exe";
  // No settings file, or one without a "Project" section: the default database.
  EXPECT_EQ(ComputeDatabasePath(base), dir / "a.b.xml");
  WriteFile(dir / "a.b.ini", "[WindowRect]\nLastPosition=1,2,3,4\n");
  EXPECT_EQ(ComputeDatabasePath(base), dir / "a.b.xml");
  WriteFile(dir / "a.b.ini", "[project]\r\n  workpath = /data/我的 笔记.xml \r\n");
  EXPECT_EQ(ComputeDatabasePath(base), "/data/我的 笔记.xml");
  WriteFile(dir / "a.b.ini", "[Project]\nWorkPath=\n");
  EXPECT_EQ(ComputeDatabasePath(base), dir / "a.b.xml");
}

// Restores an environment variable when the test ends.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ProgramPaths, EverythingLivesInTheUsersDataDirectoryNeverBesideTheProgram) {
  TempDir home;
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  ScopedEnv h("HOME", home.path().c_str());
  const std::string data = home / ".local/share/Zorbek";
  EXPECT_EQ(UserDataDirectory(), data);
  EXPECT_FALSE(std::filesystem::exists(data));  // asking creates nothing
  const std::string base = ProgramBase();
  EXPECT_EQ(base, data + "/Zorbek");
  EXPECT_EQ(SettingsFilePath(base), data + "/Zorbek.ini");
  EXPECT_EQ(ComputeDatabasePath(base), data + "/Zorbek.xml");
  EXPECT_EQ(NoteStoreDirectory(ComputeDatabasePath(base)), data + "/Zorbek/archive");
  EXPECT_EQ(FileStoreDirectory(base), data + "/Zorbek/FileStore");

  ASSERT_TRUE(CreateUserDataDirectory());
  EXPECT_EQ(std::filesystem::status(data).permissions(), std::filesystem::perms::owner_all);
  // A database chosen with "WorkPath" is opened where it lies.
  WriteFile(SettingsFilePath(base), "[Project]\nWorkPath=/srv/notes/a.xml\n");
  EXPECT_EQ(ComputeDatabasePath(base), "/srv/notes/a.xml");

  // XDG_DATA_HOME wins when it is an absolute path; a relative one is ignored, as the XDG
  // rules say.
  {
    ScopedEnv x("XDG_DATA_HOME", (home / "xdg/").c_str());
    EXPECT_EQ(UserDataDirectory(), home / "xdg/Zorbek");
  }
  {
    ScopedEnv x("XDG_DATA_HOME", "relative/dir");
    EXPECT_EQ(UserDataDirectory(), data);
  }
  // Without HOME the user database gives the home directory.
  {
    ScopedEnv noHome("HOME", nullptr);
    const std::string dir = UserDataDirectory();
    EXPECT_EQ(dir.substr(dir.size() - std::string("/.local/share/Zorbek").size()),
              "/.local/share/Zorbek");
    EXPECT_EQ(dir[0], '/');
  }
}

TEST(ProgramPaths, CommandLineMakesFoldersAndNotesOnTheDefaultDatabase) {
  TempDir home;
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  ScopedEnv h("HOME", home.path().c_str());
  std::string out, err;
  // A read-only command on a fresh account creates nothing.
  ASSERT_EQ(testing::RunCli({"tree"}, &out, &err), 0) << err;
  EXPECT_FALSE(std::filesystem::exists(home / ".local")) << out;
  ASSERT_EQ(testing::RunCli({"new-folder", "/"}, &out, &err), 0) << err;
  ASSERT_EQ(testing::RunCli({"new-note", "新建文件夹"}, &out, &err), 0) << err;
  ASSERT_EQ(testing::RunCli({"tree"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("新建文件夹"), std::string::npos) << out;
  EXPECT_NE(out.find("新建ESR文档"), std::string::npos) << out;
  const std::string data = home / ".local/share/Zorbek";
  EXPECT_TRUE(std::filesystem::is_regular_file(data + "/Zorbek.xml"));
  EXPECT_TRUE(std::filesystem::is_regular_file(data + "/Zorbek/archive/新建文件夹/新建ESR文档.esr"));
}

TEST(SettingsFile, WritesKeepEverythingElse) {
  TempDir dir;
  const std::string ini = dir / "Zorbek.ini";
  WriteFile(ini, "; comment\r\n[Other]\r\nx=1\r\n\r\n[WINDOWRECT]\r\nLastPosition=0,0,0,0\r\n");
  ASSERT_TRUE(WriteProfileString(ini, "WindowRect", "LastPosition", "10,20,310,620"));
  ASSERT_TRUE(WriteProfileString(ini, "Project", "WorkPath", "/home/u/笔记.xml"));
  ASSERT_TRUE(WriteProfileString(ini, "Other", "y", "2"));
  EXPECT_EQ(ReadFile(ini),
            "; comment\r\n[Other]\r\nx=1\r\ny=2\r\n\r\n[WINDOWRECT]\r\nLastPosition=10,20,310,620"
            "\r\n[Project]\r\nWorkPath=/home/u/\xB1\xCA\xBC\xC7.xml\r\n");
  // Stored as CP936, read back as UTF-8; keys and sections found without regard to case.
  EXPECT_EQ(ReadProfileString(ini, "project", "WORKPATH", ""), "/home/u/笔记.xml");
  EXPECT_EQ(ReadProfileString(ini, "Project", "Missing", "def"), "def");
  EXPECT_EQ(ReadProfileString(dir / "none.ini", "Project", "WorkPath", ""), "");
}

TEST(SettingsFile, CreatesTheFileAndKeepsCharactersOutsideCp936) {
  TempDir dir;
  const std::string ini = dir / "new.ini";
  ASSERT_TRUE(WriteProfileString(ini, "Project", "WorkPath", "/data/😀.xml"));
  EXPECT_EQ(ReadProfileString(ini, "Project", "WorkPath", ""), "/data/😀.xml");
  EXPECT_FALSE(WriteProfileString(dir / "missing/dir/x.ini", "a", "b", "c"));
}

}  // namespace
}  // namespace zorbek
