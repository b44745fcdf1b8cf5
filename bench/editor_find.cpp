// Find and replace in a large Chinese note: one whole search cycle in the core, one find-next
// in the editor (which copies the note's text), and Replace All over thousands of matches.
// Run: bench_editor_find (offscreen by default).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTextDocument>
#include <cstdlib>

#include "core/app/prompts.h"
#include "core/editor/text_search.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace {

using namespace zorbek;

// Paragraphs of Chinese text; every sentence holds "计划" once and "Plan" once.
QString MakeText(int paragraphs) {
  const QString sentence = QString::fromUtf8(
      "今天的会议讨论了明年的工作计划，大家同意先完成数据整理（Plan A），再开始新的项目。");
  QString text;
  for (int p = 0; p < paragraphs; ++p) {
    for (int s = 0; s < 4; ++s) text += sentence;
    text += u'\n';
  }
  return text;
}

std::u16string U16(const QString& s) {
  return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())};
}

class QuietPrompts : public ConsolePrompts {
 public:
  MsgResult Message(std::string_view, MsgButtons, MsgIcon, std::string_view) override {
    return MsgResult::Ok;
  }
};

void BM_CoreCycleThroughEveryMatch(benchmark::State& state) {
  const std::u16string text = U16(MakeText(int(state.range(0))));
  editor::SearchOptions o;
  o.wholeWord = state.range(1) != 0;
  std::size_t found = 0;
  for (auto _ : state) {
    editor::SearchCycle cycle;
    editor::TextRange sel{int(text.size()) / 2, int(text.size()) / 2};
    while (const auto m = cycle.FindNext(text, sel, u"plan", o)) {
      sel = *m;
      ++found;
    }
  }
  state.counters["chars"] = double(text.size());
  state.counters["matches"] = benchmark::Counter(double(found), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CoreCycleThroughEveryMatch)->Args({2000, 0})->Args({2000, 1})->Unit(benchmark::kMillisecond);

void BM_EditorFindNext(benchmark::State& state) {
  CXRichEditCtrl edit;
  edit.setPlainText(MakeText(int(state.range(0))));
  const QString needle = QString::fromUtf8("计划");
  for (auto _ : state) benchmark::DoNotOptimize(edit.FindNextMatch(needle, {}));
  state.counters["chars"] = double(edit.document()->characterCount());
}
BENCHMARK(BM_EditorFindNext)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_EditorReplaceAll(benchmark::State& state) {
  CXRichEditCtrl edit;
  const QString text = MakeText(int(state.range(0)));
  const QString needle = QString::fromUtf8("计划"), with = QString::fromUtf8("年度计划");
  for (auto _ : state) {
    state.PauseTiming();
    edit.setPlainText(text);
    state.ResumeTiming();
    edit.ReplaceAllAction(needle, with, {});
  }
  state.counters["replacements"] = double(state.range(0) * 4);
}
BENCHMARK(BM_EditorReplaceAll)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QuietPrompts prompts;
  zorbek::SetPrompts(&prompts);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zorbek::SetPrompts(nullptr);
  return 0;
}
