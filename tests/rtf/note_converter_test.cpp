#include <gtest/gtest.h>

#include "core/io/file_util.h"
#include "core/rtf/note_converter.h"
#include "rtf/note_converter_engine.h"
#include "rtf_test_util.h"

namespace zorbek {
namespace {

using namespace zorbek::testing;

TEST(NoteConverterSeam, TheCoreConvertsThroughTheInstalledEngine) {
  TempDir dir("转换 测试");
  WriteFile(dir / "甲.txt", "第一行\n第二行");
  SetNoteConverter(nullptr);
  std::string error;
  EXPECT_FALSE(ConvertNoteFile(dir / "甲.txt", dir / "甲.esr", NoteFormat::kRtf, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(PathExists(dir / "甲.esr"));

  InstallNoteConverter();
  ASSERT_NE(noteConverter(), nullptr);
  ASSERT_TRUE(ConvertNoteFile(dir / "甲.txt", dir / "甲.esr", NoteFormat::kRtf));
  EXPECT_EQ(Text(*ReadDoc(Bytes(dir / "甲.esr"))), "第一行\n第二行");
  // The format is the caller's choice, whatever the name says.
  ASSERT_TRUE(ConvertNoteFile(dir / "甲.esr", dir / "乙.rtf", NoteFormat::kText));
  EXPECT_EQ(ReadFile(dir / "乙.rtf"), "第一行\n第二行");
  EXPECT_EQ(noteConverter()->PlainTextToRtf("行"), PlainTextToRtf("行").toStdString());
}

TEST(NoteConverterSeam, ExportFormatFollowsTheExtensionAsWritten) {
  EXPECT_EQ(ExportFormatOf("/tmp/c.rtf"), NoteFormat::kRtf);
  EXPECT_EQ(ExportFormatOf("/tmp/c.rtfd"), NoteFormat::kRtf);
  EXPECT_EQ(ExportFormatOf("/tmp/c.txt"), NoteFormat::kText);
  EXPECT_EQ(ExportFormatOf("/tmp/c.RTF"), NoteFormat::kText);
  EXPECT_EQ(ExportFormatOf("/tmp/c.Rtf"), NoteFormat::kText);
  EXPECT_EQ(ExportFormatOf("/tmp/x.rtf/c"), NoteFormat::kText);  // a dot in a directory
  EXPECT_EQ(ExportFormatOf("c"), NoteFormat::kText);
  EXPECT_EQ(ExportFormatOf("a.rtf.txt"), NoteFormat::kText);
}

}  // namespace
}  // namespace zorbek
