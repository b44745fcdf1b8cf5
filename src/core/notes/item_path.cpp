#include "core/notes/item_path.h"

#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/text/cp936.h"

namespace zorbek {

std::optional<ItemKind> KindOfType(std::string_view type) {
  if (EqualsIgnoreLatinCase(type, "dir")) return ItemKind::Folder;
  if (EqualsIgnoreLatinCase(type, "esr")) return ItemKind::Note;
  return std::nullopt;
}

bool IsNoteType(std::string_view type) {
  return !type.empty() && !EqualsIgnoreLatinCase(type, "dir");
}

namespace {
std::string JoinRest(const ItemPath& item, std::string head) {
  for (std::size_t i = 1; i < item.size(); ++i) {
    head += '/';
    head += item[i];
  }
  return head;
}
}  // namespace

ElementPath ElementPathOfItem(const ItemPath& item) {
  if (item.empty()) return {};
  const std::string& top = item[0];
  if (top == kFileBoxText) return ElementPath(JoinRest(item, kArchivePath));
  if (top == kScheduleText) return ElementPath(JoinRest(item, kSchedulePath));
  if (top == kToolBoxText) return ElementPath(JoinRest(item, kToolsPath));
  return ElementPath(JoinRest(item, top));
}

DocumentPath DocumentPathOfItem(const ItemPath& item, std::string_view databasePath,
                                std::string_view extension) {
  if (item.empty()) return {};
  const std::string& top = item[0];
  std::string path;
  if (top == kFileBoxText) path = JoinRest(item, NoteStoreDirectory(databasePath));
  else if (top == kScheduleText) path = "schedule";
  else if (top == kToolBoxText) path = "Tools";
  else path = JoinRest(item, top);
  path += extension;
  return DocumentPath(std::move(path));
}

ItemPath TopLevelItemOf(const ItemPath& item) {
  if (item.empty()) return {};
  return {item[0]};
}

std::string ItemTypeOf(CXmlDocument& doc, const ItemPath& item) {
  XmlNode element = doc.Select(ElementPathOfItem(item).str());
  if (!element) return "dir";
  return Attribute(element, "type");
}

bool IsValidNodeName(std::string_view name) {
  return IsValidXmlName(name) && name.find(':') == std::string_view::npos;
}

bool IsInFileBox(const ItemPath& item) {
  if (item.empty() || item[0] != kFileBoxText) return false;
  for (std::size_t i = 1; i < item.size(); ++i)
    if (!IsValidXmlName(item[i])) return false;
  return true;
}

std::optional<ItemPath> ItemPathOfElementPath(const ElementPath& path) {
  const std::string_view elementPath = path.str();
  const std::string_view archive = kArchivePath;
  if (elementPath.substr(0, archive.size()) != archive) return std::nullopt;
  std::string_view rest = elementPath.substr(archive.size());
  if (!rest.empty() && rest[0] != '/') return std::nullopt;
  ItemPath item{std::string(kFileBoxText)};
  while (!rest.empty()) {
    rest.remove_prefix(1);
    const auto slash = rest.find('/');
    const std::string_view comp = rest.substr(0, slash);
    if (comp.empty()) return std::nullopt;
    item.emplace_back(comp);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  }
  return item;
}

std::optional<ItemPath> ParseItemPath(std::string_view text) {
  if (text.empty()) return std::nullopt;
  if (text[0] == '/') text.remove_prefix(1);
  ItemPath item{std::string(kFileBoxText)};
  if (text.empty()) return item;
  for (;;) {
    const auto slash = text.find('/');
    const std::string_view comp = text.substr(0, slash);
    if (comp.empty()) return std::nullopt;
    item.emplace_back(comp);
    if (slash == std::string_view::npos) break;
    text.remove_prefix(slash + 1);
  }
  return item;
}

std::vector<XmlNode> ShownChildren(XmlNode element) {
  std::vector<XmlNode> out;
  for (XmlNode child = FirstChild(element); child; child = NextSibling(child))
    if (IsElement(child) && KindOfType(Attribute(child, "type"))) out.push_back(child);
  return out;
}

}  // namespace zorbek
