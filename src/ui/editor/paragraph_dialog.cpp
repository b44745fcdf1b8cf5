#include "ui/editor/paragraph_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app/prompts.h"

namespace zorbek {

namespace {
QString Shown(std::int32_t value) {
  return value == editor::kNotSet ? QString() : QString::number(value);
}

// The value of a box, or nullopt when it holds no number within the range.
std::optional<std::int32_t> Read(const QLineEdit* box) {
  bool ok = false;
  const qlonglong value = box->text().trimmed().toLongLong(&ok);
  if (!ok || !editor::IndentInRange(value)) return std::nullopt;
  return static_cast<std::int32_t>(value);
}
}  // namespace

CParagraphDialog::CParagraphDialog(const editor::ParagraphFormat& format, QWidget* parent)
    : QDialog(parent), initial_(editor::ToDialogValues(format)) {
  setWindowTitle(QStringLiteral("段落"));
  setObjectName(QStringLiteral("ParagraphDialog"));

  auto* indent = new QGroupBox(QStringLiteral("Indent"), this);
  auto* grid = new QGridLayout(indent);
  auto row = [&](int r, const QString& label, const QString& name, std::int32_t value) {
    auto* box = new QLineEdit(Shown(value), indent);
    box->setObjectName(name);
    grid->addWidget(new QLabel(label, indent), r, 0);
    grid->addWidget(box, r, 1);
    grid->addWidget(new QLabel(QStringLiteral("twips"), indent), r, 2);
    return box;
  };
  left_ = row(0, QStringLiteral("Left:"), QStringLiteral("Left"), initial_.left);
  right_ = row(1, QStringLiteral("Right:"), QStringLiteral("Right"), initial_.right);
  firstLine_ = row(2, QStringLiteral("First Line:"), QStringLiteral("FirstLine"), initial_.firstLine);

  auto* alignGroup = new QGroupBox(QStringLiteral("Alignment"), this);
  auto* alignLayout = new QVBoxLayout(alignGroup);
  alignment_ = new QComboBox(alignGroup);
  alignment_->setObjectName(QStringLiteral("Alignment"));
  alignment_->addItems({QStringLiteral("Left"), QStringLiteral("Right"), QStringLiteral("Center")});
  alignment_->setCurrentIndex(initial_.alignmentIndex);
  alignLayout->addWidget(alignment_);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CParagraphDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CParagraphDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(indent);
  layout->addWidget(alignGroup);
  layout->addWidget(buttons);
}

void CParagraphDialog::accept() {
  editor::ParagraphDialogValues values;
  values.alignmentIndex = alignment_->currentIndex();
  for (auto [box, target] : {std::pair{left_, &values.left}, std::pair{right_, &values.right},
                             std::pair{firstLine_, &values.firstLine}}) {
    const std::optional<std::int32_t> value = Read(box);
    if (!value) {
      prompts().Message(editor::IndentRangeMessage(), MsgButtons::Ok, MsgIcon::Warning);
      box->setFocus();
      box->selectAll();
      return;
    }
    *target = *value;
  }
  result_ = editor::FromDialogValues(values);
  QDialog::accept();
}

}  // namespace zorbek
