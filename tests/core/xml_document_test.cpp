#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <limits>

#include "core/db/xml_document.h"
#include "core/text/cp936.h"
#include "support/fake_prompts.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::FakePrompts;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(XmlLoad, MissingOrBrokenFilesGiveAnEmptyDocumentAndStillSetThePath) {
  TempDir dir;
  CXmlDocument doc;
  EXPECT_EQ(doc.Load(dir / "none.xml"), LoadStatus::Missing);
  EXPECT_EQ(doc.GetPath(), dir / "none.xml");
  EXPECT_FALSE(doc.DocumentElement());
  WriteFile(dir / "bad.xml", "<list><a></list>");
  EXPECT_EQ(doc.Load(dir / "bad.xml"), LoadStatus::Unparsable);
  EXPECT_FALSE(doc.DocumentElement());
  EXPECT_EQ(doc.GetPath(), dir / "bad.xml");
  WriteFile(dir / "empty.xml", "");
  EXPECT_EQ(doc.Load(dir / "empty.xml"), LoadStatus::Unparsable);
}

TEST(XmlLoad, ReadsEveryEncodingAndWritesUtf8WithoutDeclaration) {
  TempDir dir;
  const std::string body = "<list><中文 type=\"esr\">笔记</中文></list>";
  const std::string gbk = Utf8ToCp936(body);
  std::u16string wide = Utf8ToUtf16(body);
  std::string utf16le = "\xFF\xFE";
  for (char16_t c : wide) {
    utf16le.push_back(static_cast<char>(c & 0xFF));
    utf16le.push_back(static_cast<char>(c >> 8));
  }
  std::string utf16be = "\xFE\xFF";
  for (char16_t c : wide) {
    utf16be.push_back(static_cast<char>(c >> 8));
    utf16be.push_back(static_cast<char>(c & 0xFF));
  }
  const std::pair<const char*, std::string> files[] = {
      {"plain", body},
      {"bom", "\xEF\xBB\xBF" + body},
      {"decl", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + body},
      {"gbk", "<?xml version=\"1.0\" encoding=\"GBK\"?>" + gbk},
      {"gb2312", "<?xml version='1.0' encoding='gb2312' ?>\n" + gbk},
      {"utf16le", utf16le},
      {"utf16be", utf16be},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir / (std::string(name) + ".xml");
    WriteFile(path, bytes);
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(path), LoadStatus::Loaded);
    XmlNode note = doc.Select("/list/中文");
    ASSERT_TRUE(note);
    EXPECT_EQ(Text(note), "笔记");
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(ReadFile(path), body);
  }
}

TEST(XmlSelect, CreationOnAMissingFileBuildsTheDatabase) {
  TempDir dir;
  FakePrompts prompts;
  CXmlDocument doc;
  doc.Load(dir / "Zorbek.xml");
  XmlNode hotkey = doc.Select("/list/hotkey", true);
  ASSERT_TRUE(hotkey);
  EXPECT_EQ(ReadFile(dir / "Zorbek.xml"), "<list><hotkey/></list>");
  XmlNode archive = doc.Select("/list/filetree/archive", true);
  ASSERT_TRUE(archive);
  EXPECT_EQ(Name(archive), "archive");
  EXPECT_EQ(ReadFile(dir / "Zorbek.xml"),
            "<list><hotkey/><filetree><archive/></filetree></list>");
  EXPECT_TRUE(prompts.Messages().empty());
}

TEST(XmlSelect, AnExistingPathIsNeitherCreatedNorSaved) {
  TempDir dir;
  WriteFile(dir / "db.xml", "<list>\n  <hotkey/>\n</list>\n");
  CXmlDocument doc;
  ASSERT_EQ(doc.Load(dir / "db.xml"), LoadStatus::Loaded);
  EXPECT_TRUE(doc.Select("/list/hotkey", true));
  EXPECT_EQ(ReadFile(dir / "db.xml"), "<list>\n  <hotkey/>\n</list>\n");
}

TEST(XmlSelect, SingleComponentCreatesNothingButSaves) {
  TempDir dir;
  WriteFile(dir / "db.xml", "<list/>");
  CXmlDocument doc;
  doc.Load(dir / "db.xml");
  std::filesystem::remove(dir / "db.xml");  // a file that is gone is written again
  EXPECT_FALSE(doc.Select("/archive", true));
  EXPECT_EQ(ReadFile(dir / "db.xml"), "<list/>");
}

TEST(XmlSelect, NewElementsAreAppendedAfterExistingChildren) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<list><hotkey/><filetree/></list>"));
  ASSERT_TRUE(doc.Select("/list/tools", true));
  EXPECT_EQ(doc.ToString(), "<list><hotkey/><filetree/><tools/></list>");
}

TEST(XmlSelect, FirstMatchInDocumentOrderAndCaseSensitivePaths) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString(
      "<list><a><b id=\"1\"/></a><a><b id=\"2\"/><c/></a><A><c id=\"3\"/></A></list>"));
  EXPECT_EQ(Attribute(doc.Select("/list/a/b"), "id"), "1");
  EXPECT_EQ(Attribute(doc.Select("/list/A/c"), "id"), "3");
  EXPECT_TRUE(doc.Select("/list/a/c"));
  EXPECT_FALSE(doc.Select("/List/a"));
  EXPECT_EQ(doc.SelectAll("/list/a/b").size(), 2u);
  doc.SelectAllAndRemove("/list/a/b");
  EXPECT_EQ(doc.ToString(), "<list><a/><a><c/></a><A><c id=\"3\"/></A></list>");
}

TEST(XmlSelect, AForeignRootIsReplacedWhenAPathNeedsItsOwn) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<other><x/></other>"));
  ASSERT_TRUE(doc.Select("/list/hotkey", true));
  EXPECT_EQ(doc.ToString(), "<list><hotkey/></list>");
}

TEST(XmlElements, NamesMustBeXmlNames) {
  for (const char* good : {"a", "笔记", "_x", "a-b.c", "日记2024", "a:b", "é"}) {
    EXPECT_TRUE(IsValidXmlName(good)) << good;
  }
  for (const char* bad :
       {"", "1a", "a b", "a,b", "a/b", "..", ".a", "-a", "a<b", "a&b", "中 文", "a\"", "a\\b"}) {
    EXPECT_FALSE(IsValidXmlName(bad)) << bad;
  }
  CXmlDocument doc;
  EXPECT_THROW(doc.CreateElement("2024日记"), XmlError);
  EXPECT_TRUE(doc.CreateElement("日记2024"));
}

TEST(XmlAttributes, WritersAndOverwrites) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<list/>"));
  XmlNode e = doc.DocumentElement();
  SetAttribute(e, "a", "1");
  SetAttribute(e, "a", "2");
  EXPECT_EQ(AttributeCount(e), 1);
  EXPECT_EQ(Attribute(e, "a"), "2");
  SetAttributeU64(e, "zero", 0);
  SetAttributeU64(e, "max", std::numeric_limits<std::uint64_t>::max());
  SetAttributeInt(e, "neg", -2147483647 - 1);
  SetAttributeLong(e, "l", -5L);
  EXPECT_EQ(Attribute(e, "zero"), "0");
  EXPECT_EQ(Attribute(e, "max"), "18446744073709551615");
  EXPECT_EQ(Attribute(e, "neg"), "-2147483648");
  EXPECT_EQ(Attribute(e, "l"), "-5");
  EXPECT_EQ(Attribute(XmlNode(), "a"), "");
  SetAttribute(e, "q", "a\"b<c>&\td\ne");
  CXmlDocument back;
  ASSERT_TRUE(back.LoadFromString(doc.ToString()));
  EXPECT_EQ(Attribute(back.DocumentElement(), "q"), "a\"b<c>&\td\ne");
}

TEST(XmlNodes, ChildrenCountEveryNodeType) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<list>text<!--c--><a/><?pi x?></list>"));
  XmlNode list = doc.DocumentElement();
  ASSERT_EQ(ChildCount(list), 4);
  EXPECT_EQ(TypeString(ChildAt(list, 0)), "text");
  EXPECT_EQ(TypeString(ChildAt(list, 1)), "comment");
  EXPECT_EQ(TypeString(ChildAt(list, 2)), "element");
  EXPECT_EQ(TypeString(ChildAt(list, 3)), "processinginstruction");
  EXPECT_FALSE(ChildAt(list, 4));
  EXPECT_EQ(TypeString(XmlNode()), "");
  EXPECT_EQ(Name(XmlNode()), "");
  EXPECT_FALSE(HasChildren(ChildAt(list, 2)));
  RemoveChildren(list);
  EXPECT_EQ(ChildCount(list), 0);
  EXPECT_EQ(doc.ToString(), "<list/>");
}

TEST(XmlNodes, TextIsTheConcatenationOfDescendants) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<list>a<b>b<c>c</c></b><![CDATA[<d>]]></list>"));
  EXPECT_EQ(Text(doc.DocumentElement()), "abc<d>");
  XmlNode b = doc.Select("/list/b");
  SetText(b, "x & y");
  EXPECT_EQ(doc.ToString(), "<list>a<b>x &amp; y</b><![CDATA[<d>]]></list>");
  SetText(XmlNode(), "ignored");
}

TEST(XmlNodes, InsertMoveReplaceAndRemove) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<r><a/><b/><c/></r>"));
  XmlNode r = doc.DocumentElement();
  XmlNode a = doc.Select("/r/a"), b = doc.Select("/r/b"), c = doc.Select("/r/c");
  InsertBefore(a, c);  // move c to the front
  EXPECT_EQ(doc.ToString(), "<r><c/><a/><b/></r>");
  InsertAfter(b, c);  // after the last child: appended
  EXPECT_EQ(doc.ToString(), "<r><a/><b/><c/></r>");
  XmlNode n = doc.CreateElement("n");
  InsertChild(r, n, true);
  EXPECT_EQ(doc.ToString(), "<r><n/><a/><b/><c/></r>");
  XmlNode m = doc.CreateElement("m");
  SetAttribute(b, "k", "v");
  CopyAttributes(m, b);
  MoveChildren(m, r);  // takes every child, in order
  EXPECT_EQ(ChildCount(r), 0);
  AppendChild(r, m);
  EXPECT_EQ(doc.ToString(), "<r><m k=\"v\"><n/><a/><b k=\"v\"/><c/></m></r>");
  XmlNode x = doc.CreateElement("x");
  Replace(a, x);
  EXPECT_EQ(doc.ToString(), "<r><m k=\"v\"><n/><x/><b k=\"v\"/><c/></m></r>");
  // A removed node keeps a valid handle and can come back.
  Remove(b);
  EXPECT_FALSE(Parent(b));
  EXPECT_EQ(Attribute(b, "k"), "v");
  InsertChild(m, b, true);
  EXPECT_EQ(doc.ToString(), "<r><m k=\"v\"><b k=\"v\"/><n/><x/><c/></m></r>");
  EXPECT_THROW(AppendChild(b, m), XmlError);  // not into its own descendant
  EXPECT_THROW(Remove(XmlNode()), XmlError);
  EXPECT_THROW(AppendChild(XmlNode(), b), XmlError);
  // Inserting into an empty parent "at the front" appends.
  XmlNode empty = doc.CreateElement("e");
  InsertChild(empty, doc.CreateElement("f"), true);
  EXPECT_EQ(ChildCount(empty), 1);
}

TEST(XmlSave, EmptyPathDoesNothingAndFailuresAreResultsNotMessages) {
  FakePrompts prompts;
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString("<list/>"));
  EXPECT_TRUE(doc.Save());
  EXPECT_EQ(doc.SuccessfulSaves(), 0u);  // nothing was written
  TempDir dir;
  doc.Load(dir / "no/such/dir/Zorbek.xml");
  EXPECT_FALSE(doc.Save());
  // A save shows nothing: the caller shows the message.
  EXPECT_TRUE(prompts.Messages().empty());
  EXPECT_EQ(SaveFailedMessage(doc.GetPath()),
            "请检查文件路径是否存在：" + (dir / "no/such/dir/Zorbek.xml"));
  doc.Load(dir / "Zorbek.xml");
  EXPECT_TRUE(doc.Save());
  EXPECT_EQ(doc.SuccessfulSaves(), 1u);
}

TEST(XmlSave, IsAtomicAndKeepsPermissions) {
  TempDir dir;
  const std::string path = dir / "db.xml";
  WriteFile(path, "<list/>");
  ::chmod(path.c_str(), 0600);
  CXmlDocument doc;
  doc.Load(path);
  doc.Select("/list/hotkey", true);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // No temporary file is left behind.
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(XmlSave, WriteProtectedDocumentsAreNeverWritten) {
  FakePrompts prompts;
  TempDir dir;
  WriteFile(dir / "db.xml", "precious");
  CXmlDocument doc;
  doc.Load(dir / "db.xml");
  doc.SetWriteProtected(true);
  EXPECT_FALSE(doc.Save());
  EXPECT_EQ(ReadFile(dir / "db.xml"), "precious");
}

}  // namespace
}  // namespace zorbek
