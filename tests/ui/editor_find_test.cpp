#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ui/editor/editor_commands.h"
#include "ui/editor/find_replace_dialog.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using editor::SearchOptions;

class EditorFind : public EditorTest {
 protected:
  // An editor whose note holds text, the caret at `caret`.
  CWndEsr* With(const QString& text, int caret = 0) {
    CWndEsr* w = Empty();
    w->RichEdit()->insertPlainText(text);
    Select(w->RichEdit(), caret, caret);
    return w;
  }
  static int Start(CXRichEditCtrl* r) { return r->textCursor().selectionStart(); }
  static QString Selected(CXRichEditCtrl* r) { return r->GetSelectedText(); }
  int CompleteCount() const {
    int n = 0;
    for (const auto& m : prompts_.Messages())
      if (m.text == "搜索完毕。" && m.icon == MsgIcon::Information) ++n;
    return n;
  }
};

TEST_F(EditorFind, FromTheMiddleTheMatchesAfterTheCaretComeFirstThenThoseBeforeThenComplete) {
  CWndEsr* w = With(QString::fromUtf8("笔记 笔记 笔记 笔记"), 4);  // at 0 3 6 9, caret in the 2nd
  CXRichEditCtrl* r = w->RichEdit();
  w->RunCommand(cmd::kFind);
  CFindReplaceDialog* d = r->FindReplaceDialog();
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->IsFindOnly());
  EXPECT_TRUE(d->DownButton()->isChecked());
  d->FindBox()->setText(QString::fromUtf8("笔记"));
  std::vector<int> starts;
  for (int i = 0; i < 4; ++i) {
    d->FindNextButton()->click();
    starts.push_back(Start(r));
    EXPECT_EQ(Selected(r), QString::fromUtf8("笔记"));
  }
  EXPECT_EQ(starts, (std::vector<int>{6, 9, 0, 3}));
  EXPECT_EQ(CompleteCount(), 0);
  d->FindNextButton()->click();
  EXPECT_EQ(CompleteCount(), 1);
  // A new cycle from where the caret is now.
  d->FindNextButton()->click();
  EXPECT_EQ(Start(r), 6);
}

TEST_F(EditorFind, FromTheStartNoWrapAndUpwardsToTheBeginningFirst) {
  CWndEsr* w = With("one two one two one");
  CXRichEditCtrl* r = w->RichEdit();
  for (int expected : {0, 8, 16}) {
    ASSERT_TRUE(r->FindNextMatch("one", {}));
    EXPECT_EQ(Start(r), expected);
  }
  EXPECT_FALSE(r->FindNextMatch("one", {}));
  EXPECT_EQ(r->SearchCycleState().state(), editor::SearchCycle::State::New);

  SearchOptions up;
  up.down = false;
  Select(r, 12, 12);
  std::vector<int> starts;
  while (r->FindNextMatch("ONE", up) && starts.size() < 10) starts.push_back(Start(r));
  EXPECT_EQ(starts, (std::vector<int>{8, 0, 16}));
  SearchOptions exact;
  exact.matchCase = true;
  Select(r, 0, 0);
  EXPECT_FALSE(r->FindNextMatch("ONE", exact));
}

TEST_F(EditorFind, OpeningReplaceClosesFindAndTheSelectionSeedsTheText) {
  CWndEsr* w = With("alpha beta");
  CXRichEditCtrl* r = w->RichEdit();
  Select(r, 6, 10);
  w->RunCommand(cmd::kFind);
  QPointer<CFindReplaceDialog> find = r->FindReplaceDialog();
  ASSERT_TRUE(find);
  EXPECT_EQ(find->FindWhat(), "beta");
  w->RunCommand(cmd::kFind);  // the open one comes forward
  EXPECT_EQ(r->FindReplaceDialog(), find.data());

  Select(r, 0, 5);
  w->RunCommand(cmd::kReplace);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(find.isNull() || !find->isVisible());
  CFindReplaceDialog* replace = r->FindReplaceDialog();
  ASSERT_TRUE(replace);
  EXPECT_FALSE(replace->IsFindOnly());
  EXPECT_EQ(replace->FindWhat(), "alpha");
  EXPECT_EQ(replace->ReplaceWith(), "");

  // Closing forgets the dialog; find-next buttons wait for a text.
  replace->CancelButton()->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(r->FindReplaceDialog(), nullptr);
  Select(r, 3, 3);
  w->RunCommand(cmd::kFind);
  ASSERT_TRUE(r->FindReplaceDialog());
  EXPECT_EQ(r->FindReplaceDialog()->FindWhat(), "alpha");  // no selection: the last text
  r->FindReplaceDialog()->FindBox()->clear();
  EXPECT_FALSE(r->FindReplaceDialog()->FindNextButton()->isEnabled());
}

TEST_F(EditorFind, F3AndShiftF3RepeatTheLastSearch) {
  CWndEsr* w = With("ab ab ab");
  CXRichEditCtrl* r = w->RichEdit();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  // Nothing searched yet: F3 opens the find dialog.
  w->findChild<QAction*>("FindNextAgain")->trigger();
  ASSERT_TRUE(r->FindReplaceDialog());
  r->FindReplaceDialog()->FindBox()->setText("ab");
  r->FindReplaceDialog()->FindNextButton()->click();
  EXPECT_EQ(Start(r), 0);
  r->FindReplaceDialog()->close();
  w->findChild<QAction*>("FindNextAgain")->trigger();
  EXPECT_EQ(Start(r), 3);
  w->findChild<QAction*>("FindPreviousAgain")->trigger();
  EXPECT_EQ(Start(r), 0);
}

TEST_F(EditorFind, ReplaceReplacesTheMatchAndGoesOnAndChangesProtectedText) {
  CWndEsr* w = With("cat dog cat dog cat");
  CXRichEditCtrl* r = w->RichEdit();
  // Nothing selected: the first match is found and replaced at once, the next one selected.
  r->ReplaceAction("cat", "lion", {});
  EXPECT_EQ(Text(r), "lion dog cat dog cat");
  EXPECT_EQ(Start(r), 9);
  EXPECT_EQ(Selected(r), "cat");
  // Protect the selected one: replace changes it all the same, and goes on to the next.
  r->ToggleProtect();
  r->ReplaceAction("cat", "lion", {});
  EXPECT_EQ(Text(r), "lion dog lion dog cat");
  EXPECT_EQ(Start(r), 18);
  r->ReplaceAction("cat", "lion", {});
  EXPECT_EQ(Text(r), "lion dog lion dog lion");
  // Nothing more: the cycle ends.
  EXPECT_EQ(CompleteCount(), 1);
  r->undo();
  EXPECT_EQ(Text(r), "lion dog lion dog cat");
}

TEST_F(EditorFind, ReplaceAllIsOneUndoStepAndNeverSearchesItsReplacements) {
  CWndEsr* w = With(QString::fromUtf8("苹果 香蕉 苹果 苹果派"), 3);
  CXRichEditCtrl* r = w->RichEdit();
  w->RunCommand(cmd::kReplace);
  CFindReplaceDialog* d = r->FindReplaceDialog();
  ASSERT_TRUE(d);
  d->FindBox()->setText(QString::fromUtf8("苹果"));
  d->ReplaceBox()->setText(QString::fromUtf8("红苹果"));
  d->UpButton()->setChecked(true);  // replace-all always goes down
  d->ReplaceAllButton()->click();
  EXPECT_EQ(Text(r), QString::fromUtf8("红苹果 香蕉 红苹果 红苹果派"));
  EXPECT_EQ(CompleteCount(), 1);
  EXPECT_FALSE(r->textCursor().hasSelection());
  r->undo();
  EXPECT_EQ(Text(r), QString::fromUtf8("苹果 香蕉 苹果 苹果派"));

  // Without a match nothing changes and nothing is left to undo.
  prompts_.Clear();
  r->document()->clearUndoRedoStacks();
  r->ReplaceAllAction("梨", "桃", {});
  EXPECT_EQ(Text(r), QString::fromUtf8("苹果 香蕉 苹果 苹果派"));
  EXPECT_EQ(CompleteCount(), 1);
  EXPECT_FALSE(r->document()->isUndoAvailable());
}

TEST_F(EditorFind, ReplaceAllChangesProtectedTextToo) {
  CWndEsr* w = With("a-b a-b a-b");
  CXRichEditCtrl* r = w->RichEdit();
  Select(r, 4, 7);
  r->ToggleProtect();
  Select(r, 0, 0);
  r->ReplaceAllAction("A-B", "x", {});
  EXPECT_EQ(Text(r), "x x x");
}

TEST_F(EditorFind, CharactersOutsideCodePage936AreFoundAndReplaced) {
  // U+20000 and an emoji: two positions each in the document.
  CWndEsr* w = With(QString::fromUtf8("甲𠀀乙 😀𠀀 𠀀"));
  CXRichEditCtrl* r = w->RichEdit();
  ASSERT_TRUE(r->FindNextMatch(QString::fromUtf8("𠀀"), {}));
  EXPECT_EQ(Selected(r), QString::fromUtf8("𠀀"));
  EXPECT_EQ(Start(r), 1);
  ASSERT_TRUE(r->FindNextMatch(QString::fromUtf8("𠀀"), {}));
  EXPECT_EQ(Start(r), 7);
  r->ReplaceAllAction(QString::fromUtf8("𠀀"), QString::fromUtf8("字"), {});
  EXPECT_EQ(Text(r), QString::fromUtf8("甲字乙 😀字 字"));
  SearchOptions word;
  word.wholeWord = true;
  Select(r, 0, 0);
  ASSERT_TRUE(r->FindNextMatch(QString::fromUtf8("😀"), word));
  EXPECT_EQ(Selected(r), QString::fromUtf8("😀"));
}

TEST_F(EditorFind, PositionsMatchTheDocumentAcrossParagraphsAndTables) {
  CWndEsr* w = With("first\nsecond");
  CXRichEditCtrl* r = w->RichEdit();
  r->moveCursor(QTextCursor::End);
  ASSERT_TRUE(r->InsertTable(2, 2));
  r->moveCursor(QTextCursor::End);
  r->insertPlainText("after second");
  const std::u16string text = r->SearchText();
  ASSERT_EQ(int(text.size()), r->document()->characterCount() - 1);
  Select(r, 0, 0);
  ASSERT_TRUE(r->FindNextMatch("t\nsec", {}));
  EXPECT_EQ(Start(r), 4);
  std::vector<QString> found;
  while (r->FindNextMatch("second", {}) && found.size() < 5) {
    QTextCursor c = r->textCursor();
    found.push_back(c.block().text());
  }
  EXPECT_EQ(found, (std::vector<QString>{"second", "after second"}));
}

TEST_F(EditorFind, TheDialogMovesOffTheMatch) {
  CWndEsr* w = With("top line\n\n\n\n\n\nmatch here");
  CXRichEditCtrl* r = w->RichEdit();
  w->move(0, 0);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  w->RunCommand(cmd::kFind);
  CFindReplaceDialog* d = r->FindReplaceDialog();
  ASSERT_TRUE(d);
  QTextCursor at(r->document());
  at.setPosition(QString("top line\n\n\n\n\n\n").size());
  const QPoint match = r->viewport()->mapToGlobal(r->cursorRect(at).topLeft());
  d->move(match.x() - 10, match.y() - 10);  // right over the match
  QCoreApplication::processEvents();
  d->FindBox()->setText("match");
  d->FindNextButton()->click();
  EXPECT_FALSE(d->frameGeometry().contains(match));
}

}  // namespace
}  // namespace zorbek::testing
