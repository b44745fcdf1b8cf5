#include "core/text/cp936.h"

#include "core/text/icu_converter.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <map>
#include <memory>
#include <vector>

namespace zorbek {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

UConverter* ConverterFor(int codePage) { return CodePageConverter(codePage); }

char32_t DecodeUtf8At(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
  else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
  else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
  else { ++i; return 0xFFFFFFFF; }
  if (i + len > s.size()) { ++i; return 0xFFFFFFFF; }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) { ++i; return 0xFFFFFFFF; }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return 0xFFFFFFFF; }
  i += len;
  return cp;
}

// Writes the UTF-8 form of a code point (a surrogate or beyond U+10FFFF as U+FFFD) to out,
// which has room for four bytes; returns how many it wrote.
inline std::size_t EncodeUtf8(char32_t cp, char* out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

// For each pair of a lead byte and a second byte of code page 936, the one UTF-16 unit the
// converter reads it as, or 0 where it reads it otherwise (two units, an illegal sequence, a
// character beyond the BMP): such pairs are left to the converter. Made once, from the converter
// itself, so that both ways read every pair alike.
const char16_t* Cp936Pairs() {
  static const std::vector<char16_t> table = [] {
    std::vector<char16_t> pairs(0x10000, 0);
    UConverter* conv = CodePageConverter(936);
    if (!conv) return pairs;
    // A lead byte's pairs in one run, then a stop byte; the offsets tell which bytes each unit
    // came from. A row at a time, so that what the making takes stays small (a command that
    // reads one note makes the table too).
    constexpr int kPairsPerRow = 0xFE - 0x40 + 1;
    constexpr std::size_t kRowBytes = 2 * kPairsPerRow + 1;
    char bytes[kRowBytes];
    UChar units[kRowBytes + 16];
    int32_t offsets[kRowBytes + 16];
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      std::size_t n = 0;
      for (int second = 0x40; second <= 0xFE; ++second) {
        bytes[n++] = static_cast<char>(lead);
        bytes[n++] = static_cast<char>(second);
      }
      bytes[n++] = 'A';
      UChar* target = units;
      const char* source = bytes;
      UErrorCode status = U_ZERO_ERROR;
      ucnv_reset(conv);
      ucnv_toUnicode(conv, &target, units + std::size(units), &source, bytes + n, offsets, true,
                     &status);
      if (U_FAILURE(status)) continue;
      const std::size_t made = static_cast<std::size_t>(target - units);
      for (std::size_t i = 0; i + 1 < made; ++i) {
        const int32_t at = offsets[i];
        // One unit from exactly the two bytes of a pair (the next unit starts at the next pair).
        if (at < 0 || at % 2 != 0 || offsets[i + 1] != at + 2) continue;
        if (i > 0 && offsets[i - 1] == at) continue;
        const char16_t u = units[i];
        if (u == 0 || (u >= 0xD800 && u <= 0xDFFF)) continue;
        const auto second = static_cast<unsigned char>(bytes[static_cast<std::size_t>(at) + 1]);
        pairs[static_cast<std::size_t>(lead << 8 | second)] = u;
      }
    }
    ucnv_reset(conv);
    return pairs;
  }();
  return table.data();
}

UConverter* CodePageConverter(int codePage) {
  thread_local std::map<int, ConverterPtr> cache;
  auto it = cache.find(codePage);
  if (it != cache.end()) return it->second.get();
  UConverter* conv = nullptr;
  // The Macintosh code pages go by names of their own; the Mac Japanese, Chinese and Korean
  // ones are read as the Shift-JIS, Big5, GB2312 and EUC-KR they extend.
  const char* mac = nullptr;
  switch (codePage) {
    case 10000: mac = "macintosh"; break;
    case 10001: mac = "Shift_JIS"; break;
    case 10002: mac = "Big5"; break;
    case 10003: mac = "EUC-KR"; break;
    case 10006: mac = "x-mac-greek"; break;
    case 10007: mac = "x-mac-cyrillic"; break;
    case 10008: mac = "GB2312"; break;
    case 10029: mac = "x-mac-centraleurroman"; break;
    case 10081: mac = "x-mac-turkish"; break;
    default: break;
  }
  const std::string names[] = {mac ? std::string(mac) : "windows-" + std::to_string(codePage),
                               "cp" + std::to_string(codePage),
                               "ibm-" + std::to_string(codePage)};
  if (codePage > 0) {
    for (const auto& name : names) {
      UErrorCode status = U_ZERO_ERROR;
      conv = ucnv_open(name.c_str(), &status);
      if (U_SUCCESS(status) && conv) break;
      if (conv) ucnv_close(conv);
      conv = nullptr;
    }
  }
  if (conv) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  }
  cache.emplace(codePage, ConverterPtr(conv));
  return conv;
}

bool IsKnownCodePage(int codePage) { return ConverterFor(codePage) != nullptr; }

void AppendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(cp, bytes));
}

bool IsValidUtf8(std::string_view text) {
  // Asked of whole database files: runs of ASCII are passed a word at a time, and a sequence is
  // checked by its bytes' ranges (no overlong forms, no surrogates, nothing past U+10FFFF).
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  const auto follows = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  while (p < end) {
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      if (word & 0x8080808080808080ULL) break;
      p += 8;
    }
    if (p == end) break;
    const unsigned char b = *p;
    if (b < 0x80) {
      ++p;
    } else if (b < 0xC2) {
      return false;
    } else if (b < 0xE0) {
      if (end - p < 2 || !follows(p[1])) return false;
      p += 2;
    } else if (b < 0xF0) {
      if (end - p < 3 || !follows(p[1]) || !follows(p[2])) return false;
      if ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F)) return false;
      p += 3;
    } else if (b < 0xF5) {
      if (end - p < 4 || !follows(p[1]) || !follows(p[2]) || !follows(p[3])) return false;
      if ((b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F)) return false;
      p += 4;
    } else {
      return false;
    }
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = DecodeUtf8At(utf8, i);
    if (cp == 0xFFFFFFFF) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
  if (bytes.empty()) return {};
  UConverter* conv = ConverterFor(codePage);
  if (!conv) conv = ConverterFor(1252);
  if (!conv) return std::string(bytes);
  ucnv_reset(conv);
  std::u16string wide(bytes.size() + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(conv, wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                            static_cast<int32_t>(bytes.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    wide.assign(static_cast<std::size_t>(n) + 1, u'\0');
    status = U_ZERO_ERROR;
    ucnv_reset(conv);
    n = ucnv_toUChars(conv, wide.data(), static_cast<int32_t>(wide.size()), bytes.data(),
                      static_cast<int32_t>(bytes.size()), &status);
  }
  if (U_FAILURE(status)) return {};
  wide.resize(static_cast<std::size_t>(n));
  return Utf16ToUtf8(wide);
}

namespace {
void AppendConverted(std::string_view bytes, int codePage, std::string& out);
}  // namespace

std::size_t AppendCp936Utf8Whole(std::string_view bytes, std::string& out) {
  // ASCII is itself, a pair the table holds its unit; anything else (a byte that starts no
  // pair, a pair the converter reads otherwise) goes through the converter, one character of
  // the code page at a time: a character's reading does not depend on the ones before it.
  const char16_t* pairs = Cp936Pairs();
  // Taken a stretch at a time: a byte becomes at most one byte of UTF-8 and a pair at most
  // three, so a stretch of 2,048 bytes fits the buffer without a check per character.
  constexpr std::size_t kStretch = 2048;
  char utf8[kStretch * 3 / 2 + 4];
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t stop = std::min(bytes.size(), i + kStretch);
    std::size_t k = 0;
    while (i < stop) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      if (b < 0x80) {
        utf8[k++] = static_cast<char>(b);
        ++i;
        continue;
      }
      const bool lead = IsCp936LeadByte(b);
      if (lead && i + 1 == bytes.size()) {  // its second byte is still to come
        out.append(utf8, k);
        return i;
      }
      const char16_t u =
          lead ? pairs[static_cast<std::size_t>(b << 8 | static_cast<unsigned char>(bytes[i + 1]))] : 0;
      if (u >= 0x800) {
        utf8[k++] = static_cast<char>(0xE0 | (u >> 12));
        utf8[k++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        utf8[k++] = static_cast<char>(0x80 | (u & 0x3F));
        i += 2;
      } else if (u != 0) {
        k += EncodeUtf8(u, utf8 + k);
        i += 2;
      } else {
        out.append(utf8, k);
        k = 0;
        AppendConverted(bytes.substr(i, lead ? 2 : 1), 936, out);
        i += lead ? 2 : 1;
      }
    }
    out.append(utf8, k);
  }
  return i;
}

void AppendCodePageUtf8(std::string_view bytes, int codePage, std::string& out) {
  if (codePage == 936) {
    const std::size_t taken = AppendCp936Utf8Whole(bytes, out);
    if (taken < bytes.size()) AppendConverted(bytes.substr(taken), 936, out);  // a lone lead byte
    return;
  }
  AppendConverted(bytes, codePage, out);
}

namespace {

void AppendConverted(std::string_view bytes, int codePage, std::string& out) {
  if (bytes.empty()) return;
  UConverter* conv = ConverterFor(codePage);
  if (!conv) conv = ConverterFor(1252);
  if (!conv) {
    out.append(bytes);
    return;
  }
  ucnv_reset(conv);
  // Converted through a small buffer a piece at a time, as ICU streams it.
  UChar units[4096];
  const char* source = bytes.data();
  const char* const sourceEnd = source + bytes.size();
  UChar carried = 0;  // a high surrogate at the end of a piece, waiting for its low half
  for (;;) {
    UChar* target = units;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, units + std::size(units), &source, sourceEnd, nullptr, true,
                   &status);
    const std::size_t n = static_cast<std::size_t>(target - units);
    char utf8[std::size(units) * 3 + 4];
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
      char32_t cp = units[i];
      if (cp < 0x80 && !carried) {
        utf8[k++] = static_cast<char>(cp);
        continue;
      }
      if (carried && cp >= 0xDC00 && cp <= 0xDFFF) {
        cp = 0x10000 + ((carried - 0xD800) << 10) + (cp - 0xDC00);
      } else if (carried) {
        k += EncodeUtf8(0xFFFD, utf8 + k);
      }
      carried = 0;
      if (cp >= 0xD800 && cp <= 0xDBFF) {
        carried = static_cast<UChar>(cp);
        continue;
      }
      k += EncodeUtf8(cp, utf8 + k);
    }
    out.append(utf8, k);
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
  }
  if (carried) AppendUtf8(out, 0xFFFD);
}

}  // namespace

std::string Utf8ToCodePage(std::string_view utf8, int codePage, bool* lossless) {
  if (lossless) *lossless = true;
  UConverter* conv = ConverterFor(codePage);
  std::string out;
  out.reserve(utf8.size());
  char buf[8];
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {  // ASCII is the same in every code page we use
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    char32_t cp = DecodeUtf8At(utf8, i);
    bool ok = false;
    if (cp != 0xFFFFFFFF && conv) {
      UChar units[2];
      int32_t nUnits = 1;
      if (cp >= 0x10000) {
        units[0] = static_cast<UChar>(0xD800 + ((cp - 0x10000) >> 10));
        units[1] = static_cast<UChar>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        nUnits = 2;
      } else {
        units[0] = static_cast<UChar>(cp);
      }
      ucnv_resetFromUnicode(conv);
      UErrorCode status = U_ZERO_ERROR;
      int32_t n = ucnv_fromUChars(conv, buf, sizeof buf, units, nUnits, &status);
      if (U_SUCCESS(status) && n > 0) {
        out.append(buf, static_cast<std::size_t>(n));
        ok = true;
      }
    }
    if (!ok) {
      out.push_back('?');
      if (lossless) *lossless = false;
    }
  }
  return out;
}

std::string Utf8ToCp936(std::string_view utf8, bool* lossless) {
  return Utf8ToCodePage(utf8, 936, lossless);
}

std::string Cp936ToUtf8(std::string_view cp936) {
  // ASCII needs no converter; most names and paths are pure ASCII.
  bool ascii = true;
  for (char c : cp936) {
    if (static_cast<unsigned char>(c) >= 0x80) { ascii = false; break; }
  }
  if (ascii) return std::string(cp936);
  return CodePageToUtf8(cp936, 936);
}

std::size_t Cp936Length(std::string_view utf8) { return Utf8ToCp936(utf8).size(); }

std::string FoldLatinCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EqualsIgnoreLatinCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string FoldLatinCaseCp936(std::string_view cp936) {
  std::string out(cp936);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (IsCp936LeadByte(c) && i + 1 < out.size()) {
      ++i;  // the trail byte may look like a Latin letter; it is not one
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

std::size_t FindCp936(std::string_view haystack, std::string_view needle, bool ignoreLatinCase) {
  if (needle.empty()) return 0;
  if (needle.size() > haystack.size()) return std::string_view::npos;
  std::string foldedHay, foldedNeedle;
  if (ignoreLatinCase) {
    foldedHay = FoldLatinCaseCp936(haystack);
    foldedNeedle = FoldLatinCaseCp936(needle);
    haystack = foldedHay;
    needle = foldedNeedle;
  }
  // Candidates come from memmem (vectorised in the C library); a candidate counts only when it
  // starts a character. Character starts are found by walking forward from the last known one,
  // so every byte of the haystack is walked at most once whatever the number of candidates.
  const char* const base = haystack.data();
  std::size_t boundary = 0;  // a known character start, at or before the next candidate
  std::size_t from = 0;
  while (from + needle.size() <= haystack.size()) {
    const void* hit = memmem(base + from, haystack.size() - from, needle.data(), needle.size());
    if (!hit) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
    while (boundary < at) {
      const auto c = static_cast<unsigned char>(base[boundary]);
      boundary += (IsCp936LeadByte(c) && boundary + 1 < haystack.size()) ? 2 : 1;
    }
    if (boundary == at) return at;
    from = at + 1;  // the candidate began on a trail byte: look again from the next byte
  }
  return std::string_view::npos;
}

}  // namespace zorbek
