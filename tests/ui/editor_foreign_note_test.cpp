// Notes from elsewhere in the editor: pictures it cannot draw travel whole through the
// clipboard, and the font dialog changes only what the user changes in it.
#include <QApplication>
#include <QClipboard>
#include <QFontDialog>
#include <QMimeData>
#include <QTest>

#include "rtf/rtf_document.h"
#include "ui/app/qt_prompts.h"
#include "ui/editor/editor_commands.h"
#include "ui/editor_test_util.h"

namespace zorbek::testing {
namespace {

using EditorForeignNote = EditorTest;

// A metafile picture as WordPad writes it: the editor keeps it and shows a placeholder.
constexpr const char* kMetafile =
    "{\\pict\\wmetafile8\\picw2000\\pichgoal600\\pich1000\\picwgoal1200 "
    "010009000003c2000000000017000000000005000000090200000000050000000102ffffff00040000002e01"
    "1800050000000b0200000000050000000c02e803d007}";

std::string NoteWithPicture() {
  return std::string("{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 "
                     "\\'cb\\'ce\\'cc\\'e5;}}\\viewkind4\\uc1\\pard\\f0\\fs18 a ") +
         kMetafile + " b\\par}";
}

TEST_F(EditorForeignNote, APictureCutAndPastedKeepsItsBytesThroughASave) {
  const std::string path = Note("wmf.esr", NoteWithPicture());
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  ASSERT_EQ(Text(r), QString::fromUtf8("a \xEF\xBF\xBC b"));
  Select(r, 2, 3);
  r->Cut();
  EXPECT_EQ(Text(r), "a  b");
  // The clipboard holds the RTF with the original and the placeholder as an image.
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->data("text/rtf").contains(kMetafile));
  EXPECT_TRUE(data->hasImage());
  Select(r, 4, 4);
  r->Paste();
  EXPECT_EQ(Text(r), QString::fromUtf8("a  b\xEF\xBF\xBC"));
  w->RunCommand(cmd::kSave);
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find(kMetafile), std::string::npos) << saved;
  EXPECT_EQ(saved.find("pngblip"), std::string::npos) << saved;
}

TEST_F(EditorForeignNote, TheFontDialogKeepsAFaceThisSystemLacks) {
  // 宋体 9 pt, as notes written on Windows have it.
  const std::string path = Note("song.esr");
  CWndEsr* w = Open(path);
  CXRichEditCtrl* r = w->RichEdit();
  Select(r, 0, 5);
  prompts_.NextFontEdit([](FontChoice& f) { f.pointSize = 12; });
  w->RunCommand(cmd::kFont);
  ASSERT_TRUE(prompts_.LastFontGiven());
  EXPECT_EQ(prompts_.LastFontGiven()->face, "宋体");
  Select(r, 0, 5);
  EXPECT_EQ(r->SelectionCharFormat().face, QString::fromUtf8("宋体"));
  EXPECT_EQ(r->SelectionCharFormat().heightTwips, 240);
  // OK without a change changes nothing, not even the colour or the weight of "world".
  Select(r, 0, 11);
  const QTextDocument* doc = r->document();
  const QString before = doc->toHtml();
  prompts_.NextFontEdit([](FontChoice&) {});
  w->RunCommand(cmd::kFont);
  EXPECT_EQ(doc->toHtml(), before);
  // The note names the face it had.
  Select(r, 0, 1);
  QTest::keyClicks(r, "H");
  w->RunCommand(cmd::kSave);
  const std::string saved = ReadFile(path);
  EXPECT_NE(saved.find("\\fcharset134 \\'cb\\'ce\\'cc\\'e5;"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Sans"), std::string::npos) << saved;
}

TEST_F(EditorForeignNote, TheDialogReportsWhatTheUserLeftAsItWasGiven) {
  QtPrompts prompts;
  for (const char* face : {"宋体", "DejaVu Sans"}) {
    SCOPED_TRACE(face);
    FontChoice given;
    given.face = face;
    given.pointSize = 9;
    WhenModal<QFontDialog>([](QFontDialog& d) { d.accept(); });
    const std::optional<FontChoice> chosen = prompts.ChooseFont(given);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->face, face);
    EXPECT_FALSE(chosen->italic);
    EXPECT_FALSE(chosen->bold);
    EXPECT_EQ(chosen->pointSize, 9);
  }
}

}  // namespace
}  // namespace zorbek::testing
