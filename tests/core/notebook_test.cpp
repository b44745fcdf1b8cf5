// The open notebook: what it owns and in which order it lets go, the events it tells its
// listeners for every command, a folder delete that can go only in part, the reminder check
// whose decisions the main thread writes, and saves that fail while it runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_transfer.h"
#include "core/notes/notebook.h"
#include "reminder_test_util.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::At;
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Makes a file impossible to delete (even for root) for the life of the object; Held() is false
// where the file system does not allow it.
class Immutable {
 public:
  explicit Immutable(std::string path) : path_(std::move(path)) { held_ = Set(true); }
  ~Immutable() {
    if (held_) Set(false);
  }
  bool Held() const { return held_; }

 private:
  bool Set(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    if (!ok || !on) return ok;
    // Some file systems take the flag and ignore it; make sure it holds.
    return ::unlink(path_.c_str()) != 0;
  }
  std::string path_;
  bool held_ = false;
};

class NotebookTest : public ::testing::Test {
 protected:
  void Open(const std::string& archive) {
    WriteFile(db, "<list><hotkey/><filetree><archive>" + archive + "</archive></filetree></list>");
    notebook.Open(db);
    store = NoteStoreDirectory(db);
    notebook.AddListener([this](const std::vector<NotebookEvent>& c) {
      heard.insert(heard.end(), c.begin(), c.end());
    });
  }
  void Put(const std::string& relative) { WriteFile(store + "/" + relative, "{\\rtf1 x}"); }
  std::string Archive() const {
    const std::string file = ReadFile(db);
    const auto a = file.find("<archive"), b = file.find("</archive>");
    return file.substr(a, b + 10 - a);
  }
  static ItemPath Item(std::vector<std::string> names) {
    ItemPath p{std::string(kFileBoxText)};
    p.insert(p.end(), names.begin(), names.end());
    return p;
  }
  static ItemPath Slashed(const std::string& slashed) {
    std::vector<std::string> names;
    for (std::size_t from = 0; from <= slashed.size();) {
      const std::size_t to = std::min(slashed.find('/', from), slashed.size());
      names.push_back(slashed.substr(from, to - from));
      from = to + 1;
    }
    return Item(names);
  }
  // An event with old names from and new names to ("" for none), paths relative to the file
  // box ("f/n").
  NotebookEvent Event(NotebookEventKind kind, ItemKind item, const std::string& from,
                      const std::string& to, bool below = false, int index = -1) const {
    const std::string ext = item == ItemKind::Note ? ".esr" : "";
    NotebookEvent e;
    e.kind = kind;
    e.item = item;
    e.below = below;
    e.index = index;
    if (!from.empty()) {
      e.oldItem = Slashed(from);
      e.oldDocumentPath = DocumentPath(store + "/" + from + ext);
      e.oldElementPath = ElementPath(std::string(kArchivePath) + "/" + from);
    }
    if (!to.empty()) {
      e.newItem = Slashed(to);
      e.newDocumentPath = DocumentPath(store + "/" + to + ext);
      e.newElementPath = ElementPath(std::string(kArchivePath) + "/" + to);
    }
    return e;
  }
  std::vector<NotebookEventKind> Kinds() const {
    std::vector<NotebookEventKind> out;
    for (const NotebookEvent& e : heard) out.push_back(e.kind);
    return out;
  }

  FakePrompts prompts;
  TempDir dir{"zorbek 笔记本"};
  std::string db = dir / "数据/Zorbek.xml";
  std::string store;
  Notebook notebook;
  std::vector<NotebookEvent> heard;
};

TEST_F(NotebookTest, OwnsTheDocumentCommandsAndRemindersAndStopsTheCheckBeforeItGoes) {
  const int before = ReminderCheckThread::Running();
  {
    Notebook nb;
    const OpenedDatabase opened = nb.Open(dir / "new/Zorbek.xml");
    EXPECT_TRUE(opened.saved);
    EXPECT_TRUE(nb.IsOpen());
    EXPECT_EQ(&nb.Commands().Document(), &nb.Document());
    EXPECT_EQ(nb.Reminders().RootPath(), kSchedulePath);
    EXPECT_FALSE(nb.Document().Select(kSchedulePath));  // made by the first reminder
    // No reminder is consumed before the pop-up is there to show it.
    EXPECT_FALSE(nb.Reminders().CheckThreadRunning());
    testing::RecordingSink sink;
    testing::OwnerQueue owner;
    nb.StartReminderCheck(&sink, owner.Post());
    EXPECT_TRUE(nb.Reminders().CheckThreadRunning());
    EXPECT_EQ(ReminderCheckThread::Running(), before + 1);
  }  // the thread ends before the document is freed (AddressSanitizer would see it otherwise)
  EXPECT_EQ(ReminderCheckThread::Running(), before);
}

TEST_F(NotebookTest, RenamingAFolderNamesItAndEverythingBelowWithOldAndNewPaths) {
  Open("<f type=\"dir\"><n type=\"esr\"/><g type=\"dir\"><m type=\"esr\"/></g></f>"
       "<x type=\"rtf\"/>");
  Put("f/n.esr");
  Put("f/g/m.esr");
  ASSERT_TRUE(notebook.Commands().Rename(Item({"f"}), "h").done);
  const auto renamed = NotebookEventKind::kRenamed;
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{
                       Event(renamed, ItemKind::Folder, "f", "h"),
                       Event(renamed, ItemKind::Note, "f/n", "h/n", true),
                       Event(renamed, ItemKind::Folder, "f/g", "h/g", true),
                       Event(renamed, ItemKind::Note, "f/g/m", "h/g/m", true),
                   }));
  // A refused rename tells nothing.
  heard.clear();
  Put("h/o.esr");
  EXPECT_FALSE(notebook.Commands().Rename(Item({"h", "n"}), "o").done);
  EXPECT_TRUE(heard.empty());
}

TEST_F(NotebookTest, AFolderDraggedIntoAnotherNamesItsNewPlaceUnderItsFreeName) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f><g type=\"dir\"><f type=\"dir\"/>"
       "<m type=\"esr\"/></g>");
  Put("f/n.esr");
  Put("g/m.esr");
  fs::create_directories(store + "/g/f");
  NoteTransfer transfer(notebook.Commands());
  ASSERT_TRUE(transfer.Drop(Item({"f"}), Item({"g"})).done);
  const auto moved = NotebookEventKind::kMoved;
  // The folder first in g (its index, for the tree), then what lies below it.
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{
                       Event(moved, ItemKind::Folder, "f", "g/f1", false, 0),
                       Event(moved, ItemKind::Note, "f/n", "g/f1/n", true),
                   }));
  EXPECT_TRUE(fs::exists(store + "/g/f1/n.esr"));
  // Within its own folder nothing is renamed: only the new place of the folder is told.
  heard.clear();
  ASSERT_TRUE(transfer.Drop(Item({"g", "f1"}), Item({"g", "m"})).done);
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{
                       Event(moved, ItemKind::Folder, "g/f1", "g/f1", false, 1)}));
}

TEST_F(NotebookTest, ADeleteAnnouncesTheNotesWhileTheyAreThereThenNamesWhatIsGone) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f><a type=\"esr\"/>");
  Put("f/n.esr");
  Put("a.esr");
  std::vector<bool> presentWhenAnnounced;
  std::vector<bool> elementWhenTold;
  notebook.AddListener([&](const std::vector<NotebookEvent>& events) {
    for (const NotebookEvent& c : events) {
      if (c.kind == NotebookEventKind::kDeleting)
        presentWhenAnnounced.push_back(fs::exists(c.oldDocumentPath.str()));
      // The gone ones are told once the change is complete: the elements are gone, saved.
      if (c.kind == NotebookEventKind::kDeleted)
        elementWhenTold.push_back(notebook.Document().Select(c.oldElementPath.str()) ||
                                  ReadFile(db).find("<n ") != std::string::npos);
    }
  });
  ASSERT_TRUE(notebook.Commands().Delete(Item({"f"})).done);
  EXPECT_EQ(presentWhenAnnounced, (std::vector<bool>{true, true}));
  EXPECT_EQ(elementWhenTold, (std::vector<bool>{false, false}));
  const auto deleting = NotebookEventKind::kDeleting, deleted = NotebookEventKind::kDeleted;
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{
                       Event(deleting, ItemKind::Folder, "f", ""),
                       Event(deleting, ItemKind::Note, "f/n", "", true),
                       Event(deleted, ItemKind::Folder, "f", ""),
                       Event(deleted, ItemKind::Note, "f/n", "", true),
                   }));
  // The file box: everything below it, never the file box itself; its children are the
  // top-most entries.
  heard.clear();
  ASSERT_TRUE(notebook.Commands().Delete(Item({})).done);
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{Event(deleting, ItemKind::Note, "a", ""),
                                               Event(deleted, ItemKind::Note, "a", "")}));
}

TEST_F(NotebookTest, APartialFolderDeleteLeavesDiskAndDatabaseInAgreement) {
  Open("<f type=\"dir\"><a type=\"esr\"/><g type=\"dir\"><stuck type=\"esr\"/>"
       "<c type=\"esr\"/></g><e type=\"dir\"><d type=\"esr\"/></e></f><k type=\"esr\"/>");
  for (const char* f : {"f/a.esr", "f/g/stuck.esr", "f/g/c.esr", "f/e/d.esr", "k.esr"}) Put(f);
  const Immutable stuck(store + "/f/g/stuck.esr");
  if (!stuck.Held()) GTEST_SKIP() << "this file system cannot keep a file from being deleted";

  const NoteOutcome out = notebook.Commands().Delete(Item({"f"}));
  ASSERT_TRUE(out.done);
  EXPECT_TRUE(out.saved);
  // Exactly what is gone from disk is gone from the database and the tree.
  EXPECT_EQ(Archive(), "<archive><f type=\"dir\"><g type=\"dir\"><stuck type=\"esr\"/></g></f>"
                       "<k type=\"esr\"/></archive>");
  EXPECT_TRUE(fs::exists(store + "/f/g/stuck.esr"));
  EXPECT_FALSE(fs::exists(store + "/f/g/c.esr"));
  EXPECT_FALSE(fs::exists(store + "/f/e"));
  // The items a view takes off: the top-most of each removed subtree.
  std::vector<ItemPath> treeRemoved;
  for (const NotebookEvent& c : heard)
    if (c.kind == NotebookEventKind::kDeleted && !c.below) treeRemoved.push_back(c.oldItem);
  EXPECT_EQ(treeRemoved, (std::vector<ItemPath>{Item({"f", "a"}), Item({"f", "g", "c"}),
                                                Item({"f", "e"})}));
  // The message says what could not be deleted.
  EXPECT_EQ(out.message, std::string(kMsgDeleteFailed) + "\n" + store + "/f/g/stuck.esr");
  std::vector<std::string> gone;
  for (const NotebookEvent& c : heard)
    if (c.kind == NotebookEventKind::kDeleted) gone.push_back(c.oldElementPath.str());
  const std::string f = std::string(kArchivePath) + "/f";
  EXPECT_EQ(gone, (std::vector<std::string>{f + "/a", f + "/g/c", f + "/e", f + "/e/d"}));
}

TEST_F(NotebookTest, EveryCommandTellsWhatItAddedMovedOrReorderedWithTheEntrysPlace) {
  Open("<f type=\"dir\"><n type=\"esr\"/><m type=\"esr\"/></f><a type=\"esr\"/>");
  Put("f/n.esr");
  Put("f/m.esr");
  Put("a.esr");
  NoteCommands& commands = notebook.Commands();
  const auto added = NotebookEventKind::kAdded;
  // A new note after the selected note, a new folder first into the selected folder.
  ASSERT_TRUE(commands.NewNote(Item({"f", "n"})).done);
  ASSERT_TRUE(commands.NewFolder(Item({"f"})).done);
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{
                       Event(added, ItemKind::Note, "", "f/新建ESR文档", false, 1),
                       Event(added, ItemKind::Folder, "", "f/新建文件夹", false, 0),
                   }));
  // A paste after the target note.
  heard.clear();
  ASSERT_TRUE(commands.Paste(Item({"a"}), Item({"f", "m"})).done);
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{Event(added, ItemKind::Note, "", "f/a", false, 4)}));
  // Moves in the folder: the same names at a new index.
  heard.clear();
  ASSERT_TRUE(commands.Move(Item({"f", "a"}), MoveTo::Top).done);
  ASSERT_TRUE(commands.Move(Item({"f", "a"}), MoveTo::Down).done);
  ASSERT_TRUE(commands.Move(Item({"f", "a"}), MoveTo::Up).done);
  const auto moved = NotebookEventKind::kMoved;
  EXPECT_EQ(heard, (std::vector<NotebookEvent>{
                       Event(moved, ItemKind::Note, "f/a", "f/a", false, 0),
                       Event(moved, ItemKind::Note, "f/a", "f/a", false, 1),
                       Event(moved, ItemKind::Note, "f/a", "f/a", false, 0),
                   }));
  // A sort names the folder whose children changed order.
  heard.clear();
  ASSERT_TRUE(commands.Sort(Item({"f"}), SortMode::Mixed).done);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].kind, NotebookEventKind::kReordered);
  EXPECT_EQ(heard[0].newItem, Item({"f"}));
  // Opening and closing a folder is a command too: remembered, saved and told.
  heard.clear();
  ASSERT_TRUE(commands.SetExpanded(Item({"f"}), true).done);
  EXPECT_NE(ReadFile(db).find("<f type=\"dir\" state=\"expanded\">"), std::string::npos);
  ASSERT_TRUE(commands.SetExpanded(Item({"f"}), false).done);
  EXPECT_NE(ReadFile(db).find("<f type=\"dir\" state=\"collapsed\">"), std::string::npos);
  EXPECT_EQ(Kinds(), (std::vector<NotebookEventKind>{NotebookEventKind::kExpanded,
                                                     NotebookEventKind::kCollapsed}));
  EXPECT_FALSE(commands.SetExpanded(Item({"gone"}), true).done);
  // Reminders added, changed and deleted.
  heard.clear();
  ASSERT_EQ(notebook.Reminders().Add("r", At(2026, 12, 10, 8), At(2026, 12, 10, 8), 0, "x"),
            StoreResult::kDone);
  ASSERT_EQ(notebook.Reminders().Delete("r"), StoreResult::kDone);
  EXPECT_EQ(notebook.Reminders().Delete("r"), StoreResult::kFailed);
  EXPECT_EQ(Kinds(), (std::vector<NotebookEventKind>{NotebookEventKind::kRemindersChanged,
                                                     NotebookEventKind::kRemindersChanged}));
}

TEST_F(NotebookTest, AFailedSaveTellsNothingAndAReloadFromDiskTellsEveryView) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f>");
  Put("f/n.esr");
  // Another program's version: written over by nobody, read again, told once.
  WriteFile(db, "<list><hotkey/><filetree><archive><g type=\"dir\"/></archive></filetree></list>");
  EXPECT_FALSE(notebook.Commands().Rename(Item({"f", "n"}), "o").done);
  EXPECT_TRUE(heard.empty());
  EXPECT_EQ(notebook.ReloadIfChanged(), ReloadResult::kReloaded);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].kind, NotebookEventKind::kReloaded);
  EXPECT_EQ(heard[0].origin, EventOrigin::kOutside);
  EXPECT_EQ(notebook.ReloadIfChanged(), ReloadResult::kUnchanged);
  EXPECT_EQ(heard.size(), 1u);
  // A listener that removes itself while it is told hears nothing more.
  int told = 0;
  int id = 0;
  id = notebook.AddListener([&](const std::vector<NotebookEvent>&) {
    ++told;
    notebook.RemoveListener(id);
  });
  ASSERT_TRUE(notebook.Commands().NewNote(Item({"g"})).done);
  ASSERT_TRUE(notebook.Commands().NewNote(Item({"g"})).done);
  EXPECT_EQ(told, 1);
}

TEST(ReminderCheckPass, ADateRangePastItsRangeCausesNoWriteInAHundredPasses) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 20, 9, 0, 0);
  TempDir dir;
  Notebook nb;
  nb.Open(dir / "Zorbek.xml");
  ReminderStore& store = nb.Reminders();
  ASSERT_EQ(store.Add("r", At(2026, 12, 10, 8), At(2026, 12, 12, 8), 5, "r"), StoreResult::kDone);
  // The first pass disarms it and writes that once.
  std::uint64_t saves = nb.Document().SuccessfulSaves();
  EXPECT_TRUE(store.CheckPass().saved);
  EXPECT_EQ(nb.Document().SuccessfulSaves(), saves + 1);
  EXPECT_EQ(store.Get("r")->valid, 0);
  saves = nb.Document().SuccessfulSaves();
  const std::string file = ReadFile(dir / "Zorbek.xml");
  for (int i = 0; i < 100; ++i) {
    clock.Advance(5);
    const CheckPassResult pass = store.CheckPass();
    EXPECT_TRUE(pass.events.empty());
  }
  EXPECT_EQ(nb.Document().SuccessfulSaves(), saves);
  EXPECT_EQ(ReadFile(dir / "Zorbek.xml"), file);
  // Changed again, it is armed and disarmed (and written) once more.
  store.Modify("r", At(2026, 12, 10, 8), At(2026, 12, 12, 8), 5, "r2");
  saves = nb.Document().SuccessfulSaves();
  store.CheckPass();
  EXPECT_EQ(nb.Document().SuccessfulSaves(), saves + 1);
}

// The database's directory turns into a file while the program runs (as root a read-only
// directory would still be written; a file in its place is refused to everyone). Renamed away
// in one step, as the check thread may be writing in it.
void BreakDirectory(const std::string& directory) {
  fs::rename(directory, directory + ".away");
  WriteFile(directory, "not a directory");
}
void MendDirectory(const std::string& directory) {
  fs::remove(directory);
  fs::rename(directory + ".away", directory);
}

class CountingSink : public ReminderSink {
 public:
  void EnqueueReminder(const DueReminder&) override { ++fired; }
  std::atomic<int> fired{0};
};

TEST(ReminderCheckThread, DecidesOnTheListAndTheMainThreadWritesSavesAndShows) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 12, 13, 0, 0);
  TempDir dir;
  const std::string path = dir / "Zorbek.xml";
  testing::OwnerQueue owner;  // outlives the notebook, whose check thread posts to it
  struct ThreadSink : ReminderSink {
    std::vector<std::thread::id> threads;
    void EnqueueReminder(const DueReminder&) override {
      threads.push_back(std::this_thread::get_id());
    }
  } sink;
  Notebook nb;
  nb.Open(path);
  std::vector<std::thread::id> toldOn;
  nb.AddListener([&](const std::vector<NotebookEvent>& events) {
    for (const NotebookEvent& e : events)
      if (e.kind == NotebookEventKind::kRemindersChanged) toldOn.push_back(std::this_thread::get_id());
  });
  ASSERT_EQ(nb.Reminders().Add("now", At(2026, 12, 12, 12, 59), At(2026, 12, 12, 12, 59), 0, "n"),
            StoreResult::kDone);
  toldOn.clear();
  const std::uint64_t saves = nb.Document().SuccessfulSaves();
  nb.Reminders().SetCheckTiming({0ms, 1ms});
  nb.StartReminderCheck(&sink, owner.Post());

  // The thread's decision waits for the main thread: nothing is written or shown before.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (owner.Waiting() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  ASSERT_GT(owner.Waiting(), 0u);
  EXPECT_EQ(nb.Reminders().Get("now")->valid, 0);  // decided, in memory
  EXPECT_NE(ReadFile(path).find("valid=\"1\""), std::string::npos);
  EXPECT_EQ(nb.Document().SuccessfulSaves(), saves);
  EXPECT_TRUE(sink.threads.empty());

  // This thread plays the main thread: the write, the save, the pop-up and the event are its.
  ASSERT_TRUE(owner.RunUntil([&] { return !sink.threads.empty(); }));
  nb.Reminders().StopChecking();
  owner.RunPending();
  const auto self = std::this_thread::get_id();
  EXPECT_EQ(sink.threads, std::vector<std::thread::id>{self});  // fired once
  EXPECT_EQ(toldOn, std::vector<std::thread::id>{self});
  EXPECT_EQ(nb.Document().SuccessfulSaves(), saves + 1);
  EXPECT_NE(ReadFile(path).find("valid=\"0\""), std::string::npos);
}

TEST(ReminderCheckThread, ADecisionOvertakenByAChangeOrAReloadIsDropped) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 12, 13, 0, 0);
  TempDir dir;
  const std::string path = dir / "Zorbek.xml";
  testing::RecordingSink sink;
  Notebook nb;
  nb.Open(path);
  ReminderStore& store = nb.Reminders();
  ASSERT_EQ(store.Add("a", At(2026, 12, 12, 12, 59), At(2026, 12, 12, 12, 59), 0, "a"),
            StoreResult::kDone);
  ASSERT_EQ(store.Add("b", At(2026, 12, 12, 12, 58), At(2026, 12, 12, 12, 58), 0, "b"),
            StoreResult::kDone);
  store.Init(nb.Document(), kSchedulePath, &sink, false, false);
  // Decided on the thread; meanwhile the user edits "a" (armed again) and deletes "b".
  const PassDecision decision = store.DecidePass();
  ASSERT_EQ(decision.handled, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(store.Modify("a", At(2026, 12, 12, 12, 59), At(2026, 12, 12, 12, 59), 0, "a2"),
            StoreResult::kDone);
  ASSERT_EQ(store.Delete("b"), StoreResult::kDone);
  const std::string file = ReadFile(path);
  const CheckPassResult applied = store.ApplyPass(decision);
  EXPECT_TRUE(applied.events.empty());
  EXPECT_TRUE(sink.Ids().empty());
  EXPECT_EQ(ReadFile(path), file);
  EXPECT_EQ(store.Get("a")->valid, 1);
  // Read again from disk with the reminder armed: the old decision is not written over it.
  const PassDecision stale = store.DecidePass();
  ASSERT_EQ(stale.handled, std::vector<std::string>{"a"});
  WriteFile(path, file + " ");
  ASSERT_EQ(nb.ReloadIfChanged(), ReloadResult::kReloaded);
  EXPECT_EQ(store.Get("a")->valid, 1);
  EXPECT_TRUE(store.ApplyPass(stale).events.empty());
  EXPECT_EQ(store.Get("a")->valid, 1);
  EXPECT_EQ(ReadFile(path), file + " ");
  // The next pass decides again, on the list read from disk.
  EXPECT_EQ(testing::EventTexts(store.CheckPass()), std::vector<std::string>{"fire a"});
}

TEST(ReminderSaveFailure, FailingSavesOfThePassesAreShownOnceOnTheMainThread) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 12, 13, 0, 0);
  FakePrompts prompts;
  TempDir dir;
  const std::string folder = dir / "data";
  testing::OwnerQueue owner;
  CountingSink sink;  // outlives the notebook, whose check thread hands it reminders
  Notebook nb;
  nb.Open(folder + "/Zorbek.xml");
  ReminderStore& store = nb.Reminders();
  ASSERT_EQ(store.Add("once", At(2026, 12, 12, 12, 50), At(2026, 12, 12, 12, 50), 0, "o"),
            StoreResult::kDone);

  std::atomic<int> fromOtherThread{0};
  const auto mainThread = std::this_thread::get_id();
  prompts.OnMessage([&](std::string_view) {
    if (std::this_thread::get_id() != mainThread) ++fromOtherThread;
  });

  store.SetCheckTiming({0ms, 1ms});
  nb.StartReminderCheck(&sink, owner.Post());

  // The main thread keeps re-arming the reminder, each pass fires it (and fails to save).
  const auto runUntil = [&](int fired) {
    EXPECT_TRUE(owner.RunUntil([&] {
      if (sink.fired >= fired) return true;
      const StoreResult r =
          store.Modify("once", At(2026, 12, 12, 12, 50), At(2026, 12, 12, 12, 50), 0, "o");
      EXPECT_NE(r, StoreResult::kFailed);
      return false;
    }));
  };
  runUntil(3);  // saves still work
  EXPECT_TRUE(prompts.Messages().empty());

  BreakDirectory(folder);
  EXPECT_EQ(store.Modify("once", At(2026, 12, 12, 12, 50), At(2026, 12, 12, 12, 50), 0, "o"),
            StoreResult::kUnsaved);
  runUntil(sink.fired + 10);
  store.StopChecking();
  owner.RunPending();
  EXPECT_EQ(prompts.MessageTexts(), std::vector<std::string>{SaveFailedMessage(
                                        folder + "/Zorbek.xml", SystemReason(ENOTDIR))});

  // Once a save has worked again, a new failure is shown again (once).
  MendDirectory(folder);
  EXPECT_EQ(store.Add("later", At(2026, 12, 13), At(2026, 12, 13), 0, "l"), StoreResult::kDone);
  BreakDirectory(folder);
  nb.StartReminderCheck(&sink, owner.Post());
  runUntil(sink.fired + 10);
  nb.Reminders().StopChecking();
  owner.RunPending();
  EXPECT_EQ(prompts.Messages().size(), 2u);
  EXPECT_EQ(fromOtherThread.load(), 0);
  MendDirectory(folder);
}

TEST(ReminderCheckThread, StoppedFromThePopUpOnTheMainThreadItEnds) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 12, 13, 0, 0);
  TempDir dir;
  testing::OwnerQueue owner;
  Notebook nb;
  nb.Open(dir / "Zorbek.xml");
  struct StoppingSink : ReminderSink {
    ReminderStore* store = nullptr;
    int calls = 0;
    void EnqueueReminder(const DueReminder&) override {
      ++calls;
      store->StopChecking();  // from within the main thread's part of a pass
    }
  } sink;
  sink.store = &nb.Reminders();
  const int before = ReminderCheckThread::Running();
  nb.Reminders().Add("now", At(2026, 12, 12, 12, 59), At(2026, 12, 12, 12, 59), 0, "n");
  nb.Reminders().SetCheckTiming({0ms, 1ms});
  nb.StartReminderCheck(&sink, owner.Post());
  EXPECT_TRUE(owner.RunUntil([&] { return sink.calls > 0; }));
  EXPECT_EQ(ReminderCheckThread::Running(), before);
  EXPECT_EQ(sink.calls, 1);
  EXPECT_FALSE(nb.Reminders().CheckThreadRunning());
}

TEST(KeptAsideName, ASecondCopyInTheSameSecondGetsItsOwnName) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 7, 21, 48, 0);
  TempDir dir;
  const std::string path = dir / "a.esr";
  const std::string first = KeptAsideName(path, "unreadable");
  EXPECT_EQ(first, path + ".unreadable-20261207-214800");
  WriteFile(first, "1");
  const std::string second = KeptAsideName(path, "unreadable");
  EXPECT_EQ(second, first + "-1");
  WriteFile(second, "2");
  EXPECT_EQ(KeptAsideName(path, "unreadable"), first + "-2");
}

}  // namespace
}  // namespace zorbek
