#include <gtest/gtest.h>

#include <algorithm>

#include "core/rtf/rtf_codepage.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

TEST(Cp936, ConvertsBothWaysWithMicrosoftsMapping) {
  EXPECT_EQ(Utf8ToCp936("中文abc"), "\xD6\xD0\xCE\xC4" "abc");
  EXPECT_EQ(Cp936ToUtf8("\xD6\xD0\xCE\xC4" "abc"), "中文abc");
  // Microsoft's table: 0x80 is the euro sign, AAA1 lies in the private use area, and the
  // single byte FF is not a character but must not be lost silently.
  EXPECT_EQ(Cp936ToUtf8("\x80"), "€");
  EXPECT_EQ(Utf8ToCp936("€"), "\x80");
  EXPECT_EQ(Cp936ToUtf8("\xAA\xA1"), "\xEE\x80\x80");  // U+E000
  EXPECT_EQ(Utf8ToCp936("\xEE\x80\x80"), "\xAA\xA1");
  EXPECT_EQ(Cp936ToUtf8("\xA1\x40"), "\xEE\x93\x86");  // U+E4C6
}

TEST(Cp936, UnmappableCharactersAreReported) {
  bool lossless = true;
  EXPECT_EQ(Utf8ToCp936("a😀b", &lossless), "a?b");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(Utf8ToCp936("a中b", &lossless), "a\xD6\xD0" "b");
  EXPECT_TRUE(lossless);
  EXPECT_EQ(Cp936Length("中文ab"), 6u);
  EXPECT_EQ(Cp936Length("😀"), 1u);
}

TEST(Cp936, OtherCodePages) {
  EXPECT_EQ(CodePageToUtf8("caf\xE9", 1252), "café");
  EXPECT_EQ(CodePageToUtf8("\x82\xA0", 932), "あ");
  EXPECT_EQ(CodePageToUtf8("\xA4\xA4", 950), "中");
  EXPECT_TRUE(IsKnownCodePage(936));
  EXPECT_FALSE(IsKnownCodePage(123456));
}

TEST(Cp936, SearchNeverMatchesAcrossTwoCharacters) {
  // "中文" is D6 D0 CE C4; D0 CE is also a character ("形"), but it straddles two.
  const std::string hay = Utf8ToCp936("中文");
  EXPECT_EQ(FindCp936(hay, Utf8ToCp936("形")), std::string::npos);
  EXPECT_EQ(FindCp936(hay, Utf8ToCp936("文")), 2u);
  // A trail byte that looks like ASCII: 0x81 0x41 is one character, the 'A' is not an 'A'.
  EXPECT_EQ(FindCp936("\x81" "A", "A"), std::string::npos);
  EXPECT_EQ(FindCp936("\x81" "AA", "A"), 2u);
  EXPECT_EQ(FindCp936("\x81" "A", "a", true), std::string::npos);
  EXPECT_EQ(FindCp936("xxHeLLo", "hello", true), 2u);
  EXPECT_EQ(FindCp936("abc", ""), 0u);
  EXPECT_EQ(FindCp936("ab", "abc"), std::string::npos);
}

TEST(Cp936, CaseFoldingTouchesLatinLettersOnly) {
  EXPECT_EQ(FoldLatinCase("ABC中Ä"), "abc中Ä");
  EXPECT_TRUE(EqualsIgnoreLatinCase("ReadMe", "README"));
  EXPECT_FALSE(EqualsIgnoreLatinCase("Ä", "ä"));
  EXPECT_EQ(FoldLatinCaseCp936("\x81" "AB"), "\x81" "Ab");
}

TEST(Cp936, Utf8AndUtf16) {
  EXPECT_TRUE(IsValidUtf8("中文 ok"));
  EXPECT_FALSE(IsValidUtf8("\xD6\xD0"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a中😀")), "a中😀");
  EXPECT_EQ(Utf8ToUtf16("😀").size(), 2u);
  EXPECT_EQ(Utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace zorbek

namespace zorbek {
namespace {

// The appending reading takes a character at a time, through a table of pairs made from the
// converter; it must read every sequence as the converter reads the whole text at once: every
// lead byte with every second byte (an illegal second byte among them), a lead byte at the end,
// the single bytes 0x80 and 0xFF, surrounded by ASCII.
TEST(Cp936, AppendedReadingMatchesTheConverterOnEverySequence) {
  std::string bytes = "ab";
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int second = 0; second <= 0xFF; ++second) {
      bytes.push_back(static_cast<char>(lead));
      bytes.push_back(static_cast<char>(second));
      if (second % 7 == 0) bytes += second % 2 ? "\x80" : "\xFF";
    }
  bytes.push_back('\xB0');  // a lead byte with nothing after it
  std::string appended = "kept ";
  AppendCodePageUtf8(bytes, 936, appended);
  EXPECT_EQ(appended, "kept " + CodePageToUtf8(bytes, 936));
  // The editor's reading, as UTF-16, takes the same table and must read alike (the converter's
  // stand-in U+001A is shown as U+FFFD there).
  std::u16string units = u"kept ";
  AppendCodePageText(bytes, 936, units);
  std::u16string expected = u"kept " + Utf8ToUtf16(CodePageToUtf8(bytes, 936));
  std::replace(expected.begin(), expected.end(), u'\x1A', u'\xFFFD');
  EXPECT_TRUE(units == expected);
  std::string other;
  AppendCodePageUtf8("caf\xE9", 1252, other);
  EXPECT_EQ(other, "café");
}

}  // namespace
}  // namespace zorbek
