#include <QAction>
#include <QImage>
#include <QInputMethodEvent>
#include <QTest>
#include <QToolBar>
#include <algorithm>
#include <filesystem>

#include "core/app/clock.h"
#include "core/app/recovery.h"
#include "core/io/file_util.h"
#include "core/notes/note_opener.h"
#include "rtf/rtf_document.h"
#include "ui/app/open_windows.h"
#include "ui/editor/install_editor.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/esr_style_toolbar.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using EditorOpen = EditorTest;
using EditorClose = EditorTest;
using EditorWindow = EditorTest;
using EditorDocument = EditorTest;

// ---- Opening ------------------------------------------------------------------------------------

TEST_F(EditorOpen, TheSameNoteUnderAnotherCaseOrSeparatorGivesOneWindow) {
  const std::string path = Note("Archive/Work/Plan.esr");
  CWndEsr* first = Open(path, "/list/filetree/archive/Work/Plan");
  ASSERT_NE(first, nullptr);
  std::string other = dir_.path() + "\\ARCHIVE\\work\\PLAN.esr";
  EXPECT_EQ(editor::OpenNoteEditor(DocumentPath(other),
                                   ElementPath("/LIST/filetree/archive/work/plan")),
            1);
  EXPECT_EQ(OpenEditorCount(), 1);
  EXPECT_EQ(FindNoteEditor(DocumentPath(other)), first);
  // The title is the note's path as the file is spelled on disk, whichever spelling opened it
  // (a lower-cased path would name no file here).
  EXPECT_EQ(first->windowTitle().toStdString(), path);
  EXPECT_EQ(first->FilePath(), path);
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorOpen, TheTreeAndTheMainWindowReachTheEditorsOnceInstalled) {
  InstallNoteEditor(dir_.path() + "/Zorbek");
  const std::string path = Note("Archive/a.esr");
  // As the tree opens a note.
  zorbek::OpenNoteEditor(DocumentPath(path), ElementPath("/list/filetree/archive/a"));
  EXPECT_EQ(OpenEditorCount(), 1);
  EXPECT_EQ(openWindows().Count(), 1);
  QTest::keyClicks(FindNoteEditor(DocumentPath(path))->RichEdit(), "unsaved");
  openWindows().CloseAll();  // program exit
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorOpen, AMinimisedEditorIsRestored) {
  const std::string path = Note("a.esr");
  CWndEsr* w = Open(path);
  w->showMinimized();
  ASSERT_TRUE(w->isMinimized());
  EXPECT_EQ(editor::OpenNoteEditor(DocumentPath(path), ElementPath("/list/filetree/archive/n")), 1);
  EXPECT_FALSE(w->isMinimized());
  EXPECT_TRUE(w->isVisible());
}

TEST_F(EditorOpen, AMissingDocumentOpensNothing) {
  EXPECT_EQ(editor::OpenNoteEditor(DocumentPath(dir_ / "gone.esr"),
                                   ElementPath("/list/filetree/archive/gone")),
            0);
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_EQ(prompts_.LastMessage(), "所指向的文件不存在。");
}

// ---- Closing ------------------------------------------------------------------------------------

TEST_F(EditorClose, AnUnchangedEditorClosesWithoutAQuestion) {
  CWndEsr* w = Open(Note("a.esr"));
  EXPECT_TRUE(w->close());
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorClose, AtExitEachModifiedEditorAsksAboutItsOwnNote) {
  InstallNoteEditor(dir_.path() + "/Zorbek");
  const std::string a = Note("a.esr"), b = Note("b.esr"), c = Note("c.esr");
  const std::string before = ReadFile(b);
  for (const std::string& p : {a, b, c})
    zorbek::OpenNoteEditor(DocumentPath(p), ElementPath("/list/filetree/archive/x"));
  ASSERT_EQ(OpenEditorCount(), 3);
  QTest::keyClicks(FindNoteEditor(DocumentPath(a))->RichEdit(), "kept ");
  QTest::keyClicks(FindNoteEditor(DocumentPath(b))->RichEdit(), "maybe ");

  // Exit: yes to the program's question, Yes for a (saved), Cancel for b: the program stays,
  // with b and the unchanged c open.
  prompts_.AnswerNext(MsgResult::Ok);
  prompts_.AnswerNext(MsgResult::Yes);
  prompts_.AnswerNext(MsgResult::Cancel);
  EXPECT_FALSE(ConfirmExitWithOpenWindows());
  ASSERT_EQ(prompts_.Messages().size(), 3u);
  EXPECT_EQ(prompts_.Messages()[0].text, kOpenWindowsQuestion);
  EXPECT_EQ(prompts_.Messages()[1].text, "文档已经被修改，保存吗？");
  EXPECT_EQ(prompts_.Messages()[2].text, "文档已经被修改，保存吗？");
  EXPECT_NE(ReadFile(a).find("kept"), std::string::npos);
  EXPECT_EQ(FindNoteEditor(DocumentPath(a)), nullptr);
  ASSERT_NE(FindNoteEditor(DocumentPath(b)), nullptr);
  EXPECT_TRUE(FindNoteEditor(DocumentPath(b))->RichEdit()->document()->isModified());
  EXPECT_NE(FindNoteEditor(DocumentPath(c)), nullptr);

  // Again, No for b: its change is dropped as the user chose, and the program may end.
  prompts_.AnswerNext(MsgResult::Ok);
  prompts_.AnswerNext(MsgResult::No);
  EXPECT_TRUE(ConfirmExitWithOpenWindows());
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_EQ(ReadFile(b), before);
  EXPECT_EQ(prompts_.Messages().size(), 5u);  // c, unchanged, asked nothing
}

TEST_F(EditorClose, EndedWithoutAPersonToAskTheTextGoesToARecoveryFile) {
  FakeClock clock;
  clock.SetLocal(2026, 12, 8, 9, 30, 5);
  SetClock(&clock);
  InstallNoteEditor(dir_.path() + "/Zorbek");
  const std::string a = Note("日记.esr"), b = Note("b.esr");
  const std::string before = ReadFile(a);
  zorbek::OpenNoteEditor(DocumentPath(a), ElementPath("/list/filetree/archive/日记"));
  zorbek::OpenNoteEditor(DocumentPath(b), ElementPath("/list/filetree/archive/b"));
  QTest::keyClicks(FindNoteEditor(DocumentPath(a))->RichEdit(), "unsaved ");
  // The session ends (the text is kept), then the signal comes (nothing new to keep).
  openWindows().PreserveAll();
  openWindows().PreserveAll();
  openWindows().CloseAll();
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(ReadFile(a), before);  // the note itself is left as the user last saved it

  const std::string dir = dir_.path() + "/recovery";
  const std::vector<std::string> files = TakeUnannouncedRecoveryFiles(dir_.path() + "/Zorbek");
  ASSERT_EQ(files, std::vector<std::string>{dir + "/日记-20261208-093005.rtf"});
  const std::string kept = ReadFile(files[0]);
  EXPECT_EQ(kept.rfind("{\\rtf", 0), 0u);
  EXPECT_NE(kept.find("unsaved"), std::string::npos);
  // Announced once, with the directory and the file's name.
  const std::string told = RecoveryMessage(dir_.path() + "/Zorbek", files);
  EXPECT_NE(told.find(dir), std::string::npos);
  EXPECT_NE(told.find("日记-20261208-093005.rtf"), std::string::npos);
  EXPECT_TRUE(TakeUnannouncedRecoveryFiles(dir_.path() + "/Zorbek").empty());
  EXPECT_TRUE(std::filesystem::exists(files[0]));

  // A second note of the same name in the same second gets a name of its own.
  ASSERT_TRUE(WriteRecoveryFile(dir_.path() + "/Zorbek", "日记", "{\\rtf1 x}"));
  EXPECT_EQ(TakeUnannouncedRecoveryFiles(dir_.path() + "/Zorbek"),
            std::vector<std::string>{dir + "/日记-20261208-093005-1.rtf"});
  SetClock(nullptr);
}

TEST_F(EditorClose, TheQuestionsThreeAnswers) {
  const std::string path = Note("a.esr");
  CWndEsr* w = Open(path);
  QTest::keyClicks(w->RichEdit(), "new ");

  prompts_.AnswerNext(MsgResult::Cancel);
  EXPECT_FALSE(w->close());
  EXPECT_EQ(prompts_.LastMessage(), "文档已经被修改，保存吗？");
  EXPECT_EQ(prompts_.Messages().back().buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(OpenEditorCount(), 1);
  EXPECT_TRUE(w->RichEdit()->document()->isModified());
  EXPECT_TRUE(Text(w->RichEdit()).startsWith("new "));

  prompts_.AnswerNext(MsgResult::Yes);
  EXPECT_TRUE(w->close());
  EXPECT_EQ(OpenEditorCount(), 0);
  const std::string saved = ReadFile(path);
  EXPECT_EQ(saved.rfind("{\\rtf", 0), 0u);
  EXPECT_NE(saved.find("new"), std::string::npos);

  w = Open(path);
  QTest::keyClicks(w->RichEdit(), "lost ");
  prompts_.AnswerNext(MsgResult::No);
  EXPECT_TRUE(w->close());
  EXPECT_EQ(ReadFile(path), saved);
}

TEST_F(EditorClose, ProgramExitClosesModifiedEditorsWithoutAQuestionOrASave) {
  const std::string a = Note("a.esr"), b = Note("b.esr");
  Open(a, "/list/filetree/archive/a");
  CWndEsr* w = Open(b, "/list/filetree/archive/b");
  QTest::keyClicks(w->RichEdit(), "unsaved");
  EXPECT_EQ(OpenEditorCount(), 2);
  CloseAllEditors();
  EXPECT_EQ(OpenEditorCount(), 0);
  EXPECT_TRUE(prompts_.Messages().empty());
  EXPECT_EQ(ReadFile(b), kSimpleNote);
}

TEST_F(EditorClose, ASaveThatFailsKeepsTheEditorOpenAndModified) {
  const std::string path = Note("sub/a.esr");
  CWndEsr* w = Open(path);
  QTest::keyClicks(w->RichEdit(), "precious");
  ASSERT_EQ(std::system(("rm -rf '" + (dir_ / "sub") + "'").c_str()), 0);
  prompts_.AnswerNext(MsgResult::Yes);
  EXPECT_FALSE(w->close());
  EXPECT_EQ(OpenEditorCount(), 1);
  EXPECT_TRUE(w->RichEdit()->document()->isModified());
  EXPECT_NE(prompts_.LastMessage().find("文档保存失败"), std::string::npos);
  QApplication::processEvents();
  EXPECT_TRUE(w->Action(cmd::kSave)->isEnabled());
}

// ---- The window ---------------------------------------------------------------------------------

std::vector<int> CommandsOf(const QToolBar* bar) {
  std::vector<int> ids;
  for (QAction* a : bar->actions()) {
    if (a->data().isValid()) {
      ids.push_back(a->data().toInt());
    } else if (auto* wa = bar->widgetForAction(a)) {
      ids.push_back(wa->property("commandId").toInt());
    }
  }
  return ids;
}

TEST_F(EditorWindow, ToolbarsHoldTheirButtonsInOrderWithIconsAndTips) {
  CWndEsr* w = Empty();
  EXPECT_EQ(w->size(), QSize(CWndEsr::kDefaultWidth, CWndEsr::kDefaultHeight));
  EXPECT_EQ(w->MainToolBar()->windowTitle(), "Main");
  EXPECT_EQ(w->StyleToolBar()->windowTitle(), "Styles");
  EXPECT_EQ(CommandsOf(w->MainToolBar()),
            std::vector<int>(std::begin(cmd::kMainToolBar), std::end(cmd::kMainToolBar)));
  EXPECT_EQ(CommandsOf(w->StyleToolBar()),
            std::vector<int>(std::begin(cmd::kStylesToolBar), std::end(cmd::kStylesToolBar)));
  for (const QToolBar* bar : {w->MainToolBar(), static_cast<QToolBar*>(w->StyleToolBar())}) {
    for (QAction* a : bar->actions()) {
      if (!a->data().isValid()) continue;
      EXPECT_FALSE(a->icon().isNull()) << a->data().toInt();
      EXPECT_FALSE(a->toolTip().isEmpty()) << a->data().toInt();
    }
  }
  EXPECT_EQ(w->StyleToolBar()->FontSizeBox()->count(), 17);
}

TEST_F(EditorWindow, ToolbarsShareARowOnlyWhenBothFit) {
  CWndEsr* w = Empty();
  const int both = w->MainToolBar()->sizeHint().width() + w->StyleToolBar()->sizeHint().width();
  w->resize(both + 40, 480);
  QApplication::processEvents();
  EXPECT_TRUE(w->ToolbarsShareRow());
  EXPECT_EQ(w->MainToolBar()->y(), w->StyleToolBar()->y());
  w->resize(both - 40, 480);
  QApplication::processEvents();
  EXPECT_FALSE(w->ToolbarsShareRow());
  EXPECT_GT(w->StyleToolBar()->y(), w->MainToolBar()->y());
  EXPECT_GE(w->RichEdit()->parentWidget()->y(), w->StyleToolBar()->geometry().bottom());
}

TEST_F(EditorWindow, AtTheDefaultWidthEachToolbarShowsWhole) {
  CWndEsr* w = Empty();
  w->show();
  QApplication::processEvents();
  ASSERT_EQ(w->width(), CWndEsr::kDefaultWidth);
  EXPECT_FALSE(w->ToolbarsShareRow());
  for (QToolBar* bar : {w->MainToolBar(), static_cast<QToolBar*>(w->StyleToolBar())}) {
    EXPECT_GE(bar->width(), bar->sizeHint().width()) << bar->windowTitle().toStdString();
    // No "»" that hides buttons: every button is on the bar.
    for (QWidget* ext : bar->findChildren<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
      EXPECT_FALSE(ext->isVisible()) << bar->windowTitle().toStdString();
    for (QAction* a : bar->actions()) {
      QWidget* b = bar->widgetForAction(a);
      if (!b) continue;
      EXPECT_TRUE(b->isVisible()) << a->data().toInt();
      EXPECT_LE(b->geometry().right(), bar->width()) << a->data().toInt();
    }
  }
  EXPECT_TRUE(w->StyleToolBar()->widgetForAction(w->Action(cmd::kSubscript))->isVisible());
}

TEST_F(EditorWindow, ATwoPixelBlueFrameRunsAlongTheEdge) {
  CWndEsr* w = Empty();
  QApplication::processEvents();
  const QImage shot = w->grab().toImage();
  const QColor frame(0, 100, 255);
  for (QPoint p : {QPoint(0, shot.height() / 2), QPoint(1, shot.height() / 2),
                   QPoint(shot.width() / 2, 0), QPoint(shot.width() - 1, shot.height() - 2),
                   QPoint(shot.width() / 2, shot.height() - 1)})
    EXPECT_EQ(shot.pixelColor(p), frame) << p.x() << "," << p.y();
  EXPECT_NE(shot.pixelColor(2, shot.height() / 2), frame);
}

TEST_F(EditorWindow, CommandsAreEnabledByTheTextsState) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  w->UpdateCommandStates();
  EXPECT_FALSE(w->Action(cmd::kSave)->isEnabled());
  EXPECT_FALSE(w->Action(cmd::kUndo)->isEnabled());
  EXPECT_FALSE(w->Action(cmd::kCut)->isEnabled());
  EXPECT_FALSE(w->Action(cmd::kCopy)->isEnabled());
  EXPECT_FALSE(w->Action(cmd::kDelete)->isEnabled());

  QTest::keyClicks(r, "abc def");
  Select(r, 0, 3);
  w->UpdateCommandStates();
  EXPECT_TRUE(w->Action(cmd::kSave)->isEnabled());
  EXPECT_TRUE(w->Action(cmd::kUndo)->isEnabled());
  EXPECT_FALSE(w->Action(cmd::kRedo)->isEnabled());
  EXPECT_TRUE(w->Action(cmd::kCut)->isEnabled());
  EXPECT_TRUE(w->Action(cmd::kDelete)->isEnabled());

  w->RunCommand(cmd::kCopy);
  w->UpdateCommandStates();
  EXPECT_TRUE(w->Action(cmd::kPaste)->isEnabled());
  w->RunCommand(cmd::kUndo);
  EXPECT_TRUE(w->Action(cmd::kRedo)->isEnabled());
}

TEST_F(EditorWindow, AMixedSelectionShowsTheIndeterminateState) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "abc def");
  Select(r, 0, 3);
  w->RunCommand(cmd::kBold);
  EXPECT_EQ(w->CommandCheckState(cmd::kBold), editor::CheckState::Checked);
  EXPECT_TRUE(w->Action(cmd::kBold)->isChecked());
  Select(r, 0, 7);
  w->UpdateCommandStates();
  EXPECT_EQ(w->CommandCheckState(cmd::kBold), editor::CheckState::Indeterminate);
  EXPECT_FALSE(w->Action(cmd::kBold)->isChecked());
  EXPECT_EQ(w->Action(cmd::kBold)->property("checkState").toInt(), 2);
  EXPECT_EQ(w->CommandCheckState(cmd::kItalic), editor::CheckState::Unchecked);
}

TEST_F(EditorWindow, StandardShortcutsReachTheCommands) {
  const std::string path = Note("a.esr");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  w->activateWindow();
  if (!QTest::qWaitForWindowActive(w, 1000)) GTEST_SKIP() << "no active window on this screen";
  r->setFocus();
  QTest::keyClick(r, Qt::Key_A, Qt::ControlModifier);  // select all
  EXPECT_EQ(r->SelectionLength(), 11);
  QTest::keyClick(r, Qt::Key_I, Qt::ControlModifier);
  EXPECT_EQ(r->SelectionCharFormat().italic, true);
  QTest::keyClick(r, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(r->SelectionCharFormat().bold, true);
  QTest::keyClick(r, Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(r->SelectionCharFormat().underline, true);
  QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(r->SelectionCharFormat().underline, false);
  QTest::keyClick(r, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(r->SelectionCharFormat().underline, true);
  QTest::keyClick(r, Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(r->document()->isModified());
  EXPECT_NE(ReadFile(path), kSimpleNote);
}

TEST_F(EditorWindow, OpenFileDirectoryShowsTheDocument) {
  std::string shown;
  CWndEsr::SetFileShower([&](const std::string& p) { shown = p; });
  const std::string path = Note("Dir/A.esr");
  CWndEsr* w = Open(path);
  w->RunCommand(cmd::kOpenFileDirectory);
  EXPECT_EQ(shown, path);
}

// ---- Documents ----------------------------------------------------------------------------------

TEST_F(EditorDocument, ADamagedNoteShowsWhatCouldBeReadAndIsKeptAsideBeforeItIsReplaced) {
  const std::string damaged = "{\\rtf1\\ansi {\\fonttbl{\\f0 Arial;}}\\pard part one\\par part two";
  const std::string path = Note("bad.esr", damaged);
  CWndEsr* w = Open(path);
  EXPECT_NE(prompts_.LastMessage().find("文档已损坏"), std::string::npos);
  EXPECT_FALSE(w->RichEdit()->document()->isModified());
  EXPECT_TRUE(Text(w->RichEdit()).contains("part one"));
  QTest::keyClicks(w->RichEdit(), "x");
  ASSERT_TRUE(w->SaveDocument());
  bool kept = false;
  for (const std::string& m : prompts_.MessageTexts()) {
    const std::string prefix = "原来的文档已另存为：";
    if (m.rfind(prefix, 0) == 0) kept = ReadFile(m.substr(prefix.size())) == damaged;
  }
  EXPECT_TRUE(kept);
}

TEST_F(EditorDocument, SaveWritesRtfThatReadsBackToTheSameContent) {
  const std::string path = Note("a.esr");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  r->moveCursor(QTextCursor::End);
  QTest::keyClicks(r, " ");
  QInputMethodEvent ime;  // typed through an input method
  ime.setCommitString(QString::fromUtf8("中文𠀀"));
  QApplication::sendEvent(r, &ime);
  QTest::keyClicks(r, " end");
  QTest::keyClick(r, Qt::Key_Return);
  QTest::keyClicks(r, "item");
  w->RunCommand(cmd::kBullets);
  Select(r, 0, 5);
  w->RunCommand(cmd::kItalic);
  const QString before = Text(r);
  ASSERT_TRUE(w->SaveDocument());
  EXPECT_FALSE(r->document()->isModified());
  EXPECT_FALSE(w->Action(cmd::kSave)->isEnabled());
  EXPECT_EQ(ReadFile(path).rfind("{\\rtf", 0), 0u);
  w->close();

  CWndEsr* again = Open(path);
  EXPECT_EQ(Text(again->RichEdit()), before);
  Select(again->RichEdit(), 0, 5);
  EXPECT_EQ(again->RichEdit()->SelectionCharFormat().italic, true);
  Select(again->RichEdit(), 6, 11);
  EXPECT_EQ(again->RichEdit()->SelectionCharFormat().bold, true);
  again->RichEdit()->moveCursor(QTextCursor::End);
  EXPECT_EQ(again->RichEdit()->SelectionParaFormat().numbering, editor::kNumberingBullet);
  EXPECT_EQ(again->RichEdit()->SelectionParaFormat().paragraph.startIndent, 0);
}

// Everything the document holds, as a comparable text: characters with their formats, and
// pictures with their data.
std::string Contents(const QTextDocument* doc) {
  std::string out;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    out += "[" + std::to_string(int(b.blockFormat().alignment())) + "]";
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat f = it.fragment().charFormat();
      out += it.fragment().text().toStdString();
      out += "{" + std::to_string(f.fontWeight()) + (f.fontItalic() ? "i" : "") +
             (f.isAnchor() ? "@" + f.anchorHref().toStdString() : "") +
             std::to_string(f.property(rtfprop::kKeptGroup).toByteArray().size()) + "/" +
             std::to_string(f.property(rtfprop::kPictureData).toByteArray().size()) + "}";
    }
    out += "\n";
  }
  return out;
}

TEST_F(EditorDocument, NotesWrittenOnWindowsSaveAndReadBackUnchanged) {
  const std::string samples = std::string(ZORBEK_TESTDATA_DIR) + "/rtf/";
  for (const char* name : {"richedit/msftedit-5.41.21_chinese_simsun_fcharset134_bullets.rtf",
                           "richedit/msftedit-5.41_cp936_table_hyperlink_lchars.rtf",
                           "richedit/msftedit-5.41_pict_wmetafile8_images.rtf",
                           "richedit/riched20-10_colors_highlight_info.rtf",
                           "generated/wine8-riched20_zh_long_note.rtf"}) {
    SCOPED_TRACE(name);
    const std::string path = Note("sample.esr", ReadFile(samples + name));
    CWndEsr* w = Open(path);
    ASSERT_NE(w, nullptr);
    const std::string before = Contents(w->RichEdit()->document());
    w->RichEdit()->document()->setModified(true);
    ASSERT_TRUE(w->SaveDocument());
    const std::string saved = ReadFile(path);
    EXPECT_EQ(saved.rfind("{\\rtf", 0), 0u);
    w->close();
    w = Open(path);
    EXPECT_EQ(Contents(w->RichEdit()->document()), before);
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorDocument, EmbeddedObjectsSaveByteForByte) {
  const std::string object =
      "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw1000\\objh500{\\*\\objdata "
      "0105000002000000}{\\result{\\pict\\wmetafile8\\picw1000\\pich500 010009000003}}}";
  const std::string path = Note("o.esr", "{\\rtf1\\ansi before " + object + " after\\par}");
  CWndEsr* w = Open(path);
  QTest::keyClicks(w->RichEdit(), "x");
  ASSERT_TRUE(w->SaveDocument());
  EXPECT_NE(ReadFile(path).find(object), std::string::npos);
}

}  // namespace
}  // namespace zorbek::testing
