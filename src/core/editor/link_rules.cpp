#include "core/editor/link_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/db/store_paths.h"
#include "core/io/file_util.h"
#include "core/text/cp936.h"

namespace zorbek::editor {
namespace {

constexpr std::string_view kLocalFile = "localfile:";

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// "%s" by "%s": each placeholder once, the arguments taken as they are.
std::string Format2(std::string_view pattern, std::string_view a, std::string_view b) {
  std::string out;
  std::string_view args[] = {a, b};
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (next < 2 && pattern.compare(i, 2, "%s") == 0) {
      out.append(args[next++]);
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

// Why a copy failed, in the program's words where they exist.
std::string CopyError(int code) {
  switch (code) {
    case EACCES:
    case EPERM: return "没有权限";
    case ENOSPC:
    case EDQUOT: return "磁盘空间不足";
    case EEXIST: return "目标文件已经存在";
    case EROFS: return "只读文件系统";
    case ENOENT: return "文件不存在";
    case 0: return "复制失败";
    default: return std::strerror(code);
  }
}

}  // namespace

LinkDecision DecideLink(std::string_view content, LinkKind kind) {
  LinkDecision d;
  const std::string lower = FoldLatinCase(content);
  for (std::string_view scheme : {"mailto:", "ftp://", "http://", "www."}) {
    if (Contains(lower, scheme)) {
      d.target = lower;
      return d;
    }
  }
  const std::size_t at = lower.find('@');
  const std::size_t dot = lower.find('.');
  if (at != std::string::npos && at > 0 && dot != std::string::npos && dot >= 2 && dot > at) {
    d.target = "mailto:" + lower;
    return d;
  }
  if (const std::size_t local = lower.find(kLocalFile); local != std::string::npos) {
    d.step = LinkDecision::Step::File;
    d.filePath = std::string(content.substr(local + kLocalFile.size()));
    d.localFile = true;
    return d;
  }
  switch (kind) {
    case LinkKind::Auto:
    case LinkKind::File:
      d.step = LinkDecision::Step::File;
      d.filePath = std::string(content);
      return d;
    case LinkKind::Mail: d.target = "mailto:" + lower; return d;
    case LinkKind::Ftp: d.target = "ftp://" + lower; return d;
    case LinkKind::Web: d.target = "http://" + lower; return d;
  }
  return d;
}

StorePlan PlanStoreCopy(std::string_view filePath, std::string_view storeDirectory,
                        const SystemTime& now, bool localFile) {
  StorePlan plan;
  const std::string fileName = FileNameOf(filePath);
  const std::size_t dot = fileName.rfind('.');
  const std::string name = dot == std::string::npos ? fileName : fileName.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : fileName.substr(dot);
  const std::string directory(storeDirectory);
  if (SamePath(filePath, JoinPath(directory, name + ext))) {
    plan.inStore = true;
    plan.target = std::string(kLocalFile) + name + ext;
    return plan;
  }
  std::string candidate = name + ext;
  if (FileExistsIn(directory, candidate)) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d%02d%02d%02d", now.year, now.month, now.day,
                  now.hour, now.minute, now.second);
    const std::string stamped = name + stamp;
    candidate = stamped + ext;
    // A second file of that name within the same second: a number after the time.
    for (unsigned n = 1; FileExistsIn(directory, candidate); ++n)
      candidate = stamped + "_" + std::to_string(n) + ext;
  }
  plan.storeName = candidate;
  plan.destination = JoinPath(directory, candidate);
  plan.question = localFile ? std::string(kLinkCopyToStoreQuestion)
                            : Format2(kLinkCopyFileQuestion, filePath, plan.destination);
  return plan;
}

bool CopyIntoStore(std::string_view filePath, const StorePlan& plan, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (plan.destination.empty()) return fail("没有目标路径");
  const std::string from(filePath);
  if (!IsRegularFile(from)) return fail(PathExists(from) ? "不是文件" : "文件不存在");
  if (!EnsureParentDirectories(plan.destination)) return fail("无法创建目录：" + DirectoryOf(plan.destination));
  errno = 0;
  if (!CopyFileNoReplace(from, plan.destination))
    return fail(CopyError(errno));
  return true;
}

}  // namespace zorbek::editor
