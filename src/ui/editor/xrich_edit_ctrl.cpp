#include "ui/editor/xrich_edit_ctrl.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <mutex>

#include "core/app/paths.h"
#include "core/app/prompts.h"
#include "core/editor/link_click.h"
#include "core/rtf/rtf_pieces.h"
#include "rtf/rtf_document.h"
#include "rtf/rtf_reader.h"
#include "rtf/rtf_writer.h"
#include "ui/editor/address_marker.h"
#include "ui/app/desktop.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor/note_document.h"
#include "ui/editor/text_format.h"
#include "ui/editor/wnd_esr.h"

namespace zorbek {

using editor::CheckState;
using editor::Uniform;

namespace {

// ---- Faces --------------------------------------------------------------------------------------

// Notes written on Windows name Chinese faces this system may not have. The document keeps the
// names; the screen shows an installed Chinese face of the same kind instead.
void InstallChineseFaceFallbacks() {
  static std::once_flag once;
  std::call_once(once, [] {
    const QStringList installed = QFontDatabase::families();
    auto pick = [&](const QStringList& wanted) -> QString {
      for (const QString& w : wanted)
        for (const QString& f : installed)
          if (f.contains(w, Qt::CaseInsensitive)) return f;
      return {};
    };
    const QString serif = pick({QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Serif CJK"),
                                QStringLiteral("UMing"), QStringLiteral("Song"),
                                QStringLiteral("Ming")});
    const QString sans = pick({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Sans CJK"),
                               QStringLiteral("WenQuanYi"), QStringLiteral("Hei")});
    auto fallBack = [&](const QStringList& names, const QString& face) {
      if (face.isEmpty()) return;
      for (const QString& name : names)
        if (!installed.contains(name)) QFont::insertSubstitution(name, face);
    };
    fallBack({QStringLiteral("宋体"), QStringLiteral("新宋体"), QStringLiteral("SimSun"),
              QStringLiteral("NSimSun"), QStringLiteral("仿宋"), QStringLiteral("仿宋_GB2312"),
              QStringLiteral("FangSong"), QStringLiteral("楷体"), QStringLiteral("楷体_GB2312"),
              QStringLiteral("KaiTi")},
             serif.isEmpty() ? sans : serif);
    fallBack({QStringLiteral("黑体"), QStringLiteral("SimHei"), QStringLiteral("微软雅黑"),
              QStringLiteral("Microsoft YaHei")},
             sans.isEmpty() ? serif : sans);
  });
}

QString FaceOf(const QTextCharFormat& f, const QFont& fallback) {
  const QStringList families = f.fontFamilies().toStringList();
  if (!families.isEmpty() && !families.first().isEmpty()) return families.first();
  const QString family = f.property(QTextFormat::FontFamily).toString();
  if (!family.isEmpty()) return family;
  return fallback.family();
}

int HeightOf(const QTextCharFormat& f, const QFont& fallback) {
  if (f.hasProperty(QTextFormat::FontPointSize)) return editor::PointsToTwips(f.fontPointSize());
  return editor::PointsToTwips(fallback.pointSizeF());
}

template <typename T>
void Meet(Uniform<T>& u, const T& value, bool first) {
  if (first)
    u = value;
  else if (u && !(*u == value))
    u.reset();
}

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

bool IsTypedText(const QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return true;
  if (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
  const QString text = e->text();
  return !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\t');
}

CXRichEditCtrl::LinkOpener& Opener() {
  static CXRichEditCtrl::LinkOpener opener;
  return opener;
}

std::string& FileStoreOverride() {
  static std::string directory;
  return directory;
}

// The selected paragraphs: from the one holding the selection start to the one holding its
// last character.
std::vector<QTextBlock> SelectedBlocks(const QTextCursor& c) {
  std::vector<QTextBlock> blocks;
  const QTextDocument* doc = c.document();
  const int s = c.selectionStart(), e = c.selectionEnd();
  const QTextBlock last = doc->findBlock(e > s ? e - 1 : s);
  for (QTextBlock b = doc->findBlock(s); b.isValid(); b = b.next()) {
    blocks.push_back(b);
    if (b == last) break;
  }
  return blocks;
}

}  // namespace

// ---- Construction -------------------------------------------------------------------------------

Uniform<bool> CXRichEditCtrl::CharFormat::Get(Effect effect) const {
  switch (effect) {
    case Effect::Bold: return bold;
    case Effect::Italic: return italic;
    case Effect::Underline: return underline;
    case Effect::StrikeOut: return strikeOut;
    case Effect::Superscript: return superscript;
    case Effect::Subscript: return subscript;
    case Effect::Protected: return protect;
  }
  return std::nullopt;
}

CXRichEditCtrl::CXRichEditCtrl(QWidget* parent) : QTextEdit(parent) {
  InstallChineseFaceFallbacks();
  setObjectName(QStringLiteral("RichEdit"));
  setAcceptRichText(true);
  setLineWrapMode(QTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setFrameShape(QFrame::NoFrame);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  addressMarker_ = new AddressMarker(this);
  AttachDocument();
  ResetDocument();
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
    pasteKnown_ = false;
    emit StatesMayHaveChanged();
  });
  connect(this, &QTextEdit::selectionChanged, this, [this] {
    MarkFormatsStale();
    emit StatesMayHaveChanged();
  });
  connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
    MarkFormatsStale();
    emit StatesMayHaveChanged();
  });
}

void CXRichEditCtrl::AttachDocument() {
  QTextDocument* doc = document();
  addressMarker_->SetDocument(doc);
  connect(doc, &QTextDocument::contentsChange, this, [this](int, int, int) {
    if (!typing_) typingGroupOpen_ = false;
    MarkFormatsStale();
  });
  connect(doc, &QTextDocument::undoAvailable, this, [this] { emit StatesMayHaveChanged(); });
  connect(doc, &QTextDocument::redoAvailable, this, [this] { emit StatesMayHaveChanged(); });
  connect(doc, &QTextDocument::modificationChanged, this, [this] { emit StatesMayHaveChanged(); });
}

void CXRichEditCtrl::AdoptDocument(QTextDocument* doc) {
  QPointer<QTextDocument> old = document();  // the first one goes with setDocument
  disconnect(old, nullptr, this, nullptr);
  // A document that goes with this control keeps its marks; one that lives on loses them.
  if (old && old != doc && old->parent() == this)
    addressMarker_->Forget();
  else
    addressMarker_->SetDocument(nullptr);
  doc->setParent(this);
  doc->setUndoRedoEnabled(false);
  doc->setUndoRedoEnabled(true);
  doc->setModified(false);
  // Marked before it is shown, so that the first layout has the marks and no paragraph is
  // laid out twice.
  addressMarker_->SetDocument(doc);
  setDocument(doc);
  if (old && old != doc && old->parent() == this) old->deleteLater();
  AttachDocument();
  firstChar_ = true;
  typingGroupOpen_ = false;
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

CXRichEditCtrl::~CXRichEditCtrl() {
  // The document may outlive this part of the object while the widget takes its children down.
  disconnect(document(), nullptr, this, nullptr);
  addressMarker_->Forget();
}

void CXRichEditCtrl::ResetDocument() {
  QTextDocument* doc = document();
  doc->setUndoRedoEnabled(false);
  doc->clear();
  ApplyNoteDefaults(doc);
  QTextCharFormat format;
  format.setFontFamilies({QString::fromUtf8(kDefaultFace)});
  format.setFontPointSize(kDefaultHeightTwips / 20.0);
  format.setFontWeight(QFont::Normal);
  format.setFontItalic(false);
  format.setFontUnderline(false);
  format.setFontStrikeOut(false);
  editor::SetProtected(format, false);
  setCurrentCharFormat(format);
  doc->setUndoRedoEnabled(true);
  doc->setModified(false);
  firstChar_ = true;
  typingGroupOpen_ = false;
  MarkFormatsStale();
}

// ---- Format caches --------------------------------------------------------------------------------

const CXRichEditCtrl::CharFormat& CXRichEditCtrl::SelectionCharFormat() {
  if (charStale_) RefreshCharFormat();
  return char_;
}

const CXRichEditCtrl::ParaFormat& CXRichEditCtrl::SelectionParaFormat() {
  if (paraStale_) RefreshParaFormat();
  return para_;
}

void CXRichEditCtrl::RefreshCharFormat() {
  const QTextCursor c = textCursor();
  const QFont fallback = document()->defaultFont();
  CharFormat out;
  bool first = true;
  auto meet = [&](const QTextCharFormat& f) {
    const int align = f.verticalAlignment();
    Meet(out.bold, editor::IsBold(f), first);
    Meet(out.italic, f.fontItalic(), first);
    Meet(out.underline, f.fontUnderline(), first);
    Meet(out.strikeOut, f.fontStrikeOut(), first);
    Meet(out.superscript, align == QTextCharFormat::AlignSuperScript, first);
    Meet(out.subscript, align == QTextCharFormat::AlignSubScript, first);
    Meet(out.protect, editor::IsProtected(f), first);
    Meet(out.face, FaceOf(f, fallback), first);
    Meet(out.heightTwips, HeightOf(f, fallback), first);
    const QColor text = f.hasProperty(QTextFormat::ForegroundBrush) &&
                                f.foreground().style() != Qt::NoBrush
                            ? f.foreground().color()
                            : QColor();
    const QColor back = f.hasProperty(QTextFormat::BackgroundBrush) &&
                                f.background().style() != Qt::NoBrush
                            ? f.background().color()
                            : QColor();
    Meet(out.textColor, text, first);
    Meet(out.backColor, back, first);
    first = false;
  };
  if (c.hasSelection()) {
    const int s = c.selectionStart(), e = c.selectionEnd();
    for (QTextBlock b = document()->findBlock(s); b.isValid() && b.position() < e; b = b.next()) {
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (!f.isValid() || f.position() + f.length() <= s || f.position() >= e) continue;
        meet(f.charFormat());
      }
    }
  }
  if (first) meet(c.charFormat());  // no selection, or only paragraph ends selected
  char_ = out;
  charStale_ = false;
}

void CXRichEditCtrl::RefreshParaFormat() {
  ParaFormat out;
  bool first = true;
  for (const QTextBlock& b : SelectedBlocks(textCursor())) {
    const QTextBlockFormat f = b.blockFormat();
    const int offset = -editor::MarginToTwips(f.textIndent());
    const int start = editor::MarginToTwips(f.leftMargin()) - offset;
    Meet(out.numbering, b.textList() ? editor::NumberingOfStyle(b.textList()->format().style())
                                     : int(editor::kNumberingNone),
         first);
    Meet(out.paragraph.alignment, editor::AlignmentOf(f.alignment()), first);
    Meet(out.paragraph.startIndent, start, first);
    Meet(out.paragraph.offset, offset, first);
    Meet(out.paragraph.rightIndent, editor::MarginToTwips(f.rightMargin()), first);
    first = false;
  }
  para_ = out;
  paraStale_ = false;
}

// ---- Character formats ----------------------------------------------------------------------------

void CXRichEditCtrl::MergeFormat(const QTextCharFormat& format) {
  mergeCurrentCharFormat(format);
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::MergeFormatOnWordOrSelection(const QTextCharFormat& format) {
  QTextCursor c = textCursor();
  if (!c.hasSelection()) c.select(QTextCursor::WordUnderCursor);
  if (c.hasSelection()) c.mergeCharFormat(format);
  mergeCurrentCharFormat(format);  // the typing format as well
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::ToggleEffect(Effect effect) {
  const bool on = editor::ToggledEffect(SelectionCharFormat().Get(effect));
  QTextCharFormat f;
  switch (effect) {
    case Effect::Bold: f.setFontWeight(on ? QFont::Bold : QFont::Normal); break;
    case Effect::Italic: f.setFontItalic(on); break;
    case Effect::Underline: f.setFontUnderline(on); break;
    case Effect::StrikeOut: f.setFontStrikeOut(on); break;
    case Effect::Superscript:
      f.setVerticalAlignment(on ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignNormal);
      break;
    case Effect::Subscript:
      f.setVerticalAlignment(on ? QTextCharFormat::AlignSubScript : QTextCharFormat::AlignNormal);
      break;
    case Effect::Protected: editor::SetProtected(f, on); break;
  }
  MergeFormat(f);
}

CheckState CXRichEditCtrl::EffectState(Effect effect) {
  return editor::EffectCheckState(SelectionCharFormat().Get(effect));
}

void CXRichEditCtrl::SetTextColor(const QColor& color) {
  QTextCharFormat f;
  f.setForeground(color);
  MergeFormat(f);
}

void CXRichEditCtrl::SetBackColor(const QColor& color) {
  QTextCharFormat f;
  f.setBackground(color);
  MergeFormat(f);
}

void CXRichEditCtrl::ToggleProtect() {
  const Uniform<bool> protect = SelectionCharFormat().protect;
  QTextCharFormat f;
  if (protect && *protect) {
    editor::SetProtected(f, false);
    f.setBackground(QColor(255, 255, 255));
  } else {
    f.setBackground(QColor(255, 255, 0));
    editor::SetProtected(f, true);
  }
  MergeFormat(f);
}

void CXRichEditCtrl::SetFontFace(const QString& face) {
  QTextCharFormat f;
  f.setFontFamilies({face});
  MergeFormat(f);
}

void CXRichEditCtrl::SetFontHeight(int twips) {
  if (twips <= 0) return;
  QTextCharFormat f;
  f.setFontPointSize(twips / 20.0);
  MergeFormat(f);
}

void CXRichEditCtrl::FontDialog() {
  const bool selected = textCursor().hasSelection();
  FontChoice initial;
  if (selected) {
    const CharFormat& cf = SelectionCharFormat();
    initial.face = cf.face.value_or(QString()).toStdString();
    initial.pointSize = cf.heightTwips.value_or(kDefaultHeightTwips) / 20.0;
    initial.bold = cf.bold.value_or(false);
    initial.italic = cf.italic.value_or(false);
    initial.underline = cf.underline.value_or(false);
    initial.strikeOut = cf.strikeOut.value_or(false);
    if (cf.textColor && cf.textColor->isValid()) {
      const QColor c = *cf.textColor;
      initial.color = Rgb{std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue())};
    }
  } else {
    initial.face = kDefaultFace;
    initial.pointSize = kDefaultHeightTwips / 20.0;
  }
  const std::optional<FontChoice> chosen = prompts().ChooseFont(initial);
  setFocus();
  if (!chosen) return;
  // Only what the user changed in the dialog is applied: a face the note names and this
  // system lacks (宋体 on Linux) stays in the note, and OK without a change changes nothing.
  QTextCharFormat f;
  if (chosen->face != initial.face) f.setFontFamilies({QString::fromStdString(chosen->face)});
  if (chosen->pointSize > 0 && std::abs(chosen->pointSize - initial.pointSize) > 0.01)
    f.setFontPointSize(chosen->pointSize);
  if (chosen->bold != initial.bold) f.setFontWeight(chosen->bold ? QFont::Bold : QFont::Normal);
  if (chosen->italic != initial.italic) f.setFontItalic(chosen->italic);
  if (chosen->underline != initial.underline) f.setFontUnderline(chosen->underline);
  if (chosen->strikeOut != initial.strikeOut) f.setFontStrikeOut(chosen->strikeOut);
  if (!(chosen->color == initial.color))
    f.setForeground(QColor(chosen->color.r, chosen->color.g, chosen->color.b));
  if (f.properties().isEmpty()) return;
  if (selected)
    MergeFormat(f);
  else
    MergeFormatOnWordOrSelection(f);
}

// ---- Paragraph formats ------------------------------------------------------------------------------

void CXRichEditCtrl::SetAlignment(int alignment) {
  QTextBlockFormat f;
  f.setAlignment(editor::QtAlignmentOf(alignment));
  textCursor().mergeBlockFormat(f);
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::ApplyNumbering(int numbering) {
  QTextCursor c = textCursor();
  const std::vector<QTextBlock> blocks = SelectedBlocks(c);
  c.beginEditBlock();
  if (numbering == editor::kNumberingNone) {
    for (const QTextBlock& b : blocks) {
      QTextBlockFormat f = b.blockFormat();
      f.setObjectIndex(-1);
      if (f.textIndent() < 0) f.setTextIndent(0);
      QTextCursor(b).setBlockFormat(f);
    }
  } else {
    // The paragraphs become one list of their own, numbered from 1. Their hanging first-line
    // offsets are cleared below, so, as in notes read from RTF, the list's own indent makes
    // room for the marker.
    QTextListFormat lf;
    lf.setStyle(editor::StyleOfNumbering(numbering));
    lf.setIndent(ListIndentForParagraph(0));
    QTextCursor range(document());
    range.setPosition(blocks.front().position());
    range.setPosition(blocks.back().position(), QTextCursor::KeepAnchor);
    range.createList(lf);
    for (const QTextBlock& b : blocks) {
      if (b.blockFormat().textIndent() < 0) {
        QTextBlockFormat f;
        f.setTextIndent(0);
        QTextCursor(b).mergeBlockFormat(f);
      }
    }
  }
  c.endEditBlock();
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::SetNumbering(int numbering) {
  ApplyNumbering(editor::NumberingToApply(SelectionParaFormat().numbering, numbering));
}

void CXRichEditCtrl::CycleNumbering() {
  const std::optional<int> next = editor::NextNumbering(SelectionParaFormat().numbering);
  if (!next) return;
  // The next value is applied as it is: from bullets the cycle goes on to numbers.
  ApplyNumbering(*next);
}

void CXRichEditCtrl::Indent(int twips) {
  QTextCursor c = textCursor();
  c.beginEditBlock();
  for (const QTextBlock& b : SelectedBlocks(c)) {
    QTextBlockFormat f = b.blockFormat();
    const int start = editor::MarginToTwips(f.leftMargin() + f.textIndent());
    f.setLeftMargin(editor::TwipsToMargin(std::max(0, start + twips)));
    f.setTextIndent(0);
    QTextCursor(b).setBlockFormat(f);
  }
  c.endEditBlock();
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::ApplyParagraphFormat(const editor::ParagraphFormat& p) {
  QTextCursor c = textCursor();
  c.beginEditBlock();
  for (const QTextBlock& b : SelectedBlocks(c)) {
    QTextBlockFormat f = b.blockFormat();
    if (p.alignment) f.setAlignment(editor::QtAlignmentOf(*p.alignment));
    if (p.rightIndent) f.setRightMargin(editor::TwipsToMargin(std::max(0, *p.rightIndent)));
    if (p.startIndent || p.offset) {
      const int oldOffset = -editor::MarginToTwips(f.textIndent());
      const int oldStart = editor::MarginToTwips(f.leftMargin()) - oldOffset;
      const int start = p.startIndent.value_or(oldStart);
      const int offset = p.offset.value_or(oldOffset);
      // Lines never start left of the paragraph's edge.
      const int body = std::max(0, start + offset);
      const int firstLine = std::max(0, start);
      f.setLeftMargin(editor::TwipsToMargin(body));
      f.setTextIndent(editor::TwipsToMargin(firstLine - body));
    }
    QTextCursor(b).setBlockFormat(f);
  }
  c.endEditBlock();
  MarkFormatsStale();
  emit StatesMayHaveChanged();
}

// ---- Insertions and the clipboard -----------------------------------------------------------------

void CXRichEditCtrl::InsertSeparator() {
  QString text = QString::fromUtf8(kSeparatorText.data(), qsizetype(kSeparatorText.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  ReplaceSelection(text);
}

void CXRichEditCtrl::ReplaceSelection(const QString& text) {
  QTextCursor c = textCursor();
  c.beginEditBlock();
  c.insertText(text);
  c.endEditBlock();
  setTextCursor(c);
}

bool CXRichEditCtrl::InsertLink(const QString& title, const QString& target) {
  const LinkField field = BuildLinkField(title.toStdString(), target.toStdString());
  if (field.status != LinkFieldStatus::kOk) return false;
  QTextCursor c = textCursor();
  c.beginEditBlock();
  c.removeSelectedText();
  const QTextCharFormat before = c.charFormat();
  QTextCharFormat blue;  // the link's text is blue
  blue.setForeground(QColor(0, 0, 255));
  c.mergeCharFormat(blue);
  const int taken = InsertRtfContent(c, field.rtf);
  c.endEditBlock();
  c.setCharFormat(before);  // what is typed next is not part of the link
  setTextCursor(c);
  return taken > 0;
}

namespace {
// The table that starts first at or after position `from`, at any depth, or null.
QTextTable* FirstTableFrom(QTextFrame* frame, int from) {
  QTextTable* best = nullptr;
  for (QTextFrame* child : frame->childFrames()) {
    if (child->lastPosition() < from) continue;
    auto* table = qobject_cast<QTextTable*>(child);
    if (table && table->firstPosition() >= from) {
      if (!best || table->firstPosition() < best->firstPosition()) best = table;
      continue;
    }
    if (QTextTable* inner = FirstTableFrom(child, from))
      if (!best || inner->firstPosition() < best->firstPosition()) best = inner;
  }
  return best;
}

// The cell's text selected, or, in an empty cell, the cursor typing in the cell's own format.
QTextCursor CellContent(const QTextTableCell& cell) {
  QTextCursor c = cell.firstCursorPosition();
  c.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
  if (!c.hasSelection()) c.setCharFormat(c.blockCharFormat());
  return c;
}

// The cell after (forward) or before `cell` in reading order, or an invalid cell. A merged
// cell counts once, at its top-left corner.
QTextTableCell NeighbourCell(QTextTable* t, const QTextTableCell& cell, bool forward) {
  const int columns = t->columns();
  const int count = t->rows() * columns;
  const int step = forward ? 1 : -1;
  for (int i = cell.row() * columns + cell.column() + step; i >= 0 && i < count; i += step) {
    const QTextTableCell next = t->cellAt(i / columns, i % columns);
    if (next.isValid() && next != cell && next.row() == i / columns && next.column() == i % columns)
      return next;
  }
  return {};
}
}  // namespace

bool CXRichEditCtrl::InsertTable(int rows, int columns) {
  const std::optional<std::string> rtf = BuildTableRtf(rows, columns);
  if (!rtf) return false;
  QTextCursor c = textCursor();
  const int start = c.selectionStart();
  InsertRtfContent(c, *rtf);
  // The cursor goes into the new table's first cell, ready for its text.
  if (QTextTable* table = FirstTableFrom(document()->rootFrame(), start))
    c = CellContent(table->cellAt(0, 0));
  setTextCursor(c);
  typingGroupOpen_ = false;
  return true;
}

bool CXRichEditCtrl::MoveInTable(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  const bool back = e->key() == Qt::Key_Backtab ||
                    (e->key() == Qt::Key_Tab && mods == Qt::ShiftModifier);
  const bool forward = e->key() == Qt::Key_Tab && mods == Qt::NoModifier;
  const bool typeTab = e->key() == Qt::Key_Tab && mods == Qt::ControlModifier;
  if (!back && !forward && !typeTab) return false;
  QTextCursor c = textCursor();
  QTextTable* table = c.currentTable();
  if (!table) return false;
  if (typeTab) {  // a tab character inside a cell, as Tab types one outside tables
    if (TouchesProtected(c.selectionStart(), c.selectionEnd())) {
      Refused();
      return true;
    }
    TypeAsWords(true, [this] { insertPlainText(QStringLiteral("\t")); });
    return true;
  }
  const QTextTableCell cell = table->cellAt(c);
  QTextTableCell next = NeighbourCell(table, cell, forward);
  if (!next.isValid() && forward) {
    // Tab in the last cell adds a row shaped and dressed as the last one: one undo step.
    const int last = table->rows() - 1;
    QTextCursor edit(document());
    edit.beginEditBlock();
    table->appendRows(1);
    for (int j = 0; j < table->columns(); ++j) {
      const QTextTableCell above = table->cellAt(last, j);
      QTextTableCell added = table->cellAt(last + 1, j);
      if (!above.isValid() || !added.isValid() || added.row() != last + 1) continue;
      added.setFormat(above.format());
      const QTextCursor from = above.firstCursorPosition();
      QTextCursor to = added.firstCursorPosition();
      to.setBlockFormat(from.blockFormat());
      to.setBlockCharFormat(from.blockCharFormat());
    }
    edit.endEditBlock();
    next = table->cellAt(last + 1, 0);
    typingGroupOpen_ = false;
  }
  if (next.isValid()) {
    setTextCursor(CellContent(next));
    ensureCursorVisible();
  }
  return true;
}

bool CXRichEditCtrl::InsertPictureFile(const QString& path) {
  QTextCursor c = textCursor();
  if (!zorbek::InsertPictureFile(c, path)) {
    prompts().Message("Failed to insert the object.", MsgButtons::Ok, MsgIcon::Error);
    return false;
  }
  setTextCursor(c);
  return true;
}

void CXRichEditCtrl::Cut() {
  const QTextCursor c = textCursor();
  if (!c.hasSelection()) return;
  if (TouchesProtected(c.selectionStart(), c.selectionEnd())) return Refused();
  cut();
}

void CXRichEditCtrl::Paste() {
  const QTextCursor c = textCursor();
  if (TouchesProtected(c.selectionStart(), c.selectionEnd())) return Refused();
  paste();
}

void CXRichEditCtrl::Clear() {
  QTextCursor c = textCursor();
  if (!c.hasSelection()) return;
  c.removeSelectedText();
  setTextCursor(c);
}

bool CXRichEditCtrl::CanPasteNow() const {
  // Asking the clipboard's owner takes a round trip to it: the answer is kept until the
  // clipboard changes, not asked again at every refresh.
  if (!pasteKnown_) {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    canPasteNow_ = data && (data->hasText() || data->hasImage() || canPaste());
    pasteKnown_ = true;
  }
  return canPasteNow_;
}

QString CXRichEditCtrl::GetSelectedText() const {
  QString text = textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, u'\n');
  text.replace(QChar::LineSeparator, u'\n');
  return text;
}

int CXRichEditCtrl::SelectionLength() const {
  const QTextCursor c = textCursor();
  return c.selectionEnd() - c.selectionStart();
}

namespace {
const char* const kRtfMimeTypes[] = {"text/rtf", "application/rtf"};

// RTF of the clipboard that holds pictures or objects: those are pasted from the RTF, which
// has their original bytes. Other content is pasted as before, through HTML.
QByteArray RtfOf(const QMimeData* source) {
  for (const char* type : kRtfMimeTypes) {
    if (!source->hasFormat(QLatin1String(type))) continue;
    const QByteArray rtf = source->data(QLatin1String(type));
    if (rtf.startsWith("{\\rtf") && (rtf.contains("\\pict") || rtf.contains("\\object")))
      return rtf;
  }
  return {};
}
}  // namespace

QMimeData* CXRichEditCtrl::createMimeDataFromSelection() const {
  QMimeData* data = QTextEdit::createMimeDataFromSelection();
  const QTextCursor c = textCursor();
  if (!data || !c.hasSelection()) return data;
  const QByteArray rtf = WriteRtfSelection(c);
  for (const char* type : kRtfMimeTypes) data->setData(QLatin1String(type), rtf);
  if (c.selectionEnd() - c.selectionStart() == 1) {
    QTextCursor one(document());
    one.setPosition(c.selectionEnd());
    const QTextCharFormat f = one.charFormat();
    if (f.isImageFormat()) {
      const QImage image = document()
                               ->resource(QTextDocument::ImageResource, QUrl(f.toImageFormat().name()))
                               .value<QImage>();
      if (!image.isNull()) data->setImageData(image);
    }
  }
  return data;
}

bool CXRichEditCtrl::canInsertFromMimeData(const QMimeData* source) const {
  return source->hasImage() || !RtfOf(source).isEmpty() || QTextEdit::canInsertFromMimeData(source);
}

void CXRichEditCtrl::insertFromMimeData(const QMimeData* source) {
  const QTextCursor c = textCursor();
  if (TouchesProtected(c.selectionStart(), c.selectionEnd())) return Refused();
  // RTF first where it has pictures: it carries their original bytes, which HTML cannot.
  if (const QByteArray rtf = RtfOf(source); !rtf.isEmpty()) {
    QTextCursor insert = textCursor();
    InsertRtf(insert, rtf);
    setTextCursor(insert);
    ensureCursorVisible();
    return;
  }
  if (source->hasImage() && !source->hasHtml()) {
    QTextCursor insert = textCursor();
    if (InsertPictureImage(insert, qvariant_cast<QImage>(source->imageData()))) {
      setTextCursor(insert);
      return;
    }
  }
  QTextEdit::insertFromMimeData(source);
  // Pictures copied from another note bring their data but not their images.
  RestorePictureResources(document());
}

// ---- Protected text ---------------------------------------------------------------------------------

namespace {
// Whether the character at pos is protected; paragraph ends never are.
bool ProtectedAt(const QTextDocument* doc, int pos) {
  if (pos < 0) return false;
  const QTextBlock b = doc->findBlock(pos);
  if (!b.isValid() || pos >= b.position() + b.length() - 1) return false;
  for (auto it = b.begin(); !it.atEnd(); ++it) {
    const QTextFragment f = it.fragment();
    if (f.isValid() && pos >= f.position() && pos < f.position() + f.length())
      return editor::IsProtected(f.charFormat());
  }
  return false;
}
}  // namespace

bool CXRichEditCtrl::TouchesProtected(int from, int to) const {
  const QTextDocument* doc = document();
  if (from == to) return ProtectedAt(doc, from - 1) && ProtectedAt(doc, from);
  if (from > to) std::swap(from, to);
  for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() < to; b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (!f.isValid() || f.position() + f.length() <= from || f.position() >= to) continue;
      if (editor::IsProtected(f.charFormat())) return true;
    }
  }
  return false;
}

void CXRichEditCtrl::Refused() { QApplication::beep(); }

std::optional<std::pair<int, int>> CXRichEditCtrl::EditRangeOfKey(QKeyEvent* e) const {
  const QTextCursor c = textCursor();
  const int s = c.selectionStart(), t = c.selectionEnd();
  auto moved = [&](QTextCursor::MoveOperation op) -> std::pair<int, int> {
    QTextCursor m = c;
    m.clearSelection();
    m.movePosition(op, QTextCursor::KeepAnchor);
    return {std::min(m.anchor(), m.position()), std::max(m.anchor(), m.position())};
  };
  if (e->matches(QKeySequence::Cut) || e->matches(QKeySequence::Paste)) return std::pair{s, t};
  if (e->matches(QKeySequence::DeleteStartOfWord))
    return c.hasSelection() ? std::pair{s, t} : moved(QTextCursor::PreviousWord);
  if (e->matches(QKeySequence::DeleteEndOfWord))
    return c.hasSelection() ? std::pair{s, t} : moved(QTextCursor::NextWord);
  if (e->matches(QKeySequence::DeleteEndOfLine))
    return c.hasSelection() ? std::pair{s, t} : moved(QTextCursor::EndOfBlock);
  if (e->matches(QKeySequence::DeleteCompleteLine)) {
    QTextCursor m = c;
    m.select(QTextCursor::BlockUnderCursor);
    return std::pair{m.selectionStart(), m.selectionEnd()};
  }
  if (e->key() == Qt::Key_Backspace) {
    if (c.hasSelection()) return std::pair{s, t};
    if (s == 0) return std::nullopt;
    return moved(QTextCursor::PreviousCharacter);
  }
  if (e->key() == Qt::Key_Delete) {
    if (c.hasSelection()) return std::pair{s, t};
    return moved(QTextCursor::NextCharacter);
  }
  if (IsTypedText(e)) return std::pair{s, t};
  return std::nullopt;
}

void CXRichEditCtrl::PrepareTypingFormat() {
  QTextCharFormat current = currentCharFormat();
  bool changed = false;
  if (editor::IsProtected(current)) {
    editor::SetProtected(current, false);
    changed = true;
  }
  // Text typed at the end of a link is not part of the link, nor dressed as one.
  const QTextCursor c = textCursor();
  if (current.isAnchor() && !c.hasSelection()) {
    QTextCursor next = c;
    next.movePosition(QTextCursor::NextCharacter);
    const bool inside = next.position() != c.position() && next.charFormat().isAnchor() &&
                        next.charFormat().anchorHref() == current.anchorHref();
    if (!inside) {
      current.setAnchor(false);
      current.clearProperty(QTextFormat::AnchorHref);
      current.clearProperty(QTextFormat::ForegroundBrush);
      current.setFontUnderline(false);
      changed = true;
    }
  }
  if (changed) setCurrentCharFormat(current);
}

// ---- Keyboard -------------------------------------------------------------------------------------------

void CXRichEditCtrl::keyPressEvent(QKeyEvent* e) {
  if (e->matches(QKeySequence::Cut)) {
    Cut();
    return e->accept();
  }
  if (e->matches(QKeySequence::Paste)) {
    Paste();
    return e->accept();
  }
  if (MoveInTable(e)) return e->accept();
  if (const auto range = EditRangeOfKey(e)) {
    if (TouchesProtected(range->first, range->second)) {
      Refused();
      return e->accept();
    }
  }
  if (IsTypedText(e)) return TypeWithWordGrouping(e);
  QTextEdit::keyPressEvent(e);
  if (e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo)) MarkFormatsStale();
}

void CXRichEditCtrl::TypeWithWordGrouping(QKeyEvent* e) {
  const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
  TypeAsWords(enter || IsBlank(e->text().at(0)), [&] { QTextEdit::keyPressEvent(e); });
}

// Typing joins the previous undo step while it goes on in the same place with the same kind of
// character (a word, or the blanks after it), so that one undo takes back one word.
void CXRichEditCtrl::TypeAsWords(bool blank, const std::function<void()>& deliver) {
  const QTextCursor before = textCursor();
  const bool newGroup = firstChar_ || !typingGroupOpen_ || blank != lastWasSpace_ ||
                        before.hasSelection() || before.position() != typingEnd_;
  firstChar_ = false;
  if (!before.hasSelection() && !TouchesProtected(before.position(), before.position()))
    PrepareTypingFormat();
  QTextCursor group = textCursor();
  typing_ = true;
  if (newGroup)
    group.beginEditBlock();
  else
    group.joinPreviousEditBlock();
  deliver();
  group.endEditBlock();
  typing_ = false;
  lastWasSpace_ = blank;
  typingGroupOpen_ = true;
  typingEnd_ = textCursor().position();
}

void CXRichEditCtrl::keyReleaseEvent(QKeyEvent* e) {
  QTextEdit::keyReleaseEvent(e);
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::inputMethodEvent(QInputMethodEvent* e) {
  const QTextCursor c = textCursor();
  if (!e->commitString().isEmpty() || !e->preeditString().isEmpty()) {
    if (TouchesProtected(c.selectionStart(), c.selectionEnd())) {
      Refused();
      return e->accept();
    }
  }
  if (e->commitString().isEmpty()) return QTextEdit::inputMethodEvent(e);
  // A committed phrase is one typed word.
  TypeAsWords(IsBlank(e->commitString().at(0)), [&] { QTextEdit::inputMethodEvent(e); });
}

// ---- Mouse, links and drops -----------------------------------------------------------------------------

QString CXRichEditCtrl::LinkAt(const QPoint& viewportPos) const {
  const QString anchor = anchorAt(viewportPos);
  if (!anchor.isEmpty()) return anchor;
  const QPointF docPos(viewportPos.x() + horizontalScrollBar()->value(),
                       viewportPos.y() + verticalScrollBar()->value());
  const int pos = document()->documentLayout()->hitTest(docPos, Qt::ExactHit);
  if (pos < 0) return {};
  const QTextBlock b = document()->findBlock(pos);
  if (!b.isValid()) return {};
  return AddressMarker::AddressAround(b.text(), pos - b.position());
}

void CXRichEditCtrl::SetLinkOpener(LinkOpener opener) { Opener() = std::move(opener); }

void CXRichEditCtrl::SetFileStoreDirectory(const std::string& directory) {
  FileStoreOverride() = directory;
}

std::string CXRichEditCtrl::FileStoreDirectory() {
  if (!FileStoreOverride().empty()) return FileStoreOverride();
  return zorbek::FileStoreDirectory(ProgramBase());
}

void CXRichEditCtrl::OpenLink(const QString& linkText) {
  // Only what cannot start a program opens on one click; the rest is shown in full first.
  const editor::LinkClick click =
      editor::DecideLinkClick(linkText.toStdString(), FileStoreDirectory());
  using Action = editor::LinkClick::Action;
  if (click.action == Action::CannotOpen) {
    prompts().Message(click.CannotOpenMessage(), MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  if (click.action == Action::Ask &&
      prompts().Message(click.Question(), MsgButtons::YesNo, MsgIcon::Warning) != MsgResult::Yes)
    return;
  if (Opener()) return Opener()(click.target);
  const QString t = QString::fromStdString(click.target.target);
  const QUrl url = click.target.kind == editor::LinkTarget::Kind::File
                       ? QUrl::fromLocalFile(t)
                       : QUrl(t, QUrl::TolerantMode);
  // The opener gets an absolute address, never a word it could read as one of its options.
  if (!url.isValid() || url.scheme().isEmpty() || url.toEncoded().startsWith('-')) {
    TellCannotOpen(url);
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool opened = OpenUrl(url);
  QApplication::restoreOverrideCursor();
  if (!opened) TellCannotOpen(url);  // with the normal cursor back
}

void CXRichEditCtrl::mousePressEvent(QMouseEvent* e) {
  pressedOnLink_ = false;
  if (e->button() == Qt::LeftButton) {
    const QString link = LinkAt(e->position().toPoint());
    if (!link.isEmpty()) {
      pressedOnLink_ = true;
      OpenLink(link);
      return e->accept();
    }
  }
  QTextEdit::mousePressEvent(e);
}

void CXRichEditCtrl::mouseReleaseEvent(QMouseEvent* e) {
  if (pressedOnLink_ && e->button() == Qt::LeftButton) {
    pressedOnLink_ = false;
    return e->accept();
  }
  QTextEdit::mouseReleaseEvent(e);
}

void CXRichEditCtrl::mouseMoveEvent(QMouseEvent* e) {
  QTextEdit::mouseMoveEvent(e);
  if (!(e->buttons() & Qt::LeftButton)) {
    const bool overLink = !LinkAt(e->position().toPoint()).isEmpty();
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  }
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::showEvent(QShowEvent* e) {
  QTextEdit::showEvent(e);
  emit StatesMayHaveChanged();
}

void CXRichEditCtrl::dragMoveEvent(QDragMoveEvent* e) {
  const int pos = cursorForPosition(e->position().toPoint()).position();
  if (TouchesProtected(pos, pos)) return e->ignore();
  QTextEdit::dragMoveEvent(e);
}

void CXRichEditCtrl::dropEvent(QDropEvent* e) {
  const int pos = cursorForPosition(e->position().toPoint()).position();
  const QTextCursor c = textCursor();
  const bool movesOwnText = e->source() == this && e->dropAction() == Qt::MoveAction;
  if (TouchesProtected(pos, pos) ||
      (movesOwnText && TouchesProtected(c.selectionStart(), c.selectionEnd()))) {
    Refused();
    return e->ignore();
  }
  QTextEdit::dropEvent(e);
}

// ---- Context menu -----------------------------------------------------------------------------------------

QMenu* CXRichEditCtrl::CreateContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const bool selected = textCursor().hasSelection();
  const CharFormat& cf = SelectionCharFormat();
  const Uniform<int> numbering = SelectionParaFormat().numbering;
  auto add = [&](const char* text, int id, bool enabled = true, int checked = -1) {
    QAction* a = menu->addAction(QString::fromUtf8(text));
    a->setData(id);
    a->setEnabled(enabled);
    if (checked >= 0) {
      a->setCheckable(true);
      a->setChecked(checked == 1);
    }
  };
  auto on = [](const Uniform<bool>& u) { return u && *u ? 1 : 0; };
  add("&Undo", cmd::kCtxUndo, document()->isUndoAvailable());
  menu->addSeparator();
  add("&Cut", cmd::kCtxCut, selected);
  add("C&opy", cmd::kCtxCopy, selected);
  add("&Paste", cmd::kCtxPaste, CanPasteNow());
  add("C&lear", cmd::kCtxClear, selected);
  menu->addSeparator();
  add("&Left Paragraph", cmd::kCtxIndentLess);
  add("&Right Paragraph", cmd::kCtxIndentMore);
  menu->addSeparator();
  add("&Bullet", cmd::kCtxBullets, true,
      editor::BulletsCheckState(numbering) == CheckState::Checked ? 1 : 0);
  add("&Numbering", cmd::kCtxNumbering, true,
      editor::NumberingCheckState(numbering) == CheckState::Checked ? 1 : 0);
  add("C&ycle Numbering", cmd::kCtxCycleNumbering);
  menu->addSeparator();
  add("&Font Bold", cmd::kCtxBold, true, on(cf.bold));
  add("Font &Underline", cmd::kCtxUnderline, true, on(cf.underline));
  add("Font &Italic", cmd::kCtxItalic, true, on(cf.italic));
  add("Font &StrikeOut", cmd::kCtxStrikeOut, true, on(cf.strikeOut));
  menu->addSeparator();
  add("Select &All", cmd::kCtxSelectAll);
  menu->addSeparator();
  add("Select &Font", cmd::kCtxFont);
  if (owner_) {
    menu->addSeparator();
    add("历史版本", cmd::kNoteHistory);
  }
  return menu;
}

void CXRichEditCtrl::RunContextCommand(int id) {
  switch (id) {
    case cmd::kCtxUndo:
      undo();
      MarkFormatsStale();
      break;
    case cmd::kCtxCut: Cut(); break;
    case cmd::kCtxCopy: copy(); break;
    case cmd::kCtxPaste: Paste(); break;
    case cmd::kCtxClear: Clear(); break;
    case cmd::kCtxSelectAll: selectAll(); break;
    case cmd::kCtxFont: FontDialog(); break;
    case cmd::kCtxIndentLess: Indent(-editor::kIndentStep); break;
    case cmd::kCtxIndentMore: Indent(editor::kIndentStep); break;
    case cmd::kCtxNumbering: SetNumbering(editor::kNumberingArabic); break;
    case cmd::kCtxBullets: SetNumbering(editor::kNumberingBullet); break;
    case cmd::kCtxCycleNumbering: CycleNumbering(); break;
    case cmd::kCtxBold: ToggleEffect(Effect::Bold); break;
    case cmd::kCtxItalic: ToggleEffect(Effect::Italic); break;
    case cmd::kCtxStrikeOut: ToggleEffect(Effect::StrikeOut); break;
    case cmd::kCtxUnderline: ToggleEffect(Effect::Underline); break;
    case cmd::kNoteHistory:
      if (owner_) owner_->RunCommand(id);
      break;
    default: break;
  }
}

void CXRichEditCtrl::contextMenuEvent(QContextMenuEvent* e) {
  setFocus();
  QMenu* menu = CreateContextMenu(this);
  QAction* chosen = menu->exec(e->globalPos());
  const int id = chosen ? chosen->data().toInt() : 0;
  delete menu;
  if (id) RunContextCommand(id);
}

}  // namespace zorbek
