// Import, export and drag and drop on a generated database of 10,000 notes in 1,000 folders:
// moves through the tree (the disk, the element, the items, the save), the import of a large text
// file and of a batch of note files, and the export of a note as RTF and as text.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_transfer.h"
#include "rtf/note_converter_engine.h"
#include "core/notes/notebook.h"
#include "ui/db/xml_tree_ctrl.h"

namespace {
using namespace zorbek;
namespace fs = std::filesystem;

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

// About 200 KB of Chinese text in 2,000 lines.
std::string LargeText() {
  std::string text;
  for (int i = 0; i < 2000; ++i)
    text += "第" + std::to_string(i) + "行：今天的会议记录，明天的计划和一些想法。\n";
  return text;
}

struct Fixture {
  std::string dir, path, store, sources;
  Fixture() {
    std::string tmpl = fs::temp_directory_path().string() + "/zorbek bench 导入-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    path = dir + "/Zorbek.xml";
    store = NoteStoreDirectory(path);
    sources = dir + "/外面 文件";
    fs::create_directories(sources);
    WriteFileAtomically(sources + "/大文本.txt", LargeText());
    for (int i = 0; i < 10; ++i)
      WriteFileAtomically(sources + "/便签" + std::to_string(i) + ".esr", "{\\rtf1 x}");
    Reset();
  }
  ~Fixture() { fs::remove_all(dir); }
  void Reset() const {
    fs::remove_all(store);
    WriteFileAtomically(path, GeneratedDatabase());
    for (int f : {0, 500, 501}) {
      fs::create_directories(store + "/文件夹" + std::to_string(f));
      for (int n = 0; n < 10; ++n)
        WriteFileAtomically(store + "/文件夹" + std::to_string(f) + "/笔记" + std::to_string(n) + ".esr",
                            "{\\rtf1 x}");
    }
  }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

ItemPath Item(std::initializer_list<std::string> names) {
  ItemPath item{"文件箱"};
  item.insert(item.end(), names);
  return item;
}

// A note dragged onto another folder and back, each move with its rename and save.
void BM_DragNoteToAnotherFolder(benchmark::State& state) {
  Data().Reset();
  Notebook notebook;
  CXmlTreeCtrl tree(notebook);
  notebook.Open(Data().path);
  bool there = false;
  for (auto _ : state) {
    const ItemPath from = there ? Item({"文件夹501", "笔记5"}) : Item({"文件夹500", "笔记5"});
    const ItemPath to = there ? Item({"文件夹500"}) : Item({"文件夹501"});
    // 文件夹501 has a 笔记5: the note comes back as 笔记5 only when it leaves as 笔记51.
    QTreeWidgetItem* item = tree.ItemOfPath(from);
    if (!item) item = tree.ItemOfPath(there ? Item({"文件夹501", "笔记51"}) : from);
    tree.DropItem(item, tree.ItemOfPath(to));
    there = !there;
  }
}

// A folder of ten notes dragged into another folder and back onto the file box.
void BM_DragFolder(benchmark::State& state) {
  Data().Reset();
  Notebook notebook;
  CXmlTreeCtrl tree(notebook);
  notebook.Open(Data().path);
  bool inside = false;
  for (auto _ : state) {
    if (inside) tree.DropItem(tree.ItemOfPath(Item({"文件夹0", "文件夹500"})), tree.FileBoxItem());
    else tree.DropItem(tree.ItemOfPath(Item({"文件夹500"})), tree.ItemOfPath(Item({"文件夹0"})));
    inside = !inside;
  }
}

// A 200 KB text file imported (converted, copied, recorded, saved); removed again untimed.
void BM_ImportLargeText(benchmark::State& state) {
  Data().Reset();
  CXmlDocument doc;
  NoteCommands commands(doc);
  NoteTransfer transfer(commands);
  OpenDatabaseFile(doc, Data().path);
  for (auto _ : state) {
    const auto results = transfer.Import(Item({"文件夹500"}), {Data().sources + "/大文本.txt"});
    state.PauseTiming();
    if (!results[0].done) state.SkipWithError("not imported");
    commands.Delete(results[0].item);
    state.ResumeTiming();
  }
}

// Ten note files added at once, each with its save; removed again untimed.
void BM_ImportTenNoteFiles(benchmark::State& state) {
  Data().Reset();
  CXmlDocument doc;
  NoteCommands commands(doc);
  NoteTransfer transfer(commands);
  OpenDatabaseFile(doc, Data().path);
  std::vector<std::string> files;
  for (int i = 0; i < 10; ++i) files.push_back(Data().sources + "/便签" + std::to_string(i) + ".esr");
  for (auto _ : state) {
    const auto results = transfer.Import(Item({"文件夹500"}), files);
    state.PauseTiming();
    for (const auto& r : results) commands.Delete(r.item);
    state.ResumeTiming();
  }
}

// The imported large note exported as RTF and as text.
void BM_ExportNote(benchmark::State& state) {
  Data().Reset();
  CXmlDocument doc;
  NoteCommands commands(doc);
  NoteTransfer transfer(commands);
  OpenDatabaseFile(doc, Data().path);
  const auto added = transfer.Import(Item({"文件夹500"}), {Data().sources + "/大文本.txt"});
  const bool rtf = state.range(0) != 0;
  for (auto _ : state)
    if (!transfer.Export(added[0].item, Data().dir + (rtf ? "/导出.rtf" : "/导出.txt")).done)
      state.SkipWithError("not exported");
}

BENCHMARK(BM_DragNoteToAnotherFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportLargeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportTenNoteFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportNote)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  InstallNoteConverter();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
