// The recycle bin window and the editor's history window, driven as a user would.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <filesystem>

#include "core/app/clock.h"
#include "core/db/store_paths.h"
#include "core/notes/note_history.h"
#include "core/notes/note_opener.h"
#include "core/notes/notebook.h"
#include "core/notes/recycle_bin.h"
#include "editor_test_util.h"
#include "ui/db/wnd_recycle_bin.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/note_history_window.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

class BinAndHistoryTest : public testing::EditorTest {
 protected:
  void SetUp() override {
    SetClock(&clock_);
    SetOpenNoteEditor([](const DocumentPath& d, const ElementPath& e) {
      editor::OpenNoteEditor(d, e);
    });
    WriteFile(db, "<list><hotkey/><filetree><archive><f type=\"dir\"><n type=\"esr\"/>"
                  "<m type=\"esr\"/></f><o type=\"esr\"/></archive></filetree></list>");
    notebook.Open(db);
    listener_ = editor::FollowNotebook(notebook);
    CWndEsr::SetRecoveryBase(dir_ / "Zorbek");
    store = NoteStoreDirectory(db);
    WriteFile(store + "/f/n.esr", testing::kSimpleNote);
    WriteFile(store + "/f/m.esr", "{\\rtf1 m}");
    WriteFile(store + "/o.esr", "{\\rtf1 o}");
  }
  void TearDown() override {
    EditorTest::TearDown();
    SetOpenNoteEditor({});
    editor::UnfollowNotebook(notebook, listener_);
    CWndEsr::SetRecoveryBase({});
    SetClock(nullptr);
  }
  static ItemPath Item(std::vector<std::string> names) {
    ItemPath p{std::string(kFileBoxText)};
    p.insert(p.end(), names.begin(), names.end());
    return p;
  }

  FakeClock clock_{1765000000000};
  std::string db = dir_ / "笔记/Zorbek.xml";
  std::string store;
  Notebook notebook;
  int listener_ = 0;
};

TEST_F(BinAndHistoryTest, TheBinWindowRestoresPurgesAndEmptiesAfterItsQuestions) {
  ASSERT_TRUE(notebook.Commands().Delete(Item({"f"})).done);
  clock_.Advance(1000);
  ASSERT_TRUE(notebook.Commands().Delete(Item({"o"})).done);
  std::vector<RestoreOutcome> restored;
  CWndRecycleBin bin(notebook, [&](const RestoreOutcome& o) { restored.push_back(o); });
  bin.show();
  QTreeWidget* list = bin.List();
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "o");  // newest first
  EXPECT_EQ(list->topLevelItem(1)->text(0).toStdString(), "f");
  EXPECT_EQ(list->topLevelItem(1)->text(1).toStdString(), "文件箱");
  EXPECT_EQ(list->topLevelItem(1)->text(4).toStdString(), "2");

  // Restore: back where it was, the tree is told.
  list->setCurrentItem(list->topLevelItem(1));
  bin.RestoreSelected();
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0].restored, std::vector<ItemPath>{Item({"f"})});
  EXPECT_EQ(ReadFile(store + "/f/m.esr"), "{\\rtf1 m}");
  ASSERT_EQ(list->topLevelItemCount(), 1);

  // Delete for good asks first; Cancel keeps it.
  list->setCurrentItem(list->topLevelItem(0));
  prompts_.AnswerNext(MsgResult::Cancel);
  bin.PurgeSelected();
  EXPECT_EQ(prompts_.LastMessage(), "确定彻底删除<o>吗?删除后不能恢复。");
  EXPECT_EQ(list->topLevelItemCount(), 1);
  prompts_.AnswerNext(MsgResult::Ok);
  bin.PurgeSelected();
  EXPECT_EQ(list->topLevelItemCount(), 0);

  // Emptying says how many notes go.
  ASSERT_TRUE(notebook.Commands().Delete(Item({})).done);
  bin.Refill();
  prompts_.AnswerNext(MsgResult::Cancel);
  bin.EmptyBin();
  EXPECT_EQ(prompts_.LastMessage(), "确定清空回收站吗?其中的2篇笔记将被彻底删除，不能恢复。");
  EXPECT_EQ(list->topLevelItemCount(), 1);
  prompts_.AnswerNext(MsgResult::Ok);
  bin.EmptyBin();
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_TRUE(RecycleBin(db).List().empty());
}

TEST_F(BinAndHistoryTest, TheHistoryWindowShowsAVersionAndRestoresItAsOneUndoStep) {
  const std::string file = store + "/f/n.esr";
  ASSERT_TRUE(notebook.Commands().OpenNote(Item({"f", "n"})).done);
  CWndEsr* e = FindNoteEditor(DocumentPath(file));
  ASSERT_TRUE(e);
  QTextDocument* doc = e->RichEdit()->document();
  const QString original = doc->toPlainText();
  e->RichEdit()->moveCursor(QTextCursor::End);
  e->RichEdit()->insertPlainText(QStringLiteral(" 第二版"));
  ASSERT_TRUE(e->SaveDocument());  // keeps the first text
  clock_.Advance(11 * 60 * 1000);
  e->RichEdit()->insertPlainText(QStringLiteral(" 第三版"));
  ASSERT_TRUE(e->SaveDocument());  // keeps the second
  ASSERT_EQ(VersionsOf(db, file).size(), 2u);

  e->RunCommand(cmd::kNoteHistory);
  auto* window = e->findChild<CWndNoteHistory*>();
  ASSERT_TRUE(window);
  ASSERT_EQ(window->List()->topLevelItemCount(), 2);
  window->List()->setCurrentItem(window->List()->topLevelItem(1));  // the oldest
  EXPECT_EQ(window->Preview()->toPlainText(), original);
  EXPECT_TRUE(window->Preview()->isReadOnly());
  window->RestoreSelected();
  EXPECT_EQ(doc->toPlainText(), original);
  EXPECT_TRUE(doc->isModified());
  // One undo takes the whole restore back.
  doc->undo();
  EXPECT_EQ(doc->toPlainText(), original + " 第二版 第三版");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // The file menu and the context menu both carry the command.
  EXPECT_EQ(e->Action(cmd::kNoteHistory)->text().toStdString(), "历史版本");
}

// Another program deleted the note (file and element) while its editor was open, its folder
// stays: the save puts the text into a note the tree shows, in that folder, and says where.
TEST_F(BinAndHistoryTest, ANoteDeletedOutsideAndSavedComesBackIntoTheTree) {
  ASSERT_TRUE(notebook.Commands().OpenNote(Item({"f", "n"})).done);
  CWndEsr* e = FindNoteEditor(DocumentPath(store + "/f/n.esr"));
  ASSERT_TRUE(e);
  e->RichEdit()->moveCursor(QTextCursor::End);
  QTest::keyClicks(e->RichEdit(), " kept");
  // The other program: the note is gone from the database and the disk; its folder stays.
  fs::remove(store + "/f/n.esr");
  WriteFile(db, "<list><hotkey/><filetree><archive><f type=\"dir\"/><o type=\"esr\"/></archive>"
                "</filetree></list>");
  ASSERT_EQ(notebook.ReloadIfChanged(), ReloadResult::kReloaded);
  ASSERT_TRUE(e->SaveDocument());
  const std::string placed = store + "/f/n.esr";
  EXPECT_EQ(prompts_.LastMessage(), FormatMessage(kMsgSavedIntoTree, placed));
  EXPECT_EQ(e->FilePath(), placed);
  EXPECT_NE(ReadFile(placed).find("kept"), std::string::npos);
  EXPECT_NE(ReadFile(db).find("<f type=\"dir\"><n type=\"esr\"/></f>"), std::string::npos)
      << ReadFile(db);
  // Saved again, it stays where it is now, without a word.
  prompts_.Clear();
  QTest::keyClicks(e->RichEdit(), " again");
  ASSERT_TRUE(e->SaveDocument());
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_NE(ReadFile(placed).find("again"), std::string::npos);
}

// Another program deleted the note's whole folder, directory and element, while its editor was
// open: the save still writes the text, into "恢复的笔记", says where, and leaves no directory
// behind that the tree does not show. With only the directory gone (the database still names
// the folder), the save makes the folder's directory again and the note stays where it was.
TEST_F(BinAndHistoryTest, ANoteWhoseFolderWasDeletedOutsideIsSavedIntoTheTree) {
  ASSERT_TRUE(notebook.Commands().OpenNote(Item({"f", "n"})).done);
  CWndEsr* e = FindNoteEditor(DocumentPath(store + "/f/n.esr"));
  ASSERT_TRUE(e);
  e->RichEdit()->moveCursor(QTextCursor::End);
  QTest::keyClicks(e->RichEdit(), " kept");
  fs::remove_all(store + "/f");
  WriteFile(db, "<list><hotkey/><filetree><archive><o type=\"esr\"/></archive></filetree></list>");
  ASSERT_EQ(notebook.ReloadIfChanged(), ReloadResult::kReloaded);
  ASSERT_TRUE(e->SaveDocument()) << prompts_.LastMessage();
  const std::string placed = store + "/恢复的笔记/n.esr";
  EXPECT_EQ(prompts_.LastMessage(), FormatMessage(kMsgSavedIntoTree, placed));
  EXPECT_EQ(e->FilePath(), placed);
  EXPECT_NE(ReadFile(placed).find("kept"), std::string::npos);
  EXPECT_NE(ReadFile(db).find("<恢复的笔记 type=\"dir\"><n type=\"esr\"/></恢复的笔记>"),
            std::string::npos)
      << ReadFile(db);
  EXPECT_FALSE(fs::exists(store + "/f"));

  // The directory alone: the folder is still in the tree.
  prompts_.Clear();
  WriteFile(db, "<list><hotkey/><filetree><archive><g type=\"dir\"><h type=\"dir\"><p type=\"esr\"/>"
                "</h></g></archive></filetree></list>");
  ASSERT_EQ(notebook.ReloadIfChanged(), ReloadResult::kReloaded);
  WriteFile(store + "/g/h/p.esr", "{\\rtf1 p}");
  ASSERT_TRUE(notebook.Commands().OpenNote(Item({"g", "h", "p"})).done);
  CWndEsr* p = FindNoteEditor(DocumentPath(store + "/g/h/p.esr"));
  ASSERT_TRUE(p);
  p->RichEdit()->moveCursor(QTextCursor::End);
  QTest::keyClicks(p->RichEdit(), " also");
  fs::remove_all(store + "/g");
  ASSERT_TRUE(p->SaveDocument()) << prompts_.LastMessage();
  EXPECT_TRUE(prompts_.Messages().empty()) << prompts_.LastMessage();
  EXPECT_EQ(p->FilePath(), store + "/g/h/p.esr");
  EXPECT_NE(ReadFile(store + "/g/h/p.esr").find("also"), std::string::npos);
}

}  // namespace
}  // namespace zorbek
