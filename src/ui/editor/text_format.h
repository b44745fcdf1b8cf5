// How the editor's formatting words map onto QTextDocument formats: twips, character effects,
// the protected mark, numbering styles and alignment.
#pragma once

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextListFormat>

#include "core/editor/format_rules.h"

namespace zorbek::editor {

// Margins of a QTextDocument are in pixels of 1/96 inch; a twip is 1/1440 inch (the same
// measure the note reader and writer use).
inline qreal TwipsToMargin(int twips) { return twips / 15.0; }
inline int MarginToTwips(qreal margin) { return qRound(margin * 15.0); }

// Character height in twips of a point size.
inline int PointsToTwips(qreal points) { return qRound(points * 20.0); }

// The protected mark of text the user may not type over.
bool IsProtected(const QTextCharFormat& format);
void SetProtected(QTextCharFormat& format, bool on);
int ProtectedProperty();

bool IsBold(const QTextCharFormat& format);

// Numbering values (Numbering in format_rules.h) and list styles.
int NumberingOfStyle(QTextListFormat::Style style);
QTextListFormat::Style StyleOfNumbering(int numbering);

// Alignment values (Alignment in format_rules.h) and Qt's.
int AlignmentOf(Qt::Alignment alignment);
Qt::Alignment QtAlignmentOf(int alignment);

}  // namespace zorbek::editor
