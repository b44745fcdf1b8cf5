#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/rtf/plain_text.h"
#include "core/rtf/rtf_codepage.h"
#include "core/rtf/rtf_lexer.h"
#include "core/rtf/rtf_pieces.h"
#include "core/rtf/text_file.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

TEST(LinkField, TemplateAndBackslashesWrittenFourTimes) {
  LinkField web = BuildLinkField("主页", "http://example.com/a");
  ASSERT_EQ(web.status, LinkFieldStatus::kOk);
  EXPECT_EQ(web.rtf,
            "{\\rtf1{\\field{\\*\\fldinst{HYPERLINK \"http://example.com/a\" }}{\\fldrslt{\\ul "
            "\xD6\xF7\xD2\xB3}}}}");
  LinkField file = BuildLinkField("f", "localfile:C:\\notes\\a.txt");
  ASSERT_EQ(file.status, LinkFieldStatus::kOk);
  EXPECT_NE(file.rtf.find("\"localfile:C:\\\\\\\\notes\\\\\\\\a.txt\""), std::string::npos);
  // Scheme test ignores case; a bare file name has none.
  EXPECT_EQ(BuildLinkField("t", "WWW.Example.com").status, LinkFieldStatus::kOk);
  EXPECT_EQ(BuildLinkField("t", "report.doc").status, LinkFieldStatus::kNoKnownScheme);
  EXPECT_EQ(BuildLinkField("t", "C:\\report.doc").status, LinkFieldStatus::kNoKnownScheme);
}

TEST(LinkField, EscapedTargetMustFitTheBuffer) {
  const std::string head = "http://";
  EXPECT_EQ(BuildLinkField("t", head + std::string(255 - head.size(), 'a')).status,
            LinkFieldStatus::kOk);
  EXPECT_EQ(BuildLinkField("t", head + std::string(256 - head.size(), 'a')).status,
            LinkFieldStatus::kTargetTooLong);
  // Backslashes count four bytes each once escaped.
  EXPECT_EQ(BuildLinkField("t", "localfile:" + std::string(61, '\\')).status,
            LinkFieldStatus::kOk);
  EXPECT_EQ(BuildLinkField("t", "localfile:" + std::string(62, '\\')).status,
            LinkFieldStatus::kTargetTooLong);
}

TEST(LinkField, TitleAndTargetCannotBreakTheFieldGroups) {
  LinkField f = BuildLinkField("a}b{\\par c", "http://x/{y}\"z");
  ASSERT_EQ(f.status, LinkFieldStatus::kOk);
  // The whole field stays one balanced group and its text reads back unchanged.
  const PlainTextScan scan = ScanPlainText(f.rtf);
  EXPECT_EQ(scan.code, RtfScanCode::kComplete);
  EXPECT_EQ(scan.text, "a}b{\\par c");
  // Characters outside code page 936 are Unicode escapes.
  EXPECT_NE(BuildLinkField("\xF0\x9F\x98\x80", "http://x").rtf.find("\\u-10179?\\u-8704?"),
            std::string::npos);
}

TEST(Separator, LiteralText) {
  EXPECT_EQ(kSeparatorText, "\r\n" + std::string(26, '=') + "sperator" + std::string(27, '=') +
                                "\r\n");
}

TEST(TableRtf, ExactPiecesAndBoundaries) {
  EXPECT_EQ(kTableRowDefinition.size(), 158u);
  EXPECT_EQ(kTableCellDefinition.size(), 94u);
  const std::string cell(kTableCellDefinition), row(kTableRowDefinition);
  EXPECT_EQ(*BuildTableRtf(2, 2),
            std::string(kTableDocumentHead) + row + cell + "4374" + cell + "8748" +
                "\\pard\\intbl\\cell\\cell\\row" + row + cell + "4374" + cell + "8748" +
                "\\pard\\intbl\\cell\\cell\\row\\par}");
  const std::string three = *BuildTableRtf(1, 3);
  EXPECT_NE(three.find("cellx2916" + cell + "5832" + cell + "8748\\pard"), std::string::npos);
  EXPECT_FALSE(BuildTableRtf(0, 2));
  EXPECT_FALSE(BuildTableRtf(2, -1));
  EXPECT_FALSE(BuildTableRtf(2, kTableMaxColumns + 1));
  EXPECT_FALSE(BuildTableRtf(kTableMaxRows + 1, 2));
  EXPECT_TRUE(BuildTableRtf(kTableMaxRows, kTableMaxColumns));
}

TEST(FileKinds, RtfHeadAndRtfNames) {
  EXPECT_TRUE(StartsAsRtf("{\\RtF1 x"));
  EXPECT_FALSE(StartsAsRtf("{\\rt"));
  EXPECT_FALSE(StartsAsRtf(" {\\rtf1"));
  EXPECT_TRUE(IsRtfFileName("/a/c.rtf"));
  EXPECT_TRUE(IsRtfFileName("c.rtfd"));
  EXPECT_TRUE(IsRtfFileName("note.esr"));
  EXPECT_FALSE(IsRtfFileName("c.RTF"));  // compared as written
  EXPECT_FALSE(IsRtfFileName("c.txt"));
  EXPECT_FALSE(IsRtfFileName("dir.rtf/c"));
}

TEST(TextFile, ByteOrderMarksUtf8AndCp936) {
  EXPECT_EQ(DecodeTextFile(std::string("\xFF\xFE" "a\0-N", 6)), "a中");
  EXPECT_EQ(DecodeTextFile(std::string("\xFE\xFF" "\0aN-", 6)), "a中");
  EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBF中文"), "中文");
  EXPECT_EQ(DecodeTextFile("中文"), "中文");
  EXPECT_EQ(DecodeTextFile("\xD6\xD0\xCE\xC4"), "中文");
  EXPECT_EQ(DetectTextFileEncoding("plain"), TextFileEncoding::kUtf8);
}

TEST(CodePages, CharsetsAndDoubleByteDecoding) {
  EXPECT_EQ(CodePageOfCharset(134, 1252), 936);
  EXPECT_EQ(CodePageOfCharset(0, 936), 1252);
  EXPECT_EQ(CodePageOfCharset(1, 936), 936);
  EXPECT_EQ(CodePageOfCharset(128, 1252), 932);
  std::u16string out;
  AppendCodePageText("a\xD6\xD0", 936, out);
  AppendCodePageText("\x83\x4e", 932, out);  // a Japanese trail byte may be ASCII
  AppendCodePageText("\xE9", 1252, out);
  EXPECT_EQ(out, u"a中クé");
  std::string bytes;
  EXPECT_TRUE(EncodeInCodePage(u'中', 936, bytes));
  EXPECT_TRUE(EncodeInCodePage(u'\x20AC', 936, bytes));  // 0x80 in Microsoft's table
  EXPECT_EQ(bytes, "\xD6\xD0\x80");
  EXPECT_FALSE(EncodeInCodePage(u'\xAC00', 936, bytes));  // Hangul is not in 936
}

std::vector<RtfToken> Lex(std::string_view in) {
  std::vector<RtfToken> v;
  RtfLexer lexer(in);
  for (RtfToken t = lexer.Next(); t.type != RtfTokenType::kEnd; t = lexer.Next()) v.push_back(t);
  return v;
}

TEST(Lexer, TokensOfOrdinaryAndHostileInput) {
  auto v = Lex("{\\fs-24 ab\\'d6\\*\\par\r\nc}");
  ASSERT_EQ(v.size(), 8u);
  EXPECT_EQ(v[1].word, "fs");
  EXPECT_EQ(v[1].param, -24);
  EXPECT_EQ(v[2].text, "ab");
  EXPECT_EQ(v[3].byte, 0xD6);
  EXPECT_EQ(v[4].type, RtfTokenType::kControlSymbol);
  EXPECT_EQ(v[6].text, "c");
  // \bin data is taken whole, braces included, and ends with the input.
  v = Lex("\\bin3 {}\\x");
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].type, RtfTokenType::kBinary);
  EXPECT_EQ(v[0].text, "{}\\");
  v = Lex("\\bin2000000000 ab");
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].text, "ab");
  // Bad escapes are dropped, huge parameters clamped, long words kept whole.
  v = Lex("\\'zq\\'4");
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].text, "zq");
  v = Lex("\\fs99999999999999999999999 \\" + std::string(100, 'k') + "1");
  EXPECT_EQ(v[0].param, 2147483647);
  EXPECT_EQ(v[1].word.size(), 100u);
  EXPECT_TRUE(Lex("\\").empty());
}

}  // namespace
}  // namespace zorbek
