// The navigator panel: the note tree, the search panel and the history panel, one at a time,
// each a view of the notebook the navigator owns with its session.
#pragma once

#include <QStackedWidget>
#include <QWidget>
#include <memory>
#include <string>

namespace zorbek {

class CXmlTreeCtrl;
class CWndSearch;
class CWndHistory;
class Notebook;
class NotebookSession;

class CWndNavigator : public QWidget {
  Q_OBJECT
 public:
  enum Mode { kTree = 0, kSearch = 1, kHistory = 2 };

  // Creates the notebook, its session and the note tree, and opens the database at
  // databasePath. The search and history panels, each a listener of the notebook too, are made
  // when they are first wanted: until then they have nothing to show, and a panel not made
  // costs the start nothing (their lists measure their headers in a bold face of their own).
  CWndNavigator(const std::string& databasePath, QWidget* parent = nullptr);
  // The views go first, then the session (the reminder check stops), then the notebook is
  // closed: the database is saved once more.
  ~CWndNavigator() override;

  // 0 note tree, 1 search results, 2 history; other values do nothing.
  void setMode(int mode);
  int mode() const;
  CXmlTreeCtrl* tree() const { return tree_; }
  Notebook& notebook() const { return *notebook_; }
  NotebookSession& session() const { return *session_; }
  // The panels, made now when they were not yet.
  CWndSearch* searchView();
  CWndHistory* historyView();

  // Hands a keyword to the search panel.
  void search(const std::string& keyword);

 signals:
  void modeChanged(int mode);

 private:
  std::unique_ptr<Notebook> notebook_;
  std::unique_ptr<NotebookSession> session_;
  QStackedWidget* stack_;
  CXmlTreeCtrl* tree_;
  CWndSearch* search_ = nullptr;
  CWndHistory* history_ = nullptr;
};

}  // namespace zorbek
