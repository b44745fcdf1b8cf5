// The picture of an editor holding a formatted Chinese note (docs/editor.png). It runs only
// when ZORBEK_EDITOR_SCREENSHOT names the file to write: tools/editor-screenshot.sh.
#include <QPainter>
#include <QTest>
#include <QTextTable>
#include <cstdlib>

#include "core/editor/format_rules.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using EditorScreenshot = EditorTest;

void Type(CXRichEditCtrl* r, const char* text) { r->insertPlainText(QString::fromUtf8(text)); }

void Format(CWndEsr* w, int from, int to, std::initializer_list<int> commands) {
  CXRichEditCtrl* r = w->RichEdit();
  QTextCursor c = r->textCursor();
  c.setPosition(from);
  c.setPosition(to, QTextCursor::KeepAnchor);
  r->setTextCursor(c);
  for (int id : commands) w->RunCommand(id);
  r->moveCursor(QTextCursor::End);
}

TEST_F(EditorScreenshot, AFormattedChineseNote) {
  const char* out = std::getenv("ZORBEK_EDITOR_SCREENSHOT");
  if (!out) GTEST_SKIP() << "set ZORBEK_EDITOR_SCREENSHOT to take the picture";

  const std::string path = Note("文件箱/工作/项目周记.esr", "{\\rtf1\\ansi }");
  CWndEsr* w = Open(path, "/list/filetree/archive/工作/项目周记");
  CXRichEditCtrl* r = w->RichEdit();
  w->resize(760, 600);

  Type(r, "项目周记（第十二周）");
  Select(r, 0, 10);
  w->RunCommand(cmd::kBold);
  w->RunCommand(cmd::kAlignCenter);
  r->SetFontHeight(320);
  r->SetTextColor(QColor(0x1E, 0x5B, 0xC6));
  r->moveCursor(QTextCursor::End);
  r->textCursor().insertBlock();
  w->RunCommand(cmd::kAlignLeft);
  QTextCharFormat body;
  body.setFontWeight(QFont::Normal);
  body.setForeground(Qt::black);
  body.setFontPointSize(10.5);
  r->mergeCurrentCharFormat(body);

  int at = r->textCursor().position();
  Type(r, "本周完成了数据整理，");
  Type(r, "明年计划");
  Type(r, "已经通过评审。下周重点：");
  Format(w, at + 10, at + 14, {cmd::kBold});
  Format(w, at + 14, at + 21, {cmd::kItalic, cmd::kUnderline});
  r->textCursor().insertBlock();

  at = r->textCursor().position();
  Type(r, "完成接口设计文档\n整理用户反馈，重点看搜索与提醒\n准备季度汇报材料");
  Format(w, at, r->textCursor().position(), {cmd::kNumbering});
  r->textCursor().insertBlock();
  Format(w, r->textCursor().position(), r->textCursor().position(), {cmd::kNumbering});

  at = r->textCursor().position();
  Type(r, "注意：合同编号 ZB-2026-017 不得修改。");
  Format(w, at + 3, at + 19, {cmd::kProtect});
  r->textCursor().insertBlock();

  Type(r, "相关资料：");
  r->InsertLink(QString::fromUtf8("项目主页"), "http://www.example.com/zorbek");
  Type(r, "，备份见 www.example.org/backup");
  r->textCursor().insertBlock();

  ASSERT_TRUE(r->InsertTable(3, 3));
  QTextTable* table = r->textCursor().currentTable();
  if (!table) {
    QTextCursor back = r->textCursor();
    back.movePosition(QTextCursor::PreviousBlock);
    table = back.currentTable();
  }
  ASSERT_NE(table, nullptr);
  const char* cells[] = {"任务", "负责人", "进度", "接口设计", "王芳", "80%", "用户反馈", "李强", "50%"};
  for (int i = 0; i < 9; ++i)
    table->cellAt(i / 3, i % 3).firstCursorPosition().insertText(QString::fromUtf8(cells[i]));
  r->moveCursor(QTextCursor::End);

  Type(r, "进度图：");
  QImage chart(220, 90, QImage::Format_RGB32);
  chart.fill(Qt::white);
  {
    QPainter p(&chart);
    p.setRenderHint(QPainter::Antialiasing);
    const int values[] = {35, 50, 62, 80};
    for (int i = 0; i < 4; ++i) {
      p.fillRect(20 + i * 50, 85 - values[i], 30, values[i], QColor(0x1E, 0x5B, 0xC6));
    }
    p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 2));
    p.drawLine(10, 85, 210, 85);
  }
  const std::string png = dir_ / "chart.png";
  ASSERT_TRUE(chart.save(QString::fromStdString(png)));
  prompts_.NextOpenFiles({png});
  w->RunCommand(cmd::kInsertObject);

  // What is shown is the note as saved and read back.
  ASSERT_TRUE(w->SaveDocument());
  w->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  w = Open(path, "/list/filetree/archive/工作/项目周记");
  w->resize(760, 600);
  w->show();
  r = w->RichEdit();
  QTextCursor pos = r->textCursor();
  pos.setPosition(21);
  pos.setPosition(25, QTextCursor::KeepAnchor);
  r->setTextCursor(pos);
  w->UpdateCommandStates();
  QTest::qWait(200);
  ASSERT_TRUE(w->grab().save(QString::fromUtf8(out)));
  EXPECT_TRUE(prompts_.Messages().empty());
}

}  // namespace
}  // namespace zorbek::testing
