// The built program, started as a user starts it: a copy in a fresh directory, headless.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "core/app/paths.h"
#include "support/temp_dir.h"

extern char** environ;

namespace zorbek {
namespace {
namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kFreshDatabase = "<list><hotkey/><filetree><archive/></filetree></list>";

// A copy of the program in a directory of its own, run by a user with a fresh home directory
// and a runtime directory of its own, so that its single-instance lock meets only the copies of
// this test.
class ProgramCopy {
 public:
  ProgramCopy() {
    const fs::path built = SiblingProgramPath(ZORBEK_CLI_PATH, "Zorbek");
    exe_ = dir_ / "Zorbek";
    if (!fs::exists(built)) throw std::runtime_error("build the program first: " + built.string());
    std::error_code ec;
    fs::create_hard_link(built, exe_, ec);
    if (ec) fs::copy_file(built, exe_);
    fs::create_directories(runtime_ / "run");
    fs::permissions(runtime_ / "run", fs::perms::owner_all, fs::perm_options::replace);
  }
  ~ProgramCopy() {
    for (pid_t pid : running_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  const TempDir& dir() const { return dir_; }
  const TempDir& home() const { return home_; }
  // Where the program keeps its files: the user's data directory.
  std::string data() const { return home_ / ".local/share/Zorbek"; }

  // Sets a variable of the next starts' environment ("NAME=value").
  void SetEnv(std::string v) { extraEnv_.push_back(std::move(v)); }

  pid_t Start() {
    const int n = static_cast<int>(started_++);
    const std::string out = dir_ / ("out" + std::to_string(n) + ".txt");
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      bool dropped = false;
      for (const char* name : {"QT_QPA_PLATFORM=", "XDG_RUNTIME_DIR=", "HOME=", "XDG_DATA_HOME=",
                               "XDG_CONFIG_HOME="})
        dropped = dropped || v.rfind(name, 0) == 0;
      if (!dropped) env.push_back(v);
    }
    for (const auto& v : extraEnv_) env.push_back(v);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("HOME=" + home_.path());
    env.push_back("XDG_RUNTIME_DIR=" + (runtime_ / "run"));
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::freopen(out.c_str(), "wb", stdout);
      std::freopen(out.c_str(), "ab", stderr);
      std::vector<char*> envp;
      for (auto& v : env) envp.push_back(v.data());
      envp.push_back(nullptr);
      std::string path = exe_;
      char* argv[] = {path.data(), nullptr};
      ::execve(path.c_str(), argv, envp.data());
      std::_Exit(127);
    }
    running_.push_back(pid);
    return pid;
  }

  // The exit status, or -1 when it did not end in time (or ended by a signal).
  int Wait(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(running_, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  bool Running(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
  }
  int Terminate(pid_t pid, int sig = SIGTERM) {
    ::kill(pid, sig);
    return Wait(pid);
  }
  std::string Output() const {
    std::string all;
    for (std::size_t i = 0; i < started_; ++i) all += ReadFile(dir_ / ("out" + std::to_string(i) + ".txt"));
    return all;
  }

 private:
  TempDir dir_{"zorbek-program"};
  TempDir home_{"zorbek-home"};
  TempDir runtime_{"zorbek-runtime"};
  std::string exe_;
  std::vector<pid_t> running_;
  std::vector<std::string> extraEnv_;
  std::size_t started_ = 0;
};

// Waits until the predicate holds (the program is slow to start under the sanitizers).
template <typename P>
bool WaitFor(P p, std::chrono::seconds limit = std::chrono::seconds(60)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (p()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// The program has opened its database (and so holds the lock): the file is there and whole.
bool DatabaseWritten(const std::string& path) {
  return fs::exists(path) && ReadFile(path).find("</list>") != std::string::npos;
}

TEST(Startup, SecondCopyLeavesAtOnceAndTheFirstRunsOn) {
  ProgramCopy program;
  const std::string db = program.data() + "/Zorbek.xml";
  const pid_t first = program.Start();
  ASSERT_TRUE(WaitFor([&] { return DatabaseWritten(db); })) << program.Output();
  const pid_t second = program.Start();
  EXPECT_EQ(program.Wait(second, std::chrono::seconds(30)), 0) << program.Output();
  EXPECT_TRUE(program.Running(first));
  EXPECT_EQ(program.Terminate(first), 0) << program.Output();
  EXPECT_EQ(ReadFile(db), kFreshDatabase);
  // Nothing is written beside the program file, which is all its directory holds.
  for (const auto& e : fs::directory_iterator(program.dir().path())) {
    const std::string name = e.path().filename();
    EXPECT_TRUE(name == "Zorbek" || name.rfind("out", 0) == 0) << name;
  }
}

TEST(Startup, LockOfACrashedCopyDoesNotBlockTheNextStart) {
  ProgramCopy program;
  const pid_t crashed = program.Start();
  ASSERT_TRUE(WaitFor([&] { return DatabaseWritten(program.data() + "/Zorbek.xml"); }));
  EXPECT_EQ(program.Terminate(crashed, SIGKILL), -1);
  // The next copy opens another database, which shows that it got past the lock.
  WriteFile(program.data() + "/Zorbek.ini", "[Project]\nWorkPath=" + (program.dir() / "b.xml") + "\n");
  const pid_t next = program.Start();
  EXPECT_TRUE(WaitFor([&] { return DatabaseWritten(program.dir() / "b.xml"); })) << program.Output();
  EXPECT_EQ(program.Terminate(next, SIGINT), 0) << program.Output();
}

TEST(Startup, WorkPathToAMissingFileStartsAnEmptyDatabaseThere) {
  ProgramCopy program;
  fs::create_directories(program.dir() / "我的 数据");
  const std::string db = program.dir() / "我的 数据/笔记.xml";
  fs::create_directories(program.data());
  WriteFile(program.data() + "/Zorbek.ini", "[Project]\r\nWorkPath=" + db + "\r\n");
  const pid_t pid = program.Start();
  ASSERT_TRUE(WaitFor([&] { return DatabaseWritten(db); })) << program.Output();
  EXPECT_EQ(program.Terminate(pid, SIGHUP), 0) << program.Output();
  EXPECT_EQ(ReadFile(db), kFreshDatabase);
  EXPECT_FALSE(fs::exists(program.data() + "/Zorbek.xml"));
  EXPECT_FALSE(fs::exists(program.dir() / "Zorbek.xml"));
}

TEST(Startup, UnreadableDatabaseSurvivesUnderANewNameWhenTheProgramIsTerminated) {
  ProgramCopy program;
  const std::string corrupt = "<list><filetree><archive><重要 type=\"esr\"></archive>";
  fs::create_directories(program.data());
  WriteFile(program.data() + "/Zorbek.xml", corrupt);
  const pid_t pid = program.Start();
  std::string keptAs;
  // The program tells the user and waits for the message to be read; the file is aside by then.
  ASSERT_TRUE(WaitFor([&] {
    for (const auto& e : fs::directory_iterator(program.data()))
      if (e.path().filename().string().rfind("Zorbek.xml.unreadable-", 0) == 0) keptAs = e.path();
    return !keptAs.empty();
  })) << program.Output();
  EXPECT_EQ(program.Terminate(pid), 0) << program.Output();
  EXPECT_EQ(ReadFile(keptAs), corrupt);
  EXPECT_EQ(ReadFile(program.data() + "/Zorbek.xml"), kFreshDatabase);
}

}  // namespace
}  // namespace zorbek
