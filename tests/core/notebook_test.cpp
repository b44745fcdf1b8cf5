// The open notebook: what it owns and in which order it lets go, the changes it tells its
// listeners, a folder delete that can go only in part, and saves that fail while the reminder
// check runs.
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
    notebook.AddListener([this](const std::vector<NoteChange>& c) {
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

  FakePrompts prompts;
  TempDir dir{"zorbek 笔记本"};
  std::string db = dir / "数据/Zorbek.xml";
  std::string store;
  Notebook notebook;
  std::vector<NoteChange> heard;
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
    nb.StartReminderCheck(&sink);
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
  const std::string base = store;
  const auto change = [&](ItemKind kind, const std::string& from, const std::string& to,
                          const std::string& ext) {
    return NoteChange{NoteChangeKind::kRenamed, kind,
                      base + "/" + from + ext, std::string(kArchivePath) + "/" + from,
                      base + "/" + to + ext, std::string(kArchivePath) + "/" + to};
  };
  EXPECT_EQ(heard, (std::vector<NoteChange>{
                       change(ItemKind::Folder, "f", "h", ""),
                       change(ItemKind::Note, "f/n", "h/n", ".esr"),
                       change(ItemKind::Folder, "f/g", "h/g", ""),
                       change(ItemKind::Note, "f/g/m", "h/g/m", ".esr"),
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
  const std::string a = kArchivePath;
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[0], (NoteChange{NoteChangeKind::kMoved, ItemKind::Folder, store + "/f", a + "/f",
                                  store + "/g/f1", a + "/g/f1"}));
  EXPECT_EQ(heard[1], (NoteChange{NoteChangeKind::kMoved, ItemKind::Note, store + "/f/n.esr",
                                  a + "/f/n", store + "/g/f1/n.esr", a + "/g/f1/n"}));
  EXPECT_TRUE(fs::exists(store + "/g/f1/n.esr"));
  // Within its own folder nothing is renamed: nothing to tell.
  heard.clear();
  ASSERT_TRUE(transfer.Drop(Item({"g", "f1"}), Item({"g", "m"})).done);
  EXPECT_TRUE(heard.empty());
}

TEST_F(NotebookTest, ADeleteAnnouncesTheNotesWhileTheyAreThereThenNamesWhatIsGone) {
  Open("<f type=\"dir\"><n type=\"esr\"/></f><a type=\"esr\"/>");
  Put("f/n.esr");
  Put("a.esr");
  std::vector<bool> presentWhenAnnounced;
  notebook.AddListener([&](const std::vector<NoteChange>& changes) {
    for (const NoteChange& c : changes)
      if (c.kind == NoteChangeKind::kDeleting)
        presentWhenAnnounced.push_back(fs::exists(c.oldDocumentPath));
    // Told with no lock held: another thread can take the document's lock.
    EXPECT_TRUE(std::async(std::launch::async, [&] {
                  return notebook.Document().Mutex().try_lock() &&
                         (notebook.Document().Mutex().unlock(), true);
                }).get());
  });
  ASSERT_TRUE(notebook.Commands().Delete(Item({"f"})).done);
  EXPECT_EQ(presentWhenAnnounced, (std::vector<bool>{true, true}));
  ASSERT_EQ(heard.size(), 4u);
  EXPECT_EQ(heard[0].kind, NoteChangeKind::kDeleting);
  EXPECT_EQ(heard[1].oldDocumentPath, store + "/f/n.esr");
  EXPECT_EQ(heard[2].kind, NoteChangeKind::kDeleted);
  EXPECT_EQ(heard[3].oldElementPath, std::string(kArchivePath) + "/f/n");
  EXPECT_TRUE(heard[3].newDocumentPath.empty());
  // The file box: everything below it, never the file box itself.
  heard.clear();
  ASSERT_TRUE(notebook.Commands().Delete(Item({})).done);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_EQ(heard[1].oldDocumentPath, store + "/a.esr");
}

TEST_F(NotebookTest, APartialFolderDeleteLeavesDiskAndDatabaseInAgreement) {
  Open("<f type=\"dir\"><a type=\"esr\"/><g type=\"dir\"><stuck type=\"esr\"/>"
       "<c type=\"esr\"/></g><e type=\"dir\"><d type=\"esr\"/></e></f><k type=\"esr\"/>");
  for (const char* f : {"f/a.esr", "f/g/stuck.esr", "f/g/c.esr", "f/e/d.esr", "k.esr"}) Put(f);
  const Immutable stuck(store + "/f/g/stuck.esr");
  if (!stuck.Held()) GTEST_SKIP() << "this file system cannot keep a file from being deleted";

  std::vector<ItemPath> treeRemoved;
  const NoteOutcome out = notebook.Commands().Delete(
      Item({"f"}), [&](const NoteOutcome& o) { treeRemoved = o.removed; });
  ASSERT_TRUE(out.done);
  EXPECT_TRUE(out.saved);
  // Exactly what is gone from disk is gone from the database and the tree.
  EXPECT_EQ(Archive(), "<archive><f type=\"dir\"><g type=\"dir\"><stuck type=\"esr\"/></g></f>"
                       "<k type=\"esr\"/></archive>");
  EXPECT_TRUE(fs::exists(store + "/f/g/stuck.esr"));
  EXPECT_FALSE(fs::exists(store + "/f/g/c.esr"));
  EXPECT_FALSE(fs::exists(store + "/f/e"));
  EXPECT_EQ(treeRemoved, (std::vector<ItemPath>{Item({"f", "a"}), Item({"f", "g", "c"}),
                                                Item({"f", "e"})}));
  // The message says what could not be deleted.
  EXPECT_EQ(out.message, std::string(kMsgDeleteFailed) + "\n" + store + "/f/g/stuck.esr");
  std::vector<std::string> gone;
  for (const NoteChange& c : heard)
    if (c.kind == NoteChangeKind::kDeleted) gone.push_back(c.oldElementPath);
  const std::string f = std::string(kArchivePath) + "/f";
  EXPECT_EQ(gone, (std::vector<std::string>{f + "/a", f + "/g/c", f + "/e", f + "/e/d"}));
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

TEST(ReminderSaveFailure, FailingBackgroundSavesAreShownOnceAfterTheLocksAndNeverDeadlock) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 12, 13, 0, 0);
  FakePrompts prompts;
  TempDir dir;
  const std::string folder = dir / "data";
  CountingSink sink;  // outlives the notebook, whose check thread hands it reminders
  Notebook nb;
  nb.Open(folder + "/Zorbek.xml");
  ReminderStore& store = nb.Reminders();
  ASSERT_EQ(store.Add("once", At(2026, 12, 12, 12, 50), At(2026, 12, 12, 12, 50), 0, "o"),
            StoreResult::kDone);

  // Every message must find both locks free and come from the check thread.
  std::atomic<int> heldWhenShown{0};
  std::atomic<int> fromMainThread{0};
  const auto mainThread = std::this_thread::get_id();
  prompts.OnMessage([&](std::string_view) {
    if (std::this_thread::get_id() == mainThread) ++fromMainThread;
    // The main thread takes the document's lock now and then; a lock this thread held would
    // stay taken all along.
    bool documentFree = false;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!documentFree && std::chrono::steady_clock::now() < until) {
      documentFree = std::async(std::launch::async, [&] {
                       std::unique_lock lock(nb.Document().Mutex(), std::try_to_lock);
                       return lock.owns_lock();
                     }).get();
      if (!documentFree) std::this_thread::sleep_for(1ms);
    }
    if (!documentFree) ++heldWhenShown;
    // The store's lock: another thread gets through the store at once.
    auto storeFree = std::async(std::launch::async, [&] { return store.Size(); });
    if (storeFree.wait_for(10s) != std::future_status::ready) ++heldWhenShown;
  });

  store.SetCheckTiming({0ms, 1ms});
  nb.StartReminderCheck(&sink);

  // The main thread keeps re-arming the reminder, each pass fires it and fails to save.
  const auto runUntil = [&](int fired) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (sink.fired < fired && std::chrono::steady_clock::now() < deadline) {
      const StoreResult r =
          store.Modify("once", At(2026, 12, 12, 12, 50), At(2026, 12, 12, 12, 50), 0, "o");
      EXPECT_NE(r, StoreResult::kFailed);
      std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(sink.fired.load(), fired);
  };
  runUntil(3);  // saves still work
  EXPECT_TRUE(prompts.Messages().empty());

  BreakDirectory(folder);
  EXPECT_EQ(store.Modify("once", At(2026, 12, 12, 12, 50), At(2026, 12, 12, 12, 50), 0, "o"),
            StoreResult::kUnsaved);
  runUntil(sink.fired + 10);
  store.StopChecking();
  EXPECT_EQ(prompts.MessageTexts(), std::vector<std::string>{SaveFailedMessage(
                                        folder + "/Zorbek.xml", SystemReason(ENOTDIR))});

  // Once a save has worked again, a new failure is shown again (once).
  MendDirectory(folder);
  EXPECT_EQ(store.Add("later", At(2026, 12, 13), At(2026, 12, 13), 0, "l"), StoreResult::kDone);
  BreakDirectory(folder);
  nb.StartReminderCheck(&sink);
  runUntil(sink.fired + 10);
  nb.Reminders().StopChecking();
  EXPECT_EQ(prompts.Messages().size(), 2u);
  EXPECT_EQ(heldWhenShown.load(), 0);
  EXPECT_EQ(fromMainThread.load(), 0);
  MendDirectory(folder);
}

TEST(ReminderCheckThreadStop, CalledOnTheCheckThreadItselfEndsTheThreadNotTheProgram) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;
  clock.Set(2026, 12, 12, 13, 0, 0);
  TempDir dir;
  Notebook nb;
  nb.Open(dir / "Zorbek.xml");
  struct StoppingSink : ReminderSink {
    ReminderStore* store = nullptr;
    std::atomic<int> calls{0};
    void EnqueueReminder(const DueReminder&) override {
      ++calls;
      store->StopChecking();  // on the check thread, from within its pass
    }
  } sink;
  sink.store = &nb.Reminders();
  const int before = ReminderCheckThread::Running();
  nb.Reminders().Add("now", At(2026, 12, 12, 12, 59), At(2026, 12, 12, 12, 59), 0, "n");
  nb.Reminders().SetCheckTiming({0ms, 1ms});
  nb.StartReminderCheck(&sink);
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (ReminderCheckThread::Running() > before && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(1ms);
  EXPECT_EQ(ReminderCheckThread::Running(), before);
  EXPECT_EQ(sink.calls.load(), 1);
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
