// Marks the addresses typed in a note ("http://…", "www.…", "mailto:…", "localfile:…") as
// links on the screen. The marks live in the paragraphs' layouts only: the document's text and
// formats, its undo steps and what is saved are untouched.
//
// Only paragraphs that can hold an address are looked at, when a document is attached and as
// it changes; a paragraph marked once carries a flag, so that taking the marks off again needs
// no look at the others. A long note without addresses costs one pass over its text.
#pragma once

#include <QObject>
#include <QPointer>
#include <QList>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace zorbek {

class AddressMarker : public QObject {
 public:
  explicit AddressMarker(QObject* parent = nullptr) : QObject(parent) {}

  // Marks the document's addresses and follows its changes; null stops following. Best done
  // before the document is shown, so that the marks are laid out with the text.
  void SetDocument(QTextDocument* doc);
  // Stops following the document without taking its marks off: for a document that goes away
  // with its window, where taking them off would only lay the text out again.
  void Forget();
  QTextDocument* Document() const { return doc_; }

  // The marks a paragraph's text gets: one range per address, trailing punctuation left out.
  static QList<QTextLayout::FormatRange> MarksFor(const QString& text);
  // The address around position `offset` of a paragraph's text, or "".
  static QString AddressAround(const QString& text, int offset);

 private:
  void Changed(int from, int charsRemoved, int charsAdded);
  void Mark(QTextDocument* doc, const QTextBlock& block);
  void Unmark(QTextDocument* doc, const QTextBlock& block);

  QPointer<QTextDocument> doc_;
  QMetaObject::Connection changes_;
  bool marking_ = false;
};

}  // namespace zorbek
