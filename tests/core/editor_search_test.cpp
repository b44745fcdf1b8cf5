#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/editor/text_search.h"

namespace zorbek::editor {
namespace {

// Runs find-next as the dialog does: each match becomes the selection; the starts of the
// matches until the cycle ends (at most 20, so a cycle that never ends fails).
std::vector<int> Cycle(SearchCycle& cycle, std::u16string_view text, TextRange selection,
                       std::u16string_view needle, SearchOptions o = {}) {
  std::vector<int> starts;
  for (int i = 0; i < 20; ++i) {
    const auto m = cycle.FindNext(text, selection, needle, o);
    if (!m) return starts;
    starts.push_back(m->start);
    selection = *m;
  }
  ADD_FAILURE() << "the cycle does not end";
  return starts;
}

using V = std::vector<int>;

// ---- The cycle -------------------------------------------------------------------------------

TEST(EditorSearchCycle, FromTheMiddleDownTheMatchesAfterTheCaretComeFirstThenThoseBefore) {
  const std::u16string text = u"abc abc abc abc abc";  // matches at 0 4 8 12 16
  SearchCycle cycle;
  // Caret inside the third word: the words after it, then from the top up to the caret.
  EXPECT_EQ(Cycle(cycle, text, {9, 9}, u"abc"), (V{12, 16, 0, 4, 8}));
  EXPECT_EQ(cycle.state(), SearchCycle::State::New);
  // The next search starts anew from the caret.
  EXPECT_EQ(cycle.FindNext(text, {9, 9}, u"abc", {})->start, 12);
  cycle.Restart();
  // A caret right at a match finds it first and not again at the end.
  EXPECT_EQ(Cycle(cycle, text, {8, 8}, u"abc"), (V{8, 12, 16, 0, 4}));
  // A selected match (the dialog seeded with it) is found last, once.
  EXPECT_EQ(Cycle(cycle, text, {8, 11}, u"abc"), (V{12, 16, 0, 4, 8}));
  // Many more positions than the text is long before the anchor: the wrap still ends.
  const std::u16string longer = u"x abc xxxxxxxxxxxxxxxxxxxx abc xxxxxxxx abc";
  EXPECT_EQ(Cycle(cycle, longer, {30, 30}, u"abc"), (V{40, 2, 27}));
}

TEST(EditorSearchCycle, FromTheVeryStartThereIsNoWrap) {
  SearchCycle cycle;
  EXPECT_EQ(Cycle(cycle, u"ab ab ab", {0, 0}, u"ab"), (V{0, 3, 6}));
  EXPECT_EQ(Cycle(cycle, u"ab ab ab", {0, 0}, u"zz"), V{});
  EXPECT_EQ(Cycle(cycle, u"", {0, 0}, u"ab"), V{});
}

TEST(EditorSearchCycle, UpwardsRunsToTheBeginningThenWrapsFromTheEnd) {
  const std::u16string text = u"abc abc abc abc";  // 0 4 8 12
  SearchCycle cycle;
  SearchOptions up;
  up.down = false;
  EXPECT_EQ(Cycle(cycle, text, {9, 9}, u"abc", up), (V{4, 0, 12, 8}));
  // A selected match is left first and found last.
  EXPECT_EQ(Cycle(cycle, text, {8, 11}, u"abc", up), (V{4, 0, 12, 8}));
  // From the end: every match once, no wrap needed.
  EXPECT_EQ(Cycle(cycle, text, {15, 15}, u"abc", up), (V{12, 8, 4, 0}));
  // From the very start upwards the cycle wraps to the end rather than finding nothing.
  EXPECT_EQ(Cycle(cycle, text, {0, 0}, u"abc", up), (V{12, 8, 4, 0}));
}

TEST(EditorSearchCycle, AnotherTextOrDirectionStartsANewCycle) {
  const std::u16string text = u"ab cd ab cd";
  SearchCycle cycle;
  EXPECT_EQ(cycle.FindNext(text, {4, 4}, u"ab", {})->start, 6);
  EXPECT_EQ(cycle.state(), SearchCycle::State::Running);
  // Now "cd" from the selected "ab": a new cycle anchored there.
  EXPECT_EQ(Cycle(cycle, text, {6, 8}, u"cd"), (V{9, 3}));
  SearchOptions up;
  up.down = false;
  EXPECT_EQ(cycle.FindNext(text, {6, 8}, u"ab", {})->start, 0);  // wrapped
  EXPECT_EQ(cycle.state(), SearchCycle::State::Wrapped);
  EXPECT_EQ(cycle.FindNext(text, {0, 2}, u"ab", up)->start, 6);  // up: anew from here
  EXPECT_EQ(cycle.anchor(), 0);
}

TEST(EditorSearchCycle, ReplacementsBeforeTheAnchorKeepItOnItsCharacter) {
  // "a" replaced by "aaa" before the anchor: the wrapped search stops where it began.
  std::u16string text = u"a b a b a";
  SearchCycle cycle;
  EXPECT_EQ(cycle.FindNext(text, {4, 4}, u"a", {})->start, 4);
  EXPECT_EQ(cycle.FindNext(text, {4, 5}, u"a", {})->start, 8);
  EXPECT_EQ(cycle.FindNext(text, {8, 9}, u"a", {})->start, 0);
  text.replace(0, 1, u"aaa");
  cycle.TextReplaced(0, 1, 3);
  EXPECT_EQ(cycle.anchor(), 6);
  EXPECT_FALSE(cycle.FindNext(text, {3, 3}, u"a", {}));
}

// ---- Matching --------------------------------------------------------------------------------

TEST(EditorSearchMatch, CaseAndWholeWords) {
  SearchOptions o;
  EXPECT_EQ(FindInRange(u"One ONE one", u"one", 1, 11, o), (TextRange{4, 7}));
  o.matchCase = true;
  EXPECT_EQ(FindInRange(u"One ONE one", u"one", 1, 11, o), (TextRange{8, 11}));
  o.matchCase = false;
  EXPECT_EQ(FindInRange(u"ＡＢ ａｂ", u"ａｂ", 0, 5, o), (TextRange{0, 2}));  // full-width letters

  o.wholeWord = true;
  EXPECT_EQ(FindInRange(u"cats cat_x cat.", u"cat", 0, 15, o), (TextRange{11, 14}));
  EXPECT_EQ(FindInRange(u"cat", u"cat", 0, 3, o), (TextRange{0, 3}));
  // Each Chinese character is a word of its own; Latin letters next to one still end a word.
  EXPECT_EQ(FindInRange(u"我们的笔记", u"笔记", 0, 5, o), (TextRange{3, 5}));
  EXPECT_EQ(FindInRange(u"中note文", u"note", 0, 6, o), (TextRange{1, 5}));
  EXPECT_FALSE(FindInRange(u"notes", u"note", 0, 5, o));

  // Bounds: the whole match must lie inside them.
  o.wholeWord = false;
  EXPECT_FALSE(FindInRange(u"xxabcxx", u"abc", 0, 4, o));
  EXPECT_EQ(FindInRange(u"xxabcxx", u"abc", 0, 5, o), (TextRange{2, 5}));
  o.down = false;
  EXPECT_EQ(FindInRange(u"abc abc", u"abc", 7, 0, o), (TextRange{4, 7}));
  EXPECT_EQ(FindInRange(u"abc abc", u"abc", 6, 0, o), (TextRange{0, 3}));
  EXPECT_FALSE(FindInRange(u"abc abc", u"abc", 3, 1, o));  // the match at 0 begins before 1
}

TEST(EditorSearchMatch, ChineseAndCharactersOutsideCodePage936AreWholeCharacters) {
  // U+20000 and U+1F600 take two positions each; nothing matches half of one.
  const std::u16string text = u"笔记𠀀笔记😀𠀀";
  SearchCycle cycle;
  EXPECT_EQ(Cycle(cycle, text, {0, 0}, u"𠀀"), (V{2, 8}));
  // A selection that starts with such a character: the next search starts after all of it.
  EXPECT_EQ(cycle.FindNext(text, {2, 4}, u"𠀀", {})->start, 8);
  cycle.Restart();
  EXPECT_EQ(Cycle(cycle, text, {5, 5}, u"笔记"), (V{0, 4}));
  EXPECT_EQ(Cycle(cycle, text, {3, 3}, u"笔记"), (V{4, 0}));
  // The low half of a pair alone never matches.
  const std::u16string low(1, char16_t(0xDC00));
  EXPECT_FALSE(FindInRange(text, low, 0, int(text.size()), {}));
  EXPECT_EQ(CharacterLength(text, 2), 2);
  EXPECT_EQ(CharacterLength(text, 0), 1);
  EXPECT_EQ(CharacterLength(text, int(text.size())), 0);
  EXPECT_TRUE(EqualsNeedle(u"ABC", {0, 3}, u"abc", false));
  EXPECT_FALSE(EqualsNeedle(u"ABC", {0, 3}, u"abc", true));
}

// ---- Replace All -----------------------------------------------------------------------------

std::u16string Apply(std::u16string text, const std::vector<TextRange>& plan,
                     std::u16string_view replacement) {
  std::vector<TextRange> sorted = plan;
  std::sort(sorted.begin(), sorted.end(), [](auto a, auto b) { return a.start > b.start; });
  for (const TextRange& m : sorted) text.replace(m.start, m.end - m.start, replacement);
  return text;
}

TEST(EditorReplaceAll, WithoutAMatchNothingChanges) {
  EXPECT_TRUE(PlanReplaceAll(u"abc", {1, 1}, u"zz", {}, {}).empty());
  EXPECT_TRUE(PlanReplaceAll(u"abc", {1, 1}, u"", {}, {}).empty());
}

TEST(EditorReplaceAll, StartsAtTheCaretWrapsOnceAndNeverSearchesItsOwnReplacements) {
  const std::u16string text = u"a b a b a";
  // From the middle: the matches after the caret, then those before it.
  const auto plan = PlanReplaceAll(text, {3, 3}, u"a", {}, {});
  EXPECT_EQ(plan, (std::vector<TextRange>{{4, 5}, {8, 9}, {0, 1}}));
  // A longer word that contains the word: each original match once.
  EXPECT_EQ(Apply(text, plan, u"aa"), u"aa b aa b aa");
  // The selected match is replaced first.
  EXPECT_EQ(PlanReplaceAll(text, {4, 5}, u"A", {}, {}).front(), (TextRange{4, 5}));
  // Overlapping candidates: what was replaced after the caret is not searched again.
  EXPECT_EQ(PlanReplaceAll(u"aaa", {1, 1}, u"aa", {}, {}), (std::vector<TextRange>{{1, 3}}));
  // Whole words and case.
  SearchOptions o;
  o.wholeWord = true;
  EXPECT_EQ(Apply(u"Note notes note", PlanReplaceAll(u"Note notes note", {0, 0}, u"note", o, {}),
                  u"页"),
            u"页 notes 页");
}

TEST(EditorReplaceAll, ProtectedMatchesAreLeftAndTheSearchGoesOn) {
  const std::u16string text = u"甲乙 甲乙 甲乙";
  auto locked = [](TextRange m) { return m.start < 5 && m.end > 3; };  // the middle one
  const auto plan = PlanReplaceAll(text, {0, 0}, u"甲乙", {}, locked);
  EXPECT_EQ(Apply(text, plan, u"丙"), u"丙 甲乙 丙");
  // A protected selection is not replaced either.
  EXPECT_EQ(Apply(text, PlanReplaceAll(text, {3, 5}, u"甲乙", {}, locked), u"丙"), u"丙 甲乙 丙");
}

// ---- The dialog out of the way ------------------------------------------------------------------

TEST(EditorFindDialogPlace, MovesAboveOrBelowTheMatchOnlyWhenItCoversIt) {
  const ScreenRect dialog{100, 300, 400, 150};  // 300..449
  EXPECT_EQ(DialogTopAwayFrom(dialog, 50, 350, 0, 800), std::nullopt);  // left of it
  EXPECT_EQ(DialogTopAwayFrom(dialog, 120, 350, 0, 800), 350 - 20 - 150);
  // Not enough room above: 40 pixels below the match.
  const ScreenRect high{100, 100, 400, 150};
  EXPECT_EQ(DialogTopAwayFrom(high, 120, 160, 0, 800), 200);
  // Nor below: it stays.
  EXPECT_EQ(DialogTopAwayFrom(high, 120, 160, 0, 340), std::nullopt);
  // The screen's top counts: on a screen starting at y 1000 the same room is measured from it.
  EXPECT_EQ(DialogTopAwayFrom({100, 1100, 400, 150}, 120, 1160, 1000, 1800), 1200);
}

}  // namespace
}  // namespace zorbek::editor
