// What the link dialog makes of what the user typed: a web, mail or FTP address, or a file,
// which may be copied into the FileStore directory so that the link keeps working when the
// file moves.
#pragma once

#include <string>
#include <string_view>

#include "core/app/clock.h"

namespace zorbek::editor {

// The kind the user chose in the dialog.
enum class LinkKind { Auto, File, Web, Mail, Ftp };

struct LinkDecision {
  // Done: target is the link's target. File: the file rule applies to filePath.
  enum class Step { Done, File } step = Step::Done;
  std::string target;
  std::string filePath;
  // Whether the content named the file with "localfile:" (which question the rule asks).
  bool localFile = false;
};

// The first rule that applies to the content (not empty):
// 1. it contains "mailto:", "ftp://", "http://" or "www." in any letter case: the content in
//    lower case;
// 2. it holds "@" after its first character and its first "." after that: "mailto:" and the
//    content in lower case;
// 3. it contains "localfile:": the file rule for what follows it;
// 4. "文件" or "自动" chosen: the file rule for the content;
// 5.-7. "邮箱", "FTP", "网址": "mailto:", "ftp://" or "http://" and the content in lower case.
// File paths keep their letter case: on this system two paths that differ in case name two
// files.
LinkDecision DecideLink(std::string_view content, LinkKind kind);

// The file rule's plan for one file.
struct StorePlan {
  // The file lies in the store already: target is set and nothing is asked or copied.
  bool inStore = false;
  std::string target;       // "localfile:" and the name in the store (when inStore)
  std::string destination;  // the free path in the store to copy to
  std::string storeName;    // its name
  std::string question;     // what the user is asked before the copy
};

// The store path of a file is the store directory and the file's name. A file already there
// (the same path, letters compared without regard to case, "\" and "/" equal) is linked by its
// name. Otherwise its name is taken when it is free in the store, else the name followed by
// "_" and the date and time of `now` (YYYYMMDDhhmmss), else that followed by "_1", "_2", ...
StorePlan PlanStoreCopy(std::string_view filePath, std::string_view storeDirectory,
                        const SystemTime& now, bool localFile);

// Copies the file to plan.destination, creating the store directory as needed. It never
// replaces a file that is there. True when the copy is complete; otherwise nothing is left at
// the destination and *error (when given) says why.
bool CopyIntoStore(std::string_view filePath, const StorePlan& plan, std::string* error = nullptr);

inline constexpr const char* kLinkNoContent = "输入链接地址。";
inline constexpr const char* kLinkNoTitle = "输入主题";
inline constexpr const char* kLinkCopyToStoreQuestion = "复制文件到系统路径吗？";
inline constexpr const char* kLinkCopyFileQuestion = "复制原始文件：%s 至 %s 吗？";
inline constexpr const char* kLinkCopyFailed = "文件没有复制到系统路径，链接指向原来的文件：%s";
inline constexpr const char* kLinkTooLong = "链接地址太长，无法插入。";

}  // namespace zorbek::editor
