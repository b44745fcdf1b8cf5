// The link dialog: the title of the link, what it points to (a web, mail or FTP address, or a
// file, which it offers to copy into the FileStore directory), and the kind of link.
#pragma once

#include <QDialog>
#include <string>

#include "core/editor/link_rules.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zorbek {

class CXRichEditCtrl;

class CWndHyperLink : public QDialog {
  Q_OBJECT
 public:
  // storeDirectory is where linked files are copied to.
  explicit CWndHyperLink(std::string storeDirectory, QWidget* parent = nullptr);

  void SetTitle(const QString& title);
  // After OK: the link's title and target.
  QString Title() const { return title_; }
  QString Target() const { return target_; }

  QLineEdit* TitleBox() const { return titleBox_; }
  QLineEdit* ContentBox() const { return contentBox_; }
  QPushButton* BrowseButton() const { return browse_; }
  QRadioButton* KindButton(editor::LinkKind kind) const;

  void accept() override;

 private:
  void Browse();
  editor::LinkKind Kind() const;
  // The target of a file link: copied into the store when the user agrees.
  std::string FileTarget(const std::string& path, bool localFile);

  std::string storeDirectory_;
  QString title_, target_;
  QRadioButton* kinds_[5] = {};
  QLineEdit* titleBox_;
  QLineEdit* contentBox_;
  QPushButton* browse_;
};

// The editor's insert-link command: the dialog with the selection as the title, then the link
// in place of the selection.
void InsertLinkWithDialog(CXRichEditCtrl* richEdit, QWidget* parent);

}  // namespace zorbek
