// The state of the month calendar: today, the selected day, the six weeks shown around the
// selected day's month, and the moves by month and by year. No drawing here.
#pragma once

#include <array>
#include <string>

#include "core/calendar/lunar.h"

namespace zorbek::calendar {

enum class DateMove { PreviousYear, PreviousMonth, NextMonth, NextYear };

// Moves a date by a year or a month the calendar's way:
// - by a year: to the same month and day, and a 29 February without its like to 28 February
//   (back) or 1 March (forward);
// - forward by a month: a day after 28 January counts as 28 January, a 31st other than 31 July
//   as the 30th; then the same day of the next month, or the next day that exists in it;
// - back by a month: a day after 28 March counts as 28 March, a 31st other than 31 August as the
//   30th; then the same day of the previous month, or the last day before it that exists.
// A move that would leave the years 1 to 9999 leaves the date where it is.
Date MoveDate(const Date& date, DateMove move);

// How one day cell is to be shown.
struct CellLook {
  bool shownMonth = false;  // the day belongs to the month shown (else previous or next month)
  bool today = false;
  bool selected = false;
  bool weekend = false;     // Saturday or Sunday
  std::string dayText;      // "1" ... "31"
  std::string lunarText;    // the solar term, the lunar month name or the lunar day name
  bool lunarIsTerm = false;
};

class MonthView {
 public:
  static constexpr int kColumns = 7;
  static constexpr int kRows = 6;
  static constexpr int kCells = kColumns * kRows;

  // Today and the selected day start as `today`; the grid is built at once.
  explicit MonthView(const Date& today);

  const Date& today() const { return today_; }
  const Date& selected() const { return selected_; }
  int shownYear() const { return shownYear_; }
  int shownMonth() const { return shownMonth_; }
  const LunarDay& cell(int index) const { return cells_[static_cast<std::size_t>(index)]; }
  // The cell of the selected day (always in the grid).
  int selectedCell() const;
  // How many times the 42 cells have been computed.
  int buildCount() const { return buildCount_; }

  // Makes `date` the selected day. When it lies in another month than the one shown, the grid is
  // rebuilt for its month and true is returned; otherwise only the selection changes.
  bool Select(const Date& date);

  // A click on a day cell.
  enum class ClickOutcome {
    Nothing,     // the cell is the selected day already
    SameMonth,   // the selection moved within the month shown
    OtherMonth,  // the day lies in another month: the grid was rebuilt for it
  };
  ClickOutcome ClickCell(int index);

  // Moves the selected day by a month or a year and rebuilds the grid.
  void Move(DateMove move);

  // "2026年02月"
  std::string Title() const;
  // The description of the selected day: year, month, day and term names joined by spaces.
  std::string Description() const;
  CellLook Look(int index) const;

 private:
  void Build();

  Date today_;
  Date selected_;
  int shownYear_ = 0, shownMonth_ = 0;
  bool built_ = false;
  int buildCount_ = 0;
  std::array<LunarDay, kCells> cells_{};
};

}  // namespace zorbek::calendar
