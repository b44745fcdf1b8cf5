// Code pages of RTF text: which code page a font's character set means, and decoding of the
// bytes of "\'xx" escapes and 8-bit text in that code page.
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

// The code page of an RTF \fcharset value. Charset 1 (default) and unknown values give
// ansiCodePage. The symbol charset (2) is read as Windows-1252, so a bullet written in the
// Symbol font stays a visible middle dot.
int CodePageOfCharset(int charset, int ansiCodePage);
// Whether bytes in a document that names no code page read as code page 936: every byte of
// 0x80 or more pairs with the next one into a character of that code page, as the text a
// Chinese rich edit control writes does, and there is at least one pair.
bool LooksLikeCp936(std::string_view bytes);

// The \fcharset value that writes text of a code page (134 for 936, 0 for 1252 ...).
int CharsetOfCodePage(int codePage);

// Appends the UTF-16 form of bytes in a Windows code page to out. ASCII passes through; an
// unknown code page is read as 1252; bytes that form no character become U+FFFD.
void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out);

// Whether one character (a UTF-16 code unit, never a surrogate) has a form in the code page;
// on success its bytes are appended to out.
bool EncodeInCodePage(char16_t ch, int codePage, std::string& out);

}  // namespace zorbek
