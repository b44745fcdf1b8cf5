// The recycle bin and the note history on a generated database of 10,000 notes in 1,000
// folders (each note a 3 KB document): deleting a folder of 1,000 notes into the bin and
// restoring it, each with its save; and what the history costs on disk after 1,000 saves of
// notes picked at random, one save a minute.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "core/app/prompts.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_history.h"
#include "core/notes/recycle_bin.h"

namespace {
using namespace zorbek;
namespace fs = std::filesystem;

constexpr int kFolders = 1000;
constexpr int kNotesPerFolder = 10;
constexpr int kBigFolderNotes = 1000;

std::string NoteText(int f, int n) {
  std::string text = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}"
                     "\\pard\\f0\\fs18 ";
  while (text.size() < 3000) text += "note " + std::to_string(f) + "-" + std::to_string(n) + " \\par ";
  return text + "}";
}

struct Fixture {
  std::string dir, path, store;
  Fixture() {
    std::string tmpl = fs::temp_directory_path().string() + "/zorbek bench 回收站-XXXXXX";
    dir = ::mkdtemp(tmpl.data());
    path = dir + "/Zorbek.xml";
    store = NoteStoreDirectory(path);
    // 999 folders of 10 notes and one (the first) of 1,000 notes: 10,990 notes.
    std::string xml = "<list><hotkey/><filetree><archive>";
    for (int f = 0; f < kFolders; ++f) {
      const std::string folder = "文件夹" + std::to_string(f);
      const int notes = f == 0 ? kBigFolderNotes : kNotesPerFolder;
      xml += "<" + folder + " type=\"dir\">";
      fs::create_directories(store + "/" + folder);
      for (int n = 0; n < notes; ++n) {
        xml += "<笔记" + std::to_string(n) + " type=\"esr\"/>";
        WriteFileAtomically(store + "/" + folder + "/笔记" + std::to_string(n) + ".esr",
                            NoteText(f, n));
      }
      xml += "</" + folder + ">";
    }
    xml += "</archive></filetree></list>";
    WriteFileAtomically(path, xml);
  }
  ~Fixture() { fs::remove_all(dir); }
};

Fixture& Data() {
  static Fixture f;
  return f;
}

std::uint64_t BytesBelow(const std::string& dir) {
  std::uint64_t n = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file()) n += it->file_size();
  return n;
}

void BM_DeleteFolderOf1000NotesIntoTheBin(benchmark::State& state) {
  CXmlDocument doc;
  OpenDatabaseFile(doc, Data().path);
  NoteCommands commands(doc);
  const ItemPath folder{"文件箱", "文件夹0"};
  for (auto _ : state) {
    if (!commands.Delete(folder).done) state.SkipWithError("delete failed");
    state.PauseTiming();
    const auto list = RecycleBin(Data().path).List();
    if (list.empty() || !RestoreFromTrash(doc, list[0].id).done) state.SkipWithError("restore failed");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeleteFolderOf1000NotesIntoTheBin)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RestoreFolderOf1000NotesFromTheBin(benchmark::State& state) {
  CXmlDocument doc;
  OpenDatabaseFile(doc, Data().path);
  NoteCommands commands(doc);
  const ItemPath folder{"文件箱", "文件夹0"};
  for (auto _ : state) {
    state.PauseTiming();
    if (!commands.Delete(folder).done) state.SkipWithError("delete failed");
    const auto list = RecycleBin(Data().path).List();
    state.ResumeTiming();
    if (list.empty() || !RestoreFromTrash(doc, list[0].id).done) state.SkipWithError("restore failed");
  }
}
BENCHMARK(BM_RestoreFolderOf1000NotesFromTheBin)->Unit(benchmark::kMillisecond)->Iterations(5);

// 1,000 saves, one a minute, each of a note picked at random (a tenth of them in the same few
// notes, as a user works on a handful): the history's size afterwards against the store's.
void BM_HistoryAfter1000Saves(benchmark::State& state) {
  const HistoryRules rules;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(HistoryDirectory(Data().path));
    state.ResumeTiming();
    std::mt19937 random(7);
    std::int64_t now = 1765000000;
    int kept = 0;
    for (int save = 0; save < 1000; ++save, now += 60) {
      const bool favourite = save % 10 != 0;
      const int f = favourite ? 1 + static_cast<int>(random() % 5) : static_cast<int>(random() % kFolders);
      const int n = static_cast<int>(random() % kNotesPerFolder);
      const std::string file = Data().store + "/文件夹" + std::to_string(f) + "/笔记" + std::to_string(n) + ".esr";
      if (KeepVersionBeforeSave(Data().path, file, rules, now)) ++kept;
      WriteFileAtomically(file, NoteText(f, n) + " " + std::to_string(save));
    }
    state.PauseTiming();
    state.counters["versions"] = kept;
    state.counters["history_KB"] = static_cast<double>(BytesBelow(HistoryDirectory(Data().path))) / 1024;
    state.counters["store_KB"] = static_cast<double>(BytesBelow(Data().store)) / 1024;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_HistoryAfter1000Saves)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
