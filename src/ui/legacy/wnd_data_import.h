// The conversion dialog "导入Ramulo数据库": choose the directory of the older program's files
// and the directory the Zorbek database is written to, then convert. The conversion itself is
// the core's (core/legacy/ramulo_convert.h); this window asks, shows progress and reports.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace zorbek {

class CMainFrame;

class CWndDataImport : public QDialog {
  Q_OBJECT
 public:
  // Said when the chosen target is the database the program has open: converting into it
  // would be undone by the program's next save of its own copy.
  static constexpr const char* kMsgTargetInUse =
      "该目录下的Zorbek.xml是正在使用的数据库，不能作为转换的目标，请选择其他目录。";
  static constexpr const char* kProgressText = "正在转换Ramulo数据……";

  // settingsFile receives "WorkPath" when the user takes the converted database; openDatabase
  // is the database the program has open (never a target).
  CWndDataImport(std::string settingsFile, std::string openDatabase, QWidget* parent = nullptr);

  // The buttons.
  void ChooseLegacyDirectory();  // "..." of the Ramulo directory
  void ChooseTargetDirectory();  // "..." of the save directory
  void Convert();                // "转换"

  const std::string& treeFilesPath() const { return treeFiles_; }
  const std::string& treeStruPath() const { return treeStru_; }
  const std::string& targetPath() const { return target_; }

  QPlainTextEdit* legacyEdit() const { return legacyEdit_; }
  QPlainTextEdit* targetEdit() const { return targetEdit_; }
  QPushButton* legacyButton() const { return legacyButton_; }
  QPushButton* targetButton() const { return targetButton_; }
  QPushButton* convertButton() const { return convertButton_; }
  QPushButton* exitButton() const { return exitButton_; }

 private:
  void SetLegacyPaths(std::string treeFiles, std::string treeStru);
  void SetTarget(std::string target, bool replaceConfirmed);

  std::string settingsFile_;
  std::string openDatabase_;
  std::string treeFiles_;
  std::string treeStru_;
  std::string target_;
  // The user agreed to replace the notes of the database at target_.
  bool replaceConfirmed_ = false;
  std::string lastDirectory_;

  QPlainTextEdit* legacyEdit_;
  QPlainTextEdit* targetEdit_;
  QPushButton* legacyButton_;
  QPushButton* targetButton_;
  QPushButton* convertButton_;
  QPushButton* exitButton_;
};

// Makes the main menu's "转换并导入Ramulo数据库" open the dialog.
void InstallDataImport(CMainFrame& frame);

}  // namespace zorbek
