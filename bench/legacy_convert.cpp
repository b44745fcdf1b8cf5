// Converting a Ramulo data set of 5,000 nodes in 500 folders (each folder's own text and nine
// notes below it, names in code page 936, a few hundred bytes of Chinese text per node), with
// the database saved after every note and after every 100.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/io/file_util.h"
#include "core/legacy/ramulo_convert.h"
#include "core/text/cp936.h"
#include "rtf/note_converter_engine.h"
#include "rtf/note_file.h"

namespace {
using namespace zorbek;

constexpr int kFolders = 500;
constexpr int kPerFolder = 10;  // the folder's node and nine leaves

struct LegacySet {
  std::string dir;
  LegacySet() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/zorbek-bench-ramulo-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    std::filesystem::create_directories(dir + "/doc");
    std::string stru, files;
    int stem = 0;
    std::string text;
    for (int i = 0; i < 20; ++i) text += "这是旧版本程序里的一段笔记内容，第" + std::to_string(i) + "行。\r\n";
    const std::string textBytes = Utf8ToCp936(text);
    for (int f = 0; f < kFolders; ++f) {
      for (int n = 0; n < kPerFolder; ++n) {
        const std::string name =
            n == 0 ? "项目 " + std::to_string(f) : "\t笔记." + std::to_string(n);
        stru += Utf8ToCp936(name) + "\r\n";
        const std::string s = "n" + std::to_string(stem++);
        files += s + "\r\n";
        WriteFileAtomically(dir + "/doc/" + s + ".txt", textBytes);
      }
    }
    WriteFileAtomically(dir + "/TreeStru.dat", stru);
    WriteFileAtomically(dir + "/TreeFiles.dat", files);
  }
  ~LegacySet() { std::filesystem::remove_all(dir); }
};

void BM_ConvertRamulo(benchmark::State& state) {
  static LegacySet legacy;
  const std::string target = legacy.dir + "/out/Zorbek.xml";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(legacy.dir + "/out");
    std::filesystem::create_directories(legacy.dir + "/out");
    state.ResumeTiming();
    RamuloOptions options;
    options.treeFilesPath = legacy.dir + "/TreeFiles.dat";
    options.treeStruPath = legacy.dir + "/TreeStru.dat";
    options.targetPath = target;
    options.notesPerSave = static_cast<std::size_t>(state.range(0));
    const RamuloReport report = ConvertRamulo(options);
    if (!report.done || report.notes != kFolders * kPerFolder || report.folders != kFolders)
      state.SkipWithError("conversion incomplete");
  }
  state.counters["notes/s"] =
      benchmark::Counter(kFolders * kPerFolder, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ConvertRamulo)->Arg(1)->Arg(20)->Arg(100)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The note writer alone: one text of 20 lines to RTF.
void BM_PlainTextToRtf(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "这是旧版本程序里的一段笔记内容，第" + std::to_string(i) + "行。\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(PlainTextToRtf(text));
}
BENCHMARK(BM_PlainTextToRtf)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  InstallNoteConverter();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
