// Converting every day from 1901 to 2050 to the lunar calendar.
#include <benchmark/benchmark.h>

#include "core/calendar/lunar.h"
#include "core/calendar/month_view.h"

namespace {

using namespace zorbek::calendar;

const int kFirst = DayNumber({1901, 1, 1});
const int kLast = DayNumber({2050, 12, 31});

// The lunar year, month and day of every day.
void BM_ToLunarEveryDay1901To2050(benchmark::State& state) {
  for (auto _ : state) {
    long sum = 0;
    for (int n = kFirst; n <= kLast; ++n) {
      LunarDate lunar;
      ToLunar(n, &lunar);
      sum += lunar.day;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * (kLast - kFirst + 1));
}
BENCHMARK(BM_ToLunarEveryDay1901To2050)->Unit(benchmark::kMillisecond);

// Everything a day cell shows: lunar date, solar term and the four names.
void BM_DescribeEveryDay1901To2050(benchmark::State& state) {
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (int n = kFirst; n <= kLast; ++n) {
      const LunarDay day = DescribeDay(DateOfDayNumber(n));
      bytes += day.names.day.size() + day.names.term.size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(state.iterations() * (kLast - kFirst + 1));
}
BENCHMARK(BM_DescribeEveryDay1901To2050)->Unit(benchmark::kMillisecond);

// One month grid of 42 cells, as built when the panel changes month.
void BM_BuildMonthGrid(benchmark::State& state) {
  MonthView view({2026, 2, 10});
  bool forward = true;
  for (auto _ : state) {
    view.Move(forward ? DateMove::NextMonth : DateMove::PreviousMonth);
    forward = !forward;
  }
  benchmark::DoNotOptimize(view.cell(0).dayNumber);
}
BENCHMARK(BM_BuildMonthGrid)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
