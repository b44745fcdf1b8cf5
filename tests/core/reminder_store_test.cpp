// The reminder store: its operations, their XML and the file after each of them.
#include <gtest/gtest.h>

#include "core/reminders/reminder_store.h"
#include "reminder_test_util.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::At;

class ReminderStoreTest : public ::testing::Test {
 protected:
  void Open(std::string_view xml = testing::kEmptyDatabase) {
    testing::WriteFile(path_, xml);
    ASSERT_EQ(doc_.Load(path_), LoadStatus::Loaded);
    store_.Init(doc_, kSchedulePath, &sink_, false);
  }
  // The file as it is on disk now, read by a document of its own.
  std::vector<ReminderRecord> OnDisk() {
    CXmlDocument fresh;
    EXPECT_EQ(fresh.Load(path_), LoadStatus::Loaded);
    return ReadReminders(fresh.Select(kSchedulePath));
  }
  XmlNode ElementOnDisk(CXmlDocument& fresh, const std::string& id) {
    EXPECT_EQ(fresh.Load(path_), LoadStatus::Loaded);
    return fresh.Select(std::string(kSchedulePath) + "/" + id);
  }

  testing::TempDir dir_;
  std::string path_ = dir_ / "Zorbek.xml";
  testing::ScopedTimeZone tz_{"Asia/Shanghai"};
  testing::ScopedFakeClock clock_;
  testing::RecordingSink sink_;
  CXmlDocument doc_;
  ReminderStore store_;
};

TEST_F(ReminderStoreTest, AddWritesTheElementInAttributeOrderAndSaves) {
  Open("<list><filetree><schedule><first mode='1'/></schedule></filetree></list>");
  const SystemTime start = At(2026, 12, 6, 8, 30, 0);
  const SystemTime stop = At(2026, 12, 9, 8, 30, 0);
  ASSERT_EQ(store_.Add("s0001", start, stop, 0, "开会"), StoreResult::kDone);

  CXmlDocument fresh;
  XmlNode e = ElementOnDisk(fresh, "s0001");
  ASSERT_TRUE(e);
  std::vector<std::string> names;
  for (auto a : e.attributes()) names.push_back(a.name());
  EXPECT_EQ(names, (std::vector<std::string>{"mode", "lowtime", "hightime", "stoplowtime",
                                             "stophightime", "lulowtime", "luhightime", "valid"}));
  EXPECT_EQ(Attribute(e, "mode"), "0");
  EXPECT_EQ(Attribute(e, "lowtime"), "-74468352");
  EXPECT_EQ(Attribute(e, "hightime"), "31294811");
  EXPECT_EQ(Attribute(e, "lulowtime"), "-74468352");
  EXPECT_EQ(Attribute(e, "luhightime"), "31294811");
  EXPECT_EQ(Attribute(e, "valid"), "1");
  EXPECT_EQ(Text(e), "开会");
  // The last child of the schedule element and the last record of the list.
  EXPECT_EQ(Name(Parent(e).last_child()), "s0001");
  std::vector<std::string> order;
  store_.ForEach([&](const ReminderRecord& r) { order.push_back(r.id); });
  EXPECT_EQ(order, (std::vector<std::string>{"first", "s0001"}));
  const auto got = store_.Get("s0001");
  ASSERT_TRUE(got);
  EXPECT_EQ(got->stop, stop);
  EXPECT_EQ(got->lastUpdate, start);
  EXPECT_EQ(got->valid, 1);

  // An id that is taken or that cannot name an element adds nothing.
  EXPECT_EQ(store_.Add("s0001", start, stop, 1, "again"), StoreResult::kFailed);
  EXPECT_EQ(store_.Add("1 bad", start, stop, 1, "bad"), StoreResult::kFailed);
  EXPECT_EQ(OnDisk().size(), 2u);
  EXPECT_EQ(store_.Size(), 2u);
}

TEST_F(ReminderStoreTest, ModifyKeepsLastUpdateArmsAndForgetsThePostponement) {
  Open();
  ASSERT_EQ(store_.Add("s1", At(2026, 12, 6, 8, 30), At(2026, 12, 6, 8, 30), 1, "a"),
            StoreResult::kDone);
  clock_.Set(2026, 12, 6, 9, 0, 0);
  ASSERT_EQ(store_.MarkHandled("s1", At(2026, 12, 6, 9, 0), 0), StoreResult::kDone);
  ASSERT_TRUE(store_.SetDelay("s1", 10));
  ASSERT_EQ(store_.Get("s1")->delayMinutes, 40);

  ASSERT_EQ(store_.Modify("s1", At(2027, 1, 2, 7, 0), At(2027, 1, 3, 7, 0), 5, "b\nc"),
            StoreResult::kDone);
  const auto r = store_.Get("s1");
  EXPECT_EQ(r->mode, 5);
  EXPECT_EQ(r->valid, 1);
  EXPECT_EQ(r->delayMinutes, 0);
  EXPECT_FALSE(r->postponedUntil);
  EXPECT_EQ(r->lastUpdate, At(2026, 12, 6, 9, 0));
  const auto disk = OnDisk();
  ASSERT_EQ(disk.size(), 1u);
  EXPECT_EQ(disk[0].valid, 1);
  EXPECT_EQ(disk[0].mode, 5);
  EXPECT_EQ(disk[0].start, At(2027, 1, 2, 7, 0));
  EXPECT_EQ(disk[0].stop, At(2027, 1, 3, 7, 0));
  EXPECT_EQ(disk[0].lastUpdate, At(2026, 12, 6, 9, 0));
  EXPECT_EQ(disk[0].content, "b\nc");

  EXPECT_EQ(store_.Modify("nobody", At(2027, 1, 2), At(2027, 1, 2), 0, "x"),
            StoreResult::kFailed);
  EXPECT_FALSE(store_.SetDelay("nobody", 10));
  EXPECT_FALSE(store_.Get("nobody"));
}

TEST_F(ReminderStoreTest, DeleteRemovesElementAndRecord) {
  Open();
  store_.Add("a", At(2026, 12, 6), At(2026, 12, 6), 0, "a");
  store_.Add("b", At(2026, 12, 6), At(2026, 12, 6), 0, "b");
  EXPECT_EQ(store_.Delete("a"), StoreResult::kDone);
  EXPECT_EQ(store_.Delete("a"), StoreResult::kFailed);
  EXPECT_FALSE(store_.Get("a"));
  const auto disk = OnDisk();
  ASSERT_EQ(disk.size(), 1u);
  EXPECT_EQ(disk[0].id, "b");
}

TEST_F(ReminderStoreTest, AReminderWhoseElementHasGone) {
  Open();
  store_.Add("gone", At(2026, 12, 6, 8), At(2026, 12, 6, 8), 1, "text");
  Remove(doc_.Select(std::string(kSchedulePath) + "/gone"));
  EXPECT_EQ(store_.Modify("gone", At(2026, 12, 7), At(2026, 12, 7), 0, "new"),
            StoreResult::kFailed);
  EXPECT_EQ(store_.Get("gone")->content, "text");
  EXPECT_EQ(store_.Delete("gone"), StoreResult::kFailed);
  EXPECT_TRUE(store_.Get("gone"));  // kept in memory until the next load

  // Firing still disarms it in memory, so it does not fire again on every pass.
  clock_.Set(2026, 12, 7, 8, 0, 0);
  EXPECT_EQ(testing::EventTexts(store_.CheckPass()), std::vector<std::string>{"fire gone"});
  clock_.Set(2026, 12, 7, 8, 0, 5);
  EXPECT_TRUE(store_.CheckPass().events.empty());
  EXPECT_EQ(store_.Get("gone")->lastUpdate, At(2026, 12, 7, 8, 0, 0));
}

TEST_F(ReminderStoreTest, HourlyAndHalfHourlyShareOneElement) {
  Open();
  ASSERT_EQ(store_.Add(kHourlyReminderId, At(2026, 12, 6), At(2026, 12, 6), 30, "half"),
            StoreResult::kDone);
  EXPECT_EQ(store_.Add(kHourlyReminderId, At(2026, 12, 6), At(2026, 12, 6), 60, "full"),
            StoreResult::kFailed);
}

TEST_F(ReminderStoreTest, ARestartForgetsPostponementsButNotTheRest) {
  Open();
  store_.Add("d", At(2026, 12, 6, 8, 0), At(2026, 12, 6, 8, 0), 1, "daily");
  clock_.Set(2026, 12, 6, 8, 0, 0);
  ASSERT_EQ(testing::EventTexts(store_.CheckPass()), std::vector<std::string>{"fire d"});
  clock_.Set(2026, 12, 6, 8, 2, 0);
  store_.SetDelay("d", 10);

  CXmlDocument doc2;
  ASSERT_EQ(doc2.Load(path_), LoadStatus::Loaded);
  ReminderStore again;
  again.Init(doc2, kSchedulePath, nullptr, false);
  const auto r = again.Get("d");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->delayMinutes, 0);
  EXPECT_FALSE(r->postponedUntil);
  EXPECT_EQ(r->valid, 0);
  EXPECT_EQ(r->lastUpdate, At(2026, 12, 6, 8, 0, 0));
  clock_.Set(2026, 12, 6, 8, 12, 0);
  EXPECT_TRUE(again.CheckPass().events.empty());
}

TEST_F(ReminderStoreTest, InitCreatesTheScheduleAndReloadsOnASecondOpen) {
  Open("<list><filetree><archive/></filetree></list>");
  EXPECT_TRUE(doc_.Select(kSchedulePath));
  EXPECT_EQ(store_.Size(), 0u);
  store_.Add("x", At(2026, 12, 6), At(2026, 12, 6), 0, "x");

  testing::WriteFile(dir_ / "other.xml",
                     "<list><filetree><schedule><p/><q/></schedule></filetree></list>");
  ASSERT_EQ(doc_.Load(dir_ / "other.xml"), LoadStatus::Loaded);
  store_.Init(doc_, kSchedulePath, &sink_, false);
  std::vector<std::string> ids;
  store_.ForEach([&](const ReminderRecord& r) { ids.push_back(r.id); });
  EXPECT_EQ(ids, (std::vector<std::string>{"p", "q"}));
}

TEST_F(ReminderStoreTest, AFailedSaveIsAResultAndAFailingPassIsReportedOnceUntilASaveWorks) {
  testing::FakePrompts prompts;
  Open();
  int reported = 0;
  store_.SetSaveFailureHandler([&] { ++reported; });
  doc_.SetWriteProtected(true);
  EXPECT_EQ(store_.Add("u", At(2026, 12, 6), At(2026, 12, 6), 0, "u"), StoreResult::kUnsaved);
  EXPECT_TRUE(store_.Get("u"));  // the memory copy is not rolled back
  // The store shows nothing under its locks: its caller tells the user.
  EXPECT_TRUE(prompts.Messages().empty());
  clock_.Set(2026, 12, 6, 0, 0, 30);
  auto pass = store_.CheckPass();
  EXPECT_EQ(pass.events.size(), 1u);
  EXPECT_FALSE(pass.saved);
  EXPECT_TRUE(pass.failureReported);
  EXPECT_EQ(reported, 1);
  EXPECT_TRUE(OnDisk().empty());

  // The same failure again: not news.
  store_.Add("v", At(2026, 12, 6), At(2026, 12, 6), 0, "v");
  pass = store_.CheckPass();
  EXPECT_EQ(pass.events.size(), 1u);
  EXPECT_FALSE(pass.saved);
  EXPECT_FALSE(pass.failureReported);
  EXPECT_EQ(reported, 1);

  // Once a save has worked, the next failure is reported again.
  doc_.SetWriteProtected(false);
  EXPECT_EQ(store_.Add("w", At(2026, 12, 7), At(2026, 12, 7), 0, "w"), StoreResult::kDone);
  doc_.SetWriteProtected(true);
  store_.Add("z", At(2026, 12, 6), At(2026, 12, 6), 0, "z");
  pass = store_.CheckPass();
  EXPECT_TRUE(pass.failureReported);
  EXPECT_EQ(reported, 2);
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST_F(ReminderStoreTest, AQuietPassLeavesTheFileAlone) {
  // Written by hand, with white space the program would not write: any save would show.
  const std::string xml =
      "<list>\n  <filetree>\n    <schedule><s mode=\"1\" lowtime=\"-74468352\" "
      "hightime=\"31294811\" valid=\"1\">x</s></schedule>\n  </filetree>\n</list>\n";
  Open(xml);
  for (int minute = 0; minute < 8; ++minute) {
    clock_.Set(2026, 12, 7, 7, 52 + minute, 0);
    ASSERT_TRUE(store_.CheckPass().events.empty());
  }
  EXPECT_EQ(testing::ReadFile(path_), xml);
}

}  // namespace
}  // namespace zorbek
