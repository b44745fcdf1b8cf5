// The recycle bin: what a delete takes off the tree comes back with restore, with its text, its
// attributes and its place; the bin is kept beside the store and emptied of old entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_commands.h"
#include "core/notes/recycle_bin.h"
#include "core/notes/store_check.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "support/file_box.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kArchive =
    "<工作 type=\"dir\" state=\"expanded\"><甲 type=\"esr\" lasttime=\"1700000000\"/>"
    "<项目 type=\"dir\"><丙 type=\"esr\"/></项目><乙 type=\"esr\"/></工作>"
    "<戊 type=\"esr\"/><生活 type=\"dir\"><丁 type=\"esr\"/></生活>";

class RecycleBinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClock(&clock_);
    WriteFile(db, std::string("<list><hotkey/><filetree><archive>") + kArchive +
                      "</archive></filetree></list>");
    WriteFile(store + "/工作/甲.esr", "{\\rtf1 甲的正文}");
    WriteFile(store + "/工作/乙.esr", "{\\rtf1 乙}");
    WriteFile(store + "/工作/项目/丙.esr", "{\\rtf1 丙}");
    WriteFile(store + "/戊.esr", "{\\rtf1 戊}");
    WriteFile(store + "/生活/丁.esr", "{\\rtf1 丁}");
    OpenDatabaseFile(doc, db);
  }
  void TearDown() override { SetClock(nullptr); }

  std::string Archive() const {
    const std::string text = ReadFile(db);
    const auto a = text.find("<archive"), b = text.find("</filetree>");
    return text.substr(a, b - a);
  }
  std::vector<std::string> Disk() const {
    std::vector<std::string> out;
    if (!fs::exists(store)) return out;
    for (const auto& e : fs::recursive_directory_iterator(store))
      out.push_back(fs::relative(e.path(), store).string() + "=" +
                    (e.is_directory() ? "/" : ReadFile(e.path().string())));
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string Only() {
    const auto list = bin.List();
    EXPECT_EQ(list.size(), 1u);
    return list.empty() ? std::string() : list[0].id;
  }

  testing::FakePrompts prompts;
  FakeClock clock_{1765000000000};
  TempDir dir{"zorbek 回收站"};
  std::string db = dir / "我的 笔记/Zorbek.xml";
  std::string store = NoteStoreDirectory(db);
  CXmlDocument doc;
  NoteCommands cmd{doc};
  RecycleBin bin{db};
};

TEST_F(RecycleBinTest, ANoteAFolderAndTheFileBoxComeBackWithTextAttributesAndPlace) {
  const std::string archive = Archive();
  const std::vector<std::string> disk = Disk();
  // The bin lies beside the store, never in it.
  EXPECT_EQ(bin.Directory(), DirectoryOf(store) + "/trash");

  for (const ItemPath& item : {testing::FileBoxItem({"工作", "甲"}), testing::FileBoxItem({"工作"}), testing::FileBoxItem({})}) {
    SCOPED_TRACE(item.back());
    ASSERT_TRUE(cmd.Delete(item).done);
    EXPECT_NE(Archive(), archive);
    EXPECT_TRUE(CheckStoreAgreement(doc).Agrees());
    const std::string id = Only();
    const auto entry = bin.Find(id);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->TreePath(), [&] {
      std::string p;
      for (const auto& n : item) p += (p.empty() ? "" : "/") + n;
      return p;
    }());
    EXPECT_EQ(entry->deletedAt, 1765000000);
    EXPECT_GT(entry->bytes, 0u);
    const RestoreOutcome out = RestoreFromTrash(doc, id);
    ASSERT_TRUE(out.done) << out.message;
    EXPECT_EQ(Archive(), archive);
    EXPECT_EQ(Disk(), disk);
    EXPECT_TRUE(bin.List().empty());
    EXPECT_TRUE(CheckStoreAgreement(doc).Agrees());
  }
}

TEST_F(RecycleBinTest, NotesCountedAndTheFileBoxListsWhatItHeld) {
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"工作"})).done);
  clock_.Advance(1000);
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({})).done);
  const auto list = bin.List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_TRUE(list[0].fileBox);  // newest first
  EXPECT_EQ(list[0].notes, 2);   // 戊 and 丁
  EXPECT_EQ(list[1].notes, 3);
  EXPECT_TRUE(list[1].folder);
  EXPECT_EQ(list[1].TreePath(), "文件箱/工作");
  EXPECT_EQ(bin.Resolve("工作")->id, list[1].id);
  EXPECT_EQ(bin.Resolve("/")->id, list[0].id);
}

TEST_F(RecycleBinTest, RestoreOverATakenNameAndIntoAFolderThatIsGone) {
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"工作", "甲"})).done);
  const std::string note = Only();
  // A new note of the same name (another letter case counts as the same) takes its place.
  ASSERT_TRUE(cmd.NewNote(testing::FileBoxItem({"工作"})).done);
  ASSERT_TRUE(cmd.Rename(testing::FileBoxItem({"工作", "新建ESR文档"}), "甲").done);
  RestoreOutcome out = RestoreFromTrash(doc, note);
  ASSERT_TRUE(out.done) << out.message;
  ASSERT_EQ(out.restored.size(), 1u);
  EXPECT_EQ(out.restored[0], testing::FileBoxItem({"工作", "甲1"}));
  EXPECT_EQ(ReadFile(store + "/工作/甲1.esr"), "{\\rtf1 甲的正文}");
  EXPECT_NE(Archive().find("<甲1 type=\"esr\" lasttime=\"1700000000\"/>"), std::string::npos);

  // A note deleted, then its folder: the note goes back into a folder made again.
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"工作", "项目", "丙"})).done);
  const std::string inner = bin.Resolve("工作/项目/丙")->id;
  clock_.Advance(1000);
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"工作"})).done);
  out = RestoreFromTrash(doc, inner);
  ASSERT_TRUE(out.done) << out.message;
  EXPECT_EQ(out.madeFolders, (std::vector<ItemPath>{testing::FileBoxItem({"工作"}), testing::FileBoxItem({"工作", "项目"})}));
  EXPECT_EQ(ReadFile(store + "/工作/项目/丙.esr"), "{\\rtf1 丙}");
  EXPECT_TRUE(CheckStoreAgreement(doc).Agrees());
  // The folder itself then comes back beside the one made again, under a free name.
  out = RestoreFromTrash(doc, bin.Resolve("工作")->id);
  ASSERT_TRUE(out.done) << out.message;
  EXPECT_EQ(out.restored[0], testing::FileBoxItem({"工作1"}));
  EXPECT_EQ(ReadFile(store + "/工作1/甲1.esr"), "{\\rtf1 甲的正文}");
  EXPECT_TRUE(CheckStoreAgreement(doc).Agrees());

  // A place taken by a note of the folder's name cannot take it back; nothing changes.
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"生活", "丁"})).done);
  const std::string d = bin.Resolve("生活/丁")->id;
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"生活"})).done);
  ASSERT_TRUE(cmd.Rename(testing::FileBoxItem({"戊"}), "生活").done);
  const std::string before = Archive();
  out = RestoreFromTrash(doc, d);
  EXPECT_FALSE(out.done);
  EXPECT_EQ(out.message, std::string(kMsgTrashRestoreFailed) + kMsgTrashPlaceIsNote);
  EXPECT_EQ(Archive(), before);
  EXPECT_TRUE(bin.Find(d));
}

TEST_F(RecycleBinTest, AFailedSaveKeepsTheItemWhereItWas) {
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"工作"})).done);
  const std::string id = Only();
  const std::string archive = Archive();
  doc.SetWriteProtected(true);
  const RestoreOutcome out = RestoreFromTrash(doc, id);
  EXPECT_FALSE(out.done);
  EXPECT_FALSE(out.saved);
  EXPECT_EQ(Archive(), archive);
  EXPECT_FALSE(fs::exists(store + "/工作"));
  EXPECT_EQ(Only(), id);
  EXPECT_EQ(bin.Find(id)->notes, 3);
  // And a delete whose save fails leaves nothing in the bin.
  EXPECT_FALSE(cmd.Delete(testing::FileBoxItem({"戊"})).done);
  EXPECT_EQ(Only(), id);
  EXPECT_TRUE(fs::exists(store + "/戊.esr"));
}

TEST_F(RecycleBinTest, OldEntriesArePrunedPurgedAndEmptied) {
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"戊"})).done);  // day 0
  clock_.Advance(20LL * 86400 * 1000);
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"生活"})).done);  // day 20
  clock_.Advance(5LL * 86400 * 1000);
  ASSERT_TRUE(cmd.Delete(testing::FileBoxItem({"工作", "乙"})).done);  // day 25
  ASSERT_EQ(bin.List().size(), 3u);
  const std::int64_t day31 = 1765000000 + 31LL * 86400;
  EXPECT_EQ(bin.Prune(0, day31), 0);  // 0 keeps everything
  EXPECT_EQ(bin.Prune(30, day31), 1);
  auto list = bin.List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].name, "生活");
  std::string error;
  EXPECT_TRUE(bin.Purge(list[1].id, &error)) << error;
  EXPECT_FALSE(bin.Purge(list[1].id, &error));
  EXPECT_EQ(error, kMsgTrashItemGone);
  // A purge killed between its two steps leaves a name the list never shows; pruning takes it.
  fs::create_directories(bin.Directory() + "/.purge-x/files");
  EXPECT_EQ(bin.Empty(), 1);
  EXPECT_TRUE(bin.List().empty());
  EXPECT_FALSE(fs::exists(bin.Directory() + "/.purge-x"));

  // The keeping time comes from the settings file.
  const std::string ini = dir / "Zorbek.ini";
  EXPECT_EQ(TrashKeepDays(ini), 30);
  WriteFile(ini, "[RecycleBin]\nKeepDays=7\n");
  EXPECT_EQ(TrashKeepDays(ini), 7);
  WriteFile(ini, "[RecycleBin]\nKeepDays=never\n");
  EXPECT_EQ(TrashKeepDays(ini), 30);
}

// As a user would on the command line: the whole file box deleted, everything listed in the
// bin, and everything back with restore.
TEST_F(RecycleBinTest, CommandLineDeleteEverythingListRestore) {
  const std::string archive = Archive();
  const std::vector<std::string> disk = Disk();
  std::string out, err;
  ASSERT_EQ(RunCli({"--db", db, "delete", "/"}, &out, &err, "y\n"), 0) << err;
  EXPECT_EQ(Archive(), "<archive/>");
  ASSERT_EQ(RunCli({"--db", db, "trash"}, &out, &err), 0) << err;
  EXPECT_NE(out.find("\t文件箱\t文件箱\t5\t"), std::string::npos) << out;
  ASSERT_EQ(RunCli({"--db", db, "restore", "/"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "工作\n戊\n生活\n");
  EXPECT_EQ(Archive(), archive);
  EXPECT_EQ(Disk(), disk);
  EXPECT_EQ(RunCli({"--db", db, "restore", "/"}, &out, &err), 1);
  EXPECT_NE(err.find(kMsgTrashItemGone), std::string::npos);
  ASSERT_EQ(RunCli({"--db", db, "delete", "工作/乙"}, &out, &err, "y\n"), 0) << err;
  ASSERT_EQ(RunCli({"--db", db, "purge", "工作/乙"}, &out, &err), 0) << err;
  ASSERT_EQ(RunCli({"--db", db, "trash"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace zorbek
