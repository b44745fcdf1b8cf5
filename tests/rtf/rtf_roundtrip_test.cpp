#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QTextCursor>
#include <QTextList>
#include <random>

#include "core/rtf/plain_text.h"
#include "core/rtf/rtf_pieces.h"
#include "core/text/cp936.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_writer.h"
#include "rtf_test_util.h"

namespace zorbek {
namespace {

using namespace zorbek::testing;

// ---- A canonical description of a document: its text and the formats the writer keeps ----

QString Hash(const QByteArray& data) {
  return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().left(10));
}

QString ColourOf(const QTextFormat& f, int property) {
  if (!f.hasProperty(property)) return "-";
  const QBrush b = f.brushProperty(property);
  return b.style() == Qt::NoBrush ? QString("-") : b.color().name();
}

QString DescribeChar(const QTextCharFormat& f) {
  if (f.isImageFormat()) {
    const QTextImageFormat i = f.toImageFormat();
    const QString what = i.hasProperty(rtfprop::kKeptGroup)
                             ? "K" + Hash(i.property(rtfprop::kKeptGroup).toByteArray())
                             : "P" + Hash(i.property(rtfprop::kPictureData).toByteArray()) +
                                   i.stringProperty(rtfprop::kPictureType);
    return QString("IMG %1 %2x%3").arg(what).arg(UnitsToTwips(i.width())).arg(UnitsToTwips(i.height()));
  }
  QString family = f.fontFamilies().toStringList().value(0);
  if (family.isEmpty()) family = kNoteDefaultFamily;
  const double size = f.fontPointSize() > 0 ? f.fontPointSize() : kNoteDefaultPointSize;
  return QString("%1 %2 %3%4%5%6 v%7 fg%8 bg%9 p%10 a[%11] f[%12]")
      .arg(family)
      .arg(size)
      .arg(f.fontWeight() > QFont::Medium ? "B" : "")
      .arg(f.fontItalic() ? "I" : "")
      .arg(f.fontUnderline() ? "U" : "")
      .arg(f.fontStrikeOut() ? "S" : "")
      .arg(static_cast<int>(f.verticalAlignment()))
      .arg(ColourOf(f, QTextFormat::ForegroundBrush))
      .arg(ColourOf(f, QTextFormat::BackgroundBrush))
      .arg(f.boolProperty(rtfprop::kProtected))
      .arg(f.isAnchor() ? f.anchorHref() : QString())
      .arg(f.stringProperty(rtfprop::kFieldInstruction));
}

QString DescribeBlock(const QTextBlock& block) {
  const QTextBlockFormat b = block.blockFormat();
  QString lineHeight;
  if (b.hasProperty(QTextFormat::LineHeightType) && b.lineHeightType() != QTextBlockFormat::SingleHeight) {
    const bool proportional = b.lineHeightType() == QTextBlockFormat::ProportionalHeight;
    const int v = proportional ? static_cast<int>(std::lround(b.lineHeight() * 2.4)) : UnitsToTwips(b.lineHeight());
    if (!(proportional && v == 240)) lineHeight = QString("lh%1:%2").arg(b.lineHeightType()).arg(v);
  }
  QString list;
  if (QTextList* l = block.textList()) {
    const QTextListFormat lf = l->format();
    list = QString("list%1").arg(lf.style());
    if (lf.style() != QTextListFormat::ListDisc)
      list += "[" + lf.numberPrefix() + "|" + lf.numberSuffix() + "]";
  }
  const int align = b.hasProperty(QTextFormat::BlockAlignment)
                        ? static_cast<int>(b.alignment() & Qt::AlignHorizontal_Mask & ~Qt::AlignLeft)
                        : 0;
  // Where the text starts as shown: a list adds its own indent to the paragraph's.
  const double listIndent =
      block.textList() ? block.textList()->format().indent() * block.document()->indentWidth() : 0;
  QString out = QString("P a%1 %2 %3 %4 %5 %6 %7 %8: ")
                    .arg(align)
                    .arg(UnitsToTwips(b.leftMargin() + listIndent))
                    .arg(UnitsToTwips(b.rightMargin()))
                    .arg(UnitsToTwips(b.textIndent()))
                    .arg(UnitsToTwips(b.topMargin()))
                    .arg(UnitsToTwips(b.bottomMargin()))
                    .arg(lineHeight, list);
  QString last, text;
  auto flush = [&] {
    if (!last.isEmpty() || !text.isEmpty()) out += "{" + last + "}" + text;
    text.clear();
  };
  bool any = false;
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextCharFormat f = it.fragment().charFormat();
    const QString d = DescribeChar(f);
    const QString t = f.isImageFormat() ? QString(it.fragment().length(), u'#') : it.fragment().text();
    if (d != last) {
      flush();
      last = d;
    }
    text += t;
    any = true;
  }
  flush();
  if (!any) {
    // The mark of an empty paragraph: only its look counts, a link there is nothing.
    QTextCharFormat mark = block.charFormat();
    mark.setAnchor(false);
    mark.clearProperty(QTextFormat::AnchorHref);
    mark.clearProperty(rtfprop::kFieldInstruction);
    out += "{" + DescribeChar(mark) + "}";
  }
  return out + "\n";
}

QString DescribeFrame(QTextFrame::iterator it, QTextFrame::iterator end) {
  QString out;
  bool first = true;
  for (; it != end && !it.atEnd(); ++it) {
    if (QTextFrame* child = it.currentFrame()) {
      if (auto* t = qobject_cast<QTextTable*>(child)) {
        // The geometry is RTF's own; the byte comparison of the second writing covers it.
        out += QString("TABLE %1x%2\n").arg(t->rows()).arg(t->columns());
        for (int r = 0; r < t->rows(); ++r)
          for (int c = 0; c < t->columns(); ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            out += QString("CELL %1,%2\n").arg(r).arg(c);
            out += DescribeFrame(cell.begin(), cell.end());
          }
      } else {
        out += DescribeFrame(child->begin(), child->end());
      }
    } else {
      QTextFrame::iterator next = it;
      ++next;
      const bool placeholder = first && it.currentBlock().length() == 1 && !next.atEnd() &&
                               qobject_cast<QTextTable*>(next.currentFrame());
      if (!placeholder) out += DescribeBlock(it.currentBlock());
    }
    first = false;
  }
  return out;
}

std::string Describe(const QTextDocument& doc) {
  return DescribeFrame(doc.rootFrame()->begin(), doc.rootFrame()->end()).toStdString();
}

// The first line where two descriptions differ, or empty.
std::string FirstDifferentLine(const std::string& a, const std::string& b) {
  const QStringList x = QString::fromStdString(a).split('\n');
  const QStringList y = QString::fromStdString(b).split('\n');
  for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i)
    if (x.value(i) != y.value(i))
      return ("line " + QString::number(i) + ":\n  " + x.value(i) + "\n  " + y.value(i)).toStdString();
  return {};
}

// Writes, reads back and writes again: the two descriptions and the two RTF texts must agree.
void ExpectRoundTrip(const QTextDocument& doc) {
  const QByteArray first = WriteRtf(doc);
  QTextDocument back;
  ASSERT_TRUE(ReadRtf(first, &back));
  EXPECT_EQ(FirstDifferentLine(Describe(back), Describe(doc)), "");
  const QByteArray second = WriteRtf(back);
  EXPECT_EQ(second, first);
}

// ---- Tests ----

TEST(RtfWriter, RichEditFormOfTheOutput) {
  QTextDocument doc;
  QTextCursor c(&doc);
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  c.insertText("中文 ab{\\}", bold);
  c.insertText("😀\t한", QTextCharFormat());
  c.insertBlock();
  c.insertText("end");
  const QByteArray rtf = WriteRtf(doc);
  EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0"));
  EXPECT_TRUE(rtf.contains("{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"));  // 宋体
  EXPECT_TRUE(rtf.contains("{\\colortbl ;}"));
  EXPECT_TRUE(rtf.contains("{\\*\\generator Zorbek 1.6;}\\viewkind4\\uc1 "));
  EXPECT_TRUE(rtf.contains("\\pard\\fs18\\b \\'d6\\'d0\\'ce\\'c4 ab\\{\\\\\\}\\b0 \\u-10179?\\u-8704?\\tab \\u-10916?\\par\r\n"))
      << rtf.toStdString();
  EXPECT_TRUE(rtf.contains("end\\par\r\n}"));
  // What the writer saves, the search reads: code page 936 text.
  EXPECT_EQ(Cp936ToUtf8(ScanPlainText(std::string(rtf.constData(), rtf.size())).text),
            "中文 ab{\\}??\t?\nend\n");
}

TEST(RtfWriter, LinksListsTablesAndPicturesInTheirRtfForms) {
  QTextDocument doc;
  QTextCursor c(&doc);
  QTextCharFormat link;
  link.setAnchor(true);
  link.setAnchorHref("localfile:C:\\笔记\\a \"b\".txt");
  link.setFontUnderline(true);
  c.insertText("链接", link);
  c.insertBlock(QTextBlockFormat(), QTextCharFormat());
  c.insertText("一");
  QTextListFormat lf;
  lf.setStyle(QTextListFormat::ListLowerRoman);
  lf.setNumberSuffix(")");
  c.createList(lf);
  c.insertBlock();
  c.insertText("二");
  const QByteArray rtf = WriteRtf(doc);
  EXPECT_TRUE(rtf.contains("{\\field{\\*\\fldinst{HYPERLINK \"localfile:C:\\\\\\\\\\u31508?\\u-29776?\\\\\\\\a \\\\\"b\\\\\".txt\"}}"
                           "{\\fldrslt{\\fs18\\ul \\'c1\\'b4\\'bd\\'d3}}}"))
      << rtf.toStdString();
  EXPECT_TRUE(rtf.contains("\\pard{\\pntext i)\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pnlcrm{\\pntxta )}}"));
  EXPECT_TRUE(rtf.contains("{\\pntext ii)\\tab}\\'b6\\'fe\\par"));
  QTextDocument back;
  ReadRtf(rtf, &back);
  EXPECT_EQ(FormatOf(back, "链接").anchorHref(), link.anchorHref());
  ExpectRoundTrip(doc);

  QTextDocument table;
  QTextCursor at(&table);
  InsertRtf(at, QByteArray::fromStdString(*BuildTableRtf(2, 2)));
  const QByteArray t = WriteRtf(table);
  EXPECT_TRUE(t.contains("\\trowd\\trgaph108\\trleft8\\trbrdrl\\brdrs\\brdrw10 \\trbrdrt\\brdrs\\brdrw10 "
                         "\\trbrdrr\\brdrs\\brdrw10 \\trbrdrb\\brdrs\\brdrw10 \\trpaddl108\\trpaddr108"
                         "\\trpaddfl3\\trpaddfr3\r\n\\clbrdrl\\brdrw10\\brdrs\\clbrdrt\\brdrw10\\brdrs"
                         "\\clbrdrr\\brdrw10\\brdrs\\clbrdrb\\brdrw10\\brdrs\\cellx4374"));
  EXPECT_TRUE(t.contains("\\cell\\row\r\n\\trowd"));
  ExpectRoundTrip(table);
}

TEST(RtfWriter, KeptGroupsAreWrittenBackByteForByte) {
  const QByteArray original = Bytes(RtfTestFile("richedit/msftedit-5.41_pict_wmetafile8_images.rtf"));
  auto doc = ReadDoc(original);
  const QByteArray rtf = WriteRtf(*doc);
  int kept = 0;
  for (const QTextImageFormat& f : Images(*doc)) {
    EXPECT_TRUE(rtf.contains(f.property(rtfprop::kKeptGroup).toByteArray()));
    ++kept;
  }
  EXPECT_GE(kept, 1);
  const QByteArray object = "{\\object\\objemb{\\*\\objclass PBrush}\\objw600\\objh300{\\*\\objdata "
                            "0105000002000000}{\\result{\\pict\\wmetafile8\\picw10\\pich10 0102}}}";
  auto withObject = ReadDoc("{\\rtf1\\ansi x" + object + "y\\par}");
  EXPECT_TRUE(WriteRtf(*withObject).contains("x" + object + "y\\par"));
  ExpectRoundTrip(*withObject);
}

TEST(RtfRoundTrip, WordsInsideKeptGroupsAndOddFontNamesChangeNothing) {
  // A kept group that carries header words of its own: written back inside the note, it must
  // not redefine the note's fonts, colours, code page or table rows when read again.
  auto doc = ReadDoc("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}{\\f1\\fcharset0 A;b;}}"
                     "\\f0\\'d6\\'d0{\\object{\\fonttbl{\\f0\\fcharset0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
                     "\\ansicpg1252\\deff1\\trowd\\cellx100{\\result{\\pict\\wmetafile8 00}}}\\'ce\\'c4\\par}");
  EXPECT_EQ(Text(*doc), "中文");
  EXPECT_EQ(FormatOf(*doc, "文").fontFamilies().toStringList(), QStringList{"SimSun"});
  EXPECT_TRUE(Tables(*doc).empty());
  ExpectRoundTrip(*doc);
  QTextDocument semicolon;
  QTextCharFormat f;
  f.setFontFamilies({"Odd; name}"});
  QTextCursor(&semicolon).insertText("x", f);
  ExpectRoundTrip(semicolon);
}

TEST(RtfRoundTrip, EveryTestFileReachesAFixedPoint) {
  for (const char* dir : {"richedit", "other-writers", "generated"}) {
    const QDir d(QString::fromStdString(RtfTestFile(dir)));
    for (const QString& name : d.entryList({"*.rtf"}, QDir::Files)) {
      SCOPED_TRACE((QString(dir) + "/" + name).toStdString());
      auto doc = ReadTestFile(std::string(dir) + "/" + name.toStdString());
      const std::string text = Text(*doc);
      const QByteArray first = WriteRtf(*doc);
      QTextDocument back;
      ASSERT_TRUE(ReadRtf(first, &back));
      EXPECT_EQ(Text(back), text);
      EXPECT_EQ(FirstDifferentLine(Describe(back), Describe(*doc)), "");
      EXPECT_EQ(WriteRtf(back), first);
    }
  }
}

// ---- Generated documents ----

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  void Fill(QTextDocument* doc) {
    ApplyNoteDefaults(doc);
    QTextCursor c(doc);
    const int paragraphs = Int(1, 10);
    for (int p = 0; p < paragraphs; ++p) {
      if (p > 0) c.insertBlock(BlockFormat(), CharFormat());
      else c.setBlockFormat(BlockFormat());
      switch (Int(0, 9)) {
        case 0: Table(c); break;
        case 1: List(c); break;
        case 2: c.insertImage(Picture(doc)); Runs(c); break;
        default: Runs(c); break;
      }
    }
  }

 private:
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(1, 100) <= percent; }
  template <class T, std::size_t N>
  const T& Pick(const T (&items)[N]) { return items[static_cast<std::size_t>(Int(0, N - 1))]; }

  QString Text() {
    static const char* const kPieces[] = {
        "中文", "笔记", "，。", "abc", "Hello ", " ", "\t", "\\", "{", "}", "{}", "é", "ß",
        "😀", "𠮷", "한국", "€", "—", "“引号”", "\xC2\xA0", "1.5", "\xE2\x80\xA8", "ひらがな",
        "Ω", "x"};
    QString s;
    for (int n = Int(1, 5); n > 0; --n) s += QString::fromUtf8(Pick(kPieces));
    return s;
  }

  QTextCharFormat CharFormat() {
    static const char* const kFamilies[] = {"", "宋体", "Arial", "SimHei", "Calibri", "微软雅黑"};
    static const double kSizes[] = {0, 9, 10.5, 12, 18, 24};
    static const QRgb kColours[] = {0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0x800080, 0x123456};
    QTextCharFormat f;
    const QString family = QString::fromUtf8(Pick(kFamilies));
    if (!family.isEmpty()) f.setFontFamilies({family});
    if (const double size = Pick(kSizes); size > 0) f.setFontPointSize(size);
    if (Chance(30)) f.setFontWeight(QFont::Bold);
    if (Chance(30)) f.setFontItalic(true);
    if (Chance(20)) f.setFontUnderline(true);
    if (Chance(15)) f.setFontStrikeOut(true);
    if (Chance(15)) f.setVerticalAlignment(Chance(50) ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript);
    if (Chance(30)) f.setForeground(QColor(Pick(kColours)));
    if (Chance(20)) f.setBackground(QColor(Pick(kColours)));
    if (Chance(10)) f.setProperty(rtfprop::kProtected, true);
    if (Chance(10)) {
      static const char* const kTargets[] = {"http://example.com/a?b=1&c=\"q\"",
                                             "localfile:C:\\笔记\\a.txt", "mailto:x@y.z",
                                             "https://例子.cn/{x}", "www.example.org"};
      f.setAnchor(true);
      f.setAnchorHref(QString::fromUtf8(Pick(kTargets)));
    } else if (Chance(3)) {
      f.setProperty(rtfprop::kFieldInstruction, QStringLiteral("PAGE \\* MERGEFORMAT"));
    }
    return f;
  }

  QTextBlockFormat BlockFormat() {
    QTextBlockFormat b;
    static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
    if (Chance(40)) b.setAlignment(Pick(kAlign));
    if (Chance(30)) b.setLeftMargin(TwipsToUnits(Int(0, 2880)));
    if (Chance(20)) b.setRightMargin(TwipsToUnits(Int(0, 1440)));
    if (Chance(30)) b.setTextIndent(TwipsToUnits(Int(-720, 720)));
    if (Chance(30)) b.setTopMargin(TwipsToUnits(Int(0, 480)));
    if (Chance(30)) b.setBottomMargin(TwipsToUnits(Int(0, 480)));
    switch (Int(0, 5)) {
      case 0: b.setLineHeight(Int(241, 720) / 2.4, QTextBlockFormat::ProportionalHeight); break;
      case 1: b.setLineHeight(TwipsToUnits(Int(200, 600)), QTextBlockFormat::FixedHeight); break;
      case 2: b.setLineHeight(TwipsToUnits(Int(200, 600)), QTextBlockFormat::MinimumHeight); break;
      default: break;
    }
    return b;
  }

  void Runs(QTextCursor& c) {
    for (int n = Int(0, 4); n > 0; --n) c.insertText(Text(), CharFormat());
    if (Chance(20)) c.setBlockCharFormat(CharFormat());  // the mark of an empty paragraph
  }

  void List(QTextCursor& c) {
    static const QTextListFormat::Style kStyles[] = {
        QTextListFormat::ListDisc, QTextListFormat::ListDecimal, QTextListFormat::ListLowerAlpha,
        QTextListFormat::ListUpperAlpha, QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman};
    QTextListFormat lf;
    lf.setStyle(Pick(kStyles));
    if (lf.style() != QTextListFormat::ListDisc) {
      static const char* const kSuffixes[] = {".", ")", "、", ""};
      lf.setNumberSuffix(QString::fromUtf8(Pick(kSuffixes)));
      if (Chance(30)) lf.setNumberPrefix("(");
    }
    Runs(c);
    c.createList(lf);
    for (int n = Int(0, 3); n > 0; --n) {
      c.insertBlock();
      Runs(c);
    }
    // A plain paragraph after the list, so that the next list is a list of its own.
    c.insertBlock(QTextBlockFormat(), CharFormat());
    Runs(c);
  }

  void Table(QTextCursor& c) {
    const int rows = Int(1, 3), columns = Int(1, 4);
    QTextTable* t = c.insertTable(rows, columns);
    for (int r = 0; r < rows; ++r)
      for (int col = 0; col < columns; ++col) {
        QTextCursor cell = t->cellAt(r, col).firstCursorPosition();
        Runs(cell);
        if (Chance(20)) {
          cell.insertBlock(BlockFormat(), CharFormat());
          Runs(cell);
        }
      }
    c = t->lastCursorPosition();
    c.movePosition(QTextCursor::NextBlock);
    Runs(c);
  }

  QTextImageFormat Picture(QTextDocument* doc) {
    if (Chance(30)) {
      const QByteArray group = "{\\pict\\wmetafile8\\picw" + QByteArray::number(Int(1, 500)) +
                               "\\pich100\\picwgoal300\\pichgoal300 010009000003}";
      return MakeKeptGroupFormat(doc, group, QImage(), 300, 300);
    }
    QImage image(Int(1, 20), Int(1, 20), QImage::Format_RGB32);
    image.fill(QColor::fromRgb(static_cast<QRgb>(rng_())));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    const bool png = Chance(60);
    image.save(&buffer, png ? "PNG" : "JPEG");
    return MakePictureFormat(doc, data, png ? PictureType::kPng : PictureType::kJpeg,
                             Chance(50) ? Int(15, 3000) : 0, Chance(50) ? Int(15, 3000) : 0);
  }

  std::mt19937 rng_;
};

TEST(RtfRoundTrip, GeneratedDocumentsKeepTextAndFormatsAndReachAFixedPointAtOnce) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(seed);
    QTextDocument doc;
    Generator(seed).Fill(&doc);
    ExpectRoundTrip(doc);
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace zorbek
