// Code page 936 (Microsoft's GBK mapping) and the byte-level text rules built on it.
//
// Inside the program every string is UTF-8. Text becomes CP936 bytes only where bytes are
// counted or matched: length limits, keyword search, RTF escapes, the INI file and the files
// of the older note program.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorbek {

// UTF-8 -> CP936. A character without a CP936 form becomes '?'; *lossless (when given) tells
// whether every character had one. Invalid UTF-8 sequences count as unmappable.
std::string Utf8ToCp936(std::string_view utf8, bool* lossless = nullptr);

// CP936 -> UTF-8. A byte that starts no valid character becomes U+FFFD.
std::string Cp936ToUtf8(std::string_view cp936);

// Bytes of any Windows code page (936, 1252, 932, 950, 949, 1250 ... ) -> UTF-8.
// Unknown code pages are read as Windows-1252.
std::string CodePageToUtf8(std::string_view bytes, int codePage);
// The same, appended to out, with no memory of the text's size besides out's.
void AppendCodePageUtf8(std::string_view bytes, int codePage, std::string& out);
// Code page 936 bytes -> UTF-8 appended to out, but for a lead byte at the very end, which waits
// for its second byte: returns how many bytes were taken (all of them, or all but that one).
std::size_t AppendCp936Utf8Whole(std::string_view bytes, std::string& out);
// UTF-8 -> bytes of a Windows code page; unmappable characters become '?'.
std::string Utf8ToCodePage(std::string_view utf8, int codePage, bool* lossless = nullptr);
// Whether the code page names a converter this build knows.
bool IsKnownCodePage(int codePage);

// Number of bytes the text takes in CP936 (unmappable characters count one byte, as '?').
std::size_t Cp936Length(std::string_view utf8);

// True when the first byte of a CP936 double-byte character.
inline bool IsCp936LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
// For each pair of a lead byte and a second byte (lead << 8 | second), the one UTF-16 unit the
// converter reads it as, or 0 where it reads it otherwise (an illegal pair, two units): a
// character's reading does not depend on the ones around it, so such pairs, and bytes that start
// no pair, can be left to the converter one character at a time.
const char16_t* Cp936Pairs();

// Folds the Latin capitals A-Z to lower case and leaves every other byte alone. In UTF-8 no
// byte of a multi-byte character is ASCII, so this is the name comparison of the program.
std::string FoldLatinCase(std::string_view text);
bool EqualsIgnoreLatinCase(std::string_view a, std::string_view b);
// Same, for CP936 bytes: the trail byte of a double-byte character is never folded.
std::string FoldLatinCaseCp936(std::string_view cp936);

// Byte offset of needle in haystack (both CP936), or npos. A match never starts on the trail
// byte of a double-byte character, so "中" never matches across two characters.
std::size_t FindCp936(std::string_view haystack, std::string_view needle,
                      bool ignoreLatinCase = false);

bool IsValidUtf8(std::string_view text);

// UTF-8 <-> UTF-16 (host order code units). Invalid input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Appends the UTF-8 form of one code point (invalid ones become U+FFFD).
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace zorbek
