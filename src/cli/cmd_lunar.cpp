// zorbek-cli lunar [DATE...]: the lunar date and the description of Gregorian dates.
#include <iostream>
#include <string>

#include "cli/command.h"
#include "core/calendar/lunar.h"

namespace {

using namespace zorbek::calendar;

// Prints one line for the date; false when it is not a date the tables convert.
bool PrintLunar(const std::string& text) {
  Date date;
  if (!ParseDate(text, &date)) {
    std::cerr << "lunar: not a date (YYYY-MM-DD): " << text << "\n";
    return false;
  }
  const LunarDay day = DescribeDay(date);
  if (!day.covered) {
    std::cerr << "lunar: " << text << " lies outside the lunar tables ("
              << FormatDate(DateOfDayNumber(FirstLunarDayNumber())) << " to "
              << FormatDate(DateOfDayNumber(LastLunarDayNumber())) << ")\n";
    return false;
  }
  std::cout << FormatDate(date) << '\t' << day.lunar.year << '-' << day.lunar.month << '-'
            << day.lunar.day << '\t' << Description(day.names) << '\n';
  return true;
}

int Run(zorbek::cli::Context& c) {
  bool allDone = true;
  if (!c.args.empty()) {
    for (const auto& arg : c.args) allDone = PrintLunar(arg) && allDone;
  } else {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      allDone = PrintLunar(line) && allDone;
    }
  }
  std::cout.flush();
  return allDone ? zorbek::cli::kDone : zorbek::cli::kRefused;
}

zorbek::cli::Register reg({"lunar", "[DATE...]",
                           "lunar date and description of each date (YYYY-MM-DD); without "
                           "arguments, one date per line from standard input",
                           Run});

}  // namespace
