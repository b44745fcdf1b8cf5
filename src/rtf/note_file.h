// Note documents and the files that come in and go out as notes: loading a file as RTF or as
// plain text, saving a note, plain text <-> document, and the file conversion of note import
// and export. Paths are UTF-8.
#pragma once

#include <QByteArray>
#include <string>

#include "core/io/file_util.h"
#include "rtf/rtf_reader.h"

class QTextCursor;
class QTextDocument;

namespace zorbek {

// Replaces the document's content with plain text (UTF-8) the way a text file loads into the
// editor: each line a paragraph (CR LF, CR and LF all end a line), the note's default format.
void SetDocumentPlainText(QTextDocument* doc, const std::string& utf8);
// Inserts plain text in place of the cursor's selection, lines becoming paragraphs.
void InsertPlainText(QTextCursor& cursor, const std::string& utf8);

// The document's text as UTF-8: paragraphs and line breaks end with LF (none after the last
// paragraph), table cells are separated by a tab and end their row with LF, pictures and
// objects are left out.
std::string DocumentPlainText(const QTextDocument& doc);
// Same, for the cursor's selection.
std::string SelectionPlainText(const QTextCursor& selection);

// The RTF a text file becomes when it is loaded into the editor and saved as a note.
QByteArray PlainTextToRtf(const std::string& utf8);

enum class ContentKind { kRtf, kText };

// Loads file bytes into the document: RTF when they begin with "{\rtf" (any letter case), else
// plain text (UTF-16 or UTF-8 by byte-order mark or validity, else code page 936). Returns
// false when RTF was malformed (what could be read is loaded).
bool LoadContent(const QByteArray& bytes, QTextDocument* doc, ContentKind* kind = nullptr);

// Loads a file as LoadContent does. False, with *error, when it cannot be read.
bool LoadFile(const std::string& path, QTextDocument* doc, std::string* error = nullptr,
              ContentKind* kind = nullptr);

// Writes the document to path atomically, as RTF or as UTF-8 plain text. A new file is private
// to the user unless access is Shared (an export).
bool SaveFile(const std::string& path, const QTextDocument& doc, ContentKind kind,
              std::string* error = nullptr, NewFileAccess access = NewFileAccess::Private);
// Saves a note document (RTF).
inline bool SaveNote(const std::string& path, const QTextDocument& doc,
                     std::string* error = nullptr) {
  return SaveFile(path, doc, ContentKind::kRtf, error);
}

// Converts a file as import and export do: the input is read as RTF when it begins with
// "{\rtf" (any letter case), else as plain text; the output is RTF when its extension is "esr"
// or begins with "rtf" (as written), else UTF-8 plain text.
bool ConvertFile(const std::string& in, const std::string& out, std::string* error = nullptr);

}  // namespace zorbek
