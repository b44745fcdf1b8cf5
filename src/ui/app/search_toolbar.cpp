#include "ui/app/search_toolbar.h"

#include <QAction>
#include <QLineEdit>
#include <QStyle>

#include "core/search/keyword.h"
#include "core/text/cp936.h"
#include "ui/app/commands.h"
#include "ui/app/navigator.h"

namespace zorbek {

CSearchToolBar::CSearchToolBar(QWidget* parent) : QToolBar(parent) {
  setWindowTitle(QStringLiteral("Main"));
  setObjectName(QStringLiteral("Main"));
  setAllowedAreas(Qt::AllToolBarAreas);
  setIconSize(QSize(16, 16));
  setToolButtonStyle(Qt::ToolButtonIconOnly);

  showTree_ = addAction(QIcon(QStringLiteral(":/icons/app_tree.png")), QStringLiteral("文件树"));
  showTree_->setData(cmd::kShowTree);
  showTree_->setCheckable(true);
  showHistory_ =
      addAction(QIcon(QStringLiteral(":/icons/app_history.png")), QStringLiteral("历史记录"));
  showHistory_->setData(cmd::kShowHistory);
  showHistory_->setCheckable(true);

  keyword_ = new QLineEdit(this);
  keyword_->setObjectName(QStringLiteral("keyword"));
  keyword_->setPlaceholderText(QStringLiteral("关键字"));
  keyword_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  keyword_->setMinimumWidth(40);
  QFont font;
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  keyword_->setFont(font);
  addWidget(keyword_);

  search_ = addAction(QIcon(QStringLiteral(":/icons/app_search.png")), QStringLiteral("搜索"));
  search_->setData(cmd::kSearch);
  showBin_ = addAction(style()->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("回收站"));
  showBin_->setData(cmd::kShowRecycleBin);
  showBin_->setObjectName(QStringLiteral("showRecycleBin"));
  // Enter in the box searches, as the button does.
  connect(keyword_, &QLineEdit::returnPressed, search_, &QAction::trigger);
}

std::string CSearchToolBar::Keyword() const {
  // Cut at a character boundary so that no half character is searched for.
  return CutToCp936Bytes(keyword_->text().toStdString(), kMaxKeywordBytes);
}

void CSearchToolBar::ShowMode(int mode) {
  // The first button is shown pressed while the search results are shown: pressing it goes
  // back to the tree. The second is pressed while the history is shown.
  showTree_->setChecked(mode == CWndNavigator::kSearch);
  showHistory_->setChecked(mode == CWndNavigator::kHistory);
}

}  // namespace zorbek
