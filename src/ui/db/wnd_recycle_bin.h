// The recycle bin window "回收站": what was deleted, from where, when, how big; restore, delete
// for good, empty the bin. Every question goes through prompts().
#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "core/notes/recycle_bin.h"

class QPushButton;
class QTreeWidget;

namespace zorbek {

class Notebook;

class CWndRecycleBin : public QWidget {
  Q_OBJECT
 public:
  // restored is called after a restore that worked, with what came back (the windows follow
  // the notebook's events).
  CWndRecycleBin(Notebook& notebook, std::function<void(const RestoreOutcome&)> restored,
                 QWidget* parent = nullptr);

  // Reads the bin again.
  void Refill();
  // The commands of the buttons, on the selected entries.
  void RestoreSelected();
  void PurgeSelected();
  void EmptyBin();

  QTreeWidget* List() const { return list_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::vector<std::string> SelectedIds() const;
  void UpdateButtons();

  Notebook& notebook_;
  std::function<void(const RestoreOutcome&)> restored_;
  QTreeWidget* list_;
  QPushButton* restore_;
  QPushButton* purge_;
  QPushButton* empty_;
};

class CMainFrame;
// Gives the main window's command "回收站" (the search toolbar's button) its window: one per
// main window, shown and raised; a restore makes the note tree show what came back.
void InstallRecycleBin(CMainFrame& frame);

// The texts of the window.
inline constexpr const char* kBinTitle = "回收站";
inline constexpr const char* kAskPurgeOne = "确定彻底删除<%s>吗?删除后不能恢复。";
inline constexpr const char* kAskPurgeMany = "确定彻底删除选择的%s项吗?删除后不能恢复。";
inline constexpr const char* kAskEmptyBin = "确定清空回收站吗?其中的%s篇笔记将被彻底删除，不能恢复。";

// "12 KB", "3.4 MB".
std::string SizeText(std::uint64_t bytes);

}  // namespace zorbek
