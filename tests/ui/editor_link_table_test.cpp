#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextFrame>
#include <QTextTable>

#include "core/app/clock.h"
#include "core/io/file_util.h"
#include "rtf/rtf_document.h"
#include "core/editor/open_editor_registry.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/esr_style_toolbar.h"
#include "ui/editor/link_dialog.h"
#include "ui/editor/table_dialog.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using editor::LinkKind;

class EditorLinkDialog : public EditorTest {
 protected:
  void SetUp() override {
    clock_.SetLocal(2026, 12, 8, 9, 30, 5);
    SetClock(&clock_);
    CXRichEditCtrl::SetFileStoreDirectory(Store());
  }
  void TearDown() override {
    CXRichEditCtrl::SetFileStoreDirectory({});
    SetClock(nullptr);
    EditorTest::TearDown();
  }
  std::string Store() const { return dir_ / "Zorbek/FileStore"; }

  // Runs the insert-link command; fill sets the dialog up and presses OK. Returns whether the
  // dialog closed with OK.
  bool RunLink(CWndEsr* w, const std::function<void(CWndHyperLink&)>& fill) {
    bool accepted = false;
    WhenModal<CWndHyperLink>([&](CWndHyperLink& d) {
      fill(d);
      d.accept();
      accepted = d.result() == QDialog::Accepted;
      if (!accepted) d.reject();
    });
    w->RunCommand(cmd::kInsertLink);
    return accepted;
  }

  static QString Href(CXRichEditCtrl* r) {
    for (QTextBlock b = r->document()->begin(); b.isValid(); b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isAnchor()) return it.fragment().charFormat().anchorHref();
    return {};
  }

  FakeClock clock_;
};

TEST_F(EditorLinkDialog, OpensWithAutoAndTheSelectionAsTitleAndInsertsTheAddress) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  r->insertPlainText(QString::fromUtf8("见项目主页。"));
  Select(r, 1, 5);
  QString title;
  bool autoChecked = false;
  ASSERT_TRUE(RunLink(w, [&](CWndHyperLink& d) {
    title = d.TitleBox()->text();
    autoChecked = d.KindButton(LinkKind::Auto)->isChecked();
    EXPECT_TRUE(d.BrowseButton()->isVisible());
    d.ContentBox()->setText("WWW.Example.COM");
  }));
  EXPECT_EQ(title, QString::fromUtf8("项目主页"));
  EXPECT_TRUE(autoChecked);
  EXPECT_EQ(Href(r), "www.example.com");
  EXPECT_EQ(Text(r), QString::fromUtf8("见项目主页。"));
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorLinkDialog, EmptyContentOrTitleKeepsTheDialogOpen) {
  CWndEsr* w = Empty();
  EXPECT_FALSE(RunLink(w, [](CWndHyperLink& d) { d.TitleBox()->setText("t"); }));
  EXPECT_EQ(prompts_.LastMessage(), "输入链接地址。");
  EXPECT_FALSE(RunLink(w, [](CWndHyperLink& d) {
    d.TitleBox()->setText("  ");
    d.ContentBox()->setText("www.example.com");
  }));
  EXPECT_EQ(prompts_.LastMessage(), "输入主题");
  EXPECT_EQ(Text(w->RichEdit()), "");
}

TEST_F(EditorLinkDialog, TheChosenKindMakesTheAddressOfABareWord) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  const std::pair<LinkKind, const char*> kinds[] = {
      {LinkKind::Web, "http://zorbek"}, {LinkKind::Mail, "mailto:zorbek"}, {LinkKind::Ftp, "ftp://zorbek"}};
  for (const auto& [kind, target] : kinds) {
    r->ResetDocument();
    ASSERT_TRUE(RunLink(w, [kind = kind](CWndHyperLink& d) {
      d.KindButton(kind)->setChecked(true);
      d.TitleBox()->setText("z");
      d.ContentBox()->setText("Zorbek");
    }));
    EXPECT_EQ(Href(r), target);
  }
  r->ResetDocument();
  ASSERT_TRUE(RunLink(w, [](CWndHyperLink& d) {
    d.TitleBox()->setText("mail");
    d.ContentBox()->setText("Li@Mail.Example.cn");
  }));
  EXPECT_EQ(Href(r), "mailto:li@mail.example.cn");
}

TEST_F(EditorLinkDialog, AFileInTheStoreIsLinkedByNameWithoutAQuestion) {
  const std::string stored = Store() + "/Plan.pdf";
  WriteFile(stored, "pdf");
  CWndEsr* w = Empty();
  ASSERT_TRUE(RunLink(w, [&](CWndHyperLink& d) {
    d.TitleBox()->setText("plan");
    d.ContentBox()->setText(QString::fromStdString(stored));
  }));
  EXPECT_EQ(Href(w->RichEdit()), "localfile:Plan.pdf");
  EXPECT_TRUE(prompts_.Messages().empty());
}

TEST_F(EditorLinkDialog, BrowsedFilesAreCopiedIntoTheStoreAndASecondOfTheSameNameGetsTheTime) {
  const std::string first = dir_ / "a/报告.txt", second = dir_ / "b/报告.txt";
  WriteFile(first, "one");
  WriteFile(second, "two");
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();

  prompts_.NextOpenFiles({first});
  prompts_.AnswerNext(MsgResult::Ok);
  ASSERT_TRUE(RunLink(w, [](CWndHyperLink& d) {
    d.TitleBox()->setText("one");
    d.BrowseButton()->click();
  }));
  ASSERT_EQ(prompts_.Messages().size(), 1u);
  EXPECT_EQ(prompts_.Messages()[0].text,
            "复制原始文件：" + first + " 至 " + Store() + "/报告.txt 吗？");
  EXPECT_EQ(prompts_.Messages()[0].buttons, MsgButtons::OkCancel);
  EXPECT_EQ(Href(r), QString::fromUtf8("localfile:报告.txt"));
  EXPECT_EQ(ReadWholeFile(Store() + "/报告.txt"), "one");

  r->ResetDocument();
  prompts_.AnswerNext(MsgResult::Ok);
  ASSERT_TRUE(RunLink(w, [&](CWndHyperLink& d) {
    d.TitleBox()->setText("two");
    d.ContentBox()->setText(QString::fromStdString("localfile:" + second));
  }));
  EXPECT_EQ(prompts_.LastMessage(), "复制文件到系统路径吗？");
  EXPECT_EQ(Href(r), QString::fromUtf8("localfile:报告_20261208093005.txt"));
  EXPECT_EQ(ReadWholeFile(Store() + "/报告_20261208093005.txt"), "two");
  EXPECT_EQ(ReadWholeFile(Store() + "/报告.txt"), "one");
}

TEST_F(EditorLinkDialog, CancelOrAFailedCopyLinksTheFileWhereItLies) {
  const std::string file = dir_ / "docs/Plan.TXT";
  WriteFile(file, "x");
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  prompts_.AnswerNext(MsgResult::Cancel);
  ASSERT_TRUE(RunLink(w, [&](CWndHyperLink& d) {
    d.KindButton(LinkKind::File)->setChecked(true);
    d.TitleBox()->setText("plan");
    d.ContentBox()->setText(QString::fromStdString(file));
  }));
  EXPECT_EQ(Href(r), QString::fromStdString("localfile:" + file));  // letter case kept
  EXPECT_FALSE(PathExists(Store() + "/Plan.TXT"));

  // The store cannot be made (a file stands where its directory would be): the user is told
  // and the link leads to the original.
  WriteFile(dir_ / "Zorbek/FileStore", "not a directory");
  r->ResetDocument();
  prompts_.Clear();
  prompts_.AnswerNext(MsgResult::Ok);
  ASSERT_TRUE(RunLink(w, [&](CWndHyperLink& d) {
    d.TitleBox()->setText("plan");
    d.ContentBox()->setText(QString::fromStdString(file));
  }));
  ASSERT_EQ(prompts_.Messages().size(), 2u);
  EXPECT_EQ(prompts_.Messages()[1].text.rfind("文件没有复制到系统路径，链接指向原来的文件：" + file, 0), 0u);
  EXPECT_EQ(Href(r), QString::fromStdString("localfile:" + file));
}

TEST_F(EditorLinkDialog, ATargetTooLongForALinkIsRefusedWithAMessage) {
  CWndEsr* w = Empty();
  ASSERT_TRUE(RunLink(w, [](CWndHyperLink& d) {
    d.TitleBox()->setText("long");
    d.ContentBox()->setText("http://example.com/" + QString(300, u'a'));
  }));
  EXPECT_EQ(prompts_.LastMessage(), "链接地址太长，无法插入。");
  EXPECT_EQ(Text(w->RichEdit()), "");
}

// ---- Tables ------------------------------------------------------------------------------------

class EditorTableDialog : public EditorTest {
 protected:
  bool RunTable(CWndEsr* w, const QString& rows, const QString& columns, QString* shown = nullptr) {
    bool accepted = false;
    WhenModal<CWndTable>([&](CWndTable& d) {
      if (shown) *shown = d.RowsBox()->text() + "x" + d.ColumnsBox()->text();
      d.RowsBox()->setText(rows);
      d.ColumnsBox()->setText(columns);
      d.accept();
      accepted = d.result() == QDialog::Accepted;
      if (!accepted) d.reject();
    });
    w->RunCommand(cmd::kInsertTable);
    return accepted;
  }
  static std::vector<QTextTable*> Tables(QTextDocument* doc) {
    std::vector<QTextTable*> out;
    for (QTextFrame* f : doc->rootFrame()->childFrames())
      if (auto* t = qobject_cast<QTextTable*>(f)) out.push_back(t);
    return out;
  }
};

TEST_F(EditorTableDialog, TwoByTwoReplacesTheSelectionAsOneUndoStep) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "ab XX cd");
  Select(r, 3, 5);
  QString shown;
  ASSERT_TRUE(RunTable(w, "2", "2", &shown));
  EXPECT_EQ(shown, "2x2");
  const auto tables = Tables(r->document());
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]->rows(), 2);
  EXPECT_EQ(tables[0]->columns(), 2);
  EXPECT_EQ(tables[0]->format().property(rtfprop::kTableCellRights).toList(), (QVariantList{4374, 8748}));
  EXPECT_FALSE(Text(r).contains("XX"));
  r->undo();
  EXPECT_EQ(Text(r), "ab XX cd");
  EXPECT_TRUE(Tables(r->document()).empty());

  ASSERT_TRUE(RunTable(w, "1", "03"));
  ASSERT_EQ(Tables(r->document()).size(), 1u);
  EXPECT_EQ(Tables(r->document())[0]->format().property(rtfprop::kTableCellRights).toList(),
            (QVariantList{2916, 5832, 8748}));
}

TEST_F(EditorTableDialog, ZeroEmptyOrTooLargeKeepsTheDialogOpen) {
  CWndEsr* w = Empty();
  EXPECT_FALSE(RunTable(w, "0", "2"));
  EXPECT_EQ(prompts_.LastMessage(), "输入数据不能为零或者为空");
  EXPECT_FALSE(RunTable(w, "2", ""));
  EXPECT_EQ(prompts_.LastMessage(), "输入数据不能为零或者为空");
  EXPECT_FALSE(RunTable(w, "2", "64"));
  EXPECT_EQ(prompts_.LastMessage(), TableSizeLimitMessage().toStdString());
  EXPECT_FALSE(RunTable(w, "999999999", "2"));
  EXPECT_EQ(prompts_.LastMessage(), TableSizeLimitMessage().toStdString());
  EXPECT_TRUE(Tables(w->RichEdit()->document()).empty());
  // Only digits can be typed.
  CWndTable d;
  d.RowsBox()->clear();
  QTest::keyClicks(d.RowsBox(), "-1x2");
  EXPECT_EQ(d.RowsBox()->text(), "12");
}

// The cell (row, column) the cursor is in, or (-1, -1) outside every table.
std::pair<int, int> CellOfCursor(CXRichEditCtrl* r) {
  const QTextCursor c = r->textCursor();
  QTextTable* t = c.currentTable();
  if (!t) return {-1, -1};
  const QTextTableCell cell = t->cellAt(c);
  return {cell.row(), cell.column()};
}

QString CellText(QTextTable* t, int row, int column) {
  const QTextTableCell cell = t->cellAt(row, column);
  if (!cell.isValid()) return QStringLiteral("<no cell>");
  QTextCursor c = cell.firstCursorPosition();
  c.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
  return c.selectedText();
}

TEST_F(EditorTableDialog, TheCursorStartsInTheFirstCellAndTabWalksTheCellsAddingARowAtTheEnd) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "before");
  ASSERT_TRUE(RunTable(w, "2", "2"));
  ASSERT_EQ(Tables(r->document()).size(), 1u);
  QTextTable* t = Tables(r->document())[0];
  EXPECT_EQ(r->textCursor().currentTable(), t);
  EXPECT_EQ(CellOfCursor(r), std::pair(0, 0));

  QTest::keyClicks(r, "a1");
  QTest::keyClick(r, Qt::Key_Tab);
  EXPECT_EQ(CellOfCursor(r), std::pair(0, 1));
  QTest::keyClicks(r, "b1");
  QTest::keyClick(r, Qt::Key_Tab);
  EXPECT_EQ(CellOfCursor(r), std::pair(1, 0));
  QTest::keyClicks(r, "a2");
  QTest::keyClick(r, Qt::Key_Tab);
  QTest::keyClicks(r, "b2");
  // Tab in the last cell adds a row and goes to its first cell.
  QTest::keyClick(r, Qt::Key_Tab);
  EXPECT_EQ(t->rows(), 3);
  EXPECT_EQ(CellOfCursor(r), std::pair(2, 0));
  QTest::keyClicks(r, "a3");
  EXPECT_EQ(CellText(t, 2, 0), "a3");
  EXPECT_FALSE(Text(r).contains('\t'));

  // Shift+Tab (Backtab) goes back a cell and selects what it holds; typing replaces it.
  QTest::keyClick(r, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(CellOfCursor(r), std::pair(1, 1));
  EXPECT_EQ(r->textCursor().selectedText(), "b2");
  QTest::keyClicks(r, "B2");
  EXPECT_EQ(CellText(t, 1, 1), "B2");
  // Tab selects the next cell's text as well.
  Select(r, t->cellAt(0, 0).firstPosition(), t->cellAt(0, 0).firstPosition());
  QTest::keyClick(r, Qt::Key_Tab);
  EXPECT_EQ(r->textCursor().selectedText(), "b1");
  // In the first cell Shift+Tab stays there and types nothing.
  Select(r, t->cellAt(0, 0).firstPosition(), t->cellAt(0, 0).firstPosition());
  QTest::keyClick(r, Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(CellOfCursor(r), std::pair(0, 0));
  EXPECT_EQ(CellText(t, 0, 0), "a1");
  EXPECT_EQ(Text(r).left(6), "before");

  // The added row is one undo step, after the word typed into it.
  r->undo();
  r->undo();
  EXPECT_EQ(CellText(t, 2, 0), "");
  r->undo();
  EXPECT_EQ(t->rows(), 2);
  EXPECT_EQ(CellText(t, 1, 1), "b2");
}

TEST_F(EditorTableDialog, TabOutsideATableAndCtrlTabInACellTypeATab) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClick(r, Qt::Key_Tab);
  EXPECT_EQ(Text(r), "\t");
  ASSERT_TRUE(RunTable(w, "1", "2"));
  QTest::keyClick(r, Qt::Key_Tab, Qt::ControlModifier);
  QTextTable* t = Tables(r->document())[0];
  EXPECT_EQ(CellText(t, 0, 0), "\t");
  EXPECT_EQ(CellOfCursor(r), std::pair(0, 0));
}

TEST_F(EditorTableDialog, TheFontBoxesShowTheFormatInsideTheCells) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  w->show();
  ASSERT_TRUE(RunTable(w, "2", "3"));
  w->UpdateCommandStates();
  const CXRichEditCtrl::CharFormat f = r->SelectionCharFormat();
  ASSERT_TRUE(f.face.has_value());
  ASSERT_TRUE(f.heightTwips.has_value());
  QComboBox* name = w->StyleToolBar()->FontNameBox();
  QComboBox* size = w->StyleToolBar()->FontSizeBox();
  EXPECT_FALSE(name->currentText().isEmpty());
  EXPECT_EQ(name->currentText(), *f.face);
  EXPECT_EQ(size->currentText(), QString::number(*f.heightTwips / 20));
  // What is typed in a cell keeps the cell's face, and the boxes follow a size chosen there.
  r->SetFontHeight(14 * 20);
  QTest::keyClicks(r, "x");
  QTest::keyClick(r, Qt::Key_Tab);
  w->UpdateCommandStates();
  EXPECT_EQ(size->currentText(), QString::number(*f.heightTwips / 20));
  QTest::keyClick(r, Qt::Key_Backtab, Qt::ShiftModifier);
  w->UpdateCommandStates();
  EXPECT_EQ(r->textCursor().selectedText(), "x");
  EXPECT_EQ(size->currentText(), "14");
  EXPECT_EQ(name->currentText(), *f.face);
}

TEST_F(EditorTableDialog, ATableGrownByTabIsSavedAndReadBackWithItsText) {
  const std::string path = Note("表格.esr", "{\\rtf1\\ansi }");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  ASSERT_TRUE(RunTable(w, "1", "2"));
  QTest::keyClicks(r, "a1");
  QTest::keyClick(r, Qt::Key_Tab);
  QTest::keyClicks(r, "b1");
  QTest::keyClick(r, Qt::Key_Tab);
  QTest::keyClicks(r, "a2");
  w->RunCommand(cmd::kSave);
  EXPECT_FALSE(r->document()->isModified());
  CloseAllEditors();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  CWndEsr* again = Open(path);
  ASSERT_NE(again, nullptr);
  const auto tables = Tables(again->RichEdit()->document());
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]->rows(), 2);
  EXPECT_EQ(tables[0]->columns(), 2);
  EXPECT_EQ(CellText(tables[0], 0, 0), "a1");
  EXPECT_EQ(CellText(tables[0], 0, 1), "b1");
  EXPECT_EQ(CellText(tables[0], 1, 0), "a2");
  EXPECT_EQ(CellText(tables[0], 1, 1), "");
}

}  // namespace
}  // namespace zorbek::testing
