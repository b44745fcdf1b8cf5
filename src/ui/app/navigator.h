// The navigator panel: the note tree, the search panel and the history panel, one at a time.
#pragma once

#include <QStackedWidget>
#include <QWidget>
#include <string>

namespace zorbek {

class CXmlTreeCtrl;

class CWndNavigator : public QWidget {
  Q_OBJECT
 public:
  enum Mode { kTree = 0, kSearch = 1, kHistory = 2 };

  // Creates the three views and opens the database at databasePath in the tree.
  CWndNavigator(const std::string& databasePath, QWidget* parent = nullptr);

  void setMode(int mode);
  int mode() const { return stack_->currentIndex(); }
  CXmlTreeCtrl* tree() const { return tree_; }
  QWidget* searchView() const { return search_; }
  QWidget* historyView() const { return history_; }

 private:
  QStackedWidget* stack_;
  CXmlTreeCtrl* tree_;
  QWidget* search_;
  QWidget* history_;
};

}  // namespace zorbek
