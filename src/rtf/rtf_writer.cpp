#include "rtf/rtf_writer.h"

#include <QBuffer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/rtf/rtf_codepage.h"
#include "rtf/rtf_document.h"

namespace zorbek {
namespace {

constexpr int kChineseCharset = 134;
constexpr int kSymbolCharset = 2;

struct CharState {
  int font = 0;    // \deff0
  int size = -1;   // half points; unknown at the start, so the first text states its size
  bool bold = false, italic = false, underline = false, strike = false, protect = false;
  int vertical = 0;
  int fg = 0, bg = 0;
  bool operator==(const CharState&) const = default;
};

enum class ListStyle { kNone, kBullet, kDecimal, kLowerAlpha, kUpperAlpha, kLowerRoman, kUpperRoman };

struct ParaState {
  int align = 0;  // 0 left, 1 centre, 2 right, 3 justified
  int li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0;
  bool slmult = false;
  bool intbl = false;
  ListStyle list = ListStyle::kNone;
  int start = 1;
  QString before, after;
  int ls = 0, ilvl = 0;  // a level of a list of the list table (ls from 1)
  bool operator==(const ParaState&) const = default;
};

// One list of the list table: the format of each of its nine levels, as its paragraphs show it.
struct WordListLevelOut {
  bool used = false;
  ListStyle style = ListStyle::kDecimal;
  int start = 1;
  QString before, after = QStringLiteral(".");
  bool operator==(const WordListLevelOut& o) const {
    return style == o.style && before == o.before && after == o.after;
  }
};
struct WordListOut {
  WordListLevelOut levels[9];
  std::optional<int> shown[9];  // the number each level showed last; none: starts again
};

ListStyle ListStyleOf(const QTextListFormat& lf) {
  switch (lf.style()) {
    case QTextListFormat::ListDecimal: return ListStyle::kDecimal;
    case QTextListFormat::ListLowerAlpha: return ListStyle::kLowerAlpha;
    case QTextListFormat::ListUpperAlpha: return ListStyle::kUpperAlpha;
    case QTextListFormat::ListLowerRoman: return ListStyle::kLowerRoman;
    case QTextListFormat::ListUpperRoman: return ListStyle::kUpperRoman;
    default: return ListStyle::kBullet;
  }
}

int ListStartOf(const QTextListFormat& lf) {
  return lf.hasProperty(rtfprop::kListStart) ? lf.intProperty(rtfprop::kListStart) : 1;
}

QString ListSuffixOf(const QTextListFormat& lf) {
  return lf.hasProperty(QTextFormat::ListNumberSuffix) ? lf.numberSuffix() : QStringLiteral(".");
}

// Family names of Chinese fonts written with Latin letters; a name with non-ASCII letters
// counts as Chinese too.
bool LooksChinese(const QString& family) {
  for (QChar c : family)
    if (c.unicode() >= 0x80) return true;
  static const char* const kNames[] = {"simsun", "nsimsun", "simhei", "kaiti", "fangsong",
                                       "microsoft yahei", "dengxian", "cjk", "wenquanyi",
                                       "songti", "heiti", "kaiti_gb2312", "fangsong_gb2312"};
  const QString lower = family.toLower();
  for (const char* n : kNames)
    if (lower.contains(QLatin1String(n))) return true;
  return false;
}

QString Roman(int n, bool upper) {
  if (n <= 0 || n >= 4000) return QString::number(n);
  static const int kValues[] = {1000, 900, 500, 400, 100, 90, 50, 40, 10, 9, 5, 4, 1};
  static const char* const kDigits[] = {"m", "cm", "d", "cd", "c", "xc", "l", "xl", "x", "ix", "v", "iv", "i"};
  QString out;
  for (int i = 0; i < 13; ++i)
    while (n >= kValues[i]) {
      out += QLatin1String(kDigits[i]);
      n -= kValues[i];
    }
  return upper ? out.toUpper() : out;
}

QString Alpha(int n, bool upper) {
  if (n <= 0) return QString::number(n);
  QString out;
  while (n > 0) {
    --n;
    out.prepend(QChar(u'a' + n % 26));
    n /= 26;
  }
  return upper ? out.toUpper() : out;
}

class Writer {
 public:
  explicit Writer(const QTextDocument& doc) : doc_(doc) {
    FontIndex(QString::fromUtf8(kNoteDefaultFamily), kChineseCharset);
  }

  QByteArray Run() {
    PlanWordLists();
    WriteFrame(doc_.rootFrame());
    QByteArray out;
    out.reserve(static_cast<qsizetype>(body_.size() + 1024));
    out += "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl";
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      std::string entry = "{\\f" + std::to_string(i) + "\\fnil\\fcharset" +
                          std::to_string(fonts_[i].second) + " ";
      std::string name;
      AppendText(name, fonts_[i].first, CodePageOfCharset(fonts_[i].second, 936));
      // A ";" ends the name; one inside it is written as an escape.
      for (char ch : name) entry += ch == ';' ? std::string("\\'3b") : std::string(1, ch);
      entry += ";}";
      out.append(entry.data(), static_cast<qsizetype>(entry.size()));
    }
    out += "}\r\n{\\colortbl ;";
    for (const QColor& c : colours_)
      out += "\\red" + QByteArray::number(c.red()) + "\\green" + QByteArray::number(c.green()) +
             "\\blue" + QByteArray::number(c.blue()) + ";";
    out += "}\r\n";
    WriteListTable(out);
    out += "{\\*\\generator ";
    out += kRtfGeneratorName;
    out += ";}\\viewkind4\\uc1 \r\n";
    out.append(body_.data(), static_cast<qsizetype>(body_.size()));
    out += "}\r\n";
    return out;
  }

 private:
  // ---- Tables of the header ----

  int FontIndex(const QString& family, int charset) {
    for (std::size_t i = 0; i < fonts_.size(); ++i)
      if (fonts_[i].second == charset && fonts_[i].first == family) return static_cast<int>(i);
    fonts_.emplace_back(family, charset);
    return static_cast<int>(fonts_.size() - 1);
  }

  int ColourIndex(const QColor& colour) {
    const QColor c = colour.toRgb();
    for (std::size_t i = 0; i < colours_.size(); ++i)
      if (colours_[i].rgb() == c.rgb()) return static_cast<int>(i + 1);
    colours_.push_back(c);
    return static_cast<int>(colours_.size());
  }

  // ---- Lists of the list table ----

  // The lists that came from Word's list table (marked with their level) are written as levels
  // of lists of a list table again, so that readers number each level on its own (1. 2. a. b.
  // 3. a.). Word's rule: a paragraph of a level goes on from the number its level showed last
  // in the list, or starts at the level's start where a paragraph of a level above came in
  // between. The paragraphs of one \ls go in one list while that rule gives the numbers they
  // show; where it would not (a list pasted from another note, a level of another format), a
  // new list begins there.
  void PlanWordLists() {
    std::unordered_map<int, std::size_t> open;  // \ls read -> the list it is written in
    for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next()) {
      QTextList* list = b.textList();
      if (!list) continue;
      const QTextListFormat lf = list->format();
      if (!lf.hasProperty(rtfprop::kListLevel)) continue;
      const int level = std::clamp(lf.intProperty(rtfprop::kListLevel), 0, 8);
      WordListLevelOut def;
      def.used = true;
      def.style = ListStyleOf(lf);
      if (def.style != ListStyle::kBullet) {
        def.before = lf.numberPrefix();
        def.after = ListSuffixOf(lf);
      } else {
        def.after.clear();
      }
      const int shown = ListStartOf(lf) + list->itemNumber(b);
      std::size_t index = wordLists_.size();
      if (auto it = open.find(lf.intProperty(rtfprop::kListGroup)); it != open.end()) {
        const WordListOut& w = wordLists_[it->second];
        const WordListLevelOut& l = w.levels[level];
        const int expected = !l.used ? shown : w.shown[level] ? *w.shown[level] + 1 : l.start;
        if ((!l.used || l == def) && (def.style == ListStyle::kBullet || expected == shown))
          index = it->second;
      }
      if (index == wordLists_.size()) {
        wordLists_.emplace_back();
        open[lf.intProperty(rtfprop::kListGroup)] = index;
      }
      WordListOut& w = wordLists_[index];
      if (!w.levels[level].used) {
        w.levels[level] = def;
        w.levels[level].start = shown;
      }
      w.shown[level] = shown;
      for (int deeper = level + 1; deeper < 9; ++deeper) w.shown[deeper].reset();
      wordLevelOf_[b.blockNumber()] = {static_cast<int>(index) + 1, level};
    }
  }

  void WriteListTable(QByteArray& out) const {
    if (wordLists_.empty()) return;
    static const int kNfc[] = {0, 23, 0, 4, 3, 2, 1};  // by ListStyle
    std::string table = "{\\*\\listtable";
    for (std::size_t i = 0; i < wordLists_.size(); ++i) {
      const std::string id = std::to_string(i + 1);
      table += "\r\n{\\list\\listtemplateid" + id + "\\listhybrid";
      for (int level = 0; level < 9; ++level) {
        const WordListLevelOut& l = wordLists_[i].levels[level];
        const int nfc = kNfc[static_cast<int>(l.style)];
        table += "{\\listlevel\\levelnfc" + std::to_string(nfc) + "\\levelnfcn" + std::to_string(nfc) +
                 "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat" + std::to_string(l.start) +
                 "{\\leveltext";
        if (l.style == ListStyle::kBullet) {
          table += "\\'01\\u8226 ?;}{\\levelnumbers;}";
        } else {
          // The level's number stands in the text as the byte of its level; the length first.
          const auto length = static_cast<unsigned>(l.before.size() + 1 + l.after.size());
          table += "\\'" + Hex(std::min(length, 255u));
          AppendText(table, l.before, 0);
          table += "\\'" + Hex(static_cast<unsigned>(level));
          AppendText(table, l.after, 0);
          table += ";}{\\levelnumbers\\'" + Hex(static_cast<unsigned>(l.before.size() + 1)) + ";}";
        }
        table += "\\fi-360\\li" + std::to_string(720 * (level + 1)) + "}";
      }
      table += "{\\listname ;}\\listid" + id + "}";
    }
    table += "}\r\n{\\*\\listoverridetable";
    for (std::size_t i = 0; i < wordLists_.size(); ++i)
      table += "{\\listoverride\\listid" + std::to_string(i + 1) + "\\listoverridecount0\\ls" +
               std::to_string(i + 1) + "}";
    table += "}\r\n";
    out.append(table.data(), static_cast<qsizetype>(table.size()));
  }

  static std::string Hex(unsigned v) {
    static const char kHex[] = "0123456789abcdef";
    return {kHex[(v >> 4) & 15], kHex[v & 15]};
  }

  // ---- Text ----

  // Appends text as RTF: ASCII as it is (the three special characters escaped), characters of
  // the code page as "\'xx", every other character as "\uN?".
  static void AppendText(std::string& out, const QString& text, int codePage) {
    const char16_t* s = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    std::string bytes;
    // In a symbol font most ASCII letters stand for other signs ("a" is α): those go as "\uN".
    const bool symbol = IsSymbolCodePage(codePage);
    for (qsizetype i = 0; i < n; ++i) {
      const char16_t ch = s[i];
      if (ch >= 0x20 && ch < 0x80 && (!symbol || SymbolFontCharacter(static_cast<char16_t>(0xF000 + ch), codePage) == ch)) {
        if (ch == u'\\' || ch == u'{' || ch == u'}') out.push_back('\\');
        out.push_back(static_cast<char>(ch));
        continue;
      }
      if (ch == u'\t') {
        out += "\\tab ";
        continue;
      }
      if (ch == 0x2028) {
        out += "\\line ";
        continue;
      }
      bytes.clear();
      if ((ch >= 0x80 || (symbol && ch >= 0x20)) && EncodeInCodePage(ch, codePage, bytes)) {
        const auto first = static_cast<unsigned char>(bytes[0]);
        if (bytes.size() == 1 && first >= 0x20 && first < 0x80) {  // "α" is "a" of the Symbol font
          if (first == '\\' || first == '{' || first == '}') out.push_back('\\');
          out.push_back(static_cast<char>(first));
          continue;
        }
        static const char kHex[] = "0123456789abcdef";
        for (char b : bytes) {
          const auto v = static_cast<unsigned char>(b);
          out += "\\'";
          out.push_back(kHex[v >> 4]);
          out.push_back(kHex[v & 15]);
        }
        continue;
      }
      out += "\\u";
      out += std::to_string(static_cast<std::int16_t>(ch));
      out.push_back('?');
    }
  }

  // A line end also ends the control word before it.
  void Put(const char* s) {
    body_ += s;
    delimit_ = false;
  }
  void Word(const char* word, int param) {
    body_ += word;
    body_ += std::to_string(param);
    delimit_ = true;
  }
  void Word(const char* word) {
    body_ += word;
    delimit_ = true;
  }
  void BeforeText() {
    if (delimit_) body_.push_back(' ');
    delimit_ = false;
  }
  void Group(const char* s) {
    body_ += s;
    delimit_ = false;
  }

  // ---- Character formats ----

  static QString FamilyOf(const QTextCharFormat& f) {
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty()) return families.first();
    const QString single = f.stringProperty(QTextFormat::FontFamily);
    if (!single.isEmpty()) return single;
    return QString::fromUtf8(kNoteDefaultFamily);
  }

  static bool HasChineseText(const QString& text) {
    std::string scratch;
    for (QChar c : text)
      if (c.unicode() >= 0x80 && EncodeInCodePage(c.unicode(), 936, scratch)) return true;
    return false;
  }

  // Whether every character of the text beyond ASCII has a form in the code page.
  static bool FitsCodePage(const QString& text, int codePage) {
    std::string scratch;
    for (QChar c : text)
      if (c.unicode() >= 0x80 && !EncodeInCodePage(c.unicode(), codePage, scratch)) return false;
    return true;
  }

  // The character set that a family's name implies: Windows names the code-page variants of
  // its Latin fonts "Arial CE", "Times New Roman Cyr" and so on, and readers take the
  // character set from that name, whatever \fcharset says. -1 for any other name.
  static int CharsetOfName(const QString& family) {
    static const std::pair<const char*, int> kSuffixes[] = {
        {" CE", 238}, {" Cyr", 204}, {" Greek", 161}, {" Tur", 162}, {" Baltic", 186}};
    for (const auto& [suffix, charset] : kSuffixes)
      if (family.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) return charset;
    return -1;
  }

  // The character set a run is written in:
  //  - the one its font's name implies ("Arial CE": 238); characters beyond it as "\uN";
  //  - the one the text came in, when it holds every character of the run;
  //  - 134 when the run holds a character of code page 936 beyond ASCII (written as "\'xx"
  //    of 936), or its font is a Chinese one;
  //  - else 0.
  static int CharsetFor(const QTextCharFormat& f, const QString& family, const QString& text) {
    if (const int named = CharsetOfName(family); named >= 0) return named;
    if (f.hasProperty(rtfprop::kFontCharset)) {
      const int cs = f.intProperty(rtfprop::kFontCharset);
      if (cs == kChineseCharset || cs == kSymbolCharset) return cs;
      if (cs != 1 && CharsetOfCodePageKnown(cs) && FitsCodePage(text, CodePageOfCharset(cs, 936)))
        return cs;
    }
    if (HasChineseText(text)) return kChineseCharset;
    return LooksChinese(family) ? kChineseCharset : 0;
  }

  // Character sets this writer writes text in: those of the Windows code pages.
  static bool CharsetOfCodePageKnown(int charset) {
    return charset == 0 || CharsetOfCodePage(CodePageOfCharset(charset, 0)) == charset;
  }

  CharState StateOf(const QTextCharFormat& f, const QString& text) {
    CharState s;
    const QString family = FamilyOf(f);
    s.font = FontIndex(family, CharsetFor(f, family, text));
    const double pt = f.fontPointSize();
    s.size = pt > 0 ? std::clamp(static_cast<int>(std::lround(pt * 2)), 1, 3276)
                    : static_cast<int>(kNoteDefaultPointSize * 2);
    s.bold = f.fontWeight() > QFont::Medium;
    s.italic = f.fontItalic();
    s.underline = f.fontUnderline();
    s.strike = f.fontStrikeOut();
    s.vertical = f.verticalAlignment() == QTextCharFormat::AlignSuperScript ? 1
                 : f.verticalAlignment() == QTextCharFormat::AlignSubScript ? 2 : 0;
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
      s.fg = ColourIndex(f.foreground().color());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
      s.bg = ColourIndex(f.background().color());
    s.protect = f.boolProperty(rtfprop::kProtected);
    return s;
  }

  void SwitchTo(const CharState& s) {
    CharState& c = cur_;
    if (s.font != c.font) Word("\\f", s.font);
    if (s.size != c.size) Word("\\fs", s.size);
    if (s.bold != c.bold) Word(s.bold ? "\\b" : "\\b0");
    if (s.italic != c.italic) Word(s.italic ? "\\i" : "\\i0");
    if (s.underline != c.underline) Word(s.underline ? "\\ul" : "\\ulnone");
    if (s.strike != c.strike) Word(s.strike ? "\\strike" : "\\strike0");
    if (s.vertical != c.vertical)
      Word(s.vertical == 1 ? "\\super" : s.vertical == 2 ? "\\sub" : "\\nosupersub");
    if (s.fg != c.fg) Word("\\cf", s.fg);
    if (s.bg != c.bg) Word("\\highlight", s.bg);
    if (s.protect != c.protect) Word(s.protect ? "\\protect" : "\\protect0");
    c = s;
  }

  // ---- Paragraphs ----

  ParaState ParaOf(const QTextBlock& block, bool inTable) {
    const QTextBlockFormat f = block.blockFormat();
    ParaState p;
    if (f.hasProperty(QTextFormat::BlockAlignment)) {
      const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
      if (a & Qt::AlignHCenter) p.align = 1;
      else if (a & (Qt::AlignRight)) p.align = 2;
      else if (a & Qt::AlignJustify) p.align = 3;
    }
    p.li = UnitsToTwips(f.leftMargin());
    p.ri = UnitsToTwips(f.rightMargin());
    p.fi = UnitsToTwips(f.textIndent());
    p.sb = UnitsToTwips(f.topMargin());
    p.sa = UnitsToTwips(f.bottomMargin());
    if (f.hasProperty(QTextFormat::LineHeightType)) {
      switch (f.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
          p.sl = static_cast<int>(std::lround(f.lineHeight() * 240.0 / 100.0));
          p.slmult = true;
          if (p.sl == 240) p.sl = 0, p.slmult = false;
          break;
        case QTextBlockFormat::FixedHeight:
          p.sl = -UnitsToTwips(f.lineHeight());
          break;
        case QTextBlockFormat::MinimumHeight:
          p.sl = UnitsToTwips(f.lineHeight());
          break;
        default:
          break;
      }
    }
    p.intbl = inTable;
    if (QTextList* list = block.textList()) {
      const QTextListFormat lf = list->format();
      // The reader gives a list paragraph the list's own indent for its marker unless its first
      // line hangs (ListIndentForParagraph); where this list's indent differs, the start indent
      // written takes the difference, so that the text shows where it stood.
      const int wanted = ListIndentForParagraph(p.fi);
      if (lf.indent() != wanted && block.document()) {
        const int shift = (lf.indent() - wanted) * UnitsToTwips(block.document()->indentWidth());
        if (p.li + shift >= 0) p.li += shift;
      }
      switch (lf.style()) {
        case QTextListFormat::ListDisc:
        case QTextListFormat::ListCircle:
        case QTextListFormat::ListSquare: p.list = ListStyle::kBullet; break;
        case QTextListFormat::ListDecimal: p.list = ListStyle::kDecimal; break;
        case QTextListFormat::ListLowerAlpha: p.list = ListStyle::kLowerAlpha; break;
        case QTextListFormat::ListUpperAlpha: p.list = ListStyle::kUpperAlpha; break;
        case QTextListFormat::ListLowerRoman: p.list = ListStyle::kLowerRoman; break;
        case QTextListFormat::ListUpperRoman: p.list = ListStyle::kUpperRoman; break;
        default: p.list = ListStyle::kBullet; break;
      }
      if (p.list != ListStyle::kBullet) {
        p.start = ListStartOf(lf);
        p.before = lf.numberPrefix();
        p.after = ListSuffixOf(lf);
      }
      if (auto it = wordLevelOf_.find(block.blockNumber()); it != wordLevelOf_.end()) {
        p.ls = it->second.first;
        p.ilvl = it->second.second;
      }
    }
    return p;
  }

  QString MarkerText(const ParaState& p, int number) {
    QString n;
    switch (p.list) {
      case ListStyle::kLowerAlpha: n = Alpha(number, false); break;
      case ListStyle::kUpperAlpha: n = Alpha(number, true); break;
      case ListStyle::kLowerRoman: n = Roman(number, false); break;
      case ListStyle::kUpperRoman: n = Roman(number, true); break;
      default: n = QString::number(number); break;
    }
    return p.before + n + p.after;
  }

  // List markers and their texts are written with every non-ASCII character as "\uN?": they do
  // not depend on the font in effect.
  // A list paragraph's marker has its number in its list; where a list goes on after other
  // paragraphs (a sub-level between, 1. 2. a. b. 3.), its definition starts at that number, so
  // that readers number it as it shows.
  void WriteParagraphStart(const QTextBlock& block, bool inTable) {
    const ParaState p = ParaOf(block, inTable);
    QTextList* list = block.textList();
    const bool changed = !havePara_ || !(p == para_) || list != writtenList_;
    writtenList_ = list;
    const int number = p.start + (list ? list->itemNumber(block) : 0);
    if (changed) {
      Word("\\pard");
      if (p.intbl) Word("\\intbl");
    }
    if (p.list == ListStyle::kBullet) {
      const int symbol = FontIndex(QStringLiteral("Symbol"), kSymbolCharset);
      Group(("{\\pntext\\f" + std::to_string(symbol) + "\\'b7\\tab}").c_str());
      if (changed)
        Group(("{\\*\\pn\\pnlvlblt\\pnf" + std::to_string(symbol) +
               "\\pnindent0{\\pntxtb\\'b7}}").c_str());
    } else if (p.list != ListStyle::kNone) {
      std::string marker = "{\\pntext ";
      AppendText(marker, MarkerText(p, number), 0);
      marker += "\\tab}";
      Group(marker.c_str());
      if (changed) {
        static const char* const kFormats[] = {"", "", "\\pndec", "\\pnlcltr", "\\pnucltr",
                                               "\\pnlcrm", "\\pnucrm"};
        std::string pn = "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart" + std::to_string(number) +
                         kFormats[static_cast<int>(p.list)];
        if (!p.before.isEmpty()) {
          pn += "{\\pntxtb ";
          AppendText(pn, p.before, 0);
          pn += "}";
        }
        pn += "{\\pntxta ";
        AppendText(pn, p.after, 0);
        pn += "}}";
        Group(pn.c_str());
      }
    }
    if (changed) {
      if (p.li) Word("\\li", p.li);
      if (p.ri) Word("\\ri", p.ri);
      if (p.fi) Word("\\fi", p.fi);
      if (p.sb) Word("\\sb", p.sb);
      if (p.sa) Word("\\sa", p.sa);
      if (p.sl) {
        Word("\\sl", p.sl);
        if (p.slmult) Word("\\slmult1");
      }
      static const char* const kAlign[] = {"", "\\qc", "\\qr", "\\qj"};
      if (p.align) Word(kAlign[p.align]);
      if (p.ls > 0) {
        Word("\\ls", p.ls);
        Word("\\ilvl", p.ilvl);
      }
      para_ = p;
      havePara_ = true;
    }
  }

  // ---- Content ----

  void OpenField(const QTextCharFormat& f) {
    std::string head = "{\\field{\\*\\fldinst{";
    if (f.isAnchor() && !f.anchorHref().isEmpty()) {
      head += "HYPERLINK \"";
      // In the instruction a backslash and a quote are escaped with a backslash, and every
      // backslash, brace and non-ASCII character again for RTF.
      QString escaped;
      for (QChar c : f.anchorHref()) {
        if (c == u'\\' || c == u'"') escaped += u'\\';
        escaped += c;
      }
      AppendInstruction(head, escaped);
      head += "\"";
    } else {
      AppendInstruction(head, f.stringProperty(rtfprop::kFieldInstruction));
    }
    head += "}}{\\fldrslt{";
    Group(head.c_str());
    saved_.push_back(cur_);
  }

  // Instructions are written with every non-ASCII character as "\uN?", so that they do not
  // depend on the character set of the font in effect.
  static void AppendInstruction(std::string& out, const QString& text) {
    AppendText(out, text, 0);
  }

  void CloseField() {
    Group("}}}");
    cur_ = saved_.back();
    saved_.pop_back();
  }

  static QString FieldKey(const QTextCharFormat& f) {
    if (f.isAnchor() && !f.anchorHref().isEmpty()) return QStringLiteral("L") + f.anchorHref();
    if (f.hasProperty(rtfprop::kFieldInstruction))
      return QStringLiteral("F") + f.stringProperty(rtfprop::kFieldInstruction);
    return {};
  }

  void WritePicture(const QTextImageFormat& f) {
    if (f.hasProperty(rtfprop::kKeptGroup)) {
      const QByteArray group = f.property(rtfprop::kKeptGroup).toByteArray();
      body_.append(group.constData(), static_cast<std::size_t>(group.size()));
      delimit_ = false;
      return;
    }
    QByteArray data = f.property(rtfprop::kPictureData).toByteArray();
    QString type = f.stringProperty(rtfprop::kPictureType);
    QSize source = f.property(rtfprop::kPictureSourceSize).toSize();
    if (data.isEmpty()) {
      // A picture from elsewhere (pasted HTML, for instance): written as PNG.
      const QImage image =
          doc_.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
      if (image.isNull()) return;
      QBuffer buffer(&data);
      buffer.open(QIODevice::WriteOnly);
      image.save(&buffer, "PNG");
      type = QStringLiteral("png");
      source = image.size();
    }
    if (!source.isValid()) source = QSize(static_cast<int>(f.width()), static_cast<int>(f.height()));
    std::string head = type == QLatin1String("jpeg") ? "{\\pict\\jpegblip" : "{\\pict\\pngblip";
    head += "\\picw" + std::to_string(source.width()) + "\\pich" + std::to_string(source.height());
    if (f.width() > 0) head += "\\picwgoal" + std::to_string(UnitsToTwips(f.width()));
    if (f.height() > 0) head += "\\pichgoal" + std::to_string(UnitsToTwips(f.height()));
    head += "\r\n";
    Group(head.c_str());
    static const char kHex[] = "0123456789abcdef";
    std::size_t at = body_.size();
    body_.resize(at + static_cast<std::size_t>(data.size()) * 2 +
                 static_cast<std::size_t>(data.size() / 64 + 1) * 2);
    for (qsizetype i = 0; i < data.size(); ++i) {
      const auto v = static_cast<unsigned char>(data[i]);
      body_[at++] = kHex[v >> 4];
      body_[at++] = kHex[v & 15];
      if (i % 64 == 63) {
        body_[at++] = '\r';
        body_[at++] = '\n';
      }
    }
    body_.resize(at);
    Group("}");
  }

  // Writes one paragraph, ended by \par or, as the last paragraph of a table cell, by \cell.
  void WriteBlock(const QTextBlock& block, bool inTable, bool endsCell) {
    WriteParagraphStart(block, inTable);
    QString openKey;
    bool any = false;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment frag = it.fragment();
      if (!frag.isValid()) continue;
      const QTextCharFormat f = frag.charFormat();
      const QString key = FieldKey(f);
      if (key != openKey) {
        if (!openKey.isEmpty()) CloseField();
        if (!key.isEmpty()) OpenField(f);
        openKey = key;
      }
      any = true;
      if (f.isImageFormat()) {
        const QString text = frag.text();
        for (int i = 0; i < text.size(); ++i) WritePicture(f.toImageFormat());
        continue;
      }
      const QString text = frag.text();
      SwitchTo(StateOf(f, text));
      BeforeText();
      const auto& font = fonts_[static_cast<std::size_t>(cur_.font)];
      const QByteArray name = font.first.toLatin1();
      AppendText(body_, text,
                 CodePageOfFont(std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
                                font.second, 0, 936));
    }
    if (!openKey.isEmpty()) CloseField();
    // An empty paragraph keeps the size of its mark.
    if (!any) SwitchTo(StateOf(block.charFormat(), QString()));
    if (endsCell) {
      Word("\\cell");
    } else {
      Word("\\par");
      Put("\r\n");
    }
  }

  // Whether a block is the empty one that QTextDocument keeps before a table at the start of a
  // frame: RTF needs no paragraph there.
  static bool IsPlaceholderBeforeTable(QTextFrame::iterator it, bool first) {
    if (!first) return false;
    const QTextBlock block = it.currentBlock();
    if (!block.isValid() || block.length() > 1) return false;
    ++it;
    return !it.atEnd() && qobject_cast<QTextTable*>(it.currentFrame());
  }

  void WriteFrame(QTextFrame* frame) {
    bool first = true;
    for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
      if (QTextFrame* child = it.currentFrame()) {
        if (QTextTable* table = qobject_cast<QTextTable*>(child)) WriteTable(table);
        else WriteFrame(child);
      } else if (!IsPlaceholderBeforeTable(it, first)) {
        WriteBlock(it.currentBlock(), false, false);
      }
      first = false;
    }
  }

  static QVariantList SidesOf(const QTextFormat& f, int property) {
    const QVariantList v = f.property(property).toList();
    return v.size() == 4 ? v : QVariantList();
  }

  void WriteTable(QTextTable* table) {
    const QTextTableFormat tf = table->format();
    const int columns = table->columns();
    std::vector<int> rights;
    const QVariantList stored = tf.property(rtfprop::kTableCellRights).toList();
    const int gap = tf.hasProperty(rtfprop::kTableGap) ? tf.intProperty(rtfprop::kTableGap) : 108;
    const int left = tf.hasProperty(rtfprop::kTableLeft) ? tf.intProperty(rtfprop::kTableLeft) : 0;
    if (stored.size() == columns) {
      for (const QVariant& v : stored) rights.push_back(v.toInt());
    } else {
      const QList<QTextLength> widths = tf.columnWidthConstraints();
      int x = left;
      for (int c = 0; c < columns; ++c) {
        int w = 8748 / columns;
        if (c < widths.size() && widths[c].type() == QTextLength::FixedLength)
          w = std::max(UnitsToTwips(widths[c].rawValue()), 1);
        x += w;
        rights.push_back(x);
      }
    }
    QVariantList rowBorders = SidesOf(tf, rtfprop::kTableRowBorders);
    if (rowBorders.isEmpty()) {
      const int w = tf.border() > 0 ? 10 : 0;
      rowBorders = QVariantList{w, w, w, w};
    }
    static const char* const kSide = "ltrb";
    for (int r = 0; r < table->rows(); ++r) {
      std::string def = "\\trowd\\trgaph" + std::to_string(gap) + "\\trleft" + std::to_string(left);
      for (int s = 0; s < 4; ++s)
        if (const int w = rowBorders[s].toInt(); w > 0)
          def += std::string("\\trbrdr") + kSide[s] + "\\brdrs\\brdrw" + std::to_string(w) + " ";
      def += "\\trpaddl" + std::to_string(gap) + "\\trpaddr" + std::to_string(gap) +
             "\\trpaddfl3\\trpaddfr3\r\n";
      for (int c = 0; c < columns; ++c) {
        const QTextTableCell cell = table->cellAt(r, c);
        QVariantList sides = SidesOf(cell.format(), rtfprop::kCellBorders);
        if (sides.isEmpty()) {
          const QTextTableCellFormat cf = cell.format().toTableCellFormat();
          const bool any = cf.hasProperty(QTextFormat::TableCellLeftBorder);
          const int dflt = tf.border() > 0 ? 10 : 0;
          sides = QVariantList{any ? UnitsToTwips(cf.leftBorder()) : dflt,
                               any ? UnitsToTwips(cf.topBorder()) : dflt,
                               any ? UnitsToTwips(cf.rightBorder()) : dflt,
                               any ? UnitsToTwips(cf.bottomBorder()) : dflt};
        }
        for (int s = 0; s < 4; ++s)
          if (const int w = sides[s].toInt(); w > 0)
            def += std::string("\\clbrdr") + kSide[s] + "\\brdrw" + std::to_string(w) + "\\brdrs";
        def += "\\cellx" + std::to_string(rights[static_cast<std::size_t>(c)]);
      }
      Group(def.c_str());
      delimit_ = true;
      for (int c = 0; c < columns; ++c) {
        const QTextTableCell cell = table->cellAt(r, c);
        std::vector<QTextBlock> blocks;
        if (cell.row() == r && cell.column() == c) CollectBlocks(cell.begin(), cell.end(), blocks);
        if (blocks.empty()) {
          // A cell covered by a merged neighbour: an empty cell keeps the row's shape.
          if (!havePara_ || !para_.intbl) {
            Word("\\pard");
            Word("\\intbl");
            para_ = ParaState{};
            para_.intbl = true;
            havePara_ = true;
          }
          Word("\\cell");
          continue;
        }
        for (std::size_t b = 0; b < blocks.size(); ++b)
          WriteBlock(blocks[b], true, b + 1 == blocks.size());
      }
      Word("\\row");
      Put("\r\n");
    }
  }

  static void CollectBlocks(QTextFrame::iterator it, QTextFrame::iterator end,
                            std::vector<QTextBlock>& out) {
    for (; it != end && !it.atEnd(); ++it) {
      if (QTextFrame* child = it.currentFrame()) {
        CollectBlocks(child->begin(), child->end(), out);  // nested tables: their paragraphs
      } else {
        out.push_back(it.currentBlock());
      }
    }
  }

  const QTextDocument& doc_;
  std::string body_;
  std::vector<std::pair<QString, int>> fonts_;
  std::vector<QColor> colours_;
  CharState cur_;
  std::vector<CharState> saved_;
  ParaState para_;
  bool havePara_ = false;
  QTextList* writtenList_ = nullptr;  // the list of the paragraph written last
  std::vector<WordListOut> wordLists_;
  std::unordered_map<int, std::pair<int, int>> wordLevelOf_;  // block number -> \ls, \ilvl
  bool delimit_ = false;
};

}  // namespace

QByteArray WriteRtf(const QTextDocument& doc) { return Writer(doc).Run(); }

QByteArray WriteRtfSelection(const QTextCursor& selection) {
  QTextDocument part;
  ApplyNoteDefaults(&part);
  QTextCursor(&part).insertFragment(selection.selection());
  return WriteRtf(part);
}

}  // namespace zorbek
