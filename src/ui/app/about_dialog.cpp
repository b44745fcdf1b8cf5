#include "ui/app/about_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/app/desktop.h"
#include "ui/app/main_frame.h"
#include "ui/app/mini_dock.h"
#include "ui/app/static_link.h"

namespace zorbek {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于Zorbek"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  auto* name = new QLabel(QStringLiteral("Zorbek（Zorbek) v1.6"), this);
  auto* welcome = new QLabel(QStringLiteral("欢迎反馈意见。"), this);
  mail_ = new CStaticLink(ContactMailAddress(), ContactMailUrl(), this);
  homePage_ = new CStaticLink(HomePageLabel(), HomePageUrl(), this);
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(16, 14, 16, 12);
  grid->setHorizontalSpacing(14);
  grid->addWidget(icon, 0, 0, 4, 1);
  grid->addWidget(name, 0, 1);
  grid->addWidget(welcome, 1, 1);
  grid->addWidget(mail_, 2, 1);
  grid->addWidget(homePage_, 3, 1);
  grid->addWidget(ok, 0, 2, Qt::AlignTop);
  if (!EdgeDockingAvailable()) {
    // Why the window no longer tucks itself away at the screen's edge here.
    auto* docking = new QLabel(EdgeDockingOffText(), this);
    docking->setObjectName(QStringLiteral("dockingOff"));
    docking->setWordWrap(true);
    grid->addWidget(docking, 4, 1, 1, 2);
  }
  setFixedSize(sizeHint());
}

}  // namespace zorbek
