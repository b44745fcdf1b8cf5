#include "core/db/database.h"

#include <cstdio>
#include <filesystem>

#include "core/app/clock.h"
#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"

namespace zorbek {
namespace {

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
  OpenedDatabase out;
  bool keptAside = false;
  {
    std::lock_guard lock(doc.Mutex());
    EnsureParentDirectories(path);
    out.status = LoadDatabaseReadOnly(doc, path);
    doc.SetWriteProtected(false);
    if (out.status == LoadStatus::Unparsable) {
      const std::string aside = KeptAsideName(path, "unreadable");
      keptAside = KeepAside(path, aside);
      if (keptAside) out.keptAs = aside;
      else doc.SetWriteProtected(true);
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
  // The user is told with the document's lock released.
  if (out.status == LoadStatus::Unparsable) {
    if (keptAside)
      prompts().Message(KeptAsideMessage(out.keptAs), MsgButtons::Ok, MsgIcon::Warning);
    else
      prompts().Message(FormatMessage("数据库文件无法读取，也无法另存。为保护原文件，本次运行不会"
                                      "写入：\n%s",
                                      path),
                        MsgButtons::Ok, MsgIcon::Error);
  }
  if (!out.saved) prompts().Message(SaveFailedMessage(path), MsgButtons::Ok, MsgIcon::Warning);
  return out;
}

}  // namespace zorbek
