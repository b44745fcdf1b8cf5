// Which two paths are one file, and which names the file system takes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(SameFile, TwoSpellingsAreTwoFilesOnACaseSensitiveFileSystem) {
  TempDir dir;
  WriteFile(dir / "other/Zorbek.xml", "<list/>");
  WriteFile(dir / "OTHER/Zorbek.xml", "<list/>");
  EXPECT_FALSE(SameFile(dir / "OTHER/Zorbek.xml", dir / "other/Zorbek.xml"));
  EXPECT_TRUE(SameFile(dir / "other/./Zorbek.xml", dir / "OTHER/../other/Zorbek.xml"));
  // A link to the file is the file.
  ASSERT_EQ(::symlink((dir / "other").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(SameFile(dir / "link/Zorbek.xml", dir / "other/Zorbek.xml"));
  // A database not made yet is the same only under the same path.
  EXPECT_TRUE(SameFile(dir / "new/Zorbek.xml", dir / "new/../new/Zorbek.xml"));
  EXPECT_FALSE(SameFile(dir / "new/Zorbek.xml", dir / "NEW/Zorbek.xml"));
  EXPECT_FALSE(SameFile(dir / "new/Zorbek.xml", dir / "other/Zorbek.xml"));
}

TEST(NameFitsFileSystem, TheTemporaryFileOfAWriteCountsAgainstTheLimit) {
  TempDir dir;
  const long max = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(max, 20);
  const std::size_t limit = static_cast<std::size_t>(max) - kTemporaryNameExtra;
  EXPECT_TRUE(NameFitsFileSystem(dir.path(), std::string(limit, 'a')));
  EXPECT_FALSE(NameFitsFileSystem(dir.path(), std::string(limit + 1, 'a')));
  // Counted in bytes: a Chinese character is three of them in a file name.
  std::string chinese;
  while (chinese.size() + 3 <= limit) chinese += "周";
  EXPECT_TRUE(NameFitsFileSystem(dir.path(), chinese));
  EXPECT_FALSE(NameFitsFileSystem(dir.path(), chinese + "周"));
  // A directory not made yet is judged by the nearest one that exists.
  EXPECT_TRUE(NameFitsFileSystem(dir / "a/b/c", "短.esr"));
  EXPECT_FALSE(NameFitsFileSystem(dir / "a/b/c", std::string(limit + 1, 'a')));
  // The limit holds exactly: a name at the limit can be written atomically.
  const std::string longest(limit, 'n');
  EXPECT_TRUE(WriteFileAtomically(dir / longest, "x"));
}

}  // namespace
}  // namespace zorbek
