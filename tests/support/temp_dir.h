// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes away.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorbek::testing {

class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "zorbek-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string operator/(std::string_view relative) const;

 private:
  std::string path_;
};

// Writes a file (creating its directories) and reads one; the tests' own small helpers.
void WriteFile(const std::string& path, std::string_view data);
std::string ReadFile(const std::string& path);

// Runs zorbek-cli with the arguments; returns the exit status and fills out/err.
int RunCli(const std::vector<std::string>& args, std::string* out = nullptr,
           std::string* err = nullptr, std::string_view input = {});
// The same for another program (a copy of zorbek-cli somewhere else).
int RunProgram(const std::string& program, const std::vector<std::string>& args,
               std::string* out = nullptr, std::string* err = nullptr,
               std::string_view input = {});

}  // namespace zorbek::testing
