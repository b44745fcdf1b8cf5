// Picks the directory of another Zorbek database and returns that directory's Zorbek.xml. The
// dialog writes nothing; the caller stores the path for the next start.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;

namespace zorbek {

class CWndDBReset : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kNotFound = "找不到指向的数据库文件：%s";

  explicit CWndDBReset(QWidget* parent = nullptr);

  // Set before the dialog runs; read after it ended with Accepted.
  void setPath(const std::string& path);
  const std::string& path() const { return path_; }

  // Button "...": asks for a directory and takes its Zorbek.xml when there is one.
  void Browse();

  QLineEdit* pathEdit() const { return edit_; }
  QPushButton* browseButton() const { return browse_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void Confirm();

  std::string path_;
  QLineEdit* edit_;
  QPushButton* browse_;
  QPushButton* ok_;
};

}  // namespace zorbek
