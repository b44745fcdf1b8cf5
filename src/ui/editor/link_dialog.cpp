#include "ui/editor/link_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek {

using editor::LinkKind;

namespace {
// The buttons in the dialog's order, with their texts.
constexpr struct {
  LinkKind kind;
  const char* text;
  const char* name;
} kKinds[] = {
    {LinkKind::Auto, "自动", "Auto"}, {LinkKind::File, "文件", "File"},
    {LinkKind::Web, "网址", "Web"},   {LinkKind::Mail, "邮箱", "Mail"},
    {LinkKind::Ftp, "FTP", "Ftp"},
};
}  // namespace

CWndHyperLink::CWndHyperLink(std::string storeDirectory, QWidget* parent)
    : QDialog(parent), storeDirectory_(std::move(storeDirectory)) {
  setWindowTitle(QStringLiteral("链接"));
  // A dialog box: a title and a close button, no minimising or maximising.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setObjectName(QStringLiteral("HyperLinkDialog"));

  auto* kindRow = new QHBoxLayout;
  for (std::size_t i = 0; i < std::size(kKinds); ++i) {
    kinds_[i] = new QRadioButton(QString::fromUtf8(kKinds[i].text), this);
    kinds_[i]->setObjectName(QString::fromUtf8(kKinds[i].name));
    kindRow->addWidget(kinds_[i]);
  }
  kindRow->addStretch(1);
  kinds_[0]->setChecked(true);

  titleBox_ = new QLineEdit(this);
  titleBox_->setObjectName(QStringLiteral("Title"));
  contentBox_ = new QLineEdit(this);
  contentBox_->setObjectName(QStringLiteral("Content"));
  contentBox_->setMinimumWidth(320);
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setObjectName(QStringLiteral("Browse"));
  browse_->setAutoDefault(false);
  browse_->setFixedWidth(browse_->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  connect(browse_, &QPushButton::clicked, this, &CWndHyperLink::Browse);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("标题："), this), 0, 0);
  grid->addWidget(titleBox_, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("内容："), this), 1, 0);
  grid->addWidget(contentBox_, 1, 1);
  grid->addWidget(browse_, 1, 2);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* insert = buttons->addButton(QStringLiteral("插入"), QDialogButtonBox::AcceptRole);
  insert->setObjectName(QStringLiteral("Insert"));
  insert->setDefault(true);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CWndHyperLink::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CWndHyperLink::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(kindRow);
  layout->addLayout(grid);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  contentBox_->setFocus();
}

void CWndHyperLink::SetTitle(const QString& title) { titleBox_->setText(title); }

QRadioButton* CWndHyperLink::KindButton(LinkKind kind) const {
  for (std::size_t i = 0; i < std::size(kKinds); ++i)
    if (kKinds[i].kind == kind) return kinds_[i];
  return nullptr;
}

LinkKind CWndHyperLink::Kind() const {
  for (std::size_t i = 0; i < std::size(kKinds); ++i)
    if (kinds_[i]->isChecked()) return kKinds[i].kind;
  return LinkKind::Auto;
}

void CWndHyperLink::Browse() {
  const std::optional<std::string> path = prompts().OpenFile("打开", "");
  if (path) contentBox_->setText(QString::fromStdString(*path));
}

std::string CWndHyperLink::FileTarget(const std::string& path, bool localFile) {
  const editor::StorePlan plan =
      editor::PlanStoreCopy(path, storeDirectory_, clock().LocalNow(), localFile);
  if (plan.inStore) return plan.target;
  const std::string original = "localfile:" + path;
  if (prompts().Message(plan.question, MsgButtons::OkCancel, MsgIcon::Question) != MsgResult::Ok)
    return original;
  std::string error;
  if (!editor::CopyIntoStore(path, plan, &error)) {
    // The link must lead somewhere: to the file where it lies, and the user knows.
    prompts().Message(FormatMessage(editor::kLinkCopyFailed, path + "\n" + error), MsgButtons::Ok,
                      MsgIcon::Warning);
    return original;
  }
  return "localfile:" + plan.storeName;
}

void CWndHyperLink::accept() {
  const QString content = contentBox_->text().trimmed();
  if (content.isEmpty()) {
    prompts().Message(editor::kLinkNoContent, MsgButtons::Ok, MsgIcon::Warning);
    contentBox_->setFocus();
    return;
  }
  if (titleBox_->text().trimmed().isEmpty()) {
    prompts().Message(editor::kLinkNoTitle, MsgButtons::Ok, MsgIcon::Warning);
    titleBox_->setFocus();
    return;
  }
  const editor::LinkDecision d = editor::DecideLink(content.toStdString(), Kind());
  const std::string target =
      d.step == editor::LinkDecision::Step::Done ? d.target : FileTarget(d.filePath, d.localFile);
  title_ = titleBox_->text();
  target_ = QString::fromStdString(target);
  QDialog::accept();
}

void InsertLinkWithDialog(CXRichEditCtrl* richEdit, QWidget* parent) {
  CWndHyperLink dialog(CXRichEditCtrl::FileStoreDirectory(), parent);
  dialog.SetTitle(richEdit->GetSelectedText());
  const bool ok = dialog.exec() == QDialog::Accepted;
  richEdit->setFocus();
  if (!ok) return;
  if (!richEdit->InsertLink(dialog.Title(), dialog.Target()))
    prompts().Message(editor::kLinkTooLong, MsgButtons::Ok, MsgIcon::Warning);
}

}  // namespace zorbek
