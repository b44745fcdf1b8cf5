// The reminder list window ("Schedule"): a report list of every reminder, newest first, each
// row with a preview of its text, or the calendar panel; a toolbar carries add, modify, details,
// delete and the switch to the calendar. At most one is open (OpenReminderListWindow).
#pragma once

#include <QHash>
#include <QPersistentModelIndex>
#include <QWidget>
#include <string>

#include "core/reminders/reminder_record.h"
#include "core/notes/notebook.h"
#include "core/reminders/reminder_store.h"

class QAction;
class QToolBar;

namespace zorbek {

class CReportCtrl;
class XCalendar;

// The toolbar's commands.
namespace schedulecmd {
inline constexpr int kAdd = 32861;
inline constexpr int kModify = 32862;
inline constexpr int kDelete = 32863;
inline constexpr int kCalendar = 32864;
inline constexpr int kDetails = 32865;
}  // namespace schedulecmd

// The report list's columns.
enum ScheduleColumn { kColumnId = 0, kColumnTime = 1, kColumnMode = 2, kColumnValidity = 3 };

class CWndSchedule : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;

  // Fills the list from the store, which must outlive the window.
  explicit CWndSchedule(ReminderStore& store, QWidget* parent = nullptr);
  // The list of the notebook's reminders, filled again whenever the notebook is read again
  // from disk. The notebook must outlive the window.
  explicit CWndSchedule(Notebook& notebook, QWidget* parent = nullptr);
  ~CWndSchedule() override;

  // Inserts or updates the row of one reminder (never calls the store).
  void SetReminderRow(const std::string& id, const SystemTime& start, const SystemTime& stop,
                      std::int32_t mode, const std::string& content);
  // Fills the list again from the store (after the database was read again).
  void Refill();
  // Runs a toolbar command; a disabled one does nothing.
  void RunCommand(int command);
  bool CommandEnabled(int command) const;
  bool CalendarShown() const;

  CReportCtrl* ReportList() const { return list_; }
  XCalendar* Calendar() const { return calendar_; }
  QToolBar* ToolBar() const { return toolbar_; }
  QAction* Action(int command) const;
  // The row shown at the larger height, or -2.
  int ExpandedRow() const;

  // The preview heights: the text's height capped at three lines, or at eight for the row that
  // was selected last.
  int PreviewHeight(const QString& content, int lines) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Add();
  void Modify();
  void Details();
  void Delete();
  void ToggleCalendar();
  void UpdateCommandStates();
  void OnSelectionChanged(int row, bool selected);
  void OnEmptyAreaClicked();
  void OnDoubleClicked(int row);
  void DrawPreview(QPainter* painter, int row, bool selected, const QRect& rect);
  void ResetExpandedRow();
  int FindRow(const QString& id, std::int32_t mode) const;
  int PreviewTextWidth() const;
  void LayoutColumns();

  ReminderStore& store_;
  Notebook* notebook_ = nullptr;  // when listening to one
  int listener_ = 0;
  CReportCtrl* list_;
  XCalendar* calendar_;
  QToolBar* toolbar_;
  QHash<int, QAction*> actions_;
  QHash<QString, QString> contents_;  // the text each row was set with, by id
  QPersistentModelIndex expanded_;    // follows its row when rows above come and go
  int threeLines_ = 0, eightLines_ = 0, oneLine_ = 0;
};

// Opens the reminder list over store, or brings the open one forward (restored when it was
// minimised). Main thread only.
CWndSchedule* OpenReminderListWindow(Notebook& notebook);
// The open list window, or null.
CWndSchedule* ReminderListWindow();
// Closes the open list window, if any, at once.
void CloseReminderListWindow();

}  // namespace zorbek
