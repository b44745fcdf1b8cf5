// The rich text control of a note editor: a QTextEdit with the note editor's rules for
// character and paragraph formats, protected text, undo by words, links and the context menu.
#pragma once

#include <QColor>
#include <QPointer>
#include <QTextEdit>
#include <functional>
#include <optional>

#include "core/editor/editor_text.h"
#include "core/editor/format_rules.h"
#include "core/editor/text_search.h"
#include "rtf/rtf_document.h"

class QMenu;

namespace zorbek {

class AddressMarker;
class CFindReplaceDialog;
class CWndEsr;

class CXRichEditCtrl : public QTextEdit {
  Q_OBJECT
 public:
  // The face and height new text gets: "宋体", 9 points.
  static constexpr const char* kDefaultFace = kNoteDefaultFamily;
  static constexpr int kDefaultHeightTwips = 180;

  enum class Effect { Bold, Italic, Underline, StrikeOut, Superscript, Subscript, Protected };

  // The selection's character format: each property uniform (a value) or mixed (nullopt).
  struct CharFormat {
    editor::Uniform<bool> bold, italic, underline, strikeOut, superscript, subscript, protect;
    editor::Uniform<QString> face;
    editor::Uniform<int> heightTwips;
    editor::Uniform<QColor> textColor;  // invalid colour: the automatic colour
    editor::Uniform<QColor> backColor;  // invalid colour: no background
    editor::Uniform<bool> Get(Effect effect) const;
  };

  // The selected paragraphs' format.
  struct ParaFormat {
    editor::Uniform<int> numbering;
    editor::ParagraphFormat paragraph;  // alignment and indents in twips
  };

  explicit CXRichEditCtrl(QWidget* parent = nullptr);
  ~CXRichEditCtrl() override;

  void SetOwner(CWndEsr* owner) { owner_ = owner; }
  CWndEsr* Owner() const { return owner_; }

  // An empty document in the default format, nothing to undo, not modified.
  void ResetDocument();
  // Makes doc (a note read in full) the control's document, with nothing to undo and not
  // modified. The control owns it from then on.
  void AdoptDocument(QTextDocument* doc);

  // Format caches: refreshed on use after every selection change, undo, redo and edit.
  const CharFormat& SelectionCharFormat();
  const ParaFormat& SelectionParaFormat();
  void MarkFormatsStale() { charStale_ = paraStale_ = true; }

  // Character effects: a uniform effect flips, a mixed one is switched on.
  void ToggleEffect(Effect effect);
  editor::CheckState EffectState(Effect effect);

  void SetAlignment(int alignment);  // editor::Alignment
  void SetNumbering(int numbering);  // bullets 1, numbers 2; switched off when already so
  void CycleNumbering();
  void Indent(int twips);            // start indent relative, first-line offset 0
  void SetTextColor(const QColor& color);
  void SetBackColor(const QColor& color);
  void ToggleProtect();              // yellow and protected, or white and unprotected
  void FontDialog();
  void SetFontFace(const QString& face);
  void SetFontHeight(int twips);
  // Applies the properties the format holds to every selected paragraph.
  void ApplyParagraphFormat(const editor::ParagraphFormat& format);

  // Insertions in place of the selection. Each is one undo step.
  void InsertSeparator();
  void ReplaceSelection(const QString& text);
  // A link field with the title as its text. Nothing is inserted (false) when the target
  // names no known scheme or is too long for a link.
  bool InsertLink(const QString& title, const QString& target);
  // An empty bordered table, with the cursor in its first cell; false when the size is out
  // of bounds.
  bool InsertTable(int rows, int columns);
  // The picture file as a picture; false (and a message) when it is no picture.
  bool InsertPictureFile(const QString& path);

  // Clipboard and the delete command. Cut and paste refuse protected text; delete does not.
  void Cut();
  void Paste();
  void Clear();
  bool CanPasteNow() const;

  QString GetSelectedText() const;
  int SelectionLength() const;

  // Whether an edit of [from, to) by the user's typing, cut or paste touches protected text.
  // An insertion (from == to) is refused inside a protected run, not at its edges.
  bool TouchesProtected(int from, int to) const;

  // The context menu with its items, states and command numbers (action data).
  QMenu* CreateContextMenu(QWidget* parent);
  void RunContextCommand(int id);

  // Links: the target under a point of the viewport (a link field or a typed address), or "".
  QString LinkAt(const QPoint& viewportPos) const;
  // Opens what a click on the link opens (editor::DecideLinkClick): at once, after the user
  // agreed to the question that shows the whole target, or not at all with a message.
  void OpenLink(const QString& linkText);
  // Where an opened link is taken: the desktop's handler unless a test installs another.
  using LinkOpener = std::function<void(const editor::LinkTarget&)>;
  static void SetLinkOpener(LinkOpener opener);
  // Find and replace (xrich_edit_find.cpp). Find and Replace open their modeless dialog (one
  // at a time, seeded with the selected text); FindAgain searches down or up with the last
  // text and options, or opens the find dialog when nothing was searched yet.
  void Find();
  void Replace();
  void FindAgain(bool down);
  CFindReplaceDialog* FindReplaceDialog() const;
  const editor::SearchCycle& SearchCycleState() const { return cycle_; }
  // One search of the cycle: selects the match and returns true, or false when the cycle has
  // found everything.
  bool FindNextMatch(const QString& text, const editor::SearchOptions& options);
  // The dialog's actions. Each ends with "搜索完毕。" when nothing (more) is found.
  void FindNextAction(const QString& text, const editor::SearchOptions& options);
  void ReplaceAction(const QString& text, const QString& replacement,
                     const editor::SearchOptions& options);
  void ReplaceAllAction(const QString& text, const QString& replacement,
                        const editor::SearchOptions& options);
  // The note's text as the search sees it: one position per position of the document, a
  // paragraph or line break as "\n".
  std::u16string SearchText() const;

  // The FileStore directory "localfile:" names are found in.
  static void SetFileStoreDirectory(const std::string& directory);
  static std::string FileStoreDirectory();

 signals:
  // The states of the editor's commands may have changed.
  void StatesMayHaveChanged();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
  // The selection goes out as RTF too ("text/rtf", "application/rtf"): pictures the editor
  // cannot draw and embedded objects travel as their original bytes, and come back whole
  // when pasted here. A lone picture also goes out as the image shown.
  QMimeData* createMimeDataFromSelection() const override;

 private:
  void AttachDocument();
  void RefreshCharFormat();
  void RefreshParaFormat();
  // Merges format into the selection (or the typing format when nothing is selected).
  void MergeFormat(const QTextCharFormat& format);
  void MergeFormatOnWordOrSelection(const QTextCharFormat& format);
  void ApplyNumbering(int numbering);
  // The range a key press would change, or nullopt when it changes nothing.
  std::optional<std::pair<int, int>> EditRangeOfKey(QKeyEvent* e) const;
  // Typing next to protected text or at the end of a link does not spread the mark or the
  // link to the new text.
  void PrepareTypingFormat();
  void TypeAsWords(bool blank, const std::function<void()>& deliver);
  void TypeWithWordGrouping(QKeyEvent* e);
  // Tab and Shift+Tab inside a table: the next or the previous cell, its text selected; Tab in
  // the last cell adds a row. Ctrl+Tab types a tab there. False for other keys and outside
  // tables.
  bool MoveInTable(QKeyEvent* e);
  void Refused();

  void OpenFindReplace(bool findOnly);
  void MoveFindDialogAway();
  void SearchComplete();
  void Remember(const QString& text, const editor::SearchOptions& options);

  CWndEsr* owner_ = nullptr;
  QPointer<CFindReplaceDialog> findDialog_;
  editor::SearchCycle cycle_;
  QString lastFind_;
  editor::SearchOptions lastOptions_;
  CharFormat char_;
  ParaFormat para_;
  bool charStale_ = true, paraStale_ = true;

  // Undo grouping: each word and each run of blanks is one undo step.
  bool firstChar_ = true;
  bool lastWasSpace_ = false;
  bool typingGroupOpen_ = false;  // the last undo step is a typing group that may grow
  bool typing_ = false;           // inside a typed insertion
  int typingEnd_ = -1;

  mutable bool pasteKnown_ = false;
  mutable bool canPasteNow_ = false;

  AddressMarker* addressMarker_ = nullptr;
  bool pressedOnLink_ = false;
};

}  // namespace zorbek
