// The modeless find and replace dialogs of a note editor: the text to find, the replacement,
// match case, whole word and the direction. The dialog only reports what the user asked for;
// its rich edit control does the searching.
#pragma once

#include <QDialog>

#include "core/editor/text_search.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zorbek {

class CFindReplaceDialog : public QDialog {
  Q_OBJECT
 public:
  // findOnly: the find dialog, without the replacement and its buttons.
  CFindReplaceDialog(bool findOnly, const QString& findWhat, QWidget* parent);

  bool IsFindOnly() const { return findOnly_; }
  QString FindWhat() const;
  QString ReplaceWith() const;
  editor::SearchOptions Options() const;

  QLineEdit* FindBox() const { return find_; }
  QLineEdit* ReplaceBox() const { return replace_; }
  QCheckBox* MatchCaseBox() const { return matchCase_; }
  QCheckBox* WholeWordBox() const { return wholeWord_; }
  QRadioButton* UpButton() const { return up_; }
  QRadioButton* DownButton() const { return down_; }
  QPushButton* FindNextButton() const { return findNext_; }
  QPushButton* ReplaceButton() const { return replaceOne_; }
  QPushButton* ReplaceAllButton() const { return replaceAll_; }
  QPushButton* CancelButton() const { return cancel_; }

 signals:
  void FindNextRequested();
  void ReplaceRequested();
  void ReplaceAllRequested();
  // F3 and Shift+F3 inside the dialog: the next or the previous match.
  void FindAgainRequested(bool down);

 private:
  void UpdateButtons();

  bool findOnly_;
  QLineEdit* find_ = nullptr;
  QLineEdit* replace_ = nullptr;
  QCheckBox* matchCase_ = nullptr;
  QCheckBox* wholeWord_ = nullptr;
  QRadioButton* up_ = nullptr;
  QRadioButton* down_ = nullptr;
  QPushButton* findNext_ = nullptr;
  QPushButton* replaceOne_ = nullptr;
  QPushButton* replaceAll_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace zorbek
