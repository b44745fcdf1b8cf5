#include "ui/reminders/schedule_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "ui/app/qt_text.h"
#include "core/app/prompts.h"
#include "core/reminders/reminder_text.h"
#include "core/reminders/reminder_time.h"

namespace zorbek {
namespace {


QString WithNewlines(const std::string& s) {
  QString t = Q(s);
  t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return t;
}

QDate DateOf(const SystemTime& t) {
  const QDate d(t.year, t.month, t.day);
  return d.isValid() ? d : QDate(1601, 1, 1);
}

QTime TimeOf(const SystemTime& t) {
  const QTime time(t.hour, t.minute, t.second, t.milliseconds);
  return time.isValid() ? time : QTime(0, 0);
}

SystemTime FromQDate(const QDate& d) {
  SystemTime t;
  t.year = static_cast<std::uint16_t>(d.year());
  t.month = static_cast<std::uint16_t>(d.month());
  t.day = static_cast<std::uint16_t>(d.day());
  return WithDayOfWeek(t);
}

SystemTime FromQTime(const QTime& q) {
  SystemTime t;
  t.hour = static_cast<std::uint16_t>(q.hour());
  t.minute = static_cast<std::uint16_t>(q.minute());
  t.second = static_cast<std::uint16_t>(q.second());
  t.milliseconds = static_cast<std::uint16_t>(q.msec());
  return t;
}

QDateEdit* DatePicker(QWidget* parent) {
  auto* e = new QDateEdit(parent);
  e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  e->setCalendarPopup(true);
  e->setMinimumDate(QDate(1601, 1, 1));
  e->setMaximumDate(QDate(9999, 12, 31));
  return e;
}

}  // namespace

// ---- edit dialog ---------------------------------------------------------------------------

CScheduleOperation::CScheduleOperation(const ReminderRecord* existing, QWidget* parent)
    : QDialog(parent), form_(existing ? ReminderFormFor(*existing) : NewReminderForm()) {
  setObjectName(QStringLiteral("CScheduleOperation"));
  setWindowTitle(form_.isNew ? QStringLiteral("增加") : QStringLiteral("修改"));

  mode_ = new QComboBox(this);
  for (const char* item : {"只提醒一次", "每天同一时间", "每周同一时间", "每月同一时间",
                           "每年同一时间", "时间段"})
    mode_->addItem(QString::fromUtf8(item));
  hourly_ = new QCheckBox(QStringLiteral("每小时"), this);
  halfHourly_ = new QCheckBox(QStringLiteral("每半小时"), this);
  startDate_ = DatePicker(this);
  time_ = new QTimeEdit(this);
  time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  weekday_ = new QComboBox(this);
  for (const char* item : {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"})
    weekday_->addItem(QString::fromUtf8(item));
  endDate_ = DatePicker(this);
  text_ = new QTextEdit(this);
  text_->setAcceptRichText(false);
  text_->setTabChangesFocus(true);
  buttons_ = new QDialogButtonBox(this);
  QPushButton* ok = buttons_->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  buttons_->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  ok->setDefault(true);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("方式"), this), 0, 0);
  grid->addWidget(mode_, 0, 1);
  grid->addWidget(hourly_, 0, 2);
  grid->addWidget(halfHourly_, 0, 3);
  grid->addWidget(new QLabel(QStringLiteral("时间"), this), 1, 0);
  grid->addWidget(startDate_, 1, 1);
  grid->addWidget(time_, 1, 2);
  grid->addWidget(weekday_, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("至"), this), 2, 0);
  grid->addWidget(endDate_, 2, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(new QLabel(QStringLiteral("提醒内容"), this));
  layout->addWidget(text_, 1);
  layout->addWidget(buttons_);
  resize(400, 320);

  // The controls as the form says.
  text_->setPlainText(WithNewlines(form_.text));
  startDate_->setDate(DateOf(form_.date));
  time_->setTime(TimeOf(form_.time));
  endDate_->setDate(DateOf(form_.endDate));
  weekday_->setCurrentIndex(form_.weekday >= 0 && form_.weekday <= 6 ? form_.weekday : 0);
  mode_->setCurrentIndex(form_.modeIndex);
  hourly_->setChecked(form_.hourly);
  halfHourly_->setChecked(form_.halfHourly);
  mode_->setEnabled(form_.modeListEnabled);
  ApplyEnables();

  connect(mode_, &QComboBox::currentIndexChanged, this, [this] {
    if (mode_->currentIndex() >= 0) ApplyEnables();
  });
  connect(hourly_, &QCheckBox::clicked, this, [this](bool c) { OnHourlyClicked(true, c); });
  connect(halfHourly_, &QCheckBox::clicked, this, [this](bool c) { OnHourlyClicked(false, c); });
  connect(buttons_, &QDialogButtonBox::accepted, this, &CScheduleOperation::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &CScheduleOperation::reject);
  text_->setFocus();
}

ReminderForm CScheduleOperation::ReadForm() const {
  ReminderForm f = form_;
  f.text = text_->toPlainText().toStdString();
  f.modeListEnabled = mode_->isEnabledTo(this);
  f.modeIndex = mode_->currentIndex();
  f.hourly = hourly_->isChecked();
  f.halfHourly = halfHourly_->isChecked();
  f.date = FromQDate(startDate_->date());
  f.time = FromQTime(time_->time());
  f.weekday = weekday_->currentIndex();
  f.endDate = FromQDate(endDate_->date());
  return f;
}

void CScheduleOperation::ApplyEnables() {
  const ReminderFormEnables e = FormEnables(ReadForm());
  mode_->setEnabled(e.modeList);
  startDate_->setEnabled(e.startDate);
  weekday_->setEnabled(e.weekday);
  endDate_->setEnabled(e.endDate);
  time_->setEnabled(e.time);
}

void CScheduleOperation::OnHourlyClicked(bool hourly, bool checked) {
  ReminderForm f = ReadForm();
  ToggleHourlyBox(f, hourly, checked);
  hourly_->setChecked(f.hourly);
  halfHourly_->setChecked(f.halfHourly);
  mode_->setEnabled(f.modeListEnabled);
  ApplyEnables();
}

void CScheduleOperation::accept() {
  ReminderFormResult r = CheckReminderForm(ReadForm());
  if (!r.ok) {
    // The dialog stays open with everything the user typed.
    prompts().Message(r.message, MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  result_ = std::move(r);
  QDialog::accept();
}

// ---- detail view ---------------------------------------------------------------------------

CScheduleDetail::CScheduleDetail(const ReminderRecord& reminder, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("CScheduleDetail"));
  setWindowTitle(QStringLiteral("详情"));
  view_ = new QTextEdit(this);
  view_->setReadOnly(true);
  view_->setAcceptRichText(false);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addWidget(buttons);
  resize(400, 300);
  view_->setPlainText(
      WithNewlines(ReminderDetailText(reminder.mode, reminder.start, reminder.content)));
}

QString CScheduleDetail::Text() const { return view_->toPlainText(); }

}  // namespace zorbek
