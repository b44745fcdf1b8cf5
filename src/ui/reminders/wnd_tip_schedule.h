// The reminder pop-up ("提示"): shows the reminders the check fires, one at a time, with
// "延迟" (a menu of postponements), "下一条" and "确定". Created hidden when the database
// opens and kept for the run. The queue and what the buttons do live in ReminderPopupQueue
// (core); the check thread hands reminders to it, and a queued call brings them to this
// window on the main thread.
//
// It comes forward without taking the keyboard: shown above the program's windows at its own
// size, not activated, so that a user typing in a note goes on typing into the note; its buttons
// work by click, and by keyboard once the user has moved to it. A modal dialog of the program
// neither blocks it nor is blocked by it. Each reminder that comes due is also sent as a desktop
// notification, withdrawn once the pop-up has dealt with the reminder.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <set>
#include <string>

#include "core/reminders/reminder_popup.h"
#include "ui/reminders/reminder_notifier.h"

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
  // D-Bus, when the session offers it). Tests install their own; null sends none.
  static void SetNotifier(ReminderNotifier* notifier);
  static void ResetNotifier();

  // The pop-up's size, whatever the window manager would make of it.
  static constexpr int kWidth = 280, kHeight = 220;

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
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The window follows the queue: text, button states, shown or hidden.
  void Sync(const std::vector<DueReminder>& arrivals = {});
  // Runs a command of the queue and withdraws the notifications of the reminders it took off.
  void Act(const std::function<void()>& command);
  // A modal dialog of the program that is open becomes the pop-up's transient parent, so that
  // it does not block the pop-up.
  void AboveModalDialog();
  // A button of a reminder's notification, or a click on it.
  void OnNotificationAction(const QString& key, const QString& action, const QString& token);
  std::set<std::string> QueuedIds() const;

  ReminderPopupQueue queue_;
  QLabel* text_;
  QPushButton* delay_;
  QPushButton* next_;
  QPushButton* ok_;
  QMenu* menu_;
  // Where the user was typing when reminders last arrived, and since when the pop-up shows
  // them: a window manager that activates it anyway within a moment of its showing gets the
  // keyboard handed back, and keys that reached the pop-up meanwhile go on to the note.
  QPointer<QWidget> typingIn_;
  QElapsedTimer shownAt_;
  bool handingBack_ = false;
};

}  // namespace zorbek
