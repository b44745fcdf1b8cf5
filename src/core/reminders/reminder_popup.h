// What the reminder pop-up shows, without its window: the queue of reminders that fired, the
// hand-over from a check pass, and what "下一条", "确定" and the postponements do to the queue
// and the store.
//
// Threads. EnqueueReminder is called by the pass as the main thread writes it (the store hands
// fired reminders over once they are saved); it only appends the reminder to an incoming list
// and, when no wake-up is pending, asks the owning thread to take it in from its event loop
// (the wake function must not block; a queued call to the window does it), so the window
// changes outside the pass. The incoming list keeps its lock so that a sink may still be fed
// from any thread. Every other member runs on the owning (user-interface) thread. The store is
// never called while the queue lock is held.
//
// The commands act only on the reminders the owning thread has taken in (Deliver): a reminder
// that arrives while the user presses "确定" is shown afterwards instead of being dismissed
// unseen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/reminders/reminder_store.h"

namespace zorbek {

// The postponements of the menu "延迟", in its order.
struct PopupDelay {
  int command;
  const char* text;
  std::int32_t minutes;
};
inline constexpr PopupDelay kPopupDelays[] = {
    {32866, "延迟10分钟", 10}, {32867, "延迟15分钟", 15}, {32868, "延迟30分钟", 30},
    {32869, "延迟1小时", 60},  {32870, "延迟2小时", 120},
};

class ReminderPopupQueue : public ReminderSink {
 public:
  // store receives the SetDelay calls; it may be set later (SetStore) and may be null.
  explicit ReminderPopupQueue(ReminderStore* store = nullptr) : store_(store) {}

  void SetStore(ReminderStore* store) { store_ = store; }
  // Called when reminders are waiting to be taken in.
  void SetWake(std::function<void()> wake);

  // ---- the pass ----
  void EnqueueReminder(const DueReminder& reminder) override;

  // ---- owning thread ----
  // Takes in every reminder that arrived and returns them. When the pop-up was hidden, the
  // first entry becomes the shown one (its text is built now) and the pop-up is visible.
  std::vector<DueReminder> Deliver();
  // "下一条": disarms the shown reminder (SetDelay 0) and shows the next.
  void Next();
  // "确定" or the close box: disarms every queued reminder in order and hides the pop-up.
  void DismissAll();
  // A postponement from the menu: SetDelay(shown, minutes), then the next entry.
  void Postpone(std::int32_t minutes);

  bool Visible() const { return visible_; }
  // "下一条" is enabled with more than one entry.
  bool NextEnabled() const { return queue_.size() > 1; }
  // "延迟" is disabled while the shown reminder is hourly or half-hourly (they cannot be
  // postponed: their rule reads no delay).
  bool PostponeEnabled() const;
  // The text of control 1012 (built when its entry became the shown one).
  const std::string& Text() const { return text_; }
  // The shown reminder, when visible.
  const DueReminder* Shown() const { return queue_.empty() ? nullptr : &queue_.front(); }
  std::size_t QueuedCount() const { return queue_.size(); }
  // Reminders handed over and not yet taken in (any thread).
  std::size_t IncomingCount() const;

 private:
  // Removes the shown entry and shows the next one, or hides.
  void Advance();
  void ShowFront();

  ReminderStore* store_;
  mutable std::mutex mutex_;             // guards incoming_, wakePending_ and wake_
  std::vector<DueReminder> incoming_;
  bool wakePending_ = false;
  std::function<void()> wake_;

  std::deque<DueReminder> queue_;        // owning thread only
  bool visible_ = false;
  std::string text_;
};

}  // namespace zorbek
