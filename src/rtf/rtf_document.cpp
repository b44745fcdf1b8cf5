#include "rtf/rtf_document.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImageReader>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace zorbek {
namespace {

QUrl ResourceName(const char* kind, const QByteArray& data) {
  return QUrl(QStringLiteral("zorbek-%1:%2")
                  .arg(QLatin1String(kind),
                       QString::fromLatin1(
                           QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex())));
}

// A light grey box with a darker frame and a diagonal cross: the stand-in for a picture this
// program cannot draw (metafiles, embedded objects). Drawn without text, so it needs no fonts,
// and in a few sizes only (Qt scales it to the picture's size), so that any number of them
// costs little memory.
QImage Placeholder(double width, double height, QUrl* name) {
  auto bucket = [](double v) {
    int b = 16;
    while (b < 256 && b < v) b *= 2;
    return b;
  };
  const int w = bucket(width), h = bucket(height);
  *name = QUrl(QStringLiteral("zorbek-placeholder:%1x%2").arg(w).arg(h));
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(0xEE, 0xEE, 0xEE));
  QPainter p(&image);
  p.setPen(QColor(0xA0, 0xA0, 0xA0));
  p.drawRect(0, 0, w - 1, h - 1);
  p.setPen(QColor(0xCC, 0xCC, 0xCC));
  p.drawLine(0, 0, w - 1, h - 1);
  p.drawLine(0, h - 1, w - 1, 0);
  return image;
}

}  // namespace

int UnitsToTwips(double units) { return static_cast<int>(std::lround(units * 15.0)); }

QImage DecodePicture(const QByteArray& data, const char* format, qint64* pixelBudget) {
  QBuffer buffer;
  buffer.setData(data);
  QImageReader reader(&buffer, format);
  reader.setAllocationLimit(256);  // MB
  if (pixelBudget) {
    const QSize size = reader.size();
    const qint64 pixels = size.isValid() ? qint64(size.width()) * size.height() : -1;
    if (pixels < 0 || pixels > *pixelBudget) return {};
    *pixelBudget -= pixels;
  }
  QImage image;
  if (!reader.read(&image)) return {};
  return image;
}

void ApplyNoteDefaults(QTextDocument* doc) {
  QFont font(QString::fromUtf8(kNoteDefaultFamily));
  font.setPointSizeF(kNoteDefaultPointSize);
  doc->setDefaultFont(font);
}

void InstallChineseFontSubstitutes() {
  const QStringList serif = {"Noto Serif CJK SC", "Source Han Serif SC", "AR PL UMing CN",
                             "Noto Sans CJK SC", "WenQuanYi Zen Hei"};
  const QStringList sans = {"Noto Sans CJK SC", "Source Han Sans SC", "WenQuanYi Micro Hei",
                            "WenQuanYi Zen Hei", "Noto Serif CJK SC"};
  const QStringList kai = {"AR PL UKai CN", "Noto Serif CJK SC", "Noto Sans CJK SC"};
  for (const char* family : {"宋体", "新宋体", "SimSun", "NSimSun", "仿宋", "FangSong",
                             "仿宋_GB2312", "FangSong_GB2312", "STSong", "STSongti-SC-Regular"})
    QFont::insertSubstitutions(QString::fromUtf8(family), serif);
  for (const char* family : {"黑体", "SimHei", "微软雅黑", "Microsoft YaHei", "等线", "DengXian",
                             "STHeiti", "PingFang SC"})
    QFont::insertSubstitutions(QString::fromUtf8(family), sans);
  for (const char* family : {"楷体", "KaiTi", "楷体_GB2312", "KaiTi_GB2312", "STKaiti"})
    QFont::insertSubstitutions(QString::fromUtf8(family), kai);
  // The Latin faces of Windows and Office, to the fonts of their kind on a Linux desktop.
  const QStringList latinSans = {"Noto Sans", "DejaVu Sans", "Liberation Sans", "Noto Sans CJK SC"};
  const QStringList latinSerif = {"Noto Serif", "DejaVu Serif", "Liberation Serif",
                                  "Noto Serif CJK SC"};
  const QStringList latinMono = {"Noto Sans Mono", "DejaVu Sans Mono", "Liberation Mono",
                                 "Noto Sans Mono CJK SC"};
  for (const char* family : {"Calibri", "Arial", "Tahoma", "Verdana", "Segoe UI", "Helvetica",
                             "Microsoft Sans Serif", "MS Sans Serif", "MS Shell Dlg",
                             "MS Shell Dlg 2", "Arial CE", "Arial Cyr", "Trebuchet MS"})
    QFont::insertSubstitutions(QString::fromUtf8(family), latinSans);
  for (const char* family : {"Times New Roman", "Cambria", "Georgia", "Times", "MS Serif",
                             "Book Antiqua", "Garamond", "Times New Roman CE",
                             "Times New Roman Cyr"})
    QFont::insertSubstitutions(QString::fromUtf8(family), latinSerif);
  for (const char* family : {"Courier New", "Consolas", "Courier", "Lucida Console", "Fixedsys"})
    QFont::insertSubstitutions(QString::fromUtf8(family), latinMono);
}

bool DetectPictureType(const QByteArray& data, PictureType* type) {
  if (data.startsWith("\x89PNG\r\n\x1a\n")) {
    *type = PictureType::kPng;
    return true;
  }
  if (data.startsWith("\xFF\xD8\xFF")) {
    *type = PictureType::kJpeg;
    return true;
  }
  return false;
}

QTextImageFormat MakePictureFormat(QTextDocument* doc, const QByteArray& data, PictureType type,
                                   int goalWidthTwips, int goalHeightTwips, qint64* pixelBudget) {
  const char* format = type == PictureType::kPng ? "PNG" : "JPEG";
  const QUrl name = ResourceName("picture", data);
  // The same picture again in the document (the name is its hash) is not decoded again.
  QImage image = doc->resource(QTextDocument::ImageResource, name).value<QImage>();
  if (image.isNull()) {
    image = DecodePicture(data, format, pixelBudget);
    if (image.isNull()) return {};
    doc->addResource(QTextDocument::ImageResource, name, image);
  }
  QTextImageFormat f;
  f.setName(name.toString());
  f.setWidth(goalWidthTwips > 0 ? TwipsToUnits(goalWidthTwips) : image.width());
  f.setHeight(goalHeightTwips > 0 ? TwipsToUnits(goalHeightTwips) : image.height());
  f.setProperty(rtfprop::kPictureData, data);
  f.setProperty(rtfprop::kPictureType,
                QString::fromLatin1(type == PictureType::kPng ? "png" : "jpeg"));
  f.setProperty(rtfprop::kPictureSourceSize, image.size());
  return f;
}

QTextImageFormat MakeKeptGroupFormat(QTextDocument* doc, const QByteArray& group,
                                     const QImage& display, int widthTwips, int heightTwips) {
  double w = widthTwips > 0 ? TwipsToUnits(widthTwips) : (display.isNull() ? 32 : display.width());
  double h =
      heightTwips > 0 ? TwipsToUnits(heightTwips) : (display.isNull() ? 32 : display.height());
  w = std::clamp(w, 1.0, 4000.0);
  h = std::clamp(h, 1.0, 4000.0);
  QUrl name;
  if (display.isNull()) {
    const QImage placeholder = Placeholder(w, h, &name);
    if (!doc->resource(QTextDocument::ImageResource, name).isValid())
      doc->addResource(QTextDocument::ImageResource, name, placeholder);
  } else {
    name = ResourceName("kept", group);
    doc->addResource(QTextDocument::ImageResource, name, display);
  }
  QTextImageFormat f;
  f.setName(name.toString());
  f.setWidth(w);
  f.setHeight(h);
  f.setProperty(rtfprop::kKeptGroup, group);
  return f;
}

bool InsertPicture(QTextCursor& cursor, const QByteArray& fileData) {
  PictureType type;
  if (!DetectPictureType(fileData, &type) || !cursor.document()) return false;
  const QTextImageFormat f = MakePictureFormat(cursor.document(), fileData, type);
  if (f.name().isEmpty()) return false;
  cursor.insertImage(f);
  return true;
}

void RestorePictureResources(QTextDocument* doc) {
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat cf = it.fragment().charFormat();
      if (!cf.isImageFormat()) continue;
      const QTextImageFormat f = cf.toImageFormat();
      const QUrl name(f.name());
      if (doc->resource(QTextDocument::ImageResource, name).isValid()) continue;
      if (f.hasProperty(rtfprop::kPictureData)) {
        const QByteArray data = f.property(rtfprop::kPictureData).toByteArray();
        PictureType type;
        if (DetectPictureType(data, &type))
          doc->addResource(QTextDocument::ImageResource, name,
                           DecodePicture(data, type == PictureType::kPng ? "PNG" : "JPEG"));
      } else if (f.hasProperty(rtfprop::kKeptGroup)) {
        // The group's own picture is not decoded again: the placeholder stands in.
        QUrl placeholderName;
        const QImage placeholder = Placeholder(f.width(), f.height(), &placeholderName);
        doc->addResource(QTextDocument::ImageResource, name, placeholder);
      }
    }
  }
}

}  // namespace zorbek
