// The database layer on a generated database of 10,000 notes in 1,000 folders.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/db/xml_document.h"
#include "core/io/file_util.h"

namespace {

std::string GeneratedDatabase() {
  std::string xml = "<list><hotkey/><filetree><archive state=\"expanded\">";
  for (int f = 0; f < 1000; ++f) {
    xml += "<文件夹" + std::to_string(f) + " type=\"dir\" state=\"collapsed\">";
    for (int n = 0; n < 10; ++n)
      xml += "<笔记" + std::to_string(n) + " type=\"esr\" lasttime=\"1796640480\"/>";
    xml += "</文件夹" + std::to_string(f) + ">";
  }
  xml += "</archive><schedule/></filetree></list>";
  return xml;
}

struct Fixture {
  std::string dir;
  std::string path;
  Fixture() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/zorbek-bench-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    path = dir + "/Zorbek.xml";
    zorbek::WriteFileAtomically(path, GeneratedDatabase());
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

void BM_Load(benchmark::State& state) {
  for (auto _ : state) {
    zorbek::CXmlDocument doc;
    benchmark::DoNotOptimize(doc.Load(Data().path));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(Data().path)));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_SelectNote(benchmark::State& state) {
  zorbek::CXmlDocument doc;
  doc.Load(Data().path);
  int i = 0;
  for (auto _ : state) {
    const std::string path = "/list/filetree/archive/文件夹" + std::to_string(i % 1000) + "/笔记" +
                             std::to_string(i % 10);
    benchmark::DoNotOptimize(doc.Select(path));
    ++i;
  }
}
BENCHMARK(BM_SelectNote)->Unit(benchmark::kMicrosecond);

void BM_Save(benchmark::State& state) {
  zorbek::CXmlDocument doc;
  doc.Load(Data().path);
  for (auto _ : state) benchmark::DoNotOptimize(doc.Save());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
