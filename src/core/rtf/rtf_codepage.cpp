#include "core/rtf/rtf_codepage.h"

#include "core/text/icu_converter.h"

#include <unicode/ucnv.h>

#include <array>
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

}  // namespace

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

void AppendCodePageText(std::string_view bytes, int codePage, std::u16string& out) {
  std::size_t i = 0;
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) out.push_back(bytes[i++]);
  if (i == bytes.size()) return;
  bytes.remove_prefix(i);
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

bool EncodeInCodePage(char16_t ch, int codePage, std::string& out) {
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
