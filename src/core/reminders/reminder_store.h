// The reminders of the open database: an ordered list in memory, kept together with the
// schedule element of the database document, and the worker thread that checks them.
//
// Threads. The document belongs to one thread, its owner (the main thread in the program): every
// operation that reads or writes the document, and every save, runs there. The check thread
// never touches the document: it applies the due rules to the store's list in memory (the
// store's lock guards the list, which both threads use), and hands what it decided to the owner
// through the post function; there the reminders are written, the file saved and the fired ones
// handed to the sink (ApplyPass). The callback of ForEach must not call the store. Nothing is
// shown under the store's lock: a failed save is a result (kUnsaved, CheckPassResult::saved),
// and the caller tells the user.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/db/xml_document.h"
#include "core/reminders/due_rules.h"
#include "core/reminders/reminder_record.h"

namespace zorbek {

// A reminder as it is handed to the pop-up when it fires.
struct DueReminder {
  std::string id;
  SystemTime start;
  SystemTime stop;
  std::int32_t mode = 0;
  std::string content;
};

// Where fired reminders go (the pop-up). Called on the document's owner thread with the store's
// lock released, once the pass's changes are saved.
class ReminderSink {
 public:
  virtual ~ReminderSink() = default;
  virtual void EnqueueReminder(const DueReminder& reminder) = 0;
};

// How a store operation went.
enum class StoreResult {
  kDone,
  kFailed,   // nothing was done: no such reminder or element (for Add: an id that is taken or
             // that cannot name an element)
  kUnsaved,  // done in memory and in the document, but the file could not be written; the
             // caller tells the user (SaveFailedMessage) once it holds no lock
};

struct CheckEvent {
  DueAction action = DueAction::kFire;  // kFire or kDrop
  DueReminder reminder;
};

struct CheckPassResult {
  bool goOn = true;                // false once the store is being destroyed
  std::vector<CheckEvent> events;  // fired and dropped reminders, in list order
  bool saved = true;               // false when the pass changed the file and could not save it
  // The pass's save failed and this failure is news: the first since the store was initialised
  // or since some save of the document succeeded. The failure handler was called for it.
  bool failureReported = false;
};

// What a check thread's pass decided, on the list in memory: the reminders it marked handled at
// moment, and the fired and dropped ones among them. The owner thread writes and saves it.
struct PassDecision {
  SystemTime moment;
  std::vector<std::string> handled;  // ids, in list order
  std::vector<CheckEvent> events;
};

// Hands a task to the thread that owns the document, to run there later (the program queues it
// to the main thread's event loop). Called on the check thread; it must not block.
using OwnerPost = std::function<void(std::function<void()> task)>;

struct ReminderCheckTiming {
  std::chrono::milliseconds firstPass{10'000};
  std::chrono::milliseconds interval{5'000};
};

class ReminderStore;

// The worker thread: waits firstPass, then runs a check pass every interval until it is stopped
// or a pass says the store is going away. Stopping wakes it at once.
class ReminderCheckThread {
 public:
  ReminderCheckThread(ReminderStore& store, ReminderCheckTiming timing);
  ~ReminderCheckThread();
  ReminderCheckThread(const ReminderCheckThread&) = delete;
  ReminderCheckThread& operator=(const ReminderCheckThread&) = delete;

  // Wakes the thread and waits until it has ended (a pass under way is finished first). Called
  // on the check thread itself (from a pass), it only tells the thread to end after that pass.
  void Stop();

  // How many check threads of the process have been started and not yet stopped.
  static int Running();

 private:
  // What the thread and its owner share; the thread keeps it alive, so that the owner may go
  // while the thread finishes.
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
  };
  static void Run(ReminderStore& store, ReminderCheckTiming timing, std::shared_ptr<Shared> s);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

class ReminderStore {
  friend class ReminderCheckThread;

 public:
  ReminderStore() = default;
  // Stops the check thread (waiting for a pass under way) before anything is freed.
  ~ReminderStore();
  ReminderStore(const ReminderStore&) = delete;
  ReminderStore& operator=(const ReminderStore&) = delete;

  // Called after a database was opened: stops a check thread of an earlier open, forgets the
  // list, finds (or, with createRoot, creates) the element at rootPath, loads every reminder
  // from it and, unless told otherwise, starts one check thread. Without createRoot a missing
  // element is made by the first Add. The document and the sink must outlive the store (or the
  // next Init). sink may be null, and so may the owner post (SetOwnerPost); then no check
  // thread starts, since nothing would show what it fires.
  void Init(CXmlDocument& document, std::string rootPath, ReminderSink* sink,
            bool startCheckThread = true, bool createRoot = true);
  // Reads the list again from the document (read again from disk), keeping the check thread;
  // a decision the thread posted before is dropped for every reminder the new list changed.
  // The change handler is not called: whoever read the document tells of the whole.
  void Reload();
  // Timing of the check thread started by the next Init or StartChecking.
  void SetCheckTiming(ReminderCheckTiming timing);
  // How the check thread hands its decisions to the document's owner. Set before the thread
  // starts.
  void SetOwnerPost(OwnerPost post);
  // Starts the check thread of an initialised store, handing fired reminders to sink from now
  // on. Nothing happens when one runs already, or without an owner post.
  void StartChecking(ReminderSink* sink);
  // Called on the owner thread, with the store's lock released, when a pass's save failed and
  // that is news (see CheckPassResult::failureReported).
  void SetSaveFailureHandler(std::function<void()> handler);
  // Called on the owner thread, with the store's lock released, after reminders were added,
  // changed, deleted or marked handled (the notebook tells its listeners).
  void SetChangeHandler(std::function<void()> handler);
  // Stops the check thread, if one runs. The store stays usable.
  void StopChecking();
  bool CheckThreadRunning() const;

  // Appends a new armed reminder (lastUpdate = start) and its element, last in the list and
  // the last child of the schedule element, and saves the file.
  StoreResult Add(const std::string& id, const SystemTime& start, const SystemTime& stop,
                  std::int32_t mode, const std::string& content);
  // Changes mode, times and text and arms the reminder again; lastUpdate stays, postponement is
  // forgotten. Fails without changes when the reminder or its element is missing.
  StoreResult Modify(const std::string& id, const SystemTime& start, const SystemTime& stop,
                     std::int32_t mode, const std::string& content);
  std::optional<ReminderRecord> Get(const std::string& id) const;
  // Removes the element and the reminder and saves. Without an element nothing is done. An
  // element without a reminder in the list is removed (and saved) but the result is kFailed.
  StoreResult Delete(const std::string& id);
  // Records that the reminder fired or was handled at moment: its valid and lastUpdate, in
  // memory and (when its element exists) in the file.
  StoreResult MarkHandled(const std::string& id, const SystemTime& moment, std::int32_t valid);
  // Calls fn once per reminder in list order, under the store lock.
  void ForEach(const std::function<void(const ReminderRecord&)>& fn) const;
  // Postpones a reminder by minutes from now (re-arming it), or with 0 disarms it and clears its
  // postponement. Memory only. False when there is no such reminder.
  bool SetDelay(const std::string& id, std::int32_t minutes);

  // One check on the owner thread: DecidePass, then ApplyPass. A date range reminder outside its
  // range is disarmed and written once; a pass that finds it disarmed already leaves it (and
  // the file) alone.
  CheckPassResult CheckPass();
  // The check thread's half: applies every reminder's due rule at the clock's present local
  // time to the list in memory, and names what it marked handled. Touches no document.
  PassDecision DecidePass();
  // The owner thread's half: writes the state of every reminder the decision marked handled
  // (unless the list has changed it since), saves once when anything was written, then, with
  // the lock released, hands the fired ones to the sink.
  CheckPassResult ApplyPass(const PassDecision& decision);

  std::size_t Size() const;
  std::string RootPath() const;

 private:
  StoreResult AddLocked(const std::string& id, const SystemTime& start, const SystemTime& stop,
                        std::int32_t mode, const std::string& content);
  StoreResult ModifyLocked(const std::string& id, const SystemTime& start,
                           const SystemTime& stop, std::int32_t mode, const std::string& content);
  StoreResult DeleteLocked(const std::string& id, bool& removed);
  StoreResult MarkHandledLocked(const std::string& id, const SystemTime& moment,
                                std::int32_t valid);
  ReminderRecord* Find(std::string_view id);
  const ReminderRecord* Find(std::string_view id) const;
  // The element of a reminder.
  XmlNode ElementOf(std::string_view id) const;
  // Tells the change handler (store lock released).
  void Changed() const;
  // The check thread's pass: decides, and posts the decision to the owner.
  bool ThreadPass();

  mutable std::mutex mutex_;
  CXmlDocument* document_ = nullptr;
  std::string rootPath_;
  ReminderSink* sink_ = nullptr;
  std::vector<ReminderRecord> records_;
  std::atomic<bool> stopping_{false};
  ReminderCheckTiming timing_;
  std::function<void()> saveFailureHandler_;
  std::function<void()> changeHandler_;
  OwnerPost post_;
  // Gone with the store: a decision posted to the owner is dropped when the store went first.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  bool failureShown_ = false;             // a failed pass save was reported...
  std::uint64_t failureSavesCount_ = 0;   // ...when the document had this many good saves
  std::unique_ptr<ReminderCheckThread> thread_;  // owner thread only
};

}  // namespace zorbek
