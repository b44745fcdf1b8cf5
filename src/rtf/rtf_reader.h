// RTF -> QTextDocument: the reader of note documents.
//
// It reads what Windows rich edit controls write (and what this program's writer writes, which
// is the same form), and the common parts of what word processors write: code pages per font
// character set, Unicode escapes, fonts and colours, character and paragraph formats, bullets
// and numbering in both the rich edit and the Word form, link fields, tables, pictures, and
// embedded objects (kept byte for byte). See rtf_document.h for how RTF maps onto the document.
//
// Any input is read without crashing or unbounded memory: groups nested deeper than
// kRtfMaxGroupDepth are skipped, \bin counts end with the input, text after the closing brace
// of the document (such as a trailing NUL) is ignored.
#pragma once

#include <QByteArray>

class QTextCursor;
class QTextDocument;

namespace zorbek {

inline constexpr int kRtfMaxGroupDepth = 512;

struct RtfReadOptions {
  // Code page of "\'xx" bytes in a document without \ansicpg, in a font without \fcharset:
  // the code page of the system the note was written on.
  int defaultCodePage = 936;
};

struct RtfReadResult {
  bool complete = true;     // the document's groups were balanced and it did not end early
  int skippedGroups = 0;    // groups skipped for being nested too deep
};

// Replaces the document's content with the RTF and applies the note defaults. Returns false
// when the RTF was malformed; what could be read is loaded all the same. Other cursors on the
// document (a QTextEdit's) end up after the inserted content: move them to the start.
bool ReadRtf(const QByteArray& rtf, QTextDocument* doc, const RtfReadOptions& options = {},
             RtfReadResult* result = nullptr);

// Inserts RTF in place of the cursor's selection (links, tables and pasted RTF). Character
// properties the RTF leaves unspecified (font, size, colours) are those at the cursor. The
// insertion is one undo step.
bool InsertRtf(QTextCursor& cursor, const QByteArray& rtf, const RtfReadOptions& options = {},
               RtfReadResult* result = nullptr);

}  // namespace zorbek
