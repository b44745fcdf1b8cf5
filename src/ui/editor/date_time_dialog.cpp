#include "ui/editor/date_time_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/app/clock.h"
#include "core/editor/editor_text.h"

namespace zorbek {

namespace {
QDateTime LocalNow() {
  const SystemTime t = clock().LocalNow();
  return QDateTime(QDate(t.year, t.month, t.day),
                   QTime(t.hour, t.minute, t.second, t.milliseconds));
}
}  // namespace

QStringList CDateTimeDialog::Entries(const QDateTime& moment, const QLocale& locale) {
  std::vector<std::string> texts;
  auto add = [&](const QLocale& l, const QString& format, bool date, bool time) {
    if (format.isEmpty()) return;
    QString text;
    if (date && time)
      text = l.toString(moment, format);
    else if (date)
      text = l.toString(moment.date(), format);
    else
      text = l.toString(moment.time(), format);
    texts.push_back(text.toStdString());
  };
  for (QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat})
    add(locale, locale.dateFormat(type), true, false);
  for (QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat})
    add(locale, locale.timeFormat(type), false, true);
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  for (const std::string& f : editor::ChineseShortDateFormats())
    add(chinese, QString::fromStdString(f), true, false);
  for (const std::string& f : editor::ChineseLongDateFormats())
    add(chinese, QString::fromStdString(f), true, false);
  for (const std::string& f : editor::ChineseTimeFormats())
    add(chinese, QString::fromStdString(f), false, true);
  QStringList out;
  for (const std::string& entry : editor::DateTimeListEntries(texts))
    out << QString::fromStdString(entry);
  return out;
}

CDateTimeDialog::CDateTimeDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("目期"));
  setObjectName(QStringLiteral("DateTimeDialog"));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("Formats"));
  list_->addItems(Entries(LocalNow(), QLocale::system()));
  if (list_->count() > 0) list_->setCurrentRow(0);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(320, 300);
}

QString CDateTimeDialog::SelectedText() const {
  const QListWidgetItem* item = list_->currentItem();
  return item ? item->text() : QString();
}

}  // namespace zorbek
