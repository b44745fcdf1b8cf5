// How a note's RTF content lives in a QTextDocument: the format properties the reader sets and
// the writer reads back, pictures, kept groups and the note's default font.
//
// Everything of the RTF that QTextDocument has no format for is kept in user properties of the
// formats, so that it travels with the text when the editor copies, pastes or undoes:
//  - pictures in PNG or JPEG: an image whose format holds the file bytes (kPictureData);
//  - every other picture (\wmetafile, \emfblip, \dibitmap, ...) and every \object group: an
//    image whose format holds the whole group byte for byte (kKeptGroup); the writer puts
//    those bytes back unchanged. The image shown is the group's result picture when it can be
//    decoded, else a grey placeholder of the group's size;
//  - link fields: QTextCharFormat anchor and anchorHref; other fields: kFieldInstruction;
//  - protected text: kProtected;
//  - lists of Word's list table (\ls, \ilvl): one QTextList for each level of each run of
//    numbers, marked with its level and its \ls (kListLevel, kListGroup), so that the writer
//    writes them as levels of one list again;
//  - table geometry of the RTF row definition: kTableCellRights, kTableGap, kTableLeft,
//    kTableRowBorders on the table format, kCellBorders on each cell.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <QTextFormat>

class QTextCursor;
class QTextDocument;

namespace zorbek {

namespace rtfprop {
enum : int {
  kProtected = QTextFormat::UserProperty + 0x5200,  // bool (char format)
  kKeptGroup,          // QByteArray: an RTF group written back verbatim (image format)
  kPictureData,        // QByteArray: PNG or JPEG file bytes (image format)
  kPictureType,        // QString: "png" or "jpeg"
  kPictureSourceSize,  // QSize: \picw, \pich of the picture
  kFieldInstruction,   // QString: instruction of a field other than HYPERLINK (char format)
  kFontCharset,        // int: \fcharset of the font the text came in (char format)
  kListStart,          // int: \pnstart of a numbered list (list format)
  kTableCellRights,    // QVariantList of int: \cellx of each cell, in twips (table format)
  kTableGap,           // int: \trgaph in twips
  kTableLeft,          // int: \trleft in twips
  kTableRowBorders,    // QVariantList of 4 int: \trbrdrl, t, r, b widths in twips (0: none)
  kCellBorders,        // QVariantList of 4 int: \clbrdrl, t, r, b widths in twips (cell format)
  kListLevel,          // int: \ilvl of a list of Word's list table (list format)
  kListGroup,          // int: \ls the list came in; its levels number on together (list format)
};
}  // namespace rtfprop

// The note's default character format: face 宋体, 9 points.
inline constexpr const char* kNoteDefaultFamily = "宋体";
inline constexpr double kNoteDefaultPointSize = 9.0;

// Twips (1/20 point) <-> document units (pixels at 96 dpi: 15 twips each).
inline double TwipsToUnits(int twips) { return twips / 15.0; }
int UnitsToTwips(double units);

// The list indent (in the document's indent steps) that a list paragraph gets for its marker:
// none when its first line hangs (rich edit puts the marker in that hanging indent), else one
// step, so that the marker stands before the text. The reader, the writer and the editor's
// numbering agree on it, so a note shows its lists where they were after saving and opening.
inline int ListIndentForParagraph(int firstLineTwips) { return firstLineTwips < 0 ? 0 : 1; }

// Gives the document the note's default font. Call on every document the reader fills.
void ApplyNoteDefaults(QTextDocument* doc);

// Maps the Windows font families that notes name (宋体, SimSun, 黑体, 微软雅黑, 楷体 ...) to the
// Chinese fonts of a Linux desktop (Noto CJK SC, WenQuanYi, AR PL), so that Chinese text shows
// in its simplified Chinese forms instead of whatever fallback comes first, and the Latin faces
// (Calibri, Arial, Times New Roman, Courier New ...) to Noto, DejaVu or Liberation fonts of
// their kind. The note keeps the names it has. Call once at start.
void InstallChineseFontSubstitutes();

enum class PictureType { kPng, kJpeg };
// The type of PNG or JPEG file bytes, by their signature; false for anything else.
bool DetectPictureType(const QByteArray& data, PictureType* type);

// Decodes picture bytes ("PNG", "JPEG", "BMP") for display. With a budget, a picture of more
// pixels than remain in it is not decoded (null image) and the budget shrinks by what is: a
// note full of huge pictures cannot exhaust memory.
QImage DecodePicture(const QByteArray& data, const char* format, qint64* pixelBudget = nullptr);

// Image format of a PNG or JPEG picture shown at goal size (twips; 0: the picture's own size at
// 96 dpi). The picture is registered as a resource of the document. A format without a name
// when the bytes cannot be decoded (or do not fit the budget).
QTextImageFormat MakePictureFormat(QTextDocument* doc, const QByteArray& data, PictureType type,
                                   int goalWidthTwips = 0, int goalHeightTwips = 0,
                                   qint64* pixelBudget = nullptr);
// Image format of a kept group, shown by display (or a placeholder when it is null) at the given
// size in twips.
QTextImageFormat MakeKeptGroupFormat(QTextDocument* doc, const QByteArray& group,
                                     const QImage& display, int widthTwips, int heightTwips);

// Inserts a PNG or JPEG file's bytes as a picture at the cursor ("insert object" of the editor);
// false when the bytes are not such a picture.
bool InsertPicture(QTextCursor& cursor, const QByteArray& fileData);

// Registers again the images of every picture and kept group found in the document's formats:
// needed after content was pasted from another document, whose resources do not come along.
void RestorePictureResources(QTextDocument* doc);

}  // namespace zorbek
