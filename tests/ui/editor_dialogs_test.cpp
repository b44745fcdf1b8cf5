#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include "core/app/clock.h"
#include "core/editor/editor_text.h"
#include "ui/editor/date_time_dialog.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/paragraph_dialog.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using EditorParagraphDialog = EditorTest;
using EditorDateTimeDialog = EditorTest;

TEST_F(EditorParagraphDialog, AHangingIndentShowsAsLeftAndFirstLineAndOkKeepsIt) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "text");
  editor::ParagraphFormat hanging;
  hanging.startIndent = 720;
  hanging.offset = -360;
  r->ApplyParagraphFormat(hanging);

  QString left, first, right;
  int alignment = -2;
  WhenModal<CParagraphDialog>([&](CParagraphDialog& d) {
    left = d.LeftBox()->text();
    first = d.FirstLineBox()->text();
    right = d.RightBox()->text();
    alignment = d.AlignmentBox()->currentIndex();
    d.accept();
  });
  w->RunCommand(cmd::kParagraph);
  EXPECT_EQ(left, "360");
  EXPECT_EQ(first, "360");
  EXPECT_EQ(right, "0");
  EXPECT_EQ(alignment, 0);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.startIndent, 720);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.offset, -360);

  WhenModal<CParagraphDialog>([&](CParagraphDialog& d) {
    d.AlignmentBox()->setCurrentIndex(2);
    d.RightBox()->setText("1440");
    d.accept();
  });
  w->RunCommand(cmd::kParagraph);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.alignment, editor::kAlignCenter);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.rightIndent, 1440);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.startIndent, 720);
}

TEST_F(EditorParagraphDialog, ValuesOutsideTheRangeOrMixedKeepTheDialogOpen) {
  editor::ParagraphFormat mixed;
  mixed.rightIndent = 0;
  CParagraphDialog d(mixed);
  EXPECT_EQ(d.LeftBox()->text(), "");
  EXPECT_EQ(d.AlignmentBox()->currentIndex(), -1);
  d.show();
  d.accept();  // the mixed left indent is still in its box
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(prompts_.LastMessage(), "Please enter a number between -31680 and 31680.");

  d.LeftBox()->setText("31681");
  d.FirstLineBox()->setText("0");
  d.accept();
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(prompts_.Messages().size(), 2u);

  d.LeftBox()->setText("-31680");
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.Result().startIndent, -31680);
  EXPECT_EQ(d.Result().offset, 0);
  EXPECT_EQ(d.Result().alignment, std::nullopt);
}

TEST_F(EditorDateTimeDialog, ListsThePresentTimeOnceInEveryFormatSortedWithTheFirstSelected) {
  FakeClock fake;
  fake.SetLocal(2026, 2, 10, 9, 5, 7);
  SetClock(&fake);
  CDateTimeDialog d;
  SetClock(nullptr);
  QStringList entries;
  for (int i = 0; i < d.List()->count(); ++i) entries << d.List()->item(i)->text();
  for (const char* expected : {"2026/2/10", "2026-02-10", "26-2-10", "2026年2月10日",
                               "2026年2月10日 星期二", "星期二 2026年2月10日", "9:05:07", "09:05:07",
                               "上午 9:05:07"})
    EXPECT_TRUE(entries.contains(QString::fromUtf8(expected))) << expected;
  // Already distinct and in the list's order: sorting again changes nothing.
  std::vector<std::string> texts;
  for (const QString& e : entries) texts.push_back(e.toStdString());
  EXPECT_EQ(editor::DateTimeListEntries(texts), texts);
  EXPECT_EQ(d.List()->currentRow(), 0);
  EXPECT_EQ(d.SelectedText(), entries.front());
}

TEST_F(EditorDateTimeDialog, TheChosenTextReplacesTheSelection) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "on DATE.");
  Select(r, 3, 7);
  QString chosen;
  WhenModal<CDateTimeDialog>([&](CDateTimeDialog& d) {
    d.List()->setCurrentRow(d.List()->count() - 1);
    chosen = d.SelectedText();
    d.accept();
  });
  w->RunCommand(cmd::kInsertDateTime);
  EXPECT_EQ(Text(r), "on " + chosen + ".");
  WhenModal<CDateTimeDialog>([](CDateTimeDialog& d) { d.reject(); });
  w->RunCommand(cmd::kInsertDateTime);
  EXPECT_EQ(Text(r), "on " + chosen + ".");
}

}  // namespace
}  // namespace zorbek::testing
