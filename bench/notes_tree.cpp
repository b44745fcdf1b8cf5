// The note tree on a generated database of 10,000 notes in 1,000 folders: filling the tree, and a
// rename, a move and a delete through the tree, each including its save.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/app/prompts.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/notebook.h"
#include "ui/db/xml_tree_ctrl.h"

namespace {
using namespace zorbek;

std::string GeneratedDatabase() {
  std::string xml = "<list><hotkey/><filetree><archive state=\"expanded\">";
  for (int f = 0; f < 1000; ++f) {
    xml += "<文件夹" + std::to_string(f) + " type=\"dir\" state=\"" +
           (f % 10 == 0 ? "expanded" : "collapsed") + "\">";
    for (int n = 0; n < 10; ++n)
      xml += "<笔记" + std::to_string(n) + " type=\"esr\" lasttime=\"1796640480\"/>";
    xml += "</文件夹" + std::to_string(f) + ">";
  }
  xml += "</archive><schedule/></filetree></list>";
  return xml;
}

// Every question is answered with OK.
class YesPrompts : public ConsolePrompts {
 public:
  MsgResult Message(std::string_view, MsgButtons, MsgIcon, std::string_view) override {
    return MsgResult::Ok;
  }
};

struct Fixture {
  std::string dir, path, store;
  Fixture() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/zorbek bench 树-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    path = dir + "/Zorbek.xml";
    store = NoteStoreDirectory(path);
    Reset();
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
  // The database and the store of folder 500 as generated.
  void Reset() const {
    std::filesystem::remove_all(store);
    WriteFileAtomically(path, GeneratedDatabase());
    std::filesystem::create_directories(store + "/文件夹500");
    for (int n = 0; n < 10; ++n)
      WriteFileAtomically(store + "/文件夹500/笔记" + std::to_string(n) + ".esr", "{\\rtf1 x}");
  }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

// A notebook and the tree that shows it, opened on the generated database.
struct OpenTree {
  Notebook notebook;
  CXmlTreeCtrl tree{notebook};
  explicit OpenTree(const std::string& path) { notebook.Open(path); }
};

ItemPath Note(int folder, const std::string& name) {
  return {"文件箱", "文件夹" + std::to_string(folder), name};
}

// Creating the tree and opening the database: load, then every item.
void BM_OpenAndFillTree(benchmark::State& state) {
  Data().Reset();
  std::unique_ptr<OpenTree> open;
  for (auto _ : state) {
    state.PauseTiming();
    open.reset();  // the notebook saves as it goes: not timed
    state.ResumeTiming();
    open = std::make_unique<OpenTree>(Data().path);
    benchmark::DoNotOptimize(open->tree.FileBoxItem()->childCount());
  }
}

// FillFolder alone: the archive's 11,000 items into an empty file box, read from the notebook.
void BM_FillFolder(benchmark::State& state) {
  Data().Reset();
  OpenTree open(Data().path);
  CXmlTreeCtrl& tree = open.tree;
  for (auto _ : state) {
    state.PauseTiming();
    qDeleteAll(tree.FileBoxItem()->takeChildren());
    state.ResumeTiming();
    tree.FillFolder(open.notebook.Commands().Outline({"文件箱"}), tree.FileBoxItem());
  }
}

// A label edit that renames a note: the file on disk, the element, the label, the save.
void BM_RenameNote(benchmark::State& state) {
  Data().Reset();
  OpenTree open(Data().path);
  CXmlTreeCtrl& tree = open.tree;
  bool flip = false;
  for (auto _ : state) {
    const std::string from = flip ? "改名" : "笔记5", to = flip ? "笔记5" : "改名";
    QTreeWidgetItem* item = tree.ItemOfPath(Note(500, from));
    tree.EndLabelEdit(item, QString::fromStdString(to));
    flip = !flip;
  }
  if (!tree.ItemOfPath(Note(500, flip ? "改名" : "笔记5"))) state.SkipWithError("not renamed");
}

// Moving a note one place down and back up, each with its save.
void BM_MoveNote(benchmark::State& state) {
  Data().Reset();
  OpenTree open(Data().path);
  CXmlTreeCtrl& tree = open.tree;
  bool down = true;
  for (auto _ : state) {
    tree.setCurrentItem(tree.ItemOfPath(Note(500, "笔记5")));
    tree.RunCommand(down ? treecmd::kMoveDown : treecmd::kMoveUp);
    down = !down;
  }
}

// Deleting a note (its file, its elements, its item, the save); it is put back untimed.
void BM_DeleteNote(benchmark::State& state) {
  Data().Reset();
  YesPrompts yes;
  SetPrompts(&yes);
  {
    OpenTree open(Data().path);
    CXmlTreeCtrl& tree = open.tree;
    for (auto _ : state) {
      tree.setCurrentItem(tree.ItemOfPath(Note(500, "笔记5")));
      tree.RunCommand(treecmd::kDelete);
      state.PauseTiming();
      if (tree.ItemOfPath(Note(500, "笔记5"))) {
        state.SkipWithError("not deleted");
        break;
      }
      // Back as it was: a new note after 笔记4, renamed.
      const NoteOutcome added = open.notebook.Commands().NewNote(Note(500, "笔记4"));
      tree.EndLabelEdit(tree.ItemOfPath(added.item), QStringLiteral("笔记5"));
      state.ResumeTiming();
    }
  }
  SetPrompts(nullptr);
}

BENCHMARK(BM_OpenAndFillTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenameNote)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveNote)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteNote)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
