#include "core/editor/editor_text.h"

#include <algorithm>

#include "core/editor/note_path.h"
#include "core/text/cp936.h"

namespace zorbek::editor {

const std::vector<std::string>& ChineseShortDateFormats() {
  static const std::vector<std::string> formats = {
      "yyyy/M/d", "yyyy-M-d", "yyyy/MM/dd", "yyyy-MM-dd",
      "yy/M/d",   "yy-M-d",   "yy/MM/dd",   "yy-MM-dd",
  };
  return formats;
}

const std::vector<std::string>& ChineseLongDateFormats() {
  static const std::vector<std::string> formats = {
      "yyyy'年'M'月'd'日'",
      "yyyy'年'M'月'd'日' dddd",
      "dddd yyyy'年'M'月'd'日'",
  };
  return formats;
}

const std::vector<std::string>& ChineseTimeFormats() {
  static const std::vector<std::string> formats = {
      "H:mm:ss", "HH:mm:ss", "AP h:mm:ss", "AP hh:mm:ss",
  };
  return formats;
}

std::vector<std::string> DateTimeListEntries(const std::vector<std::string>& texts) {
  struct Entry {
    std::string key;  // folded code page 936 bytes: the list's order and its equality
    std::string text;
  };
  std::vector<Entry> entries;
  for (const std::string& text : texts) {
    if (text.empty()) continue;
    std::string key = FoldLatinCaseCp936(Utf8ToCp936(text));
    // Characters without a code page 936 form all become "?": fall back to the text itself.
    std::string folded = FoldLatinCase(text);
    const bool seen = std::any_of(entries.begin(), entries.end(), [&](const Entry& e) {
      return FoldLatinCase(e.text) == folded;
    });
    if (!seen) entries.push_back({std::move(key), text});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.key != b.key) {
      return std::lexicographical_compare(
          a.key.begin(), a.key.end(), b.key.begin(), b.key.end(),
          [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    }
    return a.text < b.text;
  });
  std::vector<std::string> out;
  out.reserve(entries.size());
  for (Entry& e : entries) out.push_back(std::move(e.text));
  return out;
}

namespace {
bool IsAbsoluteFileName(std::string_view name) {
  if (!name.empty() && name.front() == '/') return true;
  return name.size() >= 3 && name[1] == ':' && (name[2] == '\\' || name[2] == '/');
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreLatinCase(text.substr(0, prefix.size()), prefix);
}
}  // namespace

LinkTarget ResolveLinkTarget(std::string_view linkText, std::string_view fileStoreDirectory) {
  constexpr std::string_view kLocalFile = "localfile:";
  LinkTarget out;
  const std::size_t at = FoldLatinCase(linkText).find(kLocalFile);
  if (at != std::string_view::npos) {
    const std::string_view name = linkText.substr(at + kLocalFile.size());
    out.kind = LinkTarget::Kind::File;
    if (IsAbsoluteFileName(name)) {
      out.target = std::string(name);
    } else {
      out.target = std::string(fileStoreDirectory);
      if (!out.target.empty() && out.target.back() != '/') out.target += '/';
      out.target += NormaliseSeparators(name);
    }
    return out;
  }
  out.target = std::string(linkText);
  if (StartsWithIgnoringCase(linkText, "www.")) out.target = "http://" + out.target;
  return out;
}

bool ExportsAsRtf(std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of("/\\");
  const std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const std::size_t dot = base.rfind('.');
  if (dot == std::string_view::npos) return false;
  return StartsWithIgnoringCase(base.substr(dot + 1), "rtf");
}

}  // namespace zorbek::editor
