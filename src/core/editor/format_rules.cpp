#include "core/editor/format_rules.h"

namespace zorbek::editor {

CheckState EffectCheckState(Uniform<bool> effect) {
  if (!effect) return CheckState::Indeterminate;
  return *effect ? CheckState::Checked : CheckState::Unchecked;
}

bool ToggledEffect(Uniform<bool> effect) { return effect ? !*effect : true; }

CheckState BulletsCheckState(Uniform<int> numbering) {
  if (!numbering) return CheckState::Indeterminate;
  return *numbering == kNumberingBullet ? CheckState::Checked : CheckState::Unchecked;
}

CheckState NumberingCheckState(Uniform<int> numbering) {
  if (!numbering) return CheckState::Indeterminate;
  return *numbering >= kNumberingArabic && *numbering <= kNumberingUpperRoman
             ? CheckState::Checked
             : CheckState::Unchecked;
}

std::optional<int> NextNumbering(Uniform<int> numbering) {
  if (!numbering) return kNumberingArabic;
  switch (*numbering) {
    case kNumberingNone:
    case kNumberingBullet: return kNumberingArabic;
    case kNumberingArabic: return kNumberingLowerLetter;
    case kNumberingLowerLetter: return kNumberingUpperLetter;
    case kNumberingUpperLetter: return kNumberingLowerRoman;
    case kNumberingLowerRoman: return kNumberingUpperRoman;
    case kNumberingUpperRoman: return kNumberingNone;
    default: return std::nullopt;
  }
}

int NumberingToApply(Uniform<int> numbering, int v) {
  return numbering && *numbering == v ? kNumberingNone : v;
}

ParagraphDialogValues ToDialogValues(const ParagraphFormat& f) {
  ParagraphDialogValues v;
  if (f.alignment) {
    switch (*f.alignment) {
      case kAlignCenter: v.alignmentIndex = 2; break;
      case kAlignRight: v.alignmentIndex = 1; break;
      case kAlignLeft: v.alignmentIndex = 0; break;
      default: v.alignmentIndex = -1; break;
    }
  }
  v.right = f.rightIndent ? *f.rightIndent : kNotSet;
  if (f.offset) {
    v.firstLine = -*f.offset;
    v.left = f.startIndent ? *f.startIndent + *f.offset : kNotSet;
  }
  return v;
}

ParagraphFormat FromDialogValues(const ParagraphDialogValues& v) {
  ParagraphFormat f;
  switch (v.alignmentIndex) {
    case 0: f.alignment = kAlignLeft; break;
    case 1: f.alignment = kAlignRight; break;
    case 2: f.alignment = kAlignCenter; break;
    default: break;
  }
  if (v.right != kNotSet) f.rightIndent = v.right;
  if (v.left != kNotSet && v.firstLine != kNotSet) f.startIndent = v.left + v.firstLine;
  if (v.firstLine != kNotSet) f.offset = -v.firstLine;
  return f;
}

bool IndentInRange(std::int64_t twips) { return twips >= kMinIndent && twips <= kMaxIndent; }

std::string IndentRangeMessage() {
  return "Please enter a number between " + std::to_string(kMinIndent) + " and " +
         std::to_string(kMaxIndent) + ".";
}

}  // namespace zorbek::editor
