// Command numbers of the note editor. Other windows and the tests name commands by them.
#pragma once

namespace zorbek::cmd {

// Formatting toolbar ("Styles").
inline constexpr int kFontName = 32834;
inline constexpr int kFontSize = 32835;
inline constexpr int kBold = 32821;
inline constexpr int kItalic = 32822;
inline constexpr int kUnderline = 32823;
inline constexpr int kStrikeOut = 32824;
inline constexpr int kAlignLeft = 32825;
inline constexpr int kAlignCenter = 32826;
inline constexpr int kAlignRight = 32827;
inline constexpr int kNumbering = 32828;
inline constexpr int kBullets = 32829;
inline constexpr int kTextColor = 32830;
inline constexpr int kSuperscript = 32832;
inline constexpr int kSubscript = 32833;
inline constexpr int kInsertLink = 32836;
inline constexpr int kCycleNumbering = 32873;
inline constexpr int kBackColor = 32874;

// Main toolbar.
inline constexpr int kSave = 32838;
inline constexpr int kFind = 32839;
inline constexpr int kCopy = 32841;
inline constexpr int kPaste = 32842;
inline constexpr int kDelete = 32843;
inline constexpr int kUndo = 32853;
inline constexpr int kRedo = 32854;
inline constexpr int kReplace = 32855;
inline constexpr int kParagraph = 32856;
inline constexpr int kInsertDateTime = 32858;
inline constexpr int kFont = 32859;
inline constexpr int kCut = 32860;
inline constexpr int kIndentMore = 32871;
inline constexpr int kIndentLess = 32872;
inline constexpr int kProtect = 32878;
inline constexpr int kInsertTable = 32901;
inline constexpr int kInsertSeparator = 32948;

// Menu.
inline constexpr int kClose = 32879;
inline constexpr int kOpenFileDirectory = 32893;
inline constexpr int kExportContent = 32921;
inline constexpr int kImportContent = 32922;
inline constexpr int kObject = 32920;
inline constexpr int kInsertObject = 32919;
// The note's kept versions (file menu and context menu).
inline constexpr int kNoteHistory = 32961;

// The rich edit control's context menu.
inline constexpr int kCtxUndo = 101;
inline constexpr int kCtxCut = 102;
inline constexpr int kCtxCopy = 103;
inline constexpr int kCtxPaste = 104;
inline constexpr int kCtxClear = 105;
inline constexpr int kCtxSelectAll = 106;
inline constexpr int kCtxFont = 107;
inline constexpr int kCtxIndentLess = 108;
inline constexpr int kCtxIndentMore = 109;
inline constexpr int kCtxNumbering = 110;
inline constexpr int kCtxBullets = 111;
inline constexpr int kCtxCycleNumbering = 112;
inline constexpr int kCtxBold = 113;
inline constexpr int kCtxItalic = 114;
inline constexpr int kCtxStrikeOut = 115;
inline constexpr int kCtxUnderline = 116;

// The buttons of the two toolbars, in order.
inline constexpr int kMainToolBar[] = {kSave,       kUndo,       kRedo,          kCut,
                                       kCopy,       kPaste,      kDelete,        kFont,
                                       kIndentMore, kIndentLess, kParagraph,     kInsertTable,
                                       kInsertSeparator, kProtect, kInsertDateTime, kFind,
                                       kReplace};
inline constexpr int kStylesToolBar[] = {kFontName,  kFontSize,    kBold,        kItalic,
                                         kUnderline, kStrikeOut,   kAlignLeft,   kAlignCenter,
                                         kAlignRight, kCycleNumbering, kNumbering, kBullets,
                                         kInsertLink, kTextColor,  kBackColor,   kSuperscript,
                                         kSubscript};

}  // namespace zorbek::cmd
