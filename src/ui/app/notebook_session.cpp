#include "ui/app/notebook_session.h"

#include <QApplication>
#include <QTimer>

#include "core/app/prompts.h"
#include "ui/db/conflict_copies.h"
#include "ui/db/database_watcher.h"
#include "ui/editor/wnd_esr.h"
#include "ui/reminders/wnd_schedule.h"
#include "ui/reminders/wnd_tip_schedule.h"

namespace zorbek {

NotebookSession::NotebookSession(Notebook& notebook, QObject* parent)
    : QObject(parent), notebook_(notebook) {
  editorsListener_ = editor::FollowNotebook(notebook_);
}

NotebookSession::~NotebookSession() {
  scan_.reset();
  sweep_.reset();
  StopReminders();
  editor::UnfollowNotebook(notebook_, editorsListener_);
}

void NotebookSession::Open(const std::string& path) {
  sweep_.reset();
  const OpenedDatabase opened = notebook_.Open(path);
  if (opened.storeSweepNeeded) sweep_ = std::make_unique<LeftoverSweep>(notebook_.DatabasePath());
  if (!opened.lockMessage.empty())
    prompts().Message(opened.lockMessage, MsgButtons::Ok, MsgIcon::Warning);
  StartReminders();
  // The walk of the store for conflict copies runs on a thread of its own; what it finds comes
  // back here as a queued call, dropped if this session has gone by then.
  scan_ = std::make_unique<ConflictCopyScan>(
      notebook_.DatabasePath(),
      [this](ConflictCopyScan::Task task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
      },
      [this](std::vector<std::string> copies) { TakeFoundCopies(std::move(copies)); });
  // The file opened now is watched, not one opened before.
  delete watcher_;
  watcher_ = new DatabaseWatcher(notebook_.DatabasePath(), this);
  connect(watcher_, &DatabaseWatcher::changed, this, &NotebookSession::CheckDatabaseOnDisk);
  if (!scanTimer_) {
    // The note store is not watched: its conflict copies are looked for now and then, and the
    // file is checked then too, in case the watcher missed an event.
    scanTimer_ = new QTimer(this);
    scanTimer_->setInterval(kConflictScanMilliseconds);
    connect(scanTimer_, &QTimer::timeout, this, [this] {
      CheckDatabaseOnDisk();
      LookForConflictCopies();
    });
    scanTimer_->start();
  }
  // Conflict copies a sync tool left while the program was not running: looked for once the
  // window is up.
  QTimer::singleShot(kFirstConflictScanMilliseconds, this, &NotebookSession::LookForConflictCopies);
}

bool NotebookSession::UserIsBusy() const {
  // A command waiting for the user's answer holds items and the document's elements; the
  // windows are refilled only after it has ended.
  return QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
         (busy_ && busy_());
}

void NotebookSession::Later(bool& pending, std::int64_t milliseconds, void (NotebookSession::*step)()) {
  if (pending) return;
  pending = true;
  QTimer::singleShot(static_cast<int>(milliseconds), this, [this, &pending, step] {
    pending = false;
    (this->*step)();
  });
}

void NotebookSession::CheckDatabaseOnDisk() {
  if (UserIsBusy()) {
    Later(checkPending_, kBusyRetryMilliseconds, &NotebookSession::CheckDatabaseOnDisk);
    return;
  }
  if (notebook_.IsOpen() && !DatabaseConflictCopies(notebook_.DatabasePath()).empty())
    LookForConflictCopies();
  notebook_.ReloadIfChanged();
}

void NotebookSession::LookForConflictCopies() {
  if (scan_) scan_->Request();
}

void NotebookSession::TakeFoundCopies(std::vector<std::string> copies) {
  foundCopies_ = std::move(copies);  // the latest look stands
  TakeFoundWhenIdle();
}

void NotebookSession::TakeFoundWhenIdle() {
  if (!foundCopies_) return;
  if (UserIsBusy()) {
    Later(takePending_, kBusyRetryMilliseconds, &NotebookSession::TakeFoundWhenIdle);
    return;
  }
  const std::vector<std::string> copies = std::move(*foundCopies_);
  foundCopies_.reset();
  // Copies gone since the look, or of a notebook opened before this one, are passed over.
  std::int64_t retry = 0;
  TakeConflictCopies(notebook_, copies, &retry);
  // Database copies waiting for the sync tool: looked at again when it should be done.
  if (retry > 0) Later(retryPending_, retry + 100, &NotebookSession::LookForConflictCopies);
}

void NotebookSession::OpenReminderList() { OpenReminderListWindow(notebook_); }

void NotebookSession::StartReminders() {
  // The pop-up exists before the check starts, so that nothing fires unseen.
  if (!popup_) popup_ = std::make_unique<CWndTipSchedule>();
  popup_->SetStore(&notebook_.Reminders());
  notebook_.Reminders().SetCheckTiming(checkTiming_);
  // What the check thread decides is written, saved and shown here, on the main thread. The
  // thread is stopped before this object goes, so no call is posted to it afterwards.
  notebook_.StartReminderCheck(&popup_->Queue(), [this](std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
  });
}

void NotebookSession::StopReminders() {
  // The check ends first (a pass under way finishes); then nothing reaches the store.
  notebook_.Reminders().StopChecking();
  CloseReminderListWindow();
  if (popup_) popup_->SetStore(nullptr);
  popup_.reset();
}

}  // namespace zorbek
