// The XML access layer: one parsed database document, the path it was loaded from, and the
// node operations every other part of the program uses to read and change it.
//
// Nodes are pugixml handles. A node that is removed from the tree or created and not yet
// inserted lives on in a hidden detached area of its document, so that a handle to it stays
// valid (it can be inserted again) until the document is loaded anew or destroyed.
//
// Strings are UTF-8. Operations that need a node throw XmlError when given an empty handle.
//
// Threads. A document belongs to one thread (the program's main thread) and has no lock: no
// other thread reads or writes it. The reminder check decides on the store's list in memory
// and hands its decisions to that thread; the search workers read files, never the document.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/io/file_signature.h"

namespace zorbek {

class XmlText;

using XmlNode = pugi::xml_node;

class XmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The deepest nesting of elements a database may have; a deeper file is not read.
inline constexpr std::size_t kMaxElementDepth = 1024;

// The largest database file that is read: a bigger file is not read at all (it is treated as
// unreadable), so that a junk file brought by a sync tool cannot take the machine's memory.
inline constexpr std::int64_t kMaxDatabaseBytes = 256LL * 1024 * 1024;

// How a load went. The document is empty unless the file was Loaded.
enum class LoadStatus { Loaded, Missing, Unparsable };

class CXmlDocument {
 public:
  CXmlDocument();
  ~CXmlDocument();
  CXmlDocument(const CXmlDocument&) = delete;
  CXmlDocument& operator=(const CXmlDocument&) = delete;

  // Replaces the content by the file's and sets the path, whether or not the file could be read.
  // The document remembers which version of the file it read (see Save).
  LoadStatus Load(const std::string& path);
  // Replaces the content by the text (no path change). For tests and conversions.
  bool LoadFromString(std::string_view xml);
  // Reads the file at the path again, for a file another program changed. The content is
  // replaced only when the new file can be read (it parses, is not nested too deep, and accept,
  // when given, takes its root element); otherwise the document stays as it was, and so does
  // the version it remembers, so that Save keeps refusing to write over the file.
  LoadStatus Reload(const std::function<bool(XmlNode root)>& accept = {});
  // Whether the file at the path is no longer the version the document read or last wrote
  // (another program replaced, changed or removed it).
  bool ChangedOnDisk() const;

  // Writes the whole document to the path, atomically. Empty path: nothing, true. False when
  // the file could not be written, when the document is write-protected, and when the file
  // there is no longer the one the document read or last wrote: another program changed it,
  // and an older copy is never written over a newer file (until Reload). A file that is gone
  // is written again. Nothing is shown to the user here: the caller shows SaveFailedMessage()
  // with LastSaveError().
  bool Save();
  // Why the last save failed, in the user's words; empty after a save that worked.
  std::string LastSaveError() const;
  // How many saves have succeeded since the document was created. A background save that keeps
  // failing is reported again only after this has moved.
  std::uint64_t SuccessfulSaves() const;
  // The serialised document: UTF-8, no declaration, no added white space.
  std::string ToString() const;

  std::string GetPath() const { return path_; }

  // The first element in document order at an absolute path such as "/list/filetree/archive";
  // with create, missing elements along the path are created and the document is saved.
  XmlNode Select(std::string_view path, bool create = false);
  // Every element at the path, in document order.
  std::vector<XmlNode> SelectAll(std::string_view path) const;
  void SelectAllAndRemove(std::string_view path);

  // A new element, not yet inserted. Throws XmlError for a name that is not an XML name.
  XmlNode CreateElement(std::string_view name);
  // Removes a node that sits directly in the document (the root element).
  void RemoveRootLevelNode(XmlNode node);
  // The root element, or an empty node.
  XmlNode DocumentElement() const;

  // While set, Save refuses to write (used when the file on disk must not be replaced).
  void SetWriteProtected(bool on) { writeProtected_ = on; }
  bool WriteProtected() const { return writeProtected_; }

 private:
  XmlNode Detached();
  void ResetDocument();

  // The file's text, which doc_ was parsed from in place and whose strings it points into;
  // none for a document built from a string.
  std::unique_ptr<XmlText> text_;
  pugi::xml_document doc_;
  std::string path_;
  // The version of the file at path_ that doc_ was read from or last written to; nullopt when
  // there was no file.
  std::optional<FileSignature> disk_;
  bool writeProtected_ = false;
  std::uint64_t successfulSaves_ = 0;
  std::string lastSaveError_;
};

// "请检查文件路径是否存在：%s" with the path: what the user is told when a save failed. With a
// reason (CXmlDocument::LastSaveError), the reason follows on a line of its own.
std::string SaveFailedMessage(std::string_view path);
std::string SaveFailedMessage(std::string_view path, std::string_view reason);

// Why a save did not write: the file was changed by another program since it was read.
inline constexpr const char* kChangedOnDiskReason =
    "数据库文件已被其他程序修改，为免覆盖那些修改，程序没有写入。";

// XML 1.0 Name production (the names of folders and notes are element names).
bool IsValidXmlName(std::string_view name);

// ---- node operations --------------------------------------------------------------------------
std::string Attribute(XmlNode node, std::string_view name);
void SetAttribute(XmlNode node, std::string_view name, std::string_view value);
void SetAttributeInt(XmlNode node, std::string_view name, std::int32_t value);    // "%d"
void SetAttributeLong(XmlNode node, std::string_view name, long value);           // "%ld"
void SetAttributeU64(XmlNode node, std::string_view name, std::uint64_t value);   // unsigned decimal
int AttributeCount(XmlNode node);

std::string Text(XmlNode node);
void SetText(XmlNode node, std::string_view value);
std::string Name(XmlNode node);
// "element", "text", "comment", "cdatasection", "processinginstruction", "document",
// "documenttype"; empty for an empty node.
std::string TypeString(XmlNode node);
inline bool IsElement(XmlNode node) { return node.type() == pugi::node_element; }

bool HasChildren(XmlNode node);
int ChildCount(XmlNode node);
XmlNode ChildAt(XmlNode node, int index);
XmlNode Parent(XmlNode node);        // empty for a detached node
XmlNode FirstChild(XmlNode node);
XmlNode NextSibling(XmlNode node);

XmlNode AppendChild(XmlNode parent, XmlNode node);
XmlNode InsertChild(XmlNode parent, XmlNode node, bool atFront);
XmlNode InsertBefore(XmlNode reference, XmlNode node);
XmlNode InsertAfter(XmlNode reference, XmlNode node);
XmlNode Replace(XmlNode oldNode, XmlNode newNode);
void Remove(XmlNode node);
void RemoveChildren(XmlNode node);
void MoveChildren(XmlNode destination, XmlNode source);
void CopyAttributes(XmlNode destination, XmlNode source);
// A deep copy of node, detached, in the same document.
XmlNode CloneNode(XmlNode node);

}  // namespace zorbek
