#include <gtest/gtest.h>

#include "core/editor/editor_text.h"
#include "core/editor/format_rules.h"
#include "core/editor/note_path.h"
#include "core/editor/open_editor_registry.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

using namespace editor;

// ---- Note identity and the registry ------------------------------------------------------------

TEST(EditorNotePath, NormalisedPathsNameOneNoteWhateverTheirCaseAndSeparators) {
  EXPECT_EQ(NormaliseNotePath("C:\\Notes\\Archive\\Work\\Plan.ESR"), "c:/notes/archive/work/plan.esr");
  EXPECT_EQ(NormaliseNotePath("/list/filetree/archive/工作/计划A"), "/list/filetree/archive/工作/计划a");
  EXPECT_EQ(NormaliseSeparators("a\\B/c"), "a/B/c");
}

TEST(EditorNotePath, FindsTheFileOnDiskWhenOnlyTheLetterCaseDiffers) {
  testing::TempDir dir;
  testing::WriteFile(dir / "Archive/Work/Plan.esr", "{\\rtf1}");
  EXPECT_EQ(ResolvePathIgnoringCase(dir / "Archive/Work/Plan.esr"), dir / "Archive/Work/Plan.esr");
  // The tree's lower-cased form (as history entries keep it) still reaches the file.
  EXPECT_EQ(ResolvePathIgnoringCase(dir / "archive/work/plan.esr"), dir / "Archive/Work/Plan.esr");
  EXPECT_EQ(ResolvePathIgnoringCase(dir / "archive/work/other.esr"), std::nullopt);
  EXPECT_EQ(ResolvePathIgnoringCase(""), std::nullopt);
}

class FakeEditor : public NoteIdentity {
 public:
  FakeEditor(std::string doc, std::string element, OpenEditorRegistry* registry = nullptr,
             bool leavesOnClose = true)
      : NoteIdentity(DocumentPath(std::move(doc)), ElementPath(std::move(element))),
        registry_(registry),
        leavesOnClose_(leavesOnClose) {}
  bool BringForward() override {
    ++raised;
    return true;
  }
  void CloseWithoutAsking() override {
    ++closed;
    if (registry_ && leavesOnClose_) registry_->Remove(this);
  }
  int raised = 0, closed = 0;

 private:
  OpenEditorRegistry* registry_;
  bool leavesOnClose_;
};

TEST(EditorRegistry, FindsWithoutRegardToCaseAndComparesOnlyTheGivenPaths) {
  OpenEditorRegistry registry;
  FakeEditor a("/notes/a.esr", "/list/filetree/archive/a");
  FakeEditor b("/notes/b.esr", "/list/filetree/archive/b");
  registry.Add(&a);
  registry.Add(&b);
  registry.Add(&a);  // listed once
  EXPECT_EQ(registry.Count(), 2);
  EXPECT_EQ(registry.First(), &a);
  const DocumentPath docA("/notes/A.ESR"), docB("/NOTES/B.esr"), docb("/notes/b.esr");
  const ElementPath elementA("/list/filetree/archive/a"), elementB("/list/filetree/archive/B"),
      elementb("/list/filetree/ARCHIVE/b");
  EXPECT_EQ(registry.Find(&docB, &elementb), &b);
  EXPECT_EQ(registry.Find(&docb, &elementA), nullptr);
  EXPECT_EQ(registry.Find(nullptr, &elementB), &b);
  EXPECT_EQ(registry.Find(&docA, nullptr), &a);
  EXPECT_EQ(registry.Find(nullptr, nullptr), &a);
  registry.Remove(&a);
  EXPECT_EQ(registry.Count(), 1);
  EXPECT_EQ(registry.First(), &b);
}

TEST(EditorRegistry, CloseAllEndsEvenWhenAnEditorStaysListed) {
  OpenEditorRegistry registry;
  FakeEditor polite("/a.esr", "/a", &registry, true);
  FakeEditor stubborn("/b.esr", "/b", &registry, false);
  registry.Add(&polite);
  registry.Add(&stubborn);
  registry.CloseAll();
  EXPECT_EQ(registry.Count(), 0);
  EXPECT_EQ(polite.closed, 1);
  EXPECT_EQ(stubborn.closed, 1);
}

// ---- Formatting rules ---------------------------------------------------------------------------

TEST(EditorFormatRules, EffectsToggleAndShowMixedSelections) {
  EXPECT_TRUE(ToggledEffect(false));
  EXPECT_FALSE(ToggledEffect(true));
  EXPECT_TRUE(ToggledEffect(std::nullopt));  // partly bold: all bold
  EXPECT_EQ(EffectCheckState(true), CheckState::Checked);
  EXPECT_EQ(EffectCheckState(false), CheckState::Unchecked);
  EXPECT_EQ(EffectCheckState(std::nullopt), CheckState::Indeterminate);
  EXPECT_EQ(ValueCheckState<int>(kAlignCenter, kAlignCenter), CheckState::Checked);
  EXPECT_EQ(ValueCheckState<int>(kAlignLeft, kAlignCenter), CheckState::Unchecked);
  EXPECT_EQ(ValueCheckState<int>(std::nullopt, kAlignCenter), CheckState::Indeterminate);
}

TEST(EditorFormatRules, NumberingCyclesThroughEveryStyleBackToNone) {
  std::vector<int> seen;
  Uniform<int> value = kNumberingNone;
  for (int i = 0; i < 6; ++i) {
    value = NextNumbering(value);
    seen.push_back(*value);
  }
  EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 6, 0}));
  EXPECT_EQ(NextNumbering(kNumberingBullet), kNumberingArabic);
  EXPECT_EQ(NextNumbering(std::nullopt), kNumberingArabic);
  EXPECT_EQ(NextNumbering(9), std::nullopt);
  // The bullets and numbering buttons switch their own style off again.
  EXPECT_EQ(NumberingToApply(kNumberingBullet, kNumberingBullet), kNumberingNone);
  EXPECT_EQ(NumberingToApply(kNumberingLowerRoman, kNumberingArabic), kNumberingArabic);
  EXPECT_EQ(NumberingToApply(std::nullopt, kNumberingArabic), kNumberingArabic);
}

TEST(EditorFormatRules, ButtonsShowBulletsAndNumbersByStyleNotByBits) {
  EXPECT_EQ(BulletsCheckState(kNumberingBullet), CheckState::Checked);
  for (int style : {kNumberingArabic, kNumberingLowerLetter, kNumberingUpperLetter,
                    kNumberingLowerRoman, kNumberingUpperRoman}) {
    EXPECT_EQ(BulletsCheckState(style), CheckState::Unchecked) << style;
    EXPECT_EQ(NumberingCheckState(style), CheckState::Checked) << style;
  }
  EXPECT_EQ(NumberingCheckState(kNumberingBullet), CheckState::Unchecked);
  EXPECT_EQ(NumberingCheckState(kNumberingNone), CheckState::Unchecked);
  EXPECT_EQ(BulletsCheckState(std::nullopt), CheckState::Indeterminate);
}

TEST(EditorParagraphValues, HangingIndentShowsAsLeftAndFirstLineAndComesBackUnchanged) {
  ParagraphFormat format;
  format.alignment = kAlignCenter;
  format.startIndent = 720;
  format.offset = -360;
  format.rightIndent = 0;
  const ParagraphDialogValues values = ToDialogValues(format);
  EXPECT_EQ(values.alignmentIndex, 2);
  EXPECT_EQ(values.left, 360);
  EXPECT_EQ(values.firstLine, 360);
  EXPECT_EQ(values.right, 0);
  EXPECT_EQ(FromDialogValues(values), format);
}

TEST(EditorParagraphValues, MixedValuesStayUnset) {
  ParagraphFormat mixed;  // nothing uniform
  const ParagraphDialogValues values = ToDialogValues(mixed);
  EXPECT_EQ(values.alignmentIndex, -1);
  EXPECT_EQ(values.left, kNotSet);
  EXPECT_EQ(values.right, kNotSet);
  EXPECT_EQ(values.firstLine, kNotSet);
  EXPECT_EQ(FromDialogValues(values), ParagraphFormat{});

  // A uniform offset over mixed start indents: the first line is known, the left is not.
  ParagraphFormat offsetOnly;
  offsetOnly.offset = 200;
  const ParagraphDialogValues v = ToDialogValues(offsetOnly);
  EXPECT_EQ(v.firstLine, -200);
  EXPECT_EQ(v.left, kNotSet);
  const ParagraphFormat back = FromDialogValues(v);
  EXPECT_EQ(back.offset, 200);
  EXPECT_EQ(back.startIndent, std::nullopt);

  // Justified paragraphs have no entry of their own: the box shows no choice.
  ParagraphFormat justified;
  justified.alignment = kAlignJustify;
  EXPECT_EQ(ToDialogValues(justified).alignmentIndex, -1);
}

TEST(EditorParagraphValues, IndentRangeIsInclusive) {
  EXPECT_TRUE(IndentInRange(-31680));
  EXPECT_TRUE(IndentInRange(31680));
  EXPECT_FALSE(IndentInRange(31681));
  EXPECT_FALSE(IndentInRange(-31681));
  EXPECT_FALSE(IndentInRange(kNotSet));
  EXPECT_EQ(IndentRangeMessage(), "Please enter a number between -31680 and 31680.");
}

// ---- Texts ----------------------------------------------------------------------------------------

TEST(EditorDateList, DropsDuplicatesWithoutRegardToCaseAndSorts) {
  const std::vector<std::string> entries = DateTimeListEntries(
      {"2026/2/10", "09:30:00", "2026-2-10", "2026/2/10", "am 9:30", "AM 9:30", "", "星期二 2026年2月10日",
       "2026年2月10日"});
  EXPECT_EQ(entries, (std::vector<std::string>{"09:30:00", "2026-2-10", "2026/2/10", "2026年2月10日",
                                               "am 9:30", "星期二 2026年2月10日"}));
}

TEST(EditorLinks, LocalFileNamesResolveInTheFileStoreOrAsAbsolutePaths) {
  const std::string store = "/home/u/Zorbek/FileStore";
  LinkTarget t = ResolveLinkTarget("localfile:计划.doc", store);
  EXPECT_EQ(t.kind, LinkTarget::Kind::File);
  EXPECT_EQ(t.target, "/home/u/Zorbek/FileStore/计划.doc");
  t = ResolveLinkTarget("localfile:/srv/docs/a.pdf", store);
  EXPECT_EQ(t.target, "/srv/docs/a.pdf");
  t = ResolveLinkTarget("localfile:C:\\docs\\a.pdf", store);  // written on Windows
  EXPECT_EQ(t.target, "C:\\docs\\a.pdf");
  t = ResolveLinkTarget("localfile:sub\\b.txt", store);
  EXPECT_EQ(t.target, "/home/u/Zorbek/FileStore/sub/b.txt");
  t = ResolveLinkTarget("www.example.com/x", store);
  EXPECT_EQ(t.kind, LinkTarget::Kind::Address);
  EXPECT_EQ(t.target, "http://www.example.com/x");
  EXPECT_EQ(ResolveLinkTarget("mailto:me@example.com", store).target, "mailto:me@example.com");
}

TEST(EditorExport, TheExtensionDecidesBetweenRtfAndText) {
  EXPECT_TRUE(ExportsAsRtf("/tmp/a.rtf"));
  EXPECT_TRUE(ExportsAsRtf("/tmp/a.RTF"));
  EXPECT_TRUE(ExportsAsRtf("/tmp/a.rtfx"));
  EXPECT_FALSE(ExportsAsRtf("/tmp/a.txt"));
  EXPECT_FALSE(ExportsAsRtf("/tmp/a"));
  EXPECT_FALSE(ExportsAsRtf("/tmp/x.rtf/a"));  // a dot in a directory never counts
}

}  // namespace
}  // namespace zorbek
