// An open editor meets a note that another program (a sync tool bringing the other machine's
// text) changed on disk: without unsaved edits it reads the new text, keeping its place; with
// them, the other version becomes a conflict note beside it and the user's text is kept. Neither
// text is ever written over.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <filesystem>

#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/notes/note_opener.h"
#include "core/notes/notebook.h"
#include "core/notes/store_check.h"
#include "core/rtf/plain_text.h"
#include "core/text/cp936.h"
#include "editor_test_util.h"
#include "rtf/note_file.h"

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

// As a sync tool puts the other machine's version in place: a new file renamed over the note.
void ReplaceByRename(const std::string& path, const std::string& text) {
  const std::string temp = DirectoryOf(path) + "/.syncthing.tmp";
  const QByteArray rtf = PlainTextToRtf(text);
  WriteFile(temp, std::string(rtf.constData(), static_cast<std::size_t>(rtf.size())));
  fs::rename(temp, path);
}

std::string TextOf(const std::string& file) { return Cp936ToUtf8(ExtractPlainText(file)); }

class OutsideChangeEditor : public testing::EditorTest {
 protected:
  void SetUp() override {
    SetOpenNoteEditor(
        [](const DocumentPath& d, const ElementPath& e) { editor::OpenNoteEditor(d, e); });
    WriteFile(db, "<list><hotkey/><filetree><archive><f type=\"dir\"><n type=\"esr\"/>"
                  "<m type=\"esr\"/></f></archive></filetree></list>");
    notebook.Open(db);
    listener = editor::FollowNotebook(notebook);
    store = NoteStoreDirectory(db);
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += "第" + std::to_string(i) + "行\n";
    const QByteArray rtf = PlainTextToRtf(lines);
    WriteFile(note(), std::string(rtf.constData(), static_cast<std::size_t>(rtf.size())));
    WriteFile(store + "/f/m.esr", testing::kSimpleNote);
  }
  void TearDown() override {
    EditorTest::TearDown();
    editor::UnfollowNotebook(notebook, listener);
    SetOpenNoteEditor({});
  }
  std::string note() const { return store + "/f/n.esr"; }
  CWndEsr* OpenNote() {
    CWndEsr* e = Open(note(), std::string(kArchivePath) + "/f/n");
    EXPECT_TRUE(e);
    return e;
  }
  std::vector<std::string> Folder() {
    std::vector<std::string> names;
    for (XmlNode c = FirstChild(notebook.Document().Select(std::string(kArchivePath) + "/f")); c;
         c = NextSibling(c))
      names.push_back(Name(c));
    return names;
  }

  std::string db = dir_ / "笔记/Zorbek.xml";
  std::string store;
  Notebook notebook;
  int listener = 0;
};

TEST_F(OutsideChangeEditor, WithoutUnsavedEditsTheNewTextIsReadKeepingThePlace) {
  CWndEsr* e = OpenNote();
  ASSERT_TRUE(e);
  e->resize(400, 300);
  e->show();
  QApplication::processEvents();
  QScrollBar* bar = e->RichEdit()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  bar->setValue(bar->maximum() / 2);
  const int scroll = bar->value();

  std::string lines;
  for (int i = 0; i < 200; ++i) lines += "别处第" + std::to_string(i) + "行\n";
  ReplaceByRename(note(), lines);
  // Seen within the editor's second, without any question.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return e->RichEdit()->toPlainText().toStdString().find("别处第5行") != std::string::npos; },
      CWndEsr::kRefreshMilliseconds + 10'000));
  EXPECT_FALSE(e->RichEdit()->document()->isModified());
  EXPECT_EQ(bar->value(), scroll);
  EXPECT_NE(e->windowTitle().toStdString().find("已载入在别处修改后的内容"), std::string::npos);
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(Folder(), (std::vector<std::string>{"n", "m"}));  // no conflict note

  // The editor's own save afterwards is no outside change.
  e->RichEdit()->insertPlainText("我的");
  ASSERT_TRUE(e->SaveDocument());
  EXPECT_TRUE(e->TakeOutsideChange());
  EXPECT_TRUE(e->RichEdit()->document()->toPlainText().contains(QStringLiteral("我的")));
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(OutsideChangeEditor, WithUnsavedEditsTheOtherVersionBecomesAConflictNote) {
  CWndEsr* e = OpenNote();
  ASSERT_TRUE(e);
  e->RichEdit()->moveCursor(QTextCursor::End);
  e->RichEdit()->insertPlainText("我这边写的");
  ReplaceByRename(note(), "另一台电脑写的");

  ASSERT_TRUE(e->TakeOutsideChange());
  // The user's text stays, unsaved; the other text is a note beside it, in the tree too.
  EXPECT_TRUE(e->RichEdit()->toPlainText().contains(QStringLiteral("我这边写的")));
  EXPECT_TRUE(e->RichEdit()->document()->isModified());
  const std::vector<std::string> folder = Folder();
  ASSERT_EQ(folder.size(), 3u);
  EXPECT_EQ(folder[0], "n");
  EXPECT_EQ(folder[1].rfind("n_冲突_", 0), 0u) << folder[1];
  EXPECT_EQ(folder[2], "m");
  const std::string conflict = store + "/f/" + folder[1] + ".esr";
  EXPECT_NE(TextOf(conflict).find("另一台电脑写的"), std::string::npos);
  // Told once, naming the conflict note.
  ASSERT_EQ(prompts_.Messages().size(), 1u);
  EXPECT_NE(prompts_.MessageTexts()[0].find(folder[1]), std::string::npos);
  EXPECT_TRUE(e->TakeOutsideChange());
  EXPECT_EQ(prompts_.Messages().size(), 1u);

  // The save writes the user's text; the other stays in the conflict note.
  ASSERT_TRUE(e->SaveDocument());
  EXPECT_NE(TextOf(note()).find("我这边写的"), std::string::npos);
  EXPECT_NE(TextOf(conflict).find("另一台电脑写的"), std::string::npos);
  const StoreAgreement agreement = CheckStoreAgreement(notebook.Document());
  EXPECT_TRUE(agreement.Agrees());
}

TEST_F(OutsideChangeEditor, ASaveNeverWritesOverAVersionItHasNotSeen) {
  CWndEsr* e = OpenNote();
  ASSERT_TRUE(e);
  e->RichEdit()->insertPlainText("我这边写的");
  // Arrives after the last look and before the save: the save keeps it first.
  ReplaceByRename(note(), "刚到的");
  ASSERT_TRUE(e->SaveDocument());
  EXPECT_NE(TextOf(note()).find("我这边写的"), std::string::npos);
  const std::vector<std::string> folder = Folder();
  ASSERT_EQ(folder.size(), 3u);
  EXPECT_NE(TextOf(store + "/f/" + folder[1] + ".esr").find("刚到的"), std::string::npos);

  // Without a notebook (a note opened on its own), the other version is kept beside the note
  // under a conflict name, which the notebook takes in when it next looks.
  editor::UnfollowNotebook(notebook, listener);
  e->RichEdit()->insertPlainText("再写");
  ReplaceByRename(note(), "又到的");
  ASSERT_TRUE(e->SaveDocument());
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(store + "/f"))
    if (entry.path().filename().string().find(".sync-conflict-") != std::string::npos) {
      ++copies;
      EXPECT_NE(TextOf(entry.path().string()).find("又到的"), std::string::npos);
    }
  EXPECT_EQ(copies, 1);
}

}  // namespace
}  // namespace zorbek
