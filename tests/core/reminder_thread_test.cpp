// The check thread: it starts with Init, hands what it decides to the owner thread, which gives
// due reminders to the sink, and ends with the store. No test here measures time; waits are
// generous and only bound a hang.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>

#include "core/reminders/reminder_store.h"
#include "reminder_test_util.h"

namespace zorbek {
namespace {

using namespace std::chrono_literals;
using testing::At;

// A sink that lets a test wait for the first reminder.
class WaitingSink : public ReminderSink {
 public:
  void EnqueueReminder(const DueReminder& r) override {
    {
      std::lock_guard lock(mutex_);
      ids_.push_back(r.id);
    }
    arrived_.notify_all();
  }
  bool WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, 60s, [&] { return ids_.size() >= count; });
  }
  std::vector<std::string> Ids() {
    std::lock_guard lock(mutex_);
    return ids_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<std::string> ids_;
};

class ReminderThreadTest : public ::testing::Test {
 protected:
  ReminderThreadTest() {
    EXPECT_TRUE(doc_.LoadFromString(
        "<list><filetree><schedule>"
        "<due mode='0' lowtime='-74468352' hightime='31294811' valid='1'>x</due>"
        "</schedule></filetree></list>"));
    clock_.Set(2026, 12, 6, 8, 31, 0);  // one minute after the reminder's moment
  }
  testing::ScopedTimeZone tz_{"Asia/Shanghai"};
  testing::ScopedFakeClock clock_;
  testing::OwnerQueue owner_;
  WaitingSink sink_;
  CXmlDocument doc_;
};

TEST_F(ReminderThreadTest, ADueReminderReachesTheSinkFromTheThread) {
  const int before = ReminderCheckThread::Running();
  {
    ReminderStore store;
    store.SetCheckTiming({0ms, 10ms});
    store.Init(doc_, kSchedulePath, &sink_);
    EXPECT_FALSE(store.CheckThreadRunning());  // nobody would write what it decides
    store.SetOwnerPost(owner_.Post());
    store.Init(doc_, kSchedulePath, &sink_);
    EXPECT_TRUE(store.CheckThreadRunning());
    EXPECT_EQ(ReminderCheckThread::Running(), before + 1);
    ASSERT_TRUE(owner_.RunUntil([&] { return !sink_.Ids().empty(); }));
    EXPECT_EQ(sink_.Ids(), std::vector<std::string>{"due"});
    EXPECT_EQ(Attribute(doc_.Select(std::string(kSchedulePath) + "/due"), "valid"), "0");
  }
  EXPECT_EQ(ReminderCheckThread::Running(), before);
  EXPECT_EQ(sink_.Ids().size(), 1u);  // fired once, however many passes ran
}

TEST_F(ReminderThreadTest, ASecondOpenKeepsOneThreadAndDestructionEndsItWhileItWaits) {
  const int before = ReminderCheckThread::Running();
  {
    ReminderStore store;  // the program's timing: the first pass only after 10 s
    store.SetOwnerPost(owner_.Post());
    store.Init(doc_, kSchedulePath, &sink_);
    store.Init(doc_, kSchedulePath, &sink_);
    EXPECT_EQ(ReminderCheckThread::Running(), before + 1);
    store.StopChecking();
    EXPECT_FALSE(store.CheckThreadRunning());
    EXPECT_EQ(ReminderCheckThread::Running(), before);
    store.Init(doc_, kSchedulePath, &sink_);
    EXPECT_EQ(ReminderCheckThread::Running(), before + 1);
  }  // must not wait for the first pass
  EXPECT_EQ(ReminderCheckThread::Running(), before);
  EXPECT_TRUE(sink_.Ids().empty());
}

}  // namespace
}  // namespace zorbek
