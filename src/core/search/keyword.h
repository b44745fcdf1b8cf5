// The keyword of a search and its two tests: the document path, then the note's plain text.
//
// A keyword that code page 936 can hold is matched as the program always has: a case-sensitive
// substring of code page 936 bytes that never starts on the second byte of a character. A
// keyword with characters outside code page 936 (Korean, emoji, rare CJK) could never be found
// that way, since the plain-text scan turns such characters into "?"; it is matched in Unicode
// against the path and against the text with every "\uN" read as its character. A keyword of
// code page 936 that a note's bytes do not hold is also looked for in that Unicode text when
// the note has text in another code page or in "\uN" (a note from elsewhere).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorbek {

// The most bytes of a keyword in code page 936 (the keyword box holds 49).
inline constexpr std::size_t kMaxKeywordBytes = 49;

// The longest start of the UTF-8 text whose code page 936 form takes at most maxBytes, cut
// between characters.
std::string CutToCp936Bytes(std::string_view utf8, std::size_t maxBytes);

class SearchKeyword {
 public:
  explicit SearchKeyword(std::string_view utf8);

  const std::string& Utf8() const { return utf8_; }
  bool Empty() const { return utf8_.empty(); }
  // False when the keyword holds a character that code page 936 has not.
  bool InCp936() const { return inCp936_; }

  // The path test (the path is UTF-8, as the program keeps it).
  bool MatchesPath(std::string_view documentPath) const;
  // The text test on the document's file; a file that cannot be read has no text.
  bool MatchesDocument(const std::string& documentPath) const;
  // The text test on text already extracted (code page 936 bytes, or UTF-8 when !InCp936()).
  bool MatchesText(std::string_view text) const;

 private:
  std::string utf8_;
  std::string cp936_;
  bool inCp936_ = true;
};

}  // namespace zorbek
