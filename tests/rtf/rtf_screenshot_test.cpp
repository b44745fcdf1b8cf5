// Pictures of Chinese sample notes as the reader shows them in a QTextEdit. Skipped unless
// ZORBEK_SCREENSHOT_DIR names the directory for the PNG files; run under a display:
//   export ZORBEK_SCREENSHOT_DIR=docs QT_QPA_PLATFORM=xcb
//   xvfb-run -a -s "-screen 0 1280x800x24" build/zorbek_rtf_tests --gtest_filter='RtfScreenshot*'
#include <gtest/gtest.h>

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdlib>

#include "rtf/rtf_document.h"
#include "rtf_test_util.h"

namespace zorbek {
namespace {

using namespace zorbek::testing;

void Shoot(const std::vector<const char*>& files, const QString& path) {
  QWidget window;
  window.setWindowTitle("RTF");
  auto* grid = new QGridLayout(&window);
  for (std::size_t i = 0; i < files.size(); ++i) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(2, 2, 2, 2);
    column->addWidget(new QLabel(QString::fromUtf8(files[i]).section('/', -1)));
    auto* edit = new QTextEdit;
    ReadRtf(Bytes(RtfTestFile(files[i])), edit->document());
    edit->moveCursor(QTextCursor::Start);
    column->addWidget(edit);
    grid->addWidget(box, static_cast<int>(i / 3), static_cast<int>(i % 3));
  }
  window.resize(1260, 780);
  window.show();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  ASSERT_TRUE(window.grab().save(path));
}

TEST(RtfScreenshot, ChineseSampleNotes) {
  const char* dir = std::getenv("ZORBEK_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "ZORBEK_SCREENSHOT_DIR not set";
  InstallChineseFontSubstitutes();
  Shoot({"generated/wine8-riched20_zh_basic_char_formatting.rtf",
         "generated/wine8-riched20_zh_bullets_numbered_lists.rtf",
         "generated/wine8-riched20_zh_table_3x4.rtf",
         "generated/wine8-riched20_zh_colors_highlights.rtf",
         "generated/handwritten_riched20-10-style_zh_hyperlinks_trailing_nul.rtf",
         "generated/handwritten_riched20-10-style_zh_pngblip_picture_trailing_nul.rtf"},
        QString::fromLocal8Bit(dir) + "/rtf-chinese-notes.png");
  Shoot({"generated/wine8-riched20_zh_basic_char_formatting_cp1252_locale.rtf",
         "generated/wine8-riched20_zh_beyond_gbk_unicode.rtf",
         "generated/wine8-riched20_zh_paragraph_alignment_indent_spacing.rtf",
         "other-writers/word2003_cp936_chinese_dbch_formatted.rtf",
         "richedit/riched20-10_mixed_cp932_cp936_fonts_dbcs.rtf",
         "generated/libreoffice-7.4_zh_note_from_html_uN_pngblip.rtf"},
        QString::fromLocal8Bit(dir) + "/rtf-chinese-more.png");
}

}  // namespace
}  // namespace zorbek
