// The search panel and the history panel of the navigator: lists of notes found by path or
// text, and of the notes opened most recently. A double-click (or Enter) opens a listed note.
// Both listen to the notebook: a listed note that is renamed or moved keeps its row under its
// new name, one that is deleted leaves the list.
#pragma once

#include <QLabel>
#include <QTableWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/notes/notebook.h"
#include "core/search/note_search.h"
#include "core/search/note_walk.h"

namespace zorbek {

// The list both panels show: two columns, grid lines, whole rows selected.
class CNoteList : public QTableWidget {
  Q_OBJECT
 public:
  CNoteList(const QString& nameHeader, QWidget* parent);
  // Appends row i: the number i and the file name.
  void AppendRow(const QString& fileName);
  // Column widths for the list's width: 37 and width - 41.
  void FitColumns(int width);
  // Takes out a row; the rows below it are numbered again.
  void RemoveRowAt(int row);
  // The file-name column of the first selected row; empty when nothing is selected.
  QString SelectedFileName() const;

 signals:
  void openRequested();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

// The first path whose file name equals name ignoring the case of Latin letters; null if none.
const DocumentPath* FirstPathWithFileName(const std::vector<DocumentPath>& paths,
                                         const std::string& name);
// Opens the note of a document path as the tree does (lasttime, editor, save of the database).
// Nothing happens when its element is gone or is no longer a note.
bool OpenNoteOfDocumentPath(Notebook& notebook, const DocumentPath& documentPath);
// A panel's list of document paths, as FollowNotePaths sees it.
struct NotePathList {
  std::function<std::size_t()> count;
  std::function<DocumentPath&(std::size_t)> pathAt;
  std::function<void(std::size_t)> renamed;  // the path at i was changed: show its new name
  std::function<void(std::size_t)> removed;  // take out the path and the row at i
};
// Follows the notebook's events in a list of document paths: a renamed or moved note gets its
// new path, a deleted one is taken out. Returns whether anything changed.
bool FollowNotePaths(const NotePathList& list, const std::vector<NotebookEvent>& events);

class CWndSearch : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kLabelId = 1001;
  static constexpr int kListId = 1002;

  // The item the search takes its scope from (the tree's selection); empty for none.
  using SelectionFn = std::function<ItemPath()>;
  CWndSearch(Notebook& notebook, SelectionFn selection, QWidget* parent = nullptr);
  ~CWndSearch() override;

  // Starts a search for the keyword (UTF-8) in the scope the label shows. With results present
  // it asks "决定重新搜索吗？" first; a running search is stopped.
  void Search(const std::string& keyword);
  // Stops a running search; the hits found so far stay.
  void StopSearch();
  bool Searching() const;

  // Sets the scope label from the tree's selection (done whenever the panel shows).
  void UpdateScope();
  // Opens the note of the selected row.
  void OpenSelected();

  QLabel* scopeLabel() const { return label_; }
  QLabel* progressLabel() const { return progress_; }
  CNoteList* list() const { return list_; }
  const std::string& keyword() const { return keyword_; }
  const std::vector<DocumentPath>& results() const { return results_; }

 signals:
  // The search has ended (all notes tested or stopped).
  void searchFinished();

 protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Layout();
  void PollSearch();
  void ShowProgress(std::size_t tested, std::size_t total, bool finished);
  void Follow(const std::vector<NotebookEvent>& events);

  Notebook& notebook_;
  SelectionFn selection_;
  int listener_ = 0;
  QLabel* label_;
  QLabel* progress_;
  CNoteList* list_;
  std::string keyword_;
  std::vector<DocumentPath> results_;  // document paths of the hits, in walk order
  std::unique_ptr<NoteSearch> search_;
  bool pollQueued_ = false;
};

class CWndHistory : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kListId = 1003;

  explicit CWndHistory(Notebook& notebook, QWidget* parent = nullptr);
  ~CWndHistory() override;

  // Rebuilds the list from the database (done whenever the panel shows).
  void Refresh();
  void OpenSelected();

  CNoteList* list() const { return list_; }
  const std::vector<NoteEntry>& records() const { return records_; }

 protected:
  void showEvent(QShowEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void Follow(const std::vector<NotebookEvent>& events);

  Notebook& notebook_;
  int listener_ = 0;
  CNoteList* list_;
  std::vector<NoteEntry> records_;
};

// The face of both panels: "宋体" 12 pixels, with the CJK faces found here where it is missing.
QFont SearchPanelFont();

}  // namespace zorbek
