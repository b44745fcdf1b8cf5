#include "rtf/rtf_reader.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/rtf/rtf_codepage.h"
#include "core/rtf/rtf_lexer.h"
#include "rtf/rtf_document.h"

namespace zorbek {
namespace {

// ---- Control words ---------------------------------------------------------------------------

enum class Kw : std::uint16_t {
  kUnknown,
  // document
  kAnsi, kMac, kPc, kPca, kAnsicpg, kDeff, kUc, kU,
  // tables of the header
  kFonttbl, kF, kFcharset, kCpg, kFontFamily, kColortbl, kRed, kGreen, kBlue,
  // character formats
  kPlain, kDefchp, kStylesheet, kS, kB, kI, kUl, kUlnone, kUlVariant, kStrike, kSuper, kSub, kNosupersub, kFs, kCf,
  kHighlight, kCb, kProtect,
  // paragraph formats
  kPard, kQl, kQc, kQr, kQj, kLi, kRi, kFi, kSb, kSa, kSl, kSlmult, kIntbl,
  // characters and breaks
  kPar, kPage, kLine, kTab, kEmdash, kEndash, kEmspace, kEnspace, kQmspace, kBullet, kLquote,
  kRquote, kLdblquote, kRdblquote, kZwj, kZwnj, kLtrmark, kRtlmark,
  // tables
  kTrowd, kTrgaph, kTrleft, kCellx, kClbrdrl, kClbrdrt, kClbrdrr, kClbrdrb, kTrbrdrl, kTrbrdrt,
  kTrbrdrr, kTrbrdrb, kBrdrStyle, kBrdrnone, kBrdrw, kCell, kRow,
  // fields
  kField, kFldinst, kFldrslt,
  // pictures and objects
  kPict, kPngblip, kJpegblip, kEmfblip, kWmetafile, kDibitmap, kWbitmap, kOtherPict, kPicw, kPich,
  kPicwgoal, kPichgoal, kPicscalex, kPicscaley, kObject, kResult, kObjw, kObjh, kShppict,
  // Word shapes and nested tables
  kShp, kShpinst, kShprslt, kShptxt, kSn, kSv, kNestcell, kNestrow, kNesttableprops,
  // rich edit numbering
  kPntext, kPn, kPnlvlblt, kPnlvlbody, kPnlvlcont, kPnlvl, kPndec, kPnucltr, kPnlcltr, kPnucrm,
  kPnlcrm, kPnstart, kPntxtb, kPntxta,
  // Word lists
  kListtable, kList, kListid, kListlevel, kLevelnfc, kLevelstartat, kLeveltext,
  kListoverridetable, kListoverride, kLs, kIlvl,
  // destinations skipped whole
  kSkipDest,
};

const QHash<QByteArray, Kw>& Keywords() {
  static const QHash<QByteArray, Kw> table = [] {
    QHash<QByteArray, Kw> t;
    auto add = [&t](const char* w, Kw k) { t.insert(QByteArray(w), k); };
    add("ansi", Kw::kAnsi); add("mac", Kw::kMac); add("pc", Kw::kPc); add("pca", Kw::kPca);
    add("ansicpg", Kw::kAnsicpg); add("deff", Kw::kDeff); add("uc", Kw::kUc); add("u", Kw::kU);
    add("fonttbl", Kw::kFonttbl); add("f", Kw::kF); add("fcharset", Kw::kFcharset);
    add("cpg", Kw::kCpg);
    for (const char* w :
         {"fnil", "froman", "fswiss", "fmodern", "fscript", "fdecor", "ftech", "fbidi"})
      add(w, Kw::kFontFamily);
    add("colortbl", Kw::kColortbl); add("red", Kw::kRed);
    add("green", Kw::kGreen); add("blue", Kw::kBlue);
    add("plain", Kw::kPlain); add("defchp", Kw::kDefchp); add("stylesheet", Kw::kStylesheet);
    add("s", Kw::kS); add("b", Kw::kB); add("i", Kw::kI); add("ul", Kw::kUl);
    add("ulnone", Kw::kUlnone);
    for (const char* w : {"uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash",
                          "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash",
                          "ululdbwave", "ulw", "ulwave"})
      add(w, Kw::kUlVariant);
    add("strike", Kw::kStrike); add("striked", Kw::kStrike); add("super", Kw::kSuper);
    add("sub", Kw::kSub); add("nosupersub", Kw::kNosupersub); add("fs", Kw::kFs);
    add("cf", Kw::kCf); add("highlight", Kw::kHighlight); add("cb", Kw::kCb);
    add("chcbpat", Kw::kCb); add("protect", Kw::kProtect);
    add("pard", Kw::kPard); add("ql", Kw::kQl); add("qc", Kw::kQc); add("qr", Kw::kQr);
    add("qj", Kw::kQj); add("li", Kw::kLi); add("lin", Kw::kLi); add("ri", Kw::kRi);
    add("rin", Kw::kRi); add("fi", Kw::kFi); add("sb", Kw::kSb); add("sa", Kw::kSa);
    add("sl", Kw::kSl); add("slmult", Kw::kSlmult); add("intbl", Kw::kIntbl);
    add("par", Kw::kPar); add("page", Kw::kPage); add("sect", Kw::kPage); add("line", Kw::kLine); add("tab", Kw::kTab);
    add("emdash", Kw::kEmdash); add("endash", Kw::kEndash); add("emspace", Kw::kEmspace);
    add("enspace", Kw::kEnspace); add("qmspace", Kw::kQmspace); add("bullet", Kw::kBullet);
    add("lquote", Kw::kLquote); add("rquote", Kw::kRquote); add("ldblquote", Kw::kLdblquote);
    add("rdblquote", Kw::kRdblquote); add("zwj", Kw::kZwj); add("zwnj", Kw::kZwnj);
    add("ltrmark", Kw::kLtrmark); add("rtlmark", Kw::kRtlmark);
    add("trowd", Kw::kTrowd); add("trgaph", Kw::kTrgaph); add("trleft", Kw::kTrleft);
    add("cellx", Kw::kCellx); add("clbrdrl", Kw::kClbrdrl); add("clbrdrt", Kw::kClbrdrt);
    add("clbrdrr", Kw::kClbrdrr); add("clbrdrb", Kw::kClbrdrb); add("trbrdrl", Kw::kTrbrdrl);
    add("trbrdrt", Kw::kTrbrdrt); add("trbrdrr", Kw::kTrbrdrr); add("trbrdrb", Kw::kTrbrdrb);
    for (const char* w : {"brdrs", "brdrth", "brdrsh", "brdrdb", "brdrdot", "brdrdash",
                          "brdrhair", "brdrdashsm", "brdrdashd", "brdrdashdd", "brdrtriple",
                          "brdrwavy", "brdrinset", "brdroutset", "brdrengrave", "brdremboss"})
      add(w, Kw::kBrdrStyle);
    add("brdrnone", Kw::kBrdrnone); add("brdrw", Kw::kBrdrw);
    add("cell", Kw::kCell); add("nestcell", Kw::kNestcell); add("row", Kw::kRow);
    add("nestrow", Kw::kNestrow);
    add("field", Kw::kField); add("fldinst", Kw::kFldinst); add("fldrslt", Kw::kFldrslt);
    add("pict", Kw::kPict); add("pngblip", Kw::kPngblip); add("jpegblip", Kw::kJpegblip);
    add("emfblip", Kw::kEmfblip); add("wmetafile", Kw::kWmetafile);
    add("dibitmap", Kw::kDibitmap); add("wbitmap", Kw::kWbitmap);
    add("macpict", Kw::kOtherPict); add("pmmetafile", Kw::kOtherPict);
    add("picw", Kw::kPicw); add("pich", Kw::kPich); add("picwgoal", Kw::kPicwgoal);
    add("pichgoal", Kw::kPichgoal); add("picscalex", Kw::kPicscalex);
    add("picscaley", Kw::kPicscaley); add("object", Kw::kObject); add("result", Kw::kResult);
    add("objw", Kw::kObjw); add("objh", Kw::kObjh); add("shppict", Kw::kShppict);
    add("shp", Kw::kShp); add("shpinst", Kw::kShpinst); add("shprslt", Kw::kShprslt);
    add("shptxt", Kw::kShptxt); add("sn", Kw::kSn); add("sv", Kw::kSv);
    add("nesttableprops", Kw::kNesttableprops);
    add("pntext", Kw::kPntext); add("listtext", Kw::kPntext); add("pn", Kw::kPn);
    add("pnlvlblt", Kw::kPnlvlblt); add("pnlvlbody", Kw::kPnlvlbody);
    add("pnlvlcont", Kw::kPnlvlcont); add("pnlvl", Kw::kPnlvl); add("pndec", Kw::kPndec);
    add("pnucltr", Kw::kPnucltr); add("pnlcltr", Kw::kPnlcltr); add("pnucrm", Kw::kPnucrm);
    add("pnlcrm", Kw::kPnlcrm); add("pnstart", Kw::kPnstart); add("pntxtb", Kw::kPntxtb);
    add("pntxta", Kw::kPntxta);
    add("listtable", Kw::kListtable); add("list", Kw::kList); add("listid", Kw::kListid);
    add("listlevel", Kw::kListlevel); add("levelnfc", Kw::kLevelnfc);
    add("levelnfcn", Kw::kLevelnfc); add("levelstartat", Kw::kLevelstartat);
    add("leveltext", Kw::kLeveltext); add("listoverridetable", Kw::kListoverridetable);
    add("listoverride", Kw::kListoverride); add("ls", Kw::kLs); add("ilvl", Kw::kIlvl);
    for (const char* w :
         {"info", "header", "headerl", "headerr", "headerf", "footer", "footerl",
          "footerr", "footerf", "footnote", "annotation", "comment", "author", "operator", "title",
          "subject", "keywords", "doccomm", "buptim", "creatim", "revtim", "printim", "txe", "xe",
          "tc", "rxe", "private", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn",
          "template", "objdata", "objclass", "objname", "nonshppict", "revtbl", "rsidtbl",
          "generator", "xmlnstbl", "themedata", "colorschememapping", "latentstyles",
          "datastore", "pgdsctbl", "bkmkstart", "bkmkend", "atnid", "atnauthor", "atndate",
          "atnref", "atrfstart", "atrfend", "fldtype", "userprops", "docvar", "picprop",
          "blipuid", "levelnumbers", "listname", "filetbl", "pnseclvl", "nonesttables"})
      add(w, Kw::kSkipDest);
    return t;
  }();
  return table;
}

// ---- Reader state -----------------------------------------------------------------------------

enum class Dest : std::uint8_t {
  kNormal, kSkip, kFontTable, kColorTable, kFieldInst, kPict, kObject, kObjectResult, kPnDef,
  kPnText, kListTable, kLevelText, kListOverride, kStylesheet, kDefchp, kShape, kShapeName,
};

enum class Kind : std::uint8_t {
  kPlain, kField, kPict, kObject, kPnDef, kPnTxtB, kPnTxtA, kList, kListLevel, kListOverride,
  kStyle, kDefchp, kShape,
};

enum class ListType : std::uint8_t { kNone, kBullet, kDecimal, kLowerAlpha, kUpperAlpha,
                                     kLowerRoman, kUpperRoman };

struct CharState {
  int font = -1;  // font number; -1: the default font
  int size = -1;  // half points; -1: unspecified
  bool bold = false, italic = false, underline = false, strike = false, protect = false;
  std::uint8_t vertical = 0;  // 1 superscript, 2 subscript
  int fg = 0, bg = 0;         // colour table indexes, 0: automatic
  int link = 0, field = 0;    // 1-based indexes of link targets and field instructions
  bool operator==(const CharState&) const = default;
};

struct CharStateHash {
  std::size_t operator()(const CharState& c) const {
    std::size_t h = static_cast<std::size_t>(c.font) * 1000003u ^ static_cast<std::size_t>(c.size);
    h = h * 31 + (c.bold | c.italic << 1 | c.underline << 2 | c.strike << 3 | c.protect << 4 |
                  c.vertical << 5);
    h = h * 31 + static_cast<std::size_t>(c.fg);
    h = h * 31 + static_cast<std::size_t>(c.bg);
    h = h * 31 + static_cast<std::size_t>(c.link);
    return h * 31 + static_cast<std::size_t>(c.field);
  }
};

struct ParaState {
  std::uint8_t align = 0;  // 0 left, 1 centre, 2 right, 3 justified
  int li = 0, ri = 0, fi = 0, sb = 0, sa = 0, sl = 0;
  bool slmult = false;
  bool intbl = false;
  ListType pnType = ListType::kNone;
  int pnStart = 1;
  std::u16string pnBefore, pnAfter;
  int ls = 0, ilvl = 0;
  bool operator==(const ParaState&) const = default;
};

struct Group {
  Dest dest = Dest::kNormal;
  Kind kind = Kind::kPlain;
  int uc = 1;
  int style = -1;  // \sN of a style definition
  std::size_t start = 0;
  CharState chr;
  ParaState para;
};

struct Font {
  QString name;
  int charset = -1;
  int codePage = 0;
};

struct ListKey {
  ListType type = ListType::kNone;
  int start = 1;
  std::u16string before, after;
  bool operator==(const ListKey&) const = default;
};

struct WordListLevel {
  int nfc = 0;
  int start = 1;
  std::string text;
};
struct WordList {
  int id = 0;
  std::vector<WordListLevel> levels;
};

struct BorderSides {
  int w[4] = {0, 0, 0, 0};  // left, top, right, bottom in twips; 0: none
};
struct CellDef {
  int right = 0;
  BorderSides borders;
};
struct RowDef {
  int gap = 0, left = 0;
  BorderSides borders;
  std::vector<CellDef> cells;
};

enum class PictType : std::uint8_t { kNone, kPng, kJpeg, kEmf, kWmf, kDib, kWbitmap, kOther };

struct Picture {
  PictType type = PictType::kNone;
  int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
  QByteArray data;
  int nibble = -1;
  std::size_t start = 0;
};

struct ObjectGroup {
  bool active = false;
  std::size_t start = 0;
  int objw = 0, objh = 0;
  QImage display;
  int pictw = 0, picth = 0;
};

struct FieldContext {
  std::u16string instruction;
};

int HexNibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The target of a HYPERLINK field instruction (with "#anchor" for \l), or empty.
QString HyperlinkTarget(const QString& instruction) {
  const QString s = instruction.trimmed();
  static const QLatin1String kWord("HYPERLINK");
  if (!s.startsWith(kWord, Qt::CaseInsensitive)) return {};
  qsizetype i = kWord.size();
  if (i < s.size() && !s[i].isSpace() && s[i] != u'"' && s[i] != u'\\') return {};
  auto skipSpace = [&] { while (i < s.size() && s[i].isSpace()) ++i; };
  auto argument = [&]() -> QString {
    skipSpace();
    QString out;
    if (i < s.size() && s[i] == u'"') {
      ++i;
      while (i < s.size() && s[i] != u'"') {
        if (s[i] == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) ++i;
        out += s[i++];
      }
      if (i < s.size()) ++i;
    } else {
      while (i < s.size() && !s[i].isSpace()) {
        if (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] == u'\\') ++i;
        out += s[i++];
      }
    }
    return out;
  };
  QString target, anchor;
  for (;;) {
    skipSpace();
    if (i >= s.size()) break;
    if (s[i] == u'\\' && i + 1 < s.size() && s[i + 1] != u'\\') {
      const QChar sw = s[i + 1].toLower();
      i += 2;
      if (sw == u'l') anchor = argument();
      else if (sw == u'o' || sw == u't') argument();
      continue;
    }
    const QString arg = argument();
    if (target.isEmpty()) target = arg;
  }
  if (!anchor.isEmpty()) target += u'#' + anchor;
  return target;
}

// A device-independent bitmap (BITMAPINFOHEADER and bits) made into a BMP file for decoding.
QImage DecodeDib(const QByteArray& dib, qint64* budget) {
  if (dib.size() < 40) return {};
  auto u32 = [&](int at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at]) |
                                      static_cast<unsigned char>(dib[at + 1]) << 8 |
                                      static_cast<unsigned char>(dib[at + 2]) << 16 |
                                      static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at + 3])) << 24);
  };
  const std::uint32_t headerSize = u32(0);
  if (headerSize < 40 || headerSize > static_cast<std::uint32_t>(dib.size())) return {};
  const int bitCount = static_cast<unsigned char>(dib[14]) | static_cast<unsigned char>(dib[15]) << 8;
  const std::uint32_t compression = u32(16);
  std::uint32_t colours = u32(32);
  if (colours == 0 && bitCount <= 8) colours = 1u << bitCount;
  if (colours > 256) return {};
  std::uint32_t offset = 14 + headerSize + colours * 4;
  if (compression == 3 && headerSize == 40) offset += 12;
  QByteArray bmp("BM");
  const std::uint32_t fileSize = 14 + static_cast<std::uint32_t>(dib.size());
  for (std::uint32_t v : {fileSize, 0u, offset})
    for (int k = 0; k < 4; ++k) bmp.append(static_cast<char>((v >> (8 * k)) & 0xFF));
  bmp.append(dib);
  return DecodePicture(bmp, "BMP", budget);
}

QImage DisplayOf(const Picture& p, qint64* budget) {
  switch (p.type) {
    case PictType::kPng: return DecodePicture(p.data, "PNG", budget);
    case PictType::kJpeg: return DecodePicture(p.data, "JPEG", budget);
    case PictType::kDib: return DecodeDib(p.data, budget);
    default: return {};
  }
}

// ---- The reader -------------------------------------------------------------------------------

class Reader {
 public:
  Reader(std::string_view input, QTextCursor& cursor, const RtfReadOptions& options,
         const QTextCharFormat& base, bool insert)
      : in_(input), lexer_(input), cursor_(cursor), doc_(cursor.document()), base_(base),
        guessCodePage_(options.defaultCodePage), insert_(insert) {
    stack_.reserve(64);
    stack_.push_back(Group{});
  }

  RtfReadResult Run() {
    RtfReadResult result;
    bool started = false, ended = false;
    for (RtfToken t = lexer_.Next(); t.type != RtfTokenType::kEnd; t = lexer_.Next()) {
      if (skipNest_ > 0) {
        if (t.type == RtfTokenType::kGroupStart) ++skipNest_;
        else if (t.type == RtfTokenType::kGroupEnd) --skipNest_;
        continue;
      }
      if (t.type == RtfTokenType::kGroupStart) {
        FlushBytes();
        ucSkip_ = 0;
        if (G().dest == Dest::kSkip) {
          skipNest_ = 1;
          continue;
        }
        if (static_cast<int>(stack_.size()) > kRtfMaxGroupDepth) {
          ++result.skippedGroups;
          skipNest_ = 1;
          continue;
        }
        Group g = G();
        g.kind = Kind::kPlain;
        g.start = t.offset;
        stack_.push_back(std::move(g));
        star_ = false;
        groupFresh_ = true;
        started = true;
        continue;
      }
      if (t.type == RtfTokenType::kGroupEnd) {
        FlushBytes();
        ucSkip_ = 0;
        if (stack_.size() <= 1) {  // a brace that closes nothing
          result.complete = false;
          continue;
        }
        EndGroup(t.end);
        if (started && stack_.size() == 1) {
          ended = true;
          break;  // the document's group is closed: whatever follows is not part of it
        }
        continue;
      }
      if (G().dest == Dest::kSkip) continue;
      switch (t.type) {
        case RtfTokenType::kText: Text(t.text); break;
        case RtfTokenType::kHex:
          groupFresh_ = false;
          if (ucSkip_ > 0) { --ucSkip_; break; }
          // With the escapes that follow at once, taken together.
          hexRun_.assign(1, static_cast<char>(t.byte));
          lexer_.TakeHexRun(hexRun_);
          Bytes(hexRun_);
          break;
        case RtfTokenType::kBinary:
          if (ucSkip_ > 0) { --ucSkip_; break; }
          FlushBytes();
          if (G().dest == Dest::kPict) pict_.data.append(t.text.data(), static_cast<qsizetype>(t.text.size()));
          break;
        case RtfTokenType::kControlWord:
        case RtfTokenType::kControlSymbol:
          if (ucSkip_ > 0) { --ucSkip_; break; }
          FlushBytes();
          if (t.type == RtfTokenType::kControlSymbol) Symbol(t.word[0]);
          else Word(t);
          break;
        default: break;
      }
    }
    FlushBytes();
    FlushRun();
    if (!ended) result.complete = false;
    FinishDocument();
    return result;
  }

 private:
  Group& G() { return stack_.back(); }

  // ---- Text ----

  int CodePage() {
    const Group& g = stack_.back();
    int font = g.dest == Dest::kFontTable ? defFont_ : (g.chr.font >= 0 ? g.chr.font : deff_);
    if (font == cachedFont_ && ansiCodePage_ == cachedAnsi_) return cachedCodePage_;
    int cp = ansiCodePage_;
    auto it = fonts_.find(font);
    if (it != fonts_.end()) {
      // A font's own name is read in the code page of its character set (a symbol font's too).
      const QByteArray name =
          g.dest == Dest::kFontTable ? QByteArray("-") : it->second.name.toLatin1();
      cp = CodePageOfFont(std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
                          it->second.charset, it->second.codePage, ansiCodePage_);
    }
    if (g.dest != Dest::kFontTable) {
      cachedFont_ = font;
      cachedAnsi_ = ansiCodePage_;
      cachedCodePage_ = cp;
    }
    return cp;
  }

  void Text(std::string_view text) {
    if (groupFresh_ && text.find_first_not_of(' ') != std::string_view::npos) groupFresh_ = false;
    if (ucSkip_ > 0) {
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(ucSkip_), text.size());
      text.remove_prefix(n);
      ucSkip_ -= static_cast<int>(n);
      if (text.empty()) return;
    }
    switch (G().dest) {
      case Dest::kColorTable:
        for (char c : text)
          if (c == ';') CommitColour();
        return;
      case Dest::kFontTable:
        while (!text.empty()) {
          const std::size_t semi = text.find(';');
          Bytes(text.substr(0, semi));
          if (semi == std::string_view::npos) return;
          FlushBytes();
          CommitFont();
          text.remove_prefix(semi + 1);
        }
        return;
      case Dest::kPict:
        for (char c : text) {
          const int v = HexNibble(c);
          if (v < 0) continue;
          if (pict_.nibble < 0) {
            pict_.nibble = v;
          } else {
            pict_.data.append(static_cast<char>(pict_.nibble << 4 | v));
            pict_.nibble = -1;
          }
        }
        return;
      case Dest::kNormal:
      case Dest::kFieldInst:
      case Dest::kPnText:
      case Dest::kShapeName:
        Bytes(text);
        return;
      case Dest::kLevelText:
        levelText_.append(text);
        return;
      default:
        return;
    }
  }

  void Bytes(std::string_view bytes) {
    if (bytes.empty()) return;
    if (G().dest == Dest::kLevelText) {
      levelText_.append(bytes);
      return;
    }
    if (G().dest == Dest::kColorTable) return;
    const int cp = CodePage();
    if (!pending_.empty() && cp != pendingCodePage_) FlushBytes();
    pendingCodePage_ = cp;
    pending_.append(bytes);
  }

  void FlushBytes() {
    if (pending_.empty()) return;
    units_.clear();
    int cp = pendingCodePage_;
    if (cp == 0) cp = LooksLikeCp936(pending_) ? guessCodePage_ : 1252;
    AppendCodePageText(pending_, cp, units_);
    pending_.clear();
    Units(units_);
  }

  void Units(std::u16string_view u) {
    Group& g = G();
    switch (g.dest) {
      case Dest::kNormal:
        if (!(g.chr == runChar_) && !run_.empty()) FlushRun();
        runChar_ = g.chr;
        if (nestTab_) {  // the cells of a nested table row stand apart by tabs
          run_.push_back(u'\t');
          nestTab_ = false;
        }
        run_.append(u);
        break;
      case Dest::kFieldInst:
        if (!fields_.empty()) fields_.back().instruction.append(u);
        break;
      case Dest::kFontTable:
        fontName_.append(u);
        break;
      case Dest::kShapeName:
        shapeName_.append(u);
        break;
      case Dest::kPnText:
        (g.kind == Kind::kPnTxtB ? g.para.pnBefore : g.para.pnAfter).append(u);
        break;
      default:
        break;
    }
  }

  void Char(char16_t c) { Units(std::u16string_view(&c, 1)); }

  // ---- Groups ----

  void EndGroup(std::size_t end) {
    FlushBytes();
    Group& g = G();
    if (g.dest == Dest::kNormal || g.kind == Kind::kObject) FlushRun();
    if (g.dest == Dest::kFontTable) CommitFont();
    const Group popped = std::move(stack_.back());
    stack_.pop_back();
    Group& parent = G();
    switch (popped.kind) {
      case Kind::kField:
        if (!fields_.empty()) fields_.pop_back();
        break;
      case Kind::kPict:
        EndPicture(end);
        break;
      case Kind::kObject:
        EndObject(end);
        break;
      case Kind::kPnDef:
        parent.para.pnType = popped.para.pnType;
        parent.para.pnStart = popped.para.pnStart;
        parent.para.pnBefore = popped.para.pnBefore;
        parent.para.pnAfter = popped.para.pnAfter;
        break;
      case Kind::kPnTxtB:
        parent.para.pnBefore = popped.para.pnBefore;
        break;
      case Kind::kPnTxtA:
        parent.para.pnAfter = popped.para.pnAfter;
        break;
      case Kind::kListLevel:
        level_.text = levelText_;
        list_.levels.push_back(level_);
        break;
      case Kind::kList:
        wordLists_[list_.id] = list_;
        break;
      case Kind::kListOverride:
        if (overrideLs_ > 0) overrides_[overrideLs_] = overrideList_;
        break;
      case Kind::kStyle:
        if (popped.style >= 0) styles_[popped.style] = popped.chr;
        break;
      case Kind::kDefchp:
        if (popped.chr.size > 0) defaultSize_ = popped.chr.size;
        break;
      default:
        break;
    }
  }

  // ---- Control words ----

  void Symbol(char s) {
    switch (s) {
      case '\\': case '{': case '}':
        Char(static_cast<char16_t>(s));
        break;
      case '~': Char(0x00A0); break;
      case '-': Char(0x00AD); break;
      case '_': Char(0x2011); break;
      // "\*" marks a destination only as the first thing of its group; one after text or
      // other words is ignored, and so is the word after it when it is not known.
      case '*': star_ = groupFresh_; return;
      case '\n': case '\r':
        if (G().dest == Dest::kNormal) EndParagraph();
        break;
      default: break;
    }
    star_ = false;
    groupFresh_ = false;
  }

  void Word(const RtfToken& t) {
    Kw k = Kw::kUnknown;
    auto it = Keywords().constFind(QByteArray::fromRawData(t.word.data(), static_cast<qsizetype>(t.word.size())));
    if (it != Keywords().constEnd()) k = it.value();
    const bool star = star_;
    star_ = false;
    groupFresh_ = false;
    if (k == Kw::kUnknown) {
      if (star) G().dest = Dest::kSkip;  // an unknown destination
      return;
    }
    const int p = t.param;
    const bool on = !t.hasParam || t.param != 0;
    Group& g = G();
    if (g.dest == Dest::kFontTable && defFont_ == kNoFont && EndsFontTable(k)) {
      // A font table that was never closed: body text has begun.
      g.dest = Dest::kNormal;
    }
    CharState& c = g.chr;
    ParaState& para = g.para;
    const Dest d = g.dest;
    switch (k) {
      case Kw::kAnsi: break;
      // The document's settings and tables count in its header only: a kept group or a
      // picture that carries words of its own must not change how the rest reads.
      case Kw::kMac: if (InHeader(d)) ansiCodePage_ = 10000; break;
      case Kw::kPc: if (InHeader(d)) ansiCodePage_ = 437; break;
      case Kw::kPca: if (InHeader(d)) ansiCodePage_ = 850; break;
      case Kw::kAnsicpg: if (InHeader(d) && p > 0) ansiCodePage_ = p; break;
      case Kw::kDeff: if (InHeader(d)) deff_ = p; break;
      case Kw::kUc: g.uc = std::clamp(p, 0, 16); break;
      case Kw::kU: {
        char16_t unit = static_cast<char16_t>(p < 0 ? p + 65536 : p);
        if (d == Dest::kNormal) unit = SymbolFontCharacter(unit, CodePage());
        Char(unit);
        ucSkip_ = g.uc;
        break;
      }
      case Kw::kFonttbl:
        if (d != Dest::kNormal || fontTableSeen_) { g.dest = Dest::kSkip; break; }
        fontTableSeen_ = true;
        g.dest = Dest::kFontTable;
        defFont_ = kNoFont;
        break;
      case Kw::kF:
        if (d == Dest::kFontTable) {
          CommitFont();
          defFont_ = p;
          fonts_[p] = Font{};
          fontName_.clear();
        } else {
          c.font = p;
        }
        break;
      case Kw::kFcharset:
        if (d == Dest::kFontTable && defFont_ != kNoFont) fonts_[defFont_].charset = p;
        break;
      case Kw::kCpg:
        if (d == Dest::kFontTable && defFont_ != kNoFont) fonts_[defFont_].codePage = p;
        break;
      case Kw::kFontFamily:
        // Only a font definition names a family: a group of one outside the font table (a
        // damaged header) is read as one, not as text.
        if (d == Dest::kNormal && stack_.size() > 2 && c.font >= 0) {
          FlushRun();
          g.dest = Dest::kFontTable;
          defFont_ = c.font;
          fonts_.try_emplace(c.font);
          fontName_.clear();
        }
        break;
      case Kw::kColortbl:
        if (d != Dest::kNormal || colourTableSeen_) { g.dest = Dest::kSkip; break; }
        colourTableSeen_ = true;
        g.dest = Dest::kColorTable;
        colours_.clear();
        colourSet_ = false;
        break;
      case Kw::kRed: colour_.setRed(std::clamp(p, 0, 255)); colourSet_ = true; break;
      case Kw::kGreen: colour_.setGreen(std::clamp(p, 0, 255)); colourSet_ = true; break;
      case Kw::kBlue: colour_.setBlue(std::clamp(p, 0, 255)); colourSet_ = true; break;
      case Kw::kStylesheet:
        g.dest = d == Dest::kNormal && !bodyStarted_ ? Dest::kStylesheet : Dest::kSkip;
        break;
      case Kw::kDefchp:
        if (d == Dest::kNormal && !bodyStarted_) {
          g.dest = Dest::kDefchp;
          g.kind = Kind::kDefchp;
          c = CharState{};
        } else {
          g.dest = Dest::kSkip;
        }
        break;
      case Kw::kS:
        if (d == Dest::kStylesheet) {
          g.kind = Kind::kStyle;
          g.style = p;
        } else if (d == Dest::kNormal) {
          // A paragraph style brings its character formats to the text that follows.
          auto st = styles_.find(p);
          if (st != styles_.end()) {
            const CharState& sc = st->second;
            if (sc.font >= 0) c.font = sc.font;
            if (sc.size > 0) c.size = sc.size;
            c.bold = c.bold || sc.bold;
            c.italic = c.italic || sc.italic;
            c.underline = c.underline || sc.underline;
            if (sc.fg > 0) c.fg = sc.fg;
          }
        }
        break;
      case Kw::kPlain: {
        const int link = c.link, field = c.field;
        c = CharState{};
        c.link = link;
        c.field = field;
        break;
      }
      case Kw::kB: c.bold = on; break;
      case Kw::kI: c.italic = on; break;
      case Kw::kUl: case Kw::kUlVariant: c.underline = on; break;
      case Kw::kUlnone: c.underline = false; break;
      case Kw::kStrike: c.strike = on; break;
      case Kw::kSuper: c.vertical = 1; break;
      case Kw::kSub: c.vertical = 2; break;
      case Kw::kNosupersub: c.vertical = 0; break;
      case Kw::kFs: c.size = t.hasParam && p > 0 ? std::min(p, 3276) : 24; break;
      case Kw::kCf: c.fg = std::max(p, 0); break;
      case Kw::kHighlight: case Kw::kCb: c.bg = std::max(p, 0); break;
      case Kw::kProtect: c.protect = on; break;
      case Kw::kPard:
        FlushRun();
        para = ParaState{};
        afterRow_ = false;
        break;
      case Kw::kQl: para.align = 0; break;
      case Kw::kQc: para.align = 1; break;
      case Kw::kQr: para.align = 2; break;
      case Kw::kQj: para.align = 3; break;
      case Kw::kLi: para.li = p; break;
      case Kw::kRi: para.ri = p; break;
      case Kw::kFi: para.fi = p; break;
      case Kw::kSb: para.sb = p; break;
      case Kw::kSa: para.sa = p; break;
      case Kw::kSl: para.sl = p; break;
      case Kw::kSlmult: para.slmult = on; break;
      case Kw::kIntbl: FlushRun(); para.intbl = true; afterRow_ = false; break;
      case Kw::kPar: case Kw::kPage:
        if (d == Dest::kNormal) EndParagraph();
        break;
      case Kw::kLine: Char(0x2028); break;
      case Kw::kTab: Char(u'\t'); break;
      case Kw::kEmdash: Char(0x2014); break;
      case Kw::kEndash: Char(0x2013); break;
      case Kw::kEmspace: Char(0x2003); break;
      case Kw::kEnspace: Char(0x2002); break;
      case Kw::kQmspace: Char(0x2005); break;
      case Kw::kBullet: Char(0x2022); break;
      case Kw::kLquote: Char(0x2018); break;
      case Kw::kRquote: Char(0x2019); break;
      case Kw::kLdblquote: Char(0x201C); break;
      case Kw::kRdblquote: Char(0x201D); break;
      case Kw::kZwj: Char(0x200D); break;
      case Kw::kZwnj: Char(0x200C); break;
      case Kw::kLtrmark: Char(0x200E); break;
      case Kw::kRtlmark: Char(0x200F); break;
      case Kw::kTrowd:
        if (d != Dest::kNormal) break;
        FlushRun();
        inRow_ = true; afterRow_ = false; row_ = RowDef{}; cellBorders_ = BorderSides{}; borderSide_ = nullptr; break;
      case Kw::kTrgaph: if (d == Dest::kNormal) row_.gap = std::clamp(p, 0, 31680); break;
      case Kw::kTrleft: if (d == Dest::kNormal) row_.left = std::clamp(p, -31680, 31680); break;
      case Kw::kCellx:
        if (d != Dest::kNormal) break;
        if (row_.cells.size() < 4096) row_.cells.push_back(CellDef{p, cellBorders_});
        cellBorders_ = BorderSides{};
        borderSide_ = nullptr;
        break;
      case Kw::kClbrdrl: borderSide_ = d == Dest::kNormal ? &cellBorders_.w[0] : nullptr; break;
      case Kw::kClbrdrt: borderSide_ = d == Dest::kNormal ? &cellBorders_.w[1] : nullptr; break;
      case Kw::kClbrdrr: borderSide_ = d == Dest::kNormal ? &cellBorders_.w[2] : nullptr; break;
      case Kw::kClbrdrb: borderSide_ = d == Dest::kNormal ? &cellBorders_.w[3] : nullptr; break;
      case Kw::kTrbrdrl: borderSide_ = d == Dest::kNormal ? &row_.borders.w[0] : nullptr; break;
      case Kw::kTrbrdrt: borderSide_ = d == Dest::kNormal ? &row_.borders.w[1] : nullptr; break;
      case Kw::kTrbrdrr: borderSide_ = d == Dest::kNormal ? &row_.borders.w[2] : nullptr; break;
      case Kw::kTrbrdrb: borderSide_ = d == Dest::kNormal ? &row_.borders.w[3] : nullptr; break;
      case Kw::kBrdrStyle: if (borderSide_ && *borderSide_ == 0) *borderSide_ = 10; break;
      case Kw::kBrdrnone: if (borderSide_) *borderSide_ = 0; borderSide_ = nullptr; break;
      case Kw::kBrdrw: if (borderSide_) *borderSide_ = std::clamp(p, 1, 255); break;
      case Kw::kCell: if (d == Dest::kNormal) { nestTab_ = false; Cell(); } break;
      // A table nested in a cell is read into that cell: its cells as text apart by tabs,
      // each of its rows a paragraph.
      case Kw::kNestcell: if (d == Dest::kNormal) nestTab_ = true; break;
      case Kw::kNestrow:
      case Kw::kNesttableprops:
        if (d == Dest::kNormal) {
          nestTab_ = false;
          EndParagraph();
        }
        if (k == Kw::kNesttableprops) g.dest = Dest::kSkip;
        break;
      case Kw::kRow: if (d == Dest::kNormal) Row(); break;
      case Kw::kField:
        if (d == Dest::kNormal && fields_.size() < 64) {
          g.kind = Kind::kField;
          fields_.push_back(FieldContext{});
        }
        break;
      case Kw::kFldinst:
        g.dest = g.kind == Kind::kField || (stack_.size() > 1 && stack_[stack_.size() - 2].kind == Kind::kField)
                     ? Dest::kFieldInst : Dest::kSkip;
        if (g.dest == Dest::kFieldInst && !fields_.empty()) fields_.back().instruction.clear();
        break;
      case Kw::kFldrslt:
        if (fields_.empty() || d != Dest::kNormal) break;
        {
          const QString instruction = QString::fromStdU16String(fields_.back().instruction);
          const QString target = HyperlinkTarget(instruction);
          if (!target.isEmpty()) {
            links_.push_back(target);
            c.link = static_cast<int>(links_.size());
          } else if (!instruction.trimmed().isEmpty()) {
            fieldInstructions_.push_back(instruction);
            c.field = static_cast<int>(fieldInstructions_.size());
          }
        }
        break;
      case Kw::kPict:
        if ((d != Dest::kNormal && d != Dest::kObjectResult &&
             !(d == Dest::kShape && shapeName_ == u"pib")) ||
            !OpensGroup(t)) {
          g.dest = Dest::kSkip;
          break;
        }
        FlushRun();
        pict_ = Picture{};
        pict_.start = g.start;
        pictInObject_ = d == Dest::kObjectResult;
        if (d == Dest::kShape) shapePicture_ = true;
        g.kind = Kind::kPict;
        g.dest = Dest::kPict;
        break;
      case Kw::kPngblip: if (d == Dest::kPict) pict_.type = PictType::kPng; break;
      case Kw::kJpegblip: if (d == Dest::kPict) pict_.type = PictType::kJpeg; break;
      case Kw::kEmfblip: if (d == Dest::kPict) pict_.type = PictType::kEmf; break;
      case Kw::kWmetafile: if (d == Dest::kPict) pict_.type = PictType::kWmf; break;
      case Kw::kDibitmap: if (d == Dest::kPict) pict_.type = PictType::kDib; break;
      case Kw::kWbitmap: if (d == Dest::kPict) pict_.type = PictType::kWbitmap; break;
      case Kw::kOtherPict: if (d == Dest::kPict) pict_.type = PictType::kOther; break;
      case Kw::kPicw: if (d == Dest::kPict) pict_.picw = p; break;
      case Kw::kPich: if (d == Dest::kPict) pict_.pich = p; break;
      case Kw::kPicwgoal: if (d == Dest::kPict) pict_.goalw = p; break;
      case Kw::kPichgoal: if (d == Dest::kPict) pict_.goalh = p; break;
      case Kw::kPicscalex: if (d == Dest::kPict && p > 0) pict_.scalex = p; break;
      case Kw::kPicscaley: if (d == Dest::kPict && p > 0) pict_.scaley = p; break;
      case Kw::kObject:
        if (d != Dest::kNormal || object_.active || !OpensGroup(t)) {
          g.dest = Dest::kSkip;
          break;
        }
        FlushRun();
        object_ = ObjectGroup{};
        object_.active = true;
        object_.start = g.start;
        g.kind = Kind::kObject;
        g.dest = Dest::kObject;
        break;
      case Kw::kResult: g.dest = d == Dest::kObject ? Dest::kObjectResult : Dest::kSkip; break;
      case Kw::kObjw: if (d == Dest::kObject) object_.objw = p; break;
      case Kw::kObjh: if (d == Dest::kObject) object_.objh = p; break;
      case Kw::kShppict: break;  // its picture is read as any other
      // A Word shape: its picture (the "pib" property) and the text of its text box are
      // read; its other properties are not, nor its result when the picture was read.
      case Kw::kShp:
        if (d == Dest::kNormal) {
          FlushRun();
          shapePicture_ = false;
          shapeName_.clear();
          g.dest = Dest::kShape;
        }
        break;
      case Kw::kShpinst:
        if (d == Dest::kNormal || d == Dest::kShape) {
          FlushRun();
          g.dest = Dest::kShape;
          shapeName_.clear();
        } else {
          g.dest = Dest::kSkip;
        }
        break;
      case Kw::kSn:
        if (d == Dest::kShape) {
          g.dest = Dest::kShapeName;
          shapeName_.clear();
        }
        break;
      case Kw::kSv: break;
      case Kw::kShptxt: if (d == Dest::kShape) g.dest = Dest::kNormal; break;
      case Kw::kShprslt:
        if (d == Dest::kNormal || d == Dest::kShape)
          g.dest = shapePicture_ ? Dest::kSkip : Dest::kNormal;
        break;
      case Kw::kPntext: g.dest = Dest::kSkip; break;
      case Kw::kPn:
        if (d != Dest::kNormal) { g.dest = Dest::kSkip; break; }
        g.kind = Kind::kPnDef;
        g.dest = Dest::kPnDef;
        para.pnType = ListType::kNone;
        para.pnStart = 1;
        para.pnBefore.clear();
        para.pnAfter.clear();
        break;
      case Kw::kPnlvlblt: if (d == Dest::kPnDef) para.pnType = ListType::kBullet; break;
      case Kw::kPnlvlbody: case Kw::kPnlvl:
        if (d == Dest::kPnDef && para.pnType == ListType::kNone) para.pnType = ListType::kDecimal;
        break;
      case Kw::kPnlvlcont: if (d == Dest::kPnDef) para.pnType = ListType::kNone; break;
      case Kw::kPndec: if (d == Dest::kPnDef) para.pnType = ListType::kDecimal; break;
      case Kw::kPnucltr: if (d == Dest::kPnDef) para.pnType = ListType::kUpperAlpha; break;
      case Kw::kPnlcltr: if (d == Dest::kPnDef) para.pnType = ListType::kLowerAlpha; break;
      case Kw::kPnucrm: if (d == Dest::kPnDef) para.pnType = ListType::kUpperRoman; break;
      case Kw::kPnlcrm: if (d == Dest::kPnDef) para.pnType = ListType::kLowerRoman; break;
      case Kw::kPnstart: if (d == Dest::kPnDef) para.pnStart = std::clamp(p, 0, 32767); break;
      case Kw::kPntxtb: case Kw::kPntxta:
        if (d != Dest::kPnDef) { g.dest = Dest::kSkip; break; }
        g.kind = k == Kw::kPntxtb ? Kind::kPnTxtB : Kind::kPnTxtA;
        g.dest = Dest::kPnText;
        (k == Kw::kPntxtb ? para.pnBefore : para.pnAfter).clear();
        break;
      case Kw::kListtable: g.dest = d == Dest::kNormal ? Dest::kListTable : Dest::kSkip; break;
      case Kw::kList:
        if (d == Dest::kListTable) { g.kind = Kind::kList; list_ = WordList{}; }
        break;
      case Kw::kListid:
        if (g.kind == Kind::kList) list_.id = p;
        else if (g.kind == Kind::kListOverride) overrideList_ = p;
        break;
      case Kw::kListlevel:
        if (d == Dest::kListTable) { g.kind = Kind::kListLevel; level_ = WordListLevel{}; levelText_.clear(); }
        break;
      case Kw::kLevelnfc: if (g.kind == Kind::kListLevel) level_.nfc = p; break;
      case Kw::kLevelstartat: if (g.kind == Kind::kListLevel) level_.start = p; break;
      case Kw::kLeveltext:
        if (d == Dest::kListTable) { g.dest = Dest::kLevelText; levelText_.clear(); }
        else g.dest = Dest::kSkip;
        break;
      case Kw::kListoverridetable: g.dest = d == Dest::kNormal ? Dest::kListOverride : Dest::kSkip; break;
      case Kw::kListoverride:
        if (d == Dest::kListOverride) { g.kind = Kind::kListOverride; overrideLs_ = 0; overrideList_ = 0; }
        break;
      case Kw::kLs:
        if (g.kind == Kind::kListOverride) overrideLs_ = p;
        else if (d == Dest::kNormal) para.ls = p;
        break;
      case Kw::kIlvl: para.ilvl = std::clamp(p, 0, 8); break;
      case Kw::kSkipDest: g.dest = Dest::kSkip; break;
      case Kw::kUnknown: break;
    }
  }

  // Whether the word is the first thing in a group below the document's own (a "\*" aside):
  // only such a group is a picture or an object, and only such a group can be kept whole.
  bool OpensGroup(const RtfToken& t) const {
    if (stack_.size() <= 2) return false;
    const std::size_t from = stack_.back().start + 1;
    if (t.offset < from) return false;
    std::string_view before = in_.substr(from, t.offset - from);
    while (!before.empty()) {
      if (before[0] == ' ' || before[0] == '\r' || before[0] == '\n') before.remove_prefix(1);
      else if (before.substr(0, 2) == "\\*") before.remove_prefix(2);
      else return false;
    }
    return true;
  }

  // ---- Header tables ----

  bool InHeader(Dest d) const { return d == Dest::kNormal && !bodyStarted_; }

  static bool EndsFontTable(Kw k) {
    return k == Kw::kPard || k == Kw::kPar || k == Kw::kPlain || k == Kw::kFs || k == Kw::kB ||
           k == Kw::kI || k == Kw::kUl || k == Kw::kQc || k == Kw::kQr || k == Kw::kQj ||
           k == Kw::kLi || k == Kw::kFi || k == Kw::kSb || k == Kw::kSa || k == Kw::kTrowd;
  }

  static constexpr int kNoFont = -2147483647;

  void CommitFont() {
    if (defFont_ == kNoFont) return;
    FlushBytes();
    QString name = QString::fromStdU16String(fontName_).trimmed();
    fonts_[defFont_].name = name;
    defFont_ = kNoFont;
    fontName_.clear();
    cachedFont_ = kNoFont;
  }

  void CommitColour() {
    colours_.push_back(colourSet_ ? colour_ : QColor());
    colour_ = QColor(0, 0, 0);
    colourSet_ = false;
  }

  // ---- Building the document ----

  QTextCharFormat FormatFor(const CharState& c) {
    auto cached = formats_.find(c);
    if (cached != formats_.end()) return cached->second;
    QTextCharFormat f = base_;
    auto font = fonts_.find(c.font >= 0 ? c.font : deff_);
    if (font != fonts_.end() && !font->second.name.isEmpty()) {
      f.setFontFamilies(QStringList{font->second.name});
      if (font->second.charset >= 0) f.setProperty(rtfprop::kFontCharset, font->second.charset);
    }
    // Text that states no size has the document's default, 12 points unless \defchp says;
    // inserted text keeps the size at the cursor.
    if (c.size > 0) f.setFontPointSize(c.size / 2.0);
    else if (!insert_) f.setFontPointSize(defaultSize_ / 2.0);
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    f.setVerticalAlignment(c.vertical == 1   ? QTextCharFormat::AlignSuperScript
                           : c.vertical == 2 ? QTextCharFormat::AlignSubScript
                                             : QTextCharFormat::AlignNormal);
    if (c.fg > 0 && c.fg < static_cast<int>(colours_.size()) && colours_[c.fg].isValid())
      f.setForeground(colours_[c.fg]);
    if (c.bg > 0 && c.bg < static_cast<int>(colours_.size()) && colours_[c.bg].isValid())
      f.setBackground(colours_[c.bg]);
    if (c.protect) f.setProperty(rtfprop::kProtected, true);
    if (c.link > 0) {
      f.setAnchor(true);
      f.setAnchorHref(links_[static_cast<std::size_t>(c.link - 1)]);
    }
    if (c.field > 0)
      f.setProperty(rtfprop::kFieldInstruction, fieldInstructions_[static_cast<std::size_t>(c.field - 1)]);
    formats_.emplace(c, f);
    return f;
  }

  QTextBlockFormat BlockFormatFor(const ParaState& p) {
    QTextBlockFormat b;
    if (p.align == 1) b.setAlignment(Qt::AlignHCenter);
    else if (p.align == 2) b.setAlignment(Qt::AlignRight);
    else if (p.align == 3) b.setAlignment(Qt::AlignJustify);
    if (p.li) b.setLeftMargin(TwipsToUnits(p.li));
    if (p.ri) b.setRightMargin(TwipsToUnits(p.ri));
    if (p.fi) b.setTextIndent(TwipsToUnits(p.fi));
    if (p.sb) b.setTopMargin(TwipsToUnits(p.sb));
    if (p.sa) b.setBottomMargin(TwipsToUnits(p.sa));
    if (p.sl) {
      // A multiple of single spacing; some writers give it a negative sign.
      if (p.slmult) b.setLineHeight(std::abs(p.sl) * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
      else if (p.sl < 0) b.setLineHeight(TwipsToUnits(-p.sl), QTextBlockFormat::FixedHeight);
      else b.setLineHeight(TwipsToUnits(p.sl), QTextBlockFormat::MinimumHeight);
    }
    return b;
  }

  // The list a paragraph belongs to. A Word list (\ls of the list table, *word set) goes before
  // the rich edit numbering (\pn) that Word and this system's writer add for older readers.
  ListKey ListOf(const ParaState& p, bool* word) {
    ListKey key;
    *word = false;
    const WordListLevel* level = nullptr;
    if (p.ls > 0) {
      auto o = overrides_.find(p.ls);
      auto l = wordLists_.find(o != overrides_.end() ? o->second : p.ls);
      if (l != wordLists_.end() && p.ilvl >= 0 && p.ilvl < static_cast<int>(l->second.levels.size()))
        level = &l->second.levels[static_cast<std::size_t>(p.ilvl)];
    }
    if (p.pnType != ListType::kNone && (!level || level->nfc == 255)) {
      key.type = p.pnType;
      key.start = p.pnStart;
      if (key.type != ListType::kBullet) {
        key.before = p.pnBefore;
        key.after = p.pnAfter;
      }
      return key;
    }
    if (!level) return key;
    *word = true;
    switch (level->nfc) {
      case 255: *word = false; return key;
      case 23: key.type = ListType::kBullet; break;
      case 1: key.type = ListType::kUpperRoman; break;
      case 2: key.type = ListType::kLowerRoman; break;
      case 3: key.type = ListType::kUpperAlpha; break;
      case 4: key.type = ListType::kLowerAlpha; break;
      default: key.type = ListType::kDecimal; break;
    }
    key.start = level->start;
    if (key.type != ListType::kBullet && !level->text.empty()) {
      // Level text: a length byte, then the text with bytes 0..8 standing for level numbers.
      const std::string& s = level->text;
      const std::size_t len = std::min<std::size_t>(static_cast<unsigned char>(s[0]), s.size() - 1);
      std::string before, after;
      bool seen = false;
      for (std::size_t i = 1; i <= len; ++i) {
        const auto ch = static_cast<unsigned char>(s[i]);
        if (ch < 9) { seen = true; after.clear(); continue; }
        if (ch < 0x80) (seen ? after : before).push_back(static_cast<char>(ch));
      }
      key.before.assign(before.begin(), before.end());
      key.after.assign(after.begin(), after.end());
    }
    return key;
  }

  void ApplyParagraph(const ParaState& p, const CharState& c) {
    // Setting a block's formats splits the document's text there and tells the document of a
    // change; most paragraphs already have the formats they end with (a block is made with the
    // character format of its first text), so those are left as they are.
    const QTextBlockFormat blockFormat = BlockFormatFor(p);
    if (cursor_.blockFormat() != blockFormat) cursor_.setBlockFormat(blockFormat);
    const QTextCharFormat charFormat = FormatFor(c);
    if (cursor_.blockCharFormat() != charFormat) cursor_.setBlockCharFormat(charFormat);
    bool word = false;
    const ListKey key = ListOf(p, &word);
    QTextBlock block = cursor_.block();
    if (key.type == ListType::kNone) {
      lastList_ = nullptr;
      return;
    }
    // A Word list (\ls) goes on where it was left, across its sub-levels and other paragraphs
    // between (1. 2. a. b. 3.); a sub-level starts again after a paragraph of a level above.
    QTextList* wordList = nullptr;
    if (word) {
      for (auto it = wordListsInUse_.begin(); it != wordListsInUse_.end();) {
        if (it->ls == p.ls && it->ilvl > p.ilvl) it = wordListsInUse_.erase(it);
        else ++it;
      }
      for (const WordListInUse& w : wordListsInUse_)
        if (w.ls == p.ls && w.ilvl == p.ilvl && w.table == table_ && w.key == key) wordList = w.list;
    }
    if (wordList || (!word && lastList_ && key == lastListKey_ && block.previous() == lastListBlock_ &&
                     !lastList_->format().hasProperty(rtfprop::kListLevel))) {
      if (wordList) {
        lastList_ = wordList;
        lastListKey_ = key;
      }
      lastList_->add(block);
      // The list's indent was set by its first paragraph. One that hangs where that one did
      // not (or the other way) takes the difference in its start indent, so that its text
      // stands where the RTF puts it, and the writer, which gives the difference back, writes
      // the indent it read.
      const int shift = ListIndentForParagraph(p.fi) - lastList_->format().indent();
      if (shift != 0) {
        QTextBlockFormat b = cursor_.blockFormat();
        b.setLeftMargin(TwipsToUnits(p.li + shift * UnitsToTwips(doc_->indentWidth())));
        cursor_.setBlockFormat(b);
      }
    } else {
      QTextListFormat lf;
      static const QTextListFormat::Style kStyles[] = {
          QTextListFormat::ListStyleUndefined, QTextListFormat::ListDisc,
          QTextListFormat::ListDecimal, QTextListFormat::ListLowerAlpha,
          QTextListFormat::ListUpperAlpha, QTextListFormat::ListLowerRoman,
          QTextListFormat::ListUpperRoman};
      lf.setStyle(kStyles[static_cast<int>(key.type)]);
      lf.setIndent(ListIndentForParagraph(p.fi));
      if (key.type != ListType::kBullet) {
        lf.setNumberPrefix(QString::fromStdU16String(key.before));
        lf.setNumberSuffix(QString::fromStdU16String(key.after));
        if (key.start != 1) lf.setProperty(rtfprop::kListStart, key.start);
      }
      if (word) {
        lf.setProperty(rtfprop::kListLevel, p.ilvl);
        lf.setProperty(rtfprop::kListGroup, p.ls);
      }
      lastList_ = cursor_.createList(lf);
      lastListKey_ = key;
      if (word) wordListsInUse_.push_back(WordListInUse{p.ls, p.ilvl, table_, key, lastList_});
    }
    lastListBlock_ = cursor_.block();
  }

  // Makes the cursor ready for content of the current paragraph: in its table cell, or in a
  // new block when the paragraph before it has ended.
  // Content belongs to a table cell in a paragraph marked \intbl, and also between a row
  // definition and its \row (some writers leave \intbl out).
  // A paragraph still marked \intbl right after a \row (the final \par of a table, say) is
  // no new row: that needs a row definition, a \pard or an \intbl of its own.
  bool InTable() { return inRow_ || (G().para.intbl && !afterRow_); }

  void PrepareInsert() {
    if (InTable()) {
      EnterCell();
      return;
    }
    LeaveTable();
    if (pendingBreak_) {
      NewBlock();
      pendingBreak_ = false;
    }
  }

  // A new paragraph, with the character format in force (which it most often ends with).
  void NewBlock() { cursor_.insertBlock(QTextBlockFormat(), FormatFor(G().chr)); }

  void FlushRun() {
    if (run_.empty()) return;
    bodyStarted_ = true;
    const QString text = QString::fromStdU16String(run_);
    run_.clear();
    PrepareInsert();
    cursor_.insertText(text, FormatFor(runChar_));
    blockHasContent_ = true;
  }

  void InsertImage(const QTextImageFormat& f) {
    if (f.name().isEmpty()) return;
    bodyStarted_ = true;
    FlushRun();
    PrepareInsert();
    cursor_.insertImage(f);
    blockHasContent_ = true;
  }

  void EndParagraph() {
    FlushBytes();
    FlushRun();
    bodyStarted_ = true;
    const Group& g = G();
    if (InTable()) {
      EnterCell();
      ApplyParagraph(g.para, g.chr);
      NewBlock();
      return;
    }
    LeaveTable();
    if (pendingBreak_) NewBlock();
    ApplyParagraph(g.para, g.chr);
    pendingBreak_ = true;
    blockHasContent_ = false;
  }

  // ---- Tables ----

  void EnterCell() {
    if (!table_) {
      const int columns = std::clamp<int>(static_cast<int>(row_.cells.size()), 1, kMaxColumns);
      pendingBreak_ = false;  // the paragraph that ended stays before the table
      QTextTableFormat tf;
      tf.setBorderCollapse(true);
      tf.setCellSpacing(0);
      tf.setBorder(0);
      tf.setCellPadding(TwipsToUnits(row_.gap));
      table_ = cursor_.insertTable(1, columns, tf);
      tableRow_ = tableCol_ = 0;
      usedRows_ = 1;
      cursorRow_ = cursorCol_ = 0;
      lastList_ = nullptr;
    }
    // A table holds at most kMaxCells cells; what would go beyond goes into its last cells.
    if (tableCol_ >= table_->columns()) {
      if (qint64(table_->rows()) * (tableCol_ + 1) <= kMaxCells)
        table_->appendColumns(tableCol_ - table_->columns() + 1);
      else
        tableCol_ = table_->columns() - 1;
    }
    if (tableRow_ >= table_->rows()) {
      // Rows are added in growing batches and the unused ones removed when the table ends:
      // QTextTable recomputes its whole grid after each change of shape.
      const int rows = table_->rows();
      const int most = static_cast<int>(kMaxCells / table_->columns());
      if (tableRow_ < most)
        table_->appendRows(std::min(std::max(tableRow_ + 1 - rows, rows), most - rows));
      else
        tableRow_ = rows - 1;
    }
    usedRows_ = std::max(usedRows_, tableRow_ + 1);
    if (cursorRow_ != tableRow_ || cursorCol_ != tableCol_) {
      cursor_ = table_->cellAt(tableRow_, tableCol_).firstCursorPosition();
      cursorRow_ = tableRow_;
      cursorCol_ = tableCol_;
      lastList_ = nullptr;
    }
  }

  void LeaveTable() {
    if (!table_) return;
    if (table_->rows() > usedRows_) table_->removeRows(usedRows_, table_->rows() - usedRows_);
    cursor_ = table_->lastCursorPosition();
    cursor_.movePosition(QTextCursor::NextBlock);
    table_ = nullptr;
    lastList_ = nullptr;
    blockHasContent_ = false;
  }

  void Cell() {
    FlushRun();
    EnterCell();
    ApplyParagraph(G().para, G().chr);
    if (tableCol_ < kMaxColumns) ++tableCol_;
  }

  static QVariantList Sides(const BorderSides& b) {
    return QVariantList{b.w[0], b.w[1], b.w[2], b.w[3]};
  }

  void Row() {
    FlushRun();
    if (!table_ || tableRow_ >= table_->rows()) {
      inRow_ = false;
      afterRow_ = true;
      return;
    }
    if (tableRow_ == 0 && !row_.cells.empty()) {
      QTextTableFormat tf = table_->format();
      QVariantList rights;
      QList<QTextLength> widths;
      int left = row_.left;
      for (const CellDef& cell : row_.cells) {
        rights.push_back(cell.right);
        widths.push_back(QTextLength(QTextLength::FixedLength, TwipsToUnits(std::max(cell.right - left, 1))));
        left = cell.right;
      }
      tf.setProperty(rtfprop::kTableCellRights, rights);
      tf.setProperty(rtfprop::kTableGap, row_.gap);
      tf.setProperty(rtfprop::kTableLeft, row_.left);
      tf.setProperty(rtfprop::kTableRowBorders, Sides(row_.borders));
      if (widths.size() == table_->columns()) tf.setColumnWidthConstraints(widths);
      tf.setCellPadding(TwipsToUnits(row_.gap));
      tf.setLeftMargin(TwipsToUnits(std::max(row_.left + row_.gap, 0)));
      table_->setFormat(tf);
    }
    const int n = std::min<int>(static_cast<int>(row_.cells.size()), table_->columns());
    for (int col = 0; col < n; ++col) {
      const BorderSides& b = row_.cells[static_cast<std::size_t>(col)].borders;
      QTextTableCell cell = table_->cellAt(tableRow_, col);
      QTextTableCellFormat cf = cell.format().toTableCellFormat();
      cf.setProperty(rtfprop::kCellBorders, Sides(b));
      const double w[4] = {b.w[0] / 15.0, b.w[1] / 15.0, b.w[2] / 15.0, b.w[3] / 15.0};
      auto px = [](double v) { return v > 0 ? std::max(v, 1.0) : 0.0; };
      cf.setLeftBorder(px(w[0]));
      cf.setTopBorder(px(w[1]));
      cf.setRightBorder(px(w[2]));
      cf.setBottomBorder(px(w[3]));
      cf.setBorderBrush(QBrush(Qt::black));
      cf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
      cell.setFormat(cf);
    }
    if (tableRow_ < kMaxRows) ++tableRow_;
    tableCol_ = 0;
    inRow_ = false;
    afterRow_ = true;
  }

  // ---- Pictures and objects ----

  static void GoalSize(const Picture& p, int* w, int* h) {
    int gw = p.goalw, gh = p.goalh;
    if (gw <= 0 || gh <= 0) {
      const bool pixels = p.type == PictType::kPng || p.type == PictType::kJpeg ||
                          p.type == PictType::kDib || p.type == PictType::kWbitmap;
      // Metafile sizes are in hundredths of a millimetre, bitmap sizes in pixels.
      gw = pixels ? p.picw * 15 : static_cast<int>(static_cast<long long>(p.picw) * 1440 / 2540);
      gh = pixels ? p.pich * 15 : static_cast<int>(static_cast<long long>(p.pich) * 1440 / 2540);
    }
    *w = static_cast<int>(std::clamp<long long>(static_cast<long long>(gw) * p.scalex / 100, 0, 60000));
    *h = static_cast<int>(std::clamp<long long>(static_cast<long long>(gh) * p.scaley / 100, 0, 60000));
  }

  void EndPicture(std::size_t end) {
    int w = 0, h = 0;
    GoalSize(pict_, &w, &h);
    if (pictInObject_) {
      if (object_.active && object_.display.isNull()) {
        object_.display = DisplayOf(pict_, &pixelBudget_);
        object_.pictw = w;
        object_.picth = h;
      }
      return;
    }
    if (pict_.type == PictType::kPng || pict_.type == PictType::kJpeg) {
      const QTextImageFormat f = MakePictureFormat(
          doc_, pict_.data, pict_.type == PictType::kPng ? PictureType::kPng : PictureType::kJpeg,
          pict_.goalw > 0 || pict_.scalex != 100 ? w : 0, pict_.goalh > 0 || pict_.scaley != 100 ? h : 0,
          &pixelBudget_);
      if (!f.name().isEmpty()) {
        InsertImage(f);
        return;
      }
    }
    const QByteArray group(in_.data() + pict_.start, static_cast<qsizetype>(end - pict_.start));
    InsertImage(MakeKeptGroupFormat(doc_, group, DisplayOf(pict_, &pixelBudget_), w, h));
  }

  void EndObject(std::size_t end) {
    if (!object_.active) return;
    object_.active = false;
    const QByteArray group(in_.data() + object_.start, static_cast<qsizetype>(end - object_.start));
    const int w = object_.objw > 0 ? object_.objw : object_.pictw;
    const int h = object_.objh > 0 ? object_.objh : object_.picth;
    InsertImage(MakeKeptGroupFormat(doc_, group, object_.display, w, h));
  }

  void FinishDocument() {
    if (table_) LeaveTable();
    if (!pendingBreak_ && blockHasContent_) {
      const Group& g = G();
      if (!InTable()) ApplyParagraph(g.para, g.chr);
    }
  }

  static constexpr int kMaxColumns = 63;  // as in a rich edit control
  static constexpr int kMaxRows = 100000;
  static constexpr qint64 kMaxCells = 100000;

  std::string_view in_;
  RtfLexer lexer_;
  QTextCursor& cursor_;
  QTextDocument* doc_;
  QTextCharFormat base_;
  std::vector<Group> stack_;
  int skipNest_ = 0;
  bool star_ = false;
  bool groupFresh_ = false;  // nothing but blanks and "\*" since the group opened
  int ucSkip_ = 0;

  // The document's code page (\ansicpg, \mac, \pc, \pca); 0 while it names none, and then
  // bytes in a font without a character set read as guessCodePage_ where they look like it,
  // else as code page 1252.
  int ansiCodePage_ = 0;
  int guessCodePage_;
  bool insert_;  // inserting into a document: unspecified properties are the cursor's
  int deff_ = 0;
  bool fontTableSeen_ = false, colourTableSeen_ = false;
  bool bodyStarted_ = false;  // text, a picture or a paragraph has been read
  std::unordered_map<int, Font> fonts_;
  int defFont_ = kNoFont;
  std::u16string fontName_;
  int cachedFont_ = kNoFont, cachedAnsi_ = 0, cachedCodePage_ = 0;
  std::vector<QColor> colours_;
  QColor colour_{0, 0, 0};
  bool colourSet_ = false;

  std::string pending_;
  std::string hexRun_;
  int pendingCodePage_ = 0;
  std::u16string units_;
  std::u16string run_;
  CharState runChar_;
  std::unordered_map<CharState, QTextCharFormat, CharStateHash> formats_;

  std::vector<QString> links_;
  std::vector<QString> fieldInstructions_;
  std::vector<FieldContext> fields_;

  bool pendingBreak_ = false;
  bool blockHasContent_ = false;
  QTextList* lastList_ = nullptr;
  QTextBlock lastListBlock_;
  ListKey lastListKey_;

  std::unordered_map<int, CharState> styles_;  // character formats of paragraph styles
  int defaultSize_ = 24;                         // half points
  bool nestTab_ = false;                         // a nested table's cell has ended
  bool shapePicture_ = false;                    // the current shape's picture was read
  std::u16string shapeName_;                     // the name of the shape property being read
  std::unordered_map<int, WordList> wordLists_;
  std::unordered_map<int, int> overrides_;
  struct WordListInUse {
    int ls, ilvl;
    QTextTable* table;  // lists go on within the table (or the body) they began in
    ListKey key;
    QTextList* list;
  };
  std::vector<WordListInUse> wordListsInUse_;
  WordList list_;
  WordListLevel level_;
  std::string levelText_;
  int overrideLs_ = 0, overrideList_ = 0;

  RowDef row_;
  BorderSides cellBorders_;
  int* borderSide_ = nullptr;
  bool inRow_ = false, afterRow_ = false;
  QTextTable* table_ = nullptr;
  int tableRow_ = 0, tableCol_ = 0, cursorRow_ = -1, cursorCol_ = -1, usedRows_ = 0;

  // Pixels of pictures decoded for display, all pictures of the document together: 64 M
  // (256 MB). Pictures beyond it are kept and shown by a placeholder.
  qint64 pixelBudget_ = qint64(64) << 20;
  Picture pict_;
  bool pictInObject_ = false;
  ObjectGroup object_;
};

QTextCharFormat InheritedFormat(const QTextCursor& cursor) {
  const QTextCharFormat at = cursor.charFormat();
  QTextCharFormat base;
  if (at.hasProperty(QTextFormat::FontFamilies))
    base.setProperty(QTextFormat::FontFamilies, at.property(QTextFormat::FontFamilies));
  if (at.hasProperty(QTextFormat::FontPointSize)) base.setFontPointSize(at.fontPointSize());
  if (at.hasProperty(QTextFormat::ForegroundBrush)) base.setForeground(at.foreground());
  if (at.hasProperty(QTextFormat::BackgroundBrush)) base.setBackground(at.background());
  return base;
}

}  // namespace

bool ReadRtf(const QByteArray& rtf, QTextDocument* doc, const RtfReadOptions& options,
             RtfReadResult* result) {
  const bool undo = doc->isUndoRedoEnabled();
  doc->setUndoRedoEnabled(false);
  doc->clear();
  ApplyNoteDefaults(doc);
  QTextCursor cursor(doc);
  // One edit block: QTextDocument then rescans its frames once at the end instead of after each
  // table (which made a note with many tables quadratic to load).
  cursor.beginEditBlock();
  Reader reader(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())), cursor,
                options, QTextCharFormat(), false);
  const RtfReadResult r = reader.Run();
  cursor.endEditBlock();
  doc->setUndoRedoEnabled(undo);
  doc->setModified(false);
  if (result) *result = r;
  return r.complete;
}

bool InsertRtf(QTextCursor& cursor, const QByteArray& rtf, const RtfReadOptions& options,
               RtfReadResult* result) {
  if (!cursor.document()) return false;
  cursor.beginEditBlock();
  cursor.removeSelectedText();
  QTextCursor at = cursor;
  Reader reader(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())), at,
                options, InheritedFormat(cursor), true);
  const RtfReadResult r = reader.Run();
  cursor.endEditBlock();
  cursor.setPosition(at.position());
  if (result) *result = r;
  return r.complete;
}

}  // namespace zorbek
