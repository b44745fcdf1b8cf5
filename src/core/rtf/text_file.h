// Text files brought into notes: how their bytes become text.
#pragma once

#include <string>
#include <string_view>

namespace zorbek {

enum class TextFileEncoding { kUtf8, kUtf16LE, kUtf16BE, kCp936 };

// A byte-order mark decides (UTF-16 little or big endian, UTF-8); without one, bytes that are
// valid UTF-8 are UTF-8, anything else is code page 936.
TextFileEncoding DetectTextFileEncoding(std::string_view bytes);

// The file's text as UTF-8, without a byte-order mark.
std::string DecodeTextFile(std::string_view bytes);

}  // namespace zorbek
