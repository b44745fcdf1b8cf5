#include "core/app/install_layout.h"

#include <filesystem>

#include "core/io/file_util.h"

#ifndef ZORBEK_DATA_FROM_BINDIR
// The path of the data directory relative to the program directory; the build sets it from
// its install layout.
#define ZORBEK_DATA_FROM_BINDIR "../share/zorbek"
#endif

namespace zorbek {
namespace {
constexpr const char* kGuideName = "guide.html";

std::string Join(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  return dir.back() == '/' ? dir + std::string(name) : dir + "/" + std::string(name);
}
}  // namespace

std::string InstalledDataDirectory(std::string_view bindir) {
  std::filesystem::path dir = std::filesystem::path(std::string(bindir)) / ZORBEK_DATA_FROM_BINDIR;
  std::string out = dir.lexically_normal().generic_string();
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string UserGuidePath(std::string_view programPath) {
  std::string own = DirectoryOf(programPath);
  if (own.empty()) own = ".";
  const std::string beside = Join(own, kGuideName);
  if (IsRegularFile(beside)) return beside;
  const std::string installed = Join(InstalledDataDirectory(own), kGuideName);
  if (IsRegularFile(installed)) return installed;
  return beside;
}

}  // namespace zorbek
