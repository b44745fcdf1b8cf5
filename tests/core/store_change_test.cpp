// Every command that changes the note store and the database is whole or not at all: a failed
// save leaves disk, database and tree as they were, and a process killed after any step leaves
// the two in agreement once the database is opened again.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/db/change_journal.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_transfer.h"
#include "core/notes/recycle_bin.h"
#include "core/notes/store_change.h"
#include "core/notes/store_check.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "support/file_box.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kArchive =
    "<工作 type=\"dir\"><甲 type=\"esr\"/><乙 type=\"esr\"/><项目 type=\"dir\"><丙 type=\"esr\"/>"
    "</项目></工作><生活 type=\"dir\"><丁 type=\"esr\"/></生活><戊 type=\"esr\"/>";

// A database with folders and notes, their files, and a note file outside the store.
void MakeNotebook(const std::string& db) {
  WriteFile(db, std::string("<list><hotkey/><filetree><archive>") + kArchive +
                    "</archive></filetree></list>");
  const std::string store = NoteStoreDirectory(db);
  WriteFile(store + "/工作/甲.esr", "{\\rtf1 甲}");
  WriteFile(store + "/工作/乙.esr", "{\\rtf1 乙}");
  WriteFile(store + "/工作/项目/丙.esr", "{\\rtf1 丙}");
  WriteFile(store + "/生活/丁.esr", "{\\rtf1 丁}");
  WriteFile(store + "/戊.esr", "{\\rtf1 戊}");
  WriteFile(DirectoryOf(db) + "/外面/外来.esr", "{\\rtf1 外来}");
  WriteFile(DirectoryOf(db) + "/外面/第二.esr", "{\\rtf1 第二}");
}

// Everything below the directory that holds the database, but the lock file: names and contents.
std::vector<std::string> Snapshot(const std::string& db) {
  std::vector<std::string> out;
  const std::string top = DirectoryOf(db);
  for (const auto& e : fs::recursive_directory_iterator(top)) {
    std::string rel = fs::relative(e.path(), top).string();
    if (rel.find(".lock") != std::string::npos) continue;
    std::string content = e.is_directory() ? "/" : "=" + ReadFile(e.path().string());
    // A recycle bin entry is named after the moment of its delete, and its record holds that
    // moment: both are left out.
    if (const auto t = rel.find("trash/"); t != std::string::npos) {
      const auto end = rel.find('/', t + 6);
      rel = rel.substr(0, t + 6) + "*" + (end == std::string::npos ? "" : rel.substr(end));
      if (const auto d = content.find(" deleted=\""); d != std::string::npos)
        content.erase(d, content.find('"', d + 10) - d + 1);
    }
    out.push_back(rel + content);
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct Command {
  const char* name;
  // Runs the command; true when it reports done.
  std::function<bool(NoteCommands&, NoteTransfer&, const std::string& db)> run;
  // Readies the notebook for it, before anything is opened.
  std::function<void(const std::string& db)> prepare = {};
};

void Prepare(const Command& command, const std::string& db) {
  MakeNotebook(db);
  if (command.prepare) command.prepare(db);
}

std::vector<Command> Commands() {
  const auto outside = [](const std::string& db, const char* name) {
    return DirectoryOf(db) + "/外面/" + name;
  };
  return {
      {"new note", [](NoteCommands& c, NoteTransfer&, auto&) { return c.NewNote(testing::FileBoxItem({"工作"})).done; }},
      {"new folder into a folder without directory",
       [](NoteCommands& c, NoteTransfer&, auto&) { return c.NewFolder(testing::FileBoxItem({"项目"})).done; },
       [](const std::string& db) {
         // A folder whose directory is missing (the file was edited by hand): made first.
         WriteFile(db, std::string("<list><hotkey/><filetree><archive>") + kArchive +
                           "<项目 type=\"dir\"/></archive></filetree></list>");
       }},
      {"rename note", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Rename(testing::FileBoxItem({"工作", "甲"}), "日记").done; }},
      {"rename folder", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Rename(testing::FileBoxItem({"工作"}), "事业").done; }},
      {"paste", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Paste(testing::FileBoxItem({"工作", "甲"}), testing::FileBoxItem({"生活"})).done; }},
      {"delete note", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Delete(testing::FileBoxItem({"戊"})).done; }},
      {"delete folder", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Delete(testing::FileBoxItem({"工作"})).done; }},
      {"delete the file box", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Delete(testing::FileBoxItem({})).done; }},
      {"restore a folder from the recycle bin",
       [](NoteCommands& c, NoteTransfer&, const std::string& db) {
         const auto list = RecycleBin(db).List();
         return list.size() == 1 && RestoreFromTrash(c.Document(), list[0].id).done;
       },
       [](const std::string& db) {
         // The folder, deleted into the bin, and a note of its name made since.
         CXmlDocument doc;
         OpenDatabaseFile(doc, db);
         NoteCommands c(doc);
         c.Delete(testing::FileBoxItem({"工作"}));
         c.NewNote(testing::FileBoxItem({}));
         c.Rename(testing::FileBoxItem({"新建ESR文档"}), "工作");
       }},
      {"move up", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Move(testing::FileBoxItem({"工作", "乙"}), MoveTo::Up).done; }},
      {"sort and save", [](NoteCommands& c, NoteTransfer&, auto&) { return c.Sort(testing::FileBoxItem({}), SortMode::Mixed).done; }},
      {"drag a folder into another", [](NoteCommands&, NoteTransfer& t, auto&) { return t.Drop(testing::FileBoxItem({"工作", "项目"}), testing::FileBoxItem({"生活"})).done; }},
      {"drag a note before another", [](NoteCommands&, NoteTransfer& t, auto&) { return t.Drop(testing::FileBoxItem({"工作", "甲"}), testing::FileBoxItem({"生活", "丁"})).done; }},
      {"add a note file", [outside](NoteCommands&, NoteTransfer& t, const std::string& db) {
         return t.AddNoteFile(testing::FileBoxItem({"生活"}), outside(db, "外来.esr")).done;
       }},
      {"import two files", [outside](NoteCommands&, NoteTransfer& t, const std::string& db) {
         const auto r = t.Import(testing::FileBoxItem({"工作", "项目"}), {outside(db, "外来.esr"), outside(db, "第二.esr")});
         return r.size() == 2 && r[0].done && r[1].done;
       }},
      {"drop files", [outside](NoteCommands&, NoteTransfer& t, const std::string& db) {
         const auto r = t.DropFiles(testing::FileBoxItem({}), {outside(db, "外来.esr"), outside(db, "第二.esr")});
         return r.size() == 2 && r[0].done && r[1].done;
       }},
  };
}

TEST(StoreChange, AFailedSaveLeavesDiskAndDatabaseAsTheyWere) {
  testing::FakePrompts prompts;
  for (const Command& command : Commands()) {
    SCOPED_TRACE(command.name);
    TempDir dir{"zorbek 失败"};
    const std::string db = dir / "数据/Zorbek.xml";
    Prepare(command, db);
    CXmlDocument doc;
    OpenDatabaseFile(doc, db);
    NoteCommands commands(doc);
    NoteTransfer transfer(commands);
    const std::vector<std::string> before = Snapshot(db);
    const std::string memory = doc.ToString();
    doc.SetWriteProtected(true);
    EXPECT_FALSE(command.run(commands, transfer, db));
    // Nothing set aside stays, no copy is left half-made, no journal, nothing new anywhere.
    EXPECT_EQ(Snapshot(db), before);
    EXPECT_EQ(doc.ToString(), memory);
  }
}

TEST(StoreChange, AFailedSaveChangesNoFileAndTellsNoWindow) {
  testing::FakePrompts prompts;
  TempDir dir{"zorbek 失败"};
  const std::string db = dir / "Zorbek.xml";
  MakeNotebook(db);
  CXmlDocument doc;
  OpenDatabaseFile(doc, db);
  NoteCommands commands(doc);
  NoteTransfer transfer(commands);
  const std::vector<std::string> before = Snapshot(db);
  const std::string memory = doc.ToString();
  doc.SetWriteProtected(true);
  // What the windows are told, but for the announcement of a delete (made before it saves).
  int steps = 0;
  commands.SetPublisher([&](const std::vector<NotebookEvent>& events) {
    for (const NotebookEvent& e : events) steps += e.kind != NotebookEventKind::kDeleting && !e.below;
  });
  std::vector<NoteOutcome> outcomes{
      commands.NewNote(testing::FileBoxItem({"工作"})),
      commands.NewFolder(testing::FileBoxItem({})),
      commands.Rename(testing::FileBoxItem({"工作"}), "事业"),
      commands.Rename(testing::FileBoxItem({"戊"}), "己"),
      commands.Paste(testing::FileBoxItem({"工作", "甲"}), testing::FileBoxItem({"生活"})),
      commands.Delete(testing::FileBoxItem({"工作"})),
      commands.Delete(testing::FileBoxItem({"生活", "丁"})),
      commands.Delete(testing::FileBoxItem({})),
      commands.Move(testing::FileBoxItem({"工作", "乙"}), MoveTo::Top),
      commands.Sort(testing::FileBoxItem({}), SortMode::Mixed),
      transfer.Drop(testing::FileBoxItem({"工作", "项目"}), testing::FileBoxItem({"生活"})),
      transfer.AddNoteFile(testing::FileBoxItem({"生活"}), dir / "外面/外来.esr"),
  };
  for (const auto& r : transfer.Import(testing::FileBoxItem({}), {dir / "外面/外来.esr", dir / "外面/第二.esr"}))
    outcomes.push_back(r);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(outcomes[i].done);
    EXPECT_FALSE(outcomes[i].saved);
  }
  EXPECT_EQ(steps, 0);
  EXPECT_EQ(Snapshot(db), before);
  EXPECT_EQ(doc.ToString(), memory);
  // Once the database can be written again, the same commands go through.
  doc.SetWriteProtected(false);
  EXPECT_TRUE(commands.Rename(testing::FileBoxItem({"工作"}), "事业").done);
  EXPECT_TRUE(commands.Delete(testing::FileBoxItem({"生活"})).done);
  EXPECT_EQ(steps, 2);
  EXPECT_TRUE(CheckStoreAgreement(doc).Agrees());
  EXPECT_FALSE(IsDirectory(NoteStoreDirectory(db) + "/生活"));
  for (const std::string& entry : Snapshot(db)) EXPECT_EQ(entry.find(".deleted-"), std::string::npos);
}

// Runs the command in a child process that ends at its k-th step (as a kill would); returns
// false when the command finished before it had k steps.
bool RunKilledAt(const Command& command, const std::string& db, int k) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    CXmlDocument doc;
    OpenDatabaseFile(doc, db);
    NoteCommands commands(doc);
    NoteTransfer transfer(commands);
    int calls = 0;
    SetStoreChangeStepHook([&](int) {
      if (++calls == k) ::_exit(0);
    });
    command.run(commands, transfer, db);
    ::_exit(3);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(StoreChange, AKillAfterAnyStepIsWholeOrNothingAtTheNextOpen) {
  testing::FakePrompts prompts;
  for (const Command& command : Commands()) {
    SCOPED_TRACE(command.name);
    // The command run whole, and nothing run at all: the two states a kill may leave.
    TempDir wholeDir{"zorbek 整"};
    const std::string wholeDb = wholeDir / "Zorbek.xml";
    Prepare(command, wholeDb);
    const std::vector<std::string> untouched = Snapshot(wholeDb);
    {
      CXmlDocument doc;
      OpenDatabaseFile(doc, wholeDb);
      NoteCommands commands(doc);
      NoteTransfer transfer(commands);
      ASSERT_TRUE(command.run(commands, transfer, wholeDb));
    }
    const std::vector<std::string> whole = Snapshot(wholeDb);
    int kills = 0;
    for (int k = 1; k < 40; ++k) {
      SCOPED_TRACE(k);
      TempDir dir{"zorbek 杀"};
      const std::string db = dir / "Zorbek.xml";
      Prepare(command, db);
      if (!RunKilledAt(command, db, k)) break;
      ++kills;
      CXmlDocument doc;
      OpenDatabaseFile(doc, db);
      EXPECT_FALSE(PathExists(JournalPathOf(db)));
      const std::vector<std::string> now = Snapshot(db);
      EXPECT_TRUE(now == whole || now == untouched) << "neither before nor after the command";
      // (A notebook prepared to disagree, as it was, disagrees as before when nothing was done.)
      if (now == untouched && command.prepare) continue;
      const StoreAgreement a = CheckStoreAgreement(doc);
      EXPECT_TRUE(a.Agrees()) << (a.elementsWithoutFile.empty() ? "" : a.elementsWithoutFile[0])
                              << (a.filesWithoutElement.empty() ? "" : a.filesWithoutElement[0])
                              << (a.leftovers.empty() ? "" : a.leftovers[0]);
    }
    EXPECT_GT(kills, 0);
  }
  SetStoreChangeStepHook({});
}

}  // namespace
}  // namespace zorbek
