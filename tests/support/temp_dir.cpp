#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zorbek::testing {

TempDir::TempDir(std::string_view prefix) {
  std::string base = std::filesystem::temp_directory_path().string() + "/" + std::string(prefix) +
                     "-XXXXXX";
  if (!::mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  path_ = base;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only entries behind; make everything removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void WriteFile(const std::string& path, std::string_view data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int RunCli(const std::vector<std::string>& args, std::string* out, std::string* err,
           std::string_view input) {
  return RunProgram(ZORBEK_CLI_PATH, args, out, err, input);
}

int RunProgram(const std::string& program, const std::vector<std::string>& args,
               std::string* out, std::string* err, std::string_view input) {
  TempDir io("zorbek-cli-io");
  const std::string inPath = io / "in", outPath = io / "out", errPath = io / "err";
  WriteFile(inPath, input);
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen(inPath.c_str(), "rb", stdin);
    std::freopen(outPath.c_str(), "wb", stdout);
    std::freopen(errPath.c_str(), "wb", stderr);
    std::vector<char*> argv;
    std::string exe = program;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    std::_Exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (out) *out = ReadFile(outPath);
  if (err) *err = ReadFile(errPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zorbek::testing
