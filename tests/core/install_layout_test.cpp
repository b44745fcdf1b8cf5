#include "core/app/install_layout.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::TempDir;
using testing::WriteFile;

// The build directory holds the guide beside the program; an installed program (<prefix>/bin)
// finds it in <prefix>/share/zorbek; without either the path beside the program is named, so that
// the failure to open it names a place the user can look.
TEST(InstallLayout, UserGuideBesideTheProgramElseInTheInstalledDataDirectory) {
  TempDir dir;
  WriteFile(dir / "usr/bin/Zorbek", "");
  EXPECT_EQ(UserGuidePath(dir / "usr/bin/Zorbek"), dir / "usr/bin/guide.html");

  WriteFile(dir / "usr/share/zorbek/guide.html", "<html/>");
  EXPECT_EQ(UserGuidePath(dir / "usr/bin/Zorbek"), dir / "usr/share/zorbek/guide.html");

  WriteFile(dir / "usr/bin/guide.html", "<html/>");
  EXPECT_EQ(UserGuidePath(dir / "usr/bin/Zorbek"), dir / "usr/bin/guide.html");

  // A directory of that name is no guide.
  WriteFile(dir / "opt/bin/guide.html/x", "");
  WriteFile(dir / "opt/share/zorbek/guide.html", "<html/>");
  EXPECT_EQ(UserGuidePath(dir / "opt/bin/Zorbek"), dir / "opt/share/zorbek/guide.html");
}

TEST(InstallLayout, DataDirectoryFollowsTheConfiguredLayout) {
  // The build's layout is the GNU one: share/zorbek beside bin.
  EXPECT_EQ(InstalledDataDirectory("/usr/bin"), "/usr/share/zorbek");
  EXPECT_EQ(InstalledDataDirectory("/usr/bin/"), "/usr/share/zorbek");
  EXPECT_EQ(InstalledDataDirectory("/opt/zorbek/bin"), "/opt/zorbek/share/zorbek");
}

}  // namespace
}  // namespace zorbek
