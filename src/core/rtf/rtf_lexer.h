// Splits RTF bytes into tokens for the document reader: group braces, control words with their
// parameters, control symbols, runs of text, hexadecimal escapes and \bin data.
//
// The lexer never allocates: every token refers to the input. It accepts any input: a control
// word of any length, a parameter of any number of digits (clamped to 32 bits), a \bin count
// larger than the rest of the input (the data ends with the input), a bad "\'" escape (dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorbek {

enum class RtfTokenType : std::uint8_t {
  kEnd,           // the input is exhausted
  kGroupStart,    // "{"
  kGroupEnd,      // "}"
  kControlWord,   // "\" letters [-digits] (the delimiting blank is consumed)
  kControlSymbol, // "\" and one other character (word holds that character)
  kText,          // bytes that are none of "\", "{", "}", CR, LF, NUL
  kHex,           // "\'" and two hexadecimal digits (byte holds the value)
  kBinary,        // "\binN" followed by its data (text holds the data)
};

struct RtfToken {
  RtfTokenType type = RtfTokenType::kEnd;
  std::string_view word;  // control word or symbol
  bool hasParam = false;
  std::int32_t param = 0;
  std::string_view text;  // kText run or kBinary data
  unsigned char byte = 0; // kHex
  std::size_t offset = 0; // where the token starts in the input
  std::size_t end = 0;    // one past its last byte
};

class RtfLexer {
 public:
  explicit RtfLexer(std::string_view input) : in_(input) {}
  RtfToken Next();
  // Right after a kHex token: appends the bytes of the "\'xx" escapes that follow it at once
  // (nothing between them) to out and moves past them, as that many kHex tokens would. Chinese
  // text is a long chain of such escapes.
  void TakeHexRun(std::string& out);
  std::size_t Position() const { return pos_; }
  std::string_view Input() const { return in_; }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
};

}  // namespace zorbek
