#include "core/db/database.h"

#include <cstdio>
#include <filesystem>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/database_lock.h"
#include "core/db/store_paths.h"
#include "core/db/change_journal.h"
#include "core/io/file_util.h"

namespace zorbek {
namespace {

bool KeepAside(const std::string& path, const std::string& aside) {
  std::error_code ec;
  std::filesystem::rename(path, aside, ec);
  if (!ec) return true;
  // Copied block by block: the file may be of any size.
  ec.clear();
  std::filesystem::copy_file(path, aside, ec);
  if (ec) std::filesystem::remove(aside, ec);
  return PathExists(aside);
}

}  // namespace

std::string KeptAsideMessage(const std::string& keptAs) {
  return FormatMessage("数据库文件无法读取，原文件已保存为：\n%s\n程序将使用新的数据库。", keptAs);
}

LoadStatus LoadDatabaseReadOnly(CXmlDocument& doc, const std::string& path) {
  LoadStatus status = doc.Load(path);
  if (status == LoadStatus::Loaded && Name(doc.DocumentElement()) != "list") {
    doc.LoadFromString("");  // empty again
    status = LoadStatus::Unparsable;
  }
  return status;
}

void RemoveLeftovers(const std::string& path) {
  const std::string target = ResolveSymbolicLinks(path);
  // The database's own temporary files, and those of its change journal.
  const std::string prefix = "." + FileNameOf(target) + ".tmp-";
  const std::string journalPrefix = "." + FileNameOf(JournalPathOf(path)) + ".tmp-";
  std::error_code ec;
  const std::string dir = DirectoryOf(target);
  for (std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code e;
    if ((name.rfind(prefix, 0) == 0 || name.rfind(journalPrefix, 0) == 0) &&
        IsAtomicWriteLeftover(name) && it->is_regular_file(e))
      std::filesystem::remove(it->path(), e);
  }
  const std::string store = NoteStoreDirectory(path);
  if (IsDirectory(store)) RemoveAtomicWriteLeftovers(store, true);
}

OpenedDatabase OpenDatabaseFile(CXmlDocument& doc, const std::string& path) {
  OpenedDatabase out;
  bool keptAside = false;
  {
    // One writer at a time: without the lock nothing may be written, not even the elements a
    // new database needs, nor a directory for it.
    if (!EnsureWriterLock(path, &out.lockMessage)) {
      out.status = LoadDatabaseReadOnly(doc, path);
      out.lockRefused = true;
      doc.SetWriteProtected(true);
      out.archive = doc.Select(kArchivePath);
      return out;
    }
    EnsureParentDirectories(path);
    // Holding the lock, no writer of ours is at work: what a killed one left behind goes.
    if (CurrentWriterRole() != WriterRole::None) RemoveLeftovers(path);
    out.status = LoadDatabaseReadOnly(doc, path);
    doc.SetWriteProtected(false);
    if (out.status == LoadStatus::Unparsable) {
      const std::string aside = KeptAsideName(path, "unreadable");
      keptAside = KeepAside(path, aside);
      if (keptAside) out.keptAs = aside;
      else doc.SetWriteProtected(true);
    }
    // A change a killed writer left half-done is settled before anything else touches the file.
    if (out.status != LoadStatus::Unparsable && !doc.WriteProtected()) {
      const JournalRecovery recovery = RecoverInterruptedChange(doc);
      if (!recovery.keptFiles.empty()) {
        std::string list;
        for (const auto& f : recovery.keptFiles) list += "\n" + f;
        out.recoveryMessage = FormatMessage(
            recovery.placedAs.empty()
                ? "上次的修改没有完成，已经恢复原状。这些文件无法放回原处，保留在：%s"
                : "上次的修改没有完成，已经恢复原状。无法放回原处的笔记已放入笔记树"
                  "（文件箱\\恢复的笔记或原来的文件夹）：%s",
            list);
      }
      // Set-aside files of a delete that was saved before its writer was killed.
      if (!PathExists(JournalPathOf(path))) RemoveDeletedFilesLeftovers(path);
    }
    const std::uint64_t savesBefore = doc.SuccessfulSaves();
    const bool hadHotkey = static_cast<bool>(doc.Select(kHotkeyPath));
    const bool hadArchive = static_cast<bool>(doc.Select(kArchivePath));
    doc.Select(kHotkeyPath, true);
    out.archive = doc.Select(kArchivePath, true);
    // A path that had to be created was saved; when that save did not reach the file, say so.
    if ((!hadHotkey || !hadArchive) && !doc.WriteProtected() &&
        doc.SuccessfulSaves() == savesBefore)
      out.saved = false;
  }
  // Then the user is told.
  if (out.status == LoadStatus::Unparsable) {
    if (keptAside)
      prompts().Message(KeptAsideMessage(out.keptAs), MsgButtons::Ok, MsgIcon::Warning);
    else
      prompts().Message(FormatMessage("数据库文件无法读取，也无法另存。为保护原文件，本次运行不会"
                                      "写入：\n%s",
                                      path),
                        MsgButtons::Ok, MsgIcon::Error);
  }
  if (!out.recoveryMessage.empty())
    prompts().Message(out.recoveryMessage, MsgButtons::Ok, MsgIcon::Warning);
  if (!out.saved)
    prompts().Message(SaveFailedMessage(path, doc.LastSaveError()), MsgButtons::Ok, MsgIcon::Warning);
  return out;
}

}  // namespace zorbek
