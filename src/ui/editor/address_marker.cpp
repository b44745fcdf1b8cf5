#include "ui/editor/address_marker.h"

#include <algorithm>

#include <QColor>
#include <QRegularExpression>
#include <QTextCursor>

namespace zorbek {
namespace {

// The flag of a paragraph that carries marks (a block's user state; nothing else uses it).
constexpr int kMarked = 0x4D41;

const QRegularExpression& AddressPattern() {
  static const QRegularExpression re(
      QStringLiteral("(?:\\b(?:https?|ftp|file|news|nntp|telnet|gopher|wais|prospero)://|"
                     "\\bmailto:|\\bwww\\.|\\blocalfile:)"
                     "[^\\s<>\"，。；、！？（）【】《》“”‘’]+"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
  return re;
}

// Trailing punctuation belongs to the sentence, not to the address.
int TrimmedAddressLength(const QString& text, int start, int length) {
  static const QString kTrailing = QStringLiteral(".,;:!?)]}'\"");
  while (length > 0 && kTrailing.contains(text.at(start + length - 1))) --length;
  return length;
}

// Every address has ":" after its scheme, or starts with "www.": text without either (most
// paragraphs) needs no look with the pattern.
bool MayHoldAddress(const QString& text) {
  return text.size() >= 4 &&
         (text.contains(u':') || text.contains(QLatin1String("www."), Qt::CaseInsensitive));
}

// The ranges an input method put on a paragraph for the text being composed: they stay.
QList<QTextLayout::FormatRange> ComposingRanges(const QTextLayout* layout) {
  QList<QTextLayout::FormatRange> kept;
  const int length = static_cast<int>(layout->preeditAreaText().size());
  if (length == 0) return kept;
  const int start = layout->preeditAreaPosition();
  for (const QTextLayout::FormatRange& r : layout->formats())
    if (r.start >= start && r.start + r.length <= start + length) kept.push_back(r);
  return kept;
}

}  // namespace

QList<QTextLayout::FormatRange> AddressMarker::MarksFor(const QString& text) {
  QList<QTextLayout::FormatRange> marks;
  if (!MayHoldAddress(text)) return marks;
  QTextCharFormat link;
  link.setForeground(QColor(0, 0, 255));
  link.setFontUnderline(true);
  for (auto it = AddressPattern().globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    const int start = static_cast<int>(m.capturedStart());
    const int length = TrimmedAddressLength(text, start, static_cast<int>(m.capturedLength()));
    if (length > 0) marks.push_back(QTextLayout::FormatRange{start, length, link});
  }
  return marks;
}

QString AddressMarker::AddressAround(const QString& text, int offset) {
  for (auto it = AddressPattern().globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    const int start = static_cast<int>(m.capturedStart());
    const int length = TrimmedAddressLength(text, start, static_cast<int>(m.capturedLength()));
    if (offset >= start && offset < start + length) return text.mid(start, length);
  }
  return {};
}

void AddressMarker::SetDocument(QTextDocument* doc) {
  if (doc == doc_) return;
  if (doc_) {
    QTextDocument* old = doc_;
    Forget();
    // Only the flagged paragraphs had marks: the others are neither looked at nor laid out.
    marking_ = true;
    QTextCursor edit(old);
    edit.beginEditBlock();
    for (QTextBlock b = old->begin(); b.isValid(); b = b.next())
      if (b.userState() == kMarked) Unmark(old, b);
    edit.endEditBlock();
    marking_ = false;
  }
  if (!doc) return;
  doc_ = doc;
  changes_ = connect(doc, &QTextDocument::contentsChange, this, &AddressMarker::Changed);
  // One look at the whole text for the characters an address needs, then the paragraphs that
  // hold them. A document position is an index into its raw text.
  const QString text = doc->toRawText();
  marking_ = true;
  QTextCursor edit(doc);
  edit.beginEditBlock();
  // "www." is found by its dot (a search for one character is quick, one that ignores case
  // is not), then the three letters before it.
  auto isW = [&text](qsizetype i) { return text.at(i) == u'w' || text.at(i) == u'W'; };
  auto nextWww = [&](qsizetype from) {
    for (qsizetype dot = text.indexOf(u'.', from + 3); dot >= 0; dot = text.indexOf(u'.', dot + 1))
      if (isW(dot - 1) && isW(dot - 2) && isW(dot - 3)) return dot - 3;
    return qsizetype{-1};
  };
  qsizetype colon = text.indexOf(u':');
  qsizetype www = nextWww(0);
  for (qsizetype at = 0; at < text.size();) {
    if (colon >= 0 && colon < at) colon = text.indexOf(u':', at);
    if (www >= 0 && www < at) www = nextWww(at);
    const qsizetype hit = colon < 0 ? www : www < 0 ? colon : std::min(colon, www);
    if (hit < 0) break;
    const QTextBlock block = doc->findBlock(static_cast<int>(hit));
    if (!block.isValid()) break;
    Mark(doc, block);
    at = std::max<qsizetype>(hit + 1, block.position() + block.length());
  }
  edit.endEditBlock();
  marking_ = false;
}

void AddressMarker::Forget() {
  disconnect(changes_);
  doc_ = nullptr;
}

void AddressMarker::Changed(int from, int /*charsRemoved*/, int charsAdded) {
  if (marking_ || !doc_) return;
  marking_ = true;
  const QTextBlock last = doc_->findBlock(from + charsAdded);
  for (QTextBlock b = doc_->findBlock(from); b.isValid(); b = b.next()) {
    Mark(doc_, b);
    if (b == last) break;
  }
  marking_ = false;
}

void AddressMarker::Mark(QTextDocument* doc, const QTextBlock& block) {
  QList<QTextLayout::FormatRange> marks = MarksFor(block.text());
  QTextBlock b = block;
  const bool had = b.userState() == kMarked;
  if (marks.isEmpty()) {
    if (had) Unmark(doc, b);
    return;
  }
  QTextLayout* layout = b.layout();
  marks = ComposingRanges(layout) + marks;
  if (layout->formats() != marks) {
    layout->setFormats(marks);
    doc->markContentsDirty(b.position(), b.length());
  }
  b.setUserState(kMarked);
}

void AddressMarker::Unmark(QTextDocument* doc, const QTextBlock& block) {
  QTextBlock b = block;
  QTextLayout* layout = b.layout();
  const QList<QTextLayout::FormatRange> kept = ComposingRanges(layout);
  if (layout->formats() != kept) {
    layout->setFormats(kept);
    doc->markContentsDirty(b.position(), b.length());
  }
  b.setUserState(-1);
}

}  // namespace zorbek
