#include "core/rtf/rtf_lexer.h"

#include <array>
#include <limits>

namespace zorbek {
namespace {

// Bytes that end a run of text.
constexpr std::array<bool, 256> MakeStops() {
  std::array<bool, 256> t{};
  t['\\'] = t['{'] = t['}'] = t['\r'] = t['\n'] = t['\0'] = true;
  return t;
}
constexpr std::array<bool, 256> kStops = MakeStops();

bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

RtfToken RtfLexer::Next() {
  const std::size_t n = in_.size();
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(in_[i]); };
  for (;;) {
    RtfToken t;
    // Line ends and NUL bytes carry nothing.
    while (pos_ < n && (at(pos_) == '\r' || at(pos_) == '\n' || at(pos_) == '\0')) ++pos_;
    t.offset = pos_;
    if (pos_ >= n) {
      t.end = pos_;
      return t;
    }
    const unsigned char c = at(pos_);
    if (c == '{' || c == '}') {
      t.type = c == '{' ? RtfTokenType::kGroupStart : RtfTokenType::kGroupEnd;
      t.end = ++pos_;
      return t;
    }
    if (c != '\\') {
      std::size_t e = pos_ + 1;
      while (e < n && !kStops[at(e)]) ++e;
      t.type = RtfTokenType::kText;
      t.text = in_.substr(pos_, e - pos_);
      t.end = pos_ = e;
      return t;
    }
    // A backslash.
    if (pos_ + 1 >= n) {  // a lone backslash at the very end carries nothing
      pos_ = n;
      continue;
    }
    const unsigned char s = at(pos_ + 1);
    if (!IsLetter(s)) {
      if (s == '\'') {
        const int hi = pos_ + 2 < n ? HexValue(at(pos_ + 2)) : -1;
        const int lo = pos_ + 3 < n ? HexValue(at(pos_ + 3)) : -1;
        if (hi < 0 || lo < 0) {  // a bad escape is dropped; what follows is read normally
          pos_ += hi < 0 ? 2 : 3;
          continue;
        }
        t.type = RtfTokenType::kHex;
        t.byte = static_cast<unsigned char>(hi * 16 + lo);
        t.end = pos_ += 4;
        return t;
      }
      t.type = RtfTokenType::kControlSymbol;
      t.word = in_.substr(pos_ + 1, 1);
      t.end = pos_ += 2;
      return t;
    }
    std::size_t e = pos_ + 1;
    while (e < n && IsLetter(at(e))) ++e;
    t.type = RtfTokenType::kControlWord;
    t.word = in_.substr(pos_ + 1, e - pos_ - 1);
    bool negative = false;
    if (e < n && at(e) == '-' && e + 1 < n && IsDigit(at(e + 1))) {
      negative = true;
      ++e;
    }
    if (e < n && IsDigit(at(e))) {
      std::int64_t v = 0;
      while (e < n && IsDigit(at(e))) {
        if (v <= std::numeric_limits<std::int32_t>::max()) v = v * 10 + (at(e) - '0');
        ++e;
      }
      if (negative) v = -v;
      if (v > std::numeric_limits<std::int32_t>::max()) v = std::numeric_limits<std::int32_t>::max();
      if (v < std::numeric_limits<std::int32_t>::min()) v = std::numeric_limits<std::int32_t>::min();
      t.hasParam = true;
      t.param = static_cast<std::int32_t>(v);
    }
    if (e < n && at(e) == ' ') ++e;
    t.end = pos_ = e;
    if (t.word == "bin") {
      // The data follows at once; a count beyond the input ends with the input.
      const std::size_t count = t.hasParam && t.param > 0 ? static_cast<std::size_t>(t.param) : 0;
      const std::size_t take = count < n - pos_ ? count : n - pos_;
      t.type = RtfTokenType::kBinary;
      t.text = in_.substr(pos_, take);
      t.end = pos_ += take;
    }
    return t;
  }
}

void RtfLexer::TakeHexRun(std::string& out) {
  const std::size_t n = in_.size();
  while (pos_ + 3 < n && in_[pos_] == '\\' && in_[pos_ + 1] == '\'') {
    const int hi = HexValue(static_cast<unsigned char>(in_[pos_ + 2]));
    const int lo = HexValue(static_cast<unsigned char>(in_[pos_ + 3]));
    if (hi < 0 || lo < 0) break;
    out.push_back(static_cast<char>(hi * 16 + lo));
    pos_ += 4;
  }
}

}  // namespace zorbek
