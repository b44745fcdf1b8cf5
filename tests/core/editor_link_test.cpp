#include <gtest/gtest.h>

#include "core/editor/link_rules.h"
#include "core/io/file_util.h"
#include "support/temp_dir.h"

namespace zorbek::editor {
namespace {

using Step = LinkDecision::Step;

std::string Target(std::string_view content, LinkKind kind) {
  const LinkDecision d = DecideLink(content, kind);
  EXPECT_EQ(d.step, Step::Done) << content;
  return d.target;
}

TEST(EditorLinkRules, AddressesInTheirOrder) {
  // An address the content names itself wins over the chosen kind, in lower case.
  EXPECT_EQ(Target("WWW.Example.COM/Wiki", LinkKind::Auto), "www.example.com/wiki");
  EXPECT_EQ(Target("HTTP://Example.com", LinkKind::File), "http://example.com");
  EXPECT_EQ(Target("ftp://files.example.com", LinkKind::Mail), "ftp://files.example.com");
  EXPECT_EQ(Target("MailTo:Li@example.com", LinkKind::Web), "mailto:li@example.com");
}

TEST(EditorLinkRules, TheAtRuleNeedsTheFirstDotAfterTheAt) {
  EXPECT_EQ(Target("Li@Mail.Example.cn", LinkKind::Auto), "mailto:li@mail.example.cn");
  EXPECT_EQ(Target("li@x.y", LinkKind::File), "mailto:li@x.y");
  // A "." before the "@", or an "@" at the start: treated as a file path.
  for (const char* content : {"zhang.wei@mail.example.cn", "@example.cn", "li@example"}) {
    const LinkDecision d = DecideLink(content, LinkKind::Auto);
    EXPECT_EQ(d.step, Step::File) << content;
    EXPECT_EQ(d.filePath, content);
    EXPECT_FALSE(d.localFile);
  }
}

TEST(EditorLinkRules, ABareWordTakesTheChosenKind) {
  EXPECT_EQ(Target("Zorbek", LinkKind::Web), "http://zorbek");
  EXPECT_EQ(Target("Zorbek", LinkKind::Mail), "mailto:zorbek");
  EXPECT_EQ(Target("Zorbek", LinkKind::Ftp), "ftp://zorbek");
  EXPECT_EQ(Target("主页", LinkKind::Web), "http://主页");
  for (LinkKind kind : {LinkKind::Auto, LinkKind::File}) {
    const LinkDecision d = DecideLink("/Home/Li/Plan.PDF", kind);
    EXPECT_EQ(d.step, Step::File);
    EXPECT_EQ(d.filePath, "/Home/Li/Plan.PDF");  // the path keeps its letter case
  }
  const LinkDecision local = DecideLink("LocalFile:/Home/Li/Plan.PDF", LinkKind::Web);
  EXPECT_EQ(local.step, Step::File);
  EXPECT_TRUE(local.localFile);
  EXPECT_EQ(local.filePath, "/Home/Li/Plan.PDF");
}

class EditorLinkStore : public ::testing::Test {
 protected:
  std::string Store() const { return dir_ / "Zorbek/FileStore"; }
  testing::TempDir dir_;
  SystemTime now_{2026, 12, 2, 8, 9, 30, 5, 0};
};

TEST_F(EditorLinkStore, AFileInTheStoreIsLinkedByItsNameWithoutACopy) {
  testing::WriteFile(Store() + "/Plan.pdf", "x");
  StorePlan plan = PlanStoreCopy(Store() + "/Plan.pdf", Store(), now_, false);
  EXPECT_TRUE(plan.inStore);
  EXPECT_EQ(plan.target, "localfile:Plan.pdf");
  // Letter case and separators do not make it another file.
  std::string other = Store() + "/PLAN.PDF";
  for (char& c : other)
    if (c == '/') c = '\\';
  plan = PlanStoreCopy(other, Store(), now_, false);
  EXPECT_TRUE(plan.inStore);
  EXPECT_EQ(plan.target, "localfile:PLAN.PDF");
}

TEST_F(EditorLinkStore, TheSameNameTwiceGetsTheTimeAndThenANumber) {
  const std::string first = dir_ / "a/计划.pdf";
  const std::string second = dir_ / "b/计划.pdf";
  const std::string third = dir_ / "c/计划.pdf";
  testing::WriteFile(first, "first");
  testing::WriteFile(second, "second");
  testing::WriteFile(third, "third");

  StorePlan plan = PlanStoreCopy(first, Store(), now_, false);
  EXPECT_FALSE(plan.inStore);
  EXPECT_EQ(plan.storeName, "计划.pdf");
  EXPECT_EQ(plan.question, "复制原始文件：" + first + " 至 " + Store() + "/计划.pdf 吗？");
  ASSERT_TRUE(CopyIntoStore(first, plan));  // the store directory is made on the way
  EXPECT_EQ(ReadWholeFile(Store() + "/计划.pdf"), "first");

  plan = PlanStoreCopy(second, Store(), now_, true);
  EXPECT_EQ(plan.storeName, "计划_20261208093005.pdf");
  EXPECT_EQ(plan.question, "复制文件到系统路径吗？");
  ASSERT_TRUE(CopyIntoStore(second, plan));

  plan = PlanStoreCopy(third, Store(), now_, false);
  EXPECT_EQ(plan.storeName, "计划_20261208093005_1.pdf");
  ASSERT_TRUE(CopyIntoStore(third, plan));
  EXPECT_EQ(ReadWholeFile(Store() + "/计划.pdf"), "first");
  EXPECT_EQ(ReadWholeFile(Store() + "/计划_20261208093005.pdf"), "second");
  EXPECT_EQ(ReadWholeFile(Store() + "/计划_20261208093005_1.pdf"), "third");

  // A name without an extension, and one that differs only in case from a stored file.
  testing::WriteFile(dir_ / "d/README", "r");
  EXPECT_EQ(PlanStoreCopy(dir_ / "d/README", Store(), now_, false).storeName, "README");
  EXPECT_EQ(PlanStoreCopy(dir_ / "d/计划.PDF", Store(), now_, false).storeName,
            "计划_20261208093005_2.PDF");
}

TEST_F(EditorLinkStore, AFailedCopyLeavesNothingAndSaysWhy) {
  const StorePlan missing = PlanStoreCopy(dir_ / "gone.txt", Store(), now_, false);
  std::string error;
  EXPECT_FALSE(CopyIntoStore(dir_ / "gone.txt", missing, &error));
  EXPECT_EQ(error, "文件不存在");
  EXPECT_FALSE(PathExists(missing.destination));

  // A file that appeared at the destination meanwhile is never replaced.
  testing::WriteFile(dir_ / "new.txt", "new");
  const StorePlan plan = PlanStoreCopy(dir_ / "new.txt", Store(), now_, false);
  testing::WriteFile(plan.destination, "someone else's");
  EXPECT_FALSE(CopyIntoStore(dir_ / "new.txt", plan, &error));
  EXPECT_EQ(error, "目标文件已经存在");
  EXPECT_EQ(ReadWholeFile(plan.destination), "someone else's");

  // A directory is no file to copy.
  EXPECT_FALSE(CopyIntoStore(dir_.path(), PlanStoreCopy(dir_.path(), Store(), now_, false), &error));
  EXPECT_EQ(error, "不是文件");
}

}  // namespace
}  // namespace zorbek::editor
