// The conversion dialog "导入Ramulo数据库": its questions and messages, what it deletes and when,
// the settings it writes, and the converted notes in the editor.
#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>

#include "core/app/ini_file.h"
#include "core/io/file_util.h"
#include "core/legacy/ramulo_convert.h"
#include "rtf/note_converter_engine.h"
#include "support/ramulo_data.h"
#include "ui/editor_test_util.h"
#include "ui/app/commands.h"
#include "ui/app/main_frame.h"
#include "ui/legacy/wnd_data_import.h"

namespace zorbek {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class DataImportTest : public testing::EditorTest {
 protected:
  std::string legacy = dir_ / "ramulo";
  std::string targetDir = dir_ / "新库";
  std::string target = targetDir + "/Zorbek.xml";
  std::string settings = dir_ / "Zorbek.ini";
  std::string openDb = dir_ / "open/Zorbek.xml";
  CWndDataImport dialog{settings, openDb};

  void SetUp() override {
    InstallNoteConverter();  // as the program does at start-up
    testing::WriteRamuloSet(legacy, testing::SampleRamuloNodes());
    std::filesystem::create_directories(targetDir);
  }
  // Both directories chosen; the target's question, when it comes, answered with answer.
  void Choose(MsgResult answer = MsgResult::Ok) {
    prompts_.NextFolder(legacy);
    dialog.legacyButton()->click();
    prompts_.NextFolder(targetDir);
    if (PathExists(target)) prompts_.AnswerNext(answer);
    dialog.targetButton()->click();
  }
};

TEST_F(DataImportTest, ControlsAndTheChoiceOfTheLegacyDirectory) {
  EXPECT_EQ(dialog.windowTitle(), "导入Ramulo数据库");
  EXPECT_EQ(dialog.convertButton()->text(), "转换");
  EXPECT_EQ(dialog.exitButton()->text(), "退出");
  EXPECT_TRUE(dialog.legacyEdit()->isReadOnly());

  dialog.Convert();
  EXPECT_EQ(prompts_.LastMessage(), kMsgChoosePaths);

  const std::string empty = dir_ / "empty";
  std::filesystem::create_directories(empty);
  prompts_.NextFolder(empty);
  dialog.ChooseLegacyDirectory();
  EXPECT_EQ(prompts_.LastMessage(), kMsgNoTreeFiles);
  WriteFile(empty + "/TreeFiles.dat", "");
  prompts_.NextFolder(empty);
  dialog.ChooseLegacyDirectory();
  EXPECT_EQ(prompts_.LastMessage(), kMsgNoTreeStru);
  EXPECT_TRUE(dialog.treeFilesPath().empty());

  prompts_.NextFolder(legacy + "/");
  dialog.ChooseLegacyDirectory();
  EXPECT_EQ(dialog.treeFilesPath(), legacy + "/TreeFiles.dat");
  EXPECT_EQ(dialog.legacyEdit()->toPlainText().toStdString(),
            legacy + "/TreeFiles.dat\n" + legacy + "/TreeStru.dat");
  // A cancelled browser clears the choice, and the edit says so.
  dialog.ChooseLegacyDirectory();
  EXPECT_TRUE(dialog.treeFilesPath().empty());
  EXPECT_TRUE(dialog.legacyEdit()->toPlainText().isEmpty());
}

TEST_F(DataImportTest, CancelAtTheOverwriteQuestionTouchesNothing) {
  WriteFile(target, "<list><filetree><archive><旧 type=\"esr\"/></archive></filetree></list>");
  WriteFile(targetDir + "/Zorbek/archive/旧.esr", "old");
  Choose(MsgResult::Cancel);
  ASSERT_GE(prompts_.Messages().size(), 1u);
  EXPECT_EQ(prompts_.Messages().back().text, kAskOverwriteDatabase);
  EXPECT_EQ(prompts_.Messages().back().buttons, MsgButtons::OkCancel);
  EXPECT_TRUE(dialog.targetPath().empty());
  EXPECT_TRUE(dialog.targetEdit()->toPlainText().isEmpty());
  EXPECT_EQ(ReadFile(targetDir + "/Zorbek/archive/旧.esr"), "old");
  dialog.Convert();
  EXPECT_EQ(prompts_.LastMessage(), kMsgChoosePaths);
  EXPECT_EQ(ReadFile(targetDir + "/Zorbek/archive/旧.esr"), "old");
}

TEST_F(DataImportTest, ReplacingDeletesOnlyTheNotesAndOnlyWhenConverting) {
  WriteFile(target,
            "<list><hotkey/><filetree><archive><旧 type=\"esr\"/></archive>"
            "<schedule><r id=\"{1}\" mode=\"0\"/></schedule></filetree></list>");
  WriteFile(targetDir + "/Zorbek/archive/旧.esr", "old");
  WriteFile(targetDir + "/Zorbek/FileStore/链接.txt", "linked");
  Choose(MsgResult::Ok);
  EXPECT_EQ(dialog.targetPath(), target);
  EXPECT_EQ(dialog.targetEdit()->toPlainText().toStdString(), target);
  // Choosing is not converting: nothing is gone yet.
  EXPECT_EQ(ReadFile(targetDir + "/Zorbek/archive/旧.esr"), "old");

  prompts_.Clear();
  prompts_.AnswerNext(MsgResult::Ok);  // take the converted database
  dialog.Convert();
  EXPECT_EQ(prompts_.MessageTexts(),
            (std::vector<std::string>{kAskUseConverted, kMsgNextStart}));
  EXPECT_FALSE(PathExists(targetDir + "/Zorbek/archive/旧.esr"));
  EXPECT_TRUE(IsRegularFile(targetDir + "/Zorbek/archive/工作/计划212026/丂表.esr"));
  EXPECT_EQ(ReadFile(targetDir + "/Zorbek/FileStore/链接.txt"), "linked");
  EXPECT_NE(ReadFile(target).find("<schedule><r id=\"{1}\" mode=\"0\"/></schedule>"),
            std::string::npos);
  EXPECT_EQ(ReadProfileString(settings, "Project", "WorkPath", ""), target);
}

TEST_F(DataImportTest, DecliningTheConvertedDatabaseWritesNoSetting) {
  Choose();
  prompts_.AnswerNext(MsgResult::Cancel);
  dialog.Convert();
  EXPECT_EQ(prompts_.LastMessage(), kAskUseConverted);
  EXPECT_FALSE(PathExists(settings));
  // Converting again into the database the first run made asks before replacing it.
  prompts_.Clear();
  prompts_.AnswerNext(MsgResult::Cancel);
  dialog.Convert();
  EXPECT_EQ(prompts_.MessageTexts(), std::vector<std::string>{kAskOverwriteDatabase});
}

TEST_F(DataImportTest, UnwritableSettingsAreReported) {
  std::filesystem::create_directories(settings);  // a directory cannot take the setting
  Choose();
  prompts_.AnswerNext(MsgResult::Ok);
  dialog.Convert();
  EXPECT_EQ(prompts_.LastMessage(), FormatMessage(kMsgSettingsNotWritten, settings));
}

TEST_F(DataImportTest, TheOpenDatabaseIsNoTarget) {
  std::filesystem::create_directories(DirectoryOf(openDb));
  WriteFile(openDb, "<list/>");
  prompts_.NextFolder(DirectoryOf(openDb) + "/.");
  dialog.ChooseTargetDirectory();
  EXPECT_EQ(prompts_.LastMessage(), CWndDataImport::kMsgTargetInUse);
  EXPECT_TRUE(dialog.targetPath().empty());
}

TEST_F(DataImportTest, SkippedEntriesAreReportedBeforeTheQuestion) {
  testing::WriteRamuloSet(legacy, {{0, "[坏]", "a", "x"}, {0, "好", "missing", std::nullopt}});
  Choose();
  prompts_.Clear();
  dialog.Convert();
  ASSERT_EQ(prompts_.Messages().size(), 2u);
  EXPECT_NE(prompts_.Messages()[0].text.find("[坏]"), std::string::npos);
  EXPECT_NE(prompts_.Messages()[0].text.find("missing.txt"), std::string::npos);
  EXPECT_EQ(prompts_.Messages()[1].text, kAskUseConverted);
}

TEST_F(DataImportTest, ConvertedNotesOpenInTheEditorWithTheirChineseText) {
  Choose();
  dialog.Convert();
  const std::string store = targetDir + "/Zorbek/archive";
  CWndEsr* editor = Open(store + "/工作/计划212026/乗车.esr",
                         "/list/filetree/archive/工作/计划212026/乗车");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(Text(editor->RichEdit()), QStringLiteral("乗车路线：地铁二号线"));
  editor = Open(store + "/工作/工作.esr", "/list/filetree/archive/工作/工作");
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(Text(editor->RichEdit()), QStringLiteral("工作的总说明\n第二行"));
}

TEST_F(DataImportTest, MainMenuCommandOpensTheDialog) {
  FrameOptions o;
  o.programBase = dir_ / "Zorbek";
  o.programPath = dir_ / "bin/Zorbek";
  o.autostartDir = dir_ / "autostart";
  o.trayIcon = false;
  CMainFrame frame(o);
  InstallDataImport(frame);
  ASSERT_TRUE(frame.action(cmd::kConvertRamulo)->isEnabled());
  bool shown = false;
  WhenModal<CWndDataImport>([&](CWndDataImport& d) {
    shown = true;
    d.exitButton()->click();
  });
  frame.RunCommand(cmd::kConvertRamulo);
  EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace zorbek
