// What the main thread spends on one look at the database on disk (a watcher's event: a save of
// its own, or another program's), with the notebook open in the program's session: a notebook of
// 10,000 notes in 1,000 folders, no conflict copies anywhere. The note store may be walked for
// conflict copies, but not on the main thread.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/notebook.h"
#include "ui/app/notebook_session.h"

namespace {
using namespace zorbek;
namespace fs = std::filesystem;

constexpr int kFolders = 1000;
constexpr int kNotesPerFolder = 10;

struct Fixture {
  std::string dir, path;
  Fixture() {
    std::string tmpl = fs::temp_directory_path().string() + "/zorbek bench 冲突-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    path = dir + "/Zorbek.xml";
    const std::string store = NoteStoreDirectory(path);
    std::string xml = "<list><hotkey/><filetree><archive>";
    for (int f = 0; f < kFolders; ++f) {
      const std::string folder = "文件夹" + std::to_string(f);
      xml += "<" + folder + " type=\"dir\">";
      fs::create_directories(store + "/" + folder);
      for (int n = 0; n < kNotesPerFolder; ++n) {
        xml += "<笔记" + std::to_string(n) + " type=\"esr\"/>";
        WriteFileAtomically(store + "/" + folder + "/笔记" + std::to_string(n) + ".esr",
                            "{\\rtf1 x}");
      }
      xml += "</" + folder + ">";
    }
    xml += "</archive></filetree></list>";
    WriteFileAtomically(path, xml);
  }
  ~Fixture() { fs::remove_all(dir); }
};

void BM_CheckDatabaseOnDisk(benchmark::State& state) {
  Fixture fixture;
  Notebook notebook;
  {
    NotebookSession session(notebook);
    session.Open(fixture.path);
    for (auto _ : state) session.CheckDatabaseOnDisk();
  }
  notebook.Close();
}
BENCHMARK(BM_CheckDatabaseOnDisk)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
