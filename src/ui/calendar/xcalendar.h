// The month calendar panel: a title row to step by month and by year with the description of
// the selected day, the weekday row, and six weeks of days with their lunar dates and solar
// terms. All date logic lives in calendar::MonthView; this widget draws it and turns clicks
// into its calls.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include "core/calendar/month_view.h"

class QPainter;

namespace zorbek {

class XCalendar : public QWidget {
  Q_OBJECT

 public:
  // Today and the selected day are the present moment of the program's clock.
  explicit XCalendar(QWidget* parent = nullptr);

  // The title-row items, left to right.
  enum Item { kPreviousYear, kPreviousMonth, kTitle, kNextMonth, kNextYear, kItemCount };

  const calendar::MonthView& view() const { return view_; }
  QRect itemRect(Item item) const;
  QRect descriptionRect() const;
  QRect cellRect(int index) const;
  // The description shown in the title row (as of the last paint).
  const QString& descriptionText() const { return description_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  static bool IsButton(int item) { return item != kTitle && item >= 0 && item < kItemCount; }
  int ButtonAt(const QPoint& pos) const;  // -1 when none
  int CellAt(const QPoint& pos) const;    // -1 when none
  QRect gridRect() const;

  void PaintTitleRow(QPainter& p);
  void PaintWeekdayRow(QPainter& p);
  void PaintGrid(QPainter& p);
  void PaintCell(QPainter& p, int index);
  void PaintEdge(QPainter& p, const QRect& r, bool sunken);

  calendar::MonthView view_;
  QString description_;
  int pressed_ = -1;  // the title-row button held down, or -1
  QFont boldSmall_, boldLarge_, normalSmall_;
};

}  // namespace zorbek
