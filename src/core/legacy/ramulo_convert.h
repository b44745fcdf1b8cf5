// Bringing over the notes of the older note program Ramulo.
//
// Ramulo kept its tree in two text files of one directory (the legacy directory): TreeStru.dat,
// one line per node in pre-order, each line the node's depth in leading TABs and then its name,
// and TreeFiles.dat, the stem of each node's text file doc/STEM.txt, line for line. Both are
// code page 936 with CR LF or LF line ends.
//
// The conversion writes the tree into /list/filetree/archive of a Zorbek database and one note
// document per node into that database's note store: a node with children becomes a folder
// holding a note of its own name (the node's text) followed by its children. Everything else in
// the database (reminders, hot keys, tools) stays as it was.
//
// Writing a note as the editor writes it needs the RTF engine, which is not part of the core: the
// conversion goes through the core's note converter (core/rtf/note_converter.h), which the
// program and zorbek-cli install.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbek {

// The texts of the conversion.
inline constexpr const char* kRamuloTitle = "导入Ramulo数据库";
inline constexpr const char* kRamuloBrowseTitle = "旧版本数据库目录";
inline constexpr const char* kMsgNoTreeFiles = "没有找到TreeFiles.dat文件";
inline constexpr const char* kMsgNoTreeStru = "没有找到TreeStru.dat文件";
inline constexpr const char* kMsgChoosePaths = "请选输入数据库文件或者保存路径。";
inline constexpr const char* kMsgReadTreeFiles = "读取TreeFile文件出错。";
inline constexpr const char* kMsgReadTreeStru = "读取TreeStru文件出错。";
inline constexpr const char* kAskOverwriteDatabase =
    "该指定目录下已经存在Zorbek.xml文件，是否覆盖原有数据？\r\n此覆盖将会清空原有所有数据且无法恢复。";
inline constexpr const char* kAskUseConverted = "转换完成，现在导入数据库吗？";
inline constexpr const char* kMsgNextStart = "下次启动生效。";
inline constexpr const char* kMsgSettingsNotWritten = "无法写入设置文件：%s";
inline constexpr const char* kMsgWriteFailed = "请检查文件路径是否存在：%s";
inline constexpr const char* kMsgNoNoteWriter = "无法转换：没有RTF文档的写入程序。";

inline constexpr std::string_view kTreeFilesName = "TreeFiles.dat";
inline constexpr std::string_view kTreeStruName = "TreeStru.dat";
inline constexpr std::string_view kConvertedDatabaseName = "Zorbek.xml";

// The 31 characters a name may not keep: the k-th becomes the decimal text of k.
inline constexpr std::string_view kRamuloNameMapping = "~!@#$%^&*()_+|}{\":<>? `-=\\';/.,";

// One node of the legacy tree, in file order.
struct RamuloEntry {
  std::string structure;  // the TreeStru.dat line after name mapping, leading TABs kept (UTF-8)
  std::string fileStem;   // the TreeFiles.dat line (UTF-8)
};

// The number of leading TABs.
int EntryDepth(const RamuloEntry& entry);
// The structure line without any TAB.
std::string EntryName(const RamuloEntry& entry);

// The name mapping of one structure line (UTF-8): every character of the mapping table becomes
// its index, then "esr" goes before a digit that follows the leading TABs. In UTF-8 no byte of
// a multi-byte character is ASCII, so a character is never matched by a part of it.
std::string MapRamuloLine(std::string_view line);

// The entries of the two files' bytes: line i of each describes node i; the shorter file ends
// the list. Lines are code page 936 (UTF-8 when the file starts with its byte-order mark).
std::vector<RamuloEntry> ParseRamuloFiles(std::string_view treeFiles, std::string_view treeStru);

// directory + "/" + name, without a second "/" when directory ends with one.
std::string JoinDirectoryFile(std::string_view directory, std::string_view name);

// The two legacy files of a chosen directory, or the message why it holds none.
struct RamuloFiles {
  std::string treeFiles;
  std::string treeStru;
  std::string message;  // set when a file is missing (both paths are empty then)
  explicit operator bool() const { return message.empty(); }
};
RamuloFiles LocateRamuloFiles(std::string_view directory);

// Reads both files; on failure the message names the file that could not be read.
struct RamuloRead {
  bool ok = false;
  std::string message;
  std::vector<RamuloEntry> entries;
};
RamuloRead ReadRamulo(const std::string& treeFilesPath, const std::string& treeStruPath);

// Called after each converted entry: how many of how many are done.
using ConversionProgressFn = std::function<void(std::size_t done, std::size_t total)>;

struct RamuloOptions {
  std::string treeFilesPath;  // the text files lie in "doc" beside it
  std::string treeStruPath;
  std::string targetPath;     // the database, .../Zorbek.xml
  // Delete the target's note store (and only that) before converting. Without it, files that
  // are there already keep their names and the converted ones take free names beside them.
  bool replaceStore = false;
  ConversionProgressFn progress;
  // The database is saved after this many notes, and at the end. A note's file is always on
  // disk before its element is, so an interrupted conversion leaves no element without a file.
  std::size_t notesPerSave = 100;
};

struct RamuloReport {
  bool done = false;     // converted to the end and saved
  std::string message;   // why it stopped, when done is false (empty: the user was told already)
  int folders = 0;
  int notes = 0;
  // Entries not converted: a name that is not an element name even after the mapping (a folder
  // takes its whole subtree along), or a folder or note that could not be written.
  int skipped = 0;
  std::vector<std::string> skippedNames;  // the names as mapped; a skipped folder's only
  // Notes made empty because their text file is missing or cannot be read.
  int missingTexts = 0;
  std::vector<std::string> missingTextFiles;
};

// Converts as the dialog's Convert button does. The legacy files are read first: when they
// cannot be read, the target is not touched. Then the target's archive is replaced by the
// converted tree. An existing database that cannot be read is kept aside first (as opening it
// would), never overwritten.
RamuloReport ConvertRamulo(const RamuloOptions& options);

// What the user is told after the conversion about the entries that did not come over; empty
// when everything did.
std::string ConversionNotice(const RamuloReport& report);
// The command line's summary.
std::string ConversionSummary(const RamuloReport& report);

// Makes the converted database the one the program opens at its next start ("WorkPath" of the
// settings file). Returns the message for the user: "下次启动生效。" or why it was not written.
struct UseOutcome {
  bool written = false;
  std::string message;
};
UseOutcome UseConvertedDatabase(const std::string& settingsFile, const std::string& targetPath);

}  // namespace zorbek
