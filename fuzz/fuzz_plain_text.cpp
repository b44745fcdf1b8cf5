// libFuzzer target: the plain-text scan of the search and the text-file decoding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/rtf/plain_text.h"
#include "core/rtf/rtf_lexer.h"
#include "core/rtf/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const zorbek::PlainTextScan scan = zorbek::ScanPlainText(in);
  // The text only ever holds bytes of the input (or the few the keyword table emits).
  if (scan.text.size() > size) __builtin_trap();
  zorbek::RtfLexer lexer(in);
  std::size_t last = 0;
  for (zorbek::RtfToken t = lexer.Next(); t.type != zorbek::RtfTokenType::kEnd; t = lexer.Next()) {
    if (t.end <= last || t.end > size) __builtin_trap();  // every token advances, within the input
    last = t.end;
  }
  zorbek::DecodeTextFile(in);
  return 0;
}
