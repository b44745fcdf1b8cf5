#include "core/notes/store_change.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <utility>

#include "core/db/store_paths.h"
#include "core/io/file_util.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;

std::function<void(int)>& StepHook() {
  static std::function<void(int)> hook;
  return hook;
}

bool Present(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Creates a new temporary file beside path, named as the leftovers the next open removes, with
// the mode of the user's private files. Returns its descriptor (-1 on failure).
int OpenTemporaryBeside(const std::string& path, std::string* temp) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned> counter{0};
  const std::string dir = DirectoryOf(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t r = (static_cast<std::uint64_t>(::getpid()) << 32) ^
                      static_cast<std::uint64_t>(::time(nullptr)) ^
                      (static_cast<std::uint64_t>(counter++) * 0x9E3779B97F4A7C15ULL);
    std::string suffix;
    for (int i = 0; i < 6; ++i, r /= 62) suffix += kChars[r % 62];
    *temp = JoinPath(dir.empty() ? "." : dir, "." + FileNameOf(path) + ".tmp-" + suffix);
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Whether a file system object may be moved and deleted: not immutable, not append-only.
bool FlagsAllowDelete(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return true;  // a link, or not readable: the flags cannot be asked, nor are they set
  int flags = 0;
  const bool asked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  ::close(fd);
  return !asked || (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) == 0;
}

void Stepped(const ChangeJournal& j) {
  if (StepHook()) StepHook()(static_cast<int>(j.Steps().size()));
}

// How many entries there are at and below path.
std::size_t EntriesBelow(const std::string& path) {
  if (!Present(path)) return 0;
  std::size_t n = 1;
  std::error_code ec;
  if (IsDirectory(path))
    for (auto it = fs::recursive_directory_iterator(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      ++n;
  return n;
}

}  // namespace

void SetStoreChangeStepHook(std::function<void(int)> hook) { StepHook() = std::move(hook); }

bool DeletableWhole(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return true;
  const std::string parent = DirectoryOf(path);
  if (::access(parent.empty() ? "." : parent.c_str(), W_OK | X_OK) != 0) return false;
  if (S_ISLNK(st.st_mode)) return true;
  if (!FlagsAllowDelete(path)) return false;
  if (!S_ISDIR(st.st_mode)) return true;
  // A directory moves to another parent only when it is writable itself (its ".." changes).
  if (::access(path.c_str(), W_OK | X_OK) != 0) return false;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code e;
    const std::string p = it->path().string();
    if (it->is_symlink(e)) continue;
    if (!FlagsAllowDelete(p)) return false;
    if (it->is_directory(e) && ::access(p.c_str(), W_OK | X_OK) != 0) return false;
  }
  return !ec;
}

NodePlace PlaceOf(XmlNode node) { return {Parent(node), NextSibling(node)}; }

void PutBack(XmlNode node, const NodePlace& place) {
  if (place.next) InsertBefore(place.next, node);
  else AppendChild(place.parent, node);
}

StoreChange::StoreChange(CXmlDocument& doc) : doc_(doc), journal_(doc.GetPath()) {}

StoreChange::~StoreChange() {
  if (!finished_) Abandon();
}

void StoreChange::Expect(const ElementPath& elementPath, bool present) {
  expected_.push_back({elementPath.str(), present});
  Rewrite();
}

void StoreChange::Unexpect(const ElementPath& elementPath) {
  for (auto it = expected_.rbegin(); it != expected_.rend(); ++it) {
    if (it->elementPath != elementPath.str()) continue;
    expected_.erase(std::next(it).base());
    Rewrite();
    return;
  }
}

void StoreChange::Rewrite() {
  // A journal already begun is written anew, with every step so far.
  if (begun_ && !journal_.Begin(journal_.Steps(), expected_, forward_, &error_))
    journalFailed_ = true;
}

bool StoreChange::Journal(DiskStep step, bool sync) {
  if (journalFailed_) return false;
  if (!begun_) {
    if (!journal_.Begin({}, expected_, forward_, &error_)) {
      journalFailed_ = true;
      return false;
    }
    begun_ = true;
  }
  if (!journal_.Add(std::move(step), &error_, sync)) {
    journalFailed_ = true;
    return false;
  }
  return true;
}

bool StoreChange::MakeParentDirectories(const std::string& path) {
  std::vector<std::string> missing;
  for (std::string dir = DirectoryOf(path); !dir.empty() && !IsDirectory(dir);
       dir = DirectoryOf(dir)) {
    if (Present(dir)) return false;  // a file stands where a directory should be
    missing.push_back(dir);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (!MakeDirectory(*it)) return false;
  return true;
}

bool StoreChange::MakeDirectory(const std::string& path) {
  if (Present(path)) return false;
  if (!Journal({DiskStep::Kind::MadeDirectory, {}, path, {}})) return false;
  if (::mkdir(path.c_str(), kPrivateDirectoryMode) != 0) {
    error_ = SystemReason(errno);
    return false;
  }
  Stepped(journal_);
  return true;
}

bool StoreChange::CreateEmptyFile(const std::string& path) {
  if (Present(path)) return false;
  if (!Journal({DiskStep::Kind::CreatedFile, {}, path, {}})) return false;
  if (!zorbek::CreateEmptyFile(path)) {
    error_ = SystemReason(errno);
    return false;
  }
  Stepped(journal_);
  return true;
}

bool StoreChange::CopyFile(const std::string& from, const std::string& to) {
  if (Present(to) || !IsRegularFile(from)) return false;
  const std::optional<std::string> data = ReadWholeFile(from);
  if (!data) {
    error_ = SystemReason(errno);
    return false;
  }
  return PlaceNewFile(to, *data, true, from);
}

bool StoreChange::WriteNewFile(const std::string& path, std::string_view data, bool sync) {
  if (Present(path)) return false;
  return PlaceNewFile(path, data, sync, {});
}

bool StoreChange::PlaceNewFile(const std::string& path, std::string_view data, bool sync,
                               const std::string& from) {
  std::string temp;
  const int fd = OpenTemporaryBeside(path, &temp);
  if (fd < 0) {
    error_ = SystemReason(errno);
    return false;
  }
  bool ok = WriteAll(fd, data) && (!sync || ::fsync(fd) == 0);
  if (!ok) error_ = SystemReason(errno);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error_ = SystemReason(errno);
  }
  if (!ok || !Journal({DiskStep::Kind::CreatedFile, from, path, ContentHashOfData(data)}, sync)) {
    ::unlink(temp.c_str());
    return false;
  }
  if (!RenameNoReplace(temp, path)) {
    error_ = SystemReason(errno);
    ::unlink(temp.c_str());
    return false;
  }
  Stepped(journal_);
  return true;
}

bool StoreChange::Rename(const std::string& from, const std::string& to) {
  if (!Present(from) || Present(to)) return false;
  if (!Journal({DiskStep::Kind::Renamed, from, to, {}})) return false;
  if (!RenameNoReplace(from, to)) {
    error_ = SystemReason(errno);
    return false;
  }
  Stepped(journal_);
  return true;
}

bool StoreChange::SetAside(const std::string& path) {
  if (deletedFiles_.empty()) {
    const std::string dir = MakeDeletedFilesDirectory(doc_.GetPath());
    if (dir.empty()) return false;
    // Made before it is journaled (its name is chosen by the making): a kill in between leaves
    // an empty directory, which the next open removes.
    if (!Journal({DiskStep::Kind::MadeDirectory, {}, dir, {}})) {
      ::rmdir(dir.c_str());
      return false;
    }
    deletedFiles_ = dir;
  }
  const std::string to =
      keepDeleted_ ? JoinPath(deletedFiles_, FileNameOf(path))
                   : JoinPath(deletedFiles_,
                              std::to_string(journal_.Steps().size()) + "-" + FileNameOf(path));
  return Rename(path, to);
}

bool StoreChange::DeleteInPlace(const std::string& path) {
  if (!forward_) {
    forward_ = true;
    Rewrite();
    if (journalFailed_) {
      forward_ = false;
      return false;
    }
  }
  if (!Journal({DiskStep::Kind::Removed, path, {}, {}})) return false;
  // Only a deletion that took something is for good; one that could take nothing (a read-only
  // file system) is undone like any other step.
  const std::size_t before = EntriesBelow(path);
  if (IsDirectory(path) && !fs::is_symlink(path)) {
    DeleteDirectoryTree(path);
  } else if (::unlink(path.c_str()) != 0) {
    error_ = SystemReason(errno);
  }
  const bool gone = !Present(path);
  if (gone || EntriesBelow(path) < before) deletedForGood_ = true;
  if (!gone && error_.empty()) {
    // Ask the file system why (deleting again what is left gives the reason).
    if (::rmdir(path.c_str()) != 0) error_ = SystemReason(errno);
  }
  Stepped(journal_);
  return gone;
}

void StoreChange::OnUndo(std::function<void()> undo) { undo_.push_back(std::move(undo)); }

void StoreChange::UndoDocument() {
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    try {
      (*it)();
    } catch (const std::exception&) {
      // A node that cannot be put back: the rest still goes back.
    }
  }
  undo_.clear();
}

bool StoreChange::Save() {
  if (StepHook()) StepHook()(static_cast<int>(journal_.Steps().size()));
  if (begun_) journal_.SyncSteps();
  finished_ = true;
  if (doc_.Save()) {
    if (StepHook()) StepHook()(static_cast<int>(journal_.Steps().size()));
    if (begun_) journal_.Commit();
    if (!deletedFiles_.empty() && !keepDeleted_) {
      std::error_code ec;
      fs::remove_all(deletedFiles_, ec);
      SyncDirectory(DirectoryOf(deletedFiles_));
    }
    return true;
  }
  // A delete that deleted for good cannot come back: the journal lets the next open finish it.
  if (deletedForGood_) return false;
  UndoDocument();
  if (begun_) journal_.Undo();
  return false;
}

void StoreChange::Abandon() {
  if (finished_) return;
  finished_ = true;
  if (deletedForGood_) return;
  UndoDocument();
  if (begun_) journal_.Undo();
}

}  // namespace zorbek
