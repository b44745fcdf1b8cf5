#include "core/rtf/plain_text.h"

#include <fcntl.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/rtf/rtf_codepage.h"
#include "core/text/cp936.h"

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

// Words the scanner treats apart from the keyword table (code pages, Unicode, separators, what
// the editor shows). A control word is looked up once, for its table entry and its word.
enum class Word : std::uint8_t {
  kNone, kUc, kU, kFonttbl, kF, kFcharset, kCpg, kAnsicpg, kMac, kPc, kPca, kDeff,
  kCell, kNestcell, kRow, kNestrow, kLine, kPage, kSect, kTilde, kUnderscore, kEmdash, kEndash,
  kBullet, kLquote, kRquote, kPntext, kListtext, kShprslt, kShpinst, kShptxt,
};

constexpr std::pair<std::string_view, Word> kWords[] = {
    {"uc", Word::kUc}, {"u", Word::kU}, {"fonttbl", Word::kFonttbl}, {"f", Word::kF},
    {"fcharset", Word::kFcharset}, {"cpg", Word::kCpg}, {"ansicpg", Word::kAnsicpg},
    {"mac", Word::kMac}, {"pc", Word::kPc}, {"pca", Word::kPca}, {"deff", Word::kDeff},
    {"cell", Word::kCell}, {"nestcell", Word::kNestcell}, {"row", Word::kRow},
    {"nestrow", Word::kNestrow}, {"line", Word::kLine}, {"page", Word::kPage},
    {"sect", Word::kSect}, {"~", Word::kTilde}, {"_", Word::kUnderscore},
    {"emdash", Word::kEmdash}, {"endash", Word::kEndash}, {"bullet", Word::kBullet},
    {"lquote", Word::kLquote}, {"rquote", Word::kRquote}, {"pntext", Word::kPntext},
    {"listtext", Word::kListtext}, {"shprslt", Word::kShprslt}, {"shpinst", Word::kShpinst},
    {"shptxt", Word::kShptxt},
};

struct KeywordInfo {
  const RtfKeyword* entry = nullptr;  // in the keyword table
  Word word = Word::kNone;
};

// An open-addressing hash of every word above and every keyword of the table: a document of
// half a million control words pays one hash and one comparison for each, not a row of them.
class KeywordIndex {
 public:
  KeywordIndex() {
    for (int i = 0; i < kRtfKeywordCount; ++i) Slot(kTable[i].keyword).info.entry = &kTable[i];
    for (const auto& [text, word] : kWords) Slot(text).info.word = word;
  }
  KeywordInfo Find(std::string_view keyword) const {
    for (std::size_t i = Hash(keyword);; i = (i + 1) & kMask) {
      const Entry& e = slots_[i];
      if (e.text.empty()) return {};
      if (e.text.size() == keyword.size() && Same(e.text.data(), keyword.data(), keyword.size()))
        return e.info;
    }
  }

 private:
  static constexpr std::size_t kSlots = 512;  // over four times the words: short probes
  static constexpr std::size_t kMask = kSlots - 1;
  struct Entry {
    std::string_view text;
    KeywordInfo info;
  };
  // A word is a few letters: compared in place, without a call to memcmp.
  static bool Same(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
  static std::size_t Hash(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (const char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return (h ^ (h >> 15)) & kMask;
  }
  Entry& Slot(std::string_view text) {
    std::size_t i = Hash(text);
    while (!slots_[i].text.empty() && slots_[i].text != text) i = (i + 1) & kMask;
    slots_[i].text = text;
    return slots_[i];
  }
  std::array<Entry, kSlots> slots_{};
};

const KeywordIndex& Index() {
  static const KeywordIndex index;
  return index;
}

// kFontTable: skipped as text, but its fonts' character sets are noted. kShape (Unicode text
// only): a Word shape, skipped as text but for the text of its text box.
enum class Dest : std::uint8_t { kNormal, kSkip, kFontTable, kShape };
enum class Input : std::uint8_t { kNormal, kBinary, kHex };

struct GroupRecord {
  Dest dest;
  Input input;
  std::int32_t unicodeSkip;  // the \ucN of the group (Unicode text only)
  std::int32_t font;         // the \fN of the group
  std::array<std::int32_t, kPropCount> props;
};

// Byte sources. Get() returns -1 at the end; Unget() steps back over the byte just read.
class MemorySource {
 public:
  explicit MemorySource(std::string_view s)
      : p_(reinterpret_cast<const unsigned char*>(s.data())), end_(p_ + s.size()) {}
  int Get() { return p_ < end_ ? *p_++ : -1; }
  void Unget() { --p_; }

  // Direct access for the scanner's fast paths.
  const unsigned char* p_;
  const unsigned char* end_;
};

// A file read in pieces through one buffer, so that a large note never needs memory of its size.
// The scanner's fast paths work on the piece at hand; Get() brings the next piece and keeps the
// last byte before it, so that Unget() works across the seam. A read error ends the text as the
// end of the file would.
class StreamSource {
 public:
  StreamSource(int fd, unsigned char* buffer, std::size_t size)
      : p_(buffer), end_(buffer), fd_(fd), buffer_(buffer), size_(size) {}
  int Get() { return p_ < end_ ? *p_++ : Refill(); }
  void Unget() { --p_; }

  // Direct access for the scanner's fast paths.
  const unsigned char* p_;
  const unsigned char* end_;

 private:
  int Refill() {
    if (eof_) return -1;
    std::size_t kept = 0;
    if (end_ > buffer_) {
      buffer_[0] = end_[-1];
      kept = 1;
    }
    ssize_t n;
    do {
      n = ::read(fd_, buffer_ + kept, size_ - kept);
    } while (n < 0 && errno == EINTR);
    p_ = buffer_ + kept;
    if (n <= 0) {
      eof_ = true;
      end_ = p_;
      return -1;
    }
    end_ = p_ + n;
    return *p_++;
  }

  int fd_;
  unsigned char* buffer_;
  std::size_t size_;
  bool eof_ = false;
};

bool IsAsciiLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Bytes the main loop must look at one by one: "\", "{", "}", CR and LF. Everything else in a
// run is plain text (kept or skipped as a whole).
struct SpecialBytes {
  std::array<bool, 256> is{};
  SpecialBytes() { is['\\'] = is['{'] = is['}'] = is['\r'] = is['\n'] = true; }
};
const SpecialBytes kSpecial;

// The first byte at or after p that the main loop must look at: "\\", "{", "}", and with
// lineEnds also CR and LF (which a skipped destination ignores anyway). Sixteen bytes at a time
// where the processor has SSE2; picture data runs for many kilobytes without any of them.
const unsigned char* NextSpecial(const unsigned char* p, const unsigned char* end, bool lineEnds) {
#if defined(__SSE2__)
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i open = _mm_set1_epi8('{');
  const __m128i close = _mm_set1_epi8('}');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, backslash),
                               _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
    if (lineEnds) hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  if (lineEnds) {
    while (p < end && !kSpecial.is[*p]) ++p;
  } else {
    while (p < end && *p != '\\' && *p != '{' && *p != '}') ++p;
  }
  return p;
}

struct HexDigits {
  std::array<std::int8_t, 256> value{};
  HexDigits() {
    value.fill(-1);
    for (int c = '0'; c <= '9'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) value[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
  }
};
const HexDigits kHex;

int HexValue(int c) { return c >= 0 && c < 256 ? kHex.value[static_cast<std::size_t>(c)] : -1; }

// The text output. In byte mode it is the document's bytes; in Unicode mode the bytes are read
// in the code page of their font and "\uN" adds its character, all as UTF-8. Either way it
// notes whether the document holds text that its bytes as code page 936 do not show: bytes of
// 0x80 or more in another code page, or "\uN".
class Output {
 public:
  Output(bool unicode, const PlainTextSink* sink) : unicode_(unicode), sink_(sink) {}
  void Byte(unsigned char c) {
    if (skipCount_ > 0) {  // the stand-in bytes of the last "\uN"
      --skipCount_;
      return;
    }
    if ((c >= 0x80 && codePage_ != 936) || symbol_) foreign_ = true;
    bytes_.push_back(static_cast<char>(c));
    if (bytes_.size() >= kPiece) Pass();
  }
  void Run(const unsigned char* p, std::size_t n) {
    while (skipCount_ > 0 && n > 0) {
      --skipCount_;
      ++p;
      --n;
    }
    if (symbol_ && n > 0) foreign_ = true;  // a symbol font's letters are other signs
    if (codePage_ != 936 && !foreign_)
      for (std::size_t i = 0; i < n; ++i)
        if (p[i] >= 0x80) foreign_ = true;
    if (unicode_ && codePage_ == 936) {
      Decode936(p, n);
      return;
    }
    bytes_.append(reinterpret_cast<const char*>(p), n);
    if (bytes_.size() >= kPiece) Pass();
  }
  // The code page of the bytes that follow; 0 when nothing names one (read as 936 where the
  // bytes look like it, else as 1252).
  void CodePage(int codePage) {
    if (codePage == codePage_) return;
    if (unicode_) Flush();
    codePage_ = codePage;
    symbol_ = IsSymbolCodePage(codePage);
  }
  void Unicode() { foreign_ = true; }
  bool Foreign() const { return foreign_; }
  void CodePoint(char32_t cp, int standIns) {
    Flush();
    AppendUtf8(text_, cp);
    skipCount_ = standIns;
  }
  void StandIns(int n) { skipCount_ = n; }
  void EndStandIns() { skipCount_ = 0; }
  // The text not yet handed to the sink (all of it without one).
  std::string Take() {
    if (!unicode_) {
      if (sink_) Hand(bytes_);
      return std::move(bytes_);
    }
    Flush();
    if (sink_) Hand(text_);
    return std::move(text_);
  }

 private:
  // The text is handed to a sink in pieces of about this size.
  static constexpr std::size_t kPiece = 64 * 1024;

  // A long stretch of bytes: as bytes, handed on; as text, the characters it completes are
  // decoded (only where its code page is named: a guessed one is judged on the whole stretch).
  void Pass() {
    if (!unicode_) {
      if (sink_) Hand(bytes_);
      return;
    }
    if (codePage_ != 936) return;
    // Code page 936 characters are one byte below 0x81 and two from a lead byte on, whatever
    // the second byte: the stretch up to the last whole pair decodes as it would in one piece.
    bytes_.erase(0, AppendCp936Utf8Whole(bytes_, text_));
    if (sink_ && text_.size() >= kPiece) Hand(text_);
  }

  // Code page 936 bytes straight to text: a character of 936 reads the same whatever comes
  // before it, so only a lead byte at the end waits, in the stretch of bytes, for the next.
  void Decode936(const unsigned char* p, std::size_t n) {
    if (!bytes_.empty()) {
      bytes_.erase(0, AppendCp936Utf8Whole(bytes_, text_));
      if (!bytes_.empty()) {  // a lead byte, and here its second byte
        if (n == 0) return;
        bytes_.push_back(static_cast<char>(*p++));
        --n;
        AppendCodePageUtf8(bytes_, 936, text_);
        bytes_.clear();
      }
    }
    const std::string_view run(reinterpret_cast<const char*>(p), n);
    const std::size_t taken = AppendCp936Utf8Whole(run, text_);
    if (taken < n) bytes_.push_back(run[taken]);
    if (sink_ && text_.size() >= kPiece) Hand(text_);
  }

  void Hand(std::string& piece) {
    if (!piece.empty()) (*sink_)(piece);
    piece.clear();
  }

  void Flush() {
    if (bytes_.empty()) return;
    int cp = codePage_;
    if (cp == 0) cp = LooksLikeCp936(bytes_) ? 936 : 1252;
    if (cp == 936) {
      AppendCodePageUtf8(bytes_, 936, text_);
    } else {
      units_.clear();
      AppendCodePageText(bytes_, cp, units_);
      for (std::size_t i = 0; i < units_.size(); ++i) {
        char32_t ch = units_[i];
        if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < units_.size() && units_[i + 1] >= 0xDC00 &&
            units_[i + 1] <= 0xDFFF)
          ch = 0x10000 + ((ch - 0xD800) << 10) + (units_[++i] - 0xDC00);
        AppendUtf8(text_, ch);
      }
    }
    bytes_.clear();
    if (sink_ && text_.size() >= kPiece) Hand(text_);
  }
  bool unicode_;
  const PlainTextSink* sink_;
  bool foreign_ = false;
  bool symbol_ = false;
  int codePage_ = 0;
  std::string bytes_;
  std::string text_;
  std::u16string units_;
  int skipCount_ = 0;
};

template <class Source>
class Scanner {
 public:

  Scanner(Source& src, bool unicode, const PlainTextSink* sink = nullptr)
      : src_(src), out_(unicode, sink), unicode_(unicode) {}

  PlainTextScan Run() {
    PlainTextScan result;
    result.code = Loop();
    result.foreign = out_.Foreign();
    result.text = out_.Take();
    return result;
  }

 private:
  RtfScanCode Loop() {
    for (;;) {
      if (depth_ < 0) return RtfScanCode::kStackUnderflow;
      {
        // Runs of plain text in normal input: kept or dropped as a whole. Most of a note's
        // bytes are picture data inside a skipped destination, or text between escapes.
        if (input_ == Input::kNormal) {
          // A kept run stops at CR and LF, which are not text; a skipped one runs over them.
          const bool keep = dest_ == Dest::kNormal;
          const unsigned char* p = NextSpecial(src_.p_, src_.end_, keep);
          if (p != src_.p_) {
            if (dest_ == Dest::kNormal) {
              out_.Run(src_.p_, static_cast<std::size_t>(p - src_.p_));
              fresh_ = false;
            } else if (dest_ == Dest::kFontTable) {
              FontName(src_.p_, static_cast<std::size_t>(p - src_.p_));
            }
            src_.p_ = p;
          }
        }
      }
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
          stack_.push_back(GroupRecord{dest_, input_, unicodeSkip_, font_, props_});
          ++depth_;
          input_ = Input::kNormal;
          fresh_ = true;
          break;
        case '}': {
          if (stack_.empty()) return RtfScanCode::kStackUnderflow;
          const Dest closing = dest_;
          dest_ = stack_.back().dest;
          input_ = stack_.back().input;
          unicodeSkip_ = stack_.back().unicodeSkip;
          props_ = stack_.back().props;
          if (font_ != stack_.back().font || closing == Dest::kFontTable) {
            font_ = stack_.back().font;
            if (dest_ == Dest::kNormal) out_.CodePage(CodePageOfFont(font_));
          }
          stack_.pop_back();
          fresh_ = false;
          --depth_;
          if (unicode_) {
            out_.EndStandIns();
            // Whatever follows the document's group (a NUL a control wrote) is not its text.
            if (depth_ == 0) dest_ = Dest::kSkip;
          }
          break;
        }
        default:
          fresh_ = false;
          if (input_ == Input::kNormal) {
            if (dest_ == Dest::kNormal) {
              out_.Byte(static_cast<unsigned char>(c));
            } else if (dest_ == Dest::kFontTable) {
              const auto byte = static_cast<unsigned char>(c);
              FontName(&byte, 1);
            }
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
    if (dest_ == Dest::kNormal) out_.Byte(c);
    if (--binaryCount_ <= 0) input_ = Input::kNormal;
  }

  void EmitChar(unsigned char c) {
    if (input_ == Input::kBinary) {
      EmitBinary(c);
      return;
    }
    if (dest_ == Dest::kNormal) out_.Byte(c);
  }

  RtfScanCode HexDigit(int c) {
    const int v = HexValue(c);
    if (v < 0) return RtfScanCode::kInvalidHex;
    hexValue_ = hexValue_ * 16 + v;
    if (++hexDigits_ == 2) {
      if (dest_ == Dest::kNormal) out_.Byte(static_cast<unsigned char>(hexValue_));
      hexDigits_ = 0;
      hexValue_ = 0;
      input_ = Input::kNormal;
    }
    return RtfScanCode::kComplete;
  }

  RtfScanCode ControlWord() {
    int c = src_.Get();
    if (c < 0) return RtfScanCode::kEndOfFile;
    {
      // "\'xx" with two hexadecimal digits in a normal destination: the byte at once. Anything
      // else (a skipped destination, a digit missing, CR or LF between the digits) takes the
      // general way through the keyword table and hexadecimal input.
      if (c == '\'' && dest_ == Dest::kNormal && src_.end_ - src_.p_ >= 2) {
        const int hi = HexValue(src_.p_[0]);
        const int lo = hi < 0 ? -1 : HexValue(src_.p_[1]);
        if (lo >= 0) {
          src_.p_ += 2;
          skipIfUnknown_ = false;
          input_ = Input::kNormal;
          hexDigits_ = 0;
          hexValue_ = 0;
          fresh_ = false;
          // Chinese text is a long chain of such escapes: take the ones that follow at once,
          // and hand them on together.
          unsigned char bytes[256];
          std::size_t n = 0;
          bytes[n++] = static_cast<unsigned char>(hi * 16 + lo);
          const unsigned char* p = src_.p_;
          const unsigned char* const end = src_.end_;
          while (end - p >= 4 && p[0] == '\\' && p[1] == '\'') {
            const int h = kHex.value[p[2]];
            const int l = kHex.value[p[3]];
            if ((h | l) < 0) break;
            if (n == sizeof bytes) {
              out_.Run(bytes, n);
              n = 0;
            }
            bytes[n++] = static_cast<unsigned char>(h * 16 + l);
            p += 4;
          }
          out_.Run(bytes, n);
          src_.p_ = p;
          return RtfScanCode::kComplete;
        }
      }
    }
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

  // Unicode text only: "\uN" is a character (N below 0 counts from 65536) followed by \ucN
  // stand-in bytes for readers without Unicode; "\ucN" sets that count for the group.
  bool UnicodeWord(Word word, bool hasParam, std::int64_t param) {
    if (word == Word::kUc && hasParam) {
      unicodeSkip_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(param, 0, 16));
      return true;
    }
    if (word != Word::kU || !hasParam) return false;
    skipIfUnknown_ = false;
    if (dest_ != Dest::kNormal) return true;
    std::int64_t v = param < 0 ? param + 65536 : param;
    if (v < 0 || v > 0xFFFF) v = 0xFFFD;
    const auto unit = static_cast<char16_t>(v);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      highSurrogate_ = unit;  // the low half follows as the next "\uN"
      out_.StandIns(unicodeSkip_);
      return true;
    }
    char32_t cp = unit;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      cp = highSurrogate_ ? 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD;
    }
    highSurrogate_ = 0;
    if (cp >= 0xF020 && cp <= 0xF0FF)
      cp = SymbolFontCharacter(static_cast<char16_t>(cp), CodePageOfFont(font_));
    out_.CodePoint(cp, unicodeSkip_);
    return true;
  }

  // The code page of "\'xx" bytes in a font: its \cpg, else its \fcharset, else the
  // document's; 0 when none of them says.
  int CodePageOfFont(std::int32_t font) const {
    for (const FontCodePage& f : fonts_)
      if (f.font == font) {
        return zorbek::CodePageOfFont(f.name, f.charset, f.codePage, ansiCodePage_);
      }
    return ansiCodePage_;
  }

  // Words that name code pages, outside the keyword table: the document's (\ansicpg, \mac,
  // \pc, \pca, \deff), the font table's (\fN, \fcharsetN, \cpgN) and the text's font (\fN).
  // True when the word was one of them.
  bool CodePageWord(Word word, bool hasParam, std::int64_t param) {
    const auto value = static_cast<std::int32_t>(std::clamp<std::int64_t>(param, -1, 1 << 20));
    if (word == Word::kFonttbl) {
      dest_ = dest_ == Dest::kNormal ? Dest::kFontTable : Dest::kSkip;
      return true;
    }
    if (word == Word::kF && hasParam) {
      if (dest_ == Dest::kFontTable) {
        fonts_.push_back(FontCodePage{value, -1, 0});
      } else if (dest_ == Dest::kNormal) {
        font_ = value;
        out_.CodePage(CodePageOfFont(font_));
      }
      return true;
    }
    if ((word == Word::kFcharset || word == Word::kCpg) && hasParam) {
      if (dest_ == Dest::kFontTable && !fonts_.empty()) {
        (word == Word::kCpg ? fonts_.back().codePage : fonts_.back().charset) = value;
        if (fonts_.back().font == font_) out_.CodePage(CodePageOfFont(font_));
      }
      return true;
    }
    int document = 0;
    if (word == Word::kAnsicpg && hasParam && value > 0) document = value;
    else if (word == Word::kMac) document = 10000;
    else if (word == Word::kPc) document = 437;
    else if (word == Word::kPca) document = 850;
    if (document > 0) {
      if (dest_ == Dest::kNormal) {
        ansiCodePage_ = document;
        out_.CodePage(CodePageOfFont(font_));
      }
      return true;
    }
    if (word == Word::kDeff && hasParam) {
      if (dest_ == Dest::kNormal && stack_.size() <= 1) {
        font_ = value;
        out_.CodePage(CodePageOfFont(font_));
      }
      return true;
    }
    return false;
  }

  // Unicode text only: words that stand for characters the byte scan leaves out, so that the
  // words of table cells, lines and pages stay apart as the editor shows them.
  bool SeparatorWord(Word word) {
    char32_t ch = 0;
    switch (word) {
      case Word::kCell: case Word::kNestcell: ch = U'\t'; break;
      case Word::kRow: case Word::kNestrow: case Word::kLine: case Word::kPage: case Word::kSect:
        ch = U'\n';
        break;
      case Word::kTilde: ch = 0x00A0; break;
      case Word::kUnderscore: ch = 0x2011; break;
      case Word::kEmdash: ch = 0x2014; break;
      case Word::kEndash: ch = 0x2013; break;
      case Word::kBullet: ch = 0x2022; break;
      case Word::kLquote: ch = 0x2018; break;
      case Word::kRquote: ch = 0x2019; break;
      default: return false;
    }
    skipIfUnknown_ = false;
    if (dest_ == Dest::kNormal) out_.CodePoint(ch, 0);
    return true;
  }

  // Unicode text only: what the editor shows and the byte scan reads otherwise. List markers
  // ({\pntext}, {\listtext}) are not text; a Word shape's text box is, its other properties
  // and its result are not.
  bool ShowsAsEditorWord(Word word) {
    if (word == Word::kPntext || word == Word::kListtext || word == Word::kShprslt) {
      dest_ = Dest::kSkip;
    } else if (word == Word::kShpinst) {
      dest_ = dest_ == Dest::kNormal || dest_ == Dest::kShape ? Dest::kShape : Dest::kSkip;
    } else if (word == Word::kShptxt) {
      if (dest_ == Dest::kShape) dest_ = Dest::kNormal;
    } else {
      return false;
    }
    skipIfUnknown_ = false;
    return true;
  }

  void Translate(std::string_view keyword, bool hasParam, std::int64_t param) {
    const bool fresh = fresh_;
    fresh_ = false;
    const KeywordInfo info = Index().Find(keyword);
    if (unicode_ && info.word != Word::kNone &&
        (UnicodeWord(info.word, hasParam, param) || SeparatorWord(info.word) ||
         ShowsAsEditorWord(info.word)))
      return;
    // "\uN" (the table's "\u" is underline) is text the byte scan shows as its stand-ins.
    if (info.word == Word::kU && hasParam && dest_ == Dest::kNormal) out_.Unicode();
    const RtfKeyword* k = info.entry;
    if (!k) {
      if (skipIfUnknown_) dest_ = Dest::kSkip;
      skipIfUnknown_ = false;
      if (dest_ != Dest::kSkip) CodePageWord(info.word, hasParam, param);
      return;
    }
    skipIfUnknown_ = false;
    switch (k->kind) {
      case Kind::kCharacter:
        EmitChar(static_cast<unsigned char>(k->index));
        break;
      case Kind::kDestination:
        if (info.word == Word::kFonttbl) CodePageWord(info.word, hasParam, param);
        else dest_ = Dest::kSkip;
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
          // "\*" marks a destination only as the first thing of its group: one after text or
          // other words would drop the rest of a group that holds text.
          skipIfUnknown_ = fresh;
          fresh_ = fresh;
        }
        break;
    }
  }

  Source& src_;
  Output out_;
  bool unicode_;
  Dest dest_ = Dest::kNormal;
  Input input_ = Input::kNormal;
  std::int64_t binaryCount_ = 0;
  bool skipIfUnknown_ = false;
  int depth_ = 0;
  std::vector<GroupRecord> stack_;
  std::array<std::int32_t, kPropCount> props_{};
  int hexDigits_ = 0;
  int hexValue_ = 0;
  std::int32_t unicodeSkip_ = 1;
  char16_t highSurrogate_ = 0;
  bool fresh_ = false;  // nothing but "\*" since the group opened
  struct FontCodePage {
    std::int32_t font, charset, codePage;
    // The start of the font's name (enough to tell the symbol fonts), until its ";".
    std::string name = {};
    bool named = false;
  };
  void FontName(const unsigned char* p, std::size_t n) {
    if (fonts_.empty() || fonts_.back().named) return;
    FontCodePage& f = fonts_.back();
    for (std::size_t i = 0; i < n; ++i) {
      if (p[i] == ';') {
        f.named = true;
        return;
      }
      if (p[i] != '\r' && p[i] != '\n' && f.name.size() < 16) f.name.push_back(static_cast<char>(p[i]));
    }
  }
  std::vector<FontCodePage> fonts_;
  std::int32_t font_ = 0;
  int ansiCodePage_ = 0;
};

// The piece of a file read at a time. A note of the search fits in one; a larger note is read
// in pieces, so the memory it takes is this buffer's whatever the note's size.
constexpr std::size_t kReadPiece = std::size_t{1} << 20;

// One read buffer per thread, reused from scan to scan so that its pages are not faulted in
// again for every note. Its pages are made at once, in one call: touched one by one, a
// megabyte is 256 faults, which in a virtual machine cost a one-note command (`zorbek-cli
// text`) more than reading the note.
struct ReadBuffer {
  ReadBuffer() {
    void* p = ::mmap(nullptr, kReadPiece, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p != MAP_FAILED) {
      data = static_cast<unsigned char*>(p);
      mapped = true;
    } else {
      data = new unsigned char[kReadPiece];
    }
  }
  ~ReadBuffer() {
    if (mapped)
      ::munmap(data, kReadPiece);
    else
      delete[] data;
  }
  ReadBuffer(const ReadBuffer&) = delete;
  ReadBuffer& operator=(const ReadBuffer&) = delete;
  unsigned char* data = nullptr;
  bool mapped = false;
};

unsigned char* ThreadReadBuffer() {
  thread_local ReadBuffer buffer;
  return buffer.data;
}

PlainTextScan ScanFile(const std::string& path, bool* opened, bool unicode,
                       const PlainTextSink* sink = nullptr) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (opened) *opened = fd >= 0;
  if (fd < 0) return {};
  StreamSource src(fd, ThreadReadBuffer(), kReadPiece);
  PlainTextScan result = Scanner<StreamSource>(src, unicode, sink).Run();
  ::close(fd);
  return result;
}

}  // namespace

const RtfKeyword* RtfKeywordTable() { return kTable; }

const RtfKeyword* FindRtfKeyword(std::string_view keyword) {
  return Index().Find(keyword).entry;
}

PlainTextScan ScanPlainText(std::string_view rtf) {
  MemorySource src(rtf);
  return Scanner<MemorySource>(src, false).Run();
}

PlainTextScan ScanPlainTextFile(const std::string& path, bool* opened) {
  return ScanFile(path, opened, false);
}

std::string ExtractPlainText(const std::string& path) { return ScanPlainTextFile(path).text; }

std::string ScanPlainTextUnicode(std::string_view rtf) {
  MemorySource src(rtf);
  return Scanner<MemorySource>(src, true).Run().text;
}

std::string ExtractPlainTextUnicode(const std::string& path, bool* opened) {
  return ScanFile(path, opened, true).text;
}

bool StreamPlainTextFile(const std::string& path, bool unicode, const PlainTextSink& sink) {
  bool opened = false;
  ScanFile(path, &opened, unicode, &sink);
  return opened;
}

}  // namespace zorbek
