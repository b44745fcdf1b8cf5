// The keys users expect in an editor, tables filled in with Tab, the questions that name their
// note, and links that would run something.
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTextTable>
#include <filesystem>

#include "core/editor/open_editor_registry.h"
#include "ui/app/desktop.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/esr_style_toolbar.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using EditorKeys = EditorTest;
using EditorLinkSafety = EditorTest;

TEST_F(EditorKeys, CtrlYRedoesCtrlSSavesCtrlWClosesWithTheQuestion) {
  const std::string path = Note("Work/Plan.esr", "{\\rtf1\\ansi }");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  QApplication::setActiveWindow(w);  // window shortcuts act in the active window
  QTest::keyClicks(r, "abc");
  QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Text(r), "");
  QTest::keyClick(r, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Text(r), "abc");
  QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier);
  QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);  // the desktop's own
  EXPECT_EQ(Text(r), "abc");

  w->UpdateCommandStates();
  QTest::keyClick(r, Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(r->document()->isModified());
  EXPECT_NE(ReadFile(path).find("abc"), std::string::npos);

  // Ctrl+W on a modified note asks, naming the note; Cancel keeps it open.
  QTest::keyClicks(r, "d");
  prompts_.AnswerNext(MsgResult::Cancel);
  QTest::keyClick(r, Qt::Key_W, Qt::ControlModifier);
  QApplication::processEvents();
  ASSERT_EQ(prompts_.Messages().size(), 1u);
  EXPECT_EQ(prompts_.Messages()[0].text, "文档已经被修改，保存吗？");
  EXPECT_EQ(prompts_.Messages()[0].caption, path);
  EXPECT_EQ(FindNoteEditor(DocumentPath(path)), w);
  prompts_.AnswerNext(MsgResult::No);
  QTest::keyClick(r, Qt::Key_W, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_EQ(FindNoteEditor(DocumentPath(path)), nullptr);
}

TEST_F(EditorKeys, CtrlSWritesTheNoteAndLeavesNothingUnsaved) {
  const std::string path = Note("Work/周报.esr");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  QApplication::setActiveWindow(w);
  const std::string before = ReadFile(path);
  QApplication::processEvents();
  EXPECT_FALSE(w->Action(cmd::kSave)->isEnabled());
  r->moveCursor(QTextCursor::End);
  QTest::keyClicks(r, " again");
  QApplication::processEvents();  // the toolbar follows the edit before the next key
  EXPECT_TRUE(w->Action(cmd::kSave)->isEnabled());
  EXPECT_TRUE(r->document()->isModified());

  QTest::keyClick(r, Qt::Key_S, Qt::ControlModifier);
  QApplication::processEvents();
  const std::string after = ReadFile(path);
  EXPECT_NE(after, before);
  EXPECT_NE(after.find("again"), std::string::npos);
  EXPECT_FALSE(r->document()->isModified());
  EXPECT_FALSE(w->Action(cmd::kSave)->isEnabled());
  EXPECT_FALSE(w->isWindowModified());
  EXPECT_EQ(w->windowTitle(), QString::fromStdString(path));
  EXPECT_TRUE(prompts_.Messages().empty());
  // Closed now, nothing is asked; opened again, the text is there.
  w->close();
  QApplication::processEvents();
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(FindNoteEditor(DocumentPath(path)), nullptr);
  EXPECT_EQ(Text(Open(path)->RichEdit()), "hello world again");
}

TEST_F(EditorKeys, TheExitQuestionNamesEachEditorAndBringsItForward) {
  const std::string a = Note("Life/读书笔记.esr"), b = Note("Work/周报.esr");
  CWndEsr* first = Open(a);
  CWndEsr* second = Open(b, "/list/filetree/archive/b");
  QTest::keyClicks(first->RichEdit(), "x");
  QTest::keyClicks(second->RichEdit(), "y");
  std::vector<QWidget*> inFront;
  prompts_.OnMessage([&](std::string_view) {
    inFront.push_back(nullptr);
  });
  prompts_.AnswerNext(MsgResult::No);
  prompts_.AnswerNext(MsgResult::Cancel);  // the exit stops at the second
  EXPECT_FALSE(OpenEditors().CloseAllAsking());
  const auto shown = prompts_.Messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, a);
  EXPECT_EQ(shown[1].caption, b);
  ASSERT_EQ(inFront.size(), 2u);
}

TEST_F(EditorLinkSafety, OnlyWhatCannotRunAProgramOpensOnOneClick) {
  std::vector<std::string> opened;
  CXRichEditCtrl::SetLinkOpener([&](const editor::LinkTarget& t) { opened.push_back(t.target); });
  const std::string store = dir_ / "FileStore";
  CXRichEditCtrl::SetFileStoreDirectory(store);
  WriteFile(store + "/计划.pdf", "%PDF");
  WriteFile(store + "/run.desktop", "[Desktop Entry]\nExec=sh\n");
  WriteFile(dir_ / "script.sh", "rm -rf ~\n");
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();

  for (const char* link : {"https://example.com/a", "mailto:li@example.com?subject=hi",
                           "localfile:计划.pdf"})
    r->OpenLink(QString::fromUtf8(link));
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(opened.size(), 3u);

  // Each of these asks, showing the whole target; refused, nothing opens.
  const std::string script = std::filesystem::canonical(dir_ / "script.sh").string();
  const std::pair<const char*, std::string> asked[] = {
      {"mailto:?attach=/etc/passwd", "mailto:?attach=/etc/passwd"},
      {"ssh://root@example.com", "ssh://root@example.com"},
      {"localfile:run.desktop", std::filesystem::canonical(store + "/run.desktop").string()},
      {"localfile:../script.sh", script},
  };
  opened.clear();
  for (const auto& [link, shown] : asked) {
    prompts_.Clear();
    r->OpenLink(QString::fromStdString(link));
    ASSERT_EQ(prompts_.Messages().size(), 1u) << link;
    EXPECT_EQ(prompts_.Messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_NE(prompts_.LastMessage().find(shown), std::string::npos) << prompts_.LastMessage();
  }
  EXPECT_TRUE(opened.empty());
  // Agreed, the file goes to the desktop's opener by its full path.
  prompts_.AnswerNext(MsgResult::Yes);
  r->OpenLink(QString::fromUtf8("file://") + QString::fromStdString(dir_ / "script.sh"));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], script);

  // A target like an option reaches nobody.
  opened.clear();
  prompts_.Clear();
  r->OpenLink("--help");
  EXPECT_TRUE(opened.empty());
  EXPECT_EQ(prompts_.LastMessage(), "无法打开地址：--help");
  CXRichEditCtrl::SetFileStoreDirectory("");
}

TEST_F(EditorLinkSafety, TheDesktopOpenerGetsAbsoluteAddressesOnly) {
  std::vector<QUrl> urls;
  SetUrlOpener([&](const QUrl& u) {
    urls.push_back(u);
    return true;
  });
  const std::string store = dir_ / "FileStore";
  CXRichEditCtrl::SetFileStoreDirectory(store);
  WriteFile(store + "/--help", "text");
  CWndEsr* w = Empty();
  w->RichEdit()->OpenLink("localfile:--help");
  w->RichEdit()->OpenLink("www.example.com");
  SetUrlOpener(nullptr);
  CXRichEditCtrl::SetFileStoreDirectory("");
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].scheme(), "file");
  EXPECT_EQ(urls[0].toLocalFile().toStdString(), std::filesystem::canonical(store + "/--help").string());
  EXPECT_EQ(urls[1].toString(), "http://www.example.com");
  for (const QUrl& u : urls) EXPECT_FALSE(u.toEncoded().startsWith('-'));
}

}  // namespace
}  // namespace zorbek::testing
