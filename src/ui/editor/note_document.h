// The editor's side of the note format: reading a note into the control, writing it back, and
// the insertions that go through RTF (imported content, pictures, exported selections).
#pragma once

#include <QImage>
#include <QString>
#include <string>

class QTextCursor;
class QTextDocument;

namespace zorbek {

class CXRichEditCtrl;

// Replaces the control's content with the note's bytes (RTF; anything else is taken as plain
// text, as a text file loads) and leaves nothing to undo and the text unmodified. False when the RTF was damaged and
// only part of it could be read; *problem then says so.
bool ReadNote(CXRichEditCtrl* control, const std::string& bytes, std::string* problem);

// The note as RTF. False when it cannot be written (*rtf then stays empty).
bool WriteNote(const QTextDocument& doc, std::string* rtf);

// The selection as an RTF document of its own, and as UTF-8 text.
bool SelectionToRtf(const QTextCursor& cursor, std::string* rtf);
std::string SelectionToText(const QTextCursor& cursor);

// Insertions in place of the cursor's selection, each one undo step. They return the number
// of characters taken in (0 when nothing could be).
int InsertRtfContent(QTextCursor& cursor, const std::string& rtf);
int InsertTextContent(QTextCursor& cursor, const std::string& utf8);

// A picture file (PNG and JPEG as they are, other image files converted to PNG), or an image.
bool InsertPictureFile(QTextCursor& cursor, const QString& path);
bool InsertPictureImage(QTextCursor& cursor, const QImage& image);

}  // namespace zorbek
