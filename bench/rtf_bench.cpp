// Speed of the note format: the plain-text scan of the search (in this process and as
// `zorbek-cli text`), the RTF reader and writer, and unrtf (Debian package) on the same generated
// 20 MB note with Chinese text, tables and pictures; and the load time of a 1 MB note.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/rtf/plain_text.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_reader.h"
#include "rtf/rtf_writer.h"

namespace {

using namespace zorbek;

// A note of about the given size as this program writes it: paragraphs of Chinese text with
// mixed formats, a table every 40 paragraphs, a PNG picture every 100.
QByteArray MakeNote(std::size_t bytes) {
  static const char* const kSentences[] = {
      "今天整理了上周的会议记录，共三页。", "重点如下：笔记要短，要准，要能找到。",
      "中英混排：Qt 6 的 QTextDocument 可以显示 RTF。", "数据备份完成，共计 1024 个文件。",
      "学习编程最重要的是多写代码、多读代码。", "春眠不觉晓，处处闻啼鸟。"};
  std::mt19937 rng(7);
  QTextDocument doc;
  ApplyNoteDefaults(&doc);
  QTextCursor c(&doc);
  QImage image(64, 48, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 8));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  QTextCharFormat plain, bold, red;
  bold.setFontWeight(QFont::Bold);
  red.setForeground(QColor(255, 0, 0));
  red.setFontPointSize(12);
  // A first batch tells how many bytes a paragraph takes; then the note is built to size.
  int paragraphs = 0;
  int target = 200;
  for (bool measured = false;; measured = true) {
    for (; paragraphs < target; ++paragraphs) {
      if (paragraphs > 0) c.insertBlock();
      for (int s = 0; s < 4; ++s) {
        const QString text = QString::fromUtf8(kSentences[rng() % 6]);
        c.insertText(text, s == 1 ? bold : s == 3 ? red : plain);
      }
      if (paragraphs % 40 == 39) {
        QTextTable* t = c.insertTable(3, 4);
        for (int cell = 0; cell < 12; ++cell)
          t->cellAt(cell / 4, cell % 4).firstCursorPosition().insertText(QString::fromUtf8("单元格"));
        c = t->lastCursorPosition();
        c.movePosition(QTextCursor::NextBlock);
      }
      if (paragraphs % 100 == 99) c.insertImage(MakePictureFormat(&doc, png, PictureType::kPng));
    }
    if (measured) break;
    const double perParagraph = static_cast<double>(WriteRtf(doc).size()) / paragraphs;
    target = static_cast<int>(static_cast<double>(bytes) / perParagraph) + 1;
  }
  return WriteRtf(doc);
}

const QByteArray& Note20() {
  static const QByteArray note = MakeNote(20u << 20);
  return note;
}
const QByteArray& Note1() {
  static const QByteArray note = MakeNote(1u << 20);
  return note;
}

std::string WriteTemp(const QByteArray& data, const char* name) {
  const std::string path = std::filesystem::temp_directory_path().string() + "/" + name;
  std::ofstream(path, std::ios::binary).write(data.constData(), data.size());
  return path;
}

void BM_ExtractPlainText(benchmark::State& state) {
  const std::string path = WriteTemp(Note20(), "zorbek-bench-20mb.esr");
  for (auto _ : state) benchmark::DoNotOptimize(ExtractPlainText(path));
  state.SetBytesProcessed(state.iterations() * Note20().size());
}

// The same scan as the editor shows the text: each font's code page decoded, as UTF-8.
void BM_ExtractPlainTextUnicode(benchmark::State& state) {
  const std::string path = WriteTemp(Note20(), "zorbek-bench-20mb.esr");
  for (auto _ : state) benchmark::DoNotOptimize(ExtractPlainTextUnicode(path));
  state.SetBytesProcessed(state.iterations() * Note20().size());
}

double ChildrenCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// `zorbek-cli text` (and `text --raw`) on the same file, the program beside this benchmark, its
// output thrown away: the scan above plus the start of the command, the reading and the output.
void RunCliText(benchmark::State& state, bool raw) {
  const std::string path = WriteTemp(Note20(), "zorbek-bench-20mb.esr");
  const std::string cli =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zorbek-cli").string();
  const double cpu0 = ChildrenCpuSeconds();
  // Started as a shell starts it: posix_spawn shares this process's memory until the exec, so
  // the figure is the command's, not the copying of this benchmark's page tables.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> words = {"zorbek-cli", "text"};
  if (raw) words.push_back("--raw");
  words.push_back(path);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("zorbek-cli text failed (is it built beside the benchmark?)");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  // Processor time of the command, for a machine busy with other work.
  state.counters["cpu_ms_cli"] =
      (ChildrenCpuSeconds() - cpu0) * 1000 / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
  state.SetBytesProcessed(state.iterations() * Note20().size());
}
void BM_CliText(benchmark::State& state) { RunCliText(state, false); }
void BM_CliTextRaw(benchmark::State& state) { RunCliText(state, true); }

void BM_ReadRtf(benchmark::State& state) {
  for (auto _ : state) {
    QTextDocument doc;
    ReadRtf(Note20(), &doc);
    benchmark::DoNotOptimize(doc.characterCount());
  }
  state.SetBytesProcessed(state.iterations() * Note20().size());
}

void BM_WriteRtf(benchmark::State& state) {
  QTextDocument doc;
  ReadRtf(Note20(), &doc);
  for (auto _ : state) benchmark::DoNotOptimize(WriteRtf(doc));
  state.SetBytesProcessed(state.iterations() * Note20().size());
}

// unrtf --text on the same file, in a scratch directory (it writes the pictures out).
void BM_Unrtf(benchmark::State& state) {
  const std::string path = WriteTemp(Note20(), "zorbek-bench-20mb.rtf");
  const std::string scratch = std::filesystem::temp_directory_path().string() + "/zorbek-bench-unrtf";
  std::filesystem::create_directories(scratch);
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(scratch.c_str()) != 0) _exit(127);
      if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
      execlp("unrtf", "unrtf", "--text", path.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
      state.SkipWithError("unrtf is not installed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * Note20().size());
  std::filesystem::remove_all(scratch);
}

void BM_LoadNote1MB(benchmark::State& state) {
  for (auto _ : state) {
    QTextDocument doc;
    ReadRtf(Note1(), &doc);
    benchmark::DoNotOptimize(doc.characterCount());
  }
  state.SetBytesProcessed(state.iterations() * Note1().size());
}

BENCHMARK(BM_ExtractPlainText)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ExtractPlainTextUnicode)->Unit(benchmark::kMillisecond)->MinTime(2);
// Wall time, since the work is another process's.
BENCHMARK(BM_CliText)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_CliTextRaw)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_ReadRtf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteRtf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Unrtf)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_LoadNote1MB)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::AddCustomContext("note_20mb_bytes", std::to_string(Note20().size()));
  benchmark::AddCustomContext("note_1mb_bytes", std::to_string(Note1().size()));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
