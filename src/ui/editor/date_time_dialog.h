// The date/time dialog: the present moment in every date and time format offered, one of
// which replaces the selection.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QLocale>

class QListWidget;

namespace zorbek {

class CDateTimeDialog : public QDialog {
  Q_OBJECT
 public:
  // Lists the clock's present local time.
  explicit CDateTimeDialog(QWidget* parent = nullptr);

  // The list's entries for a moment: the locale's short date, long date and time formats and
  // the common Chinese ones, without duplicates, sorted.
  static QStringList Entries(const QDateTime& moment, const QLocale& locale);

  QListWidget* List() const { return list_; }
  // The chosen text (empty when nothing is selected).
  QString SelectedText() const;

 private:
  QListWidget* list_;
};

}  // namespace zorbek
