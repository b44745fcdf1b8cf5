#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include "core/io/file_util.h"
#include "core/rtf/plain_text.h"
#include "core/rtf/rtf_pieces.h"
#include "core/text/cp936.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_writer.h"
#include "rtf_test_util.h"

namespace zorbek {
namespace {

using namespace zorbek::testing;

TEST(NoteFiles, PlainTextBecomesParagraphsInTheNoteFont) {
  const QByteArray rtf = PlainTextToRtf("第一行\r\n第二行\rthird\n\n末行");
  EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936"));
  EXPECT_TRUE(rtf.contains("\\pard\\fs18 \\'b5\\'da\\'d2\\'bb\\'d0\\'d0\\par\r\n"));
  EXPECT_EQ(Text(*ReadDoc(rtf)), "第一行\n第二行\nthird\n\n末行");
  EXPECT_EQ(Cp936ToUtf8(ScanPlainText(rtf.toStdString()).text), "第一行\n第二行\nthird\n\n末行\n");
}

TEST(NoteFiles, ContentIsRtfOnlyWhenItBeginsSo) {
  QTextDocument doc;
  ContentKind kind;
  LoadContent("{\\RtF1 \\b x}", &doc, &kind);
  EXPECT_EQ(kind, ContentKind::kRtf);
  EXPECT_EQ(Text(doc), "x");
  LoadContent(" {\\rtf1 x}", &doc, &kind);
  EXPECT_EQ(kind, ContentKind::kText);
  EXPECT_EQ(Text(doc), " {\\rtf1 x}");
  LoadContent(QByteArray("\xFF\xFE\x2D\x4E\x0A\x00" "a\x00", 8), &doc, &kind);  // UTF-16 LE
  EXPECT_EQ(Text(doc), "中\na");
  LoadContent("\xD6\xD0\xCE\xC4", &doc, &kind);  // not UTF-8: code page 936
  EXPECT_EQ(Text(doc), "中文");
}

TEST(NoteFiles, ConversionsOfImportAndExport) {
  TempDir dir;
  WriteFile(dir / "a.txt", "甲\n乙");
  ASSERT_TRUE(ConvertFile(dir / "a.txt", dir / "a.esr"));
  EXPECT_EQ(ReadFile(dir / "a.esr").rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(Text(*ReadDoc(Bytes(dir / "a.esr"))), "甲\n乙");

  // A file that begins with {\rtf is RTF whatever its name.
  WriteFile(dir / "b.txt", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\par x\\tab y}");
  ASSERT_TRUE(ConvertFile(dir / "b.txt", dir / "b.rtf"));
  EXPECT_EQ(Text(*ReadDoc(Bytes(dir / "b.rtf"))), "中\nx\ty");

  // The output is RTF when its extension begins with "rtf" as written; c.RTF is text (UTF-8).
  const std::string table = RtfTestFile("generated/wine8-riched20_zh_table_3x4.rtf");
  ASSERT_TRUE(ConvertFile(table, dir / "c.RTF"));
  EXPECT_EQ(ReadFile(dir / "c.RTF").rfind("本周课程表\n节次\t星期一\t星期二\t星期三\n", 0), 0u);
  ASSERT_TRUE(ConvertFile(table, dir / "c.rtf"));
  EXPECT_EQ(ReadFile(dir / "c.rtf").rfind("{\\rtf1", 0), 0u);

  std::string error;
  EXPECT_FALSE(ConvertFile(dir / "missing.txt", dir / "d.esr", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(PathExists(dir / "d.esr"));
  EXPECT_FALSE(ConvertFile(dir / "a.txt", dir / "no/such/dir/d.esr", &error));
}

TEST(NoteFiles, SaveReplacesTheNoteWhole) {
  TempDir dir;
  WriteFile(dir / "n.esr", std::string(100000, 'x'));
  auto doc = ReadTestFile("generated/wine8-riched20_zh_colors_highlights.rtf");
  ASSERT_TRUE(SaveNote(dir / "n.esr", *doc));
  const QByteArray saved = Bytes(dir / "n.esr");
  EXPECT_EQ(saved, WriteRtf(*doc));
  QTextDocument back;
  ASSERT_TRUE(LoadFile(dir / "n.esr", &back));
  EXPECT_EQ(Text(back), Text(*doc));
}

TEST(NoteFiles, SelectionExportAndEditorPieces) {
  QTextDocument doc;
  QTextCursor c(&doc);
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  c.insertText("前文", QTextCharFormat());
  c.insertText("粗体", bold);
  c.insertText("后文", QTextCharFormat());
  c.setPosition(1);
  c.setPosition(4, QTextCursor::KeepAnchor);
  EXPECT_EQ(SelectionPlainText(c), "文粗体");
  const QByteArray part = WriteRtfSelection(c);
  auto back = ReadDoc(part);
  EXPECT_EQ(Text(*back), "文粗体");
  EXPECT_EQ(FormatOf(*back, "粗体").fontWeight(), QFont::Bold);

  // The separator: its own paragraph in place of the selection.
  QTextCursor s(&doc);
  s.setPosition(2);
  InsertPlainText(s, std::string(kSeparatorText));
  EXPECT_EQ(Text(doc), "前文\n==========================sperator===========================\n粗体后文");

  // Pictures: PNG and JPEG files are inserted, anything else refused.
  QImage image(4, 3, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  QTextCursor end(&doc);
  end.movePosition(QTextCursor::End);
  EXPECT_TRUE(InsertPicture(end, png));
  EXPECT_FALSE(InsertPicture(end, "GIF89a"));
  ASSERT_EQ(Images(doc).size(), 1u);
  EXPECT_DOUBLE_EQ(Images(doc)[0].width(), 4);
  EXPECT_TRUE(WriteRtf(doc).contains("{\\pict\\pngblip\\picw4\\pich3\\picwgoal60\\pichgoal45\r\n89504e47"));

  // Resources lost in a paste between documents come back from the formats.
  QTextDocument other;
  QTextCursor(&other).insertFragment(QTextDocumentFragment(&doc));
  const QUrl name(Images(other)[0].name());
  EXPECT_FALSE(other.resource(QTextDocument::ImageResource, name).isValid());
  RestorePictureResources(&other);
  EXPECT_TRUE(other.resource(QTextDocument::ImageResource, name).isValid());
}

TEST(NoteFilesCli, ConvertCommand) {
  TempDir dir;
  WriteFile(dir / "in.txt", "一\n二");
  std::string out, err;
  EXPECT_EQ(RunCli({"convert", dir / "in.txt", dir / "out.esr"}, &out, &err), 0) << err;
  EXPECT_EQ(Text(*ReadDoc(Bytes(dir / "out.esr"))), "一\n二");
  EXPECT_EQ(RunCli({"convert", dir / "out.esr", dir / "back.txt"}, &out, &err), 0) << err;
  EXPECT_EQ(ReadFile(dir / "back.txt"), "一\n二");
  EXPECT_EQ(RunCli({"convert", dir / "missing", dir / "x.txt"}, &out, &err), 1);
  EXPECT_EQ(RunCli({"convert", dir / "in.txt"}, &out, &err), 2);
}

}  // namespace
}  // namespace zorbek
