// RTF that other programs write, each case a minimal file of the form they use, and what the
// writer makes of it: the text reads right, and saving again and again changes nothing.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTextList>

#include "core/rtf/plain_text.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_writer.h"
#include "rtf_test_util.h"

namespace zorbek {
namespace {

using namespace zorbek::testing;

std::string TextOf(const char* rtf) { return Text(*ReadDoc(QByteArray(rtf))); }

QByteArray Resave(const QByteArray& rtf) { return WriteRtf(*ReadDoc(rtf)); }

TEST(RtfWorld, AStarAfterTextOfItsGroupSkipsNothing) {
  EXPECT_EQ(TextOf("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}"
                   "{\\f0 first \\*\\unknownword second\\par}{\\*\\skipped gone}}"),
            "first second");
}

TEST(RtfWorld, ASectionBreakEndsAParagraph) {
  EXPECT_EQ(TextOf("{\\rtf1\\sectd a\\sect\\sectd b\\sect\\sectd c\\par}"), "a\nb\nc");
}

TEST(RtfWorld, BytesReadInTheCodePageTheDocumentOrFontNames) {
  // No code page named: Western bytes are code page 1252, pairs of high bytes 936.
  EXPECT_EQ(TextOf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Arial;}}\\f0 caf\\'e9 \\'93ok\\'94\\par}"),
            "café “ok”");
  EXPECT_EQ(TextOf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil MS Sans Serif;}}\\f0 \\'d6\\'d0\\'ce\\'c4\\par}"),
            "中文");
  // A font's character set decides over the document's code page.
  EXPECT_EQ(TextOf("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial;}}"
                   "\\f0 x \\f1\\'e7\\'e8\\'ec\\'e0\\par}"),
            "x зима");
  // Macintosh code pages.
  EXPECT_EQ(TextOf("{\\rtf1\\mac{\\fonttbl{\\f0 Helvetica;}}\\f0 caf\\'8e\\par}"), "café");
  EXPECT_EQ(TextOf("{\\rtf1\\ansi\\ansicpg10001{\\fonttbl{\\f0 Osaka;}}\\f0 \\'83\\'6f\\'81\\'5b\\par}"),
            "バー");
  EXPECT_EQ(TextOf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset77 Times;}}\\f0 \\'8e\\par}"), "é");
}

TEST(RtfWorld, TextWithoutASizeOfItsOwnHasTheDocumentsDefault) {
  auto doc = ReadDoc("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\stylesheet{\\s0\\fs28 Normal;}"
                     "{\\s1\\b\\fs36 heading 1;}}\\pard\\plain\\s0 abc\\par\\pard\\plain\\s1 head\\par"
                     "\\pard\\plain plain\\par}");
  EXPECT_EQ(FormatOf(*doc, "abc").fontPointSize(), 14.0);
  EXPECT_EQ(FormatOf(*doc, "head").fontPointSize(), 18.0);
  EXPECT_EQ(FormatOf(*doc, "head").fontWeight(), QFont::Bold);
  EXPECT_EQ(FormatOf(*doc, "plain").fontPointSize(), 12.0);  // RTF's own default
  auto defchp = ReadDoc("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\*\\defchp \\fs22}\\pard x\\par}");
  EXPECT_EQ(FormatOf(*defchp, "x").fontPointSize(), 11.0);
  // Written out, the size is stated.
  const QByteArray out = WriteRtf(*doc);
  EXPECT_TRUE(out.contains("\\fs28 abc")) << out.toStdString();
}

TEST(RtfWorld, ANestedTableStaysInItsCell) {
  const char* rtf =
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}"
      "\\trowd\\cellx3000\\cellx6000"
      "\\pard\\intbl\\itap1 outer one\\par"
      "\\pard\\intbl\\itap2 a\\nestcell b\\nestcell"
      "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables\\par}"
      "\\pard\\intbl\\itap2 c\\nestcell d\\nestcell"
      "{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}{\\nonesttables fallback\\par}"
      "\\pard\\intbl\\itap1 \\cell outer two\\cell\\row}";
  auto doc = ReadDoc(QByteArray(rtf));
  const auto tables = Tables(*doc);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]->rows(), 1);
  EXPECT_EQ(tables[0]->columns(), 2);
  const QString first = CellText(tables[0], 0, 0);
  EXPECT_TRUE(first.contains("outer one")) << first.toStdString();
  EXPECT_TRUE(first.contains("a\tb")) << first.toStdString();
  EXPECT_TRUE(first.contains("c\td")) << first.toStdString();
  EXPECT_FALSE(first.contains("fallback"));
  EXPECT_EQ(CellText(tables[0], 0, 1), "outer two");
  // A nested cell without its row's properties: its text is not lost.
  EXPECT_EQ(TextOf("{\\rtf1\\ansi\\trowd\\cellx3000\\pard\\intbl x\\nestcell y\\cell\\row}"),
            "x\ty\n");  // the cell, then the paragraph after the table
}

TEST(RtfWorld, APictureInAWordShapeIsRead) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  const QByteArray rtf = "{\\rtf1\\ansi before {\\shp{\\*\\shpinst\\shpleft0\\shptop0"
                         "{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn fillColor}{\\sv 255}}"
                         "{\\sp{\\sn pib}{\\sv {\\pict\\pngblip\\picw3\\pich2 " +
                         png.toHex() + "}}}}{\\shprslt fallback}} after\\par}";
  auto doc = ReadDoc(rtf);
  const auto images = Images(*doc);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].property(rtfprop::kPictureData).toByteArray(), png);
  const std::string text = Text(*doc);
  EXPECT_EQ(text.find("fallback"), std::string::npos) << text;
  EXPECT_NE(text.find("after"), std::string::npos) << text;
  // A shape with no picture keeps its result.
  EXPECT_EQ(TextOf("{\\rtf1\\ansi {\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 1}}}"
                   "{\\shprslt shown}}\\par}"),
            "shown");
}

TEST(RtfWorld, AListsIndentsStayWhereTheyAreThroughTenSaves) {
  // A rich edit list whose paragraphs are not reset by \pard: the first one does not hang,
  // the next ones do.
  const QByteArray rtf =
      "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}"
      "\\pard{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec"
      "{\\pntxta.}}\\li717\\f0\\fs18 one\\par"
      "{\\pntext\\f0 2.\\tab}\\fi-360\\li1317 two\\par"
      "{\\pntext\\f0 3.\\tab}three\\par\\pard after\\par}";
  const QByteArray once = Resave(rtf);
  EXPECT_TRUE(once.contains("\\li1317")) << once.toStdString();
  QByteArray again = once;
  for (int i = 0; i < 10; ++i) again = Resave(again);
  EXPECT_EQ(again, once);
  // Where the text stands on screen: the list's indent and the paragraph's own.
  auto doc = ReadDoc(again);
  const QTextBlock two = BlockOf(*doc, "two");
  ASSERT_TRUE(two.textList());
  const double indent = two.textList()->format().indent() * doc->indentWidth();
  EXPECT_NEAR(indent + two.blockFormat().leftMargin(), TwipsToUnits(1317), 0.5);
}

// The number a list paragraph shows, as "3." or "b.".
QString Marker(const QTextDocument& doc, const char* text) {
  const QTextBlock b = BlockOf(doc, text);
  QTextList* list = b.textList();
  if (!list) return {};
  const QTextListFormat f = list->format();
  const int n = (f.hasProperty(rtfprop::kListStart) ? f.intProperty(rtfprop::kListStart) : 1) +
                list->itemNumber(b);
  const QString number = f.style() == QTextListFormat::ListLowerAlpha ? QString(QChar(u'a' + n - 1))
                                                                      : QString::number(n);
  return f.numberPrefix() + number + f.numberSuffix();
}

TEST(RtfWorld, AWordListGoesOnAfterItsSubLevelAndIsWrittenSo) {
  const QByteArray rtf =
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\*\\listtable{\\list\\listtemplateid1"
      "{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}"
      "{\\listlevel\\levelnfc4\\levelstartat1{\\leveltext\\'02\\'01.;}{\\levelnumbers\\'01;}\\fi-360\\li1440}"
      "\\listid7}}{\\*\\listoverridetable{\\listoverride\\listid7\\listoverridecount0\\ls1}}"
      "\\pard\\ls1\\ilvl0\\fi-360\\li720 one\\par\\pard\\ls1\\ilvl0\\fi-360\\li720 two\\par"
      "\\pard\\ls1\\ilvl1\\fi-360\\li1440 sub a\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 sub b\\par"
      "\\pard\\ls1\\ilvl0\\fi-360\\li720 three\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 sub again\\par}";
  auto doc = ReadDoc(rtf);
  EXPECT_EQ(Marker(*doc, "two"), "2.");
  EXPECT_EQ(Marker(*doc, "sub b"), "b.");
  EXPECT_EQ(Marker(*doc, "three"), "3.");
  EXPECT_EQ(Marker(*doc, "sub again"), "a.");
  // Written as levels of a list of the list table, and for rich edit controls as their
  // numbering as well: the one that goes on starts at its number.
  const QByteArray out = WriteRtf(*doc);
  EXPECT_TRUE(out.contains("{\\pntext 3.\\tab}")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\pnstart3\\pndec")) << out.toStdString();
  EXPECT_TRUE(out.contains("{\\listlevel\\levelnfc4\\levelnfcn4\\leveljc0\\leveljcn0\\levelfollow0"
                           "\\levelstartat1{\\leveltext\\'02\\'01.;}{\\levelnumbers\\'01;}"))
      << out.toStdString();
  EXPECT_TRUE(out.contains("\\li1440\\fi-360\\ls1\\ilvl1 sub a")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\ls1\\ilvl0 three")) << out.toStdString();
  auto back = ReadDoc(out);
  for (const char* text : {"one", "two", "sub a", "sub b", "three", "sub again"})
    EXPECT_EQ(Marker(*back, text), Marker(*doc, text)) << text;
  EXPECT_EQ(WriteRtf(*back), out);
}

TEST(RtfWorld, CentralEuropeanFontsAreWrittenInTheirCharacterSet) {
  const QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1250{\\fonttbl{\\f0\\fswiss\\fcharset238 Arial CE;}}"
                         "\\f0\\fs20 \\'e1\\'f3 \\u269?\\par}";
  const QByteArray out = Resave(rtf);
  EXPECT_TRUE(out.contains("\\fcharset238 Arial CE;")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\'e1\\'f3 \\'e8")) << out.toStdString();
  EXPECT_EQ(Text(*ReadDoc(out)), "áó č");
  // A face named so, chosen in the editor without a character set, is written in it as well;
  // Chinese text in it goes as "\uN".
  QTextDocument doc;
  ApplyNoteDefaults(&doc);
  QTextCharFormat f;
  f.setFontFamilies({QStringLiteral("Times New Roman CE")});
  QTextCursor(&doc).insertText(QString::fromUtf8("ő 中"), f);
  const QByteArray written = WriteRtf(doc);
  EXPECT_TRUE(written.contains("\\fcharset238 Times New Roman CE;")) << written.toStdString();
  EXPECT_TRUE(written.contains("\\'f5 \\u20013?")) << written.toStdString();
  // Latin text that came in code page 1252 stays in it.
  const QByteArray western = Resave("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 caf\\'e9\\par}");
  EXPECT_TRUE(western.contains("\\fcharset0 Arial;")) << western.toStdString();
  EXPECT_TRUE(western.contains("caf\\'e9")) << western.toStdString();
}

TEST(RtfWorld, SymbolFontCharactersReadAsWhatTheyShowAndAreWrittenBack) {
  // A rich edit control's Symbol character, Greek letters of the font, Word's private-use codes
  // of a symbol font and Wingdings bullets.
  const QByteArray rtf =
      "{\\rtf1\\ansi\\ansicpg1250\\deff0{\\fonttbl{\\f0\\fnil\\fcharset2 Symbol;}"
      "{\\f1\\fnil\\fcharset238 MS Shell Dlg 2;}{\\f2\\fnil\\fcharset2 Wingdings;}{\\f3\\fcharset2;}}"
      "\\pard\\f0\\fs23\\'c5 ab\\'b7\\f1\\fs17  x \\f0\\u-3913?\\f2\\'d8\\'fc\\'21\\f3\\'ab\\par}";
  const std::string expected = "⊕ αβ• x •➢✔\xef\x80\xa1↔";
  EXPECT_EQ(Text(*ReadDoc(rtf)), expected);
  // Written back in the font's own bytes, and read again the same.
  const QByteArray out = Resave(rtf);
  EXPECT_TRUE(out.contains("\\fcharset2 Symbol;")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\'c5 ab\\'b7")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\'d8\\'fc!")) << out.toStdString();
  EXPECT_EQ(Text(*ReadDoc(out)), expected);
  EXPECT_EQ(Resave(out), out);
  // Latin letters typed in the Symbol font stay Latin letters (the font's "a" is α).
  QTextDocument doc;
  ApplyNoteDefaults(&doc);
  QTextCharFormat f;
  f.setFontFamilies({QStringLiteral("Symbol")});
  QTextCursor(&doc).insertText(QString::fromUtf8("ab 1+2 ⊕ α"), f);
  const QByteArray written = WriteRtf(doc);
  EXPECT_TRUE(written.contains("\\u97?\\u98? 1+2 \\'c5 a")) << written.toStdString();
  EXPECT_EQ(Text(*ReadDoc(written)), "ab 1+2 ⊕ α");
  // A font of the symbol character set this system has no table for keeps its letters.
  EXPECT_EQ(TextOf("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset2 Marlett;}}\\f0 abc\\par}"), "abc");
}

// A list paragraph's level and number as "1:b)" (level 1, the second of lower letters with ")").
std::string LevelMarker(const QTextBlock& b) {
  QTextList* list = b.textList();
  if (!list) return "none";
  const QTextListFormat f = list->format();
  const int n = (f.hasProperty(rtfprop::kListStart) ? f.intProperty(rtfprop::kListStart) : 1) +
                list->itemNumber(b);
  std::string number;
  switch (f.style()) {
    case QTextListFormat::ListDecimal: number = std::to_string(n); break;
    case QTextListFormat::ListLowerAlpha: number = std::string(1, static_cast<char>('a' + n - 1)); break;
    case QTextListFormat::ListUpperRoman: number = std::string(static_cast<std::size_t>(n), 'I'); break;
    default: number = "*"; break;
  }
  return std::to_string(f.intProperty(rtfprop::kListLevel)) + ":" + f.numberPrefix().toStdString() +
         number + f.numberSuffix().toStdString();
}
std::string LevelMarker(const QTextDocument& doc, const char* text) {
  return LevelMarker(BlockOf(doc, text));
}

TEST(RtfWorld, MultiLevelListsKeepTheirLevelsAndFormatsThroughSaves) {
  // Roman, letters and bullets by level; a second list numbers both levels in decimal.
  const QByteArray rtf =
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}{\\*\\listtable"
      "{\\list{\\listlevel\\levelnfc1\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
      "{\\listlevel\\levelnfc4\\levelstartat1{\\leveltext\\'03(\\'01);}{\\levelnumbers\\'02;}}"
      "{\\listlevel\\levelnfc23{\\leveltext\\'01\\u-3913 ?;}{\\levelnumbers;}\\f1}\\listid10}"
      "{\\list{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'02\\'00.;}}"
      "{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'04\\'00.\\'01.;}}\\listid20}}"
      "{\\*\\listoverridetable{\\listoverride\\listid10\\listoverridecount0\\ls1}"
      "{\\listoverride\\listid20\\listoverridecount0\\ls2}}"
      "\\pard\\ls1\\ilvl0\\fi-360\\li720 r1\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 ra\\par"
      "\\pard\\ls1\\ilvl2\\fi-360\\li2160 dot\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 rb\\par"
      "\\pard\\ls1\\ilvl0\\fi-360\\li720 r2\\par\\pard\\ls1\\ilvl1\\fi-360\\li1440 ra2\\par"
      "\\pard between\\par"
      "\\pard\\ls2\\ilvl0\\fi-360\\li720 d1\\par\\pard\\ls2\\ilvl1\\fi-360\\li1440 d1a\\par"
      "\\pard\\ls2\\ilvl1\\fi-360\\li1440 d1b\\par\\pard\\ls2\\ilvl0\\fi-360\\li720 d2\\par}";
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"r1", "0:I."}, {"ra", "1:(a)"}, {"dot", "2:*"}, {"rb", "1:(b)"}, {"r2", "0:II."},
      {"ra2", "1:(a)"}, {"between", "none"}, {"d1", "0:1."}, {"d1a", "1:1."}, {"d1b", "1:2."},
      {"d2", "0:2."}};
  auto doc = ReadDoc(rtf);
  for (const auto& [text, marker] : expected) EXPECT_EQ(LevelMarker(*doc, text), marker) << text;
  const QByteArray out = WriteRtf(*doc);
  EXPECT_TRUE(out.contains("{\\listoverride\\listid2\\listoverridecount0\\ls2}")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\levelnfc23\\levelnfcn23")) << out.toStdString();
  EXPECT_TRUE(out.contains("\\levelnfc1\\levelnfcn1")) << out.toStdString();
  EXPECT_TRUE(out.contains("{\\leveltext\\'03(\\'01)")) << out.toStdString();
  QByteArray again = out;
  for (int i = 0; i < 10; ++i) again = Resave(again);
  EXPECT_EQ(again, out);
  auto back = ReadDoc(again);
  for (const auto& [text, marker] : expected) EXPECT_EQ(LevelMarker(*back, text), marker) << text;
  // The same list pasted after itself numbers from 1 again, so it is written as a list of its own.
  auto twice = ReadDoc(rtf);
  QTextCursor end(twice.get());
  end.movePosition(QTextCursor::End);
  end.insertBlock(QTextBlockFormat());
  if (QTextList* list = end.currentList()) list->remove(end.block());
  ASSERT_TRUE(InsertRtf(end, rtf));
  const QByteArray both = WriteRtf(*twice);
  EXPECT_TRUE(both.contains("\\ls3\\ilvl0 r1")) << both.toStdString();
  auto bothBack = ReadDoc(both);
  std::vector<std::string> markers;
  for (QTextBlock b = bothBack->begin(); b.isValid(); b = b.next())
    if (b.text() == "r2" || b.text() == "d2") markers.push_back(LevelMarker(b));
  EXPECT_EQ(markers, (std::vector<std::string>{"0:II.", "0:2.", "0:II.", "0:2."}));
  // Notes without a list table keep their rich edit numbering as before.
  const QByteArray legacy = Resave(
      "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pnstart1\\pndec"
      "{\\pntxta .}}\\fi-360\\li720 one\\par{\\pntext 2.\\tab}two\\par\\pard after\\par}");
  EXPECT_FALSE(legacy.contains("listtable")) << legacy.toStdString();
  EXPECT_EQ(LevelMarker(*ReadDoc(legacy), "two"), "0:2.");
}

}  // namespace
}  // namespace zorbek
