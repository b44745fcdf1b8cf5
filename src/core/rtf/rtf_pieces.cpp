#include "core/rtf/rtf_pieces.h"

#include "core/rtf/rtf_codepage.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

// Text inside the RTF: code page 936 bytes as they are, "\", "{" and "}" escaped (so that a
// title can never end the field's groups early), characters outside 936 as \uN?.
void AppendRtfText(std::string& out, std::string_view utf8, bool quadrupleBackslash) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const char16_t ch = wide[i];
    if (ch == u'\\') {
      out += quadrupleBackslash ? "\\\\\\\\" : "\\\\";
    } else if (ch == u'{' || ch == u'}') {
      out.push_back('\\');
      out.push_back(static_cast<char>(ch));
    } else if (ch == u'"' && quadrupleBackslash) {
      out += "\\\\\"";  // \" in the field instruction
    } else if (!EncodeInCodePage(ch, 936, out)) {
      out += "\\u" + std::to_string(static_cast<std::int16_t>(ch)) + "?";
    }
  }
}

}  // namespace

bool HasLinkScheme(std::string_view target) {
  const std::string lower = FoldLatinCase(target);
  for (std::string_view scheme : {"http://", "ftp://", "www.", "mailto:", "localfile:"})
    if (lower.find(scheme) != std::string::npos) return true;
  return false;
}

std::string EscapeLinkTarget(std::string_view target) {
  std::string out;
  AppendRtfText(out, target, true);
  return out;
}

LinkField BuildLinkField(std::string_view title, std::string_view target) {
  LinkField field;
  const std::string escaped = EscapeLinkTarget(target);
  if (escaped.size() + 1 > kLinkTargetBufferSize) {
    field.status = LinkFieldStatus::kTargetTooLong;
    return field;
  }
  if (!HasLinkScheme(target)) {
    field.status = LinkFieldStatus::kNoKnownScheme;
    return field;
  }
  field.rtf = "{\\rtf1{\\field{\\*\\fldinst{HYPERLINK \"" + escaped + "\" }}{\\fldrslt{\\ul ";
  AppendRtfText(field.rtf, title, false);
  field.rtf += "}}}}";
  return field;
}

std::optional<std::string> BuildTableRtf(int rows, int columns) {
  if (rows < 1 || columns < 1 || rows > kTableMaxRows || columns > kTableMaxColumns)
    return std::nullopt;
  const int width = kTableWidthTwips / columns;
  std::string out(kTableDocumentHead);
  for (int r = 0; r < rows; ++r) {
    out += kTableRowDefinition;
    for (int j = 1; j <= columns; ++j) {
      out += kTableCellDefinition;
      out += std::to_string(j * width);
    }
    out += "\\pard\\intbl";
    for (int j = 0; j < columns; ++j) out += "\\cell";
    out += "\\row";
  }
  out += "\\par}";
  return out;
}

bool StartsAsRtf(std::string_view bytes) {
  return bytes.size() >= 5 && EqualsIgnoreLatinCase(bytes.substr(0, 5), "{\\rtf");
}

bool IsRtfFileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view ext = name.substr(dot + 1);
  return ext == "esr" || ext.substr(0, 3) == "rtf";
}

}  // namespace zorbek
