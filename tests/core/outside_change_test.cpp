// A database file that another program changes while the notebook is open (a sync tool replacing
// it by a rename, an editor writing it in place): never written over, read again on request.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "core/io/file_util.h"
#include "core/notes/notebook.h"
#include "reminder_test_util.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::At;
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;
namespace fs = std::filesystem;

// As a sync tool puts another machine's version in place: a new file renamed over the old one.
void ReplaceByRename(const std::string& path, const std::string& text) {
  const std::string temp = DirectoryOf(path) + "/.syncthing.tmp";
  WriteFile(temp, text);
  fs::rename(temp, path);
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const char* const kOtherVersion =
    "<list><hotkey/><filetree><archive><从别处 type=\"dir\"/></archive></filetree></list>";

class OutsideChange : public ::testing::Test {
 protected:
  void SetUp() override {
    nb.Open(path);
    nb.AddListener([this](const std::vector<NotebookEvent>& events) {
      for (const NotebookEvent& e : events) reloads += e.kind == NotebookEventKind::kReloaded;
    });
  }
  XmlNode Archive() { return nb.Document().Select(kArchivePath); }

  FakePrompts prompts;
  TempDir dir;
  std::string path = dir / "Zorbek.xml";
  Notebook nb;
  int reloads = 0;
};

TEST_F(OutsideChange, AReplacedFileIsNeverOverwrittenAndAReloadKeepsItsChanges) {
  ASSERT_EQ(nb.Reminders().Add("r1", At(2026, 12, 12, 8, 0), At(2026, 12, 12, 8, 0), 0, "x"),
            StoreResult::kDone);
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnchanged);  // our own save

  ReplaceByRename(path, kOtherVersion);
  const auto before = Names(dir.path());
  SetAttribute(Archive(), "ours", "1");
  EXPECT_FALSE(nb.Save());
  EXPECT_EQ(nb.Document().LastSaveError(), kChangedOnDiskReason);
  EXPECT_EQ(ReadFile(path), kOtherVersion);
  EXPECT_EQ(Names(dir.path()), before);  // no temporary file left either
  nb.ReportSaveFailure();
  EXPECT_EQ(prompts.MessageTexts(),
            std::vector<std::string>{SaveFailedMessage(path, kChangedOnDiskReason)});

  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kReloaded);
  EXPECT_EQ(reloads, 1);
  EXPECT_TRUE(nb.Document().Select("/list/filetree/archive/从别处"));
  EXPECT_EQ(Attribute(Archive(), "ours"), "");
  EXPECT_EQ(nb.Reminders().Size(), 0u);  // the reminders are the new file's
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnchanged);

  // A later change is made to the other program's version.
  SetAttribute(Archive(), "ours", "2");
  ASSERT_TRUE(nb.Save());
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("<从别处 type=\"dir\"/>"), std::string::npos);
  EXPECT_NE(saved.find("ours=\"2\""), std::string::npos);
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnchanged);
  EXPECT_EQ(reloads, 1);
}

TEST_F(OutsideChange, AWriteInPlaceIsSeenEvenWithItsTimeRestored) {
  // Same inode, same size, the modification time put back: the status time still moved.
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  std::string text = ReadFile(path);
  ASSERT_NE(text.find("hotkey"), std::string::npos);
  text.replace(text.find("hotkey"), 6, "HOTKEY");
  WriteFile(path, text);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

  EXPECT_FALSE(nb.Save());
  EXPECT_EQ(ReadFile(path), text);
}

TEST_F(OutsideChange, AnUnreadableVersionIsKeptToldOnceAndReadOnceItIsMended) {
  const auto names = Names(dir.path());
  ReplaceByRename(path, "<list><filetree>");  // half a file
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnreadable);
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnreadable);
  ReplaceByRename(path, "<other/>");  // another unreadable one: the user knows already
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnreadable);
  ASSERT_EQ(prompts.Messages().size(), 1u);
  EXPECT_NE(prompts.MessageTexts()[0].find("无法读取"), std::string::npos);
  EXPECT_EQ(reloads, 0);

  // Kept as it is, and where it is; the tree keeps what it showed; nothing is written.
  EXPECT_TRUE(Archive());
  EXPECT_FALSE(nb.Save());
  EXPECT_EQ(nb.Reminders().Add("r", At(2026, 12, 12), At(2026, 12, 12), 0, "x"),
            StoreResult::kUnsaved);
  EXPECT_EQ(ReadFile(path), "<other/>");
  EXPECT_EQ(Names(dir.path()), names);  // nothing kept aside, no temporary file

  ReplaceByRename(path, kOtherVersion);
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kReloaded);
  EXPECT_EQ(reloads, 1);
  EXPECT_TRUE(nb.Save());
  EXPECT_NE(ReadFile(path).find("从别处"), std::string::npos);

  // A new unreadable version after that is told again.
  ReplaceByRename(path, "");
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kUnreadable);
  EXPECT_EQ(prompts.Messages().size(), 2u);
}

TEST_F(OutsideChange, AFileThatIsGoneIsWrittenAgainAndALinkIsFollowed) {
  fs::remove(path);
  EXPECT_EQ(nb.ReloadIfChanged(), ReloadResult::kMissing);
  EXPECT_TRUE(nb.Save());
  EXPECT_TRUE(IsRegularFile(path));

  // A database linked into a synced folder: the link's target is replaced there.
  TempDir synced;
  const std::string target = synced / "Zorbek.xml";
  Notebook linked;
  WriteFile(target, "<list/>");
  fs::create_symlink(target, dir / "linked.xml");
  linked.Open(dir / "linked.xml");
  ReplaceByRename(target, kOtherVersion);
  EXPECT_FALSE(linked.Save());
  EXPECT_EQ(ReadFile(target), kOtherVersion);
  EXPECT_EQ(linked.ReloadIfChanged(), ReloadResult::kReloaded);
  EXPECT_TRUE(linked.Save());
  EXPECT_TRUE(fs::is_symlink(dir / "linked.xml"));
  EXPECT_NE(ReadFile(target).find("从别处"), std::string::npos);
}

}  // namespace
}  // namespace zorbek
