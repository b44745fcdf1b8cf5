// Time to open a note of about 1 MB in an editor window, to read it into an open editor, and
// to save it. The note is Chinese text with formats, lists, links, tables and pictures, written
// by the program's own writer. Run: bench_editor_open_save (offscreen by default).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <cstdlib>
#include <filesystem>

#include "core/app/prompts.h"
#include "core/editor/open_editor_registry.h"
#include "core/io/file_util.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_writer.h"
#include "ui/editor/wnd_esr.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace {

using namespace zorbek;

// A note of at least targetBytes of RTF.
std::string MakeNote(std::size_t targetBytes) {
  QTextDocument doc;
  ApplyNoteDefaults(&doc);
  QTextCursor c(&doc);
  QImage image(48, 32, QImage::Format_RGB32);
  image.fill(QColor(30, 90, 200));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  const QString sentence = QString::fromUtf8(
      "今天的会议讨论了明年的工作计划，大家一致同意先完成数据整理，再开始新的项目。");
  int n = 0;
  while (WriteRtf(doc).size() < static_cast<qsizetype>(targetBytes)) {
    for (int i = 0; i < 40; ++i, ++n) {
      QTextCharFormat f;
      f.setFontWeight(n % 5 == 0 ? QFont::Bold : QFont::Normal);
      f.setFontItalic(n % 7 == 0);
      f.setForeground(n % 3 == 0 ? QColor(200, 0, 0) : QColor(0, 0, 0));
      c.insertText(QStringLiteral("%1. ").arg(n) + sentence, f);
      if (n % 11 == 0) {
        QTextCharFormat link;
        link.setAnchor(true);
        link.setAnchorHref(QStringLiteral("http://www.example.com/%1").arg(n));
        link.setFontUnderline(true);
        c.insertText(QStringLiteral(" 链接%1").arg(n), link);
      }
      c.insertBlock();
    }
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::ListDecimal);
    c.insertList(lf);
    for (int i = 0; i < 5; ++i) {
      c.insertText(QString::fromUtf8("列表项目 %1").arg(i));
      c.insertBlock();
    }
    QTextBlockFormat plain;
    c.setBlockFormat(plain);
    QTextTable* table = c.insertTable(3, 3);
    for (int i = 0; i < 9; ++i) table->cellAt(i / 3, i % 3).firstCursorPosition().insertText(sentence.left(8));
    c.movePosition(QTextCursor::End);
    InsertPicture(c, png);
    c.insertBlock();
  }
  return WriteRtf(doc).toStdString();
}

struct Fixture {
  Fixture() {
    dir = std::filesystem::temp_directory_path() / "zorbek-bench-editor";
    std::filesystem::create_directories(dir);
    path = (dir / "note.esr").string();
    rtf = MakeNote(1 << 20);
    WriteFileAtomically(path, rtf);
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
  std::string path;
  std::string rtf;
};

Fixture& Note() {
  static Fixture f;
  return f;
}

void BM_OpenNoteEditor(benchmark::State& state) {
  const Fixture& f = Note();
  for (auto _ : state) {
    editor::OpenNoteEditor(DocumentPath(f.path), ElementPath("/list/filetree/archive/note"));
    QCoreApplication::processEvents();  // shown and laid out
    state.PauseTiming();
    CloseAllEditors();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.rtf.size()));
  state.counters["note_bytes"] = static_cast<double>(f.rtf.size());
}
BENCHMARK(BM_OpenNoteEditor)->Unit(benchmark::kMillisecond);

void BM_LoadIntoOpenEditor(benchmark::State& state) {
  const Fixture& f = Note();
  editor::OpenNoteEditor(DocumentPath(f.path), ElementPath("/list/filetree/archive/note"));
  CWndEsr* w = FindNoteEditor(DocumentPath(f.path));
  for (auto _ : state) w->LoadDocument();
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.rtf.size()));
  CloseAllEditors();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_LoadIntoOpenEditor)->Unit(benchmark::kMillisecond);

void BM_SaveNote(benchmark::State& state) {
  const Fixture& f = Note();
  editor::OpenNoteEditor(DocumentPath(f.path), ElementPath("/list/filetree/archive/note"));
  CWndEsr* w = FindNoteEditor(DocumentPath(f.path));
  for (auto _ : state) {
    w->RichEdit()->document()->setModified(true);
    if (!w->SaveDocument()) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.rtf.size()));
  CloseAllEditors();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_SaveNote)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  zorbek::ConsolePrompts prompts;
  zorbek::SetPrompts(&prompts);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  zorbek::SetPrompts(nullptr);
  return 0;
}
