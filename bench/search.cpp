// Speed of the search and the history over a generated database of 10,000 notes in 1,000
// folders, about 200 MB written as a rich edit control writes them (Chinese text as \'xx
// escapes, font and colour tables, tables, pictures as hexadecimal data), with a warm file
// cache; `grep -rl` of an ASCII word over the same files, in the same run, as the floor of
// reading the bytes; both again with a cold file cache. The database is written to a temporary
// directory and removed at the end.
// ZORBEK_BENCH_NOTES=100000 runs it at 100,000 notes (about 2 GB). The hits must be exactly the
// notes the rare word was written into.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/search/history.h"
#include "core/search/note_search.h"
#include "core/search/note_walk.h"
#include "core/text/cp936.h"

namespace {

using namespace zorbek;
namespace fs = std::filesystem;

constexpr int kNotesPerFolder = 10;
// 10,000 notes, or as many as ZORBEK_BENCH_NOTES says (100000: about 2 GB, generated here).
int Folders() {
  const char* notes = std::getenv("ZORBEK_BENCH_NOTES");
  const int n = notes ? std::atoi(notes) : 10000;
  return std::max(1, n / kNotesPerFolder);
}
constexpr const char* kRareWord = "北极星计划";  // in 5 notes
constexpr const char* kMissingWord = "不存在的词语";

void AppendEscaped(std::string& out, std::string_view utf8) {
  static const char* hex = "0123456789abcdef";
  for (unsigned char c : Utf8ToCp936(utf8)) {
    if (c >= 0x80) {
      out += "\\'";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

std::string MakeNote(std::mt19937& rng, std::size_t textBytes, bool picture, bool rare) {
  static const char* const kSentences[] = {
      "今天整理了上周的会议记录，共三页。", "重点如下：笔记要短，要准，要能找到。",
      "中英混排：Qt 6 的文档可以显示富文本。", "数据备份完成，共计 1024 个文件。",
      "学习编程最重要的是多写代码、多读代码。", "春眠不觉晓，处处闻啼鸟。"};
  std::string rtf =
      "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fprq2"
      "\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}{\\f1\\fswiss\\fcharset0 Arial;}}\r\n{\\colortbl ;"
      "\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n{\\*\\generator Msftedit 5.41.15.1515;}"
      "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 ";
  int paragraph = 0;
  while (rtf.size() < textBytes) {
    if (rare && paragraph == 3) AppendEscaped(rtf, kRareWord);
    for (int s = 0; s < 4; ++s) {
      if (s == 1) rtf += "\\b ";
      if (s == 3) rtf += "\\cf1 ";
      AppendEscaped(rtf, kSentences[rng() % 6]);
      if (s == 1) rtf += "\\b0 ";
      if (s == 3) rtf += "\\cf0 ";
    }
    rtf += "\\par\r\n";
    if (++paragraph % 30 == 0) {
      rtf += "\\trowd\\trgaph108\\trleft-108\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl ";
      for (int c = 0; c < 3; ++c) {
        AppendEscaped(rtf, "单元格");
        rtf += "\\cell ";
      }
      rtf += "\\row\\pard\r\n";
    }
  }
  if (picture) {
    rtf += "{\\pict\\wmetafile8\\picw2000\\pich1500\\picwgoal1134\\pichgoal850 \r\n";
    static const char* hex = "0123456789abcdef";
    for (int i = 0; i < 45000; ++i) {
      const unsigned b = rng() & 0xFF;
      rtf += hex[b >> 4];
      rtf += hex[b & 15];
      if (i % 64 == 63) rtf += "\r\n";
    }
    rtf += "}";
  }
  rtf += "\\par\r\n}\r\n";
  return rtf;
}

struct Corpus {
  fs::path root;
  std::string db;
  std::size_t bytes = 0;
  std::set<std::string> rareNotes;  // the document paths the rare word was written into
  CXmlDocument doc;

  Corpus() {
    root = fs::temp_directory_path() / ("zorbek-bench-search-" + std::to_string(::getpid()));
    fs::create_directories(root);
    db = (root / "Zorbek.xml").string();
    const std::string store = NoteStoreDirectory(db);
    std::mt19937 rng(11);
    std::string xml = "<list><hotkey/><filetree><archive>";
    int n = 0;
    for (int f = 0; f < Folders(); ++f) {
      const std::string folder = "文件夹" + std::to_string(f);
      xml += "<" + folder + " type=\"dir\" state=\"collapsed\">";
      fs::create_directories(store + "/" + folder);
      for (int k = 0; k < kNotesPerFolder; ++k, ++n) {
        const std::string name = "笔记" + std::to_string(k);
        xml += "<" + name + " type=\"esr\" lasttime=\"" + std::to_string(1700000000 + (n * 7919) % 100000) + "\"/>";
        const bool rare = n % 2000 == 1234;
        if (rare) rareNotes.insert(store + "/" + folder + "/" + name + ".esr");
        const std::string note = MakeNote(rng, 4000 + rng() % 16000, n % 10 == 3, rare);
        bytes += note.size();
        std::ofstream(store + "/" + folder + "/" + name + ".esr", std::ios::binary) << note;
      }
      xml += "</" + folder + ">";
    }
    xml += "</archive></filetree></list>";
    std::ofstream(db, std::ios::binary) << xml;
    doc.Load(db);
  }
  ~Corpus() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

Corpus& Data() {
  static Corpus corpus;
  return corpus;
}

// CPU seconds of this process (every thread) or of its finished children.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The panel's way: walk on the calling thread, then poll the workers as their results come.
// Counts the longest stretch the calling thread spent in one piece of work.
void RunSearch(benchmark::State& state, const char* keyword,
               const std::set<std::string>& expectedHits) {
  Corpus& c = Data();
  double longestMs = 0;
  std::size_t hits = 0;
  std::set<std::string> found;
  const double cpu0 = CpuSeconds(RUSAGE_SELF);
  for (auto _ : state) {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    auto notes = CollectNotes(c.doc, ElementPath(kArchivePath), NoteStoreDirectory(c.db));
    NoteSearch search(std::move(notes), SearchKeyword(keyword));
    longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    hits = 0;
    found.clear();
    for (;;) {
      const auto p0 = Clock::now();
      const auto p = search.Poll();
      hits += p.newHits.size();
      for (std::size_t i : p.newHits) found.insert(search.notes()[i].documentPath.str());
      longestMs = std::max(longestMs, std::chrono::duration<double, std::milli>(Clock::now() - p0).count());
      if (p.finished) break;
      search.WaitForProgress(20);
    }
  }
  // The very notes the word was written into, each once.
  if (hits != expectedHits.size() || found != expectedHits)
    state.SkipWithError("the hits are not the notes that hold the word");
  state.counters["cpu_ms_all_threads"] =
      (CpuSeconds(RUSAGE_SELF) - cpu0) * 1000 / static_cast<double>(state.iterations());
  state.counters["hits"] = static_cast<double>(hits);
  state.counters["main_thread_longest_ms"] = longestMs;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.bytes));
}

void BM_SearchRareWord(benchmark::State& state) { RunSearch(state, kRareWord, Data().rareNotes); }
void BM_SearchMissingWord(benchmark::State& state) { RunSearch(state, kMissingWord, {}); }

// A cold file cache without privileges: every note file's pages are given back to the kernel
// (posix_fadvise DONTNEED, which any reader may ask; the files were synced once, so their pages
// are clean and go). Each timed pass then reads the notes from the disk, as after a reboot, as
// far as this machine's own cache goes (a virtual machine's host may still hold them).
void DropCorpusFromCache() {
  for (const auto& entry : fs::recursive_directory_iterator(Data().root)) {
    if (!entry.is_regular_file()) continue;
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

void BM_SearchMissingWordCold(benchmark::State& state) {
  Corpus& c = Data();
  for (auto _ : state) {
    state.PauseTiming();
    DropCorpusFromCache();
    state.ResumeTiming();
    auto notes = CollectNotes(c.doc, ElementPath(kArchivePath), NoteStoreDirectory(c.db));
    benchmark::DoNotOptimize(SearchNotes(notes, SearchKeyword(kMissingWord)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.bytes));
}

void BM_GrepFloorCold(benchmark::State& state) {
  Corpus& c = Data();
  const std::string command = "grep -rl zqxwvkj '" + NoteStoreDirectory(c.db) + "' >/dev/null";
  for (auto _ : state) {
    state.PauseTiming();
    DropCorpusFromCache();
    state.ResumeTiming();
    benchmark::DoNotOptimize(std::system(command.c_str()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.bytes));
}

void BM_GrepFloor(benchmark::State& state) {
  Corpus& c = Data();
  const std::string command = "grep -rl zqxwvkj '" + NoteStoreDirectory(c.db) + "' >/dev/null";
  const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) {
    const int status = std::system(command.c_str());
    benchmark::DoNotOptimize(status);
  }
  state.counters["cpu_ms_grep"] =
      (CpuSeconds(RUSAGE_CHILDREN) - cpu0) * 1000 / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.bytes));
}

void BM_HistoryRefresh(benchmark::State& state) {
  Corpus& c = Data();
  for (auto _ : state) benchmark::DoNotOptimize(HistoryOf(c.doc));
}

void BM_CollectNotes(benchmark::State& state) {
  Corpus& c = Data();
  for (auto _ : state)
    benchmark::DoNotOptimize(CollectNotes(c.doc, ElementPath(kArchivePath), NoteStoreDirectory(c.db)));
}

// Real time: the work is on other threads (and, for grep, another process).
BENCHMARK(BM_GrepFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_SearchRareWord)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_SearchMissingWord)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_GrepFloorCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SearchMissingWordCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HistoryRefresh)->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(BM_CollectNotes)->Unit(benchmark::kMillisecond)->MinTime(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Corpus& c = Data();
  benchmark::AddCustomContext("notes", std::to_string(Folders() * kNotesPerFolder));
  benchmark::AddCustomContext("corpus_bytes", std::to_string(c.bytes));
  // The new files' pages made clean, so that the cold runs can give them back; then the
  // file cache warmed once before anything is timed.
  ::sync();
  std::system(("find '" + c.root.string() + "' -name '*.esr' -exec cat {} + >/dev/null 2>&1").c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
