#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTextList>
#include <filesystem>

#include "rtf/rtf_document.h"
#include "ui/editor/address_marker.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/esr_style_toolbar.h"
#include "ui/editor/text_format.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using Effect = CXRichEditCtrl::Effect;
using EditorTyping = EditorTest;
using EditorFormats = EditorTest;
using EditorProtected = EditorTest;
using EditorContextMenu = EditorTest;
using EditorLinks = EditorTest;
using EditorInsert = EditorTest;

// ---- Typing and undo ----------------------------------------------------------------------------

TEST_F(EditorTyping, TheFirstCharacterAppearsAndUndoRemovesOneWordAtATime) {
  CXRichEditCtrl* r = Empty()->RichEdit();
  QTest::keyClick(r, Qt::Key_H);
  EXPECT_EQ(Text(r), "h");
  QTest::keyClicks(r, "ello world");
  EXPECT_EQ(Text(r), "hello world");
  r->undo();
  EXPECT_EQ(Text(r), "hello ");
  r->undo();
  EXPECT_EQ(Text(r), "hello");
  r->undo();
  EXPECT_EQ(Text(r), "");
  EXPECT_FALSE(r->document()->isUndoAvailable());
}

TEST_F(EditorTyping, AFormatChangeOrACaretMoveStartsANewUndoStep) {
  CXRichEditCtrl* r = Empty()->RichEdit();
  QTest::keyClicks(r, "abc");
  r->moveCursor(QTextCursor::Start);
  QTest::keyClicks(r, "x");
  r->moveCursor(QTextCursor::End);
  QTest::keyClicks(r, "def");
  EXPECT_EQ(Text(r), "xabcdef");
  r->undo();
  EXPECT_EQ(Text(r), "xabc");
  r->undo();
  EXPECT_EQ(Text(r), "abc");
}

TEST_F(EditorTyping, NewTextHasTheDefaultFace) {
  CXRichEditCtrl* r = Empty()->RichEdit();
  QTest::keyClicks(r, "ab");
  Select(r, 0, 2);
  const auto& f = r->SelectionCharFormat();
  EXPECT_EQ(f.face, QString::fromUtf8("宋体"));
  EXPECT_EQ(f.heightTwips, 180);
  EXPECT_EQ(f.bold, false);
}

// ---- Character and paragraph formats -------------------------------------------------------------

TEST_F(EditorFormats, BoldOnAPartlyBoldSelectionMakesItAllBoldThenNone) {
  CWndEsr* w = Open(Note("a.esr"));  // "hello world" with "world" bold
  CXRichEditCtrl* r = w->RichEdit();
  Select(r, 0, 11);
  EXPECT_EQ(r->SelectionCharFormat().bold, std::nullopt);
  w->RunCommand(cmd::kBold);
  EXPECT_EQ(r->SelectionCharFormat().bold, true);
  w->RunCommand(cmd::kBold);
  EXPECT_EQ(r->SelectionCharFormat().bold, false);
  Select(r, 6, 11);
  EXPECT_EQ(r->SelectionCharFormat().bold, false);
}

TEST_F(EditorFormats, SuperscriptAndSubscriptExcludeEachOther) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "x2");
  Select(r, 1, 2);
  w->RunCommand(cmd::kSubscript);
  w->RunCommand(cmd::kSuperscript);
  EXPECT_EQ(r->SelectionCharFormat().superscript, true);
  EXPECT_EQ(r->SelectionCharFormat().subscript, false);
  w->RunCommand(cmd::kSuperscript);
  EXPECT_EQ(r->SelectionCharFormat().superscript, false);
}

TEST_F(EditorFormats, CycleNumberingRunsThroughEveryStyle) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "one");
  QTest::keyClick(r, Qt::Key_Return);
  QTest::keyClicks(r, "two");
  Select(r, 0, 7);
  std::vector<int> seen;
  for (int i = 0; i < 6; ++i) {
    w->RunCommand(cmd::kCycleNumbering);
    seen.push_back(r->SelectionParaFormat().numbering.value_or(-1));
  }
  EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 6, 0}));
  EXPECT_EQ(r->document()->firstBlock().textList(), nullptr);
  w->RunCommand(cmd::kBullets);
  EXPECT_EQ(r->SelectionParaFormat().numbering, 1);
  EXPECT_EQ(w->CommandCheckState(cmd::kBullets), editor::CheckState::Checked);
  EXPECT_EQ(w->CommandCheckState(cmd::kNumbering), editor::CheckState::Unchecked);
  w->RunCommand(cmd::kBullets);
  EXPECT_EQ(r->SelectionParaFormat().numbering, 0);
  // Both paragraphs form one list.
  w->RunCommand(cmd::kNumbering);
  ASSERT_NE(r->document()->firstBlock().textList(), nullptr);
  EXPECT_EQ(r->document()->firstBlock().textList(), r->document()->lastBlock().textList());
}

TEST_F(EditorFormats, IndentMovesTheStartAndClearsTheHangingOffset) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "text");
  editor::ParagraphFormat hanging;
  hanging.startIndent = 720;
  hanging.offset = -360;
  r->ApplyParagraphFormat(hanging);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.startIndent, 720);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.offset, -360);
  w->RunCommand(cmd::kIndentMore);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.startIndent, 1080);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.offset, 0);
  for (int i = 0; i < 5; ++i) w->RunCommand(cmd::kIndentLess);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.startIndent, 0);
}

TEST_F(EditorFormats, ListParagraphsShowAtTheSameIndentAfterSavingAndOpening) {
  const std::string path = Note("lists.esr", "{\\rtf1\\ansi }");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "numbered");
  QTest::keyClick(r, Qt::Key_Return);
  QTest::keyClicks(r, "bullet");
  QTest::keyClick(r, Qt::Key_Return);
  QTest::keyClicks(r, "plain");
  // A numbered line moved to a start indent of 720, a bullet at the edge, a plain paragraph
  // at 720.
  Select(r, 0, 1);
  w->RunCommand(cmd::kNumbering);
  w->RunCommand(cmd::kIndentMore);
  w->RunCommand(cmd::kIndentMore);
  Select(r, 9, 10);
  w->RunCommand(cmd::kBullets);
  Select(r, 16, 17);
  w->RunCommand(cmd::kIndentMore);
  w->RunCommand(cmd::kIndentMore);
  ASSERT_EQ(r->document()->blockCount(), 3);
  const auto shownAt = [](CXRichEditCtrl* e) {
    std::vector<int> x;
    for (QTextBlock b = e->document()->firstBlock(); b.isValid(); b = b.next())
      x.push_back(e->cursorRect(QTextCursor(b)).x());
    return x;
  };
  const std::vector<int> before = shownAt(r);
  EXPECT_GT(before[0], before[1]);  // the indent shows
  ASSERT_TRUE(w->SaveDocument());
  EXPECT_NE(ReadFile(path).find("\\li720"), std::string::npos);
  w->close();
  CWndEsr* again = Open(path);
  EXPECT_EQ(shownAt(again->RichEdit()), before);
  ASSERT_NE(again->RichEdit()->document()->firstBlock().textList(), nullptr);
}

TEST_F(EditorFormats, TheSizeBoxSetsTheHeightInTwipsAndTheBoxesFollowTheSelection) {
  CWndEsr* w = Open(Note("a.esr"));
  CXRichEditCtrl* r = w->RichEdit();
  CEsrStyleToolBar* bar = w->StyleToolBar();
  Select(r, 0, 5);
  const int index = bar->FontSizeBox()->findText("14");
  ASSERT_GE(index, 0);
  bar->FontSizeBox()->setCurrentIndex(index);
  emit bar->FontSizeBox()->activated(index);
  EXPECT_EQ(r->SelectionCharFormat().heightTwips, 280);

  // Two faces and two sizes: both boxes empty.
  const int arial = bar->FontNameBox()->findText("DejaVu Sans");
  ASSERT_GE(arial, 0);
  emit bar->FontNameBox()->activated(arial);
  Select(r, 0, 11);
  w->UpdateCommandStates();
  EXPECT_EQ(bar->FontNameBox()->currentIndex(), -1);
  EXPECT_EQ(bar->FontSizeBox()->currentIndex(), -1);
  Select(r, 0, 5);
  w->UpdateCommandStates();
  EXPECT_EQ(bar->FontNameBox()->currentText(), "DejaVu Sans");
  EXPECT_EQ(bar->FontSizeBox()->currentText(), "14");
}

TEST_F(EditorFormats, ABoxWithTheFocusIsNotOverwritten) {
  CWndEsr* w = Open(Note("a.esr"));
  CXRichEditCtrl* r = w->RichEdit();
  CEsrStyleToolBar* bar = w->StyleToolBar();
  w->activateWindow();
  (void)QTest::qWaitForWindowActive(w, 1000);
  bar->FontSizeBox()->setFocus();
  if (!bar->FontSizeBox()->hasFocus()) GTEST_SKIP() << "no keyboard focus on this screen";
  bar->FontSizeBox()->setCurrentIndex(bar->FontSizeBox()->findText("48"));
  Select(r, 0, 5);
  w->UpdateCommandStates();
  EXPECT_EQ(bar->FontSizeBox()->currentText(), "48");
  r->setFocus();
  w->UpdateCommandStates();
  EXPECT_EQ(bar->FontSizeBox()->currentText(), "9");
}

TEST_F(EditorFormats, ColoursComeFromTheColourDialog) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "abc");
  Select(r, 0, 3);
  prompts_.NextColor(Rgb{200, 0, 0});
  w->RunCommand(cmd::kTextColor);
  EXPECT_EQ(r->SelectionCharFormat().textColor, QColor(200, 0, 0));
  prompts_.NextColor(std::nullopt);
  w->RunCommand(cmd::kBackColor);
  EXPECT_EQ(r->SelectionCharFormat().backColor, QColor());
}

TEST_F(EditorFormats, TheFontDialogAppliesToTheWordAtTheCaretWhenNothingIsSelected) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "one two");
  Select(r, 5, 5);
  FontChoice font;
  font.face = "DejaVu Serif";
  font.pointSize = 12;
  font.bold = true;
  prompts_.NextFont(font);
  w->RunCommand(cmd::kFont);
  Select(r, 4, 7);
  EXPECT_EQ(r->SelectionCharFormat().bold, true);
  EXPECT_EQ(r->SelectionCharFormat().heightTwips, 240);
  Select(r, 0, 3);
  EXPECT_EQ(r->SelectionCharFormat().bold, false);
}

// ---- Protected text -------------------------------------------------------------------------------

TEST_F(EditorProtected, TypingCutAndPasteAreRefusedButDeleteAndReplaceChangeIt) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "abc DEF ghi");
  Select(r, 4, 7);
  w->RunCommand(cmd::kProtect);
  EXPECT_EQ(r->SelectionCharFormat().protect, true);
  EXPECT_EQ(r->SelectionCharFormat().backColor, QColor(255, 255, 0));
  EXPECT_EQ(w->CommandCheckState(cmd::kProtect), editor::CheckState::Checked);

  QTest::keyClicks(r, "x");  // typing over the selection
  QTest::keyClick(r, Qt::Key_Backspace);
  Select(r, 5, 5);
  QTest::keyClicks(r, "y");  // inside the protected run
  QTest::keyClick(r, Qt::Key_Delete);
  Select(r, 2, 6);
  r->Cut();
  QTest::keyClick(r, Qt::Key_X, Qt::ControlModifier);
  QApplication::clipboard()->setText("pasted");
  r->Paste();
  QTest::keyClick(r, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Text(r), "abc DEF ghi");

  // At its edge new text may be typed, and it is not protected.
  Select(r, 7, 7);
  QTest::keyClicks(r, "!");
  EXPECT_EQ(Text(r), "abc DEF! ghi");
  Select(r, 7, 8);
  EXPECT_EQ(r->SelectionCharFormat().protect, false);

  Select(r, 4, 5);
  r->ReplaceSelection("d");
  EXPECT_EQ(Text(r), "abc dEF! ghi");
  Select(r, 5, 7);
  w->RunCommand(cmd::kDelete);
  EXPECT_EQ(Text(r), "abc d! ghi");
}

TEST_F(EditorProtected, TheCommandOnProtectedTextUnprotectsItToWhite) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "abc");
  Select(r, 0, 3);
  w->RunCommand(cmd::kProtect);
  w->RunCommand(cmd::kProtect);
  EXPECT_EQ(r->SelectionCharFormat().protect, false);
  EXPECT_EQ(r->SelectionCharFormat().backColor, QColor(255, 255, 255));
  QTest::keyClicks(r, "z");
  EXPECT_EQ(Text(r), "z");
}

// ---- Context menu ----------------------------------------------------------------------------------

TEST_F(EditorContextMenu, ItemsIdsAndStates) {
  CWndEsr* w = Open(Note("a.esr"));
  CXRichEditCtrl* r = w->RichEdit();
  QApplication::clipboard()->clear();
  std::unique_ptr<QMenu> menu(r->CreateContextMenu(nullptr));
  std::vector<int> ids;
  std::map<int, QAction*> byId;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) {
      ids.push_back(0);
      continue;
    }
    ids.push_back(a->data().toInt());
    byId[a->data().toInt()] = a;
  }
  EXPECT_EQ(ids, (std::vector<int>{101, 0, 102, 103, 104, 105, 0, 108, 109, 0, 111, 110, 112, 0,
                                   113, 116, 114, 115, 0, 106, 0, 107, 0, 32961}));
  EXPECT_EQ(byId[101]->text(), "&Undo");
  EXPECT_EQ(byId[107]->text(), "Select &Font");
  EXPECT_FALSE(byId[101]->isEnabled());
  EXPECT_FALSE(byId[102]->isEnabled());
  EXPECT_FALSE(byId[105]->isEnabled());

  Select(r, 6, 11);  // "world", bold
  menu.reset(r->CreateContextMenu(nullptr));
  for (QAction* a : menu->actions()) byId[a->data().toInt()] = a;
  EXPECT_TRUE(byId[102]->isEnabled());
  EXPECT_TRUE(byId[113]->isChecked());
  EXPECT_FALSE(byId[114]->isChecked());

  r->RunContextCommand(cmd::kCtxItalic);
  EXPECT_EQ(r->SelectionCharFormat().italic, true);
  r->RunContextCommand(cmd::kCtxIndentMore);
  EXPECT_EQ(r->SelectionParaFormat().paragraph.startIndent, 360);
  r->RunContextCommand(cmd::kCtxBullets);
  EXPECT_EQ(r->SelectionParaFormat().numbering, 1);
  r->RunContextCommand(cmd::kCtxUndo);
  EXPECT_EQ(r->SelectionParaFormat().numbering, 0);
}

// ---- Links -----------------------------------------------------------------------------------------

TEST_F(EditorLinks, ATypedAddressIsALinkAndLocalFilesOpenFromTheFileStore) {
  std::vector<editor::LinkTarget> opened;
  CXRichEditCtrl::SetLinkOpener([&](const editor::LinkTarget& t) { opened.push_back(t); });
  CXRichEditCtrl::SetFileStoreDirectory(dir_ / "FileStore");
  WriteFile(dir_ / "FileStore/plan.txt", "plan");
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "see localfile:plan.txt, then www.example.com.");
  QApplication::processEvents();

  auto pointAt = [&](int pos) {
    QTextCursor c(r->document());
    c.setPosition(pos);
    return r->cursorRect(c).center() + QPoint(2, 0);
  };
  EXPECT_EQ(r->LinkAt(pointAt(8)), "localfile:plan.txt");
  EXPECT_EQ(r->LinkAt(pointAt(2)), "");
  QTest::mouseClick(r->viewport(), Qt::LeftButton, {}, pointAt(8));
  QTest::mouseClick(r->viewport(), Qt::LeftButton, {}, pointAt(32));
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].kind, editor::LinkTarget::Kind::File);
  EXPECT_EQ(opened[0].target, std::filesystem::canonical(dir_ / "FileStore/plan.txt").string());
  EXPECT_EQ(opened[1].target, "http://www.example.com");
  // The address is marked on the screen only: the text keeps no link.
  EXPECT_FALSE(r->document()->findBlock(8).begin().fragment().charFormat().isAnchor());
  CXRichEditCtrl::SetFileStoreDirectory("");
}

// Addresses are marked on the screen, in paragraphs far below the first screen too, and the
// marks follow typing, a split paragraph and undo; a document that lives on after the marker
// leaves it loses its marks.
TEST_F(EditorLinks, AddressesAreMarkedOnTheScreenAsTheNoteOpensAndAsItChanges) {
  std::string rtf = "{\\rtf1\\ansi ";
  for (int i = 0; i < 300; ++i) {
    if (i == 7) rtf += "see http://example.com/a, now\\par ";
    else if (i == 250) rtf += "at WWW.example.org.\\par ";
    else rtf += "plain line 10:30\\par ";  // a colon, but no address
  }
  rtf += "}";
  CXRichEditCtrl* r = Open(Note("marks.esr", rtf))->RichEdit();
  QTextDocument* d = r->document();
  using Marks = std::vector<std::pair<int, int>>;
  auto marks = [&](int block) {
    Marks out;
    for (const auto& f : d->findBlockByNumber(block).layout()->formats()) {
      EXPECT_TRUE(f.format.fontUnderline());
      out.emplace_back(f.start, f.length);
    }
    return out;
  };
  EXPECT_EQ(marks(7), (Marks{{4, 20}}));  // the comma after it is the sentence's
  EXPECT_EQ(marks(250), (Marks{{3, 15}}));
  EXPECT_EQ(marks(6), Marks{});
  EXPECT_EQ(marks(100), Marks{});
  EXPECT_FALSE(d->isModified());
  EXPECT_FALSE(d->isUndoAvailable());

  QTextCursor c(d->findBlockByNumber(100));
  c.movePosition(QTextCursor::EndOfBlock);
  r->setTextCursor(c);
  QTest::keyClicks(r, " www.qt.io");
  EXPECT_EQ(marks(100), (Marks{{17, 9}}));
  c.setPosition(d->findBlockByNumber(100).position() + 20);  // after "www"
  r->setTextCursor(c);
  QTest::keyClick(r, Qt::Key_Space);
  EXPECT_EQ(marks(100), Marks{});
  r->undo();
  EXPECT_EQ(marks(100), (Marks{{17, 9}}));

  c.setPosition(d->findBlockByNumber(7).position() + 4);  // before "http"
  r->setTextCursor(c);
  QTest::keyClick(r, Qt::Key_Return);
  EXPECT_EQ(marks(7), Marks{});
  EXPECT_EQ(marks(8), (Marks{{0, 20}}));
  EXPECT_EQ(marks(251), (Marks{{3, 15}}));

  QTextDocument kept;
  kept.documentLayout();  // so that it tells of its changes
  kept.setPlainText(QStringLiteral("a\nwrite to mailto:x@example.com\nb"));
  AddressMarker marker;
  marker.SetDocument(&kept);
  EXPECT_EQ(kept.findBlockByNumber(1).layout()->formats().size(), 1);
  marker.SetDocument(nullptr);
  EXPECT_TRUE(kept.findBlockByNumber(1).layout()->formats().isEmpty());
  kept.setPlainText(QStringLiteral("www.example.com"));
  EXPECT_TRUE(kept.begin().layout()->formats().isEmpty());
}

TEST_F(EditorLinks, ALinkFieldOpensItsTarget) {
  std::vector<editor::LinkTarget> opened;
  CXRichEditCtrl::SetLinkOpener([&](const editor::LinkTarget& t) { opened.push_back(t); });
  // A file outside the FileStore directory: opened once the user agreed.
  const std::string manual = std::filesystem::canonical(Note("docs/a.pdf", "%PDF")).string();
  CWndEsr* w = Open(Note("l.esr",
                         "{\\rtf1\\ansi{\\field{\\*\\fldinst{HYPERLINK \"localfile:" + manual +
                             "\" }}{\\fldrslt{\\ul manual}}}\\par}"));
  prompts_.AnswerNext(MsgResult::Yes);
  CXRichEditCtrl* r = w->RichEdit();
  QApplication::processEvents();
  QTextCursor c(r->document());
  c.setPosition(2);
  QTest::mouseClick(r->viewport(), Qt::LeftButton, {}, r->cursorRect(c).center() + QPoint(2, 0));
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].target, manual);
  EXPECT_NE(prompts_.LastMessage().find(manual), std::string::npos);
}

TEST_F(EditorLinks, InsertedLinksAndTablesComeFromTheirRtf) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "see [x]");
  Select(r, 5, 6);
  EXPECT_FALSE(r->InsertLink("plan", "plan.txt"));  // no scheme: nothing inserted
  EXPECT_EQ(Text(r), "see [x]");
  ASSERT_TRUE(r->InsertLink(QString::fromUtf8("计划"), "localfile:C:\\docs\\plan.txt"));
  EXPECT_EQ(Text(r), QString::fromUtf8("see [计划]"));
  Select(r, 5, 7);
  EXPECT_EQ(r->SelectionCharFormat().textColor, QColor(0, 0, 255));
  QTextCharFormat link;
  for (auto it = r->document()->firstBlock().begin(); !it.atEnd(); ++it)
    if (it.fragment().charFormat().isAnchor()) link = it.fragment().charFormat();
  EXPECT_EQ(link.anchorHref(), "localfile:C:\\docs\\plan.txt");
  QTest::keyClicks(r, "more");  // typed after the link, outside it
  Select(r, 7, 11);
  EXPECT_FALSE(r->textCursor().charFormat().isAnchor());
  EXPECT_EQ(r->SelectionCharFormat().underline, false);
  r->undo();
  r->undo();
  EXPECT_EQ(Text(r), "see [x]");

  r->moveCursor(QTextCursor::End);
  ASSERT_TRUE(r->InsertTable(2, 3));
  EXPECT_FALSE(r->InsertTable(0, 3));
  int cells = 0;
  for (QTextBlock b = r->document()->begin(); b.isValid(); b = b.next())
    if (QTextCursor(b).currentTable()) ++cells;
  EXPECT_EQ(cells, 6);
}

// ---- Insertions ------------------------------------------------------------------------------------

TEST_F(EditorInsert, SeparatorReplacesTheSelection) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "abXcd");
  Select(r, 2, 3);
  w->RunCommand(cmd::kInsertSeparator);
  EXPECT_EQ(Text(r),
            "ab\n==========================sperator===========================\ncd");
}

TEST_F(EditorInsert, APictureFileBecomesAPictureOfTheNote) {
  const std::string png = dir_ / "p.png";
  QImage image(8, 6, QImage::Format_RGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(QString::fromStdString(png)));
  CWndEsr* w = Empty();
  prompts_.NextOpenFiles({png});
  w->RunCommand(cmd::kInsertObject);
  const QTextFragment f = w->RichEdit()->document()->firstBlock().begin().fragment();
  ASSERT_TRUE(f.charFormat().isImageFormat());
  EXPECT_FALSE(f.charFormat().property(rtfprop::kPictureData).toByteArray().isEmpty());

  prompts_.NextOpenFiles({dir_ / "p.txt"});
  WriteFile(dir_ / "p.txt", "no picture");
  w->RunCommand(cmd::kInsertObject);
  EXPECT_EQ(prompts_.LastMessage(), "Failed to insert the object.");
}

TEST_F(EditorInsert, ImportTakesRtfInAnyCaseOrTextInPlaceOfTheSelection) {
  CWndEsr* w = Empty();
  CXRichEditCtrl* r = w->RichEdit();
  QTest::keyClicks(r, "[x]");
  WriteFile(dir_ / "in.rtf", "{\\RTF1\\ansi {\\b bold}}");
  WriteFile(dir_ / "in.txt", "{\\rtX plain 文字");
  WriteFile(dir_ / "empty.txt", "");
  Select(r, 1, 2);
  prompts_.NextOpenFiles({dir_ / "in.rtf"});
  w->RunCommand(cmd::kImportContent);
  EXPECT_EQ(Text(r), "[bold]");
  Select(r, 1, 5);
  EXPECT_EQ(r->SelectionCharFormat().bold, true);
  prompts_.NextOpenFiles({dir_ / "in.txt"});
  w->RunCommand(cmd::kImportContent);
  EXPECT_EQ(Text(r), "[{\\rtX plain 文字]");
  EXPECT_TRUE(prompts_.Messages().empty());
  for (const std::string& f : {dir_ / "empty.txt", dir_ / "missing.txt"}) {
    prompts_.NextOpenFiles({f});
    w->RunCommand(cmd::kImportContent);
    EXPECT_EQ(prompts_.LastMessage(), "导入内容失败，请检文件格式或者文件是否存在。");
  }
}

TEST_F(EditorInsert, ExportWritesTheSelectionOnlyAsTextOrRtf) {
  CWndEsr* w = Open(Note("a.esr"));
  CXRichEditCtrl* r = w->RichEdit();
  w->RunCommand(cmd::kExportContent);
  EXPECT_EQ(prompts_.LastMessage(), "请选择需要导出的内容。");
  Select(r, 6, 11);
  prompts_.NextSaveFile(dir_ / "out");
  w->RunCommand(cmd::kExportContent);
  EXPECT_EQ(ReadFile(dir_ / "out"), "world");
  prompts_.NextSaveFile(dir_ / "out.rtf");
  w->RunCommand(cmd::kExportContent);
  const std::string rtf = ReadFile(dir_ / "out.rtf");
  EXPECT_EQ(rtf.rfind("{\\rtf", 0), 0u);
  EXPECT_NE(rtf.find("world"), std::string::npos);
  EXPECT_EQ(rtf.find("hello"), std::string::npos);
}

}  // namespace
}  // namespace zorbek::testing
