#include "core/calendar/month_view.h"

#include <cstdio>

namespace zorbek::calendar {

namespace {

constexpr int kMinYear = 1, kMaxYear = 9999;

Date Step(const Date& date, int days) { return DateOfDayNumber(DayNumber(date) + days); }

// From `start`, steps one day at a time (at most six times) until the date is `day` of `month`.
Date Seek(const Date& start, int month, int day, int step) {
  Date t = start;
  for (int i = 0; i < 6; ++i) {
    if (t.month == month && t.day == day) break;
    t = Step(t, step);
  }
  return t;
}

}  // namespace

Date MoveDate(const Date& date, DateMove move) {
  Date t = date;
  Date moved;
  switch (move) {
    case DateMove::PreviousYear:
      moved = Step(t, -365);
      if (!(moved.year == t.year - 1 && moved.month == t.month && moved.day == t.day))
        moved = Step(moved, -1);
      break;
    case DateMove::NextYear:
      moved = Step(t, 365);
      if (!(moved.year == t.year + 1 && moved.month == t.month && moved.day == t.day))
        moved = Step(moved, 1);
      break;
    case DateMove::NextMonth:
      if (t.month == 1 && t.day > 28) t.day = 28;
      if (t.day == 31 && t.month != 7) t.day = 30;
      moved = Seek(Step(t, 28), t.month % 12 + 1, t.day, 1);
      break;
    case DateMove::PreviousMonth:
      if (t.month == 3 && t.day > 28) t.day = 28;
      if (t.day == 31 && t.month != 8) t.day = 30;
      moved = Seek(Step(t, -28), (t.month + 10) % 12 + 1, t.day, -1);
      break;
  }
  if (moved.year < kMinYear || moved.year > kMaxYear) return date;
  return moved;
}

MonthView::MonthView(const Date& today) : today_(today), selected_(today) { Build(); }

void MonthView::Build() {
  shownYear_ = selected_.year;
  shownMonth_ = selected_.month;
  const int first = DayNumber(Date{shownYear_, shownMonth_, 1});
  const int start = first - DayOfWeek(first);
  for (int i = 0; i < kCells; ++i)
    cells_[static_cast<std::size_t>(i)] = DescribeDay(DateOfDayNumber(start + i));
  built_ = true;
  ++buildCount_;
}

int MonthView::selectedCell() const {
  return DayNumber(selected_) - cells_[0].dayNumber;
}

bool MonthView::Select(const Date& date) {
  selected_ = date;
  if (built_ && date.year == shownYear_ && date.month == shownMonth_) return false;
  Build();
  return true;
}

MonthView::ClickOutcome MonthView::ClickCell(int index) {
  if (index < 0 || index >= kCells) return ClickOutcome::Nothing;
  const Date& date = cell(index).date;
  if (date == selected_) return ClickOutcome::Nothing;
  return Select(date) ? ClickOutcome::OtherMonth : ClickOutcome::SameMonth;
}

void MonthView::Move(DateMove move) { Select(MoveDate(selected_, move)); }

std::string MonthView::Title() const {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d年%02d月", shownYear_, shownMonth_);
  return buf;
}

std::string MonthView::Description() const {
  return calendar::Description(cell(selectedCell()).names);
}

CellLook MonthView::Look(int index) const {
  const LunarDay& day = cell(index);
  CellLook look;
  look.shownMonth = day.date.year == shownYear_ && day.date.month == shownMonth_;
  look.today = day.date == today_;
  look.selected = day.date == selected_;
  const int column = index % kColumns;
  look.weekend = column == 0 || column == kColumns - 1;
  look.dayText = std::to_string(day.date.day);
  look.lunarIsTerm = day.solarTerm != 0;
  if (look.lunarIsTerm) {
    look.lunarText = day.names.term;
  } else if (day.lunar.day == 1) {
    // The first day of a lunar month shows the month's name, in the month shown and in the
    // neighbouring months' days alike.
    look.lunarText = day.names.month;
  } else {
    look.lunarText = day.names.day;
  }
  return look;
}

}  // namespace zorbek::calendar
