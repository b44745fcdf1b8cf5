#include "core/rtf/rtf_codepage.h"

#include "core/text/cp936.h"
#include "core/text/icu_converter.h"

#include <unicode/ucnv.h>

#include <array>
#include <utility>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace zorbek {
namespace {

UConverter* Converter(int codePage) { return CodePageConverter(codePage); }

// For each BMP character, its bytes in the code page (up to two, high byte first) or 0 when it
// has no form that reads back as the same character.
struct EncodeTable {
  std::vector<std::uint16_t> bytes = std::vector<std::uint16_t>(0x10000, 0);
  std::vector<std::uint8_t> length = std::vector<std::uint8_t>(0x10000, 0);
};

const EncodeTable* EncodeTableFor(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<EncodeTable>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(codePage);
  if (it != tables.end()) return it->second.get();
  UConverter* conv = Converter(codePage);
  if (!conv) {
    tables.emplace(codePage, nullptr);
    return nullptr;
  }
  auto table = std::make_unique<EncodeTable>();
  for (std::uint32_t ch = 0x80; ch < 0x10000; ++ch) {
    if (ch >= 0xD800 && ch <= 0xDFFF) continue;
    const UChar u = static_cast<UChar>(ch);
    char buf[8];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(conv);
    const int32_t n = ucnv_fromUChars(conv, buf, sizeof buf, &u, 1, &status);
    if (U_FAILURE(status) || n < 1 || n > 2) continue;
    // Only round-trip mappings count: a best-fit byte would read back as another character.
    UChar back[4];
    status = U_ZERO_ERROR;
    ucnv_resetToUnicode(conv);
    const int32_t m = ucnv_toUChars(conv, back, 4, buf, n, &status);
    if (U_FAILURE(status) || m != 1 || back[0] != u) continue;
    table->length[ch] = static_cast<std::uint8_t>(n);
    table->bytes[ch] = n == 1 ? static_cast<unsigned char>(buf[0])
                              : static_cast<std::uint16_t>(static_cast<unsigned char>(buf[0]) << 8 |
                                                           static_cast<unsigned char>(buf[1]));
  }
  const EncodeTable* result = table.get();
  tables.emplace(codePage, std::move(table));
  return result;
}

// The characters of the Symbol font's bytes 0x20..0xFF. Bytes the font leaves empty keep their
// private-use code U+F0xx.
constexpr char16_t kSymbolFont[224] = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220D,
    0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,
    0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0xF07F,
    0xF080, 0xF081, 0xF082, 0xF083, 0xF084, 0xF085, 0xF086, 0xF087,
    0xF088, 0xF089, 0xF08A, 0xF08B, 0xF08C, 0xF08D, 0xF08E, 0xF08F,
    0xF090, 0xF091, 0xF092, 0xF093, 0xF094, 0xF095, 0xF096, 0xF097,
    0xF098, 0xF099, 0xF09A, 0xF09B, 0xF09C, 0xF09D, 0xF09E, 0xF09F,
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663,
    0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5,
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    0x22C4, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA,
    0xF0F0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F,
    0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0xF0FF,
};

// The characters of the Wingdings font's bytes that Unicode has and that documents use most
// (list bullets, check marks, boxes, hands, faces); the other bytes keep their private-use
// code U+F0xx, which Word and LibreOffice read as the same picture of the font.
constexpr std::pair<unsigned char, char16_t> kWingdings[] = {
    {0x22, 0x2702}, {0x28, 0x260E}, {0x3F, 0x270D}, {0x41, 0x270C}, {0x45, 0x261C},
    {0x46, 0x261E}, {0x47, 0x261D}, {0x48, 0x261F}, {0x4A, 0x263A}, {0x4C, 0x2639},
    {0x4E, 0x2620}, {0x51, 0x2708}, {0x52, 0x263C}, {0x54, 0x2744}, {0x56, 0x271E},
    {0x58, 0x2720}, {0x59, 0x2721}, {0x5A, 0x262A}, {0x5B, 0x262F}, {0x5D, 0x2638},
    {0x5E, 0x2648}, {0x6C, 0x25CF}, {0x6E, 0x25A0}, {0x6F, 0x25A1}, {0x71, 0x2751},
    {0x72, 0x2752}, {0x75, 0x25C6}, {0x76, 0x2756}, {0x7B, 0x2740}, {0x7C, 0x273F},
    {0x7D, 0x275D}, {0x7E, 0x275E}, {0xA7, 0x25AA}, {0xA8, 0x25FB}, {0xAB, 0x2605},
    {0xD8, 0x27A2}, {0xFB, 0x2717}, {0xFC, 0x2714}, {0xFD, 0x2612}, {0xFE, 0x2611},
};

char16_t SymbolFontByte(unsigned char b, int codePage) {
  if (b < 0x20) return b;
  if (codePage == kSymbolCodePage) return kSymbolFont[b - 0x20];
  for (const auto& [byte, ch] : kWingdings)
    if (byte == b) return ch;
  return static_cast<char16_t>(0xF000 + b);
}

// The byte of a symbol font that shows ch, or -1.
int SymbolFontByteOf(char16_t ch, int codePage) {
  if (ch >= 0xF020 && ch <= 0xF0FF) return ch - 0xF000;
  for (int b = 0x20; b < 0x100; ++b)
    if (SymbolFontByte(static_cast<unsigned char>(b), codePage) == ch) return b;
  return -1;
}

}  // namespace

bool IsSymbolCodePage(int codePage) {
  return codePage == kSymbolCodePage || codePage == kWingdingsCodePage;
}

int CodePageOfFont(std::string_view name, int charset, int cpg, int ansiCodePage) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  if (EqualsIgnoreLatinCase(name, "Symbol") || (name.empty() && charset == 2)) return kSymbolCodePage;
  if (EqualsIgnoreLatinCase(name, "Wingdings")) return kWingdingsCodePage;
  if (cpg > 0) return cpg;
  return CodePageOfCharset(charset < 0 ? 1 : charset, ansiCodePage);
}

char16_t SymbolFontCharacter(char16_t ch, int codePage) {
  if (!IsSymbolCodePage(codePage) || ch < 0xF020 || ch > 0xF0FF) return ch;
  return SymbolFontByte(static_cast<unsigned char>(ch - 0xF000), codePage);
}

int CodePageOfCharset(int charset, int ansiCodePage) {
  switch (charset) {
    case 0: return 1252;
    case 2: return 1252;
    case 77: return 10000;
    case 78: return 10001;
    case 79: return 10003;
    case 80: return 10008;
    case 81: return 10002;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return ansiCodePage;
  }
}

bool LooksLikeCp936(std::string_view bytes) {
  bool pair = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) continue;
    if (lead == 0x80 || lead == 0xFF || i + 1 == bytes.size()) return false;
    const auto trail = static_cast<unsigned char>(bytes[++i]);
    if (trail < 0x80 || trail == 0xFF) return false;
    pair = true;
  }
  return pair;
}

int CharsetOfCodePage(int codePage) {
  switch (codePage) {
    case 936: return 134;
    case 932: return 128;
    case 949: return 129;
    case 950: return 136;
    case 1250: return 238;
    case 1251: return 204;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    case 874: return 222;
    default: return 0;
  }
}

namespace {

// The converter's reading of the bytes, appended to out.
void AppendConvertedText(std::string_view bytes, int codePage, std::u16string& out) {
  UConverter* conv = Converter(codePage);
  if (!conv) conv = Converter(1252);
  if (!conv) {
    for (char c : bytes) out.push_back(static_cast<unsigned char>(c));
    return;
  }
  ucnv_resetToUnicode(conv);
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 2 + 4);
  UChar* target = reinterpret_cast<UChar*>(out.data() + start);
  UChar* const targetBase = target;
  UChar* const targetLimit = reinterpret_cast<UChar*>(out.data() + out.size());
  const char* source = bytes.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(conv, &target, targetLimit, &source, bytes.data() + bytes.size(), nullptr, true,
                 &status);
  out.resize(start + static_cast<std::size_t>(target - targetBase));
  // Some converters substitute U+001A for bytes that form no character.
  for (std::size_t k = start; k < out.size(); ++k)
    if (out[k] == 0x1A) out[k] = 0xFFFD;
}

}  // namespace

void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out) {
  if (IsSymbolCodePage(codePage)) {
    for (char c : bytes) out.push_back(SymbolFontByte(static_cast<unsigned char>(c), codePage));
    return;
  }
  std::size_t i = 0;
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) out.push_back(bytes[i++]);
  if (i == bytes.size()) return;
  bytes.remove_prefix(i);
  if (codePage != 936) {
    AppendConvertedText(bytes, codePage, out);
    return;
  }
  // Code page 936, the notes' own: ASCII is itself and a pair the table holds its unit; any
  // other character (a byte that starts no pair, a pair the converter reads otherwise) is read
  // by the converter on its own, as it would be within the whole text.
  const char16_t* pairs = Cp936Pairs();
  out.reserve(out.size() + bytes.size());
  for (std::size_t k = 0; k < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[k]);
    if (b < 0x80) {
      out.push_back(b);
      ++k;
      continue;
    }
    const bool pair = IsCp936LeadByte(b) && k + 1 < bytes.size();
    const char16_t u =
        pair ? pairs[static_cast<std::size_t>(b << 8 | static_cast<unsigned char>(bytes[k + 1]))] : 0;
    if (u != 0) {
      out.push_back(u);
      k += 2;
    } else {
      AppendConvertedText(bytes.substr(k, pair ? 2 : 1), 936, out);
      k += pair ? 2 : 1;
    }
  }
}

bool EncodeInCodePage(char16_t ch, int codePage, std::string& out) {
  if (IsSymbolCodePage(codePage)) {
    const int b = ch < 0x20 ? ch : SymbolFontByteOf(ch, codePage);
    if (b < 0) return false;
    out.push_back(static_cast<char>(b));
    return true;
  }
  if (ch < 0x80) {
    out.push_back(static_cast<char>(ch));
    return true;
  }
  if (ch >= 0xD800 && ch <= 0xDFFF) return false;
  const EncodeTable* table = EncodeTableFor(codePage);
  if (!table || table->length[ch] == 0) return false;
  const std::uint16_t b = table->bytes[ch];
  if (table->length[ch] == 2) out.push_back(static_cast<char>(b >> 8));
  out.push_back(static_cast<char>(b & 0xFF));
  return true;
}

}  // namespace zorbek
