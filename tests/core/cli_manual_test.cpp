// zorbek-cli --man: the manual page agrees with --help and is clean roff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

// The words a command's name and usage become in roff, as the page writes them.
std::string Roff(std::string s) {
  std::string out;
  for (char c : s) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

TEST(CliManual, EveryCommandOfHelpIsOnThePage) {
  std::string help, err, man;
  ASSERT_EQ(RunCli({"--help"}, nullptr, &help), 0);
  ASSERT_EQ(RunCli({"--man"}, &man, &err), 0) << err;
  ASSERT_EQ(man.rfind(".\\\"", 0), 0u);
  EXPECT_NE(man.find("\n.TH ZORBEK\\-CLI 1 "), std::string::npos);

  std::istringstream lines(help);
  std::string line;
  int commands = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("  ", 0) != 0 || line.rfind("      ", 0) == 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    ++commands;
    EXPECT_NE(man.find("\n.TP\n\\fB" + Roff(name) + "\\fR"), std::string::npos) << name;
  }
  EXPECT_GT(commands, 10);
  // The page is the same whatever the database: it never opens or creates one.
  std::string again;
  ASSERT_EQ(RunCli({"--db", "/nonexistent/Zorbek.xml", "--man"}, &again), 0);
  EXPECT_EQ(again, man);
}

TEST(CliManual, GroffRendersThePageWithoutWarnings) {
  if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "no groff";
  TempDir dir;
  std::string man;
  ASSERT_EQ(RunCli({"--man"}, &man), 0);
  WriteFile(dir / "zorbek-cli.1", man);
  const std::string cmd = "groff -man -Tutf8 -ww -z '" + (dir / "zorbek-cli.1") + "' 2>'" +
                          (dir / "warnings") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(testing::ReadFile(dir / "warnings"), "");
}

}  // namespace
}  // namespace zorbek
