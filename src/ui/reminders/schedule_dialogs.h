// The reminder edit dialog ("增加" / "修改") and the detail view ("详情"). Neither touches the
// store: the list window fills them from a reminder and stores what the edit dialog returns.
// The checks and the enabled controls come from ReminderForm (core).
#pragma once

#include <QDialog>
#include <optional>

#include "core/reminders/reminder_form.h"
#include "core/reminders/reminder_record.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDialogButtonBox;
class QTextEdit;
class QTimeEdit;

namespace zorbek {

class CScheduleOperation : public QDialog {
  Q_OBJECT
 public:
  // Add mode without a reminder (a new id, the present moment); modify mode with one.
  explicit CScheduleOperation(const ReminderRecord* existing = nullptr, QWidget* parent = nullptr);

  bool IsNew() const { return form_.isNew; }
  // What OK accepted (valid after the dialog ended with Accepted).
  const ReminderFormResult& Result() const { return result_; }

  // The controls, for the tests and the screenshots.
  QComboBox* ModeBox() const { return mode_; }
  QCheckBox* HourlyBox() const { return hourly_; }
  QCheckBox* HalfHourlyBox() const { return halfHourly_; }
  QDateEdit* StartDateEdit() const { return startDate_; }
  QTimeEdit* TimeEdit() const { return time_; }
  QComboBox* WeekdayBox() const { return weekday_; }
  QDateEdit* EndDateEdit() const { return endDate_; }
  QTextEdit* TextEdit() const { return text_; }

  // The form as the controls hold it now.
  ReminderForm ReadForm() const;

 public slots:
  void accept() override;

 private:
  void ApplyEnables();
  void OnHourlyClicked(bool hourly, bool checked);

  ReminderForm form_;
  ReminderFormResult result_;
  QComboBox* mode_;
  QCheckBox* hourly_;
  QCheckBox* halfHourly_;
  QDateEdit* startDate_;
  QTimeEdit* time_;
  QComboBox* weekday_;
  QDateEdit* endDate_;
  QTextEdit* text_;
  QDialogButtonBox* buttons_;
};

class CScheduleDetail : public QDialog {
  Q_OBJECT
 public:
  explicit CScheduleDetail(const ReminderRecord& reminder, QWidget* parent = nullptr);
  QString Text() const;

 private:
  QTextEdit* view_;
};

}  // namespace zorbek
