// The life of the open notebook in the program: opening it, the reminder check with the pop-up
// that shows what it fires, the reminder list window, the watch on the database file and the
// reload when another program changed it, and the open editors following its changes. The
// navigator owns one, beside the notebook; the windows only listen to the notebook.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/db/conflict_merge.h"
#include "core/db/database.h"
#include "core/notes/notebook.h"

class QTimer;

namespace zorbek {

class CWndTipSchedule;
class DatabaseWatcher;

class NotebookSession : public QObject {
  Q_OBJECT
 public:
  // notebook must outlive the session. The open editors listen to it from now on.
  explicit NotebookSession(Notebook& notebook, QObject* parent = nullptr);
  // Stops the reminder check, closes the reminder list window and the pop-up.
  ~NotebookSession() override;

  // Opens the database at path in the notebook (every listener fills itself), tells the user
  // what the opening found, starts the reminder check with its pop-up and watches the file.
  // What a writer that died left in the note store is swept on a thread of its own, and the
  // first look for conflict copies (a walk of the store, on another) comes once the window is up.
  void Open(const std::string& path);

  // The file changed on disk, maybe by another program: the notebook reads the file again when
  // it is not the version it holds. A conflict copy of the database beside it (one directory
  // read) means the sync tool brought the other machine's changes: the note store is looked
  // through as well, and everything is taken in together (ui/db/conflict_copies.h) when that
  // look reports. While the user is in the middle of something (a message box or dialog, a
  // menu, or whatever busy says: a label edit, a drag) the check, and the taking in, wait until
  // that is over. Also every kConflictScanMilliseconds.
  void CheckDatabaseOnDisk();
  // Asks for a look through the note store for conflict copies, on the scan's own thread; what
  // it finds is taken in here, with the database's copies. Also a second after the opening and
  // every kConflictScanMilliseconds.
  void LookForConflictCopies();
  void SetBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }

  // Opens the reminder list window over the notebook's reminders (or brings it forward).
  void OpenReminderList();

  // When the reminder check runs: by default the first pass 10 s after the opening, then every
  // 5 s. Takes effect at the next Open.
  void SetCheckTiming(ReminderCheckTiming timing) { checkTiming_ = timing; }

  Notebook& notebook() const { return notebook_; }

 private:
  void StartReminders();
  void StopReminders();
  bool UserIsBusy() const;
  // What a look through the store found, taken in once the user is not busy.
  void TakeFoundCopies(std::vector<std::string> copies);
  void TakeFoundWhenIdle();
  // Runs step once after milliseconds, unless a run is already pending (pending says so).
  void Later(bool& pending, std::int64_t milliseconds, void (NotebookSession::*step)());
  // How soon what waits for the user is tried again.
  static constexpr std::int64_t kBusyRetryMilliseconds = 500;

  Notebook& notebook_;
  std::unique_ptr<CWndTipSchedule> popup_;
  DatabaseWatcher* watcher_ = nullptr;  // a child, made by Open
  QTimer* scanTimer_ = nullptr;         // a child, made by the first Open
  std::function<bool()> busy_;
  ReminderCheckTiming checkTiming_;
  bool checkPending_ = false;  // a check of the file waits for the user
  std::unique_ptr<ConflictCopyScan> scan_;  // made by Open for its database
  std::optional<std::vector<std::string>> foundCopies_;  // found, not yet taken in
  bool takePending_ = false;  // taking them in waits for the user
  bool retryPending_ = false;  // database copies wait for the sync tool
  int editorsListener_ = 0;
  std::unique_ptr<LeftoverSweep> sweep_;  // after a writer died; stopped before the notebook goes
};

}  // namespace zorbek
