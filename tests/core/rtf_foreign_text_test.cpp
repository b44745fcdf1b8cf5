// Notes written elsewhere: the plain-text scan and the search over text in other code pages,
// in "\uN", and in groups that hold a "\*" after their text.
#include <gtest/gtest.h>

#include <string>

#include "core/rtf/plain_text.h"
#include "core/rtf/rtf_codepage.h"
#include "core/search/keyword.h"
#include "core/text/cp936.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::TempDir;
using testing::WriteFile;

// "зима" in code page 1251, in a Cyrillic font of a Russian document.
constexpr const char* kCyrillic =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
    "\\pard\\f0\\fs20 \\'e7\\'e8\\'ec\\'e0 \\'e1\\'fb\\'eb\\'e0\\par}";
// "バージョン" in Shift-JIS, in a Japanese font of an English document.
constexpr const char* kJapanese =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fnil\\fcharset128 "
    "MS Gothic;}}\\pard\\f0 Release \\f1\\'83\\'6f\\'81\\'5b\\'83\\'57\\'83\\'87\\'83\\'93\\f0  "
    "2\\par}";
// "café" and curly quotes as WordPad writes them with no code page named.
constexpr const char* kWestern =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil Arial;}}\\pard\\f0 caf\\'e9 \\'93ok\\'94\\par}";
// A Chinese note with no code page named anywhere, as old rich edit controls wrote.
constexpr const char* kUnnamedChinese =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil MS Sans Serif;}}\\pard\\f0 \\'d6\\'d0\\'ce\\'c4\\par}";

TEST(RtfForeignText, TheUnicodeTextDecodesEachFontInItsCodePage) {
  EXPECT_EQ(ScanPlainTextUnicode(kCyrillic), "зима была\n");
  EXPECT_EQ(ScanPlainTextUnicode(kJapanese), "Release バージョン 2\n");
  EXPECT_EQ(ScanPlainTextUnicode(kWestern), "café “ok”\n");
  EXPECT_EQ(ScanPlainTextUnicode(kUnnamedChinese), "中文\n");
  // The Macintosh code pages: the document's \mac, and a Japanese font of charset 128 on it.
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1\\mac{\\fonttbl{\\f0 Helvetica;}}\\f0 caf\\'8e\\par}"),
            "café\n");
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1\\ansi\\ansicpg10001{\\fonttbl{\\f0 Osaka;}}\\f0 "
                                 "\\'83\\'6f\\'81\\'5b\\par}"),
            "バー\n");
  // Cells, rows and lines keep their words apart; a non-breaking space is a space.
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1 a\\cell b\\cell\\row c\\~d\\line e}"), "a\tb\t\nc\u00a0d\ne");
  // List markers are not text; a Word shape's text box is; nothing after the document counts.
  std::string shapes = "{\\rtf1{\\pntext 1.\\tab}item\\par{\\shp{\\*\\shpinst{\\sp{\\sn a}{\\sv 1}}"
                       "{\\shptxt box}}{\\shprslt box}}\\par}";
  shapes += std::string(1, '\0') + "after";
  EXPECT_EQ(ScanPlainTextUnicode(shapes), "item\nbox\n");
  // A group that changes the font gives the font of the group around it back.
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}"
                                 "{\\f1\\fcharset204 Arial;}}\\f0 \\'d6\\'d0{\\f1 \\'e7}\\'ce\\'c4}"),
            "中з文");
  // A character of code page 936 split between an escape and what follows it (a word, a byte
  // of plain text, the end of the document) reads as it would in one piece.
  const std::string split = "{\\rtf1\\ansi\\ansicpg936 \\'d6\\b\\'d0\\'ce\xc4 \\'b9\\par\\'fa\\'d6\\'d6}";
  EXPECT_EQ(ScanPlainTextUnicode(split), CodePageToUtf8("\xd6\xd0\xce\xc4 \xb9\n\xfa\xd6\xd6", 936));
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1\\ansi\\ansicpg936 \\'d6\\u20013?\\'d6\\'d0}"),
            CodePageToUtf8("\xd6", 936) + "中中");
}

TEST(RtfForeignText, TheByteScanKeepsCodePage936AndMarksTextItCannotShow) {
  const PlainTextScan chinese = ScanPlainText(kUnnamedChinese);
  EXPECT_EQ(chinese.text, "\xd6\xd0\xce\xc4\n");
  EXPECT_FALSE(ScanPlainText("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}"
                             "{\\f1\\fcharset0 Arial;}}\\f0 \\'d6\\'d0\\f1  plain ascii}")
                   .foreign);
  EXPECT_TRUE(ScanPlainText(kCyrillic).foreign);
  EXPECT_TRUE(ScanPlainText(kJapanese).foreign);
  EXPECT_TRUE(ScanPlainText(kWestern).foreign);
  EXPECT_TRUE(ScanPlainText("{\\rtf1\\ansi\\ansicpg936 \\u1079?\\par}").foreign);
}

TEST(RtfForeignText, AStarAfterTextOfItsGroupSkipsNothing) {
  // The only paragraph is in a group whose text comes before an unknown "\*\word".
  const char* rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0 Arial;}}"
                    "{\\f0 first \\*\\unknownword second\\par}{\\*\\skipped gone}}";
  EXPECT_EQ(ScanPlainText(rtf).text, "first second\n");
  EXPECT_EQ(ScanPlainTextUnicode(rtf), "first second\n");
}

TEST(RtfForeignText, TheSearchFindsCyrillicJapaneseAndWesternNotes) {
  TempDir dir;
  const std::string cyrillic = dir / "ru.esr", japanese = dir / "ja.esr",
                    western = dir / "fr.esr", chinese = dir / "zh.esr";
  WriteFile(cyrillic, kCyrillic);
  WriteFile(japanese, kJapanese);
  WriteFile(western, kWestern);
  WriteFile(chinese, kUnnamedChinese);
  // Every one of these keywords has a form in code page 936, so the byte test comes first.
  const SearchKeyword zima("зима"), version("バージョン"), cafe("café"), zhongwen("中文");
  ASSERT_TRUE(zima.InCp936() && version.InCp936() && cafe.InCp936() && zhongwen.InCp936());
  EXPECT_TRUE(zima.MatchesDocument(cyrillic));
  EXPECT_TRUE(version.MatchesDocument(japanese));
  EXPECT_TRUE(cafe.MatchesDocument(western));
  EXPECT_TRUE(zhongwen.MatchesDocument(chinese));
  for (const std::string& other : {japanese, western, chinese}) EXPECT_FALSE(zima.MatchesDocument(other));
  for (const std::string& other : {cyrillic, western, chinese}) EXPECT_FALSE(version.MatchesDocument(other));
  EXPECT_FALSE(cafe.MatchesDocument(cyrillic));
  // Text in "\uN" is found too, in a note whose bytes say nothing of it.
  const std::string unicode = dir / "u.esr";
  WriteFile(unicode, "{\\rtf1\\ansi\\ansicpg936\\uc1 \\u1079?\\u1080?\\u1084?\\u1072?\\par}");
  EXPECT_TRUE(zima.MatchesDocument(unicode));
}

TEST(RtfForeignText, OnlyPairsOfHighBytesLookLikeCodePage936) {
  EXPECT_TRUE(LooksLikeCp936("\xd6\xd0 abc \xce\xc4"));
  EXPECT_FALSE(LooksLikeCp936("caf\xe9"));
  EXPECT_FALSE(LooksLikeCp936("\x93ok\x94"));
  EXPECT_FALSE(LooksLikeCp936("plain"));
}

TEST(RtfForeignText, SymbolFontsGiveTheCharactersTheyShow) {
  const char* rtf =
      "{\\rtf1\\ansi\\ansicpg1250\\deff0{\\fonttbl{\\f0\\fnil\\fcharset2 Symbol;}"
      "{\\f1\\fnil\\fcharset238 MS Shell Dlg 2;}{\\f2\\fnil\\fcharset2 Wingdings;}{\\f3\\fcharset2;}}"
      "\\pard\\f0\\fs23\\'c5 ab\\'b7\\f1\\fs17  x \\f0\\u-3913?\\f2\\'d8\\'fc\\'21\\f3\\'ab\\par}";
  EXPECT_EQ(ScanPlainTextUnicode(rtf), "⊕ αβ• x •➢✔\xef\x80\xa1↔\n");
  // Latin letters of the Symbol font are Greek ones: the search looks at the decoded text.
  EXPECT_TRUE(ScanPlainText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset2 Symbol;}}\\f0 abc\\par}").foreign);
  // Another font of the symbol character set keeps its letters.
  EXPECT_EQ(ScanPlainTextUnicode("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset2 Marlett;}}\\f0 ab\\'e9\\par}"),
            "abé\n");
}

}  // namespace
}  // namespace zorbek
