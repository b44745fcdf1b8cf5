#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zorbek {
namespace {

using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

TEST(TextCommand, Utf8OrRawCodePageBytes) {
  TempDir dir;
  WriteFile(dir / "n.esr", "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0 x;}}\\'d6\\'d0\\'ce\\'c4\\par ab}");
  std::string out, err;
  EXPECT_EQ(RunCli({"text", dir / "n.esr"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "中文\nab");
  EXPECT_EQ(RunCli({"text", "--raw", dir / "n.esr"}, &out, &err), 0);
  EXPECT_EQ(out, "\xD6\xD0\xCE\xC4\nab");
  // A damaged note gives the text read up to the fault.
  WriteFile(dir / "bad.esr", "{\\rtf1 ok\\'zz rest}");
  EXPECT_EQ(RunCli({"text", dir / "bad.esr"}, &out, &err), 0);
  EXPECT_EQ(out, "ok");
  EXPECT_EQ(RunCli({"text", dir / "missing.esr"}, &out, &err), 1);
  EXPECT_NE(err.find("missing.esr"), std::string::npos);
  EXPECT_EQ(RunCli({"text"}, &out, &err), 2);
  EXPECT_EQ(RunCli({"text", "--bogus", dir / "n.esr"}, &out, &err), 2);
}

}  // namespace
}  // namespace zorbek
