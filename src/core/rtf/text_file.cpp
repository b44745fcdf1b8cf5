#include "core/rtf/text_file.h"

#include "core/text/cp936.h"

namespace zorbek {

TextFileEncoding DetectTextFileEncoding(std::string_view bytes) {
  auto starts = [&](std::string_view bom) { return bytes.substr(0, bom.size()) == bom; };
  if (starts("\xFF\xFE")) return TextFileEncoding::kUtf16LE;
  if (starts("\xFE\xFF")) return TextFileEncoding::kUtf16BE;
  if (starts("\xEF\xBB\xBF") || IsValidUtf8(bytes)) return TextFileEncoding::kUtf8;
  return TextFileEncoding::kCp936;
}

std::string DecodeTextFile(std::string_view bytes) {
  switch (DetectTextFileEncoding(bytes)) {
    case TextFileEncoding::kUtf16LE:
    case TextFileEncoding::kUtf16BE: {
      const bool little = DetectTextFileEncoding(bytes) == TextFileEncoding::kUtf16LE;
      std::u16string wide;
      wide.reserve(bytes.size() / 2);
      // An odd last byte belongs to no code unit and is dropped.
      for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        wide.push_back(static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b)));
      }
      return Utf16ToUtf8(wide);
    }
    case TextFileEncoding::kUtf8:
      if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
      // A file that starts with a UTF-8 mark but is not valid throughout keeps its characters
      // where it can: invalid sequences become U+FFFD.
      return IsValidUtf8(bytes) ? std::string(bytes) : Utf16ToUtf8(Utf8ToUtf16(bytes));
    case TextFileEncoding::kCp936:
      return Cp936ToUtf8(bytes);
  }
  return {};
}

}  // namespace zorbek
