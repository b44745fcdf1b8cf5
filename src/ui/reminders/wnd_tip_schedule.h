// The reminder pop-up ("提示"): shows the reminders the check fires, one at a time, with
// "延迟" (a menu of postponements), "下一条" and "确定". Created hidden when the database
// opens and kept for the run. The queue and what the buttons do live in ReminderPopupQueue
// (core); the check thread hands reminders to it, and a queued call brings them to this
// window on the main thread.
#pragma once

#include <QDialog>
#include <functional>

#include "core/reminders/reminder_popup.h"

class QLabel;
class QMenu;
class QPushButton;

namespace zorbek {

class CWndTipSchedule : public QDialog {
  Q_OBJECT
 public:
  explicit CWndTipSchedule(QWidget* parent = nullptr);
  ~CWndTipSchedule() override;

  // What the check thread hands reminders to. Its store must be set before the check starts.
  ReminderPopupQueue& Queue() { return queue_; }
  void SetStore(ReminderStore* store) { queue_.SetStore(store); }

  // How the desktop is told besides the window (default: org.freedesktop.Notifications over
  // D-Bus, when the session offers it). Tests install their own; an empty function sends none.
  using Notifier = std::function<void(const QString& summary, const QString& body)>;
  static void SetNotifier(Notifier notifier);
  static void ResetNotifier();

  // "下一条", "确定" and the postponements, as the buttons and the menu run them.
  void Next();
  void DismissAll();
  void Postpone(int minutes);

  QPushButton* DelayButton() const { return delay_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* OkButton() const { return ok_; }
  QLabel* TextLabel() const { return text_; }
  QMenu* DelayMenu() const { return menu_; }

 public slots:
  // Takes in what the check handed over (main thread).
  void Deliver();
  void reject() override;  // Escape: as the close box

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The window follows the queue: text, button states, shown or hidden.
  void Sync(const std::vector<DueReminder>& arrivals = {});

  ReminderPopupQueue queue_;
  QLabel* text_;
  QPushButton* delay_;
  QPushButton* next_;
  QPushButton* ok_;
  QMenu* menu_;
};

}  // namespace zorbek
