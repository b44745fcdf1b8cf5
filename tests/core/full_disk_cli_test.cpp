// Every changing command of zorbek-cli on a full disk and on read-only directories: it exits 1
// with the save message, which names the system's reason, and the database and the note store
// stay byte for byte as they were.
//
// The database lies on a small tmpfs of its own, mounted in a private mount namespace (as root,
// or as root of a user namespace of our own where the kernel allows one); elsewhere the tests
// are skipped. Each test runs in a child process that owns the namespace, so that the rest of
// the test program keeps its own mounts and privileges.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "core/io/file_util.h"
#include "support/ramulo_data.h"
#include "support/temp_dir.h"

namespace zorbek {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;
using testing::WriteFile;

constexpr std::uint64_t kKiB = 1024;

bool WriteProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// Moves this process into a mount namespace of its own, where mounts are seen by it and its
// children only, and checks that a tmpfs can be mounted there. Empty when done, else why not.
std::string EnterPrivateMountNamespace() {
  if (::unshare(CLONE_NEWNS) != 0) {
    // Without the privilege: a user namespace in which this user is root.
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
      return std::string("no mount namespace: ") + std::strerror(errno);
    if (!WriteProcFile("/proc/self/setgroups", "deny") ||
        !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return std::string("no user namespace mapping: ") + std::strerror(errno);
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("mounts cannot be made private: ") + std::strerror(errno);
  TempDir probe("zorbek-mount-probe");
  if (::mount("tmpfs", probe.path().c_str(), "tmpfs", 0, "size=64k") != 0)
    return std::string("no tmpfs can be mounted: ") + std::strerror(errno);
  ::umount2(probe.path().c_str(), MNT_DETACH);
  return {};
}

// Writes the failed assertions of a child process to a pipe, for its parent to report.
class FailuresToPipe : public ::testing::EmptyTestEventListener {
 public:
  explicit FailuresToPipe(int fd) : fd_(fd) {}
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (!result.failed()) return;
    Send('F', std::string(result.file_name() ? result.file_name() : "") + "\n" +
                  std::to_string(result.line_number()) + "\n" + result.message());
  }
  void Send(char kind, const std::string& text) const {
    const std::uint32_t size = static_cast<std::uint32_t>(text.size());
    std::string record(1, kind);
    record.append(reinterpret_cast<const char*>(&size), sizeof size);
    record += text;
    for (std::size_t at = 0; at < record.size();) {
      const ssize_t n = ::write(fd_, record.data() + at, record.size() - at);
      if (n <= 0) return;
      at += static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
};

// Runs body in a child process inside a private mount namespace and reports its failures
// here. Returns why no namespace could be had (the caller skips the test), else empty.
std::string InPrivateMountNamespace(const std::function<void()>& body) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return "no pipe";
  const pid_t pid = ::fork();
  if (pid < 0) return "no child process";
  if (pid == 0) {
    ::close(fds[0]);
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());  // the parent prints
    auto* pipe = new FailuresToPipe(fds[1]);
    listeners.Append(pipe);
    if (const std::string why = EnterPrivateMountNamespace(); !why.empty()) {
      pipe->Send('S', why);
      ::_exit(0);
    }
    try {
      body();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "exception: " << e.what();
    }
    ::_exit(0);  // never on into the parent's other tests
  }
  ::close(fds[1]);
  std::string data, chunk(4096, '\0');
  for (ssize_t n; (n = ::read(fds[0], chunk.data(), chunk.size())) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    data.append(chunk.data(), static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::string skipped;
  for (std::size_t at = 0; at + 5 <= data.size();) {
    const char kind = data[at];
    std::uint32_t size = 0;
    std::memcpy(&size, data.data() + at + 1, sizeof size);
    const std::string text = data.substr(at + 5, size);
    at += 5 + size;
    if (kind == 'S') {
      skipped = text;
      continue;
    }
    const std::size_t a = text.find('\n'), b = text.find('\n', a + 1);
    ADD_FAILURE_AT(text.substr(0, a).c_str(), std::atoi(text.substr(a + 1, b - a - 1).c_str()))
        << text.substr(b + 1);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    ADD_FAILURE() << "the test's child process ended abnormally (status " << status << ")";
  return skipped;
}

// A 2 MiB tmpfs at a directory, with the bind mounts made on it; all undone at the end.
class SmallDisk {
 public:
  explicit SmallDisk(std::string at) : at_(std::move(at)) {
    fs::create_directories(at_);
    if (::mount("tmpfs", at_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m,mode=0755") != 0)
      error_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    else
      mounts_.push_back(at_);
  }
  ~SmallDisk() {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  const std::string& error() const { return error_; }

  // The whole file system read-only, as a disk remounted read-only after an error.
  bool MakeReadOnly() {
    return ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  // The directory made writable on its own (a bind mount onto itself) before the rest of the
  // disk is made read-only with MakeOnlyReadOnly, or made read-only itself.
  bool Separate(const std::string& dir) {
    if (::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    mounts_.push_back(dir);
    return true;
  }
  // One mount of the disk (the whole disk, or a directory given to Separate) read-only.
  static bool MakeMountReadOnly(const std::string& dir) {
    return ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
  }

  std::uint64_t Free() const {
    struct statvfs s {};
    if (::statvfs(at_.c_str(), &s) != 0) return 0;
    return static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
  }

  // Fills the disk with a file until only `leave` bytes are free (0: until nothing more fits).
  void Fill(const std::string& filler, std::uint64_t leave) {
    const std::uint64_t free = Free();
    std::uint64_t toWrite = leave == 0 ? UINT64_MAX : (free > leave ? free - leave : 0);
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string chunk(64 * kKiB, 'f');
    while (toWrite > 0) {
      const ssize_t n = ::write(fd, chunk.data(), std::min<std::uint64_t>(chunk.size(), toWrite));
      if (n <= 0) break;
      toWrite -= static_cast<std::uint64_t>(n);
    }
    ::close(fd);
  }

 private:
  std::string at_;
  std::vector<std::string> mounts_;
  std::string error_;
};

// What lies under a directory: every path (relative), "dir" or the file's bytes.
std::map<std::string, std::string> Listing(const std::string& root, const std::string& skip) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string rel = it->path().string().substr(root.size() + 1);
    if (rel == skip) continue;
    if (it->is_symlink()) out[rel] = "link " + fs::read_symlink(it->path()).string();
    else if (it->is_directory()) out[rel] = "dir";
    else out[rel] = "file " + ReadFile(it->path().string());
  }
  return out;
}

// The differences between two listings, one line each (the first few); empty when equal.
std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after) {
  auto describe = [](const std::string& v) {
    return v.rfind("file ", 0) == 0 ? "file of " + std::to_string(v.size() - 5) + " bytes" : v;
  };
  std::vector<std::string> lines;
  for (const auto& [path, v] : before) {
    const auto it = after.find(path);
    if (it == after.end()) lines.push_back("gone: " + path + " (" + describe(v) + ")");
    else if (it->second != v)
      lines.push_back("changed: " + path + " (" + describe(v) + " -> " + describe(it->second) + ")");
  }
  for (const auto& [path, v] : after)
    if (!before.count(path)) lines.push_back("new: " + path + " (" + describe(v) + ")");
  std::string out;
  for (std::size_t i = 0; i < lines.size() && i < 12; ++i) out += lines[i] + "\n";
  if (lines.size() > 12) out += "and " + std::to_string(lines.size() - 12) + " more\n";
  return out;
}

// A legacy data set whose converted notes cannot fit in what a full disk leaves, even once the
// notes they replace are gone.
std::vector<testing::RamuloNode> LargeLegacySet() {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "旧笔记的正文，";
  std::vector<testing::RamuloNode> nodes;
  for (int f = 0; f < 3; ++f) {
    nodes.push_back({0, "旧目录" + std::to_string(f), "d" + std::to_string(f), text});
    for (int n = 0; n < 12; ++n) {
      const std::string stem = "n" + std::to_string(f) + "_" + std::to_string(n);
      nodes.push_back({1, "旧笔记" + std::to_string(n), stem, text + stem});
    }
  }
  return nodes;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string WithoutFullStop(std::string text) {
  const std::string stop = "。";
  if (text.size() >= stop.size() && text.compare(text.size() - stop.size(), stop.size(), stop) == 0)
    text.resize(text.size() - stop.size());
  return text;
}

// One changing command. In the arguments, DB, LEGACY, FILES and ID stand for the database,
// the legacy data set, the directory of files to import and the reminder's id.
struct Case {
  std::string name;
  std::vector<std::string> args;
  bool store;  // it takes a step in the note store
  // What the command may say instead of the save message when its own disk step fails (the
  // save message is always right).
  std::vector<std::string> ownMessages;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> Cases() {
  const std::vector<std::string> copy = {"文件复制失败", "文件复制出错"};
  return {
      {"NewNote", {"new-note", "工作/计划"}, true, {"无法新建文件。"}},
      {"NewFolder", {"new-folder", "工作"}, true, {"无法新建文件夹。"}},
      {"RenameNote", {"rename", "工作/计划", "计划二"}, true, {"所请求修改的文件或文件夹不存在。"}},
      {"RenameFolder", {"rename", "工作", "工作二"}, true, {"所请求修改的文件或文件夹不存在。"}},
      {"Paste", {"paste", "工作/计划", "生活"}, true, copy},
      {"DeleteNote", {"delete", "工作/会议"}, true, {"删除文件出错"}},
      {"DeleteFolder", {"delete", "生活"}, true, {"删除文件出错"}},
      {"DragNoteIntoFolder", {"drag", "工作/计划", "生活"}, true, {"移动文件失败"}},
      {"DragFolderIntoFolder", {"drag", "生活", "工作/子目录"}, true, {"移动文件失败"}},
      {"MoveUp", {"move", "工作/计划", "up"}, false, {}},
      {"MoveDown", {"move", "生活", "down"}, false, {}},
      {"Sort", {"sort", "排序", "mixed"}, false, {}},
      {"Open", {"open", "工作/计划"}, false, {}},
      {"ImportRtfAndText", {"import", "工作", "FILES/文章.rtf", "FILES/清单.txt"}, true, copy},
      {"DropNoteFile", {"drop", "生活", "FILES/随笔.esr"}, true, copy},
      {"ConvertLegacyReplacing", {"convert-ramulo", "--replace", "LEGACY", "DB"}, true, {}},
      {"ReminderAdd", {"reminder-add", "--mode", "1", "--time", "09:30:00", "喝水"}, false, {}},
      {"ReminderModify", {"reminder-modify", "ID", "--time", "07:00:00", "早起"}, false, {}},
      {"ReminderDelete", {"reminder-delete", "ID"}, false, {}},
  };
}

class FullDiskCliTest : public ::testing::TestWithParam<Case> {
 protected:
  int Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", db_});
    return RunCli(args, &out_, &err_);
  }

  // A database of some size (a save must not fit in what is left free, even after a delete
  // frees a folder's pages), its store, a reminder, and the files to import.
  void MakeNotebook() {
    std::string xml = "<list><hotkey/><filetree><archive>";
    xml += "<工作 type=\"dir\"><会议 type=\"esr\"/><计划 type=\"esr\"/><子目录 type=\"dir\">"
           "<甲 type=\"esr\"/></子目录></工作>";
    xml += "<生活 type=\"dir\"><乙 type=\"esr\"/><丙 type=\"esr\"/></生活>";
    xml += "<排序 type=\"dir\"><c type=\"esr\"/><b type=\"esr\"/><a type=\"esr\"/></排序>";
    WriteFile(store_ + "/工作/会议.esr", "{\\rtf1\\ansi 周一例会}");
    WriteFile(store_ + "/工作/计划.esr", "{\\rtf1\\ansi 明年的计划}");
    WriteFile(store_ + "/工作/子目录/甲.esr", "{\\rtf1\\ansi 甲}");
    WriteFile(store_ + "/生活/乙.esr", "{\\rtf1\\ansi 乙}");
    WriteFile(store_ + "/生活/丙.esr", "");
    for (const char* n : {"a", "b", "c"}) WriteFile(store_ + "/排序/" + n + ".esr", "");
    // Many empty notes: their elements weigh in the database, their files take no space.
    xml += "<空白 type=\"dir\">";
    for (int f = 0; f < 40; ++f) {
      const std::string folder = "空白目录" + std::to_string(f);
      xml += "<" + folder + " type=\"dir\">";
      fs::create_directories(store_ + "/空白/" + folder);
      for (int n = 0; n < 100; ++n) {
        const std::string note = "空白笔记" + std::to_string(n);
        xml += "<" + note + " type=\"esr\"/>";
        WriteFile(store_ + "/空白/" + folder + "/" + note + ".esr", "");
      }
      xml += "</" + folder + ">";
    }
    xml += "</空白></archive></filetree></list>";
    WriteFile(db_, xml);
    // The command line writes the database in its own form, with a reminder to change.
    ASSERT_EQ(Cli({"reminder-add", "--mode", "2", "--weekday", "1", "--time", "08:00:00", "周会"}),
              0) << err_;
    reminderId_ = out_.substr(0, out_.find('\n'));
    ASSERT_GT(fs::file_size(db_), 100 * kKiB);

    WriteFile(files_ + "/文章.rtf", "{\\rtf1\\ansi 一篇文章}");
    WriteFile(files_ + "/清单.txt", "第一项\n第二项\n");
    WriteFile(files_ + "/随笔.esr", "{\\rtf1\\ansi 随笔}");
    if (!fs::exists(legacy_)) testing::WriteRamuloSet(legacy_, LargeLegacySet());
  }

  std::vector<std::string> Arguments(const Case& c) const {
    std::vector<std::string> args;
    for (std::string a : c.args) {
      if (a == "DB") a = mount_;
      else if (a == "LEGACY") a = legacy_;
      else if (a == "ID") a = reminderId_;
      else if (a.rfind("FILES/", 0) == 0) a = files_ + a.substr(5);
      args.push_back(a);
    }
    return args;
  }

  // Runs the command and checks that it refused for the reason, and that nothing changed.
  void ExpectRefusedAndUnchanged(const Case& c, int reason) {
    const auto before = Listing(mount_, kFiller);
    const int status = Cli(Arguments(c));
    EXPECT_EQ(status, 1) << "out: " << out_ << "err: " << err_;
    const std::string saveMessage = "请检查文件路径是否存在：";
    bool named = Count(err_, saveMessage) == 1;
    // A command that adds several files may refuse each of them.
    for (const std::string& own : c.ownMessages) named = named || Count(err_, own) >= 1;
    EXPECT_TRUE(named) << "neither the save message (once) nor the command's own: " << err_;
    EXPECT_NE(err_.find(WithoutFullStop(SystemReason(reason))), std::string::npos)
        << "the reason is not named: " << err_;
    const std::string changes = Differences(before, Listing(mount_, kFiller));
    EXPECT_TRUE(changes.empty()) << changes;
  }

  static constexpr const char* kFiller = "filler";
  TempDir dir_{"zorbek 满盘"};
  std::string mount_ = dir_ / "笔记 盘";
  std::string db_ = mount_ + "/Zorbek.xml";
  std::string store_ = mount_ + "/Zorbek/archive";
  std::string files_ = dir_ / "外面";
  std::string legacy_ = dir_ / "旧笔记";
  std::string reminderId_;
  std::string out_, err_;
};

// The disk fills up at various points of the command: with nothing left, the first write
// fails; with a page or 64 KiB left, a note's file fits and the database does not.
TEST_P(FullDiskCliTest, FullDisk) {
  const Case& c = GetParam();
  // Without a step in the store, how much is left makes no difference to the command.
  const std::vector<std::uint64_t> levels =
      c.store ? std::vector<std::uint64_t>{0, 4 * kKiB, 64 * kKiB} : std::vector<std::uint64_t>{4 * kKiB};
  const std::string skipped = InPrivateMountNamespace([&] {
    for (std::uint64_t leave : levels) {
      SCOPED_TRACE("free: " + std::to_string(leave) + " bytes");
      SmallDisk disk(mount_);
      ASSERT_EQ(disk.error(), "");
      MakeNotebook();
      if (HasFatalFailure()) return;
      disk.Fill(mount_ + "/" + kFiller, leave);
      EXPECT_LE(disk.Free(), leave + 4 * kKiB);
      ExpectRefusedAndUnchanged(c, ENOSPC);
    }
  });
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// Read-only: the whole disk; the database's directory but not the store; the store but not the
// database's directory (a command that changes only the database may go on then).
TEST_P(FullDiskCliTest, ReadOnly) {
  const Case& c = GetParam();
  const std::string skipped = InPrivateMountNamespace([&] {
    {
      SCOPED_TRACE("the whole file system read-only");
      SmallDisk disk(mount_);
      ASSERT_EQ(disk.error(), "");
      MakeNotebook();
      if (HasFatalFailure()) return;
      ASSERT_TRUE(disk.MakeReadOnly()) << std::strerror(errno);
      ExpectRefusedAndUnchanged(c, EROFS);
    }
    {
      SCOPED_TRACE("the database's directory read-only, the store writable");
      SmallDisk disk(mount_);
      MakeNotebook();
      if (HasFatalFailure()) return;
      ASSERT_TRUE(disk.Separate(mount_ + "/Zorbek")) << std::strerror(errno);
      ASSERT_TRUE(SmallDisk::MakeMountReadOnly(mount_)) << std::strerror(errno);
      ExpectRefusedAndUnchanged(c, EROFS);
    }
    if (c.store) {
      SCOPED_TRACE("the store read-only, the database's directory writable");
      SmallDisk disk(mount_);
      MakeNotebook();
      if (HasFatalFailure()) return;
      ASSERT_TRUE(disk.Separate(mount_ + "/Zorbek")) << std::strerror(errno);
      ASSERT_TRUE(SmallDisk::MakeMountReadOnly(mount_ + "/Zorbek")) << std::strerror(errno);
      ExpectRefusedAndUnchanged(c, EROFS);
    }
  });
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

INSTANTIATE_TEST_SUITE_P(EveryChangingCommand, FullDiskCliTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// A conversion into a new directory on a full or read-only disk leaves no database and no
// note behind.
TEST(FullDiskConvertTest, NewTargetLeavesNothing) {
  TempDir dir{"zorbek 满盘"};
  const std::string mount = dir / "盘", target = mount + "/新笔记";
  testing::WriteRamuloSet(dir / "旧", LargeLegacySet());
  const std::string skipped = InPrivateMountNamespace([&] {
    for (int variant = 0; variant < 3; ++variant) {
      SCOPED_TRACE(variant == 0 ? "full" : variant == 1 ? "a page free" : "read-only");
      SmallDisk disk(mount);
      ASSERT_EQ(disk.error(), "");
      if (variant < 2) disk.Fill(mount + "/filler", variant == 0 ? 0 : 4 * kKiB);
      else ASSERT_TRUE(disk.MakeReadOnly());
      std::string out, err;
      EXPECT_EQ(RunCli({"convert-ramulo", dir / "旧", target}, &out, &err), 1) << out;
      EXPECT_NE(err.find(WithoutFullStop(SystemReason(variant < 2 ? ENOSPC : EROFS))),
                std::string::npos)
          << err;
      // Empty directories and the writer's lock file may stay; no database, journal or note.
      std::string files;
      std::error_code ec;
      for (auto it = fs::recursive_directory_iterator(target, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (!it->is_directory() && it->path().filename() != ".Zorbek.xml.lock")
          files += it->path().string() + "\n";
      EXPECT_EQ(files, "");
    }
  });
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

}  // namespace
}  // namespace zorbek
