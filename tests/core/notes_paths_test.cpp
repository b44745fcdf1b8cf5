#include <gtest/gtest.h>
#include <sys/stat.h>

#include <concepts>
#include <filesystem>
#include <type_traits>

#include "core/db/store_paths.h"
#include "core/notes/item_path.h"
#include "core/notes/note_commands.h"
#include "core/notes/note_opener.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {
using testing::TempDir;
using testing::WriteFile;

// The names of a note are types of their own: one is never taken where another is expected,
// nor made from a text without saying so, nor compared with another kind.
static_assert(!std::is_convertible_v<ElementPath, DocumentPath>);
static_assert(!std::is_convertible_v<DocumentPath, ElementPath>);
static_assert(!std::is_constructible_v<ElementPath, DocumentPath>);
static_assert(!std::is_constructible_v<DocumentPath, ElementPath>);
static_assert(!std::is_convertible_v<std::string, ElementPath>);
static_assert(!std::is_convertible_v<const char*, DocumentPath>);
static_assert(!std::is_constructible_v<ElementPath, ItemPath>);
static_assert(!std::is_convertible_v<ElementPath, std::string>);
static_assert(!std::equality_comparable_with<ElementPath, DocumentPath>);
static_assert(!std::equality_comparable_with<ElementPath, std::string>);
// The opener takes the document path first: the two the other way round do not compile.
static_assert(std::is_invocable_v<decltype(&OpenNoteEditor), DocumentPath, ElementPath>);
static_assert(!std::is_invocable_v<decltype(&OpenNoteEditor), ElementPath, DocumentPath>);
static_assert(!std::is_invocable_v<decltype(&OpenNoteEditor), std::string, std::string>);

TEST(NotesPaths, ElementAndDocumentPathsReplaceOnlyTheLeadingTopLevelText) {
  EXPECT_EQ(ElementPathOfItem({"文件箱", "B", "A"}).str(), "/list/filetree/archive/B/A");
  EXPECT_EQ(ElementPathOfItem({"文件箱"}).str(), "/list/filetree/archive");
  // A folder that happens to be called like the file box stays a name.
  EXPECT_EQ(ElementPathOfItem({"文件箱", "文件箱"}).str(), "/list/filetree/archive/文件箱");
  EXPECT_EQ(ElementPathOfItem({"时间表"}).str(), "/list/filetree/schedule");
  EXPECT_EQ(ElementPathOfItem({"工具箱"}).str(), "/list/tools");
  EXPECT_EQ(ElementPathOfItem({"主页"}).str(), "主页");

  const std::string db = "/home/用户/我的 文档/Zorbek.v2.xml";
  EXPECT_EQ(DocumentPathOfItem({"文件箱"}, db).str(), "/home/用户/我的 文档/Zorbek.v2/archive");
  EXPECT_EQ(DocumentPathOfItem({"文件箱", "B", "A"}, db).str(),
            "/home/用户/我的 文档/Zorbek.v2/archive/B/A");
  EXPECT_EQ(DocumentPathOfItem({"时间表"}, db).str(), "schedule");
  EXPECT_EQ(DocumentPathOfItem({"工具箱"}, db).str(), "Tools");
  EXPECT_EQ(DocumentPathOfItem({"主页"}, db).str(), "主页");
  EXPECT_EQ(TopLevelItemOf({"文件箱", "B", "A"}), ItemPath{"文件箱"});
}

TEST(NotesPaths, ItemTypeOfReadsTheElementAndCallsAMissingOneAFolder) {
  CXmlDocument doc;
  ASSERT_TRUE(doc.LoadFromString(
      "<list><filetree><archive><a type=\"ESR\"/><b/><c type=\"dir\"/></archive></filetree></list>"));
  EXPECT_EQ(ItemTypeOf(doc, {"文件箱", "a"}), "ESR");
  EXPECT_EQ(ItemTypeOf(doc, {"文件箱", "b"}), "");
  EXPECT_EQ(ItemTypeOf(doc, {"文件箱", "c"}), "dir");
  EXPECT_EQ(ItemTypeOf(doc, {"文件箱", "gone"}), "dir");
  EXPECT_EQ(ItemTypeOf(doc, {"文件箱"}), "");  // archive has no type
}

TEST(NotesPaths, NodeNamesThatCouldLeaveTheStoreAreInvalid) {
  for (const char* bad : {"", "a b", "a,b", "1abc", "a/b", "..", ".", "../x", "a\\b", "a:b",
                          " a", "-a", "a\tb"})
    EXPECT_FALSE(IsValidNodeName(bad)) << bad;
  for (const char* good : {"abc", "笔记", "新建ESR文档2", "_x", "a.b", "a-b", "日记2024"})
    EXPECT_TRUE(IsValidNodeName(good)) << good;
  EXPECT_TRUE(IsInFileBox({"文件箱", "笔记"}));
  EXPECT_FALSE(IsInFileBox({"文件箱", ".."}));
  EXPECT_FALSE(IsInFileBox({"时间表"}));
  EXPECT_FALSE(IsInFileBox({}));
}

TEST(NotesPaths, ItemPathsFromTextAndFromElementPaths) {
  EXPECT_EQ(ParseItemPath("/"), ItemPath{"文件箱"});
  EXPECT_EQ(ParseItemPath("a/笔记"), (ItemPath{"文件箱", "a", "笔记"}));
  EXPECT_EQ(ParseItemPath("/a"), (ItemPath{"文件箱", "a"}));
  EXPECT_FALSE(ParseItemPath(""));
  EXPECT_FALSE(ParseItemPath("a//b"));
  EXPECT_FALSE(ParseItemPath("a/"));
  EXPECT_EQ(ItemPathOfElementPath(ElementPath("/list/filetree/archive/B/A")),
            (ItemPath{"文件箱", "B", "A"}));
  EXPECT_EQ(ItemPathOfElementPath(ElementPath("/list/filetree/archive")), ItemPath{"文件箱"});
  EXPECT_FALSE(ItemPathOfElementPath(ElementPath("/list/filetree/archived/x")));
  EXPECT_FALSE(ItemPathOfElementPath(ElementPath("/list/filetree/schedule/x")));
}

TEST(NotesPaths, UniqueFileNameCountsFilesAndDirectoriesIgnoringCase) {
  TempDir dir;
  WriteFile(dir / "a.esr", "");
  WriteFile(dir / "A1.ESR", "");
  std::filesystem::create_directory(dir / "a2.esr");
  EXPECT_EQ(UniqueFileName(dir.path(), "a", ".esr"), "a3.esr");
  EXPECT_EQ(UniqueFileName(dir.path(), "b", ".esr"), "b.esr");
  EXPECT_EQ(UniqueFileName(dir / "missing", "a", ""), "a");
}

TEST(NotesPaths, ExistingPathIgnoringCaseFindsTheEntryOnDisk) {
  TempDir dir;
  WriteFile(dir / "Notes/Sub 目录/Abc.esr", "x");
  EXPECT_EQ(ExistingPathIgnoringCase(dir / "notes/sub 目录/ABC.esr"),
            dir / "Notes/Sub 目录/Abc.esr");
  EXPECT_EQ(ExistingPathIgnoringCase(dir / "Notes/Sub 目录/Abc.esr"),
            dir / "Notes/Sub 目录/Abc.esr");
  // What matches nothing stays as it was written.
  EXPECT_EQ(ExistingPathIgnoringCase(dir / "notes/none/x"), dir / "Notes/none/x");
}

TEST(NotesPaths, StoreFileOperationsNeverReplaceWhatIsThere) {
  TempDir dir;
  WriteFile(dir / "a", "A");
  WriteFile(dir / "b", "B");
  EXPECT_FALSE(RenameNoReplace(dir / "a", dir / "b"));
  EXPECT_EQ(testing::ReadFile(dir / "b"), "B");
  EXPECT_FALSE(CopyFileNoReplace(dir / "a", dir / "b"));
  EXPECT_EQ(testing::ReadFile(dir / "b"), "B");
  EXPECT_FALSE(CreateEmptyFile(dir / "b"));
  EXPECT_EQ(testing::ReadFile(dir / "b"), "B");
  EXPECT_TRUE(CopyFileNoReplace(dir / "a", dir / "c"));
  EXPECT_EQ(testing::ReadFile(dir / "c"), "A");
  EXPECT_FALSE(CopyFileNoReplace(dir / "missing", dir / "d"));
  EXPECT_FALSE(std::filesystem::exists(dir / "d"));
  EXPECT_TRUE(RenameNoReplace(dir / "a", dir / "新 名"));
  EXPECT_EQ(testing::ReadFile(dir / "新 名"), "A");
}

TEST(NotesPaths, DeleteDirectoryTreeRemovesReadOnlyEntriesButNotWhatALinkPointsTo) {
  TempDir dir;
  WriteFile(dir / "store/a/b.esr", "x");
  ::chmod((dir / "store/a/b.esr").c_str(), 0444);
  WriteFile(dir / "outside/keep.esr", "keep");
  std::filesystem::create_directory_symlink(dir / "outside", dir / "store/link");
  std::filesystem::create_directory_symlink(dir / "outside", dir / "link2");
  DeleteDirectoryTree(dir / "store");
  EXPECT_FALSE(std::filesystem::exists(dir / "store"));
  DeleteDirectoryTree(dir / "link2");
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link2"));
  EXPECT_EQ(testing::ReadFile(dir / "outside/keep.esr"), "keep");
}

TEST(NotesPaths, SortKeysFoldLatinCaseAndOrderChineseByCode) {
  EXPECT_EQ(SortKeyOfName("AbC"), SortKeyOfName("abc"));
  EXPECT_LT(SortKeyOfName("y"), SortKeyOfName("Z"));
  EXPECT_LT(SortKeyOfName("zzz"), SortKeyOfName("啊"));  // ASCII before double-byte
  EXPECT_LT(SortKeyOfName("啊"), SortKeyOfName("中"));   // B0A1 < D6D0
  EXPECT_LT(SortKeyOfName("ab"), SortKeyOfName("abc"));
}

}  // namespace
}  // namespace zorbek
