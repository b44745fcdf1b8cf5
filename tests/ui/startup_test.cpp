// The built program, started as a user starts it: a copy in a fresh directory, headless.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "core/app/clock.h"
#include "core/app/paths.h"
#include "core/reminders/reminder_time.h"
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
    Copy(built, exe_);
    Copy(ZORBEK_CLI_PATH, cli_ = dir_ / "zorbek-cli");
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
  const std::string& cli() const { return cli_; }
  const TempDir& home() const { return home_; }
  // Where the program keeps its files: the user's data directory.
  std::string data() const { return home_ / ".local/share/Zorbek"; }

  // This process's environment with the program's own: a fresh home, a private runtime
  // directory, the offscreen platform, and more ("NAME=value") on top.
  std::vector<std::string> Environment(const std::vector<std::string>& more) const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      bool dropped = false;
      for (const char* name : {"QT_QPA_PLATFORM=", "XDG_RUNTIME_DIR=", "HOME=", "XDG_DATA_HOME=",
                               "XDG_CONFIG_HOME="})
        dropped = dropped || v.rfind(name, 0) == 0;
      if (!dropped) env.push_back(v);
    }
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("HOME=" + home_.path());
    env.push_back("XDG_RUNTIME_DIR=" + (runtime_ / "run"));
    for (const std::string& v : more) {
      const std::string name = v.substr(0, v.find('=') + 1);
      std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
      env.push_back(v);
    }
    return env;
  }

  // Starts the program with a user at its keyboard walking through scenario; what the user saw
  // goes to report.
  pid_t StartWithUser(const std::string& scenario, const std::string& report) {
    std::vector<std::string> env = {"LD_PRELOAD=" ZORBEK_E2E_DRIVER_PATH,
                                    "ZORBEK_E2E_SCENARIO=" + scenario, "ZORBEK_E2E_REPORT=" + report};
    // The sanitizer runtime is not first among the preloaded libraries then; that is fine.
    std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
    if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old) asan += std::string(":") + old;
    env.push_back(asan);
    return Start(env);
  }

  // Runs the copied zorbek-cli as the same user; its exit status.
  int Cli(const std::vector<std::string>& args, std::string* out) {
    const std::string outPath = dir_ / "cli-out.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
      std::freopen(outPath.c_str(), "wb", stdout);
      std::vector<std::string> env = Environment({});
      std::vector<char*> envp;
      for (auto& v : env) envp.push_back(v.data());
      envp.push_back(nullptr);
      std::vector<std::string> argv = {cli_};
      argv.insert(argv.end(), args.begin(), args.end());
      std::vector<char*> argp;
      for (auto& a : argv) argp.push_back(a.data());
      argp.push_back(nullptr);
      ::execve(cli_.c_str(), argp.data(), envp.data());
      std::_Exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (out) *out = ReadFile(outPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t Start(const std::vector<std::string>& more = {}) {
    const int n = static_cast<int>(started_++);
    const std::string out = dir_ / ("out" + std::to_string(n) + ".txt");
    std::vector<std::string> env = Environment(more);
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
  static void Copy(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    if (ec) fs::copy_file(from, to);
  }

  std::string exe_, cli_;
  std::vector<pid_t> running_;
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
  // Nothing is written beside the program file: its directory holds the two programs and
  // their output only.
  for (const auto& e : fs::directory_iterator(program.dir().path())) {
    const std::string name = e.path().filename();
    EXPECT_TRUE(name == "Zorbek" || name == "zorbek-cli" || name.rfind("out", 0) == 0) << name;
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

// The way a new user goes: no settings, the default database, a folder and a note made in the
// tree, a Chinese line typed and saved; at the next start everything is where it was left, and
// the command line sees the same database.
TEST(FirstDay, AFolderANoteAndALineSurviveTheNextStart) {
  ProgramCopy program;
  const std::string report = program.dir() / "report.txt";
  const pid_t first = program.StartWithUser("create", report);
  EXPECT_EQ(program.Wait(first, std::chrono::seconds(240)), 0) << ReadFile(report) << program.Output();
  EXPECT_EQ(ReadFile(report), "saved=1\n") << program.Output();
  EXPECT_FALSE(fs::exists(program.data() + "/Zorbek.ini") &&
               ReadFile(program.data() + "/Zorbek.ini").find("WorkPath") != std::string::npos);
  const std::string note = program.data() + "/Zorbek/archive/日记本/第一篇.esr";
  ASSERT_TRUE(fs::is_regular_file(note)) << program.Output();
  EXPECT_EQ(ReadFile(note).rfind("{\\rtf", 0), 0u);

  const pid_t second = program.StartWithUser("check", report);
  EXPECT_EQ(program.Wait(second, std::chrono::seconds(240)), 0) << ReadFile(report) << program.Output();
  EXPECT_EQ(ReadFile(report),
            "folder=日记本\nnote=第一篇\nfileBoxExpanded=1\nfolderExpanded=1\n"
            "text=今天下雪了，路上很滑。\n")
      << program.Output();

  std::string out;
  ASSERT_EQ(program.Cli({"tree"}, &out), 0);
  EXPECT_EQ(out, "日记本 [dir]\n  第一篇 [esr]\n");
  ASSERT_EQ(program.Cli({"text", note}, &out), 0);
  EXPECT_NE(out.find("今天下雪了，路上很滑。"), std::string::npos) << out;
}

TEST(FirstDay, AReminderDueAtStartPopsUpAndIsMarkedHandled) {
  ProgramCopy program;
  // A one-time reminder two minutes ago, in the database the program opens by default.
  SystemTime due = LocalTimeOf(clock().NowUnixMillis() - 120'000);
  due.second = 0;
  due.milliseconds = 0;
  const FileTimeHalves h = StoredHalves(due);
  const std::string id = "s0123456789abcdef0123456789abcdef";
  fs::create_directories(program.data());
  WriteFile(program.data() + "/Zorbek.xml",
            "<list><hotkey/><filetree><archive/><schedule><" + id + " mode=\"0\" lowtime=\"" +
                std::to_string(h.low) + "\" hightime=\"" + std::to_string(h.high) +
                "\" stoplowtime=\"" + std::to_string(h.low) + "\" stophightime=\"" +
                std::to_string(h.high) + "\" lulowtime=\"" + std::to_string(h.low) +
                "\" luhightime=\"" + std::to_string(h.high) + "\" valid=\"1\">三点开会</" + id +
                "></schedule></filetree></list>");

  const std::string report = program.dir() / "report.txt";
  std::vector<std::string> env = {"LD_PRELOAD=" ZORBEK_E2E_DRIVER_PATH, "ZORBEK_E2E_SCENARIO=reminder",
                                  "ZORBEK_E2E_REPORT=" + report};
  std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
  if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old) asan += std::string(":") + old;
  env.push_back(asan);
  const pid_t pid = program.Start(env);
  EXPECT_EQ(program.Wait(pid, std::chrono::seconds(240)), 0) << ReadFile(report) << program.Output();
  const std::string seen = ReadFile(report);
  char line1[64];
  std::snprintf(line1, sizeof line1, "%04d年%02d月%02d日 %02d时%02d分00秒", due.year, due.month,
                due.day, due.hour, due.minute);
  EXPECT_NE(seen.find(std::string("popup=时间：") + line1 + "||延时：00时0"), std::string::npos) << seen;
  EXPECT_NE(seen.find("||三点开会\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("dismissed=1\nrows=1\nasked=存在打开的窗口，决定退出程序吗？"), std::string::npos)
      << seen;
  // Marked handled in the file when it fired.
  const std::string file = ReadFile(program.data() + "/Zorbek.xml");
  EXPECT_NE(file.find("valid=\"0\""), std::string::npos) << file;
  EXPECT_EQ(file.find("valid=\"1\""), std::string::npos) << file;
}

// Ended while a note holds unsaved text (logout, SIGTERM): nobody can be asked, so the text goes
// to a recovery file outside the note store, and the next start says where.
TEST(FirstDay, TextUnsavedWhenTheProgramIsTerminatedIsKeptAndAnnounced) {
  ProgramCopy program;
  const std::string report = program.dir() / "report.txt";
  const pid_t first = program.StartWithUser("type-unsaved", report);
  ASSERT_TRUE(WaitFor([&] { return ReadFile(report) == "typed=1\n"; }, std::chrono::seconds(240)))
      << ReadFile(report) << program.Output();
  EXPECT_EQ(program.Terminate(first, SIGTERM), 0) << program.Output();
  const std::string note = program.data() + "/Zorbek/archive/日记本/第一篇.esr";
  EXPECT_EQ(ReadFile(note), "") << "the note itself keeps what was saved";
  std::vector<std::string> kept;
  for (const auto& e : fs::directory_iterator(program.data() + "/recovery"))
    if (e.path().extension() == ".rtf") kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(fs::path(kept[0]).filename().string().rfind("第一篇-", 0), 0u);
  std::string text;
  ASSERT_EQ(program.Cli({"text", kept[0]}, &text), 0);
  EXPECT_NE(text.find("今天下雪了，路上很滑。"), std::string::npos) << text;

  const pid_t second = program.StartWithUser("recovered", report);
  EXPECT_EQ(program.Wait(second, std::chrono::seconds(240)), 0) << ReadFile(report) << program.Output();
  const std::string told = ReadFile(report);
  EXPECT_NE(told.find(program.data() + "/recovery"), std::string::npos) << told;
  EXPECT_NE(told.find(fs::path(kept[0]).filename().string()), std::string::npos) << told;
  // Told once: nothing is left to announce, and the file stays where it was said to be.
  EXPECT_FALSE(fs::exists(program.data() + "/recovery/.unannounced"));
  EXPECT_TRUE(fs::exists(kept[0]));
}

// SIGTERM (as at logout) while the closing save cannot be written: nobody is there to answer a
// question, so the program ends at once and says why on standard error.
TEST(Startup, TerminatedWithAFailingClosingSaveEndsWithoutAQuestion) {
  ProgramCopy program;
  const pid_t pid = program.Start();
  const std::string db = program.data() + "/Zorbek.xml";
  ASSERT_TRUE(WaitFor([&] { return DatabaseWritten(db); })) << program.Output();
  // Where the database was, a directory: no save can replace it. The running program may put
  // its file back between the two steps when it notices it gone; then again.
  bool replaced = false;
  for (int tries = 0; tries < 50 && !replaced; ++tries) {
    std::error_code ec;
    fs::remove(db, ec);
    replaced = fs::create_directory(db, ec) && !ec;
    if (!replaced) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(replaced) << program.Output();
  EXPECT_EQ(program.Wait(pid, std::chrono::seconds(1)), -1);  // still running
  ::kill(pid, SIGTERM);
  EXPECT_EQ(program.Wait(pid, std::chrono::seconds(30)), 0) << program.Output();
  EXPECT_NE(program.Output().find("请检查文件路径是否存在"), std::string::npos) << program.Output();
}

// A slip of the keyboard at start: the file box has the focus, Delete asks, Enter confirms. Every
// note goes into the recycle bin, and the bin, opened from the toolbar, brings all of it back:
// the same tree, the same texts.
TEST(FirstDay, DeleteAndEnterOnTheFileBoxLoseNothing) {
  ProgramCopy program;
  const std::string store = program.data() + "/Zorbek/archive";
  fs::create_directories(program.data());
  WriteFile(program.data() + "/Zorbek.xml",
            "<list><hotkey/><filetree><archive state=\"expanded\"><日记本 type=\"dir\" "
            "state=\"expanded\"><第一篇 type=\"esr\" lasttime=\"1700000000\"/><第二篇 "
            "type=\"esr\"/></日记本><清单 type=\"esr\"/></archive></filetree></list>");
  WriteFile(store + "/日记本/第一篇.esr", "{\\rtf1\\ansi first}");
  WriteFile(store + "/日记本/第二篇.esr", "{\\rtf1\\ansi second}");
  WriteFile(store + "/清单.esr", "{\\rtf1\\ansi list}");
  std::string before;
  ASSERT_EQ(program.Cli({"tree"}, &before), 0);
  const std::string report = program.dir() / "report.txt";
  const pid_t pid = program.StartWithUser("slip", report);
  EXPECT_EQ(program.Wait(pid, std::chrono::seconds(240)), 0) << ReadFile(report) << program.Output();
  const std::string seen = ReadFile(report);
  EXPECT_NE(seen.find("current=文件箱\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("asked=确定删除选择的<文件箱>文件夹吗?\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("after=0\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("bin=文件箱（全部笔记）|文件箱|3\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("restored=2\n"), std::string::npos) << seen;
  std::string after;
  ASSERT_EQ(program.Cli({"tree"}, &after), 0);
  EXPECT_EQ(after, before);
  EXPECT_EQ(ReadFile(store + "/日记本/第一篇.esr"), "{\\rtf1\\ansi first}");
  EXPECT_EQ(ReadFile(store + "/清单.esr"), "{\\rtf1\\ansi list}");
  EXPECT_NE(ReadFile(program.data() + "/Zorbek.xml").find("<第一篇 type=\"esr\" lasttime=\"1700000000\"/>"),
            std::string::npos);
  std::string bin;
  ASSERT_EQ(program.Cli({"trash"}, &bin), 0);
  EXPECT_EQ(bin, "");
}

}  // namespace
}  // namespace zorbek
