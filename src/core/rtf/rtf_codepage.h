// Code pages of RTF text: which code page a font's character set means, and decoding of the
// bytes of "\'xx" escapes and 8-bit text in that code page.
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

// The code page of an RTF \fcharset value. Charset 1 (default) and unknown values give
// ansiCodePage. The symbol charset (2) gives Windows-1252: the letters of a symbol font this
// system has no table for stay visible.
int CodePageOfCharset(int charset, int ansiCodePage);

// Code pages of the symbol fonts, whose bytes stand for signs rather than letters: Symbol
// (Windows' own number for it) and Wingdings (a number of this system's). Their bytes read as
// the characters Unicode has for those signs; a byte without one as U+F0xx, the private-use
// code that Word and LibreOffice give it.
inline constexpr int kSymbolCodePage = 42;
inline constexpr int kWingdingsCodePage = 0x57494E;
bool IsSymbolCodePage(int codePage);

// The code page of the text of a font: a symbol font by its name (Symbol, Wingdings; without a
// name, \fcharset2 means Symbol); else its \cpg, else its \fcharset (-1: none), else
// ansiCodePage.
int CodePageOfFont(std::string_view name, int charset, int cpg, int ansiCodePage);

// A character "\uN" gives in a font of the code page: in a symbol font, the private-use code
// U+F0xx (as Word writes the font's bytes) is the character of byte xx; else ch itself.
char16_t SymbolFontCharacter(char16_t ch, int codePage);
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
// on success its bytes are appended to out. In a symbol font, only the characters of its table
// (the letters A..Z, a..z stand for Greek there: "A" has no form, "Α" is 0x41).
bool EncodeInCodePage(char16_t ch, int codePage, std::string& out);

}  // namespace zorbek
