#include "ui/app/navigator.h"

#include <QVBoxLayout>

#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {

CWndNavigator::CWndNavigator(const std::string& databasePath, QWidget* parent)
    : QWidget(parent), stack_(new QStackedWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);
  tree_ = new CXmlTreeCtrl(stack_);
  search_ = new QWidget(stack_);
  history_ = new QWidget(stack_);
  stack_->addWidget(tree_);
  stack_->addWidget(search_);
  stack_->addWidget(history_);
  tree_->OpenDatabase(databasePath);
}

void CWndNavigator::setMode(int mode) {
  if (mode >= kTree && mode <= kHistory) stack_->setCurrentIndex(mode);
}

}  // namespace zorbek
