#include <gtest/gtest.h>

#include "core/app/autostart.h"
#include "core/io/file_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(Autostart, EntryRoundTripsAwkwardProgramPaths) {
  TempDir dir;
  for (const std::string& program :
       {std::string("/opt/zorbek/Zorbek"), dir / "我的 程序/Zorbek", std::string("/a/100%/b\"c$d`e\\f/Zorbek")}) {
    AutostartEntry entry(dir / "autostart", program);
    EXPECT_EQ(entry.path(), dir / "autostart/Zorbek.desktop");
    EXPECT_FALSE(entry.IsRegistered());
    ASSERT_TRUE(entry.SetRegistered(true)) << program;
    EXPECT_TRUE(entry.IsRegistered()) << ReadFile(entry.path());
    const auto parsed = ParseAutostartEntry(ReadFile(entry.path()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->program, program);
    ASSERT_TRUE(entry.SetRegistered(false));
    EXPECT_FALSE(PathExists(entry.path()));
    EXPECT_FALSE(entry.IsRegistered());
  }
  // A path with spaces is quoted, as the desktop's launchers expect.
  EXPECT_NE(AutostartEntryText("/x y/Zorbek").find("Exec=\"/x y/Zorbek\"\n"), std::string::npos);
  EXPECT_NE(AutostartEntryText("/usr/bin/Zorbek").find("Exec=/usr/bin/Zorbek\n"), std::string::npos);
}

TEST(Autostart, StaleEntryOfAnotherPathIsRemoved) {
  TempDir dir;
  AutostartEntry entry(dir.path(), "/home/u/Zorbek/Zorbek");
  WriteFile(entry.path(), "[Desktop Entry]\nType=Application\nExec=/old/place/Zorbek\n");
  EXPECT_FALSE(entry.IsRegistered());
  EXPECT_FALSE(PathExists(entry.path()));
  // Case does not make an entry stale.
  WriteFile(entry.path(), "[Desktop Entry]\nExec=\"/HOME/u/zorbek/ZORBEK\" --x\n");
  EXPECT_TRUE(entry.IsRegistered());
  // An entry without an Exec line in its group starts nothing of ours.
  WriteFile(entry.path(), "[Other]\nExec=/home/u/Zorbek/Zorbek\n");
  EXPECT_FALSE(entry.IsRegistered());
  EXPECT_FALSE(PathExists(entry.path()));
}

TEST(Autostart, EntryDisabledInTheDesktopSettingsCountsAsAbsent) {
  TempDir dir;
  AutostartEntry entry(dir.path(), "/p/Zorbek");
  for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
    WriteFile(entry.path(), std::string("[Desktop Entry]\nExec=/p/Zorbek\n") + off + "\n");
    EXPECT_FALSE(entry.IsRegistered());
    EXPECT_TRUE(PathExists(entry.path())) << "the user's choice is kept";
    // Turning it on writes an entry that starts the program.
    ASSERT_TRUE(entry.SetRegistered(true));
    EXPECT_TRUE(entry.IsRegistered());
  }
}

TEST(Autostart, UnwritableDirectoryReportsFailure) {
  TempDir dir;
  WriteFile(dir / "config", "a file where the directory should be");
  AutostartEntry entry(dir / "config/autostart", "/p/Zorbek");
  EXPECT_FALSE(entry.SetRegistered(true));
  EXPECT_FALSE(entry.IsRegistered());
}

TEST(Autostart, EntryIsNamedAfterTheProgramFile) {
  EXPECT_EQ(AutostartEntry("/d", "/opt/a.b.exe").path(), "/d/a.b.desktop");
  EXPECT_EQ(AutostartEntry("", "/opt/Zorbek").path(), "");
  EXPECT_FALSE(AutostartEntry("", "/opt/Zorbek").SetRegistered(true));
}

}  // namespace
}  // namespace zorbek
