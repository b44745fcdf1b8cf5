#include "core/app/recovery.h"

#include <sys/stat.h>

#include <cstdio>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"

namespace zorbek {
namespace {

constexpr const char* kListName = ".unannounced";
constexpr const char* kRecoveredMessage =
    "上次程序被结束时，有笔记的修改还没有保存。这些内容已另存在：%s";

std::string ListPath(std::string_view base) { return JoinPath(RecoveryDirectory(base), kListName); }

// Characters a file name cannot hold, or that would split it, become "_".
std::string SafeFileName(std::string_view name) {
  std::string out;
  for (char c : name) out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
  if (out.empty() || out == "." || out == "..") out = "note";
  return out;
}

}  // namespace

std::string RecoveryDirectory(std::string_view base) {
  std::string dir = DirectoryOf(base);
  if (dir.empty()) dir = ".";
  return JoinPath(dir, "recovery");
}

std::optional<std::string> WriteRecoveryFile(std::string_view base, std::string_view noteName,
                                             std::string_view content) {
  const std::string dir = RecoveryDirectory(base);
  ::mkdir(dir.c_str(), 0700);
  if (!IsDirectory(dir)) return std::nullopt;
  const SystemTime t = clock().LocalNow();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  const std::string stem = SafeFileName(noteName) + stamp;
  std::string path = JoinPath(dir, stem + ".rtf");
  for (int n = 1; PathExists(path); ++n) path = JoinPath(dir, stem + "-" + std::to_string(n) + ".rtf");
  if (!WriteFileAtomically(path, content)) return std::nullopt;
  std::string list = ReadWholeFile(ListPath(base)).value_or("");
  list += path + "\n";
  WriteFileAtomically(ListPath(base), list);
  return path;
}

std::vector<std::string> TakeUnannouncedRecoveryFiles(std::string_view base) {
  const std::optional<std::string> list = ReadWholeFile(ListPath(base));
  std::vector<std::string> files;
  if (!list) return files;
  std::size_t start = 0;
  while (start < list->size()) {
    std::size_t end = list->find('\n', start);
    if (end == std::string::npos) end = list->size();
    const std::string path = list->substr(start, end - start);
    if (!path.empty() && PathExists(path)) files.push_back(path);
    start = end + 1;
  }
  std::remove(ListPath(base).c_str());
  return files;
}

std::string RecoveryMessage(std::string_view base, const std::vector<std::string>& files) {
  std::string where = RecoveryDirectory(base);
  for (const std::string& f : files) where += "\n" + FileNameOf(f);
  return FormatMessage(kRecoveredMessage, where);
}

}  // namespace zorbek
