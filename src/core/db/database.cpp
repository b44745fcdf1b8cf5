#include "core/db/database.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
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

namespace {

// The database's own temporary files, and those of its change journal: one directory read.
void RemoveDatabaseLeftovers(const std::string& path) {
  const std::string target = ResolveSymbolicLinks(path);
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
}

std::int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::int64_t NowNanoseconds() {
  struct timespec t {};
  ::clock_gettime(CLOCK_REALTIME, &t);
  return Nanoseconds(t);
}

// Whether the temporary file temp may hold text found nowhere else: it is not empty, and the
// file it was written to replace is missing or differs.
bool MayBeOnlyCopy(const std::string& temp, const std::string& target, std::int64_t size) {
  if (size == 0) return false;
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    // A new file of a change (a copy or an import), whose source is still where it was: the
    // journal, not this file, says what becomes of the change. Only a note file that vanished
    // under an editor's save could lose text, and an editor's save replaces an existing file.
    return false;
  }
  if (st.st_size != size) return true;
  const auto a = ReadWholeFile(temp), b = ReadWholeFile(target);
  return !a || !b || *a != *b;
}

}  // namespace

bool SweepStoreLeftovers(const std::string& path, std::int64_t notAfter,
                         const std::atomic<bool>* stop, int* removed) {
  namespace fs = std::filesystem;
  const std::string store = NoteStoreDirectory(path);
  int count = 0;
  std::error_code ec;
  fs::recursive_directory_iterator it(store, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (stop && *stop) {
      if (removed) *removed = count;
      return false;
    }
    const std::string name = it->path().filename().string();
    if (!IsAtomicWriteLeftover(name)) continue;
    const std::string temp = it->path().string();
    struct stat st {};
    if (::lstat(temp.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (Nanoseconds(st.st_mtim) >= notAfter) continue;  // a write of this process
    // ".name.tmp-XXXXXX" was written to replace "name".
    const std::string dir = it->path().parent_path().string();
    const std::string targetName = name.substr(1, name.size() - 1 - 5 - 6);
    const std::string target = JoinPath(dir, targetName);
    if (MayBeOnlyCopy(temp, target, st.st_size)) {
      const std::string kept =
          JoinPath(dir, targetName + ".未完成的保存-" + name.substr(name.size() - 6));
      if (!PathExists(kept)) RenameNoReplace(temp, kept);
      continue;
    }
    std::error_code e;
    if (fs::remove(temp, e)) ++count;
  }
  if (removed) *removed = count;
  return !ec;
}

LeftoverSweep::LeftoverSweep(std::string databasePath) {
  const std::int64_t since = NowNanoseconds();
  thread_ = std::thread([this, path = std::move(databasePath), since] {
    if (SweepStoreLeftovers(path, since, &stop_)) KeepWriterMark(path, false);
  });
}

LeftoverSweep::~LeftoverSweep() {
  stop_ = true;
  Wait();
}

void LeftoverSweep::Wait() {
  if (thread_.joinable()) thread_.join();
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
    // Holding the lock, no writer of ours is at work. What a dead one left behind goes, and
    // only then is anything but the database file looked for: a clean end leaves no mark.
    const WriterRole role = CurrentWriterRole();
    const std::int64_t opened = NowNanoseconds();
    const bool writerDied =
        role != WriterRole::None && (PreviousWriterDied(path) || PathExists(JournalPathOf(path)));
    if (writerDied) RemoveDatabaseLeftovers(path);
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
      // (Without a writer role, as in-process tests open, there is no mark to tell.)
      if ((writerDied || role == WriterRole::None) && !PathExists(JournalPathOf(path)))
        RemoveDeletedFilesLeftovers(path);
    }
    if (writerDied && !doc.WriteProtected() && IsDirectory(NoteStoreDirectory(path))) {
      if (role == WriterRole::Program) {
        out.storeSweepNeeded = true;
        KeepWriterMark(path, true);  // until the sweep is through
      } else {
        SweepStoreLeftovers(path, opened);
      }
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
