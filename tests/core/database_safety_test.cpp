// What keeps a database whole against odd files, links, leftovers and a second writer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "core/db/database.h"
#include "core/db/database_lock.h"
#include "core/io/file_util.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

std::string Nested(std::size_t levels) {
  std::string xml;
  xml.reserve(levels * 8);
  for (std::size_t i = 0; i < levels; ++i) xml += "<a>";
  for (std::size_t i = 0; i < levels; ++i) xml += "</a>";
  return xml;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DatabaseSafety, ADatabaseNestedTooDeepIsKeptAsideNotWalked) {
  TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  WriteFile(db, "<list><filetree><archive>" + Nested(100000) + "</archive></filetree></list>");
  testing::FakePrompts prompts;
  CXmlDocument doc;
  const OpenedDatabase opened = OpenDatabaseFile(doc, db);
  EXPECT_EQ(opened.status, LoadStatus::Unparsable);
  ASSERT_FALSE(opened.keptAs.empty());
  EXPECT_EQ(ReadFile(opened.keptAs).size(), 25 + 100000 * 7 + 28u);  // kept whole
  EXPECT_EQ(ReadFile(db), "<list><hotkey/><filetree><archive/></filetree></list>");
  ASSERT_EQ(prompts.Messages().size(), 1u);

  // The command line refuses it too, without a crash.
  WriteFile(db, "<list>" + Nested(100000) + "</list>");
  std::string err;
  EXPECT_EQ(RunCli({"--db", db, "tree"}, nullptr, &err), 1);
  EXPECT_NE(err.find(db), std::string::npos) << err;

  // A deep but possible tree still reads.
  CXmlDocument deep;
  EXPECT_TRUE(deep.LoadFromString("<list>" + Nested(kMaxElementDepth - 1) + "</list>"));
  EXPECT_FALSE(deep.LoadFromString("<list>" + Nested(kMaxElementDepth) + "</list>"));
}

TEST(DatabaseSafety, WhatXmlCannotReadBackIsNeverWritten) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<list><r/></list>"));
  XmlNode r = doc.Select("/list/r");
  SetText(r, std::string("a\x01" "b\x1F" "c\td\re\r\nf\xEF\xBF\xBEg\xFF" "h中", 22));
  SetAttribute(r, "t", "x\x02y\rz\nw");
  const std::string xml = doc.ToString();
  EXPECT_EQ(xml.find("&#x"), std::string::npos) << xml;
  pugi::xml_document strict;
  ASSERT_TRUE(strict.load_string(xml.c_str())) << xml;

  CXmlDocument back;
  ASSERT_TRUE(back.LoadFromString(xml));
  XmlNode r2 = back.Select("/list/r");
  // Controls go, carriage returns stay, a byte that is not UTF-8 becomes U+FFFD.
  EXPECT_EQ(Text(r2), "abc\td\re\r\nfg\xEF\xBF\xBDh中");
  EXPECT_EQ(Attribute(r2, "t"), "xy\rz\nw");
}

TEST(DatabaseSafety, ASymbolicLinkIsSavedThroughAndStaysALink) {
  TempDir dir;
  const std::string target = dir / "synced/Zorbek.xml";
  WriteFile(target, "<list><hotkey/><filetree><archive/></filetree></list>");
  ::chmod(target.c_str(), 0600);
  const std::string link = dir / "home/Zorbek.xml";
  fs::create_directories(dir / "home");
  fs::create_symlink("../synced/Zorbek.xml", link);

  CXmlDocument doc;
  OpenDatabaseFile(doc, link);
  AppendChild(doc.Select(kArchivePath), doc.CreateElement("笔记"));
  ASSERT_TRUE(doc.Save());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "<list><hotkey/><filetree><archive><笔记/></archive></filetree></list>");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(FilesIn(dir / "home"), std::vector<std::string>{"Zorbek.xml"});
  EXPECT_EQ(FilesIn(dir / "synced"), std::vector<std::string>{"Zorbek.xml"});
}

TEST(DatabaseSafety, AFailedWriteSaysWhyInTheUsersWords) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(dir / "file/Zorbek.xml", "data", &error));
  EXPECT_EQ(error, "路径中有一项不是文件夹。");
  EXPECT_FALSE(WriteFileAtomically(dir / "missing/Zorbek.xml", "data", &error));
  EXPECT_EQ(error, "路径不存在。");
}

TEST(DatabaseSafety, LeftoversOfAKilledWriterGoAtTheNextOpenAndOnlyThey) {
  TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  WriteFile(db, "<list><hotkey/><filetree><archive><a type=\"dir\"/></archive></filetree></list>");
  const auto leaveLeftovers = [&] {
    WriteFile(dir / ".Zorbek.xml.tmp-Ab12cd", "half a database");
    WriteFile(dir / ".other.txt.tmp-Ab12cd", "someone else's");
    WriteFile(dir / "Zorbek/archive/a/.n.esr.tmp-XyZ789", "{\\rtf1 n}");  // as the note
    WriteFile(dir / "Zorbek/archive/a/.m.esr.tmp-XyZ789", "");
    WriteFile(dir / "Zorbek/archive/a/.new.esr.tmp-XyZ789", "a copy on its way");
    WriteFile(dir / "Zorbek/archive/a/n.esr", "{\\rtf1 n}");
    WriteFile(dir / "Zorbek/archive/a/m.esr", "{\\rtf1 m}");
    WriteFile(dir / "Zorbek/archive/a/.n.esr.tmp-toolong", "not ours: seven characters");
  };
  leaveLeftovers();

  // Reading leaves everything as it is.
  ASSERT_EQ(RunCli({"--db", db, "tree"}), 0);
  EXPECT_TRUE(PathExists(dir / ".Zorbek.xml.tmp-Ab12cd"));

  // The last writer ended cleanly (no mark in the lock file, no journal): a change reads no
  // directory, and what lies there is not looked at.
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);
  EXPECT_EQ(ReadFile(dir / ".Zorbek.xml.lock"), "");
  EXPECT_TRUE(PathExists(dir / ".Zorbek.xml.tmp-Ab12cd"));
  EXPECT_TRUE(PathExists(dir / "Zorbek/archive/a/.n.esr.tmp-XyZ789"));

  // A writer that died left its mark: the next change takes its temporary files, and only them.
  WriteFile(dir / ".Zorbek.xml.lock", "writing\n");
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);
  EXPECT_EQ(ReadFile(dir / ".Zorbek.xml.lock"), "");  // this one ended cleanly
  EXPECT_EQ(FilesIn(dir.path()),
            (std::vector<std::string>{".Zorbek.xml.lock", ".other.txt.tmp-Ab12cd", "Zorbek",
                                      "Zorbek.xml"}));
  EXPECT_EQ(FilesIn(dir / "Zorbek/archive/a"),
            (std::vector<std::string>{".n.esr.tmp-toolong", "m.esr", "n.esr"}));
}

TEST(DatabaseSafety, TheOnlyCopyOfANotesTextInATemporaryFileIsKept) {
  // An editor's save killed between writing its temporary file and putting it in place: the
  // temporary file holds the text as saved, the note the text before it.
  TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  WriteFile(db, "<list><hotkey/><filetree><archive><a type=\"dir\"><n type=\"esr\"/></a>"
                "</archive></filetree></list>");
  WriteFile(dir / "Zorbek/archive/a/n.esr", "{\\rtf1 before}");
  WriteFile(dir / "Zorbek/archive/a/.n.esr.tmp-XyZ789", "{\\rtf1 as saved}");
  WriteFile(dir / ".Zorbek.xml.lock", "writing\n");
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);
  EXPECT_EQ(FilesIn(dir / "Zorbek/archive/a"),
            (std::vector<std::string>{"n.esr", "n.esr.未完成的保存-XyZ789"}));
  EXPECT_EQ(ReadFile(dir / "Zorbek/archive/a/n.esr.未完成的保存-XyZ789"), "{\\rtf1 as saved}");
  // Not counted as a note without its element, nor as a leftover.
  EXPECT_EQ(RunCli({"--db", db, "check"}), 0);
}

TEST(DatabaseSafety, TheProgramSweepsADeadWritersFilesOnAThreadAndKeepsItsOwn) {
  TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  WriteFile(db, "<list><hotkey/><filetree><archive><a type=\"dir\"/></archive></filetree></list>");
  WriteFile(dir / "Zorbek/archive/a/.n.esr.tmp-XyZ789", "");
  WriteFile(dir / "Zorbek/archive/a/.m.esr.tmp-XyZ789", "");
  // m's temporary file is of this process (a save under way): changed after the opening.
  const auto later = std::filesystem::file_time_type::clock::now() + std::chrono::hours(1);
  std::filesystem::last_write_time(dir / "Zorbek/archive/a/.m.esr.tmp-XyZ789", later);
  WriteFile(dir / ".Zorbek.xml.lock", "writing\n");
  SetWriterRole(WriterRole::Program);
  {
    CXmlDocument doc;
    const OpenedDatabase opened = OpenDatabaseFile(doc, db);
    EXPECT_TRUE(opened.storeSweepNeeded);
    // Nothing of the store was touched on the way.
    EXPECT_TRUE(PathExists(dir / "Zorbek/archive/a/.n.esr.tmp-XyZ789"));
    LeftoverSweep sweep(db);
    sweep.Wait();
    EXPECT_FALSE(PathExists(dir / "Zorbek/archive/a/.n.esr.tmp-XyZ789"));
    EXPECT_TRUE(PathExists(dir / "Zorbek/archive/a/.m.esr.tmp-XyZ789"));
    // The mark stays while this writer runs: a kill now is seen by the next one.
    EXPECT_EQ(ReadFile(dir / ".Zorbek.xml.lock"), "writing\n");
  }
  SetWriterRole(WriterRole::None);
}

TEST(DatabaseSafety, TheCommandLineRefusesWhileTheProgramRunsAndWaitsForItself) {
  TempDir dir;
  const std::string db = dir / "数据 库/Zorbek.xml";
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);
  const std::string before = ReadFile(db);

  {
    // The running program holds the lock for its run.
    LockResult result;
    auto program =
        DatabaseLock::Acquire(db, WriterRole::Program, std::chrono::milliseconds(0), &result);
    ASSERT_TRUE(program);
    ASSERT_EQ(result, LockResult::Acquired);
    std::string err;
    EXPECT_EQ(RunCli({"--db", db, "new-note", "/"}, nullptr, &err), 1);
    EXPECT_EQ(err, LockedByProgramMessage(db) + "\n");
    EXPECT_EQ(RunCli({"--db", db, "reminder-add", "--mode", "1", "--time", "08:00:00", "x"},
                     nullptr, &err),
              1);
    EXPECT_EQ(ReadFile(db), before);
    EXPECT_FALSE(PathExists(dir / "数据 库/Zorbek/archive/新建ESR文档.esr"));
    // Reading still works.
    EXPECT_EQ(RunCli({"--db", db, "tree"}), 0);
    // A second program is refused as well.
    EXPECT_FALSE(DatabaseLock::Acquire(db, WriterRole::Program, std::chrono::milliseconds(0),
                                       &result));
    EXPECT_EQ(result, LockResult::HeldByProgram);
  }
  // The program is gone: so is its lock.
  EXPECT_EQ(RunCli({"--db", db, "new-note", "/"}), 0);

  // Two command lines changing one database at once lose nothing.
  auto loop = [&](const std::string& folder) {
    for (int i = 0; i < 12; ++i) EXPECT_EQ(RunCli({"--db", db, "new-note", folder}), 0);
  };
  ASSERT_EQ(RunCli({"--db", db, "new-folder", "/"}), 0);  // 新建文件夹1
  std::thread a(loop, "新建文件夹"), b(loop, "新建文件夹1");
  a.join();
  b.join();
  std::string tree;
  ASSERT_EQ(RunCli({"--db", db, "tree"}, &tree), 0);
  std::size_t notes = 0;
  for (std::size_t p = 0; (p = tree.find("新建ESR文档", p)) != std::string::npos; ++p) ++notes;
  EXPECT_EQ(notes, 25u) << tree;
}

TEST(DatabaseSafety, ALockOfADeadProcessNeverBlocks) {
  TempDir dir;
  const std::string db = dir / "Zorbek.xml";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    LockResult r;
    auto held = DatabaseLock::Acquire(db, WriterRole::Program, std::chrono::milliseconds(0), &r);
    const char c = held ? '1' : '0';
    if (::write(ready[1], &c, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, '1');
  LockResult result;
  EXPECT_FALSE(DatabaseLock::Acquire(db, WriterRole::Program, std::chrono::milliseconds(0), &result));
  EXPECT_EQ(result, LockResult::HeldByProgram);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(DatabaseLock::Acquire(db, WriterRole::Program, std::chrono::milliseconds(0), &result));
  EXPECT_EQ(result, LockResult::Acquired);
}

}  // namespace
}  // namespace zorbek
