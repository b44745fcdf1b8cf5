// The editor's formatting rules as plain functions over "uniform or mixed" values, so that the
// toolbar, the context menu and the dialogs decide the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zorbek::editor {

// A property of a selection: its value when it is the same over the whole selection,
// nullopt when the selection mixes values.
template <typename T>
using Uniform = std::optional<T>;

// The three states of a toggle button or menu item.
enum class CheckState : int { Unchecked = 0, Checked = 1, Indeterminate = 2 };

// A character effect's button: checked or unchecked when uniform, indeterminate when mixed.
CheckState EffectCheckState(Uniform<bool> effect);
// Toggling an effect: a uniform effect flips, a mixed one is switched on.
bool ToggledEffect(Uniform<bool> effect);

// A paragraph property's button (alignment): checked when the value is uniform and equals
// the button's, indeterminate when mixed.
template <typename T>
CheckState ValueCheckState(const Uniform<T>& value, const T& button) {
  if (!value) return CheckState::Indeterminate;
  return *value == button ? CheckState::Checked : CheckState::Unchecked;
}

// Paragraph numbering values.
enum Numbering : int {
  kNumberingNone = 0,
  kNumberingBullet = 1,
  kNumberingArabic = 2,
  kNumberingLowerLetter = 3,
  kNumberingUpperLetter = 4,
  kNumberingLowerRoman = 5,
  kNumberingUpperRoman = 6,
};

// The bullets and numbering buttons. Bullets are checked for a bulleted paragraph, numbering
// for any numbered style (arabic, letters, roman); each is indeterminate when mixed.
CheckState BulletsCheckState(Uniform<int> numbering);
CheckState NumberingCheckState(Uniform<int> numbering);

// The value cycle numbering moves to: none and bullets go to arabic numbers, then lower-case
// letters, upper-case letters, lower-case roman, upper-case roman and back to none; mixed
// numbering goes to arabic numbers. nullopt for an unknown value (the command does nothing).
std::optional<int> NextNumbering(Uniform<int> numbering);

// Setting numbering v on paragraphs: when they are uniformly numbered v already, numbering is
// switched off instead. Returns the numbering to apply.
int NumberingToApply(Uniform<int> numbering, int v);

// Paragraph alignment values as the editor's commands name them.
enum Alignment : int { kAlignLeft = 1, kAlignRight = 2, kAlignCenter = 3, kAlignJustify = 4 };

// Indent steps of the indent commands, in twips.
inline constexpr int kIndentStep = 360;

// The paragraph dialog's values. A field holds kNotSet when the selection mixes values.
inline constexpr std::int32_t kNotSet = 2147483647;
inline constexpr int kMinIndent = -31680;
inline constexpr int kMaxIndent = 31680;

// A paragraph format as the dialog reads and writes it: each field is set or not (mixed).
struct ParagraphFormat {
  Uniform<int> alignment;    // kAlignLeft, kAlignRight, kAlignCenter (kAlignJustify shown as mixed)
  Uniform<int> startIndent;  // first line's indent from the left edge, twips
  Uniform<int> rightIndent;
  Uniform<int> offset;       // indent of the other lines relative to the first line
  friend bool operator==(const ParagraphFormat&, const ParagraphFormat&) = default;
};

struct ParagraphDialogValues {
  int alignmentIndex = -1;  // -1 mixed, 0 "Left", 1 "Right", 2 "Center"
  std::int32_t left = kNotSet;
  std::int32_t right = kNotSet;
  std::int32_t firstLine = kNotSet;
  friend bool operator==(const ParagraphDialogValues&, const ParagraphDialogValues&) = default;
};

// What the dialog shows for a format: left is the indent of the lines after the first (start
// plus offset), first line is the first line's indent relative to them (minus the offset).
ParagraphDialogValues ToDialogValues(const ParagraphFormat& format);
// The format the dialog's values give back; a kNotSet value leaves its property unset.
ParagraphFormat FromDialogValues(const ParagraphDialogValues& values);
// Whether an entered indent may be applied.
bool IndentInRange(std::int64_t twips);
// The message for an indent outside the range.
std::string IndentRangeMessage();

}  // namespace zorbek::editor
