// What a new user meets in the first hour: the standard dialogs in Chinese, file filters that
// read right, and addresses that cannot be opened reported rather than dropped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>

#include "support/fake_prompts.h"
#include "support/temp_dir.h"
#include "ui/app/commands.h"
#include "ui/app/desktop.h"
#include "ui/app/main_frame.h"
#include "ui/app/navigator.h"
#include "ui/app/qt_prompts.h"
#include "ui/app/translations.h"
#include "ui/db/xml_tree_ctrl.h"

namespace zorbek {
namespace {
using testing::FakePrompts;
using testing::TempDir;

TEST(FirstDay, StandardDialogsSpeakChinese) {
  ASSERT_TRUE(InstallQtChineseTranslations()) << "qt6-translations-l10n is not installed";
  {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes |
                           QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "确定");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "取消");
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&').remove("(Y)"), "是");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&').remove("(N)"), "否");
  }
  {
    QColorDialog colour;
    EXPECT_NE(colour.windowTitle(), "Select Color");
    const auto* buttons = colour.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "取消");
  }
  RemoveQtChineseTranslations();
  QMessageBox english;
  english.setStandardButtons(QMessageBox::Cancel);
  EXPECT_EQ(english.button(QMessageBox::Cancel)->text(), "Cancel");
}

TEST(FirstDay, FileFiltersShowTheirPatternsOnce) {
  EXPECT_EQ(QtPrompts::ToQtFilter("图片(*.png;*.jpg;*.jpeg;*.bmp;*.gif)|*.png;*.jpg;*.jpeg;*.bmp;*.gif||"),
            "图片(*.png *.jpg *.jpeg *.bmp *.gif)");
  EXPECT_EQ(QtPrompts::ToQtFilter("RTF文档格式(*.rtf)|*.rtf|文本格式(*.txt)|*.txt||"),
            "RTF文档格式(*.rtf);;文本格式(*.txt)");
  // A description without its patterns gets them.
  EXPECT_EQ(QtPrompts::ToQtFilter("所有文件|*.*||"), "所有文件(*.*)");
}

TEST(FirstDay, AnAddressNothingCanOpenIsReported) {
  FakePrompts prompts;
  TempDir dir{"zorbek-first-day"};
  std::vector<QUrl> tried;
  SetUrlOpener([&](const QUrl& url) {
    tried.push_back(url);
    return false;  // a desktop without xdg-open
  });
  FrameOptions o;
  o.programBase = dir / "Zorbek";
  o.programPath = dir / "bin/Zorbek";
  o.autostartDir = dir / "autostart";
  o.trayIcon = false;
  CMainFrame frame(o);
  frame.RunCommand(cmd::kHomePage);
  ASSERT_EQ(tried.size(), 1u);
  EXPECT_EQ(prompts.LastMessage(), "无法打开文件：" + tried[0].toLocalFile().toStdString());
  frame.RunCommand(cmd::kContact);
  EXPECT_EQ(prompts.LastMessage(), "无法打开地址：" + ContactMailUrl().toString().toStdString());
  // The tree's home page item, double-clicked.
  CXmlTreeCtrl* tree = frame.navigator()->tree();
  tree->setCurrentItem(tree->HomePageItem());
  tree->ActivateItem(tree->HomePageItem());
  EXPECT_EQ(tried.size(), 3u);
  EXPECT_EQ(prompts.Messages().size(), 3u);
  EXPECT_EQ(prompts.Messages().back().icon, MsgIcon::Warning);
  // An opener that succeeds says nothing.
  SetUrlOpener([](const QUrl&) { return true; });
  frame.RunCommand(cmd::kHomePage);
  EXPECT_EQ(prompts.Messages().size(), 3u);
  SetUrlOpener(nullptr);
}

}  // namespace
}  // namespace zorbek
