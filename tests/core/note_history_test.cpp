// The history of a note: versions kept by the ten-minute rule, pruned by age and count, moved
// along with renames and moves, and taken into the recycle bin and back with the note.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_history.h"
#include "core/notes/recycle_bin.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr std::int64_t kStart = 1765000000;

class NoteHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClock(&clock_);
    WriteFile(db, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><甲 type=\"esr\"/></工作>"
                  "</archive></filetree></list>");
    WriteFile(note, "v0");
  }
  void TearDown() override { SetClock(nullptr); }
  // A save at kStart + seconds with the given text, as the editor saves.
  std::optional<std::string> Save(std::int64_t seconds, const std::string& text) {
    auto kept = KeepVersionBeforeSave(db, note, rules, kStart + seconds);
    WriteFile(note, text);
    return kept;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const auto& v : VersionsOf(db, note)) out.push_back(ReadFile(v.path));
    return out;
  }

  testing::FakePrompts prompts;
  FakeClock clock_{kStart * 1000};
  TempDir dir{"zorbek 历史"};
  std::string db = dir / "Zorbek.xml";
  std::string store = NoteStoreDirectory(db);
  std::string note = store + "/工作/甲.esr";
  HistoryRules rules;
};

TEST_F(NoteHistoryTest, ASaveKeepsWhatItReplacesAtMostEveryTenMinutes) {
  const auto first = Save(0, "v1");
  ASSERT_TRUE(first);
  // Plain files beside the store, named by the time they were kept.
  EXPECT_EQ(*first, DirectoryOf(store) + "/history/工作/甲/20251206-054640.esr");
  EXPECT_EQ(ReadFile(*first), "v0");
  // Saving every minute for nine minutes keeps nothing more.
  for (int m = 1; m < 10; ++m) EXPECT_FALSE(Save(m * 60, "v" + std::to_string(m + 1)));
  // Ten minutes after the last kept version the next save keeps again.
  EXPECT_TRUE(Save(600, "v11"));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"v10", "v0"}));
  // A text equal to the newest version is not kept twice; an empty note keeps nothing.
  WriteFile(note, "v10");
  EXPECT_FALSE(Save(1300, "v12"));
  WriteFile(note, "");
  EXPECT_FALSE(Save(2000, "x"));
  EXPECT_EQ(VersionsOf(db, note).size(), 2u);
}

TEST_F(NoteHistoryTest, OldAndSurplusVersionsArePrunedOldestFirst) {
  rules.maxVersions = 3;
  rules.keepDays = 90;
  for (int i = 0; i < 5; ++i) Save(i * 700, "t" + std::to_string(i + 1));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"t4", "t3", "t2"}));
  // 90 days on, everything older than 90 days goes with the next save.
  Save(4 * 700 + 90LL * 86400 - 1400, "t6");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"t5", "t4", "t3"}));
  Save(4 * 700 + 91LL * 86400, "t7");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"t6", "t5"}));
  // The settings file changes the rules.
  const std::string ini = dir / "Zorbek.ini";
  WriteFile(ini, "[History]\nKeepDays=7\nMaxVersions=abc\n");
  const HistoryRules r = HistoryRulesOf(ini);
  EXPECT_EQ(r.keepDays, 7);
  EXPECT_EQ(r.maxVersions, kDefaultHistoryMaxVersions);
}

TEST_F(NoteHistoryTest, TheHistoryFollowsRenameAndMoveAndGoesToTheBinWithItsNote) {
  Save(0, "v1");
  Save(700, "v2");
  CXmlDocument doc;
  OpenDatabaseFile(doc, db);
  NoteCommands cmd(doc);
  cmd.SetPublisher([&](const std::vector<NotebookEvent>& e) { FollowNoteHistory(db, e); });
  ASSERT_TRUE(cmd.Rename({"文件箱", "工作", "甲"}, "乙").done);
  note = store + "/工作/乙.esr";
  EXPECT_EQ(Texts(), (std::vector<std::string>{"v1", "v0"}));
  ASSERT_TRUE(cmd.Rename({"文件箱", "工作"}, "事业").done);
  note = store + "/事业/乙.esr";
  EXPECT_EQ(Texts(), (std::vector<std::string>{"v1", "v0"}));
  EXPECT_FALSE(fs::exists(DirectoryOf(store) + "/history/工作"));

  ASSERT_TRUE(cmd.Delete({"文件箱", "事业", "乙"}).done);
  EXPECT_TRUE(Texts().empty());
  RecycleBin bin(db);
  ASSERT_EQ(bin.List().size(), 1u);
  EXPECT_TRUE(fs::exists(bin.EntryDirectory(bin.List()[0].id) + "/history"));
  ASSERT_TRUE(RestoreFromTrash(doc, bin.List()[0].id).done);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"v1", "v0"}));
  EXPECT_EQ(ReadFile(note), "v2");
}

TEST_F(NoteHistoryTest, TheCommandLineListsVersionsAndPrintsOne) {
  WriteFile(note, "{\\rtf1\\ansi first}");
  Save(0, "{\\rtf1\\ansi second}");
  std::string out, err;
  ASSERT_EQ(testing::RunCli({"--db", db, "history-of", "工作/甲"}, &out, &err), 0) << err;
  const auto tab = out.rfind('\t');
  ASSERT_NE(tab, std::string::npos) << out;
  const std::string version = out.substr(tab + 1, out.size() - tab - 2);
  EXPECT_EQ(version, VersionsOf(db, note)[0].path);
  ASSERT_EQ(testing::RunCli({"text", version}, &out, &err), 0) << err;
  EXPECT_EQ(out, "first");
  EXPECT_EQ(testing::RunCli({"--db", db, "history-of", "工作"}, &out, &err), 1);
}

}  // namespace
}  // namespace zorbek
