// Fixed RTF texts that the note editor inserts: the link field, the separator line and an
// empty bordered table. All strings here are byte strings ready to hand to the RTF reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorbek {

// ---- Link field -----------------------------------------------------------------------------

// The target escaped for the field instruction lives in a buffer of this many bytes
// (terminating NUL included); a longer one is refused.
inline constexpr std::size_t kLinkTargetBufferSize = 256;

enum class LinkFieldStatus {
  kOk,
  kNoKnownScheme,   // the target names none of http://, ftp://, www., mailto:, localfile:
  kTargetTooLong,   // the escaped target does not fit the buffer
};

struct LinkField {
  LinkFieldStatus status = LinkFieldStatus::kOk;
  std::string rtf;  // the field to insert in place of the selection (kOk only)
};

// Whether the target (UTF-8) contains one of the schemes a link may have, in any letter case.
bool HasLinkScheme(std::string_view target);

// The target as written inside the quoted field instruction: every "\" four times, and the
// characters that would end the quotes or the group ('"', "{", "}") escaped.
std::string EscapeLinkTarget(std::string_view target);

// {\rtf1{\field{\*\fldinst{HYPERLINK "target" }}{\fldrslt{\ul title}}}} for a title and a
// target in UTF-8. Both are written as code page 936 bytes; characters outside it as \uN?.
LinkField BuildLinkField(std::string_view title, std::string_view target);

// ---- Separator ------------------------------------------------------------------------------

// CR LF, 26 "=", "sperator", 27 "=", CR LF: inserted as text in place of the selection.
inline constexpr std::string_view kSeparatorText =
    "\r\n==========================sperator===========================\r\n";

// ---- Table ----------------------------------------------------------------------------------

inline constexpr std::string_view kTableDocumentHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\froman\\fprq2\\fcharset0 Times "
    "New Roman;}{\\f1\\fswiss\\fcharset0 Arial;}}{\\*\\generator Msftedit 5.41.15.1503;}"
    "\\viewkind4\\uc1";
inline constexpr std::string_view kTableRowDefinition =
    "\\trowd\\trgaph108\\trleft8\\trbrdrl\\brdrs\\brdrw10 \\trbrdrt\\brdrs\\brdrw10 "
    "\\trbrdrr\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 \\trpaddl108\\trpaddr108\\trpaddfl3"
    "\\trpaddfr3";
inline constexpr std::string_view kTableCellDefinition =
    "\\clbrdrl\\brdrw10\\brdrs\\clbrdrt\\brdrw10\\brdrs\\clbrdrr\\brdrw10\\brdrs\\clbrdrb"
    "\\brdrw10\\brdrs\\cellx";
inline constexpr int kTableWidthTwips = 8748;
// A rich edit row holds at most 63 cells; the row count is bounded so that a typing slip
// cannot ask for a document of gigabytes.
inline constexpr int kTableMaxColumns = 63;
inline constexpr int kTableMaxRows = 1000;

// The RTF of an empty bordered table, or nullopt when rows or columns lie outside
// 1..kTableMaxRows and 1..kTableMaxColumns.
std::optional<std::string> BuildTableRtf(int rows, int columns);

// ---- File kinds -----------------------------------------------------------------------------

// Whether the first five bytes are "{\rtf" in any letter case.
bool StartsAsRtf(std::string_view bytes);
// Whether a file written under this name gets RTF: its extension (after the last "." of the
// file name) is "esr" or begins with "rtf", compared as written.
bool IsRtfFileName(std::string_view path);

}  // namespace zorbek
