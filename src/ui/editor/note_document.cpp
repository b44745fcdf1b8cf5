#include "ui/editor/note_document.h"

#include <QBuffer>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>

#include "rtf/rtf_document.h"
#include "rtf/note_file.h"
#include "rtf/rtf_reader.h"
#include "rtf/rtf_writer.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek {

bool ReadNote(CXRichEditCtrl* control, const std::string& bytes, std::string* problem) {
  // The note is read into a document of its own, which nothing lays out or marks while it
  // fills; the control then shows it as a whole.
  auto* doc = new QTextDocument(control);
  doc->setUndoRedoEnabled(false);
  const bool complete = LoadContent(QByteArray::fromStdString(bytes), doc);
  if (!complete && problem) *problem = "文档不完整，只读出了其中一部分。";
  control->AdoptDocument(doc);
  return complete;
}

bool WriteNote(const QTextDocument& doc, std::string* rtf) {
  *rtf = WriteRtf(doc).toStdString();
  return !rtf->empty();
}

bool SelectionToRtf(const QTextCursor& cursor, std::string* rtf) {
  *rtf = WriteRtfSelection(cursor).toStdString();
  return !rtf->empty();
}

std::string SelectionToText(const QTextCursor& cursor) { return SelectionPlainText(cursor); }

int InsertRtfContent(QTextCursor& cursor, const std::string& rtf) {
  QTextDocument* doc = cursor.document();
  const int removed = cursor.selectionEnd() - cursor.selectionStart();
  const int before = doc->characterCount();
  InsertRtf(cursor, QByteArray::fromStdString(rtf));
  return doc->characterCount() - before + removed;
}

int InsertTextContent(QTextCursor& cursor, const std::string& utf8) {
  if (utf8.empty()) return 0;
  QTextDocument* doc = cursor.document();
  const int removed = cursor.selectionEnd() - cursor.selectionStart();
  const int before = doc->characterCount();
  cursor.beginEditBlock();
  InsertPlainText(cursor, utf8);
  cursor.endEditBlock();
  return doc->characterCount() - before + removed;
}
bool InsertPictureFile(QTextCursor& cursor, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  PictureType type;
  if (DetectPictureType(data, &type)) {
    cursor.beginEditBlock();
    const bool ok = InsertPicture(cursor, data);
    cursor.endEditBlock();
    return ok;
  }
  QImage image;
  if (!image.loadFromData(data)) return false;
  return InsertPictureImage(cursor, image);
}

bool InsertPictureImage(QTextCursor& cursor, const QImage& image) {
  if (image.isNull()) return false;
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return false;
  cursor.beginEditBlock();
  const bool ok = InsertPicture(cursor, png);
  cursor.endEditBlock();
  return ok;
}

}  // namespace zorbek
