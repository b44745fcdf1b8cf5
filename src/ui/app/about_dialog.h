// The About box: the program's name and version, an invitation to write, and two links.
#pragma once

#include <QDialog>

namespace zorbek {

class CStaticLink;

class CAboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDialog(QWidget* parent = nullptr);

  CStaticLink* mailLink() const { return mail_; }
  CStaticLink* homePageLink() const { return homePage_; }

 private:
  CStaticLink* mail_;
  CStaticLink* homePage_;
};

}  // namespace zorbek
