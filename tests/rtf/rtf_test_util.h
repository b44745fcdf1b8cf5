// Small helpers of the RTF tests: reading test files, finding text and its format.
#pragma once

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <memory>
#include <string>
#include <vector>

#include "rtf/note_file.h"
#include "rtf/rtf_reader.h"
#include "support/temp_dir.h"

namespace zorbek::testing {

inline std::string RtfTestFile(const std::string& relative) {
  return std::string(ZORBEK_TESTDATA_DIR) + "/rtf/" + relative;
}

inline QByteArray Bytes(const std::string& path) { return QByteArray::fromStdString(ReadFile(path)); }

inline std::unique_ptr<QTextDocument> ReadDoc(const QByteArray& rtf, bool* complete = nullptr) {
  auto doc = std::make_unique<QTextDocument>();
  const bool ok = ReadRtf(rtf, doc.get());
  if (complete) *complete = ok;
  return doc;
}

inline std::unique_ptr<QTextDocument> ReadTestFile(const std::string& relative,
                                                   bool* complete = nullptr) {
  return ReadDoc(Bytes(RtfTestFile(relative)), complete);
}

inline std::string Text(const QTextDocument& doc) { return DocumentPlainText(doc); }

// The format of the first fragment whose text contains the given text.
inline QTextCharFormat FormatOf(const QTextDocument& doc, const QString& text) {
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it)
      if (it.fragment().text().contains(text)) return it.fragment().charFormat();
  return {};
}
inline QTextCharFormat FormatOf(const QTextDocument& doc, const char* utf8) {
  return FormatOf(doc, QString::fromUtf8(utf8));
}

// The block whose text contains the given text.
inline QTextBlock BlockOf(const QTextDocument& doc, const char* utf8) {
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    if (b.text().contains(QString::fromUtf8(utf8))) return b;
  return {};
}

inline std::vector<QTextImageFormat> Images(const QTextDocument& doc) {
  std::vector<QTextImageFormat> out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it)
      if (it.fragment().charFormat().isImageFormat())
        for (int i = 0; i < it.fragment().length(); ++i)
          out.push_back(it.fragment().charFormat().toImageFormat());
  return out;
}

inline std::vector<QTextTable*> Tables(const QTextDocument& doc) {
  std::vector<QTextTable*> out;
  for (QTextFrame* f : doc.rootFrame()->childFrames())
    if (auto* t = qobject_cast<QTextTable*>(f)) out.push_back(t);
  return out;
}

inline QString CellText(QTextTable* t, int row, int column) {
  QTextCursor c = t->cellAt(row, column).firstCursorPosition();
  c.setPosition(t->cellAt(row, column).lastCursorPosition().position(), QTextCursor::KeepAnchor);
  return c.selectedText();
}

}  // namespace zorbek::testing
