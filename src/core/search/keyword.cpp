#include "core/search/keyword.h"

#include <cstring>

#include "core/rtf/plain_text.h"
#include "core/db/store_paths.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

std::size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool ContainsUtf8(std::string_view haystack, std::string_view needle) {
  // Valid UTF-8 never matches inside a character: no trail byte can start the needle.
  if (needle.empty()) return true;
  return memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

}  // namespace

std::string CutToCp936Bytes(std::string_view utf8, std::size_t maxBytes) {
  if (Cp936Length(utf8) <= maxBytes) return std::string(utf8);
  std::string out;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t len = std::min(Utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    const std::string_view ch = utf8.substr(i, len);
    const std::size_t chBytes = static_cast<unsigned char>(ch[0]) < 0x80 ? 1 : Cp936Length(ch);
    if (bytes + chBytes > maxBytes) break;
    out += ch;
    bytes += chBytes;
    i += len;
  }
  return out;
}

SearchKeyword::SearchKeyword(std::string_view utf8) : utf8_(utf8) {
  cp936_ = Utf8ToCp936(utf8_, &inCp936_);
}

bool SearchKeyword::MatchesPath(std::string_view documentPath) const {
  if (!inCp936_) return ContainsUtf8(documentPath, utf8_);
  // Most paths are ASCII; their code page 936 form is the path itself.
  bool ascii = true;
  for (char c : documentPath)
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return FindCp936(documentPath, cp936_) != std::string_view::npos;
  return FindCp936(Utf8ToCp936(documentPath), cp936_) != std::string_view::npos;
}

bool SearchKeyword::MatchesText(std::string_view text) const {
  if (!inCp936_) return ContainsUtf8(text, utf8_);
  return FindCp936(text, cp936_) != std::string_view::npos;
}

bool SearchKeyword::MatchesDocument(const std::string& documentPath) const {
  // The walk names the file by its element; on a case-sensitive file system the file may
  // differ from it in the case of Latin letters, as the note tree allows.
  std::string path = documentPath;
  bool opened = false;
  PlainTextScan scan;
  if (inCp936_) scan = ScanPlainTextFile(path, &opened);
  else scan.text = ExtractPlainTextUnicode(path, &opened);
  if (!opened) {
    path = ExistingPathIgnoringCase(documentPath);
    if (path == documentPath) return false;
    if (inCp936_) scan = ScanPlainTextFile(path);
    else scan.text = ExtractPlainTextUnicode(path);
  }
  if (MatchesText(scan.text)) return true;
  // A note from elsewhere (Cyrillic in code page 1251, Japanese in 932, "café" in 1252, text
  // in "\uN") shows words that its bytes read as code page 936 do not hold: those are looked
  // for in the text as the editor shows it.
  if (!inCp936_ || !scan.foreign) return false;
  return ContainsUtf8(ExtractPlainTextUnicode(path), utf8_);
}

}  // namespace zorbek
