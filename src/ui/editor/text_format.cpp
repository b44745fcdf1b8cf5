#include "ui/editor/text_format.h"

#include <QFont>

#include "rtf/rtf_document.h"

namespace zorbek::editor {

int ProtectedProperty() { return rtfprop::kProtected; }

bool IsProtected(const QTextCharFormat& format) {
  return format.property(ProtectedProperty()).toBool();
}

void SetProtected(QTextCharFormat& format, bool on) {
  format.setProperty(ProtectedProperty(), on);
}

bool IsBold(const QTextCharFormat& format) { return format.fontWeight() >= QFont::DemiBold; }

int NumberingOfStyle(QTextListFormat::Style style) {
  switch (style) {
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare: return kNumberingBullet;
    case QTextListFormat::ListDecimal: return kNumberingArabic;
    case QTextListFormat::ListLowerAlpha: return kNumberingLowerLetter;
    case QTextListFormat::ListUpperAlpha: return kNumberingUpperLetter;
    case QTextListFormat::ListLowerRoman: return kNumberingLowerRoman;
    case QTextListFormat::ListUpperRoman: return kNumberingUpperRoman;
    default: return kNumberingNone;
  }
}

QTextListFormat::Style StyleOfNumbering(int numbering) {
  switch (numbering) {
    case kNumberingBullet: return QTextListFormat::ListDisc;
    case kNumberingArabic: return QTextListFormat::ListDecimal;
    case kNumberingLowerLetter: return QTextListFormat::ListLowerAlpha;
    case kNumberingUpperLetter: return QTextListFormat::ListUpperAlpha;
    case kNumberingLowerRoman: return QTextListFormat::ListLowerRoman;
    case kNumberingUpperRoman: return QTextListFormat::ListUpperRoman;
    default: return QTextListFormat::ListStyleUndefined;
  }
}

int AlignmentOf(Qt::Alignment alignment) {
  const Qt::Alignment h = alignment & Qt::AlignHorizontal_Mask;
  if (h & Qt::AlignJustify) return kAlignJustify;
  if (h & Qt::AlignHCenter) return kAlignCenter;
  if (h & (Qt::AlignRight)) return kAlignRight;
  return kAlignLeft;
}

Qt::Alignment QtAlignmentOf(int alignment) {
  switch (alignment) {
    case kAlignRight: return Qt::AlignRight | Qt::AlignAbsolute;
    case kAlignCenter: return Qt::AlignHCenter;
    case kAlignJustify: return Qt::AlignJustify;
    default: return Qt::AlignLeft | Qt::AlignAbsolute;
  }
}

}  // namespace zorbek::editor
