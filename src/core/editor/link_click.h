// What a click on a link in a note does. A note may come from anywhere (an imported .rtf can
// hold any link), so only what cannot start a program opens on one click: web and FTP
// addresses, mail addresses without attachments, and documents kept in the FileStore
// directory. Anything else is shown in full and opened only when the user agrees, and then by
// the desktop's handler for it, never run by the program.
#pragma once

#include <string>
#include <string_view>

#include "core/editor/editor_text.h"

namespace zorbek::editor {

struct LinkClick {
  enum class Action {
    Open,        // open at once
    Ask,         // ask first (Question()), open only on Yes
    CannotOpen,  // names nothing that can be opened: tell the user (CannotOpenMessage())
  };
  enum class Reason {
    None,
    Program,           // an executable file, a script, a launcher (.desktop) or an installer
    OutsideFileStore,  // a file that does not lie in the FileStore directory
    OtherScheme,       // an address that is not http, https, ftp or mailto
    MailExtras,        // a mail address with attachments or other fields besides the text
    NoSuchFile,        // the file does not exist
    NoAddress,         // neither a file nor an address with a scheme (for example "--help")
  };
  Action action = Action::CannotOpen;
  Reason reason = Reason::NoAddress;
  // What is opened: an absolute file path (starting with "/"), or an address that starts with
  // its scheme. Neither can start with "-", so the desktop's opener never takes it for an
  // option.
  LinkTarget target;

  // The question asked before opening; it shows the whole target.
  std::string Question() const;
  // What the user is told when the link cannot be opened.
  std::string CannotOpenMessage() const;
};

// The decision for a click on a link whose text (a link field's target, or an address typed
// in the text) is linkText. "localfile:" names are resolved as ResolveLinkTarget does; a file
// counts as in the store when, with "..", "." and symbolic links resolved, it lies below
// fileStoreDirectory. "file:" addresses are files too.
LinkClick DecideLinkClick(std::string_view linkText, std::string_view fileStoreDirectory);

// Whether the regular file at path may start a program when the desktop opens it: its
// execute bits, its name (launchers, scripts, installers, Windows programs) or its first bytes
// ("#!", an ELF or a Windows program header, a desktop entry).
bool MayRunAProgram(const std::string& path);

inline constexpr const char* kAskOpenProgram =
    "这个链接指向一个程序、脚本或者启动器：\n%s\n\n打开它可能会运行其中的命令。仍然要打开吗？";
inline constexpr const char* kAskOpenOutsideStore =
    "这个链接指向FileStore目录以外的文件：\n%s\n\n仍然要打开吗？";
inline constexpr const char* kAskOpenOtherScheme =
    "这个链接不是网页、FTP或者邮件地址：\n%s\n\n它会交给系统中处理这种地址的程序。仍然要打开吗？";
inline constexpr const char* kAskOpenMailExtras =
    "这个邮件链接带有附件或者其他字段：\n%s\n\n仍然要打开吗？";
inline constexpr const char* kCannotOpenLinkFile = "无法打开文件：%s";
inline constexpr const char* kCannotOpenLinkAddress = "无法打开地址：%s";

}  // namespace zorbek::editor
