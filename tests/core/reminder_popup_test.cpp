// The pop-up's queue without its window: what the check hands over, what the buttons do to the
// queue and the store, and (under ThreadSanitizer) the hand-over from the check thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/reminders/reminder_popup.h"
#include "reminder_test_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using namespace std::chrono_literals;
using testing::At;

class PopupQueueTest : public ::testing::Test {
 protected:
  PopupQueueTest() : tz_("Asia/Shanghai") {
    clock_.Set(2026, 12, 25, 9, 0, 0);
    path_ = dir_ / "Zorbek.xml";
    testing::WriteFile(path_, testing::kEmptyDatabase);
    EXPECT_EQ(doc_.Load(path_), LoadStatus::Loaded);
    store_.Init(doc_, kSchedulePath, &queue_, false);
    queue_.SetStore(&store_);
  }

  testing::ScopedTimeZone tz_;
  testing::ScopedFakeClock clock_;
  testing::TempDir dir_;
  std::string path_;
  CXmlDocument doc_;
  ReminderStore store_;
  ReminderPopupQueue queue_;
};

TEST_F(PopupQueueTest, OnlyWhatWasTakenInIsDismissed) {
  int wakes = 0;
  queue_.SetWake([&] { ++wakes; });
  store_.Add("a", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "A");
  store_.Add("b", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "B");
  store_.CheckPass();
  EXPECT_EQ(wakes, 1);  // one wake-up for the pass, not one per reminder
  EXPECT_FALSE(queue_.Visible());
  EXPECT_EQ(queue_.IncomingCount(), 2u);
  EXPECT_EQ(queue_.Deliver().size(), 2u);
  EXPECT_TRUE(queue_.Visible());
  EXPECT_TRUE(queue_.NextEnabled());

  // A reminder arriving while "确定" is pressed is not dismissed unseen.
  store_.Add("c", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "C");
  clock_.Advance(5);  // the next pass
  store_.CheckPass();
  EXPECT_EQ(wakes, 2);
  queue_.DismissAll();
  EXPECT_FALSE(queue_.Visible());
  EXPECT_EQ(queue_.QueuedCount(), 0u);
  ASSERT_EQ(queue_.Deliver().size(), 1u);
  ASSERT_TRUE(queue_.Visible());
  EXPECT_EQ(queue_.Shown()->id, "c");
  EXPECT_FALSE(queue_.NextEnabled());
}

TEST_F(PopupQueueTest, PostponingTheShownReminderFollowsItsOwnMode) {
  // A daily reminder is shown, an hourly one queued behind it: the shown one can be postponed.
  store_.Add("daily", At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 1, "D");
  store_.Add(kHourlyReminderId, At(2026, 12, 1), At(2026, 12, 1), 60, "H");
  store_.CheckPass();
  queue_.Deliver();
  ASSERT_EQ(queue_.QueuedCount(), 2u);
  EXPECT_EQ(queue_.Shown()->id, "daily");
  EXPECT_TRUE(queue_.PostponeEnabled());
  queue_.Postpone(15);
  EXPECT_EQ(store_.Get("daily")->valid, 1);
  EXPECT_EQ(store_.Get("daily")->delayMinutes, 15);
  ASSERT_TRUE(queue_.Visible());
  EXPECT_EQ(queue_.Shown()->id, kHourlyReminderId);
  EXPECT_FALSE(queue_.PostponeEnabled());
  queue_.Next();
  EXPECT_FALSE(queue_.Visible());
  EXPECT_EQ(store_.Get(kHourlyReminderId)->valid, 0);
  // Commands with nothing shown do nothing.
  queue_.Next();
  queue_.Postpone(10);
  EXPECT_EQ(store_.Get("daily")->delayMinutes, 15);
}

// The check thread hands reminders over while the owning thread takes them in and dismisses,
// skips and postpones them. Every reminder that was marked handled reaches the queue.
TEST(ReminderPopupStress, EveryFiredReminderReachesThePopUp) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;  // set before the thread starts and never moved
  clock.Set(2026, 12, 25, 9, 0, 30);
  testing::TempDir dir;
  const std::string path = dir / "Zorbek.xml";
  testing::WriteFile(path, testing::kEmptyDatabase);
  CXmlDocument doc;
  ASSERT_EQ(doc.Load(path), LoadStatus::Loaded);

  // Counts what the store hands over before the queue sees it.
  class Counting : public ReminderSink {
   public:
    explicit Counting(ReminderPopupQueue& q) : q_(q) {}
    void EnqueueReminder(const DueReminder& r) override {
      ++handed;
      q_.EnqueueReminder(r);
    }
    std::atomic<int> handed{0};

   private:
    ReminderPopupQueue& q_;
  };

  testing::OwnerQueue owner;
  ReminderStore store;
  store.SetOwnerPost(owner.Post());
  ReminderPopupQueue queue(&store);
  std::atomic<int> wakes{0};
  queue.SetWake([&] { ++wakes; });
  Counting sink(queue);
  store.SetCheckTiming({0ms, 1ms});
  store.Init(doc, kSchedulePath, &sink, false);
  for (int i = 0; i < 8; ++i)
    store.Add("once" + std::to_string(i), At(2026, 12, 25, 9, 0), At(2026, 12, 25, 9, 0), 0, "x");
  store.Init(doc, kSchedulePath, &sink);  // with its thread

  std::size_t delivered = 0;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  for (int round = 0; round < 400 || (delivered < 50 && std::chrono::steady_clock::now() < deadline);
       ++round) {
    owner.RunPending();  // the main thread's part of the passes: the hand-over to the pop-up
    delivered += queue.Deliver().size();
    switch (round % 4) {
      case 0: queue.Next(); break;
      case 1: queue.Postpone(10); break;  // re-arms: the next pass may fire it again
      case 2: queue.DismissAll(); break;
      default: break;
    }
    // Modify arms a reminder again, so that passes keep firing.
    store.Modify("once" + std::to_string(round % 8), At(2026, 12, 25, 9, 0),
                 At(2026, 12, 25, 9, 0), 0, "x");
    std::this_thread::yield();
  }
  store.StopChecking();
  owner.RunPending();
  delivered += queue.Deliver().size();
  EXPECT_GE(sink.handed.load(), 50);
  EXPECT_EQ(delivered, static_cast<std::size_t>(sink.handed.load()));
  EXPECT_EQ(queue.IncomingCount(), 0u);
  EXPECT_GE(wakes.load(), 1);
}

}  // namespace
}  // namespace zorbek
