// Open editors follow their notes: renamed or moved, the text and its unsaved changes go to the
// new file; deleted, the editor closes without saving. And the tree over a notebook fills from
// it and tells a failed save of an expansion.
#include <gtest/gtest.h>

#include <QTest>
#include <cerrno>
#include <filesystem>
#include <future>

#include "core/db/store_paths.h"
#include "core/editor/note_path.h"
#include "core/io/file_util.h"
#include "core/notes/note_opener.h"
#include "core/notes/note_transfer.h"
#include "core/notes/notebook.h"
#include "core/rtf/plain_text.h"
#include "core/text/cp936.h"
#include "editor_test_util.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

class EditorFollowTest : public testing::EditorTest {
 protected:
  void SetUp() override {
    SetOpenNoteEditor([](const DocumentPath& d, const ElementPath& e) {
      editor::OpenNoteEditor(d, e);
    });
    editorsListener = editor::FollowNotebook(notebook);
    WriteFile(db, "<list><hotkey/><filetree><archive><f type=\"dir\"><n type=\"esr\"/></f>"
                  "<g type=\"dir\"/></archive></filetree></list>");
    notebook.Open(db);
    store = NoteStoreDirectory(db);
    WriteFile(store + "/f/n.esr", testing::kSimpleNote);
    fs::create_directories(store + "/g");
  }
  void TearDown() override {
    EditorTest::TearDown();
    SetOpenNoteEditor({});
    editor::UnfollowNotebook(notebook, editorsListener);
  }
  static ItemPath Item(std::vector<std::string> names) {
    ItemPath p{std::string(kFileBoxText)};
    p.insert(p.end(), names.begin(), names.end());
    return p;
  }
  // Opens f/n as the tree does and types into it without saving.
  CWndEsr* OpenAndType(const QString& text) {
    EXPECT_TRUE(notebook.Commands().OpenNote(Item({"f", "n"})).done);
    CWndEsr* e = FindNoteEditor(DocumentPath(store + "/f/n.esr"));
    EXPECT_NE(e, nullptr);
    if (!e) return nullptr;
    e->RichEdit()->moveCursor(QTextCursor::End);
    e->RichEdit()->insertPlainText(text);
    EXPECT_TRUE(e->RichEdit()->document()->isModified());
    return e;
  }
  // What the editor shows after following the note to newFile; then its save lands there.
  void ExpectFollowed(CWndEsr* e, const std::string& newFile, const std::string& newElement) {
    const std::string old = store + "/f/n.esr";
    EXPECT_EQ(FindNoteEditor(DocumentPath(old)), nullptr);
    EXPECT_EQ(FindNoteEditor(DocumentPath(newFile)), e);
    EXPECT_EQ(e->FilePath(), newFile);
    EXPECT_EQ(e->NoteDocumentPath().str(), NormaliseNotePath(newFile));
    EXPECT_EQ(e->NoteElementPath().str(), NormaliseNotePath(newElement));
    // The title names the file as it is spelled on disk.
    EXPECT_EQ(e->windowTitle().toStdString(), newFile);
    EXPECT_TRUE(e->RichEdit()->document()->isModified());
    ASSERT_TRUE(e->SaveDocument());
    EXPECT_NE(ExtractPlainText(newFile).find(Utf8ToCp936("改过的")), std::string::npos);
    EXPECT_FALSE(fs::exists(old));  // nothing is written where the note was
  }

  std::string db = dir_ / "笔记/Zorbek.xml";
  std::string store;
  Notebook notebook;
  int editorsListener = 0;
};

TEST_F(EditorFollowTest, ARenamedNoteKeepsItsUnsavedTextAndSavesToTheNewFile) {
  CWndEsr* e = OpenAndType("改过的");
  ASSERT_TRUE(e);
  ASSERT_TRUE(notebook.Commands().Rename(Item({"f", "n"}), "m").done);
  ExpectFollowed(e, store + "/f/m.esr", std::string(kArchivePath) + "/f/m");
}

TEST_F(EditorFollowTest, ANoteInARenamedFolderFollowsToo) {
  CWndEsr* e = OpenAndType("改过的");
  ASSERT_TRUE(e);
  ASSERT_TRUE(notebook.Commands().Rename(Item({"f"}), "h").done);
  ExpectFollowed(e, store + "/h/n.esr", std::string(kArchivePath) + "/h/n");
}

TEST_F(EditorFollowTest, ANoteMovedIntoAnotherFolderFollows) {
  CWndEsr* e = OpenAndType("改过的");
  ASSERT_TRUE(e);
  // As a drag in the tree moves it.
  NoteTransfer transfer(notebook.Commands());
  ASSERT_TRUE(transfer.MoveNoteTo(Item({"f", "n"}), Item({"g"})).done);
  ExpectFollowed(e, store + "/g/n.esr", std::string(kArchivePath) + "/g/n");
}

TEST_F(EditorFollowTest, DeletingANoteOrItsFolderClosesItsEditorWithoutSaving) {
  CWndEsr* e = OpenAndType("改过的");
  ASSERT_TRUE(e);
  ASSERT_TRUE(notebook.Commands().Delete(Item({"f", "n"})).done);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_TRUE(prompts_.Messages().empty());  // no "save?" question: the user has confirmed
  EXPECT_FALSE(fs::exists(store + "/f/n.esr"));

  WriteFile(store + "/g/o.esr", testing::kSimpleNote);
  {
    CXmlDocument& doc = notebook.Document();
    XmlNode o = doc.CreateElement("o");
    SetAttribute(o, "type", "esr");
    AppendChild(doc.Select(std::string(kArchivePath) + "/g"), o);
  }
  ASSERT_TRUE(notebook.Commands().OpenNote(Item({"g", "o"})).done);
  CWndEsr* o = FindNoteEditor(DocumentPath(store + "/g/o.esr"));
  ASSERT_TRUE(o);
  o->RichEdit()->insertPlainText("x");
  ASSERT_TRUE(notebook.Commands().Delete(Item({"g"})).done);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_FALSE(fs::exists(store + "/g"));
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorFollowTest, TheTreeFillsFromItsNotebookAndTellsAFailedSaveOfAnExpansion) {
  auto tree = std::make_unique<CXmlTreeCtrl>(notebook);  // open already: filled at once
  QTreeWidgetItem* f = tree->ItemOfPath(Item({"f"}));
  ASSERT_TRUE(f);
  EXPECT_TRUE(tree->ItemOfPath(Item({"f", "n"})));

  // The database's directory has become a file: the expansion cannot be saved.
  const std::string folder = dir_ / "笔记";
  fs::rename(folder, dir_ / "moved");
  WriteFile(folder, "x");
  f->setExpanded(true);
  EXPECT_EQ(prompts_.MessageTexts(),
            std::vector<std::string>{SaveFailedMessage(db, SystemReason(ENOTDIR))});
  EXPECT_TRUE(f->isExpanded());  // the user's expansion stays on screen
  tree.reset();
  fs::remove(folder);
  fs::rename(dir_ / "moved", folder);
  prompts_.OnMessage({});
}

}  // namespace
}  // namespace zorbek
