#include "core/editor/note_path.h"

#include <dirent.h>

#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {

std::string NormaliseSeparators(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string NormaliseNotePath(std::string_view path) {
  return FoldLatinCase(NormaliseSeparators(path));
}

namespace {
// The entry of directory dir whose name equals name without regard to Latin case.
std::optional<std::string> FindEntryIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* e = readdir(d)) {
    const std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (EqualsIgnoreLatinCase(entry, name)) {
      found = entry;
      break;
    }
  }
  closedir(d);
  return found;
}
}  // namespace

std::optional<std::string> ResolvePathIgnoringCase(const std::string& path) {
  if (path.empty()) return std::nullopt;
  if (PathExists(path)) return path;
  // Walk the components from the root (or the working directory) and match each one.
  std::string resolved = path.front() == '/' ? "/" : "";
  std::size_t pos = path.front() == '/' ? 1 : 0;
  while (pos <= path.size()) {
    const std::size_t slash = path.find('/', pos);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    const std::string component = path.substr(pos, end - pos);
    if (!component.empty() && component != ".") {
      std::string candidate = resolved + component;
      if (component == ".." || PathExists(candidate)) {
        resolved = candidate;
      } else {
        auto entry = FindEntryIgnoringCase(resolved.empty() ? "." : resolved, component);
        if (!entry) return std::nullopt;
        resolved += *entry;
      }
      if (slash != std::string::npos) resolved += '/';
    }
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  if (!resolved.empty() && resolved.back() == '/' && resolved.size() > 1) resolved.pop_back();
  if (!PathExists(resolved)) return std::nullopt;
  return resolved;
}

}  // namespace zorbek
