#include "core/db/database.h"

#include <cstdio>
#include <filesystem>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"

namespace zorbek {
namespace {

std::string AsideName(const std::string& path) {
  const SystemTime t = clock().LocalNow();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  std::string base = path + ".unreadable-" + stamp;
  std::string name = base;
  for (int n = 1; PathExists(name); ++n) name = base + "-" + std::to_string(n);
  return name;
}

bool KeepAside(const std::string& path, const std::string& aside) {
  std::error_code ec;
  std::filesystem::rename(path, aside, ec);
  if (!ec) return true;
  const auto bytes = ReadWholeFile(path);
  return bytes && WriteFileAtomically(aside, *bytes);
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

OpenedDatabase OpenDatabaseFile(CXmlDocument& doc, const std::string& path) {
  std::lock_guard lock(doc.Mutex());
  OpenedDatabase out;
  EnsureParentDirectories(path);
  out.status = LoadDatabaseReadOnly(doc, path);
  doc.SetWriteProtected(false);
  if (out.status == LoadStatus::Unparsable) {
    const std::string aside = AsideName(path);
    if (KeepAside(path, aside)) {
      out.keptAs = aside;
      prompts().Message(KeptAsideMessage(aside), MsgButtons::Ok, MsgIcon::Warning);
    } else {
      doc.SetWriteProtected(true);
      prompts().Message(FormatMessage("数据库文件无法读取，也无法另存。为保护原文件，本次运行不会"
                                      "写入：\n%s",
                                      path),
                        MsgButtons::Ok, MsgIcon::Error);
    }
  }
  doc.Select(kHotkeyPath, true);
  out.archive = doc.Select(kArchivePath, true);
  return out;
}

}  // namespace zorbek
