#include "ui/editor/find_replace_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace zorbek {

CFindReplaceDialog::CFindReplaceDialog(bool findOnly, const QString& findWhat, QWidget* parent)
    : QDialog(parent), findOnly_(findOnly) {
  setAttribute(Qt::WA_DeleteOnClose);
  // A dialog box: a title and a close button, no minimising or maximising.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(false);
  setWindowTitle(findOnly ? QStringLiteral("查找") : QStringLiteral("替换"));
  setObjectName(findOnly ? QStringLiteral("FindDialog") : QStringLiteral("ReplaceDialog"));

  auto* fields = new QGridLayout;
  find_ = new QLineEdit(findWhat, this);
  find_->setObjectName(QStringLiteral("FindWhat"));
  find_->setMinimumWidth(240);
  auto* findLabel = new QLabel(QStringLiteral("查找内容(&N)："), this);
  findLabel->setBuddy(find_);
  fields->addWidget(findLabel, 0, 0);
  fields->addWidget(find_, 0, 1);
  if (!findOnly) {
    replace_ = new QLineEdit(this);
    replace_->setObjectName(QStringLiteral("ReplaceWith"));
    auto* replaceLabel = new QLabel(QStringLiteral("替换为(&P)："), this);
    replaceLabel->setBuddy(replace_);
    fields->addWidget(replaceLabel, 1, 0);
    fields->addWidget(replace_, 1, 1);
  }

  wholeWord_ = new QCheckBox(QStringLiteral("全字匹配(&W)"), this);
  wholeWord_->setObjectName(QStringLiteral("WholeWord"));
  matchCase_ = new QCheckBox(QStringLiteral("区分大小写(&C)"), this);
  matchCase_->setObjectName(QStringLiteral("MatchCase"));
  auto* direction = new QGroupBox(QStringLiteral("方向"), this);
  up_ = new QRadioButton(QStringLiteral("向上(&U)"), direction);
  up_->setObjectName(QStringLiteral("Up"));
  down_ = new QRadioButton(QStringLiteral("向下(&D)"), direction);
  down_->setObjectName(QStringLiteral("Down"));
  down_->setChecked(true);
  auto* directionLayout = new QHBoxLayout(direction);
  directionLayout->addWidget(up_);
  directionLayout->addWidget(down_);
  auto* flags = new QVBoxLayout;
  flags->addWidget(wholeWord_);
  flags->addWidget(matchCase_);
  auto* options = new QHBoxLayout;
  options->addLayout(flags);
  options->addWidget(direction);

  auto* left = new QVBoxLayout;
  left->addLayout(fields);
  left->addLayout(options);
  left->addStretch(1);

  auto* buttons = new QVBoxLayout;
  findNext_ = new QPushButton(QStringLiteral("查找下一个(&F)"), this);
  findNext_->setObjectName(QStringLiteral("FindNext"));
  findNext_->setDefault(true);
  buttons->addWidget(findNext_);
  connect(findNext_, &QPushButton::clicked, this, &CFindReplaceDialog::FindNextRequested);
  if (!findOnly) {
    replaceOne_ = new QPushButton(QStringLiteral("替换(&R)"), this);
    replaceOne_->setObjectName(QStringLiteral("Replace"));
    replaceAll_ = new QPushButton(QStringLiteral("全部替换(&A)"), this);
    replaceAll_->setObjectName(QStringLiteral("ReplaceAll"));
    buttons->addWidget(replaceOne_);
    buttons->addWidget(replaceAll_);
    connect(replaceOne_, &QPushButton::clicked, this, &CFindReplaceDialog::ReplaceRequested);
    connect(replaceAll_, &QPushButton::clicked, this, &CFindReplaceDialog::ReplaceAllRequested);
  }
  cancel_ = new QPushButton(QStringLiteral("取消"), this);
  cancel_->setObjectName(QStringLiteral("Cancel"));
  buttons->addWidget(cancel_);
  buttons->addStretch(1);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::close);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);

  auto* again = new QShortcut(QKeySequence(Qt::Key_F3), this);
  connect(again, &QShortcut::activated, this, [this] { emit FindAgainRequested(true); });
  auto* back = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
  connect(back, &QShortcut::activated, this, [this] { emit FindAgainRequested(false); });

  connect(find_, &QLineEdit::textChanged, this, &CFindReplaceDialog::UpdateButtons);
  UpdateButtons();
  find_->selectAll();
  find_->setFocus();
  setFixedSize(sizeHint());
}

QString CFindReplaceDialog::FindWhat() const { return find_->text(); }
QString CFindReplaceDialog::ReplaceWith() const { return replace_ ? replace_->text() : QString(); }

editor::SearchOptions CFindReplaceDialog::Options() const {
  editor::SearchOptions o;
  o.down = down_->isChecked();
  o.matchCase = matchCase_->isChecked();
  o.wholeWord = wholeWord_->isChecked();
  return o;
}

void CFindReplaceDialog::UpdateButtons() {
  const bool any = !find_->text().isEmpty();
  findNext_->setEnabled(any);
  if (replaceOne_) replaceOne_->setEnabled(any);
  if (replaceAll_) replaceAll_->setEnabled(any);
}

}  // namespace zorbek
