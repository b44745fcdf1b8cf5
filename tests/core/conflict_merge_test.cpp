// Conflict copies a sync tool leaves when both machines changed the same file: merged into the
// database, or made conflict notes, with nothing of either side lost and no copy deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "core/app/clock.h"
#include "core/db/conflict_merge.h"
#include "core/db/database.h"
#include "core/io/file_util.h"
#include "core/notes/store_check.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

TEST(ConflictMerge, SyncthingsConflictNamesAreRecognisedAndNothingElse) {
  const auto c = ParseConflictName("周报.sync-conflict-20261209-101010-ABCDEFG.esr");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->original, "周报.esr");
  EXPECT_EQ(c->stem, "周报");
  EXPECT_EQ(c->stamp, "20261209_1010");
  EXPECT_EQ(ParseConflictName("Zorbek.sync-conflict-20261209-101010-ABCDEFG.xml")->original,
            "Zorbek.xml");
  EXPECT_EQ(ParseConflictName("无扩展名.sync-conflict-20261209-101010-A7")->original, "无扩展名");
  for (const char* not_one : {"周报.esr", ".sync-conflict-20261209-101010-ABCDEFG.esr",
                              "a.sync-conflict-2026129-101010-ABCDEFG.esr",
                              "a.sync-conflict-20261209-1010-ABCDEFG.esr",
                              "a.sync-conflict-20261209-101010-.esr",
                              "a.sync-conflict-20261209x101010-ABC.esr"})
    EXPECT_FALSE(ParseConflictName(not_one)) << not_one;
}

// A reminder element as the store writes one.
std::string Reminder(const std::string& id, const std::string& text, int valid = 1,
                     const std::string& handled = "5") {
  return "<" + id + " mode=\"0\" lowtime=\"1\" hightime=\"2\" stoplowtime=\"1\" stophightime=\"2\" "
         "lulowtime=\"" + handled + "\" luhightime=\"2\" valid=\"" + std::to_string(valid) + "\">" +
         text + "</" + id + ">";
}

class TwoMachines : public ::testing::Test {
 protected:
  // The sync tool brought the copies a while ago: what rests on absent files is decided at once.
  void SetUp() override { SetClock(&clock_); }
  void TearDown() override { SetClock(nullptr); }
  void Note(const std::string& relative, const std::string& text = "{\\rtf1 x}") {
    WriteFile(store + "/" + relative, text);
  }
  std::vector<std::string> Children(const std::string& path) {
    CXmlDocument doc;
    EXPECT_EQ(doc.Load(db), LoadStatus::Loaded);
    std::vector<std::string> names;
    for (XmlNode c = FirstChild(doc.Select(path)); c; c = NextSibling(c)) names.push_back(Name(c));
    return names;
  }
  bool Agrees() {
    CXmlDocument doc;
    doc.Load(db);
    const StoreAgreement a = CheckStoreAgreement(doc);
    for (const auto& p : a.elementsWithoutFile) ADD_FAILURE() << "no file: " << p;
    for (const auto& p : a.filesWithoutElement) ADD_FAILURE() << "no element: " << p;
    return a.Agrees();
  }

  FakeClock clock_{SystemClock().NowUnixMillis() + kSyncSettleMillis + 60000};
  TempDir dir;
  std::string db = dir / "Zorbek.xml";
  std::string store = dir / "Zorbek/archive";
  std::string copy = dir / "Zorbek.sync-conflict-20261209-101010-ABCDEFG.xml";
};

TEST_F(TwoMachines, BothSidesNotesFoldersAndRemindersArePresentOnceAndTheCopyIsKept) {
  // This machine: added 新A and the reminder rA, deleted 计划, renamed 旧目录 to 新目录, and
  // dismissed r1 later than the other machine did. The other machine (the copy): added 新B into
  // 工作 and 加进来 into 旧目录, edited 计划 (so the sync tool brought its file back), added rB,
  // and changed the text of r2, which this machine changed too.
  Note("工作/周报.esr");
  Note("工作/新A.esr");
  Note("工作/新B.esr");
  Note("工作/计划.esr", "{\\rtf1 另一台电脑改过}");
  Note("新目录/旧笔记.esr");
  Note("旧目录/加进来.esr");
  WriteFile(db,
            "<list><hotkey/><filetree><archive>"
            "<工作 type=\"dir\"><周报 type=\"esr\"/><新A type=\"esr\"/></工作>"
            "<新目录 type=\"dir\"><旧笔记 type=\"esr\"/></新目录>"
            "</archive><schedule>" +
                Reminder("r1", "一", 0, "9") + Reminder("r2", "这边改的") + Reminder("rA", "甲") +
                "</schedule></filetree></list>");
  WriteFile(copy,
            "<list><hotkey/><filetree><archive>"
            "<工作 type=\"dir\"><周报 type=\"esr\"/><计划 type=\"esr\"/><新B type=\"esr\"/></工作>"
            "<旧目录 type=\"dir\"><旧笔记 type=\"esr\"/><加进来 type=\"esr\"/></旧目录>"
            "</archive><schedule>" +
                Reminder("r1", "一", 0, "7") + Reminder("r2", "那边改的") + Reminder("rB", "乙") +
                "</schedule></filetree></list>");

  const MergeReport r = MergeConflictCopies(db);
  ASSERT_TRUE(r.error.empty()) << r.error;
  // An item the copy adds follows the item it follows there.
  EXPECT_EQ(Children("/list/filetree/archive"), (std::vector<std::string>{"工作", "旧目录", "新目录"}));
  EXPECT_EQ(Children("/list/filetree/archive/工作"),
            (std::vector<std::string>{"周报", "计划", "新B", "新A"}));
  // The renamed folder's old notes went with it; the note added into it on the other side stays.
  EXPECT_EQ(Children("/list/filetree/archive/旧目录"), std::vector<std::string>{"加进来"});
  EXPECT_EQ(r.folders, 1);
  EXPECT_EQ(r.notes, 3);
  EXPECT_TRUE(Agrees());

  // Reminders: each once, the one changed on both twice, the later dismissal kept.
  std::vector<std::string> reminders = Children("/list/filetree/schedule");
  ASSERT_EQ(reminders.size(), 5u);
  for (const char* id : {"r1", "r2", "rA", "rB"})
    EXPECT_EQ(std::count(reminders.begin(), reminders.end(), id), 1) << id;
  const std::string twin = *std::find_if(reminders.begin(), reminders.end(), [](const std::string& id) {
    return id != "r1" && id != "r2" && id != "rA" && id != "rB";
  });
  EXPECT_EQ(r.reminders, 1);
  EXPECT_EQ(r.conflictReminders, 1);
  CXmlDocument merged;
  merged.Load(db);
  EXPECT_EQ(Attribute(merged.Select("/list/filetree/schedule/r1"), "lulowtime"), "9");
  EXPECT_EQ(Text(merged.Select("/list/filetree/schedule/r2")), "这边改的");
  EXPECT_EQ(Text(merged.Select("/list/filetree/schedule/" + twin)), "那边改的");

  // The copy is kept, under a name that is not merged again.
  EXPECT_FALSE(PathExists(copy));
  ASSERT_EQ(r.keptCopies.size(), 1u);
  EXPECT_NE(ReadFile(r.keptCopies[0]).find("那边改的"), std::string::npos);
  EXPECT_TRUE(DatabaseConflictCopies(db).empty());
  EXPECT_NE(MergeReportMessage(r).find(r.keptCopies[0]), std::string::npos);
  // Merging again finds nothing to do and writes nothing.
  const std::string before = ReadFile(db);
  EXPECT_FALSE(MergeConflictCopies(db).Merged());
  EXPECT_EQ(ReadFile(db), before);
}

// The sync tool brings a change's files one by one: the database in place is the other
// machine's, which added 新B, and its file is not here yet. Taking 新B off now would leave its
// file without a note when it comes; what rests on absent files waits for the tool.
TEST_F(TwoMachines, WhatRestsOnAFileNotHereWaitsForTheSyncTool) {
  clock_.SetUnixMillis(SystemClock().NowUnixMillis());
  Note("工作/周报.esr");
  Note("工作/周报.sync-conflict-20261209-101010-ABCDEFG.esr", "{\\rtf1 那边}");
  WriteFile(db, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><周报 type=\"esr\"/>"
                "<新B type=\"esr\"/><删了 type=\"esr\"/></工作></archive></filetree></list>");
  WriteFile(copy, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><周报 type=\"esr\"/>"
                  "</工作></archive></filetree></list>");
  MergeReport r = MergeConflictCopies(db);
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_GT(r.postponedMillis, 0);
  EXPECT_LE(r.postponedMillis, kSyncSettleMillis);
  EXPECT_TRUE(PathExists(copy));
  EXPECT_TRUE(r.keptCopies.empty());
  // A note's conflict copy does not wait.
  EXPECT_EQ(Children("/list/filetree/archive/工作"),
            (std::vector<std::string>{"周报", "周报_冲突_20261209_1010", "新B", "删了"}));

  // 新B's file came; a download is still under way beside 删了, whose file is gone.
  Note("工作/新B.esr", "{\\rtf1 B}");
  WriteFile(store + "/工作/.syncthing.删了.esr.tmp", "");
  clock_.Advance(kSyncSettleMillis + 1000);
  r = MergeConflictCopies(db);
  EXPECT_EQ(r.postponedMillis, kSyncRecheckMillis);
  EXPECT_TRUE(PathExists(copy));

  // A download that has not moved for long is the tool's leftover: the merge goes on.
  clock_.Advance(kSyncDownloadStaleMillis);
  r = MergeConflictCopies(db);
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(r.postponedMillis, 0);
  EXPECT_EQ(r.keptCopies.size(), 1u);
  EXPECT_EQ(r.dropped, 1);
  EXPECT_EQ(Children("/list/filetree/archive/工作"),
            (std::vector<std::string>{"周报", "周报_冲突_20261209_1010", "新B"}));
  fs::remove(store + "/工作/.syncthing.删了.esr.tmp");
  EXPECT_TRUE(Agrees());
}

TEST_F(TwoMachines, ANotesConflictCopyBecomesAConflictNoteBesideIt) {
  Note("工作/周报.esr", "{\\rtf1 这边}");
  Note("工作/日记.esr");
  const std::string conflict = store + "/工作/周报.sync-conflict-20261209-101010-ABCDEFG.esr";
  Note("工作/周报.sync-conflict-20261209-101010-ABCDEFG.esr", "{\\rtf1 那边}");
  // A second one of the same minute, and one in a folder the database does not know.
  Note("工作/周报.sync-conflict-20261209-101059-XYZ.esr", "{\\rtf1 第三台}");
  Note("新来的/清单.sync-conflict-20261209-111111-ABCDEFG.esr", "{\\rtf1 清单}");
  Note("新来的/清单.esr");
  WriteFile(db, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><周报 type=\"esr\"/>"
                "<日记 type=\"esr\"/></工作></archive></filetree></list>");

  const MergeReport r = MergeConflictCopies(db);
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(Children("/list/filetree/archive/工作"),
            (std::vector<std::string>{"周报", "周报_冲突_20261209_10101", "周报_冲突_20261209_1010", "日记"}));
  EXPECT_EQ(ReadFile(store + "/工作/周报_冲突_20261209_1010.esr"), "{\\rtf1 那边}");
  EXPECT_EQ(ReadFile(store + "/工作/周报_冲突_20261209_10101.esr"), "{\\rtf1 第三台}");
  EXPECT_EQ(ReadFile(store + "/工作/周报.esr"), "{\\rtf1 这边}");
  EXPECT_FALSE(PathExists(conflict));
  EXPECT_EQ(r.conflictNotes.size(), 3u);
  EXPECT_NE(MergeReportMessage(r).find("工作/周报_冲突_20261209_1010"), std::string::npos);
}

TEST_F(TwoMachines, TheStoreIsWalkedOnAThreadOfItsOwnAndOnlyCopiesInItAreTakenIn) {
  Note("甲/乙/丙/深.esr");
  Note("甲/乙/丙/深.sync-conflict-20261209-101010-ABCDEFG.esr", "{\\rtf1 那边}");
  Note("工作/周报.esr");
  Note("工作/周报.sync-conflict-20261209-111111-ABCDEFG.esr");
  WriteFile(copy, "<list><hotkey/><filetree><archive/></filetree></list>");  // not the walk's
  WriteFile(db, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><周报 type=\"esr\"/></工作>"
                "<甲 type=\"dir\"><乙 type=\"dir\"><丙 type=\"dir\"><深 type=\"esr\"/></丙></乙>"
                "</甲></archive></filetree></list>");

  // What the walk finds reaches the owner only through what it posts.
  std::mutex m;
  std::condition_variable posted;
  std::vector<ConflictCopyScan::Task> tasks;
  std::vector<std::string> found;
  std::thread::id foundOn;
  {
    ConflictCopyScan scan(
        db,
        [&](ConflictCopyScan::Task t) {
          std::lock_guard<std::mutex> lock(m);
          tasks.push_back(std::move(t));
          posted.notify_one();
        },
        [&](std::vector<std::string> copies) {
          found = std::move(copies);
          foundOn = std::this_thread::get_id();
        });
    scan.Request();
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(posted.wait_for(lock, std::chrono::seconds(30), [&] { return !tasks.empty(); }));
    tasks[0]();
  }
  EXPECT_EQ(foundOn, std::this_thread::get_id());
  ASSERT_EQ(found, (std::vector<std::string>{
                       store + "/工作/周报.sync-conflict-20261209-111111-ABCDEFG.esr",
                       store + "/甲/乙/丙/深.sync-conflict-20261209-101010-ABCDEFG.esr"}));

  // Findings may be stale or come from elsewhere: only a conflict copy that is in this store now
  // is taken in. Nothing outside the store is moved into it.
  const std::string outside = dir / "别处/周报.sync-conflict-20261209-121212-ABCDEFG.esr";
  WriteFile(outside, "{\\rtf1 别处}");
  fs::remove(found[0]);
  std::vector<std::string> given = found;
  given.push_back(outside);
  given.push_back(store + "/../别处/周报.sync-conflict-20261209-121212-ABCDEFG.esr");
  given.push_back(store + "/工作/周报.esr");
  const MergeReport r = MergeConflictCopies(db, given);
  ASSERT_TRUE(r.error.empty()) << r.error;
  EXPECT_EQ(r.conflictNotes, (std::vector<std::string>{"甲/乙/丙/深_冲突_20261209_1010"}));
  EXPECT_EQ(ReadFile(store + "/甲/乙/丙/深_冲突_20261209_1010.esr"), "{\\rtf1 那边}");
  EXPECT_EQ(ReadFile(outside), "{\\rtf1 别处}");
  EXPECT_TRUE(PathExists(store + "/工作/周报.esr"));
  EXPECT_EQ(r.keptCopies.size(), 1u);  // the database's copy, found beside it
  EXPECT_TRUE(Agrees());
}

TEST_F(TwoMachines, TheCommandLineMergesAndSaysWhat) {
  Note("工作/周报.esr");
  Note("工作/新B.esr");
  WriteFile(db, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><周报 type=\"esr\"/></工作>"
                "</archive></filetree></list>");
  WriteFile(copy, "<list><hotkey/><filetree><archive><工作 type=\"dir\"><周报 type=\"esr\"/>"
                  "<新B type=\"esr\"/></工作></archive><schedule>" +
                      Reminder("rB", "乙") + "</schedule></filetree></list>");
  std::string out, err;
  ASSERT_EQ(RunCli({"--db", db, "merge-conflicts"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("笔记 1 篇，提醒 1 条"), std::string::npos) << out;
  std::string tree;
  ASSERT_EQ(RunCli({"--db", db, "tree"}, &tree), 0);
  EXPECT_NE(tree.find("新B"), std::string::npos) << tree;
  EXPECT_EQ(RunCli({"--db", db, "check"}), 0);
  std::string reminders;
  RunCli({"--db", db, "reminders"}, &reminders);
  EXPECT_NE(reminders.find("乙"), std::string::npos) << reminders;
  // Nothing left to merge: silent.
  ASSERT_EQ(RunCli({"--db", db, "merge-conflicts"}, &out), 0);
  EXPECT_EQ(out, "");

  // A copy that cannot be read is left where it is, and said.
  WriteFile(copy, "<list><unclosed>");
  EXPECT_EQ(RunCli({"--db", db, "merge-conflicts"}, &out, &err), 1);
  EXPECT_TRUE(PathExists(copy));
  EXPECT_NE(out.find(copy), std::string::npos) << out;
}

}  // namespace
}  // namespace zorbek
