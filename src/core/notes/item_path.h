// Items of the note tree and the two names every folder and note has: its element in the
// database and its file or directory in the note store.
//
// A tree item carries no data of its own. It is named by the texts of the item and its
// ancestors, top-level first: {"文件箱", "B", "A"} is the note A in the folder B of the file box.
// Both names are derived from those texts and never stored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/xml_document.h"
#include "core/notes/note_names.h"

namespace zorbek {

// The texts of the three top-level items, and of the tool box that has a path but no item.
inline constexpr std::string_view kFileBoxText = "文件箱";
inline constexpr std::string_view kScheduleText = "时间表";
inline constexpr std::string_view kHomePageText = "主页";
inline constexpr std::string_view kToolBoxText = "工具箱";

// Texts of an item and its ancestors, top-level first.
using ItemPath = std::vector<std::string>;

// What a shown element is: a folder ("dir") or a note ("esr").
enum class ItemKind { Folder, Note };

// The kind of a `type` value, compared without regard to case; nullopt for every other value
// (such elements and everything below them are not shown).
std::optional<ItemKind> KindOfType(std::string_view type);
// A note in the sense of the commands: the type is neither empty nor "dir".
bool IsNoteType(std::string_view type);

// The texts joined with "/", the leading top-level text replaced by its element path
// ("/list/filetree/archive", "/list/filetree/schedule", "/list/tools"). The home page maps to
// "主页", which matches no element.
ElementPath ElementPathOfItem(const ItemPath& item);

// The texts joined with "/", the file box replaced by the note store directory of the database.
// The timetable gives "schedule", the tool box "Tools". No extension: a note's file is this
// path followed by ".esr", which is what extension adds.
DocumentPath DocumentPathOfItem(const ItemPath& item, std::string_view databasePath,
                                std::string_view extension = {});

// The top-level item (the first text only).
ItemPath TopLevelItemOf(const ItemPath& item);

// The `type` of the item's element ("" when it has none), or "dir" when there is no element.
std::string ItemTypeOf(CXmlDocument& doc, const ItemPath& item);

// Whether a folder or note may have this name. A name is an element name, and it becomes a file
// name: an XML name without a colon (a prefix would need a namespace declaration, and no file
// system of the store's users forbids fewer characters). Such a name never holds "/", "\" or
// spaces and is never "." or "..".
bool IsValidNodeName(std::string_view name);

// True for the file box and every item below it whose texts are element names, that is every
// item whose paths lie inside the note store.
bool IsInFileBox(const ItemPath& item);
inline bool IsFileBox(const ItemPath& item) {
  return item.size() == 1 && item[0] == kFileBoxText;
}

// The item of an element path below "/list/filetree/archive" (the search and history panels
// know notes by that path); nullopt for any other path.
std::optional<ItemPath> ItemPathOfElementPath(const ElementPath& elementPath);

// "a/b" (or "/a/b") names the item b in the folder a of the file box; "/" is the file box.
// nullopt for an empty text or an empty component ("a//b").
std::optional<ItemPath> ParseItemPath(std::string_view text);

// The shown children of a folder element (type "dir" or "esr"), in document order.
std::vector<XmlNode> ShownChildren(XmlNode element);
// The element's name as stored, prefix included.
inline std::string ElementName(XmlNode element) { return element.name(); }

}  // namespace zorbek
