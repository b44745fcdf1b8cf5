// The check thread and the main thread share the store's list; the document is the main
// thread's alone. Under ThreadSanitizer (scripts/build.sh tsan) this shows that the store's lock
// keeps them apart: the main thread edits the note tree and the reminders and saves while the
// thread decides passes, which the main thread writes and saves when they reach it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "core/reminders/reminder_store.h"
#include "reminder_test_util.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using namespace std::chrono_literals;
using testing::At;

class CountingSink : public ReminderSink {
 public:
  void EnqueueReminder(const DueReminder&) override { ++count; }
  std::atomic<int> count{0};
};

TEST(ReminderStress, PassesRunWhileTheMainThreadEditsTheTreeAndSaves) {
  testing::ScopedTimeZone tz("Asia/Shanghai");
  testing::ScopedFakeClock clock;  // set once, before the thread starts, and never moved
  clock.Set(2026, 12, 12, 13, 0, 0);

  testing::TempDir dir;
  const std::string path = dir / "Zorbek.xml";
  testing::WriteFile(path, testing::kEmptyDatabase);
  CXmlDocument doc;
  ASSERT_EQ(doc.Load(path), LoadStatus::Loaded);

  testing::OwnerQueue owner;
  CountingSink sink;
  ReminderStore store;
  store.SetOwnerPost(owner.Post());
  store.SetCheckTiming({0ms, 1ms});
  store.Init(doc, kSchedulePath, &sink, false);
  // Ranges outside their dates: disarmed and written by the first pass only.
  for (int i = 0; i < 20; ++i)
    store.Add("range" + std::to_string(i), At(2026, 12, 1, 8), At(2026, 12, 3, 8), 5, "r");
  store.Add("once", At(2026, 12, 12, 12, 0), At(2026, 12, 12, 12, 0), 0, "o");
  store.Init(doc, kSchedulePath, &sink);  // now with its thread

  const auto deadline = std::chrono::steady_clock::now() + 120s;
  int round = 0;
  for (; round < 300 || (sink.count < 20 && std::chrono::steady_clock::now() < deadline);
       ++round) {
    // What the thread decided since the last round: written and saved here.
    owner.RunPending();
    {
      // The note tree's own changes.
      XmlNode archive = doc.Select(kArchivePath, true);
      XmlNode note = doc.CreateElement("note" + std::to_string(round));
      SetAttribute(note, "type", "esr");
      SetAttributeU64(note, "lasttime", static_cast<std::uint64_t>(round));
      AppendChild(archive, note);
      if (ChildCount(archive) > 5) Remove(ChildAt(archive, 0));
      SetAttribute(ChildAt(archive, 0), "state", round % 2 ? "expanded" : "collapsed");
      doc.Save();
    }
    // The reminder list and the pop-up at the same time.
    const std::string id = "extra" + std::to_string(round % 7);
    if (store.Get(id)) store.Delete(id);
    else store.Add(id, At(2026, 12, 12, 8), At(2026, 12, 12, 8), 1, "e");
    store.Modify("once", At(2026, 12, 12, 12, 0), At(2026, 12, 12, 12, 0), 0, "o");  // re-arms
    store.SetDelay("range3", round % 3);
    std::size_t seen = 0;
    store.ForEach([&](const ReminderRecord&) { ++seen; });
    EXPECT_GE(seen, 21u);
    if (round % 10 == 0) store.CheckPass();
  }
  store.StopChecking();
  owner.RunPending();
  EXPECT_GE(sink.count.load(), 1);

  // The file is whole and holds what the store holds.
  CXmlDocument reread;
  ASSERT_EQ(reread.Load(path), LoadStatus::Loaded);
  EXPECT_EQ(ReadReminders(reread.Select(kSchedulePath)).size(), store.Size());
  EXPECT_EQ(ChildCount(reread.Select(kArchivePath)), 5);
}

}  // namespace
}  // namespace zorbek
