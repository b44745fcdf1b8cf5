// Helpers shared by the reminder tests: a time zone and a clock for the length of a test, and
// a store over a small database.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/db/xml_document.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_time.h"

namespace zorbek::testing {

// Sets TZ for the life of the object and restores the previous value.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
      had_ = true;
      old_ = old;
    }
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (had_) ::setenv("TZ", old_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

// A fake clock installed as the program's clock for the life of the object.
class ScopedFakeClock {
 public:
  ScopedFakeClock() { SetClock(&clock_); }
  ~ScopedFakeClock() { SetClock(nullptr); }
  void Set(int y, int mo, int d, int h, int mi, int s) { clock_.SetLocal(y, mo, d, h, mi, s); }
  void Advance(std::int64_t seconds) { clock_.Advance(seconds * 1000); }
  FakeClock& clock() { return clock_; }

 private:
  FakeClock clock_;
};

// A local date-time with its day of week.
inline SystemTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SystemTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint16_t>(mo);
  t.day = static_cast<std::uint16_t>(d);
  t.hour = static_cast<std::uint16_t>(h);
  t.minute = static_cast<std::uint16_t>(mi);
  t.second = static_cast<std::uint16_t>(s);
  t.milliseconds = static_cast<std::uint16_t>(ms);
  return WithDayOfWeek(t);
}

// Collects what the check hands to the pop-up.
class RecordingSink : public ReminderSink {
 public:
  void EnqueueReminder(const DueReminder& r) override {
    std::lock_guard lock(mutex_);
    ids_.push_back(r.id);
  }
  std::vector<std::string> Ids() const {
    std::lock_guard lock(mutex_);
    return ids_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> ids_;
};

// Plays the main thread's event loop: the check thread posts its decisions here, and the test
// runs them on its own thread. Declare it before the store or notebook whose thread posts to it.
class OwnerQueue {
 public:
  OwnerPost Post() {
    return [this](std::function<void()> task) {
      {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
      }
      posted_.notify_all();
    };
  }
  // Runs what has been posted so far, on the calling thread. Returns how many tasks ran.
  int RunPending() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard lock(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& t : tasks) t();
    return static_cast<int>(tasks.size());
  }
  // Runs posted tasks as they come until done() holds (true) or timeout passes (false).
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      RunPending();
      if (done()) return true;
      std::unique_lock lock(mutex_);
      if (!posted_.wait_until(lock, deadline, [&] { return !tasks_.empty(); })) return done();
    }
  }
  std::size_t Waiting() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

inline constexpr const char* kEmptyDatabase =
    "<list><hotkey/><filetree><archive/><schedule/></filetree></list>";

// "fire <id>" / "drop <id>" for each event of a pass.
inline std::vector<std::string> EventTexts(const CheckPassResult& result) {
  std::vector<std::string> out;
  for (const auto& e : result.events)
    out.push_back(std::string(e.action == DueAction::kFire ? "fire " : "drop ") + e.reminder.id);
  return out;
}

}  // namespace zorbek::testing
