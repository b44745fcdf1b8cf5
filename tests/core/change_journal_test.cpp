// Settling a change that a killed process left half-done.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/db/change_journal.h"
#include "core/db/database.h"
#include "core/io/file_util.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class ChangeJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(db_, "<list><hotkey/><filetree><archive><旧 type=\"dir\"><n type=\"esr\"/></旧>"
                   "</archive></filetree></list>");
    WriteFile(store_ + "/旧/n.esr", "{\\rtf1 text}");
  }
  OpenedDatabase Reopen(CXmlDocument& doc) { return OpenDatabaseFile(doc, db_); }

  testing::FakePrompts prompts_;
  TempDir dir_{"zorbek journal"};
  std::string db_ = dir_ / "笔记 本/Zorbek.xml";
  std::string store_ = dir_ / "笔记 本/Zorbek/archive";
};

TEST_F(ChangeJournalTest, AKilledRenameIsTakenBackAndASavedOneKept) {
  {
    ChangeJournal j(db_);
    ASSERT_TRUE(j.Begin({{DiskStep::Kind::Renamed, store_ + "/旧", store_ + "/新"}},
                        {{std::string(kArchivePath) + "/新", true}}));
    ASSERT_EQ(::rename((store_ + "/旧").c_str(), (store_ + "/新").c_str()), 0);
    // killed here: neither the document nor the journal are touched again
  }
  EXPECT_TRUE(PathExists(JournalPathOf(db_)));
  CXmlDocument doc;
  Reopen(doc);
  EXPECT_TRUE(IsDirectory(store_ + "/旧"));
  EXPECT_FALSE(PathExists(store_ + "/新"));
  EXPECT_EQ(ReadFile(store_ + "/旧/n.esr"), "{\\rtf1 text}");
  EXPECT_FALSE(PathExists(JournalPathOf(db_)));

  // Killed after the save, before the journal went: the change stands.
  {
    ChangeJournal j(db_);
    ASSERT_TRUE(j.Begin({{DiskStep::Kind::Renamed, store_ + "/旧", store_ + "/新"}},
                        {{std::string(kArchivePath) + "/新", true}}));
    ASSERT_EQ(::rename((store_ + "/旧").c_str(), (store_ + "/新").c_str()), 0);
    XmlNode old = doc.Select(std::string(kArchivePath) + "/旧");
    XmlNode renamed = doc.CreateElement("新");
    CopyAttributes(renamed, old);
    MoveChildren(renamed, old);
    Replace(old, renamed);
    ASSERT_TRUE(doc.Save());
  }
  CXmlDocument again;
  Reopen(again);
  EXPECT_TRUE(IsDirectory(store_ + "/新"));
  EXPECT_TRUE(again.Select(std::string(kArchivePath) + "/新/n"));
  EXPECT_FALSE(PathExists(JournalPathOf(db_)));
}

TEST_F(ChangeJournalTest, UndoingNeverDeletesText) {
  const std::string fresh = store_ + "/旧/新建ESR文档.esr";
  const std::string copy = store_ + "/旧/n1.esr";
  const std::string typed = store_ + "/旧/typed.esr";
  {
    ChangeJournal j(db_);
    ASSERT_TRUE(j.Begin({{DiskStep::Kind::CreatedFile, "", fresh},
                         {DiskStep::Kind::CreatedFile, store_ + "/旧/n.esr", copy},
                         {DiskStep::Kind::CreatedFile, "", typed},
                         {DiskStep::Kind::MadeDirectory, "", store_ + "/空"},
                         {DiskStep::Kind::MadeDirectory, "", store_ + "/半"},
                         {DiskStep::Kind::CreatedFile, "", store_ + "/半/笔记.esr"},
                         {DiskStep::Kind::MadeDirectory, "", store_ + "/有人放了"}},
                        {{std::string(kArchivePath) + "/旧/新建ESR文档", true}}));
    WriteFile(fresh, "");
    fs::copy_file(store_ + "/旧/n.esr", copy);
    WriteFile(typed, "someone typed this");
    fs::create_directory(store_ + "/空");
    // Killed while writing the first note of a new folder: only its temporary file is there.
    fs::create_directory(store_ + "/半");
    WriteFile(store_ + "/半/.笔记.esr.tmp-Ab3dE9", "{\\rtf1 half");
    // A directory that holds more than that stays, with what is in it.
    fs::create_directory(store_ + "/有人放了");
    WriteFile(store_ + "/有人放了/.x.esr.tmp-Ab3dE9", "");
    WriteFile(store_ + "/有人放了/别人的.txt", "kept");
  }
  CXmlDocument doc;
  const OpenedDatabase opened = Reopen(doc);
  EXPECT_FALSE(PathExists(fresh));
  EXPECT_FALSE(PathExists(copy));
  EXPECT_FALSE(PathExists(store_ + "/空"));
  EXPECT_FALSE(PathExists(store_ + "/半"));
  EXPECT_EQ(ReadFile(store_ + "/有人放了/别人的.txt"), "kept");
  EXPECT_EQ(ReadFile(typed), "someone typed this");
  EXPECT_NE(opened.recoveryMessage.find(typed), std::string::npos) << opened.recoveryMessage;
  // The text that stays is a note of its folder, saved, so the user finds it in the tree.
  EXPECT_TRUE(doc.Select(std::string(kArchivePath) + "/旧/typed"));
  EXPECT_NE(ReadFile(db_).find("<typed type=\"esr\"/>"), std::string::npos);
  EXPECT_FALSE(PathExists(JournalPathOf(db_)));
}

TEST_F(ChangeJournalTest, TextThatHasNoFolderInTheTreeGoesToTheRecoveredNotes) {
  const std::string lost = store_ + "/不在树上/笔记.esr";
  const std::string cut = store_ + "/旧/半.esr";
  {
    ChangeJournal j(db_);
    ASSERT_TRUE(j.Begin({{DiskStep::Kind::Renamed, store_ + "/旧/n.esr", lost}},
                        {{std::string(kArchivePath) + "/不在树上/笔记", true}}));
    WriteFile(lost, "moved, and n.esr written anew since");
    WriteFile(store_ + "/旧/n.esr", "new n");
    // A step whose line was cut short by a power cut was never taken.
    WriteFile(JournalPathOf(db_), ReadFile(JournalPathOf(db_)) + "step\tcreate\t\t" + cut);
    WriteFile(cut, "not ours");
  }
  CXmlDocument doc;
  const OpenedDatabase opened = Reopen(doc);
  const std::string recovered = store_ + "/" + kRecoveredFolderName + "/笔记.esr";
  EXPECT_EQ(ReadFile(recovered), "moved, and n.esr written anew since");
  EXPECT_EQ(ReadFile(store_ + "/旧/n.esr"), "new n");
  EXPECT_EQ(ReadFile(cut), "not ours");
  EXPECT_TRUE(doc.Select(std::string(kArchivePath) + "/" + kRecoveredFolderName + "/笔记"));
  EXPECT_NE(opened.recoveryMessage.find(recovered), std::string::npos) << opened.recoveryMessage;
  EXPECT_NE(prompts_.LastMessage().find(recovered), std::string::npos);
}

TEST_F(ChangeJournalTest, AKilledDeleteIsFinished) {
  WriteFile(store_ + "/旧/m.esr", "{\\rtf1 m}");
  {
    ChangeJournal j(db_);
    ASSERT_TRUE(j.Begin({{DiskStep::Kind::Removed, store_ + "/旧", ""}},
                        {{std::string(kArchivePath) + "/旧", false}}, /*forward=*/true));
    fs::remove(store_ + "/旧/n.esr");  // killed half-way through the directory
  }
  CXmlDocument doc;
  Reopen(doc);
  EXPECT_FALSE(PathExists(store_ + "/旧"));
  EXPECT_FALSE(doc.Select(std::string(kArchivePath) + "/旧"));
  EXPECT_EQ(ReadFile(db_), "<list><hotkey/><filetree><archive/></filetree></list>");
  EXPECT_FALSE(PathExists(JournalPathOf(db_)));
}

TEST_F(ChangeJournalTest, AFailedSaveUndoesTheDiskStepsAtOnce) {
  ChangeJournal j(db_);
  ASSERT_TRUE(j.Begin({{DiskStep::Kind::MadeDirectory, "", store_ + "/新建文件夹"}},
                      {{std::string(kArchivePath) + "/新建文件夹", true}}));
  fs::create_directory(store_ + "/新建文件夹");
  ASSERT_TRUE(j.Add({DiskStep::Kind::Renamed, store_ + "/旧/n.esr", store_ + "/旧/m.esr"}));
  ASSERT_EQ(::rename((store_ + "/旧/n.esr").c_str(), (store_ + "/旧/m.esr").c_str()), 0);
  EXPECT_TRUE(j.Undo());
  EXPECT_FALSE(PathExists(store_ + "/新建文件夹"));
  EXPECT_TRUE(PathExists(store_ + "/旧/n.esr"));
  EXPECT_FALSE(PathExists(store_ + "/旧/m.esr"));
  EXPECT_FALSE(PathExists(JournalPathOf(db_)));
}

}  // namespace
}  // namespace zorbek

namespace zorbek {
namespace {

TEST(StoreCheck, NamesEveryDisagreement) {
  testing::TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  testing::WriteFile(db, "<list><hotkey/><filetree><archive><a type=\"dir\"><n type=\"esr\"/>"
                         "<N2 type=\"ESR\"/></a><gone type=\"esr\"/><x type=\"other\"/></archive>"
                         "</filetree></list>");
  testing::WriteFile(dir / "Zorbek/archive/a/n.esr", "");
  testing::WriteFile(dir / "Zorbek/archive/a/n2.esr", "");     // case ignored
  testing::WriteFile(dir / "Zorbek/archive/a/stray.esr", "");  // no element
  testing::WriteFile(dir / "Zorbek/archive/a/picture.png", "");  // not a note: not counted
  testing::WriteFile(dir / "Zorbek/archive/.gone.esr.tmp-abc123", "");
  std::string out;
  EXPECT_EQ(testing::RunCli({"--db", db, "check"}, &out), 1);
  EXPECT_EQ(out, "缺少文件\t/list/filetree/archive/gone\n"
                 "没有记录\t" + dir / "Zorbek/archive/a/stray.esr" + "\n"
                 "临时文件\t" + dir / "Zorbek/archive/.gone.esr.tmp-abc123" + "\n");
  testing::WriteFile(dir / "Zorbek/archive/gone.esr", "");
  std::filesystem::remove(dir / "Zorbek/archive/a/stray.esr");
  std::filesystem::remove(dir / "Zorbek/archive/.gone.esr.tmp-abc123");
  EXPECT_EQ(testing::RunCli({"--db", db, "check"}, &out), 0);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace zorbek
