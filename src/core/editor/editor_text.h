// Small text decisions of the note editor: the date and time formats it offers, link targets,
// and the file kind of exported content.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorbek::editor {

// The common Chinese date and time formats the date/time dialog offers besides the locale's
// own, as patterns of the Qt date/time format language.
const std::vector<std::string>& ChineseShortDateFormats();
const std::vector<std::string>& ChineseLongDateFormats();
const std::vector<std::string>& ChineseTimeFormats();

// The entries of the date/time list: duplicates (equal without regard to Latin letter case)
// dropped, the first of them kept, and the rest sorted as a sorted list box sorts them
// (Latin case ignored; Chinese characters in code page 936 order).
std::vector<std::string> DateTimeListEntries(const std::vector<std::string>& texts);

// What a click on a link opens.
struct LinkTarget {
  enum class Kind { File, Address } kind = Kind::Address;
  std::string target;  // a file path, or an address for the desktop's handler
};

// A "localfile:" link names a file: an absolute path (starting with "/", or a drive letter,
// ":" and "\" as in notes written on Windows) stays as it is, any other name is a file in
// fileStoreDirectory. Everything else is an address; "www." without a scheme is a web address.
LinkTarget ResolveLinkTarget(std::string_view linkText, std::string_view fileStoreDirectory);

// Whether exported content is written as RTF: the extension of the chosen file name begins
// with "rtf" (any letter case). Any other extension, or none, gives plain text.
bool ExportsAsRtf(std::string_view fileName);

}  // namespace zorbek::editor
