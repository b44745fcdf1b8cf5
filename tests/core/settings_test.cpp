#include <gtest/gtest.h>

#include "core/app/ini_file.h"
#include "core/app/paths.h"
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
  // No settings file, or one without a "Project" section: the database beside the program.
  EXPECT_EQ(ComputeDatabasePath(base), dir / "a.b.xml");
  WriteFile(dir / "a.b.ini", "[WindowRect]\nLastPosition=1,2,3,4\n");
  EXPECT_EQ(ComputeDatabasePath(base), dir / "a.b.xml");
  WriteFile(dir / "a.b.ini", "[project]\r\n  workpath = /data/我的 笔记.xml \r\n");
  EXPECT_EQ(ComputeDatabasePath(base), "/data/我的 笔记.xml");
  WriteFile(dir / "a.b.ini", "[Project]\nWorkPath=\n");
  EXPECT_EQ(ComputeDatabasePath(base), dir / "a.b.xml");
}

TEST(ProgramPaths, UnwritableProgramDirectoryUsesTheDataDirectory) {
  TempDir home;
  setenv("XDG_DATA_HOME", home.path().c_str(), 1);
  EXPECT_EQ(ProgramBase("/nonexistent/bin/Zorbek"), home / "Zorbek/Zorbek");
  unsetenv("XDG_DATA_HOME");
  TempDir writable;
  EXPECT_EQ(ProgramBase(writable / "Zorbek"), writable / "Zorbek");
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
