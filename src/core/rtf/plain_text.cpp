#include "core/rtf/plain_text.h"

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace zorbek {
namespace {

using Kind = RtfKeywordKind;

// Property slots. Several keywords share a slot (the four alignments, the section breaks, the
// page number formats); their fixed default is the value they store.
enum Prop : int {
  kPropBold, kPropUnderline, kPropItalic, kPropLeftIndent, kPropRightIndent, kPropFirstIndent,
  kPropColumns, kPropSectionBreak, kPropPageNumberX, kPropPageNumberY, kPropPageNumberFormat,
  kPropJustification, kPropPaperWidth, kPropPaperHeight, kPropMarginLeft, kPropMarginRight,
  kPropMarginTop, kPropMarginBottom, kPropPageNumberStart, kPropFacingPages, kPropLandscape,
  kPropCount
};

enum Special : int { kSpecialBin, kSpecialSkipDest, kSpecialHex };

constexpr RtfKeyword kTable[kRtfKeywordCount] = {
    // properties
    {"b", 1, false, Kind::kProperty, kPropBold},
    {"u", 1, false, Kind::kProperty, kPropUnderline},
    {"i", 1, false, Kind::kProperty, kPropItalic},
    {"li", 0, false, Kind::kProperty, kPropLeftIndent},
    {"ri", 0, false, Kind::kProperty, kPropRightIndent},
    {"fi", 0, false, Kind::kProperty, kPropFirstIndent},
    {"cols", 1, false, Kind::kProperty, kPropColumns},
    {"sbknone", 0, true, Kind::kProperty, kPropSectionBreak},
    {"sbkcol", 1, true, Kind::kProperty, kPropSectionBreak},
    {"sbkeven", 2, true, Kind::kProperty, kPropSectionBreak},
    {"sbkodd", 3, true, Kind::kProperty, kPropSectionBreak},
    {"sbkpage", 4, true, Kind::kProperty, kPropSectionBreak},
    {"pgnx", 0, false, Kind::kProperty, kPropPageNumberX},
    {"pgny", 0, false, Kind::kProperty, kPropPageNumberY},
    {"pgndec", 0, true, Kind::kProperty, kPropPageNumberFormat},
    {"pgnucrm", 1, true, Kind::kProperty, kPropPageNumberFormat},
    {"pgnlcrm", 2, true, Kind::kProperty, kPropPageNumberFormat},
    {"pgnucltr", 3, true, Kind::kProperty, kPropPageNumberFormat},
    {"pgnlcltr", 4, true, Kind::kProperty, kPropPageNumberFormat},
    {"qc", 1, true, Kind::kProperty, kPropJustification},
    {"ql", 0, true, Kind::kProperty, kPropJustification},
    {"qr", 2, true, Kind::kProperty, kPropJustification},
    {"qj", 3, true, Kind::kProperty, kPropJustification},
    {"paperw", 12240, false, Kind::kProperty, kPropPaperWidth},
    {"paperh", 15480, false, Kind::kProperty, kPropPaperHeight},
    {"margl", 1800, false, Kind::kProperty, kPropMarginLeft},
    {"margr", 1800, false, Kind::kProperty, kPropMarginRight},
    {"margt", 1440, false, Kind::kProperty, kPropMarginTop},
    {"margb", 1440, false, Kind::kProperty, kPropMarginBottom},
    {"pgnstart", 1, true, Kind::kProperty, kPropPageNumberStart},
    {"facingp", 1, true, Kind::kProperty, kPropFacingPages},
    {"landscape", 1, true, Kind::kProperty, kPropLandscape},
    // characters
    {"par", 0, false, Kind::kCharacter, '\n'},
    {"\n", 0, false, Kind::kCharacter, '\n'},
    {"\r", 0, false, Kind::kCharacter, '\n'},
    {"tab", 0, false, Kind::kCharacter, '\t'},
    {"ldblquote", 0, false, Kind::kCharacter, '"'},
    {"rdblquote", 0, false, Kind::kCharacter, '"'},
    // specials
    {"bin", 0, false, Kind::kSpecial, kSpecialBin},
    {"*", 0, false, Kind::kSpecial, kSpecialSkipDest},
    {"'", 0, false, Kind::kSpecial, kSpecialHex},
    // destinations
    {"author", 0, false, Kind::kDestination, 0},
    {"buptim", 0, false, Kind::kDestination, 0},
    {"colortbl", 0, false, Kind::kDestination, 0},
    {"comment", 0, false, Kind::kDestination, 0},
    {"creatim", 0, false, Kind::kDestination, 0},
    {"doccomm", 0, false, Kind::kDestination, 0},
    {"fonttbl", 0, false, Kind::kDestination, 0},
    {"footer", 0, false, Kind::kDestination, 0},
    {"footerf", 0, false, Kind::kDestination, 0},
    {"footerl", 0, false, Kind::kDestination, 0},
    {"footerr", 0, false, Kind::kDestination, 0},
    {"footnote", 0, false, Kind::kDestination, 0},
    {"ftncn", 0, false, Kind::kDestination, 0},
    {"ftnsep", 0, false, Kind::kDestination, 0},
    {"ftnsepc", 0, false, Kind::kDestination, 0},
    {"header", 0, false, Kind::kDestination, 0},
    {"headerf", 0, false, Kind::kDestination, 0},
    {"headerl", 0, false, Kind::kDestination, 0},
    {"headerr", 0, false, Kind::kDestination, 0},
    {"info", 0, false, Kind::kDestination, 0},
    {"keywords", 0, false, Kind::kDestination, 0},
    {"operator", 0, false, Kind::kDestination, 0},
    {"pict", 0, false, Kind::kDestination, 0},
    {"printim", 0, false, Kind::kDestination, 0},
    {"private1", 0, false, Kind::kDestination, 0},
    {"revtim", 0, false, Kind::kDestination, 0},
    {"rxe", 0, false, Kind::kDestination, 0},
    {"stylesheet", 0, false, Kind::kDestination, 0},
    {"subject", 0, false, Kind::kDestination, 0},
    {"tc", 0, false, Kind::kDestination, 0},
    {"title", 0, false, Kind::kDestination, 0},
    {"txe", 0, false, Kind::kDestination, 0},
    {"xe", 0, false, Kind::kDestination, 0},
    // escaped braces and backslash
    {"{", 0, false, Kind::kCharacter, '{'},
    {"}", 0, false, Kind::kCharacter, '}'},
    {"\\", 0, false, Kind::kCharacter, '\\'},
};

// Lookup gives exactly the first match of a scan of the table in order (the keywords are
// distinct), but through buckets by first byte so that a document full of "\'" escapes does
// not pay for 77 comparisons each.
struct KeywordIndex {
  std::array<std::vector<std::uint8_t>, 256> buckets;
  KeywordIndex() {
    for (int i = 0; i < kRtfKeywordCount; ++i)
      buckets[static_cast<unsigned char>(kTable[i].keyword[0])].push_back(
          static_cast<std::uint8_t>(i));
  }
};

const KeywordIndex& Index() {
  static const KeywordIndex index;
  return index;
}

enum class Dest : std::uint8_t { kNormal, kSkip };
enum class Input : std::uint8_t { kNormal, kBinary, kHex };

struct GroupRecord {
  Dest dest;
  Input input;
  std::array<std::int32_t, kPropCount> props;
};

// Byte sources. Get() returns -1 at the end; Unget() steps back over the byte just read.
class MemorySource {
 public:
  explicit MemorySource(std::string_view s)
      : p_(reinterpret_cast<const unsigned char*>(s.data())), end_(p_ + s.size()) {}
  int Get() { return p_ < end_ ? *p_++ : -1; }
  void Unget() { --p_; }

 private:
  const unsigned char* p_;
  const unsigned char* end_;
};

class FileSource {
 public:
  explicit FileSource(std::FILE* f) : f_(f) {}
  int Get() {
    if (pos_ < len_) return buf_[pos_++];
    if (eof_) return -1;
    // Keep the last byte so that Unget() works across a refill.
    if (len_ > 0) {
      buf_[0] = buf_[len_ - 1];
      pos_ = 1;
    } else {
      pos_ = 0;
    }
    const std::size_t n = std::fread(buf_.data() + pos_, 1, buf_.size() - pos_, f_);
    len_ = pos_ + n;
    if (n == 0) {
      eof_ = true;
      return -1;
    }
    return buf_[pos_++];
  }
  void Unget() { --pos_; }

 private:
  std::FILE* f_;
  std::array<unsigned char, 1 << 16> buf_{};
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;
};

bool IsAsciiLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

template <class Source>
class Scanner {
 public:
  explicit Scanner(Source& src) : src_(src) {}

  PlainTextScan Run() {
    PlainTextScan result;
    result.code = Loop();
    result.text = std::move(out_);
    return result;
  }

 private:
  RtfScanCode Loop() {
    for (;;) {
      if (depth_ < 0) return RtfScanCode::kStackUnderflow;
      const int c = src_.Get();
      if (c < 0) break;
      if (input_ == Input::kBinary) {
        EmitBinary(static_cast<unsigned char>(c));
        continue;
      }
      switch (c) {
        case '\r':
        case '\n':
          break;
        case '\\':
          if (RtfScanCode code = ControlWord(); code != RtfScanCode::kComplete) return code;
          break;
        case '{':
          if (depth_ >= kPlainTextMaxDepth) return RtfScanCode::kStackOverflow;
          stack_.push_back(GroupRecord{dest_, input_, props_});
          ++depth_;
          input_ = Input::kNormal;
          break;
        case '}':
          if (stack_.empty()) return RtfScanCode::kStackUnderflow;
          dest_ = stack_.back().dest;
          input_ = stack_.back().input;
          props_ = stack_.back().props;
          stack_.pop_back();
          --depth_;
          break;
        default:
          if (input_ == Input::kNormal) {
            if (dest_ == Dest::kNormal) out_.push_back(static_cast<char>(c));
          } else if (RtfScanCode code = HexDigit(c); code != RtfScanCode::kComplete) {
            return code;
          }
          break;
      }
    }
    if (depth_ < 0) return RtfScanCode::kStackUnderflow;
    if (depth_ > 0) return RtfScanCode::kUnmatchedBrace;
    return RtfScanCode::kComplete;
  }

  void EmitBinary(unsigned char c) {
    if (dest_ == Dest::kNormal) out_.push_back(static_cast<char>(c));
    if (--binaryCount_ <= 0) input_ = Input::kNormal;
  }

  void EmitChar(unsigned char c) {
    if (input_ == Input::kBinary) {
      EmitBinary(c);
      return;
    }
    if (dest_ == Dest::kNormal) out_.push_back(static_cast<char>(c));
  }

  RtfScanCode HexDigit(int c) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else return RtfScanCode::kInvalidHex;
    hexValue_ = hexValue_ * 16 + v;
    if (++hexDigits_ == 2) {
      if (dest_ == Dest::kNormal) out_.push_back(static_cast<char>(hexValue_));
      hexDigits_ = 0;
      hexValue_ = 0;
      input_ = Input::kNormal;
    }
    return RtfScanCode::kComplete;
  }

  RtfScanCode ControlWord() {
    int c = src_.Get();
    if (c < 0) return RtfScanCode::kEndOfFile;
    char keyword[32];
    std::size_t len = 0;
    bool hasParam = false;
    std::int64_t param = 0;
    if (!IsAsciiLetter(c)) {
      keyword[len++] = static_cast<char>(c);
    } else {
      while (IsAsciiLetter(c)) {
        if (len >= 29) return RtfScanCode::kKeywordTooLong;
        keyword[len++] = static_cast<char>(c);
        c = src_.Get();
      }
      bool negative = false;
      if (c == '-') {
        negative = true;
        hasParam = true;
        c = src_.Get();
      }
      int digits = 0;
      while (IsDigit(c)) {
        if (++digits >= 20) return RtfScanCode::kParameterTooLong;
        // 19 digits can exceed a 64-bit value; saturate instead of overflowing.
        const int d = c - '0';
        param = param > (INT64_MAX - d) / 10 ? INT64_MAX : param * 10 + d;
        hasParam = true;
        c = src_.Get();
      }
      if (negative) param = -param;
      if (c >= 0 && c != ' ') src_.Unget();
    }
    Translate(std::string_view(keyword, len), hasParam, param);
    return RtfScanCode::kComplete;
  }

  void Translate(std::string_view keyword, bool hasParam, std::int64_t param) {
    const RtfKeyword* k = FindRtfKeyword(keyword);
    if (!k) {
      if (skipIfUnknown_) dest_ = Dest::kSkip;
      skipIfUnknown_ = false;
      return;
    }
    skipIfUnknown_ = false;
    switch (k->kind) {
      case Kind::kCharacter:
        EmitChar(static_cast<unsigned char>(k->index));
        break;
      case Kind::kDestination:
        dest_ = Dest::kSkip;
        break;
      case Kind::kProperty:
        if (dest_ == Dest::kSkip) break;
        props_[static_cast<std::size_t>(k->index)] = static_cast<std::int32_t>(
            (k->defaultAlwaysReplaces || !hasParam) ? k->defaultParameter : param);
        break;
      case Kind::kSpecial:
        if (k->index == kSpecialBin) {
          // A count of zero or less takes no bytes (the byte after "\bin0" is ordinary input).
          const std::int64_t count = hasParam ? param : k->defaultParameter;
          if (count > 0) {
            input_ = Input::kBinary;
            binaryCount_ = count;
          }
          break;
        }
        if (dest_ == Dest::kSkip) break;
        if (k->index == kSpecialHex) {
          input_ = Input::kHex;
          hexDigits_ = 0;
          hexValue_ = 0;
        } else {
          skipIfUnknown_ = true;
        }
        break;
    }
  }

  Source& src_;
  std::string out_;
  Dest dest_ = Dest::kNormal;
  Input input_ = Input::kNormal;
  std::int64_t binaryCount_ = 0;
  bool skipIfUnknown_ = false;
  int depth_ = 0;
  std::vector<GroupRecord> stack_;
  std::array<std::int32_t, kPropCount> props_{};
  int hexDigits_ = 0;
  int hexValue_ = 0;
};

}  // namespace

const RtfKeyword* RtfKeywordTable() { return kTable; }

const RtfKeyword* FindRtfKeyword(std::string_view keyword) {
  if (keyword.empty()) return nullptr;
  for (std::uint8_t i : Index().buckets[static_cast<unsigned char>(keyword[0])])
    if (kTable[i].keyword == keyword) return &kTable[i];
  return nullptr;
}

PlainTextScan ScanPlainText(std::string_view rtf) {
  MemorySource src(rtf);
  return Scanner<MemorySource>(src).Run();
}

PlainTextScan ScanPlainTextFile(const std::string& path, bool* opened) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (opened) *opened = f != nullptr;
  if (!f) return {};
  auto src = std::make_unique<FileSource>(f);
  PlainTextScan result = Scanner<FileSource>(*src).Run();
  std::fclose(f);
  return result;
}

std::string ExtractPlainText(const std::string& path) { return ScanPlainTextFile(path).text; }

}  // namespace zorbek
