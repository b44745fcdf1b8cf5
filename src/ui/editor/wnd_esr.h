// The editor window of one note: menu, the "Main" and "Styles" toolbars, and the rich text
// control in its panel. Every open note has one; the registry of open editors lists them.
#pragma once

#include <QIcon>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/editor/format_rules.h"
#include "core/editor/open_editor_registry.h"
#include "core/io/file_signature.h"
#include "core/notes/notebook.h"

class QAction;
class QFrame;
class QMenuBar;
class QTimer;
class QToolBar;

namespace zorbek {

class CEsrStyleToolBar;
class CXRichEditCtrl;

// What the user is told when a saved note had left the tree.
inline constexpr const char* kMsgSavedIntoTree =
    "这篇笔记已不在笔记树中（可能被其他程序删除），保存的内容已放回笔记树：%s";

class CWndEsr : public QWidget, public NoteIdentity {
  Q_OBJECT
 public:
  static constexpr int kDefaultWidth = 640;
  static constexpr int kDefaultHeight = 480;
  static constexpr int kRefreshMilliseconds = 1000;
  // How long the title says that the note was read again after a change from outside.
  static constexpr int kOutsideNoticeMilliseconds = 5000;
  static constexpr int kFrameWidth = 2;
  static inline const QColor kFrameColor{0, 100, 255};

  // The paths are the note's normalised names; filePath is where its document lies on disk.
  // The editor is listed as open from here on, before any of its window exists.
  CWndEsr(DocumentPath documentPath, ElementPath elementPath, std::string filePath,
          QWidget* parent = nullptr);
  ~CWndEsr() override;

  bool BringForward() override;
  void CloseWithoutAsking() override;
  bool CloseAskingToSave() override;
  // A modified note's text goes to a recovery file (once per change).
  void PreserveUnsaved() override;
  // Where recovery files go: the recovery directory of the program's files named by base.
  static void SetRecoveryBase(std::string base);
  // The note now has these names (document path with ".esr", element path): the text and its
  // unsaved changes stay, the next save writes the new file, the title shows the new path.
  void FollowTo(const DocumentPath& documentPath, const ElementPath& elementPath);

  // Reads the document into the control. A document that cannot be read leaves the editor
  // empty and unmodified, and the user is told; false then.
  bool LoadDocument();
  // Writes the document atomically. On failure the user is told and the text stays modified.
  // A version another program wrote meanwhile is never written over: it is kept first (see
  // TakeOutsideChange), also when it arrives between the check and the replacement.
  bool SaveDocument();

  // Takes in a version of the note's file that another program (a sync tool bringing another
  // machine's text, an editor) wrote since this editor read or last wrote it. Without unsaved
  // edits the editor reads it again, keeping its place, and says so in its title for a moment.
  // With unsaved edits nothing is asked: that version becomes a conflict note beside the note
  // (in the open notebook's tree) and the editor keeps the user's text, which its next save
  // writes; the user is told once. A file that is gone is left to the next save. Runs every
  // second (not while a dialog or menu is open) and before each save. False when the other
  // version could not be kept, so that nothing may be written over it.
  bool TakeOutsideChange();

  // Runs an editor command (ids in editor_commands.h).
  void RunCommand(int id);
  // Enables and checks the toolbar buttons and refreshes the font boxes.
  void UpdateCommandStates();
  QAction* Action(int id) const;
  editor::CheckState CommandCheckState(int id) const;

  CXRichEditCtrl* RichEdit() const { return richEdit_; }
  QToolBar* MainToolBar() const { return mainBar_; }
  CEsrStyleToolBar* StyleToolBar() const { return styleBar_; }
  QMenuBar* MenuBar() const { return menuBar_; }
  const std::string& FilePath() const { return filePath_; }
  // Whether both toolbars fit side by side on one row.
  bool ToolbarsShareRow() const { return oneRow_; }

  // Shows a file in the desktop's file manager; tests install their own.
  using FileShower = std::function<void(const std::string& path)>;
  static void SetFileShower(FileShower shower);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void CreateMenu();
  void CreateToolBars();
  QAction* AddCommand(int id, const QString& icon, const QString& tip,
                      const QKeySequence& shortcut = {}, bool checkable = false);
  void SetCheckState(int id, editor::CheckState state);
  void LayoutBody();
  void ScheduleStateUpdate();
  void ChooseColor(bool background);
  void InsertDateTime();
  void EditParagraph();
  void ImportContent();
  void ExportContent();
  void InsertObject();
  void OpenFileDirectory();
  void ShowHistory();
  // After a save: a note that left the tree while it was open here (another program deleted
  // it) is given a place the tree shows, in its folder or in "恢复的笔记", and the user is told.
  void KeepSavedNoteInTree();
  // Before a save: the directories of a note of the store that another program removed with
  // its folder are made again, so that the text can be written; the ones made, outermost
  // first, in *made.
  void MakeMissingStoreDirectories(std::vector<std::string>* made) const;
  void ReloadFromDisk();
  bool KeepOutsideVersion();
  bool WriteNoteFile(const std::string& rtf, std::string* error);

 public:
  // Puts a kept version's bytes in place of the whole text, as one undo step.
  void RestoreVersion(const std::string& bytes);

 private:

  std::string filePath_;
  // The version of the file the editor read or last wrote; nullopt when there was none.
  std::optional<FileSignature> disk_;
  bool takingOutside_ = false;
  bool forcedClose_ = false;
  int preservedRevision_ = -1;  // the text's revision last written to a recovery file
  bool loadFailed_ = false;
  bool oneRow_ = true;
  bool updatePending_ = false;

  QMenuBar* menuBar_ = nullptr;
  QWidget* body_ = nullptr;
  QToolBar* mainBar_ = nullptr;
  CEsrStyleToolBar* styleBar_ = nullptr;
  QFrame* panel_ = nullptr;
  CXRichEditCtrl* richEdit_ = nullptr;
  QTimer* refresh_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, QIcon> icons_;
  std::map<int, editor::CheckState> checks_;
};

namespace editor {
// Opens the note's editor, or brings its open editor forward. The paths may use "\" or "/"
// and any letter case. Returns 0 (after telling the user) when the document does not exist.
int OpenNoteEditor(const DocumentPath& documentPath, const ElementPath& elementPath);
}  // namespace editor

namespace editor {
// What the open editors do when notes change: a renamed or moved note's editor follows it; the
// editor of a note being deleted or replaced closes without saving (the user has confirmed).
void FollowNoteChanges(const std::vector<NotebookEvent>& events);
// Makes the open editors a listener of notebook (the first one, so that an editor has followed
// its note before any other window hears of the change). Returns the listener's id.
// The editors also take versions of their notes that another program wrote into this notebook
// (as conflict notes, TakeOutsideChange).
int FollowNotebook(Notebook& notebook);
// The editors no longer follow notebook (it is closing).
void UnfollowNotebook(Notebook& notebook, int listener);
}  // namespace editor

// The open editor of a note, or null.
CWndEsr* FindNoteEditor(const DocumentPath& documentPath, const ElementPath& elementPath = {});

}  // namespace zorbek
