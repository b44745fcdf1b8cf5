#include <gtest/gtest.h>

#include "core/calendar/month_view.h"

namespace zorbek::calendar {

[[maybe_unused]] static void PrintTo(const Date& d, std::ostream* os) { *os << FormatDate(d); }

namespace {

Date Move(Date d, DateMove m) { return MoveDate(d, m); }

TEST(CalendarMoves, NextMonthKeepsTheDayOrTakesTheMonthsLast) {
  EXPECT_EQ(Move({2026, 3, 31}, DateMove::NextMonth), (Date{2026, 4, 30}));
  EXPECT_EQ(Move({2026, 1, 31}, DateMove::NextMonth), (Date{2026, 2, 28}));
  EXPECT_EQ(Move({2028, 1, 31}, DateMove::NextMonth), (Date{2028, 2, 28}));  // 28 January first
  EXPECT_EQ(Move({2028, 1, 29}, DateMove::NextMonth), (Date{2028, 2, 28}));
  EXPECT_EQ(Move({2026, 7, 31}, DateMove::NextMonth), (Date{2026, 8, 31}));
  EXPECT_EQ(Move({2026, 8, 31}, DateMove::NextMonth), (Date{2026, 9, 30}));
  EXPECT_EQ(Move({2026, 5, 31}, DateMove::NextMonth), (Date{2026, 6, 30}));
  EXPECT_EQ(Move({2028, 2, 29}, DateMove::NextMonth), (Date{2028, 3, 29}));
  EXPECT_EQ(Move({2026, 2, 17}, DateMove::NextMonth), (Date{2026, 3, 17}));
  // December to January of the next year: the month after 12 is 1.
  EXPECT_EQ(Move({2026, 12, 31}, DateMove::NextMonth), (Date{2027, 1, 30}));
  EXPECT_EQ(Move({2026, 12, 5}, DateMove::NextMonth), (Date{2027, 1, 5}));
}

TEST(CalendarMoves, PreviousMonthKeepsTheDayOrTakesTheMonthsLast) {
  EXPECT_EQ(Move({2026, 3, 31}, DateMove::PreviousMonth), (Date{2026, 2, 28}));
  EXPECT_EQ(Move({2028, 3, 31}, DateMove::PreviousMonth), (Date{2028, 2, 28}));  // 28 March first
  EXPECT_EQ(Move({2028, 3, 28}, DateMove::PreviousMonth), (Date{2028, 2, 28}));
  EXPECT_EQ(Move({2026, 8, 31}, DateMove::PreviousMonth), (Date{2026, 7, 31}));
  EXPECT_EQ(Move({2026, 7, 31}, DateMove::PreviousMonth), (Date{2026, 6, 30}));
  EXPECT_EQ(Move({2026, 5, 31}, DateMove::PreviousMonth), (Date{2026, 4, 30}));
  EXPECT_EQ(Move({2026, 4, 30}, DateMove::PreviousMonth), (Date{2026, 3, 30}));
  // January to December of the year before: the month before 1 is 12.
  EXPECT_EQ(Move({2026, 1, 31}, DateMove::PreviousMonth), (Date{2025, 12, 30}));
  EXPECT_EQ(Move({2026, 1, 5}, DateMove::PreviousMonth), (Date{2025, 12, 5}));
}

TEST(CalendarMoves, ByYearFromTheLeapDay) {
  EXPECT_EQ(Move({2028, 2, 29}, DateMove::NextYear), (Date{2029, 3, 1}));
  EXPECT_EQ(Move({2028, 2, 29}, DateMove::PreviousYear), (Date{2027, 2, 28}));
  // Across a leap day and not.
  EXPECT_EQ(Move({2024, 3, 10}, DateMove::PreviousYear), (Date{2023, 3, 10}));
  EXPECT_EQ(Move({2024, 1, 10}, DateMove::NextYear), (Date{2025, 1, 10}));
  EXPECT_EQ(Move({2026, 12, 31}, DateMove::NextYear), (Date{2027, 12, 31}));
  EXPECT_EQ(Move({2026, 1, 1}, DateMove::PreviousYear), (Date{2025, 1, 1}));
  EXPECT_EQ(Move({1900, 2, 28}, DateMove::NextYear), (Date{1901, 2, 28}));
}

TEST(CalendarMoves, StayInsideTheYearsOneTo9999) {
  EXPECT_EQ(Move({9999, 12, 15}, DateMove::NextMonth), (Date{9999, 12, 15}));
  EXPECT_EQ(Move({9999, 3, 15}, DateMove::NextYear), (Date{9999, 3, 15}));
  EXPECT_EQ(Move({1, 1, 10}, DateMove::PreviousMonth), (Date{1, 1, 10}));
  EXPECT_EQ(Move({1, 5, 10}, DateMove::PreviousYear), (Date{1, 5, 10}));
  EXPECT_EQ(Move({1, 5, 10}, DateMove::PreviousMonth), (Date{1, 4, 10}));
}

TEST(CalendarGrid, StartsOnTheSundayOnOrBeforeTheFirst) {
  MonthView december({2026, 12, 6});
  EXPECT_EQ(december.cell(0).date, (Date{2026, 11, 29}));
  EXPECT_EQ(december.cell(41).date, (Date{2027, 1, 9}));
  EXPECT_EQ(december.selectedCell(), 7);
  // February 2026 begins on a Sunday: the first cell is the first of the month.
  MonthView february({2026, 2, 10});
  EXPECT_EQ(february.cell(0).date, (Date{2026, 2, 1}));
  EXPECT_EQ(february.cell(41).date, (Date{2026, 3, 14}));
  // Consecutive days, each with its lunar date.
  for (int i = 1; i < MonthView::kCells; ++i)
    EXPECT_EQ(february.cell(i).dayNumber, february.cell(i - 1).dayNumber + 1);
  EXPECT_EQ(february.cell(16).lunar, (LunarDate{2026, 1, 1, false}));
  EXPECT_EQ(february.Title(), "2026年02月");
  EXPECT_EQ(MonthView({987, 3, 1}).Title(), "0987年03月");
}

TEST(CalendarGrid, RebuiltOnlyWhenTheMonthChanges) {
  MonthView view({2026, 2, 10});
  EXPECT_EQ(view.buildCount(), 1);
  EXPECT_FALSE(view.Select({2026, 2, 27}));
  EXPECT_EQ(view.buildCount(), 1);
  EXPECT_EQ(view.ClickCell(view.selectedCell()), MonthView::ClickOutcome::Nothing);
  EXPECT_EQ(view.ClickCell(3), MonthView::ClickOutcome::SameMonth);
  EXPECT_EQ(view.selected(), (Date{2026, 2, 4}));
  EXPECT_EQ(view.buildCount(), 1);
  // A day of the next month shown in the last week: the grid moves to March.
  EXPECT_EQ(view.ClickCell(30), MonthView::ClickOutcome::OtherMonth);
  EXPECT_EQ(view.selected(), (Date{2026, 3, 3}));
  EXPECT_EQ(view.shownMonth(), 3);
  EXPECT_EQ(view.buildCount(), 2);
  EXPECT_EQ(view.cell(view.selectedCell()).date, (Date{2026, 3, 3}));
  // The same month of another year is another month.
  EXPECT_TRUE(view.Select({2027, 3, 3}));
  EXPECT_EQ(view.ClickCell(-1), MonthView::ClickOutcome::Nothing);
  EXPECT_EQ(view.ClickCell(42), MonthView::ClickOutcome::Nothing);
  view.Move(DateMove::NextYear);
  EXPECT_EQ(view.selected(), (Date{2028, 3, 3}));
  EXPECT_EQ(view.Title(), "2028年03月");
  EXPECT_EQ(view.buildCount(), 4);
  EXPECT_EQ(view.today(), (Date{2026, 2, 10}));
}

TEST(CalendarGrid, DescriptionOfTheSelectedDay) {
  MonthView view({2026, 12, 6});
  EXPECT_EQ(view.Description(), "丙午 马年 十月 廿八 ");
  view.Select({2026, 12, 22});
  EXPECT_EQ(view.Description(), "丙午 马年 十一月 十四 冬至");
  // Outside the tables: no lunar text, and nothing read out of bounds.
  view.Select({2080, 6, 1});
  EXPECT_EQ(view.Description(), "   ");
  EXPECT_EQ(view.Look(view.selectedCell()).lunarText, "");
}

TEST(CalendarLooks, WhatEachCellShows) {
  MonthView feb({2026, 2, 10});
  auto look = [&](int day) { return feb.Look(day - 1); };  // February 2026 starts in cell 0
  EXPECT_EQ(look(17).lunarText, "正月");  // the first of the first lunar month
  EXPECT_FALSE(look(17).lunarIsTerm);
  EXPECT_EQ(look(16).lunarText, "廿九");
  EXPECT_EQ(look(4).lunarText, "立春");
  EXPECT_TRUE(look(4).lunarIsTerm);
  EXPECT_TRUE(look(10).today);
  EXPECT_TRUE(look(10).selected);
  EXPECT_FALSE(look(11).today || look(11).selected);
  EXPECT_TRUE(look(1).weekend);   // Sunday
  EXPECT_TRUE(look(7).weekend);   // Saturday
  EXPECT_FALSE(look(2).weekend);
  EXPECT_EQ(look(28).dayText, "28");
  EXPECT_TRUE(look(28).shownMonth);

  // March 2025: 28 February (lunar 2/1) and 1 April (lunar 3/4) lie in the neighbouring months;
  // 29 March (lunar 3/1) in the month shown.
  MonthView march({2025, 3, 15});
  ASSERT_EQ(march.cell(5).date, (Date{2025, 2, 28}));
  EXPECT_FALSE(march.Look(5).shownMonth);
  EXPECT_EQ(march.Look(5).lunarText, "二月");  // a lunar first shows its month, in any cell
  ASSERT_EQ(march.cell(34).date, (Date{2025, 3, 29}));
  EXPECT_EQ(march.Look(34).lunarText, "三月");
  ASSERT_EQ(march.cell(37).date, (Date{2025, 4, 1}));
  EXPECT_FALSE(march.Look(37).shownMonth);
  EXPECT_EQ(march.Look(37).lunarText, "初四");  // a Gregorian first is a day like any other
  ASSERT_EQ(march.cell(40).date, (Date{2025, 4, 4}));
  EXPECT_EQ(march.Look(40).lunarText, "清明");
  EXPECT_TRUE(march.Look(40).lunarIsTerm);

  // Today can lie among the neighbouring month's days.
  MonthView view({2026, 3, 2});
  view.Select({2026, 2, 20});
  ASSERT_EQ(view.cell(29).date, (Date{2026, 3, 2}));
  EXPECT_TRUE(view.Look(29).today);
  EXPECT_FALSE(view.Look(29).shownMonth);
}

// The days of the previous and next months follow the rule of the month shown: the solar term,
// else the lunar month's name on its first day, else the lunar day. 1 January and 1 March 2027
// are 廿四 (not 十一月 and 正月), and 8 March 2027, the first of the second lunar month, is 二月.
TEST(CalendarLooks, NeighbouringMonthsDaysAreNamedLikeTheMonthShown) {
  MonthView december({2026, 12, 6});
  ASSERT_EQ(december.cell(33).date, (Date{2027, 1, 1}));
  EXPECT_FALSE(december.Look(33).shownMonth);
  EXPECT_EQ(december.Look(33).lunarText, "廿四");
  MonthView february({2027, 2, 10});
  ASSERT_EQ(february.cell(29).date, (Date{2027, 3, 1}));
  EXPECT_EQ(february.Look(29).lunarText, "廿四");
  ASSERT_EQ(february.cell(36).date, (Date{2027, 3, 8}));
  EXPECT_EQ(february.Look(36).lunarText, "二月");
  // February 2026 as the calendar shows it: 1 March is 十三, 14 March 廿六.
  MonthView feb2026({2026, 2, 1});
  ASSERT_EQ(feb2026.cell(28).date, (Date{2026, 3, 1}));
  EXPECT_EQ(feb2026.Look(28).lunarText, "十三");
  EXPECT_EQ(feb2026.Look(41).lunarText, "廿六");
}

// Every cell of every month from 1901 to 2050, the neighbouring months' days included, against
// the lunar conversion and the solar-term table the days of the month itself are checked with.
TEST(CalendarLooks, EveryCellOfEveryMonthFrom1901To2050) {
  int cells = 0, monthNames = 0, terms = 0;
  for (int year = 1901; year <= 2050; ++year) {
    for (int month = 1; month <= 12; ++month) {
      const MonthView view({year, month, 1});
      for (int i = 0; i < MonthView::kCells; ++i) {
        const Date date = view.cell(i).date;
        ASSERT_EQ(DayNumber(date), DayNumber({year, month, 1}) -
                                       DayOfWeek(DayNumber({year, month, 1})) + i);
        std::string expected;
        LunarDate lunar;
        if (const int term = SolarTermOf(date); term != 0) {
          expected = SolarTermName(term);
          ++terms;
        } else if (ToLunar(DayNumber(date), &lunar)) {
          expected = lunar.day == 1 ? MonthName(lunar.month) : DayName(lunar.day);
          monthNames += lunar.day == 1;
        }
        const CellLook look = view.Look(i);
        ASSERT_EQ(look.lunarText, expected) << FormatDate(date) << " in " << year << "-" << month;
        ASSERT_EQ(look.shownMonth, date.year == year && date.month == month) << FormatDate(date);
        ASSERT_EQ(look.dayText, std::to_string(date.day));
        ++cells;
      }
    }
  }
  EXPECT_EQ(cells, 150 * 12 * 42);
  EXPECT_GT(monthNames, 150 * 12);  // every lunar first is seen in one grid or two
  EXPECT_GT(terms, 150 * 24);
}

}  // namespace
}  // namespace zorbek::calendar
