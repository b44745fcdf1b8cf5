#include "core/legacy/ramulo_convert.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <mutex>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "core/app/ini_file.h"
#include "core/app/paths.h"
#include "core/app/prompts.h"
#include "core/db/database.h"
#include "core/db/store_paths.h"
#include "core/db/xml_document.h"
#include "core/io/file_util.h"
#include "core/notes/item_path.h"
#include "core/notes/store_change.h"
#include "core/rtf/note_converter.h"
#include "core/rtf/text_file.h"
#include "core/text/cp936.h"

namespace zorbek {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The lines of a file: LF ends a line, a CR before it is not part of it. A last line without
// its line end still counts; nothing after the last line end is a line.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

// The file's lines as UTF-8. The files are code page 936; a file someone saved again as UTF-8
// with its byte-order mark is read as such.
std::vector<std::string> DecodeLines(std::string_view bytes) {
  const bool utf8 = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (utf8) bytes.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> out;
  for (std::string_view line : SplitLines(bytes))
    out.push_back(utf8 ? std::string(line) : Cp936ToUtf8(line));
  return out;
}

// A legacy text file's text: code page 936, unless a byte-order mark says otherwise.
std::string DecodeLegacyText(std::string_view bytes) {
  const bool marked = bytes.substr(0, 3) == kUtf8Bom || bytes.substr(0, 2) == "\xFF\xFE" ||
                      bytes.substr(0, 2) == "\xFE\xFF";
  return marked ? DecodeTextFile(bytes) : Cp936ToUtf8(bytes);
}

bool FlushStore(const std::string& storeDirectory) {
  const int fd = ::open(storeDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::syncfs(fd) == 0;
  ::close(fd);
  return ok;
}

// The names already used in one folder of the conversion: files and directories of its
// directory (found on disk when the folder is first used, then kept up to date) and the
// elements made in it. Both compared without regard to Latin case, as the note store is.
struct Level {
  XmlNode element;
  std::string directory;
  int depth = -1;
  std::unordered_set<std::string> files;
  std::unordered_set<std::string> elements;
  // The next number worth trying for a base name: numbers below it were taken when last tried,
  // and names are never given back during a conversion.
  std::unordered_map<std::string, int> nextNumber;

  Level(XmlNode e, std::string dir, int d) : element(e), directory(std::move(dir)), depth(d) {
    if (DIR* dirp = ::opendir(directory.c_str())) {
      while (dirent* entry = ::readdir(dirp)) files.insert(FoldLatinCase(entry->d_name));
      ::closedir(dirp);
    }
  }

  // The first free name of base + ext, base + 1 + ext, base + 2 + ext, ...: no file or
  // directory of that name in the directory, and no element of the name (without ext) in the
  // folder, so that a note never shares its element name with a sibling folder.
  std::string FreeName(const std::string& base, std::string_view ext) {
    const std::string key = FoldLatinCase(base) + std::string(ext);
    int& next = nextNumber[key];
    for (;; ++next) {
      std::string name = next == 0 ? base : base + std::to_string(next);
      const std::string folded = FoldLatinCase(name);
      if (!files.count(folded + std::string(ext)) && !elements.count(folded)) return name;
    }
  }

  void Take(const std::string& name, std::string_view ext) {
    const std::string folded = FoldLatinCase(name);
    files.insert(folded + std::string(ext));
    elements.insert(folded);
  }
};

class Converter {
 public:
  Converter(const RamuloOptions& options, std::vector<RamuloEntry> entries, CXmlDocument& doc,
            RamuloReport& report, NoteConverter& writer)
      : options_(options),
        writer_(writer),
        entries_(std::move(entries)),
        doc_(doc),
        report_(report),
        textDirectory_(JoinDirectoryFile(DirectoryOf(options.treeFilesPath), "doc")) {}

  // Converts every entry below the archive. False when a save failed (the user was told).
  bool Run(XmlNode archive, const std::string& storeDirectory) {
    storeDirectory_ = storeDirectory;
    std::vector<Level> stack;
    stack.emplace_back(archive, storeDirectory, -1);
    const std::size_t n = entries_.size();
    std::size_t i = 0;
    while (i < n) {
      const int depth = EntryDepth(entries_[i]);
      // The parent is the nearest folder above at a lower depth. In a well-formed file that is
      // the folder of the previous level; a file whose depths jump back to a level in between
      // (or that starts indented) still has every node converted.
      while (stack.back().depth >= depth) stack.pop_back();
      const bool folder = i + 1 < n && EntryDepth(entries_[i + 1]) > depth;
      const std::string name = EntryName(entries_[i]);
      if (!folder) {
        MakeNote(stack.back(), name, entries_[i].fileStem);
        ++i;
      } else if (auto made = MakeFolder(stack.back(), name)) {
        Level& parent = stack.back();
        const std::string directory = JoinPath(parent.directory, made->second);
        stack.emplace_back(made->first, directory, depth);
        // The node's own text: the first note of its folder, named as the folder.
        MakeNote(stack.back(), made->second, entries_[i].fileStem);
        ++i;
      } else {
        // The folder cannot be made: its subtree has nowhere to go.
        report_.skipped++;
        report_.skippedNames.push_back(name);
        for (++i; i < n && EntryDepth(entries_[i]) > depth; ++i) report_.skipped++;
      }
      if (!saveOk_ || !error_.empty()) return false;
      if (options_.progress) options_.progress(i, n);
    }
    return true;
  }

  // Saves the database when notesPerSave notes were added since the last save (or always,
  // with force). The notes' files reach the disk first.
  // Each batch of notes is one change of store and database: a kill before its save takes its
  // files back at the next open, a failed save at once.
  bool SaveIfDue(bool force) {
    if (!force && unsaved_ < std::max<std::size_t>(1, options_.notesPerSave)) return true;
    if (unsaved_ > 0 && !FlushStore(storeDirectory_)) ::sync();
    unsaved_ = 0;
    if (change_) {
      saveOk_ = change_->Save();
      change_.reset();
    } else {
      saveOk_ = doc_.Save();
    }
    if (!saveOk_ && error_.empty()) error_ = doc_.LastSaveError();
    if (!saveOk_ && error_.empty()) error_ = SystemReason(EIO);
    return saveOk_;
  }

  // Takes back the batch under way (its files and elements).
  void AbandonBatch() { change_.reset(); }

  // Why the conversion could not go on ("" while it can): a failed save, or a file or folder the
  // file system refused (a full disk, a read-only one).
  const std::string& Error() const { return error_; }

  // A step the file system refused stops the conversion; a name that is taken only skips.
  void Refused(StoreChange& change) {
    if (error_.empty() && (change.JournalFailed() || !change.Error().empty()))
      error_ = change.Error().empty() ? SystemReason(EIO) : change.Error();
  }

 private:
  void MakeNote(Level& parent, const std::string& name, const std::string& stem) {
    const std::string chosen = parent.FreeName(name, kNoteExtension_);
    if (!IsValidNodeName(chosen)) {
      report_.skipped++;
      report_.skippedNames.push_back(name);
      return;
    }
    StoreChange& change = Change(PathOf(parent.element) + "/" + chosen);
    change.MakeParentDirectories(JoinPath(parent.directory, "x"));
    const std::string file = JoinPath(parent.directory, chosen + std::string(kNoteExtension_));
    std::string text;
    const std::string textPath = textDirectory_ + "/" + stem + ".txt";
    if (auto bytes = IsRegularFile(textPath) ? ReadWholeFile(textPath) : std::nullopt) {
      text = DecodeLegacyText(*bytes);
    } else {
      report_.missingTexts++;
      report_.missingTextFiles.push_back(textPath);
    }
    // The file first: an element is never saved without its document.
    if (!change.WriteNewFile(file, writer_.PlainTextToRtf(text), false)) {
      Refused(change);
      report_.skipped++;
      report_.skippedNames.push_back(name);
      return;
    }
    parent.Take(chosen, kNoteExtension_);
    XmlNode element = doc_.CreateElement(chosen);
    SetAttribute(element, "type", "esr");
    AppendChild(parent.element, element);
    change.OnUndo([element] { Remove(element); });
    report_.notes++;
    unsaved_++;
    SaveIfDue(false);
  }

  // The new folder's element and name, or nullopt when it cannot be made.
  std::optional<std::pair<XmlNode, std::string>> MakeFolder(Level& parent,
                                                           const std::string& name) {
    const std::string chosen = parent.FreeName(name, "");
    if (!IsValidNodeName(chosen)) return std::nullopt;
    const std::string directory = JoinPath(parent.directory, chosen);
    StoreChange& change = Change(PathOf(parent.element) + "/" + chosen);
    change.MakeParentDirectories(JoinPath(directory, "x"));
    if (!IsDirectory(directory)) {
      Refused(change);
      return std::nullopt;
    }
    parent.Take(chosen, "");
    XmlNode element = doc_.CreateElement(chosen);
    SetAttribute(element, "type", "dir");
    AppendChild(parent.element, element);
    change.OnUndo([element] { Remove(element); });
    report_.folders++;
    return std::make_pair(element, chosen);
  }

  // The change of the batch under way; a new batch names the element its save will show.
  StoreChange& Change(const std::string& firstElement) {
    if (!change_) {
      change_ = std::make_unique<StoreChange>(doc_);
      change_->Expect(ElementPath(firstElement), true);
    }
    return *change_;
  }

  // The absolute element path of an element of the database.
  static std::string PathOf(XmlNode element) {
    std::string path;
    for (XmlNode e = element; e && IsElement(e); e = Parent(e)) path = "/" + std::string(e.name()) + path;
    return path;
  }

  static constexpr std::string_view kNoteExtension_ = ".esr";
  std::unique_ptr<StoreChange> change_;
  const RamuloOptions& options_;
  NoteConverter& writer_;
  std::vector<RamuloEntry> entries_;
  CXmlDocument& doc_;
  RamuloReport& report_;
  std::string textDirectory_;
  std::string storeDirectory_;
  std::size_t unsaved_ = 0;
  bool saveOk_ = true;
  std::string error_;
};

std::string ListNames(const std::vector<std::string>& names) {
  constexpr std::size_t kShown = 10;
  std::string out;
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) out += "\n" + names[i];
  if (names.size() > kShown) out += "\n……";
  return out;
}

}  // namespace

int EntryDepth(const RamuloEntry& entry) {
  int d = 0;
  while (static_cast<std::size_t>(d) < entry.structure.size() && entry.structure[d] == '\t') ++d;
  return d;
}

std::string EntryName(const RamuloEntry& entry) {
  std::string out;
  out.reserve(entry.structure.size());
  for (char c : entry.structure)
    if (c != '\t') out += c;
  return out;
}

std::string MapRamuloLine(std::string_view line) {
  std::string out;
  out.reserve(line.size() + 8);
  for (char c : line) {
    const auto k = kRamuloNameMapping.find(c);
    if (c != '\0' && k != std::string_view::npos)
      out += std::to_string(k);
    else
      out += c;
  }
  std::size_t tabs = 0;
  while (tabs < out.size() && out[tabs] == '\t') ++tabs;
  if (tabs < out.size() && out[tabs] >= '0' && out[tabs] <= '9') out.insert(tabs, "esr");
  return out;
}

std::vector<RamuloEntry> ParseRamuloFiles(std::string_view treeFiles, std::string_view treeStru) {
  const std::vector<std::string> files = DecodeLines(treeFiles);
  const std::vector<std::string> stru = DecodeLines(treeStru);
  std::vector<RamuloEntry> out;
  const std::size_t n = std::min(files.size(), stru.size());
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) out.push_back({MapRamuloLine(stru[i]), files[i]});
  return out;
}

std::string JoinDirectoryFile(std::string_view directory, std::string_view name) {
  std::string out(directory);
  if (out.empty() || (out.back() != '/' && out.back() != '\\')) out += '/';
  out += name;
  return out;
}

RamuloFiles LocateRamuloFiles(std::string_view directory) {
  RamuloFiles out;
  out.treeFiles = JoinDirectoryFile(directory, kTreeFilesName);
  out.treeStru = JoinDirectoryFile(directory, kTreeStruName);
  if (!IsRegularFile(out.treeFiles))
    out.message = kMsgNoTreeFiles;
  else if (!IsRegularFile(out.treeStru))
    out.message = kMsgNoTreeStru;
  if (!out.message.empty()) out.treeFiles.clear(), out.treeStru.clear();
  return out;
}

RamuloRead ReadRamulo(const std::string& treeFilesPath, const std::string& treeStruPath) {
  RamuloRead out;
  const auto files = ReadWholeFile(treeFilesPath);
  if (!files) {
    out.message = kMsgReadTreeFiles;
    return out;
  }
  const auto stru = ReadWholeFile(treeStruPath);
  if (!stru) {
    out.message = kMsgReadTreeStru;
    return out;
  }
  out.entries = ParseRamuloFiles(*files, *stru);
  out.ok = true;
  return out;
}

namespace {
// Puts archive where the database's archive is (the rest of the file box keeps its order); any
// further archive elements go.
void PutArchive(CXmlDocument& doc, XmlNode filetree, XmlNode archive) {
  std::vector<XmlNode> old = doc.SelectAll(kArchivePath);
  if (old.empty()) {
    AppendChild(filetree, archive);
    return;
  }
  Replace(old.front(), archive);
  for (std::size_t i = 1; i < old.size(); ++i) Remove(old[i]);
}

RamuloReport ConvertInto(const RamuloOptions& options, std::vector<RamuloEntry> entries,
                         NoteConverter& writer);
}  // namespace

RamuloReport ConvertRamulo(const RamuloOptions& options) {
  RamuloReport report;
  NoteConverter* writer = noteConverter();
  if (!writer) {
    report.message = kMsgNoNoteWriter;
    return report;
  }
  if (options.treeFilesPath.empty() || options.treeStruPath.empty() ||
      options.targetPath.empty()) {
    report.message = kMsgChoosePaths;
    return report;
  }
  // Nothing of the target changes unless the legacy files can be read.
  RamuloRead read = ReadRamulo(options.treeFilesPath, options.treeStruPath);
  if (!read.ok) {
    report.message = read.message;
    return report;
  }

  // A database made for the conversion goes again when the conversion cannot be written.
  const bool existed = PathExists(options.targetPath);
  report = ConvertInto(options, std::move(read.entries), *writer);
  if (!report.done && !existed && !report.message.empty()) {
    std::error_code ec;
    const std::string store = NoteStoreDirectory(options.targetPath);
    std::filesystem::remove_all(store, ec);
    std::filesystem::remove(DirectoryOf(store), ec);  // only when empty
    std::filesystem::remove(options.targetPath, ec);
    SyncDirectory(DirectoryOf(options.targetPath));
  }
  return report;
}

namespace {

RamuloReport ConvertInto(const RamuloOptions& options, std::vector<RamuloEntry> entries,
                         NoteConverter& writer) {
  RamuloReport report;
  CXmlDocument doc;
  // An unreadable file is kept aside, never lost; another writer of it refuses the conversion.
  const OpenedDatabase opened = OpenDatabaseFile(doc, options.targetPath);
  if (doc.WriteProtected()) {
    if (opened.lockRefused) report.message = opened.lockMessage;
    return report;  // otherwise the user was told why nothing can be written
  }
  // A fresh, empty archive; the rest of the database stays. The old notes are kept aside under
  // a name of their own until the conversion is whole; a conversion that cannot be written
  // whole (a full disk) puts them back.
  const std::string store = NoteStoreDirectory(options.targetPath);
  XmlNode filetree = doc.Select("/list/filetree");
  if (!filetree) return report;  // opening made it
  const auto failed = [&](const std::string& reason) {
    report.message = SaveFailedMessage(options.targetPath, reason);
    return report;
  };
  XmlNode oldArchive = doc.Select(kArchivePath);
  std::string firstOld;
  if (oldArchive)
    for (XmlNode c = FirstChild(oldArchive); c; c = NextSibling(c))
      if (IsElement(c)) {
        firstOld = std::string(kArchivePath) + "/" + c.name();
        break;
      }
  XmlNode kept = oldArchive ? CloneNode(oldArchive) : XmlNode();
  const bool replacing = options.replaceStore && PathExists(store);
  const std::string oldStore = replacing ? KeptAsideName(store, "replaced") : std::string();
  {
    StoreChange reset(doc);
    if (!firstOld.empty()) reset.Expect(ElementPath(firstOld), false);
    if (replacing && !reset.Rename(store, oldStore))
      return failed(reset.Error().empty() ? SystemReason(EACCES) : reset.Error());
    PutArchive(doc, filetree, doc.CreateElement("archive"));
    if (!reset.Save()) return failed(doc.LastSaveError());
  }
  XmlNode archive = doc.Select(kArchivePath);
  Converter converter(options, std::move(entries), doc, report, writer);
  std::string reason;
  if (!EnsureParentDirectories(JoinPath(store, "x"))) reason = SystemReason(errno);
  else if (!converter.Run(archive, store) || !converter.SaveIfDue(true)) reason = converter.Error();
  if (reason.empty()) {
    report.done = true;
    if (replacing) DeleteDirectoryTree(oldStore);
    return report;
  }
  // Not whole: the notes as they were come back, as one change.
  converter.AbandonBatch();
  {
    StoreChange back(doc);
    if (!firstOld.empty()) back.Expect(ElementPath(firstOld), true);
    bool ok = !PathExists(store) || back.SetAside(store);
    if (ok && replacing) ok = back.Rename(oldStore, store);
    if (ok) {
      PutArchive(doc, filetree, kept ? kept : doc.CreateElement("archive"));
      ok = back.Save();
    }
    if (!ok && replacing) reason += "\n" + FormatMessage("原有的笔记保存在：%s", oldStore);
  }
  return failed(reason);
}

}  // namespace

std::string ConversionNotice(const RamuloReport& report) {
  std::string out;
  if (report.skipped > 0)
    out += "有" + std::to_string(report.skipped) +
           "个条目没有转换（名称不能用作节点名称，或者无法写入）：" +
           ListNames(report.skippedNames);
  if (report.missingTexts > 0) {
    if (!out.empty()) out += "\n\n";
    out += "有" + std::to_string(report.missingTexts) +
           "个文本文件不存在或无法读取，对应的笔记为空：" + ListNames(report.missingTextFiles);
  }
  return out;
}

std::string ConversionSummary(const RamuloReport& report) {
  return "文件夹 " + std::to_string(report.folders) + " 个，笔记 " +
         std::to_string(report.notes) + " 个，跳过 " + std::to_string(report.skipped) +
         " 个，缺少文本 " + std::to_string(report.missingTexts) + " 个";
}

UseOutcome UseConvertedDatabase(const std::string& settingsFile, const std::string& targetPath) {
  UseOutcome out;
  out.written = WriteProfileString(settingsFile, kProjectSection, kWorkPathKey, targetPath);
  out.message = out.written ? kMsgNextStart : FormatMessage(kMsgSettingsNotWritten, settingsFile);
  return out;
}

}  // namespace zorbek
