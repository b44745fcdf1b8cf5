#include "core/editor/text_search.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace zorbek::editor {
namespace {

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

int Size(std::u16string_view text) { return static_cast<int>(text.size()); }

// The code point at pos and the positions it takes.
char32_t CodePointAt(std::u16string_view text, int pos, int* length) {
  const char16_t c = text[static_cast<std::size_t>(pos)];
  if (IsHigh(c) && pos + 1 < Size(text) && IsLow(text[static_cast<std::size_t>(pos) + 1])) {
    *length = 2;
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[pos + 1]) - 0xDC00);
  }
  *length = 1;
  return c;
}

// The code point that ends just before pos.
char32_t CodePointBefore(std::u16string_view text, int pos) {
  int length = 0;
  if (pos >= 2 && IsLow(text[pos - 1]) && IsHigh(text[pos - 2])) return CodePointAt(text, pos - 2, &length);
  return CodePointAt(text, pos - 1, &length);
}

// Whether pos lies inside a surrogate pair, where no match may begin or end.
bool InsidePair(std::u16string_view text, int pos) {
  return pos > 0 && pos < Size(text) && IsLow(text[pos]) && IsHigh(text[pos - 1]);
}

char32_t Fold(char32_t c) { return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT)); }

// Letters and digits of scripts that separate words by spaces. Chinese characters and kana
// each stand alone.
bool IsWordCharacter(char32_t c) {
  if (c == U'_') return true;
  if (!u_isalnum(static_cast<UChar32>(c))) return false;
  if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_IDEOGRAPHIC)) return false;
  if ((c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) || (c >= 0xFF66 && c <= 0xFF9F))
    return false;
  return true;
}

// The end of the match of needle that begins at start, or -1.
int MatchEnd(std::u16string_view text, int start, std::u16string_view needle, bool matchCase) {
  if (InsidePair(text, start)) return -1;
  if (matchCase) {
    if (text.substr(static_cast<std::size_t>(start)).substr(0, needle.size()) != needle) return -1;
    const int end = start + Size(needle);
    return InsidePair(text, end) ? -1 : end;
  }
  int t = start, n = 0;
  while (n < Size(needle)) {
    if (t >= Size(text)) return -1;
    int tl = 0, nl = 0;
    const char32_t a = CodePointAt(text, t, &tl);
    const char32_t b = CodePointAt(needle, n, &nl);
    if (a != b && Fold(a) != Fold(b)) return -1;
    t += tl;
    n += nl;
  }
  return t;
}

bool IsWholeWord(std::u16string_view text, TextRange m) {
  int length = 0;
  if (m.start > 0 && IsWordCharacter(CodePointBefore(text, m.start)) &&
      IsWordCharacter(CodePointAt(text, m.start, &length)))
    return false;
  if (m.end < Size(text) && IsWordCharacter(CodePointAt(text, m.end, &length)) &&
      IsWordCharacter(CodePointBefore(text, m.end)))
    return false;
  return true;
}

// The match beginning at start that ends at or before limit, or nullopt.
std::optional<TextRange> MatchAt(std::u16string_view text, int start, int limit,
                                 std::u16string_view needle, const SearchOptions& o) {
  const int end = MatchEnd(text, start, needle, o.matchCase);
  if (end < 0 || end > limit) return std::nullopt;
  const TextRange m{start, end};
  if (o.wholeWord && !IsWholeWord(text, m)) return std::nullopt;
  return m;
}

// Candidates skip ahead to the next place the first character could match.
int NextCandidate(std::u16string_view text, int from, std::u16string_view needle, bool matchCase) {
  if (from >= Size(text)) return -1;
  if (matchCase) {
    const std::size_t at = text.find(needle, static_cast<std::size_t>(from));
    return at == std::u16string_view::npos ? -1 : static_cast<int>(at);
  }
  int nl = 0;
  const char32_t first = Fold(CodePointAt(needle, 0, &nl));
  for (int i = from; i < Size(text); ++i) {
    int tl = 0;
    const char32_t c = CodePointAt(text, i, &tl);
    if (c == first || Fold(c) == first) return i;
    i += tl - 1;
  }
  return -1;
}

}  // namespace

int CharacterLength(std::u16string_view text, int pos) {
  if (pos < 0 || pos >= Size(text)) return 0;
  int length = 0;
  CodePointAt(text, pos, &length);
  return length;
}

bool EqualsNeedle(std::u16string_view text, TextRange range, std::u16string_view needle,
                  bool matchCase) {
  if (range.start < 0 || range.end > Size(text) || range.empty() || needle.empty()) return false;
  return MatchEnd(text, range.start, needle, matchCase) == range.end;
}

std::optional<TextRange> FindInRange(std::u16string_view text, std::u16string_view needle,
                                     int from, int to, const SearchOptions& o) {
  if (needle.empty()) return std::nullopt;
  const int size = Size(text);
  from = std::clamp(from, 0, size);
  to = std::clamp(to, 0, size);
  if (o.down) {
    for (int i = NextCandidate(text, from, needle, o.matchCase); i >= 0 && i < to;
         i = NextCandidate(text, i + 1, needle, o.matchCase)) {
      if (const auto m = MatchAt(text, i, to, needle, o)) return m;
    }
    return std::nullopt;
  }
  for (int i = from - 1; i >= to; --i) {
    if (const auto m = MatchAt(text, i, from, needle, o)) return m;
  }
  return std::nullopt;
}

std::optional<TextRange> SearchCycle::FindNext(std::u16string_view text, TextRange selection,
                                               std::u16string_view needle,
                                               const SearchOptions& o) {
  if (needle.empty()) {
    state_ = State::New;
    return std::nullopt;
  }
  const int size = Size(text);
  selection.start = std::clamp(selection.start, 0, size);
  selection.end = std::clamp(selection.end, selection.start, size);
  if (state_ != State::New && (needle != needle_ || !(o == options_))) state_ = State::New;

  // Down, the current match is not found again; up, the search starts before it.
  const int start = o.down && !selection.empty()
                        ? selection.start + CharacterLength(text, selection.start)
                        : selection.start;
  if (state_ == State::New) {
    anchor_ = start;
    needle_ = needle;
    options_ = o;
    state_ = State::Running;
  }

  // Running, the search covers the matches on the far side of the anchor: those that start at
  // or after it (down), or end at or before it (up). Wrapped, it covers the rest, so that every
  // match is found once in a cycle.
  std::optional<TextRange> found;
  if (state_ == State::Running) {
    found = o.down ? FindInRange(text, needle, start, size, o) : FindInRange(text, needle, start, 0, o);
    if (found) return found;
    state_ = State::Wrapped;
    if (o.down && anchor_ > 0) {
      found = FindInRange(text, needle, 0, size, o);
      if (found && found->start >= anchor_) found.reset();
    } else if (!o.down && anchor_ < size) {
      found = FindInRange(text, needle, size, 0, o);
      if (found && found->end <= anchor_) found.reset();
    }
  } else if (o.down) {
    found = FindInRange(text, needle, start, size, o);
    if (found && found->start >= anchor_) found.reset();
  } else {
    found = FindInRange(text, needle, start, 0, o);
    if (found && found->end <= anchor_) found.reset();
  }
  if (!found) state_ = State::New;
  return found;
}

void SearchCycle::TextReplaced(int at, int removed, int inserted) {
  if (state_ == State::New) return;
  if (at + removed <= anchor_)
    anchor_ += inserted - removed;
  else if (at < anchor_)
    anchor_ = options_.down ? at + inserted : at;
}

std::vector<TextRange> PlanReplaceAll(std::u16string_view text, TextRange selection,
                                      std::u16string_view needle, const SearchOptions& options,
                                      const std::function<bool(TextRange)>& isProtected) {
  std::vector<TextRange> plan;
  if (needle.empty()) return plan;
  SearchOptions o = options;
  o.down = true;
  const int size = Size(text);
  selection.start = std::clamp(selection.start, 0, size);
  selection.end = std::clamp(selection.end, selection.start, size);
  auto locked = [&](TextRange m) { return isProtected && isProtected(m); };

  int anchor = 0, pos = 0;
  if (EqualsNeedle(text, selection, needle, o.matchCase)) {
    anchor = selection.start;
    if (locked(selection)) {
      pos = selection.start + CharacterLength(text, selection.start);
    } else {
      plan.push_back(selection);
      pos = selection.end;
    }
  } else {
    anchor = pos = selection.empty() ? selection.start
                                     : selection.start + CharacterLength(text, selection.start);
  }
  while (const auto m = FindInRange(text, needle, pos, size, o)) {
    if (locked(*m)) {
      pos = m->start + CharacterLength(text, m->start);
      continue;
    }
    plan.push_back(*m);
    pos = m->end;
  }
  if (anchor == 0) return plan;
  // From the beginning to the starting point; what was replaced after it is not searched again.
  const int limit = plan.empty() ? size : plan.front().start;
  pos = 0;
  while (const auto m = FindInRange(text, needle, pos, limit, o)) {
    if (m->start >= anchor) break;
    if (locked(*m)) {
      pos = m->start + CharacterLength(text, m->start);
      continue;
    }
    plan.push_back(*m);
    pos = m->end;
  }
  return plan;
}

std::optional<int> DialogTopAwayFrom(const ScreenRect& dialog, int x, int y, int screenTop,
                                     int screenBottom) {
  if (!dialog.Contains(x, y)) return std::nullopt;
  // Above the match when the whole dialog fits there, else below it if it fits there.
  if (dialog.height + 20 <= y - screenTop) return y - 20 - dialog.height;
  if (y + 40 + dialog.height <= screenBottom) return y + 40;
  return std::nullopt;
}

}  // namespace zorbek::editor
