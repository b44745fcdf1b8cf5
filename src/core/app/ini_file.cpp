#include "core/app/ini_file.h"

#include <vector>

#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

struct Line {
  std::string_view text;  // without the line break
};

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    auto nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = nl + 1;
  }
  return lines;
}

// The section name of a "[name]" line, or nullopt.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  const auto t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

std::string DecodeValue(std::string_view raw) {
  if (raw.size() >= 2 && ((raw.front() == '"' && raw.back() == '"') ||
                          (raw.front() == '\'' && raw.back() == '\'')))
    raw = raw.substr(1, raw.size() - 2);
  if (IsValidUtf8(raw)) return std::string(raw);
  return Cp936ToUtf8(raw);
}

}  // namespace

std::string ProfileLookup(std::string_view text, std::string_view section, std::string_view key,
                          bool* found) {
  if (found) *found = false;
  bool inSection = false;
  for (auto line : SplitLines(text)) {
    std::string_view name, k, v;
    if (SectionName(line, name)) {
      inSection = EqualsIgnoreLatinCase(name, section);
    } else if (inSection && KeyLine(line, k, v) && EqualsIgnoreLatinCase(k, key)) {
      if (found) *found = true;
      return DecodeValue(v);
    }
  }
  return {};
}

std::string ProfileUpdate(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view rawValue) {
  const bool crlf = text.find("\r\n") != std::string_view::npos;
  const std::string nl = crlf ? "\r\n" : "\n";
  auto lines = SplitLines(text);
  std::vector<std::string> out;
  out.reserve(lines.size() + 3);
  bool inSection = false, sectionSeen = false, written = false;
  std::size_t insertAt = 0;  // after the last non-blank line of the section
  for (auto line : lines) {
    std::string_view name, k, v;
    if (SectionName(line, name)) {
      inSection = !sectionSeen && EqualsIgnoreLatinCase(name, section);
      if (inSection) {
        sectionSeen = true;
        insertAt = out.size() + 1;
      }
      out.emplace_back(line);
      continue;
    }
    if (inSection && !written && KeyLine(line, k, v) && EqualsIgnoreLatinCase(k, key)) {
      out.push_back(std::string(k) + "=" + std::string(rawValue));
      written = true;
      continue;
    }
    out.emplace_back(line);
    if (inSection && !Trim(line).empty()) insertAt = out.size();
  }
  if (!written) {
    if (sectionSeen) {
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(insertAt),
                 std::string(key) + "=" + std::string(rawValue));
    } else {
      out.push_back("[" + std::string(section) + "]");
      out.push_back(std::string(key) + "=" + std::string(rawValue));
    }
  }
  std::string result;
  for (const auto& l : out) {
    result += l;
    result += nl;
  }
  return result;
}

std::string ReadProfileString(const std::string& file, std::string_view section,
                              std::string_view key, std::string_view def) {
  const auto text = ReadWholeFile(file);
  if (!text) return std::string(def);
  bool found = false;
  std::string value = ProfileLookup(*text, section, key, &found);
  return found ? value : std::string(def);
}

bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value) {
  const auto text = ReadWholeFile(file);
  bool lossless = true;
  std::string raw = Utf8ToCp936(value, &lossless);
  if (!lossless) raw = std::string(value);  // keep characters CP936 cannot hold
  return WriteFileAtomically(file, ProfileUpdate(text ? *text : std::string(), section, key, raw));
}

}  // namespace zorbek
