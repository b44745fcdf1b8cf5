// Opening the reminder list window on 10,000 reminders until it is shown and painted, and
// scrolling it from top to bottom. The reminders are Chinese texts of one to five lines, of
// every mode. Run: bench_reminder_list (offscreen by default).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <cstdlib>
#include <string>

#include "core/db/database.h"
#include "core/reminders/reminder_store.h"
#include "core/reminders/reminder_time.h"
#include "ui/reminders/wnd_schedule.h"
#include "ui/report/report_ctrl.h"

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

// A store over a document in memory (nothing is written), filled without the file saves.
struct Reminders {
  CXmlDocument doc;
  ReminderStore store;
  Reminders() {
    std::string xml = "<list><filetree><schedule>";
    for (int i = 0; i < kReminders; ++i) {
      const int mode = i % 6;
      std::string text = "第" + std::to_string(i) + "条提醒：下午三点在会议室开会，带上报告";
      for (int line = 1; line < 1 + i % 5; ++line) text += "\n第" + std::to_string(line + 1) + "行";
      const SystemTime t = Local(2026, 12, 1 + i % 28, 8 + i % 12, i % 60);
      const FileTimeHalves h = StoredHalves(t);
      xml += "<s" + std::to_string(i) + " mode=\"" + std::to_string(mode) + "\" lowtime=\"" +
             std::to_string(h.low) + "\" hightime=\"" + std::to_string(h.high) +
             "\" stoplowtime=\"" + std::to_string(h.low) + "\" stophightime=\"" +
             std::to_string(h.high) + "\" valid=\"1\">" + text + "</s" + std::to_string(i) + ">";
    }
    xml += "</schedule></filetree></list>";
    doc.LoadFromString(xml);
    store.Init(doc, kSchedulePath, nullptr, false);
  }
};

void BM_OpenReminderList10000(benchmark::State& state) {
  Reminders r;
  if (r.store.Size() != kReminders) state.SkipWithError("the reminders did not load");
  for (auto _ : state) {
    auto* w = new CWndSchedule(r.store);
    w->show();
    w->repaint();
    QApplication::processEvents();
    state.PauseTiming();
    if (w->ReportList()->GetItemCount() != kReminders) state.SkipWithError("rows missing");
    delete w;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenReminderList10000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ScrollReminderList10000(benchmark::State& state) {
  Reminders r;
  CWndSchedule w(r.store);
  w.show();
  QApplication::processEvents();
  QScrollBar* bar = w.ReportList()->verticalScrollBar();
  for (auto _ : state) {
    // One page at a time to the end, painting each.
    for (int v = 0; v < bar->maximum(); v += bar->pageStep() * 40) {
      bar->setValue(v);
      w.ReportList()->viewport()->repaint();
    }
    bar->setValue(bar->maximum());
    w.ReportList()->viewport()->repaint();
    bar->setValue(0);
  }
}
BENCHMARK(BM_ScrollReminderList10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
