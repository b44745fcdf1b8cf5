// Notes in and out of the tree: adding a note file, import and export of .rtf and .txt files,
// moving folders and notes by dragging them inside the tree, the files the file manager drops
// on the tree and the file a note dragged out of the window offers.
//
// Like the other tree commands these are operations on item paths that return outcomes: the
// note store first, then the database, then the save, then the events that tell the windows
// (kAdded, kMoved); a refusal changes nothing and carries the message the user sees (none where the program
// stays silent). Conversions go through the core's NoteConverter (core/rtf/note_converter.h),
// which the program installs.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/notes/note_commands.h"

namespace zorbek {

inline constexpr const char* kMsgTargetExists = "目标文件已经存在。";
inline constexpr const char* kMsgNotAdded = "未能添加：%s";
inline constexpr const char* kMsgFileCopyError = "文件复制出错，请检查文件是否存在或者被占用。";
inline constexpr const char* kMsgExportOnlyNotes = "只支持ESR文件导出";
inline constexpr const char* kMsgExportFailed = "导出文件失败：%s";
inline constexpr const char* kMsgMoveFailed = "移动文件失败，因为源文件已经不存在或者占用。";
inline constexpr const char* kMsgDraggedFileMissing = "文件不存在。";

inline constexpr const char* kImportFilter =
    "所有支持的格式|*.rtf;*.txt;*.esr|所有文件(*.*)|*.*||";
inline constexpr const char* kExportFilter = "RTF文档格式(*.rtf)|*.rtf|文本格式(*.txt)|*.txt||";

// The transfers' outcome is the commands' own (file and skipped are theirs).
using TransferOutcome = NoteOutcome;

// Whether a drag may begin on the item: anything below a top-level item, except below the
// timetable.
bool CanDragItem(const ItemPath& item);
// Whether target is item itself or lies below it.
bool IsSameOrBelow(const ItemPath& target, const ItemPath& item);
// The extension of a path's file name (after its last "."), "" when it has none.
std::string FileExtensionOf(std::string_view path);

class NoteTransfer {
 public:
  explicit NoteTransfer(NoteCommands& commands) : commands_(commands) {}

  // Adds the note file as a note by the placement rule relative to selected; the name is the
  // file's base name made unique. A file that already lies in the receiving folder's directory
  // under that name and has no element is recorded without copying. On success the new note
  // is what the tree selects next (item).
  TransferOutcome AddNoteFile(const ItemPath& selected, const std::string& file);

  // Imports files in order. An ".esr" file is added as it is; any other file is converted
  // into a note document first (RTF when it begins with "{\rtf", else text) in a private
  // temporary directory, so nothing is written beside the source. Each note added becomes the
  // selection for the next file. One outcome per file; the files are converted first, then
  // added as one change and the database is saved once, after the last file.
  std::vector<TransferOutcome> Import(const ItemPath& selected,
                                      const std::vector<std::string>& files);

  // Files dropped from a file manager with selected under the cursor: each ".esr" file (any
  // letter case) is added as AddNoteFile adds it; other files are skipped. One outcome per file.
  std::vector<TransferOutcome> DropFiles(const ItemPath& selected,
                                         const std::vector<std::string>& files);

  // Whether the item can be exported (a note of the file box), or "只支持ESR文件导出".
  TransferOutcome CanExport(const ItemPath& item) const;
  // Writes the note to out: RTF when the extension of out begins with "rtf" as written, UTF-8
  // plain text otherwise. The database is not changed.
  TransferOutcome Export(const ItemPath& item, const std::string& out);

  // Moves a folder into target (a folder or the file box: its first child) or next to it (a
  // note: directly before it), under a free name when it changes folder. Once saved, the
  // notebook is told kMoved: the folder with its index, and, when its names changed, everything
  // below it (below = true).
  TransferOutcome MoveFolderTo(const ItemPath& folder, const ItemPath& target);
  // Moves a note the same way.
  TransferOutcome MoveNoteTo(const ItemPath& note, const ItemPath& target);
  // An internal drag of dragged released on target (nullopt: on no item): the rules of the
  // release, then the move. The database is saved whenever a move was tried.
  TransferOutcome Drop(const ItemPath& dragged, const std::optional<ItemPath>& target);

  // The file a note dragged out of the window offers: done with file for a note whose file
  // exists; "文件不存在。" when it has none; nothing (not done, no message) for anything else.
  TransferOutcome DragOutFile(const ItemPath& item) const;

 private:
  // Adds one file as part of change (the document is changed, not yet saved); its kAdded
  // event joins events.
  TransferOutcome Add(const ItemPath& selected, const std::string& file, StoreChange& change,
                      std::vector<NotebookEvent>& events,
                      const std::string& chosenFile = {});
  // The one save after a batch of files, then the events of the files added. When the save
  // fails, nothing of the batch stays and every added file's outcome is refused, unsaved.
  void SaveBatch(std::vector<TransferOutcome>& results, StoreChange& change,
                 const std::vector<NotebookEvent>& events);
  TransferOutcome Move(const ItemPath& dragged, const ItemPath& target, bool folder);

  NoteCommands& commands_;
};

}  // namespace zorbek
