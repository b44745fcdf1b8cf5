// One reminder check pass over 10,000 reminders of every mode, none of them due: the work the
// check thread does every 5 seconds, without any file access.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "core/app/clock.h"
#include "core/db/database.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_time.h"

namespace {

using namespace zorbek;

constexpr int kReminders = 10'000;

SystemTime Local(int y, int mo, int d, int h, int mi) {
  SystemTime t;
  t.year = static_cast<std::uint16_t>(y);
  t.month = static_cast<std::uint16_t>(mo);
  t.day = static_cast<std::uint16_t>(d);
  t.hour = static_cast<std::uint16_t>(h);
  t.minute = static_cast<std::uint16_t>(mi);
  return WithDayOfWeek(t);
}

// Now is Sunday 2026-12-06 07:10; every reminder lies later in its day, week, month or year
// (the date ranges began on the 1st).
void Fill(ReminderStore& store) {
  for (int i = 0; i < kReminders; ++i) {
    const std::string id = "s" + std::to_string(i);
    const int hour = 8 + i % 14, minute = i % 60;
    const int mode = i % 100 == 99 ? (i % 200 == 199 ? 60 : 30) : i % 6;
    SystemTime start = Local(2026, 12, 7 + i % 20, hour, minute);
    SystemTime stop = start;
    if (mode == reminder_mode::kRange) {
      start = Local(2026, 12, 1, hour, minute);
      stop = Local(2026, 12, 31, hour, minute);
    }
    store.Add(id, start, stop, mode, "提醒内容");
  }
}

void BM_CheckPass10000Reminders(benchmark::State& state) {
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  FakeClock clock;
  clock.SetLocal(2026, 12, 6, 7, 10, 0);
  SetClock(&clock);

  CXmlDocument doc;  // no path: nothing is ever written
  doc.LoadFromString("<list><filetree><schedule/></filetree></list>");
  ReminderStore store;
  store.Init(doc, kSchedulePath, nullptr, false);
  Fill(store);
  // The first pass settles what was missed before now (the date ranges' occurrence of the day
  // before, too late to show, is dropped); from then on nothing is due.
  store.CheckPass();
  if (!store.CheckPass().events.empty()) state.SkipWithError("a reminder was due");

  for (auto _ : state) {
    CheckPassResult result = store.CheckPass();
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations() * kReminders);
  SetClock(nullptr);
}
BENCHMARK(BM_CheckPass10000Reminders)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
