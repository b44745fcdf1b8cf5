// QTextDocument -> RTF, in the form a rich edit control writes:
//
//   {\rtf1\ansi\ansicpg936\deff0\deflang1033\deflangfe2052{\fonttbl...}
//   {\colortbl ;...}
//   {\*\generator Zorbek 1.6;}\viewkind4\uc1
//   \pard ... text\par
//   }
//
// Text that code page 936 can hold is written as "\'xx" escapes in a font of character set 134;
// every other character as "\uN?". Paragraphs are "\pard ... \par"; lists in the rich edit
// form ({\pntext ...}{\*\pn ...}); links as HYPERLINK fields; tables as \trowd ... \cell\row;
// PNG and JPEG pictures as hexadecimal \pict groups; kept groups (metafiles, other bitmaps,
// embedded objects) byte for byte as they were read.
//
// What this writer writes, the reader reads back to the same text and formats, and writing
// that again gives the same bytes.
#pragma once

#include <QByteArray>

class QTextCursor;
class QTextDocument;

namespace zorbek {

inline constexpr const char* kRtfGeneratorName = "Zorbek 1.6";

QByteArray WriteRtf(const QTextDocument& doc);
// The selection of the cursor only ("export content" of the editor).
QByteArray WriteRtfSelection(const QTextCursor& selection);

}  // namespace zorbek
