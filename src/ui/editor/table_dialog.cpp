#include "ui/editor/table_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <limits>
#include <QVBoxLayout>

#include "core/app/prompts.h"
#include "core/rtf/rtf_pieces.h"
#include "ui/editor/xrich_edit_ctrl.h"

namespace zorbek {

namespace {
constexpr const char* kZeroOrEmpty = "输入数据不能为零或者为空";

QLineEdit* NumberBox(QWidget* parent, const QString& name) {
  auto* box = new QLineEdit(QStringLiteral("2"), parent);
  box->setObjectName(name);
  box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
  box->setMaxLength(9);
  return box;
}

// The number in a box; 0 when it is empty. Digits beyond the int range read as INT_MAX.
int Read(const QLineEdit* box) {
  const QString text = box->text().trimmed();
  if (text.isEmpty()) return 0;
  bool ok = false;
  const qlonglong value = text.toLongLong(&ok);
  if (!ok) return 0;
  return value > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(value);
}
}  // namespace

QString TableSizeLimitMessage() {
  return QStringLiteral("表格最多可有 %1 行、%2 列。").arg(kTableMaxRows).arg(kTableMaxColumns);
}

CWndTable::CWndTable(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("表格"));
  // A dialog box: a title and a close button, no minimising or maximising.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setObjectName(QStringLiteral("TableDialog"));
  rowsBox_ = NumberBox(this, QStringLiteral("Rows"));
  columnsBox_ = NumberBox(this, QStringLiteral("Columns"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("行："), rowsBox_);
  form->addRow(QStringLiteral("列："), columnsBox_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* insert = buttons->addButton(QStringLiteral("插入"), QDialogButtonBox::AcceptRole);
  insert->setObjectName(QStringLiteral("Insert"));
  insert->setDefault(true);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CWndTable::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CWndTable::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  rowsBox_->setFocus();
  rowsBox_->selectAll();
}

void CWndTable::accept() {
  const int rows = Read(rowsBox_), columns = Read(columnsBox_);
  if (rows == 0 || columns == 0) {
    prompts().Message(kZeroOrEmpty, MsgButtons::Ok, MsgIcon::Warning);
    (rows == 0 ? rowsBox_ : columnsBox_)->setFocus();
    return;
  }
  if (rows > kTableMaxRows || columns > kTableMaxColumns) {
    prompts().Message(TableSizeLimitMessage().toStdString(), MsgButtons::Ok, MsgIcon::Warning);
    (rows > kTableMaxRows ? rowsBox_ : columnsBox_)->setFocus();
    return;
  }
  rows_ = rows;
  columns_ = columns;
  QDialog::accept();
}

void InsertTableWithDialog(CXRichEditCtrl* richEdit, QWidget* parent) {
  CWndTable dialog(parent);
  const bool ok = dialog.exec() == QDialog::Accepted;
  richEdit->setFocus();
  if (ok) richEdit->InsertTable(dialog.Rows(), dialog.Columns());
}

}  // namespace zorbek
