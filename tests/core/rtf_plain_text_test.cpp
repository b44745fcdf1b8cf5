#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/rtf/plain_text.h"
#include "core/text/cp936.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::string Text(std::string_view rtf) { return ScanPlainText(rtf).text; }
RtfScanCode Code(std::string_view rtf) { return ScanPlainText(rtf).code; }

TEST(PlainText, ParagraphsTabsQuotesAndEscapedSymbols) {
  EXPECT_EQ(Text("{\\rtf1 Hello\\par World}"), "Hello\nWorld");
  EXPECT_EQ(Text("{\\rtf1 a\\tab b\\ldblquote c\\rdblquote}"), "a\tb\"c\"");
  EXPECT_EQ(Text("{\\rtf1 \\{x\\}\\\\}"), "{x}\\");
  // A backslash before a line end is a paragraph; bare line ends are ignored.
  EXPECT_EQ(Text("{\\rtf1 a\\\nb\\\rc\r\nd}"), "a\nb\ncd");
  // One blank after a control word is its delimiter; a second one is text.
  EXPECT_EQ(Text("{\\rtf1\\b  x\\b0 y}"), " xy");
}

TEST(PlainText, HexEscapesGiveTheRawCodePageBytes) {
  EXPECT_EQ(Text("{\\rtf1\\ansicpg936 \\'d6\\'d0}"), "\xD6\xD0");
  EXPECT_EQ(Cp936ToUtf8(Text("{\\rtf1 \\'D6\\'D0\\'b9\\'fa}")), "中国");
  EXPECT_EQ(Text("{\\rtf1 a\\'4\r\n1b}"), "aAb");  // line ends inside an escape are ignored
  PlainTextScan bad = ScanPlainText("{\\rtf1 ok\\'4g rest}");
  EXPECT_EQ(bad.code, RtfScanCode::kInvalidHex);
  EXPECT_EQ(bad.text, "ok");
}

TEST(PlainText, TablesAndDestinationsContributeNothing) {
  const std::string rtf =
      "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"
      "{\\colortbl ;\\red0\\green0\\blue255;}{\\stylesheet{\\s0 Normal;}}"
      "{\\info{\\title T}{\\author A}}{\\*\\generator Msftedit 5.41.15.1503;}"
      "\\viewkind4\\uc1\\pard\\f0\\fs18 body{\\pict\\wmetafile8 0102ff}\\par}";
  EXPECT_EQ(Text(rtf), "body\n");
  // A known property after "*" does not skip the group; an unknown word does.
  EXPECT_EQ(Text("{\\rtf1{\\*\\b x}{\\*\\unknownword y}z}"), "xz");
  // Unknown control words without "*" are dropped and the text after them kept.
  EXPECT_EQ(Text("{\\rtf1\\f1\\fs40\\lang2052 abc\\cf2 def}"), "abcdef");
  // The group restores the destination: text after a skipped group is kept.
  EXPECT_EQ(Text("{\\rtf1{\\fonttbl x}after}"), "after");
}

TEST(PlainText, BinaryDataIsTakenByCount) {
  const std::string bin = "{\\rtf1 a\\bin4 {}\\\\b}";
  EXPECT_EQ(Text(bin), "a{}\\\\b");
  // In a skipped destination the bytes are counted but not output.
  EXPECT_EQ(Text("{\\rtf1{\\pict\\bin3 }}}}x}"), "x");
  // A zero or negative count takes no bytes.
  EXPECT_EQ(Text("{\\rtf1\\bin0 xy}"), "xy");
  EXPECT_EQ(Text("{\\rtf1\\bin-5 xy}"), "xy");
  // A huge count runs to the end of the text: bounded by the input, no allocation.
  PlainTextScan huge = ScanPlainText("{\\rtf1 a\\bin9999999999999999999 bc}");
  EXPECT_EQ(huge.code, RtfScanCode::kUnmatchedBrace);
  EXPECT_EQ(huge.text, "abc}");
}

TEST(PlainText, MalformedDocumentsYieldTheTextSoFar) {
  PlainTextScan open = ScanPlainText("{\\rtf1 Hello\\par Wor");
  EXPECT_EQ(open.code, RtfScanCode::kUnmatchedBrace);
  EXPECT_EQ(open.text, "Hello\nWor");
  // The next document starts from a fresh state.
  PlainTextScan next = ScanPlainText("{\\rtf1 next}");
  EXPECT_EQ(next.code, RtfScanCode::kComplete);
  EXPECT_EQ(next.text, "next");

  PlainTextScan under = ScanPlainText("{\\rtf1 a}}b");
  EXPECT_EQ(under.code, RtfScanCode::kStackUnderflow);
  EXPECT_EQ(under.text, "a");

  EXPECT_EQ(Code("{\\rtf1 a\\"), RtfScanCode::kEndOfFile);
  EXPECT_EQ(Code("{\\rtf1 a\\par"), RtfScanCode::kUnmatchedBrace);  // a word may end the text
  // A trailing NUL after the last brace is plain text, not an error.
  EXPECT_EQ(ScanPlainText(std::string("{\\rtf1 a}\r\n\0", 12)).code, RtfScanCode::kComplete);
}

TEST(PlainText, KeywordAndParameterLengthLimits) {
  const std::string letters29(29, 'k'), letters30(30, 'k');
  EXPECT_EQ(Code("{\\" + letters29 + " x}"), RtfScanCode::kComplete);
  PlainTextScan longWord = ScanPlainText("{\\rtf1 x\\" + letters30 + " y}");
  EXPECT_EQ(longWord.code, RtfScanCode::kKeywordTooLong);
  EXPECT_EQ(longWord.text, "x");
  EXPECT_EQ(Code("{\\fs" + std::string(19, '9') + " x}"), RtfScanCode::kComplete);
  EXPECT_EQ(Code("{\\fs" + std::string(20, '1') + " x}"), RtfScanCode::kParameterTooLong);
}

TEST(PlainText, DeepNestingStopsAtTheLimit) {
  std::string ok(kPlainTextMaxDepth, '{');
  ok += "x" + std::string(kPlainTextMaxDepth, '}');
  EXPECT_EQ(ScanPlainText(ok).code, RtfScanCode::kComplete);
  EXPECT_EQ(ScanPlainText(ok).text, "x");
  std::string deep(1000000, '{');
  PlainTextScan scan = ScanPlainText("a" + deep);
  EXPECT_EQ(scan.code, RtfScanCode::kStackOverflow);
  EXPECT_EQ(scan.text, "a");
}

TEST(PlainText, KeywordTableOrderAndLookup) {
  const RtfKeyword* t = RtfKeywordTable();
  EXPECT_EQ(t[0].keyword, "b");
  EXPECT_EQ(t[31].keyword, "landscape");
  EXPECT_EQ(t[32].keyword, "par");
  EXPECT_EQ(t[33].keyword, "\n");
  EXPECT_EQ(t[34].keyword, "\r");
  EXPECT_EQ(t[38].keyword, "bin");
  EXPECT_EQ(t[40].keyword, "'");
  EXPECT_EQ(t[41].keyword, "author");
  EXPECT_EQ(t[73].keyword, "xe");
  EXPECT_EQ(t[76].keyword, "\\");
  int destinations = 0, properties = 0;
  for (int i = 0; i < kRtfKeywordCount; ++i) {
    destinations += t[i].kind == RtfKeywordKind::kDestination;
    properties += t[i].kind == RtfKeywordKind::kProperty;
    EXPECT_EQ(FindRtfKeyword(t[i].keyword), &t[i]);
  }
  EXPECT_EQ(destinations, 33);
  EXPECT_EQ(properties, 32);
  EXPECT_EQ(FindRtfKeyword("Par"), nullptr);  // case-sensitive
  EXPECT_EQ(FindRtfKeyword("pa"), nullptr);
}

TEST(PlainText, FilesMissingEmptyAndLargerThanTheReadBuffer) {
  TempDir dir;
  EXPECT_EQ(ExtractPlainText(dir / "missing.esr"), "");
  bool opened = true;
  ScanPlainTextFile(dir / "missing.esr", &opened);
  EXPECT_FALSE(opened);

  // Control words and escapes that straddle the reader's buffer boundaries.
  std::string rtf = "{\\rtf1\\ansicpg936 ";
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    rtf += "\\'d6\\'d0x\\par ";
    expected += "\xD6\xD0x\n";
  }
  rtf += "}";
  WriteFile(dir / "big.esr", rtf);
  EXPECT_EQ(ExtractPlainText(dir / "big.esr"), expected);
  EXPECT_EQ(ScanPlainText(rtf).text, expected);
}

// A note larger than a read of the file and than the pieces the text is handed on in: escapes
// of every byte (lead bytes with good and bad second bytes among them) and control words fall
// on the seams. Read in pieces, the text is the text of the whole: the bytes as the scan of the
// document in memory gives them, and as UTF-8 what the converter makes of those bytes at once.
TEST(PlainText, LargeNotesReadAndHandedOnInPiecesGiveTheWholeText) {
  TempDir dir;
  std::string rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\\f0 ";
  std::uint32_t seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
  static const char* hex = "0123456789abcdef";
  while (rtf.size() < (std::size_t{5} << 20) / 2) {
    for (int i = 0; i < 200; ++i) {
      const unsigned b = next();
      rtf += "\\'";
      rtf += hex[b >> 4];
      rtf += hex[b & 15];
    }
    rtf += next() % 2 ? "\\par\r\n" : " text\\b bold\\b0 ";
  }
  rtf += "}";
  WriteFile(dir / "large.esr", rtf);

  const std::string bytes = ScanPlainText(rtf).text;
  ASSERT_GT(bytes.size(), std::size_t{500000});
  EXPECT_EQ(ExtractPlainText(dir / "large.esr"), bytes);
  const std::string text = ExtractPlainTextUnicode(dir / "large.esr");
  EXPECT_EQ(text, CodePageToUtf8(bytes, 936));
  EXPECT_EQ(ScanPlainTextUnicode(rtf), text);

  for (const bool unicode : {false, true}) {
    std::string joined;
    std::size_t pieces = 0, largest = 0;
    EXPECT_TRUE(StreamPlainTextFile(dir / "large.esr", unicode, [&](std::string_view piece) {
      joined += piece;
      ++pieces;
      largest = std::max(largest, piece.size());
    }));
    EXPECT_EQ(joined, unicode ? text : bytes);
    EXPECT_GT(pieces, 4u);
    EXPECT_LT(largest, std::size_t{256} << 10);
  }
  EXPECT_FALSE(StreamPlainTextFile(dir / "missing.esr", true, [](std::string_view) {}));
}

TEST(PlainText, RealRichEditDocuments) {
  const std::string base = std::string(ZORBEK_TESTDATA_DIR) + "/rtf/";
  const std::string table =
      Cp936ToUtf8(ExtractPlainText(base + "generated/wine8-riched20_zh_table_3x4.rtf"));
  EXPECT_NE(table.find("本周课程表\n"), std::string::npos);
  EXPECT_NE(table.find("节次星期一星期二星期三"), std::string::npos);  // cells run together
  const std::string links = Cp936ToUtf8(
      ExtractPlainText(base + "generated/handwritten_msftedit-style_zh_hyperlinks.rtf"));
  EXPECT_NE(links.find("项目主页：示例网站，欢迎访问。\n"), std::string::npos);
  // The field instruction is an unknown destination after "*": skipped, the result kept.
  EXPECT_EQ(links.find("HYPERLINK"), std::string::npos);
  EXPECT_EQ(ScanPlainTextFile(base + "richedit/richedit_malformed_unclosed_fonttbl.rtf").code,
            RtfScanCode::kComplete);
}

}  // namespace
}  // namespace zorbek
