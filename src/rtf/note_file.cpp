#include "rtf/note_file.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

#include "core/io/file_util.h"
#include "core/rtf/rtf_pieces.h"
#include "core/rtf/text_file.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_writer.h"

namespace zorbek {
namespace {

// Lines of text: CR LF, CR and LF each end one.
QStringList Lines(const std::string& utf8) {
  QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(u'\r', u'\n');
  return text.split(u'\n');
}

void AppendBlockText(const QTextBlock& block, std::string& out) {
  QString text;
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment frag = it.fragment();
    if (!frag.isValid() || frag.charFormat().isImageFormat()) continue;
    text += frag.text();
  }
  text.replace(QChar(0x2028), u'\n');
  text.remove(QChar::ObjectReplacementCharacter);
  out += text.toStdString();
}

// The empty block QTextDocument keeps before a table at the start of a frame is no paragraph.
bool IsPlaceholderBeforeTable(QTextFrame::iterator it, bool first) {
  if (!first || it.currentFrame() || it.currentBlock().length() > 1) return false;
  ++it;
  return !it.atEnd() && qobject_cast<QTextTable*>(it.currentFrame());
}

void AppendFrameText(QTextFrame::iterator it, QTextFrame::iterator end, std::string& out,
                     bool& first) {
  for (; it != end && !it.atEnd(); ++it) {
    if (IsPlaceholderBeforeTable(it, first)) continue;
    if (QTextFrame* child = it.currentFrame()) {
      if (QTextTable* table = qobject_cast<QTextTable*>(child)) {
        for (int r = 0; r < table->rows(); ++r) {
          if (!first) out += '\n';
          first = false;
          for (int c = 0; c < table->columns(); ++c) {
            if (c > 0) out += '\t';
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) continue;
            bool cellFirst = true;
            std::string cellText;
            AppendFrameText(cell.begin(), cell.end(), cellText, cellFirst);
            out += cellText;
          }
        }
      } else {
        AppendFrameText(child->begin(), child->end(), out, first);
      }
      continue;
    }
    if (!first) out += '\n';
    first = false;
    AppendBlockText(it.currentBlock(), out);
  }
}

}  // namespace

void InsertPlainText(QTextCursor& cursor, const std::string& utf8) {
  const QStringList lines = Lines(utf8);
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (i > 0) cursor.insertBlock();
    cursor.insertText(lines[i]);
  }
  cursor.endEditBlock();
}

void SetDocumentPlainText(QTextDocument* doc, const std::string& utf8) {
  const bool undo = doc->isUndoRedoEnabled();
  doc->setUndoRedoEnabled(false);
  doc->clear();
  ApplyNoteDefaults(doc);
  QTextCursor cursor(doc);
  InsertPlainText(cursor, utf8);
  doc->setUndoRedoEnabled(undo);
  doc->setModified(false);
}

std::string DocumentPlainText(const QTextDocument& doc) {
  std::string out;
  bool first = true;
  AppendFrameText(doc.rootFrame()->begin(), doc.rootFrame()->end(), out, first);
  return out;
}

std::string SelectionPlainText(const QTextCursor& selection) {
  QTextDocument part;
  QTextCursor(&part).insertFragment(selection.selection());
  return DocumentPlainText(part);
}

QByteArray PlainTextToRtf(const std::string& utf8) {
  QTextDocument doc;
  SetDocumentPlainText(&doc, utf8);
  return WriteRtf(doc);
}

bool LoadContent(const QByteArray& bytes, QTextDocument* doc, ContentKind* kind) {
  const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  if (StartsAsRtf(view)) {
    if (kind) *kind = ContentKind::kRtf;
    return ReadRtf(bytes, doc);
  }
  if (kind) *kind = ContentKind::kText;
  SetDocumentPlainText(doc, DecodeTextFile(view));
  return true;
}

bool LoadFile(const std::string& path, QTextDocument* doc, std::string* error,
              ContentKind* kind) {
  const std::optional<std::string> data = ReadWholeFile(path);
  if (!data) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  LoadContent(QByteArray::fromStdString(*data), doc, kind);
  return true;
}

bool SaveFile(const std::string& path, const QTextDocument& doc, ContentKind kind,
              std::string* error, NewFileAccess access) {
  if (kind == ContentKind::kRtf) {
    const QByteArray rtf = WriteRtf(doc);
    return WriteFileAtomically(path, std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())), error, access);
  }
  return WriteFileAtomically(path, DocumentPlainText(doc), error, access);
}

bool ConvertFile(const std::string& in, const std::string& out, std::string* error) {
  QTextDocument doc;
  if (!LoadFile(in, &doc, error)) return false;
  return SaveFile(out, doc, IsRtfFileName(out) ? ContentKind::kRtf : ContentKind::kText, error,
                  NewFileAccess::Shared);
}

}  // namespace zorbek
