// Find and replace inside a note: the search cycle over the editor's text, replace-all, and
// where the find dialog goes when it would hide a match.
//
// Positions are those of the editor's text: UTF-16 code units, so a character outside the Basic
// Multilingual Plane takes two positions and the cycle steps over it whole. A match never
// begins or ends inside such a character.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbek::editor {

struct SearchOptions {
  bool down = true;
  bool matchCase = false;
  bool wholeWord = false;
  friend bool operator==(const SearchOptions&, const SearchOptions&) = default;
};

// [start, end) of the text.
struct TextRange {
  int start = 0;
  int end = 0;
  bool empty() const { return end <= start; }
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

// Positions the character at pos takes: 2 for a surrogate pair, 1 otherwise, 0 at the end.
int CharacterLength(std::u16string_view text, int pos);

// Whether text[range] equals needle: letters compared without regard to case unless matchCase
// (Unicode simple case folding, so "Ａ" equals "ａ" too).
bool EqualsNeedle(std::u16string_view text, TextRange range, std::u16string_view needle,
                  bool matchCase);

// One search within bounds. Down (from <= to): the first match that starts at or after from and
// ends at or before to. Up (from >= to): the match nearest from that ends at or before from and
// starts at or after to. Whole words: no letter or digit touches the match on either side where
// the match itself begins or ends with one; each Chinese or Japanese character is a word of its
// own.
std::optional<TextRange> FindInRange(std::u16string_view text, std::u16string_view needle,
                                     int from, int to, const SearchOptions& options);

// The search cycle of one editor. A cycle starts at the caret, runs to the end of the text (to
// its beginning when searching up), wraps around once to where it started, and then ends.
class SearchCycle {
 public:
  enum class State { New, Running, Wrapped };

  State state() const { return state_; }
  // The position the cycle started from (meaningful while it is not new).
  int anchor() const { return anchor_; }
  void Restart() { state_ = State::New; }

  // The next match after the selection, or nullopt when the cycle has found everything; the
  // cycle is then new again. A new cycle starts at the selection: searching down from one
  // character after a non-empty selection's start (so that the current match is not found
  // again), searching up from the selection's start. Another text to find, other flags or the
  // other direction start a new cycle.
  std::optional<TextRange> FindNext(std::u16string_view text, TextRange selection,
                                    std::u16string_view needle, const SearchOptions& options);

  // The text changed under a running cycle: `removed` positions at `at` became `inserted`
  // positions. Keeps the anchor on the same character.
  void TextReplaced(int at, int removed, int inserted);

 private:
  State state_ = State::New;
  int anchor_ = 0;
  std::u16string needle_;
  SearchOptions options_;
};

// Replace All: the matches it replaces, in the order it replaces them, positions as they are
// before any replacement. The search always runs down: from the selection when it holds the
// text to find (it is replaced first), else from where a new cycle starts, to the end, then
// from the beginning to the starting point. Each search goes on after the previous match, so a
// replacement that contains the text to find is never searched again. Matches for which
// isProtected (may be empty) holds are left alone and the search goes on after them.
std::vector<TextRange> PlanReplaceAll(std::u16string_view text, TextRange selection,
                                      std::u16string_view needle, const SearchOptions& options,
                                      const std::function<bool(TextRange)>& isProtected);

// Screen rectangles in pixels.
struct ScreenRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool Contains(int x, int y) const {
    return x >= left && x < left + width && y >= top && y < top + height;
  }
};

// Where the find dialog goes when the match it found at (x, y) (the top left of the selection
// start on the screen) lies under it: the new top of the dialog, or nullopt when it stays. It
// moves up so that its bottom is 20 pixels above the match when it fits there, else 40 pixels
// below the match when it still ends above the bottom of the screen.
std::optional<int> DialogTopAwayFrom(const ScreenRect& dialog, int x, int y, int screenTop,
                                     int screenBottom);

}  // namespace zorbek::editor
