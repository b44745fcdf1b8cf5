#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "core/app/input_method.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

const std::vector<std::string> kQtPlugins = {"libcomposeplatforminputcontextplugin.so",
                                             "libibusplatforminputcontextplugin.so"};

TEST(InputMethod, ARunningFrameworkIsChosenOnlyWhereTheUserSetNoneAndAPluginSpeaksToIt) {
  // Nothing running: left alone.
  EXPECT_EQ(ChooseInputMethodModule({"", {"bash", "sway"}, kQtPlugins}), "");
  // ibus runs.
  EXPECT_EQ(ChooseInputMethodModule({"", {"bash", "ibus-daemon"}, kQtPlugins}), "ibus");
  // The user's own choice wins, whatever runs.
  EXPECT_EQ(ChooseInputMethodModule({"fcitx", {"ibus-daemon"}, kQtPlugins}), "");
  // fcitx 5 with its own plugin, and without it (it answers on ibus's interface too).
  std::vector<std::string> withFcitx = kQtPlugins;
  withFcitx.push_back("libfcitx5platforminputcontextplugin.so");
  EXPECT_EQ(ChooseInputMethodModule({"", {"fcitx5"}, withFcitx}), "fcitx5");
  EXPECT_EQ(ChooseInputMethodModule({"", {"fcitx5"}, kQtPlugins}), "ibus");
  // fcitx 4 has no ibus interface: without its plugin nothing would work, so nothing is set.
  EXPECT_EQ(ChooseInputMethodModule({"", {"fcitx"}, kQtPlugins}), "");
  // ibus running but the toolkit lacks the plugin (a trimmed install): nothing is set.
  EXPECT_EQ(ChooseInputMethodModule({"", {"ibus-daemon"}, {"libcomposeplatforminputcontextplugin.so"}}), "");
}

TEST(InputMethod, ReadsTheUsersRunningProgramsAndAPluginDirectory) {
  const std::vector<std::string> names = RunningProgramNames();
  std::ifstream self("/proc/self/comm");
  std::string me;
  std::getline(self, me);
  EXPECT_NE(std::find(names.begin(), names.end(), me), names.end()) << me;

  testing::TempDir dir{"zorbek-im"};
  std::ofstream(dir / "libibusplatforminputcontextplugin.so") << "x";
  EXPECT_EQ(FileNamesIn(dir.path()), std::vector<std::string>{"libibusplatforminputcontextplugin.so"});
  EXPECT_TRUE(FileNamesIn(dir / "missing").empty());
}

}  // namespace
}  // namespace zorbek
