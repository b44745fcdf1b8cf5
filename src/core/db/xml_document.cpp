#include "core/db/xml_document.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/app/prompts.h"
#include "core/db/xml_memory.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

// Removed and newly created nodes are kept under this document-level element. Its name is not
// an XML name, so no path can ever reach it and it is never written.
constexpr const char* kDetachedName = "#detached";

bool IsDetachedArea(XmlNode node) {
  return node.type() == pugi::node_element && node.parent().type() == pugi::node_document &&
         std::strcmp(node.name(), kDetachedName) == 0;
}

XmlNode DetachedAreaOf(XmlNode node) {
  XmlNode root = node.root();
  if (!root) throw XmlError("node has no document");
  XmlNode area = root.child(kDetachedName);
  if (!area) area = root.append_child(kDetachedName);
  return area;
}

void Require(XmlNode node, const char* what) {
  if (!node) throw XmlError(std::string("invalid pointer: empty node in ") + what);
}

bool IsAncestorOrSelf(XmlNode candidate, XmlNode node) {
  for (XmlNode n = node; n; n = n.parent())
    if (n == candidate) return true;
  return false;
}

// ---- XML names ----------------------------------------------------------------------------
bool IsNameStartChar(char32_t c) {
  return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStartChar(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// ---- encodings ----------------------------------------------------------------------------
std::string DeclaredEncoding(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' ||
                              bytes[i] == '\n'))
    ++i;
  if (bytes.substr(i, 5) != "<?xml") return {};
  const auto end = bytes.find("?>", i);
  const std::string_view decl = bytes.substr(i, end == std::string_view::npos ? 200 : end - i);
  const auto enc = decl.find("encoding");
  if (enc == std::string_view::npos) return {};
  auto q = decl.find_first_of("\"'", enc);
  if (q == std::string_view::npos) return {};
  const auto q2 = decl.find(decl[q], q + 1);
  if (q2 == std::string_view::npos) return {};
  return FoldLatinCase(decl.substr(q + 1, q2 - q - 1));
}

// The file's text as UTF-8: byte-order marks first, then the declared encoding; text that is
// not UTF-8 and declares nothing is read as CP936, the encoding such files were written in.
// Nothing when the text is UTF-8 as it is (nearly every file): it is parsed where it lies.
std::optional<std::string> ConvertedToUtf8(std::string_view bytes) {
  auto starts = [&](const char* bom, std::size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), bom, n) == 0;
  };
  if (starts("\xEF\xBB\xBF", 3)) return std::string(bytes.substr(3));
  if (starts("\xFF\xFE", 2) || starts("\xFE\xFF", 2)) {
    const bool le = bytes[0] == '\xFF';
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto a = static_cast<unsigned char>(bytes[i]);
      const auto b = static_cast<unsigned char>(bytes[i + 1]);
      wide.push_back(static_cast<char16_t>(le ? (a | (b << 8)) : ((a << 8) | b)));
    }
    return Utf16ToUtf8(wide);
  }
  const std::string enc = DeclaredEncoding(bytes);
  if (enc == "gbk" || enc == "gb2312" || enc == "cp936" || enc == "windows-936" ||
      enc == "x-gbk")
    return CodePageToUtf8(bytes, 936);
  if (enc == "gb18030") return CodePageToUtf8(bytes, 54936);
  if (enc == "big5") return CodePageToUtf8(bytes, 950);
  if (enc == "iso-8859-1" || enc == "latin1" || enc == "windows-1252")
    return CodePageToUtf8(bytes, 1252);
  if (enc.empty() && !IsValidUtf8(bytes)) return CodePageToUtf8(bytes, 936);
  return std::nullopt;
}

// The file at path, as UTF-8 text to parse in place; nullopt when it cannot be read (or is
// larger than a database can be). *read is the version read.
std::unique_ptr<XmlText> ReadText(const std::string& path, FileSignature* read) {
  auto text = std::make_unique<XmlText>();
  const auto used = ReadWholeFileInto(
      path, [&](std::size_t n) { return text->Reserve(n); }, read, kMaxDatabaseBytes);
  if (!used) return nullptr;
  text->SetSize(*used);
  if (auto converted = ConvertedToUtf8(text->view())) {
    text = std::make_unique<XmlText>();
    std::memcpy(text->Reserve(converted->size() + 1), converted->data(), converted->size());
    text->SetSize(converted->size());
  }
  return text;
}

// ---- serialisation ------------------------------------------------------------------------
// The length of the UTF-8 sequence at s[i] and its code point; 0 when it is not valid UTF-8.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t* cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len;
  char32_t c;
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF))
    return 0;
  *cp = c;
  return len;
}

// Text as XML 1.0 can read it back: markup escaped, and characters XML 1.0 forbids even as
// references (controls other than tab, line feed and carriage return; U+FFFE and U+FFFF) left
// out; bytes that are not UTF-8 become U+FFFD. A carriage return is written as a reference,
// since a parser turns a literal one into a line feed.
void AppendEscaped(std::string& out, std::string_view s, bool attribute) {
  // Runs of characters written as they are go out in one piece.
  std::size_t run = 0;
  const auto flush = [&](std::size_t upTo) { out.append(s.data() + run, upTo - run); };
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x80) {
      char32_t cp = 0;
      const std::size_t len = DecodeUtf8(s, i, &cp);
      if (len != 0 && cp != 0xFFFE && cp != 0xFFFF) {
        i += len;
        continue;
      }
      flush(i);
      if (len == 0) out += "\xEF\xBF\xBD";
      i += len == 0 ? 1 : len;
      run = i;
      continue;
    }
    const bool literal = (c >= 0x20 && c != '&' && c != '<' && c != '>' &&
                          !(attribute && c == '"')) ||
                         (!attribute && (c == '\t' || c == '\n'));
    if (literal) {
      ++i;
      continue;
    }
    flush(i);
    run = ++i;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      default: break;  // other controls: XML 1.0 cannot carry them
    }
  }
  flush(s.size());
}

// The deepest element nesting of the document, counted without recursion.
std::size_t ElementDepth(const pugi::xml_node& top) {
  std::size_t depth = 0, deepest = 0;
  XmlNode n = top.first_child();
  while (n) {
    if (n.type() == pugi::node_element) deepest = std::max(deepest, depth + 1);
    if (n.first_child()) {
      n = n.first_child();
      ++depth;
      continue;
    }
    while (n && !n.next_sibling() && n != top) {
      n = n.parent();
      --depth;
    }
    if (!n || n == top) break;
    n = n.next_sibling();
  }
  return deepest;
}

void Serialize(std::string& out, XmlNode node) {
  switch (node.type()) {
    case pugi::node_element: {
      out += '<';
      out += node.name();
      for (auto a : node.attributes()) {
        out += ' ';
        out += a.name();
        out += "=\"";
        AppendEscaped(out, a.value(), true);
        out += '"';
      }
      if (!node.first_child()) {
        out += "/>";
        return;
      }
      out += '>';
      for (auto c : node.children()) Serialize(out, c);
      out += "</";
      out += node.name();
      out += '>';
      return;
    }
    case pugi::node_pcdata: AppendEscaped(out, node.value(), false); return;
    case pugi::node_cdata:
      out += "<![CDATA[";
      out += node.value();
      out += "]]>";
      return;
    case pugi::node_comment:
      out += "<!--";
      out += node.value();
      out += "-->";
      return;
    case pugi::node_pi:
      out += "<?";
      out += node.name();
      if (*node.value()) {
        out += ' ';
        out += node.value();
      }
      out += "?>";
      return;
    case pugi::node_doctype:
      out += "<!DOCTYPE ";
      out += node.value();
      out += '>';
      return;
    default: return;
  }
}

void CollectText(std::string& out, XmlNode node) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
    out += node.value();
    return;
  }
  if (node.type() != pugi::node_element && node.type() != pugi::node_document) return;
  for (auto c : node.children()) {
    if (IsDetachedArea(c)) continue;
    CollectText(out, c);
  }
}

// ---- path selection -----------------------------------------------------------------------
bool SplitSimplePath(std::string_view path, std::vector<std::string_view>& parts) {
  if (path.size() < 2 || path[0] != '/') return false;
  std::size_t pos = 1;
  while (pos <= path.size()) {
    auto next = path.find('/', pos);
    if (next == std::string_view::npos) next = path.size();
    const auto comp = path.substr(pos, next - pos);
    if (!IsValidXmlName(comp)) return false;
    parts.push_back(comp);
    pos = next + 1;
  }
  return !parts.empty();
}

// "/" followed by the text (built by hand: GCC 12 warns falsely on "/" + std::string).
std::string Rooted(std::string_view rest) {
  std::string out;
  out.reserve(rest.size() + 1);
  out += '/';
  out += rest;
  return out;
}

bool NameIs(XmlNode n, std::string_view name) {
  const char* s = n.name();
  return std::strlen(s) == name.size() && std::memcmp(s, name.data(), name.size()) == 0;
}

XmlNode FindFirst(XmlNode parent, const std::vector<std::string_view>& parts, std::size_t i) {
  for (XmlNode c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || !NameIs(c, parts[i])) continue;
    if (i + 1 == parts.size()) return c;
    if (XmlNode r = FindFirst(c, parts, i + 1)) return r;
  }
  return {};
}

void FindAll(XmlNode parent, const std::vector<std::string_view>& parts, std::size_t i,
             std::vector<XmlNode>& out) {
  for (XmlNode c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || !NameIs(c, parts[i])) continue;
    if (i + 1 == parts.size()) out.push_back(c);
    else FindAll(c, parts, i + 1, out);
  }
}

}  // namespace

bool IsValidXmlName(std::string_view name) {
  if (name.empty()) return false;
  std::u16string wide = Utf8ToUtf16(name);
  if (!IsValidUtf8(name)) return false;
  bool first = true;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    if (first ? !IsNameStartChar(c) : !IsNameChar(c)) return false;
    first = false;
  }
  return true;
}

// ---- CXmlDocument -------------------------------------------------------------------------
CXmlDocument::CXmlDocument() = default;
CXmlDocument::~CXmlDocument() = default;

void CXmlDocument::ResetDocument() {
  doc_.reset();
  text_.reset();
}

namespace {

constexpr unsigned kParseFlags =
    pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_doctype;

// Whether what was parsed is a document the program reads; doc is emptied when it is not.
bool Accepted(pugi::xml_document& doc, const pugi::xml_parse_result& result) {
  // No database is nested this deep; a file that is would only exhaust the stack of every
  // walk over it.
  if (!result || !doc.document_element() || ElementDepth(doc) > kMaxElementDepth) {
    doc.reset();
    return false;
  }
  return true;
}

// Parses xml (copied) into doc; false (and doc empty) when it is not a document the program
// reads.
bool Parse(pugi::xml_document& doc, std::string_view xml) {
  doc.reset();
  return Accepted(doc, doc.load_buffer(xml.data(), xml.size(), kParseFlags, pugi::encoding_utf8));
}

// Parses a file's text in place: the document's strings point into text, which must outlive
// it. A large database is then held once, not copied for the parser.
bool ParseInPlace(pugi::xml_document& doc, XmlText& text) {
  doc.reset();
  const bool large = text.size() >= kBulkXmlBytes;
  if (large) ReserveHeapForBulk(text.size());
  const BulkXmlMemory bulk(large);
  return Accepted(doc, doc.load_buffer_inplace(text.data(), text.size(), kParseFlags,
                                               pugi::encoding_utf8));
}

}  // namespace

LoadStatus CXmlDocument::Load(const std::string& path) {
  ResetDocument();
  path_ = path;
  FileSignature read;
  auto text = ReadText(path, &read);
  disk_ = text ? std::optional<FileSignature>(read) : FileSignatureOf(path);
  if (!text) return disk_ ? LoadStatus::Unparsable : LoadStatus::Missing;
  if (!ParseInPlace(doc_, *text)) return LoadStatus::Unparsable;
  text_ = std::move(text);
  return LoadStatus::Loaded;
}

bool CXmlDocument::LoadFromString(std::string_view xml) {
  text_.reset();
  return Parse(doc_, xml);
}

LoadStatus CXmlDocument::Reload(const std::function<bool(XmlNode root)>& accept) {
  FileSignature read;
  auto text = ReadText(path_, &read);
  if (!text) return PathExists(path_) ? LoadStatus::Unparsable : LoadStatus::Missing;
  pugi::xml_document fresh;
  if (!ParseInPlace(fresh, *text) || (accept && !accept(fresh.document_element())))
    return LoadStatus::Unparsable;
  doc_ = std::move(fresh);
  text_ = std::move(text);
  disk_ = read;
  return LoadStatus::Loaded;
}

bool CXmlDocument::ChangedOnDisk() const {
  return !path_.empty() && FileSignatureOf(path_) != disk_;
}

std::string CXmlDocument::ToString() const {
  std::string out;
  // About the size of the file read: the text grows once or not at all.
  if (text_) out.reserve(text_->size() + text_->size() / 16);
  for (auto c : doc_.children()) {
    if (IsDetachedArea(c)) continue;
    Serialize(out, c);
  }
  return out;
}

bool CXmlDocument::Save() {
  lastSaveError_.clear();
  if (path_.empty()) return true;
  if (writeProtected_) return false;
  // Only the version this document holds may be replaced, checked and replaced in one step; a
  // file that is gone is written again.
  const ReplaceGuard guard{disk_, kChangedOnDiskReason};
  FileSignature written;
  if (!WriteFileAtomically(path_, ToString(), &lastSaveError_, guard, &written)) return false;
  disk_ = written;
  ++successfulSaves_;
  return true;
}

std::string CXmlDocument::LastSaveError() const {
  return lastSaveError_;
}

std::uint64_t CXmlDocument::SuccessfulSaves() const {
  return successfulSaves_;
}

std::string SaveFailedMessage(std::string_view path) {
  return FormatMessage("请检查文件路径是否存在：%s", path);
}

std::string SaveFailedMessage(std::string_view path, std::string_view reason) {
  std::string text = SaveFailedMessage(path);
  if (!reason.empty()) {
    text += '\n';
    text += reason;
  }
  return text;
}

XmlNode CXmlDocument::DocumentElement() const {
  for (XmlNode c = doc_.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && !IsDetachedArea(c)) return c;
  return {};
}

XmlNode CXmlDocument::Detached() {
  XmlNode area = doc_.child(kDetachedName);
  if (!area) area = doc_.append_child(kDetachedName);
  return area;
}

std::vector<XmlNode> CXmlDocument::SelectAll(std::string_view path) const {
  std::vector<XmlNode> out;
  std::vector<std::string_view> parts;
  if (SplitSimplePath(path, parts)) {
    FindAll(doc_, parts, 0, out);
    return out;
  }
  try {
    for (const auto& n : doc_.select_nodes(std::string(path).c_str())) {
      if (n.node() && !IsDetachedArea(n.node())) out.push_back(n.node());
    }
  } catch (const pugi::xpath_exception&) {
  }
  return out;
}

XmlNode CXmlDocument::Select(std::string_view path, bool create) {
  std::vector<std::string_view> parts;
  XmlNode found;
  if (SplitSimplePath(path, parts)) {
    found = FindFirst(doc_, parts, 0);
  } else {
    auto all = SelectAll(path);
    if (!all.empty()) found = all.front();
  }
  if (found || !create) return found;

  std::string rest(path);
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  XmlNode result;
  const auto slash = rest.find('/');
  if (slash != std::string::npos) {
    try {
      const std::string first = rest.substr(0, slash);
      XmlNode current = Select(Rooted(first));
      if (!current) {
        XmlNode root = DocumentElement();
        if (root && !EqualsIgnoreLatinCase(Name(root), first)) RemoveRootLevelNode(root);
        if (DocumentElement()) throw XmlError("the document already has a root element");
        current = CreateElement(first);
        doc_.append_move(current);
      }
      std::size_t pos = slash + 1;
      for (auto next = rest.find('/', pos); next != std::string::npos;
           next = rest.find('/', pos)) {
        XmlNode step = Select(Rooted(std::string_view(rest).substr(0, next)));
        if (!step) {
          step = CreateElement(rest.substr(pos, next - pos));
          AppendChild(current, step);
        }
        current = step;
        pos = next + 1;
      }
      result = Select(Rooted(rest));
      if (!result) {
        result = CreateElement(rest.substr(pos));
        AppendChild(current, result);
      }
    } catch (const XmlError&) {
      result = XmlNode();  // a component that is no element name: nothing more can be created
    }
  }
  Save();
  return result;
}

void CXmlDocument::SelectAllAndRemove(std::string_view path) {
  for (XmlNode n : SelectAll(path)) Remove(n);
}

XmlNode CXmlDocument::CreateElement(std::string_view name) {
  if (!IsValidXmlName(name))
    throw XmlError("invalid element name: " + std::string(name));
  return Detached().append_child(std::string(name).c_str());
}

void CXmlDocument::RemoveRootLevelNode(XmlNode node) {
  if (node && node.parent() == doc_) Remove(node);
}

// ---- node operations ----------------------------------------------------------------------
std::string Attribute(XmlNode node, std::string_view name) {
  if (!node) return {};
  return node.attribute(std::string(name).c_str()).value();
}

void SetAttribute(XmlNode node, std::string_view name, std::string_view value) {
  if (!node || node.type() != pugi::node_element) return;
  if (!IsValidXmlName(name)) throw XmlError("invalid attribute name: " + std::string(name));
  const std::string n(name);
  pugi::xml_attribute attr = node.attribute(n.c_str());
  if (!attr) attr = node.append_attribute(n.c_str());
  attr.set_value(std::string(value).c_str());
}

void SetAttributeInt(XmlNode node, std::string_view name, std::int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  SetAttribute(node, name, buf);
}

void SetAttributeLong(XmlNode node, std::string_view name, long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld", value);
  SetAttribute(node, name, buf);
}

void SetAttributeU64(XmlNode node, std::string_view name, std::uint64_t value) {
  SetAttribute(node, name, std::to_string(value));
}

int AttributeCount(XmlNode node) {
  int n = 0;
  for (auto a = node.first_attribute(); a; a = a.next_attribute()) ++n;
  return n;
}

std::string Text(XmlNode node) {
  std::string out;
  if (node) CollectText(out, node);
  return out;
}

void SetText(XmlNode node, std::string_view value) {
  if (!node) return;
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata ||
      node.type() == pugi::node_comment) {
    node.set_value(std::string(value).c_str());
    return;
  }
  if (node.type() != pugi::node_element) return;
  while (XmlNode c = node.first_child()) {
    if (c.type() == pugi::node_element) Remove(c);  // someone may still hold it
    else node.remove_child(c);
  }
  node.append_child(pugi::node_pcdata).set_value(std::string(value).c_str());
}

std::string Name(XmlNode node) {
  if (!node) return {};
  if (node.type() != pugi::node_element && node.type() != pugi::node_pi) return {};
  std::string_view name = node.name();
  const auto colon = name.find(':');
  return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
}

std::string TypeString(XmlNode node) {
  switch (node.type()) {
    case pugi::node_element: return "element";
    case pugi::node_pcdata: return "text";
    case pugi::node_cdata: return "cdatasection";
    case pugi::node_comment: return "comment";
    case pugi::node_pi:
    case pugi::node_declaration: return "processinginstruction";
    case pugi::node_doctype: return "documenttype";
    case pugi::node_document: return "document";
    default: return {};
  }
}

bool HasChildren(XmlNode node) { return FirstChild(node); }

int ChildCount(XmlNode node) {
  int n = 0;
  for (XmlNode c = node.first_child(); c; c = c.next_sibling())
    if (!IsDetachedArea(c)) ++n;
  return n;
}

XmlNode ChildAt(XmlNode node, int index) {
  if (index < 0) return {};
  for (XmlNode c = node.first_child(); c; c = c.next_sibling()) {
    if (IsDetachedArea(c)) continue;
    if (index-- == 0) return c;
  }
  return {};
}

XmlNode Parent(XmlNode node) {
  XmlNode p = node.parent();
  return IsDetachedArea(p) ? XmlNode() : p;
}

XmlNode FirstChild(XmlNode node) {
  XmlNode c = node.first_child();
  while (c && IsDetachedArea(c)) c = c.next_sibling();
  return c;
}

XmlNode NextSibling(XmlNode node) {
  XmlNode c = node.next_sibling();
  while (c && IsDetachedArea(c)) c = c.next_sibling();
  return c;
}

namespace {
// Moves node to be placed by place(); a node of another document is copied in and the original
// removed there, as a DOM that imports nodes does.
template <typename Place>
XmlNode MoveInto(XmlNode target, XmlNode node, Place place) {
  Require(target, "insert");
  Require(node, "insert");
  if (IsAncestorOrSelf(node, target)) throw XmlError("a node cannot be inserted into itself");
  if (node.root() != target.root()) {
    XmlNode copy = place(true, node);
    if (!copy) throw XmlError("the node cannot be inserted here");
    Remove(node);
    return copy;
  }
  XmlNode moved = place(false, node);
  if (!moved) throw XmlError("the node cannot be inserted here");
  return moved;
}
}  // namespace

XmlNode AppendChild(XmlNode parent, XmlNode node) {
  return MoveInto(parent, node, [&](bool copy, XmlNode n) {
    return copy ? parent.append_copy(n) : parent.append_move(n);
  });
}

XmlNode InsertChild(XmlNode parent, XmlNode node, bool atFront) {
  Require(parent, "insert child");
  XmlNode first = FirstChild(parent);
  if (atFront && first) return InsertBefore(first, node);
  return AppendChild(parent, node);
}

XmlNode InsertBefore(XmlNode reference, XmlNode node) {
  Require(reference, "insert before");
  XmlNode parent = reference.parent();
  Require(parent, "insert before");
  return MoveInto(parent, node, [&](bool copy, XmlNode n) {
    return copy ? parent.insert_copy_before(n, reference) : parent.insert_move_before(n, reference);
  });
}

XmlNode InsertAfter(XmlNode reference, XmlNode node) {
  Require(reference, "insert after");
  XmlNode parent = reference.parent();
  Require(parent, "insert after");
  return MoveInto(parent, node, [&](bool copy, XmlNode n) {
    return copy ? parent.insert_copy_after(n, reference) : parent.insert_move_after(n, reference);
  });
}

XmlNode Replace(XmlNode oldNode, XmlNode newNode) {
  Require(oldNode, "replace");
  Require(newNode, "replace");
  if (oldNode == newNode) return newNode;
  XmlNode placed = InsertBefore(oldNode, newNode);
  Remove(oldNode);
  return placed;
}

void Remove(XmlNode node) {
  Require(node, "remove");
  XmlNode parent = node.parent();
  if (!parent || IsDetachedArea(parent) || IsDetachedArea(node)) return;
  XmlNode area = DetachedAreaOf(node);
  area.append_move(node);
}

void RemoveChildren(XmlNode node) {
  Require(node, "remove children");
  while (XmlNode c = FirstChild(node)) Remove(c);
}

void MoveChildren(XmlNode destination, XmlNode source) {
  Require(destination, "move children");
  Require(source, "move children");
  while (XmlNode c = FirstChild(source)) AppendChild(destination, c);
}

void CopyAttributes(XmlNode destination, XmlNode source) {
  Require(destination, "copy attributes");
  Require(source, "copy attributes");
  for (auto a = source.first_attribute(); a; a = a.next_attribute())
    SetAttribute(destination, a.name(), a.value());
}

XmlNode CloneNode(XmlNode node) {
  Require(node, "clone");
  return DetachedAreaOf(node).append_copy(node);
}

}  // namespace zorbek
