// A database of many notes: read in place (its nodes in regions of their own), changed, saved
// and read again exactly; the UTF-8 check that every load runs; a case-blind name lookup that
// does not read a large directory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/db/store_paths.h"
#include "core/db/xml_document.h"
#include "core/db/xml_memory.h"
#include "core/text/cp936.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// About 650 bytes a folder: folders of notes with Chinese names, attributes that need escaping and text.
std::string LargeDatabase(int folders) {
  std::string xml = "<list><hotkey/><filetree><archive state=\"expanded\">";
  for (int f = 0; f < folders; ++f) {
    xml += "<文件夹" + std::to_string(f) + " type=\"dir\" state=\"collapsed\">";
    for (int n = 0; n < 10; ++n)
      xml += "<笔记" + std::to_string(n) +
             " type=\"esr\" note=\"a &amp; b &lt;c&gt; &quot;d&quot;\"/>";
    xml += "</文件夹" + std::to_string(f) + ">";
  }
  xml += "</archive><schedule>一 &amp; 二</schedule></filetree></list>";
  return xml;
}

TEST(LargeDatabase, ReadInPlaceChangedSavedAndReadAgainExactly) {
  TempDir dir;
  const std::string path = dir / "Zorbek.xml";
  const std::string xml = LargeDatabase(3000);
  ASSERT_GE(xml.size(), kBulkXmlBytes);
  WriteFile(path, xml);
  const std::size_t regionsBefore = BulkXmlRegions();
  {
    auto doc = std::make_unique<CXmlDocument>();
    ASSERT_EQ(doc->Load(path), LoadStatus::Loaded);
    EXPECT_GT(BulkXmlRegions(), regionsBefore);
    EXPECT_EQ(doc->ToString(), xml);  // what was read is written back byte for byte
    XmlNode last = doc->Select("/list/filetree/archive/文件夹2999/笔记9");
    ASSERT_TRUE(last);
    EXPECT_EQ(Attribute(last, "note"), "a & b <c> \"d\"");
    EXPECT_EQ(Text(doc->Select("/list/filetree/schedule")), "一 & 二");

    // Changes after the load: new elements and attributes, removals, longer values.
    XmlNode archive = doc->Select("/list/filetree/archive");
    XmlNode added = doc->CreateElement("新的");
    SetAttribute(added, "type", "esr");
    InsertChild(archive, added, true);
    SetAttribute(last, "note", std::string(5000, 'x'));
    Remove(doc->Select("/list/filetree/archive/文件夹0"));
    ASSERT_TRUE(doc->Save());
    CXmlDocument again;
    ASSERT_EQ(again.Load(path), LoadStatus::Loaded);
    EXPECT_EQ(again.ToString(), doc->ToString());
    EXPECT_FALSE(again.Select("/list/filetree/archive/文件夹0"));
    EXPECT_EQ(Name(FirstChild(again.Select("/list/filetree/archive"))), "新的");

    // Another program's version is read over it; the nodes of the old one are let go.
    WriteFile(path, LargeDatabase(2500));
    ASSERT_EQ(doc->Reload(), LoadStatus::Loaded);
    EXPECT_FALSE(doc->Select("/list/filetree/archive/文件夹2500"));
    EXPECT_TRUE(doc->Select("/list/filetree/archive/文件夹2499/笔记9"));
    EXPECT_EQ(doc->ToString(), LargeDatabase(2500));
    // A version that cannot be read leaves the document as it was.
    WriteFile(path, LargeDatabase(2500).substr(0, 1200000));
    EXPECT_EQ(doc->Reload(), LoadStatus::Unparsable);
    EXPECT_TRUE(doc->Select("/list/filetree/archive/文件夹2499/笔记9"));
  }
  // Every region went with the documents that used it.
  EXPECT_EQ(BulkXmlRegions(), regionsBefore);
}

// The decoder's rules, one code point at a time, to hold the quick check against.
bool SlowIsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int len = b < 0x80 ? 1
                    : (b & 0xE0) == 0xC0 ? 2
                    : (b & 0xF0) == 0xE0 ? 3
                    : (b & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (len == 0 || i + len > s.size()) return false;
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// The flags of the mapping that holds address p, from /proc/self/smaps ("" when none does).
[[maybe_unused]] std::string MappingFlags(const void* p) {  // unused under the sanitizers
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  std::istringstream smaps(ReadFile("/proc/self/smaps"));
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long long low = 0, high = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &low, &high) == 2 && line.find(' ') > 0 &&
        line.find('-') < line.find(' '))
      inside = at >= low && at < high;
    else if (inside && line.rfind("VmFlags:", 0) == 0)
      return line;
  }
  return {};
}

TEST(LargeDatabase, TheSmallObjectsAfterALargeLoadComeFromMemoryAdvisedForHugePages) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' allocator is not the C library's";
#else
  ReserveHeapForBulk(std::size_t{8} << 20);
  // What a large tree makes next: many small blocks. Most of them lie where the room was made;
  // without it they would lie on the heap's plain pages.
  std::vector<std::unique_ptr<char[]>> blocks;
  int advised = 0;
  for (int i = 0; i < 40000; ++i) {
    blocks.push_back(std::make_unique<char[]>(120));
    if (i % 100 == 0 && MappingFlags(blocks.back().get()).find(" hg") != std::string::npos)
      ++advised;
  }
  EXPECT_GE(advised, 200);  // of 400 looked at
#endif
}

TEST(Utf8Check, AgreesWithTheDecoderOnEverySequenceAtEveryPlaceInAWord) {
  std::vector<std::string> sequences;
  for (int a = 0x80; a <= 0xFF; ++a) {
    sequences.push_back(std::string(1, static_cast<char>(a)));
    for (int b : {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF}) {
      const std::string two = {static_cast<char>(a), static_cast<char>(b)};
      sequences.push_back(two);
      for (int c : {0x41, 0x80, 0xBF, 0xC0}) {
        sequences.push_back(two + static_cast<char>(c));
        for (int d : {0x41, 0x80, 0xBF})
          sequences.push_back(two + static_cast<char>(c) + static_cast<char>(d));
      }
    }
  }
  int valid = 0;
  for (const std::string& seq : sequences) {
    // Before, between and after runs of ASCII of every length around a machine word, and cut
    // off by the end of the text.
    for (std::size_t before : {0, 1, 7, 8, 9, 15}) {
      for (std::size_t after : {0, 1, 8, 13}) {
        const std::string text = std::string(before, 'a') + seq + std::string(after, 'b');
        ASSERT_EQ(IsValidUtf8(text), SlowIsValidUtf8(text)) << ::testing::PrintToString(text);
        if (SlowIsValidUtf8(text)) ++valid;
      }
    }
  }
  EXPECT_GT(valid, 1000);  // both outcomes were asked
  EXPECT_TRUE(IsValidUtf8(std::string(1000, 'x') + "中文" + std::string(3, 'y')));
  EXPECT_FALSE(IsValidUtf8(std::string(1000, 'x') + "\xE4\xB8"));
}

TEST(StoreNames, ACaseBlindLookupFindsEverySpellingAndDanglingLinks) {
  TempDir dir;
  WriteFile(dir / "新建笔记.ESR", "");
  WriteFile(dir / "新建ESR文档1.ESR", "");
  WriteFile(dir / "Notes-Of-May.txt", "");
  std::filesystem::create_symlink(dir / "gone", dir / "新建文件夹");
  EXPECT_TRUE(FileExistsIn(dir.path(), "新建笔记.esr"));
  EXPECT_TRUE(FileExistsIn(dir.path(), "新建笔记.eSr"));
  EXPECT_FALSE(FileExistsIn(dir.path(), "新建笔记1.esr"));
  EXPECT_TRUE(FileExistsIn(dir.path(), "新建esr文档1.esr"));
  EXPECT_FALSE(FileExistsIn(dir.path(), "新建ESR文档.esr"));
  EXPECT_TRUE(FileExistsIn(dir.path(), "notes-of-may.TXT"));  // many letters: the listing
  EXPECT_FALSE(FileExistsIn(dir.path(), "notes-of-june.txt"));
  EXPECT_TRUE(FileExistsIn(dir.path(), "新建文件夹"));  // an entry, though it leads nowhere
  EXPECT_EQ(UniqueFileName(dir.path(), "新建笔记", ".esr"), "新建笔记1.esr");
}

}  // namespace
}  // namespace zorbek
