#include "core/search/note_walk.h"

#include <limits>
#include <mutex>

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/text/cp936.h"

namespace zorbek {

std::vector<NoteEntry> CollectNotes(CXmlDocument& doc, const ElementPath& startElementPath,
                                    std::string_view startDirectory) {
  std::vector<NoteEntry> notes;
  XmlNode start = doc.Select(startElementPath.str());
  if (!start) return notes;
  // An explicit stack: a database nested deeper than the thread's stack is still walked.
  struct Level {
    XmlNode next;          // the next child to look at
    std::size_t dirLength; // the directory of this level is dir[0, dirLength)
  };
  std::string dir(startDirectory);
  std::vector<Level> stack;
  if (IsElement(start) && start.first_child()) stack.push_back({start.first_child(), dir.size()});
  while (!stack.empty()) {
    Level& level = stack.back();
    XmlNode child = level.next;
    if (!child) {
      stack.pop_back();
      continue;
    }
    level.next = child.next_sibling();
    dir.resize(level.dirLength);
    const char* name = child.name();
    const std::string_view type = child.attribute("type").value();
    if (!EqualsIgnoreLatinCase(type, "esr")) {
      if (IsElement(child) && child.first_child()) {
        dir += '/';
        dir += name;
        stack.push_back({child.first_child(), dir.size()});
      }
      continue;
    }
    std::string path;
    path.reserve(dir.size() + std::char_traits<char>::length(name) + 5);
    path = dir;
    path += '/';
    path += name;
    path += '.';
    path += type;
    NoteEntry note;
    note.documentPath = DocumentPath(std::move(path));
    note.lastTime = ParseLastTime(child.attribute("lasttime").value());
    notes.push_back(std::move(note));
  }
  return notes;
}

std::uint64_t ParseLastTime(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto d = static_cast<std::uint64_t>(text[i] - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - d) / 10)
      return std::numeric_limits<std::uint64_t>::max();
    value = value * 10 + d;
  }
  return value;
}

std::string_view FileNameOf(std::string_view documentPath) {
  const std::size_t slash = documentPath.find_last_of('/');
  return slash == std::string_view::npos ? documentPath : documentPath.substr(slash + 1);
}

std::optional<ElementPath> ElementPathFromDocumentPath(const DocumentPath& path,
                                                       std::string_view databasePath) {
  const std::string_view documentPath = path.str();
  const std::string store = NoteStoreDirectory(databasePath);
  if (documentPath.size() <= store.size() || !SamePath(documentPath.substr(0, store.size()), store) ||
      documentPath[store.size()] != '/')
    return std::nullopt;
  std::string element = std::string(kArchivePath) + std::string(documentPath.substr(store.size()));
  const std::size_t dot = element.find_last_of('.');
  const std::size_t slash = element.find_last_of('/');
  if (dot == std::string::npos || dot < slash) return std::nullopt;
  element.resize(dot);
  return ElementPath(std::move(element));
}

std::string ScopeLabelOf(const ElementPath& selected, std::string_view selectedType) {
  const std::string_view selectedElementPath = selected.str();
  const std::string_view archive = kArchivePath;
  std::string label(kScopePrefix);
  const bool folder = selectedType.empty() || EqualsIgnoreLatinCase(selectedType, "dir");
  if (!selectedElementPath.empty() && folder &&
      selectedElementPath.find(archive) != std::string_view::npos) {
    // Every occurrence of the archive's path is removed, as the label has always shown it.
    std::string scope(selectedElementPath);
    for (std::size_t at; (at = scope.find(archive)) != std::string::npos;) scope.erase(at, archive.size());
    if (!scope.empty()) return label + scope;
  }
  return label + std::string(kScopeRoot);
}

SearchStart SearchStartOf(std::string_view scopeLabel, std::string_view databasePath) {
  std::string_view scope = scopeLabel;
  // Only the label's own prefix is taken off: a folder may have "路径：" in its name.
  if (scope.substr(0, kScopePrefix.size()) == kScopePrefix) scope.remove_prefix(kScopePrefix.size());
  if (EqualsIgnoreLatinCase(scope, kScopeRoot)) scope = {};
  return SearchStart{ElementPath(std::string(kArchivePath) + std::string(scope)),
                     NoteStoreDirectory(databasePath) + std::string(scope)};
}

}  // namespace zorbek
