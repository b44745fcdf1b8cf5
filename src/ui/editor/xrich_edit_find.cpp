// Find and replace of the note editor's rich text control: the dialogs' handling, the search
// cycle (core/editor/text_search.h) over the document's positions, replace and replace-all.
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTextDocument>

#include "core/app/prompts.h"
#include "ui/editor/find_replace_dialog.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek {

using editor::SearchOptions;
using editor::TextRange;

namespace {

constexpr const char* kSearchComplete = "搜索完毕。";

std::u16string_view View(const QString& s) {
  return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())};
}

TextRange SelectionOf(const QTextCursor& c) { return {c.selectionStart(), c.selectionEnd()}; }

// Text typed into the dialog: a line break stands for a paragraph break of the note.
QString AsNoteText(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  return text;
}

}  // namespace

std::u16string CXRichEditCtrl::SearchText() const {
  const QString raw = document()->toRawText();
  std::u16string text(View(raw));
  // The document's last paragraph end is no character one can select or find.
  const std::size_t size = static_cast<std::size_t>(std::max(0, document()->characterCount() - 1));
  if (text.size() > size) text.resize(size);
  for (char16_t& c : text)
    if (c == u'\u2029' || c == u'\u2028') c = u'\n';
  return text;
}

// ---- Opening and closing the dialogs -------------------------------------------------------------

CFindReplaceDialog* CXRichEditCtrl::FindReplaceDialog() const { return findDialog_.data(); }

void CXRichEditCtrl::Find() { OpenFindReplace(true); }
void CXRichEditCtrl::Replace() { OpenFindReplace(false); }

void CXRichEditCtrl::OpenFindReplace(bool findOnly) {
  cycle_.Restart();
  if (findDialog_) {
    if (findDialog_->IsFindOnly() == findOnly) {
      findDialog_->show();
      findDialog_->raise();
      findDialog_->activateWindow();
      findDialog_->FindBox()->setFocus();
      return;
    }
    // One dialog at a time: the other kind goes.
    CFindReplaceDialog* other = findDialog_;
    findDialog_ = nullptr;
    other->close();
  }
  QString seed = GetSelectedText();
  if (seed.isEmpty()) seed = lastFind_;
  auto* dialog = new CFindReplaceDialog(findOnly, seed, window());
  findDialog_ = dialog;
  // Closing the dialog forgets it; the cycle goes on.
  connect(dialog, &QDialog::finished, this, [this, dialog] {
    if (!dialog->FindWhat().isEmpty()) lastFind_ = dialog->FindWhat();
    if (findDialog_ == dialog) findDialog_ = nullptr;
  });
  // The text last typed is what F3 and the next dialog start from.
  connect(dialog->FindBox(), &QLineEdit::textChanged, this,
          [this](const QString& t) { lastFind_ = t; });
  connect(dialog, &CFindReplaceDialog::FindNextRequested, this,
          [this, dialog] { FindNextAction(dialog->FindWhat(), dialog->Options()); });
  connect(dialog, &CFindReplaceDialog::ReplaceRequested, this, [this, dialog] {
    ReplaceAction(dialog->FindWhat(), dialog->ReplaceWith(), dialog->Options());
  });
  connect(dialog, &CFindReplaceDialog::ReplaceAllRequested, this, [this, dialog] {
    ReplaceAllAction(dialog->FindWhat(), dialog->ReplaceWith(), dialog->Options());
  });
  connect(dialog, &CFindReplaceDialog::FindAgainRequested, this, [this, dialog](bool down) {
    SearchOptions o = dialog->Options();
    o.down = down;
    FindNextAction(dialog->FindWhat(), o);
  });
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void CXRichEditCtrl::FindAgain(bool down) {
  if (findDialog_ && !findDialog_->FindWhat().isEmpty()) {
    SearchOptions o = findDialog_->Options();
    o.down = down;
    return FindNextAction(findDialog_->FindWhat(), o);
  }
  if (lastFind_.isEmpty()) return Find();
  SearchOptions o = lastOptions_;
  o.down = down;
  FindNextAction(lastFind_, o);
}

void CXRichEditCtrl::Remember(const QString& text, const SearchOptions& options) {
  lastFind_ = text;
  lastOptions_ = options;
}

// ---- The cycle ------------------------------------------------------------------------------------

bool CXRichEditCtrl::FindNextMatch(const QString& text, const SearchOptions& options) {
  const QString needle = AsNoteText(text);
  const auto found =
      cycle_.FindNext(SearchText(), SelectionOf(textCursor()), View(needle), options);
  if (!found) return false;
  QTextCursor c = textCursor();
  c.setPosition(found->start);
  c.setPosition(found->end, QTextCursor::KeepAnchor);
  setTextCursor(c);
  ensureCursorVisible();
  return true;
}

void CXRichEditCtrl::SearchComplete() {
  cycle_.Restart();
  prompts().Message(kSearchComplete, MsgButtons::Ok, MsgIcon::Information);
}

void CXRichEditCtrl::MoveFindDialogAway() {
  CFindReplaceDialog* dialog = findDialog_;
  if (!dialog || !dialog->isVisible()) return;
  QTextCursor at = textCursor();
  at.setPosition(at.selectionStart());
  const QPoint p = viewport()->mapToGlobal(cursorRect(at).topLeft());
  const QRect frame = dialog->frameGeometry();
  QScreen* screen = QGuiApplication::screenAt(p);
  if (!screen) screen = dialog->screen();
  const QRect area = screen->availableGeometry();
  const auto top = editor::DialogTopAwayFrom({frame.x(), frame.y(), frame.width(), frame.height()},
                                             p.x(), p.y(), area.top(), area.bottom() + 1);
  if (top) dialog->move(frame.x(), *top);
}

void CXRichEditCtrl::FindNextAction(const QString& text, const SearchOptions& options) {
  if (text.isEmpty()) return;
  Remember(text, options);
  if (FindNextMatch(text, options))
    MoveFindDialogAway();
  else
    SearchComplete();
}

// ---- Replacing ------------------------------------------------------------------------------------

void CXRichEditCtrl::ReplaceAction(const QString& text, const QString& replacement,
                                   const SearchOptions& options) {
  if (text.isEmpty()) return;
  Remember(text, options);
  const QString needle = AsNoteText(text);
  const std::u16string before = SearchText();
  if (!editor::EqualsNeedle(before, SelectionOf(textCursor()), View(needle), options.matchCase)) {
    if (!FindNextMatch(text, options)) return SearchComplete();
    MoveFindDialogAway();
  }
  // Replace changes protected text too, as the delete command does: protection keeps text
  // from typing, cutting and pasting, not from a replacement the user asks for.
  QTextCursor c = textCursor();
  const int start = c.selectionStart(), end = c.selectionEnd();
  {
    const QString with = AsNoteText(replacement);
    c.beginEditBlock();
    c.insertText(with);
    c.endEditBlock();
    const int inserted = c.position() - start;
    cycle_.TextReplaced(start, end - start, inserted);
    // The search goes on beyond the replacement, in the search's direction.
    c.setPosition(options.down ? start + inserted : start);
    setTextCursor(c);
  }
  if (FindNextMatch(text, options))
    MoveFindDialogAway();
  else
    SearchComplete();
}

void CXRichEditCtrl::ReplaceAllAction(const QString& text, const QString& replacement,
                                      const SearchOptions& options) {
  if (text.isEmpty()) return;
  Remember(text, options);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString needle = AsNoteText(text);
  const QString with = AsNoteText(replacement);
  // Protected text is replaced as well (see ReplaceAction).
  const std::vector<TextRange> plan = editor::PlanReplaceAll(
      SearchText(), SelectionOf(textCursor()), View(needle), options, nullptr);
  if (!plan.empty()) {
    // The whole replacement is one step to undo. It runs on a cursor of its own, from the last
    // match to the first so that the positions of the others stay, and the control shows the
    // result once at the end.
    std::vector<TextRange> order = plan;
    std::sort(order.begin(), order.end(), [](TextRange a, TextRange b) { return a.start > b.start; });
    const int length = static_cast<int>(with.size());
    QTextCursor c(document());
    c.beginEditBlock();
    for (const TextRange& m : order) {
      c.setPosition(m.start);
      c.setPosition(m.end, QTextCursor::KeepAnchor);
      c.insertText(with);
    }
    c.endEditBlock();
    // The caret ends after the last replacement made, where the search stopped.
    const TextRange last = plan.back();
    int shift = 0;
    for (const TextRange& m : plan)
      if (m.start < last.start) shift += length - (m.end - m.start);
    QTextCursor caret = textCursor();
    caret.setPosition(std::min(last.start + shift + length, document()->characterCount() - 1));
    setTextCursor(caret);
    ensureCursorVisible();
  }
  QApplication::restoreOverrideCursor();
  SearchComplete();
}

}  // namespace zorbek
