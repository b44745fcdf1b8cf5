// zorbek-cli convert-ramulo LEGACYDIR TARGETDIR [--replace] [--use]: the notes of the older note
// program Ramulo converted into TARGETDIR/Zorbek.xml, as the program's conversion dialog does.
#ifdef ZORBEK_CLI_WITH_RTF

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <string>

#include "cli/command.h"
#include "cli/helper_commands.h"
#include "cli/rtf_engine.h"
#include "core/app/paths.h"
#include "core/app/prompts.h"
#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/legacy/ramulo_convert.h"

namespace {

int Run(zorbek::cli::Context& c) {
  using namespace zorbek;
  std::vector<std::string> dirs;
  bool replace = false, use = false;
  for (const auto& arg : c.args) {
    if (arg == "--replace") replace = true;
    else if (arg == "--use") use = true;
    else if (!arg.empty() && arg[0] != '-') dirs.push_back(arg);
    else return cli::UsageError("convert-ramulo");
  }
  if (dirs.size() != 2) return cli::UsageError("convert-ramulo");

  const RamuloFiles files = LocateRamuloFiles(dirs[0]);
  if (!files) return cli::Refuse(files.message);
  // The settings file names the database for the next start: it must not depend on where
  // this command ran.
  std::error_code ec;
  std::string targetDir = std::filesystem::absolute(dirs[1], ec).lexically_normal().string();
  if (ec) targetDir = dirs[1];
  const std::string target = JoinDirectoryFile(targetDir, kConvertedDatabaseName);
  const bool exists = PathExists(target);
  if (exists && !replace)
    return cli::Refuse("该指定目录下已经存在Zorbek.xml文件：" + target +
                       "\n加上 --replace 替换其中的笔记（提醒等其余数据保留）。");
  if (!EnsureParentDirectories(target)) {
    // The directory's own making says why (a read-only or full file system).
    const int error = ::mkdir(targetDir.c_str(), zorbek::kPrivateDirectoryMode) == 0 ? 0 : errno;
    return cli::Refuse(cli::WithReason(FormatMessage(kMsgWriteFailed, targetDir),
                                       SystemReason(error == 0 ? EIO : error)));
  }

  cli::EnsureRtfEngine();
  RamuloOptions options;
  options.treeFilesPath = files.treeFiles;
  options.treeStruPath = files.treeStru;
  options.targetPath = target;
  options.replaceStore = exists;
  const RamuloReport report = ConvertRamulo(options);
  if (!report.done) {
    if (report.message.empty()) return cli::kRefused;  // the message is on standard error
    return cli::Refuse(report.message);
  }
  if (const std::string notice = ConversionNotice(report); !notice.empty())
    std::cerr << notice << "\n";
  std::cout << ConversionSummary(report) << "\n";
  if (use) {
    CreateUserDataDirectory();  // the program may never have run for this user
    const UseOutcome used = UseConvertedDatabase(SettingsFilePath(c.programBase), target);
    if (!used.written) return cli::Refuse(used.message);
    std::cout << used.message << "\n";
  }
  return cli::kDone;
}

zorbek::cli::Register reg({zorbek::cli::HelperCommandText("convert-ramulo").name,
                           zorbek::cli::HelperCommandText("convert-ramulo").usage,
                           zorbek::cli::HelperCommandText("convert-ramulo").summary, Run});

}  // namespace

#endif  // ZORBEK_CLI_WITH_RTF
