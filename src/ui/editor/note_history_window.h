// The editor's "历史版本" window: the kept versions of the note with date, time and size; the
// selected one shown read-only; "恢复" hands its text to the editor, which puts it in place of
// its own as one undo step (the user saves as usual).
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "core/notes/note_history.h"

class QPushButton;
class QTextEdit;
class QTreeWidget;

namespace zorbek {

class CWndNoteHistory : public QDialog {
  Q_OBJECT
 public:
  using Restore = std::function<void(const std::string& bytes)>;
  CWndNoteHistory(std::vector<NoteVersion> versions, Restore restore, QWidget* parent);

  QTreeWidget* List() const { return list_; }
  QTextEdit* Preview() const { return preview_; }
  QPushButton* RestoreButton() const { return restore_; }
  // Hands the selected version to the editor and closes.
  void RestoreSelected();

 private:
  void ShowSelected();

  std::vector<NoteVersion> versions_;
  Restore restoreTo_;
  QTreeWidget* list_;
  QTextEdit* preview_;
  QPushButton* restore_;
};

// The window's texts.
inline constexpr const char* kHistoryTitle = "历史版本";
inline constexpr const char* kNoHistory = "这篇笔记还没有保存过的历史版本。";

}  // namespace zorbek
