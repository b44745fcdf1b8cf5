// The database file changed by another program while the tree shows it: the watcher notices,
// the notebook reads it again and the tree refills, keeping what the user had open and selected.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <filesystem>

#include "core/app/clock.h"
#include "core/db/conflict_merge.h"
#include "core/db/store_paths.h"
#include "core/notes/note_opener.h"
#include "core/notes/notebook.h"
#include "editor_test_util.h"
#include "support/fake_prompts.h"
#include "ui/db/database_watcher.h"
#include "ui/app/notebook_session.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

std::string Database(const std::string& archive) {
  return "<list><hotkey/><filetree><archive state=\"expanded\">" + archive +
         "</archive></filetree></list>";
}

class TreeReloadTest : public testing::EditorTest {
 protected:
  void SetUp() override {
    SetOpenNoteEditor([](const DocumentPath& d, const ElementPath& e) {
      editor::OpenNoteEditor(d, e);
    });
    WriteFile(db, Database("<A type=\"dir\" state=\"expanded\"><a1 type=\"esr\"/><a2 type=\"esr\"/>"
                           "</A><B type=\"dir\"><b1 type=\"esr\"/></B><C type=\"dir\" "
                           "state=\"expanded\"><c1 type=\"esr\"/></C>"));
    tree = std::make_unique<CXmlTreeCtrl>(notebook);
    tree->resize(300, 500);
    tree->show();
    session = std::make_unique<NotebookSession>(notebook);
    session->SetBusyCheck([this] { return tree->IsBusy(); });
    session->Open(db);
    notebook.AddListener([this](const std::vector<NotebookEvent>& events) {
      for (const NotebookEvent& e : events) reloads += e.kind == NotebookEventKind::kReloaded;
    });
  }
  void TearDown() override {
    EditorTest::TearDown();
    tree.reset();
    session.reset();
    notebook.Close();
    SetOpenNoteEditor({});
  }
  QTreeWidgetItem* At(std::vector<std::string> names) {
    ItemPath path{std::string(kFileBoxText)};
    path.insert(path.end(), names.begin(), names.end());
    return tree->ItemOfPath(path);
  }
  // As a sync tool puts another machine's version in place.
  void OtherProgramWrites(const std::string& text) {
    WriteFile(db + ".sync-tmp", text);
    fs::rename(db + ".sync-tmp", db);
  }
  // Lets the watcher see the change; true once the tree was refilled `count` times.
  bool WaitForReloads(int count) {
    QElapsedTimer t;
    t.start();
    while (reloads < count && t.elapsed() < 5000) QTest::qWait(20);
    return reloads == count;
  }

  testing::FakePrompts prompts;
  std::string db = dir_ / "同步/Zorbek.xml";
  Notebook notebook;
  std::unique_ptr<CXmlTreeCtrl> tree;
  std::unique_ptr<NotebookSession> session;
  int reloads = 0;
};

TEST_F(TreeReloadTest, ARefilledTreeKeepsSelectionAndExpansionWhereTheItemsRemain) {
  // The user collapsed A and opened B: the view differs from what the other file says.
  At({"A"})->setExpanded(false);
  At({"B"})->setExpanded(true);
  tree->setCurrentItem(At({"B", "b1"}));
  QTest::qWait(DatabaseWatcher::kSettleMs * 3);  // the program's own saves are no reload
  EXPECT_EQ(reloads, 0);

  // The other machine added B/b2 and a folder D, and removed C.
  OtherProgramWrites(Database(
      "<A type=\"dir\" state=\"expanded\"><a1 type=\"esr\"/><a2 type=\"esr\"/></A>"
      "<B type=\"dir\" state=\"collapsed\"><b1 type=\"esr\"/><b2 type=\"esr\"/></B>"
      "<D type=\"dir\" state=\"expanded\"><d1 type=\"esr\"/></D>"));
  ASSERT_TRUE(WaitForReloads(1));
  ASSERT_NE(At({"B", "b2"}), nullptr);
  EXPECT_EQ(At({"C"}), nullptr);
  EXPECT_FALSE(At({"A"})->isExpanded());
  EXPECT_TRUE(At({"B"})->isExpanded());
  EXPECT_TRUE(At({"D"})->isExpanded());  // new: as its element says
  EXPECT_EQ(tree->SelectedItem(), At({"B", "b1"}));

  // A later change in the program is made to the other machine's version.
  tree->setCurrentItem(At({"A"}));
  At({"A"})->setExpanded(true);
  EXPECT_NE(ReadFile(db).find("<b2 type=\"esr\"/>"), std::string::npos);
  EXPECT_NE(ReadFile(db).find("<A type=\"dir\" state=\"expanded\">"), std::string::npos);

  // A selected item that is gone leaves its folder selected; another rename-replace of the
  // same directory is seen too (the file's watch follows the new file).
  tree->setCurrentItem(At({"D", "d1"}));
  OtherProgramWrites(Database("<D type=\"dir\"/>"));
  ASSERT_TRUE(WaitForReloads(2));
  EXPECT_EQ(tree->SelectedItem(), At({"D"}));
  EXPECT_EQ(At({"A"}), nullptr);

  // A command given before the watcher has reported a change reads the file first; on an item
  // the change took away it does nothing (no question about the folder that is left selected).
  OtherProgramWrites(Database("<E type=\"dir\"/>"));
  tree->RunCommand(treecmd::kDelete);
  EXPECT_EQ(reloads, 3);
  EXPECT_NE(At({"E"}), nullptr);
  EXPECT_TRUE(prompts.Messages().empty());
}

// A sync tool fetching other files beside the database keeps its directory busy for minutes;
// a new database that arrives meanwhile is read while the tool is still at work.
TEST_F(TreeReloadTest, ANewDatabaseIsReadWhileTheDirectoryStaysBusy) {
  OtherProgramWrites(Database("<E type=\"dir\"/>"));
  const std::string busy = fs::path(db).parent_path() / ".syncthing.其他文件.tmp";
  QElapsedTimer t;
  t.start();
  for (int i = 0; reloads == 0 && t.elapsed() < 10000; ++i) {
    WriteFile(busy + std::to_string(i), "x");
    fs::remove(busy + std::to_string(i - 1));
    QTest::qWait(DatabaseWatcher::kSettleMs / 3);
  }
  EXPECT_EQ(reloads, 1);
  EXPECT_NE(At({"E"}), nullptr);
}

TEST_F(TreeReloadTest, AnEditorWhoseNoteVanishedKeepsItsTextAndAnUnreadableFileIsLeftAlone) {
  const std::string note = NoteStoreDirectory(db) + "/A/a1.esr";
  WriteFile(note, testing::kSimpleNote);
  tree->setCurrentItem(At({"A", "a1"}));
  tree->RunCommand(treecmd::kOpen);
  CWndEsr* e = FindNoteEditor(DocumentPath(note));
  ASSERT_NE(e, nullptr);
  e->RichEdit()->moveCursor(QTextCursor::End);
  e->RichEdit()->insertPlainText(QStringLiteral("刚打的字"));
  QTest::qWait(DatabaseWatcher::kSettleMs * 3);  // opening saved the note's time: no reload
  const int before = reloads;
  EXPECT_EQ(before, 0);

  OtherProgramWrites(Database("<B type=\"dir\"/>"));
  ASSERT_TRUE(WaitForReloads(before + 1));
  EXPECT_EQ(At({"A"}), nullptr);
  ASSERT_EQ(FindNoteEditor(DocumentPath(note)), e);
  EXPECT_TRUE(e->RichEdit()->toPlainText().contains(QStringLiteral("刚打的字")));
  EXPECT_TRUE(e->RichEdit()->document()->isModified());

  // Half a file: the tree stays, the user is told once, nothing is written.
  OtherProgramWrites("<list><filetree>");
  QElapsedTimer t;
  t.start();
  while (prompts.Messages().empty() && t.elapsed() < 5000) QTest::qWait(20);
  ASSERT_EQ(prompts.Messages().size(), 1u);
  ASSERT_NE(At({"B"}), nullptr);
  At({"B"})->setExpanded(true);  // a change that would save
  EXPECT_EQ(ReadFile(db), "<list><filetree>");
  EXPECT_EQ(reloads, before + 1);

  OtherProgramWrites(Database("<E type=\"dir\"/>"));
  ASSERT_TRUE(WaitForReloads(before + 2));
  EXPECT_NE(At({"E"}), nullptr);
}

TEST_F(TreeReloadTest, ConflictCopiesOfASyncToolAreTakenInAndShownInTheTree) {
  // The other machine's side of a conflict: a copy of the database with a folder D it added, and
  // a copy of the note a1 that both changed. The sync tool is done with them.
  FakeClock later(SystemClock().NowUnixMillis() + kSyncSettleMillis + 60000);
  SetClock(&later);
  struct Restore {
    ~Restore() { SetClock(nullptr); }
  } restore;
  const std::string store = NoteStoreDirectory(db);
  WriteFile(store + "/D/d1.esr", testing::kSimpleNote);
  WriteFile(store + "/A/a1.esr", testing::kSimpleNote);
  WriteFile(store + "/A/a1.sync-conflict-20261209-101010-ABCDEFG.esr", testing::kSimpleNote);
  const std::string copy = dir_ / "同步/Zorbek.sync-conflict-20261209-101010-ABCDEFG.xml";
  WriteFile(copy + ".tmp",
            Database("<A type=\"dir\"><a1 type=\"esr\"/></A><D type=\"dir\"><d1 type=\"esr\"/></D>"));
  fs::rename(copy + ".tmp", copy);
  ASSERT_TRUE(WaitForReloads(1));
  EXPECT_TRUE(At({"D", "d1"}));
  QTreeWidgetItem* a = At({"A"});
  ASSERT_TRUE(a);
  ASSERT_GE(a->childCount(), 2);
  EXPECT_EQ(a->child(1)->text(0).toStdString(), "a1_冲突_20261209_1010");
  EXPECT_TRUE(fs::exists(store + "/A/a1_冲突_20261209_1010.esr"));
  EXPECT_FALSE(fs::exists(copy));
  // Told once, naming the conflict note; the copy is kept.
  ASSERT_EQ(prompts.Messages().size(), 1u);
  EXPECT_NE(prompts.MessageTexts()[0].find("A/a1_冲突_20261209_1010"), std::string::npos);
  int kept = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "同步"))
    kept += e.path().filename().string().find(".merged-") != std::string::npos;
  EXPECT_EQ(kept, 1);
  // Looking again finds nothing more.
  session->CheckDatabaseOnDisk();
  EXPECT_EQ(prompts.Messages().size(), 1u);
}

TEST_F(TreeReloadTest, ANoteConflictCopyFoundWhileTheUserIsBusyIsTakenInAfterwards) {
  // Only a note's copy, no database copy: the look through the store finds it, on its own thread.
  const std::string store = NoteStoreDirectory(db);
  WriteFile(store + "/C/c1.esr", testing::kSimpleNote);
  const std::string copy = store + "/C/c1.sync-conflict-20261209-101010-ABCDEFG.esr";
  WriteFile(copy, testing::kSimpleNote);
  bool busy = true;  // a label edit, say
  session->SetBusyCheck([&] { return busy; });
  session->LookForConflictCopies();
  QTest::qWait(1500);
  EXPECT_TRUE(fs::exists(copy));
  EXPECT_TRUE(prompts.Messages().empty());
  busy = false;
  QElapsedTimer t;
  t.start();
  while (!At({"C", "c1_冲突_20261209_1010"}) && t.elapsed() < 5000) QTest::qWait(20);
  EXPECT_TRUE(At({"C", "c1_冲突_20261209_1010"}));
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(prompts.Messages().size(), 1u);
}

}  // namespace
}  // namespace zorbek
