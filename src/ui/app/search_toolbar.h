// The search toolbar of the main window: show the note tree, show the history, the keyword box
// filling the bar, search, and the recycle bin.
#pragma once

#include <QToolBar>
#include <string>

class QAction;
class QLineEdit;

namespace zorbek {

class CSearchToolBar : public QToolBar {
  Q_OBJECT
 public:
  static constexpr std::size_t kMaxKeywordBytes = 49;  // counted in CP936

  explicit CSearchToolBar(QWidget* parent = nullptr);

  QAction* showTreeAction() const { return showTree_; }
  QAction* showHistoryAction() const { return showHistory_; }
  QAction* searchAction() const { return search_; }
  QAction* showRecycleBinAction() const { return showBin_; }
  QLineEdit* keywordBox() const { return keyword_; }

  // The box's text, cut to at most 49 CP936 bytes without splitting a character.
  std::string Keyword() const;
  // The buttons' checked states for the navigator's mode.
  void ShowMode(int mode);

 private:
  QAction* showTree_;
  QAction* showHistory_;
  QAction* search_;
  QAction* showBin_;
  QLineEdit* keyword_;
};

}  // namespace zorbek
