#include "ui/app/navigator.h"

#include <QVBoxLayout>

#include "core/notes/notebook.h"
#include "ui/app/desktop.h"
#include "ui/app/notebook_session.h"
#include "ui/db/xml_tree_ctrl.h"
#include "ui/search/search_panel.h"

namespace zorbek {

CWndNavigator::CWndNavigator(const std::string& databasePath, QWidget* parent)
    : QWidget(parent),
      notebook_(std::make_unique<Notebook>()),
      session_(std::make_unique<NotebookSession>(*notebook_)),
      stack_(new QStackedWidget(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);
  tree_ = new CXmlTreeCtrl(*notebook_, stack_);
  stack_->addWidget(tree_);
  setFocusProxy(tree_);
  connect(stack_, &QStackedWidget::currentChanged, this, [this](int index) {
    setFocusProxy(stack_->widget(index));
    emit modeChanged(mode());
  });
  // The tree's "打开主页" and "联系我" open the program's own addresses, as the menus do.
  tree_->SetHomePageUrl(HomePageUrl());
  tree_->SetContactAddress(ContactMailAddress());
  tree_->SetUrlOpener([](const QUrl& url) { return OpenUrlOrTell(url); });
  connect(tree_, &CXmlTreeCtrl::reminderListRequested, session_.get(),
          &NotebookSession::OpenReminderList);
  session_->SetBusyCheck([this] { return tree_ && tree_->IsBusy(); });
  session_->Open(databasePath);
}

CWndNavigator::~CWndNavigator() {
  // The views listen to the notebook: they go before it.
  stack_->disconnect(this);
  delete stack_;
  stack_ = nullptr;
  tree_ = nullptr;
  search_ = nullptr;
  history_ = nullptr;
  session_.reset();
  notebook_->Close();
}

int CWndNavigator::mode() const {
  QWidget* shown = stack_ ? stack_->currentWidget() : nullptr;
  if (shown && shown == search_) return kSearch;
  if (shown && shown == history_) return kHistory;
  return kTree;
}

CWndSearch* CWndNavigator::searchView() {
  if (!search_ && stack_) {
    // The search takes its scope from the tree's selection.
    const auto selection = [this] {
      QTreeWidgetItem* item = tree_ ? tree_->SelectedItem() : nullptr;
      return item ? CXmlTreeCtrl::ItemPathOf(item) : ItemPath();
    };
    search_ = new CWndSearch(*notebook_, selection, stack_);
    stack_->addWidget(search_);
  }
  return search_;
}

CWndHistory* CWndNavigator::historyView() {
  if (!history_ && stack_) {
    history_ = new CWndHistory(*notebook_, stack_);
    stack_->addWidget(history_);
  }
  return history_;
}

void CWndNavigator::setMode(int mode) {
  if (!stack_) return;
  switch (mode) {
    case kTree: stack_->setCurrentWidget(tree_); break;
    case kSearch: stack_->setCurrentWidget(searchView()); break;
    case kHistory: stack_->setCurrentWidget(historyView()); break;
    default: break;
  }
}

void CWndNavigator::search(const std::string& keyword) {
  if (CWndSearch* panel = searchView()) panel->Search(keyword);
}

}  // namespace zorbek
