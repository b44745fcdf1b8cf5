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
  if (!watcher_) {
    watcher_ = new DatabaseWatcher(notebook_.DatabasePath(), this);
    connect(watcher_, &DatabaseWatcher::changed, this, &NotebookSession::CheckDatabaseOnDisk);
    // The note store is not watched: its conflict copies are looked for now and then.
    auto* scan = new QTimer(this);
    scan->setInterval(kConflictScanMilliseconds);
    connect(scan, &QTimer::timeout, this, &NotebookSession::CheckDatabaseOnDisk);
    scan->start();
  }
  // Conflict copies a sync tool left while the program was not running: looked for once the
  // window is up, since the look walks the whole note store.
  QTimer::singleShot(kFirstConflictScanMilliseconds, this, &NotebookSession::CheckDatabaseOnDisk);
}

void NotebookSession::CheckDatabaseOnDisk() {
  // A command waiting for the user's answer holds items and the document's elements; the
  // windows are refilled only after it has ended.
  const bool busy = QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
                    (busy_ && busy_());
  if (busy) {
    if (!checkPending_) {
      checkPending_ = true;
      QTimer::singleShot(500, this, [this] {
        checkPending_ = false;
        CheckDatabaseOnDisk();
      });
    }
    return;
  }
  TakeConflictCopies(notebook_);
  notebook_.ReloadIfChanged();
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
