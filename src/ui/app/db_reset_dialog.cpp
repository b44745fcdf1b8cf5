#include "ui/app/db_reset_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app/prompts.h"
#include "core/io/file_util.h"

namespace zorbek {

CWndDBReset::CWndDBReset(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("导入Zorbek数据库保存目录"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  edit_ = new QLineEdit(this);
  edit_->setReadOnly(true);
  edit_->setMinimumWidth(320);
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setAutoDefault(false);
  browse_->setFixedWidth(32);
  ok_ = new QPushButton(QStringLiteral("确认"), this);
  ok_->setDefault(true);
  connect(browse_, &QPushButton::clicked, this, &CWndDBReset::Browse);
  connect(ok_, &QPushButton::clicked, this, &CWndDBReset::Confirm);

  auto* row = new QHBoxLayout;
  row->addWidget(edit_, 1);
  row->addWidget(browse_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
}

void CWndDBReset::setPath(const std::string& path) {
  path_ = path;
  edit_->setText(QString::fromStdString(path));
}

void CWndDBReset::Browse() {
  const std::string current = edit_->text().toStdString();
  const auto dir = prompts().BrowseFolder("保存路径", DirectoryOf(current));
  if (!dir || dir->empty()) return;
  std::string file = *dir;
  if (file.back() != '/') file += '/';
  file += "Zorbek.xml";
  if (IsRegularFile(file)) {
    edit_->setText(QString::fromStdString(file));
  } else {
    prompts().Message(FormatMessage(kNotFound, file), MsgButtons::Ok, MsgIcon::Warning);
  }
}

void CWndDBReset::Confirm() {
  path_ = edit_->text().toStdString();
  accept();
}

}  // namespace zorbek
