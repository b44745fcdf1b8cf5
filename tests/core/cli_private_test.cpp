// zorbek-cli's reading commands on a database that is not there, notes named as tree items,
// the usage text without the helper, and the modes of everything made for the user's notes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "core/io/file_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The umask of a user who shares files with the group and the world by default.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }

 private:
  mode_t old_;
};

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Every directory below (and including) root is 0700 and every file 0600.
void ExpectPrivateTree(const std::string& root) {
  EXPECT_EQ(ModeOf(root), 0700u) << root;
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string p = e.path().string();
    EXPECT_EQ(ModeOf(p), e.is_directory() ? 0700u : 0600u) << p;
    files += e.is_regular_file();
  }
  EXPECT_GT(files, 0);
}

TEST(CliReading, ADatabaseNamedThatIsNotThereIsSaidSo) {
  TempDir dir;
  const std::string db = dir / "typo/Zorbek.xml";
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"tree"}, {"reminders"}, {"history"}, {"search", "计划"}, {"text", "工作/周报"}}) {
    std::string out, err;
    args.insert(args.begin(), {"--db", db});
    EXPECT_EQ(RunCli(args, &out, &err), 1) << args[2];
    EXPECT_EQ(err, "数据库文件不存在：" + db + "\n") << args[2];
    EXPECT_EQ(out, "");
  }
  EXPECT_FALSE(fs::exists(dir / "typo"));
}

TEST(CliReading, TextTakesANoteOfTheTreeOrAFile) {
  TempDir dir;
  const std::string db = dir / "笔记.xml";
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);
  ASSERT_EQ(RunCli({"--db", db, "new-note", "新建文件夹"}), 0);
  const std::string note = dir / "笔记/archive/新建文件夹/新建ESR文档.esr";
  ASSERT_TRUE(fs::exists(note));
  WriteFile(note, "{\\rtf1\\ansi\\ansicpg936 \\'ba\\'ec\\'c2\\'a5\\'c3\\'ce\\par}");
  std::string out, err;
  for (const char* item : {"新建文件夹/新建ESR文档", "/新建文件夹/新建ESR文档"}) {
    ASSERT_EQ(RunCli({"--db", db, "text", item}, &out, &err), 0) << err;
    EXPECT_EQ(out, "红楼梦\n") << item;
  }
  ASSERT_EQ(RunCli({"--db", db, "text", note}, &out, &err), 0) << err;  // the file, as before
  EXPECT_EQ(out, "红楼梦\n");
  EXPECT_EQ(RunCli({"--db", db, "text", "新建文件夹"}, &out, &err), 1);
  EXPECT_NE(err.find("not a note"), std::string::npos) << err;
  EXPECT_EQ(RunCli({"--db", db, "text", "新建文件夹/没有"}, &out, &err), 1);
  EXPECT_EQ(err, "没有这个文件或文件夹：新建文件夹/没有\n");
}

TEST(CliReading, AnImportRefusedForItsNameSaysWhy) {
  TempDir dir;
  const std::string db = dir / "db.xml";
  WriteFile(dir / "1.rtf", "{\\rtf1\\ansi one\\par}");
  WriteFile(dir / "my notes.txt", "two");
  WriteFile(dir / "ok.txt", "three");
  std::string out, err;
  EXPECT_EQ(RunCli({"--db", db, "import", "/", dir / "1.rtf", dir / "my notes.txt", dir / "ok.txt"},
                   &out, &err), 1);
  EXPECT_EQ(out, "ok\n");
  EXPECT_NE(err.find("未能添加：1.rtf\n存在非法字符如空格、逗号或者数字开头等。\n"), std::string::npos) << err;
  EXPECT_NE(err.find("未能添加：my notes.txt\n存在非法字符如空格、逗号或者数字开头等。\n"), std::string::npos) << err;
}

TEST(CliReading, TheUsageTextNeedsNoHelper) {
  // A copy of zorbek-cli without its helper beside it still names every command.
  TempDir dir;
  const std::string copy = dir / "zorbek-cli";
  fs::copy_file(ZORBEK_CLI_PATH, copy);
  std::string help, err, man, ownMan;
  ASSERT_EQ(testing::RunProgram(copy, {"--help"}, nullptr, &help), 0);
  for (const char* line : {"\n  tree\n", "\n  text [--raw] NOTE\n", "\n  import ITEM FILE...\n",
                           "\n  convert IN OUT\n", "\n  export ITEM OUT\n"})
    EXPECT_NE(help.find(line), std::string::npos) << line << help;
  ASSERT_EQ(testing::RunProgram(copy, {"--man"}, &man), 0);
  ASSERT_EQ(RunCli({"--man"}, &ownMan), 0);
  EXPECT_EQ(man, ownMan);
  // A command of the helper says what is missing.
  EXPECT_EQ(testing::RunProgram(copy, {"--db", dir / "x.xml", "convert", "a", "b"}, nullptr, &err), 1);
  EXPECT_NE(err.find("zorbek-cli-rtf"), std::string::npos) << err;
}

TEST(PrivateFiles, TheDataDirectoryAndStoreAreTheUsersWhoeverMakesThem) {
  ScopedUmask umask(022);
  TempDir home;
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  ScopedEnv h("HOME", home.path().c_str());
  ASSERT_EQ(RunCli({"new-folder", "/"}), 0);
  ASSERT_EQ(RunCli({"new-note", "新建文件夹"}), 0);
  ASSERT_EQ(RunCli({"reminder-add", "--mode", "0", "--date", "2026-12-24", "--time", "09:00:00", "平安夜"}), 0);
  const std::string data = home / ".local/share/Zorbek";
  EXPECT_TRUE(fs::is_regular_file(data + "/Zorbek/archive/新建文件夹/新建ESR文档.esr"));
  ExpectPrivateTree(data);

  // A data directory left open to others by an older version is closed again.
  ASSERT_EQ(::chmod(data.c_str(), 0755), 0);
  ASSERT_EQ(RunCli({"tree"}), 0);
  EXPECT_EQ(ModeOf(data), 0700u);

  // A database elsewhere: its directory, store and files too.
  TempDir other;
  const std::string db = other / "notes/db.xml";
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);
  ASSERT_EQ(RunCli({"--db", db, "new-note", "新建文件夹"}), 0);
  ExpectPrivateTree(other / "notes");

  // What the user exports is made as the umask says: it is meant for others.
  ASSERT_EQ(RunCli({"--db", db, "export", "新建文件夹/新建ESR文档", other / "out.rtf"}), 0);
  EXPECT_EQ(ModeOf(other / "out.rtf"), 0644u);
}

TEST(PrivateFiles, AtomicWritesMakeNewFilesPrivateAndKeepTheModeOfOldOnes) {
  ScopedUmask umask(022);
  TempDir dir;
  ASSERT_TRUE(WriteFileAtomically(dir / "new.xml", "x"));
  EXPECT_EQ(ModeOf(dir / "new.xml"), 0600u);
  ASSERT_TRUE(WriteFileAtomically(dir / "export.txt", "x", nullptr, NewFileAccess::Shared));
  EXPECT_EQ(ModeOf(dir / "export.txt"), 0644u);
  ASSERT_EQ(::chmod((dir / "new.xml").c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(dir / "new.xml", "y"));
  EXPECT_EQ(ModeOf(dir / "new.xml"), 0640u);
  EXPECT_EQ(ReadFile(dir / "new.xml"), "y");
}

}  // namespace
}  // namespace zorbek
