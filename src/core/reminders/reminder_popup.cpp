#include "core/reminders/reminder_popup.h"

#include "core/app/clock.h"
#include "core/reminders/reminder_text.h"

namespace zorbek {

void ReminderPopupQueue::SetWake(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

void ReminderPopupQueue::EnqueueReminder(const DueReminder& reminder) {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    incoming_.push_back(reminder);
    if (!wakePending_ && wake_) {
      wakePending_ = true;
      wake = wake_;
    }
  }
  // Outside the lock: the wake-up only posts a call to the owning thread.
  if (wake) wake();
}

std::size_t ReminderPopupQueue::IncomingCount() const {
  std::lock_guard lock(mutex_);
  return incoming_.size();
}

std::vector<DueReminder> ReminderPopupQueue::Deliver() {
  std::vector<DueReminder> arrived;
  {
    std::lock_guard lock(mutex_);
    arrived.swap(incoming_);
    wakePending_ = false;
  }
  for (const auto& r : arrived) queue_.push_back(r);
  if (!visible_ && !queue_.empty()) ShowFront();
  return arrived;
}

bool ReminderPopupQueue::PostponeEnabled() const {
  if (queue_.empty()) return false;
  const std::int32_t mode = queue_.front().mode;
  return mode != reminder_mode::kHalfHourly && mode != reminder_mode::kHourly;
}

void ReminderPopupQueue::ShowFront() {
  const DueReminder& r = queue_.front();
  const PassMoment now = PassMoment::Now();
  std::optional<std::int64_t> late;
  if (r.occurrence) late = FloorDiv(now.seconds - *r.occurrence, 60);
  text_ = ReminderPopupText(r.mode, r.start, r.stop, r.content, now.now, late);
  visible_ = true;
}

void ReminderPopupQueue::Advance() {
  if (!queue_.empty()) queue_.pop_front();
  if (queue_.empty()) {
    visible_ = false;
    text_.clear();
  } else {
    ShowFront();
  }
}

void ReminderPopupQueue::Next() {
  if (queue_.empty()) return;
  if (store_) store_->SetDelay(queue_.front().id, 0);
  Advance();
}

void ReminderPopupQueue::Postpone(std::int32_t minutes) {
  if (queue_.empty()) return;
  if (store_) store_->SetDelay(queue_.front().id, minutes);
  Advance();
}

bool ReminderPopupQueue::RemoveEntry(const std::string& id) {
  for (auto it = queue_.begin(); it != queue_.end(); ++it) {
    if (it->id != id) continue;
    if (it == queue_.begin()) Advance();
    else queue_.erase(it);
    return true;
  }
  return false;
}

bool ReminderPopupQueue::DismissEntry(const std::string& id) {
  if (!RemoveEntry(id)) return false;
  if (store_) store_->SetDelay(id, 0);
  return true;
}

bool ReminderPopupQueue::PostponeEntry(const std::string& id, std::int32_t minutes) {
  if (!RemoveEntry(id)) return false;
  if (store_) store_->SetDelay(id, minutes);
  return true;
}

void ReminderPopupQueue::DismissAll() {
  std::deque<DueReminder> all;
  all.swap(queue_);
  visible_ = false;
  text_.clear();
  if (store_)
    for (const auto& r : all) store_->SetDelay(r.id, 0);
}

}  // namespace zorbek
