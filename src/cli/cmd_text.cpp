// zorbek-cli text [--raw] FILE: the plain text of an RTF note as the search reads it.
#include <cstdio>
#include <string>

#include "cli/command.h"
#include "core/rtf/plain_text.h"
#include "core/text/cp936.h"

namespace {

int Run(zorbek::cli::Context& c) {
  bool raw = false;
  std::string path;
  for (const auto& arg : c.args) {
    if (arg == "--raw") raw = true;
    else if (path.empty() && (arg.empty() || arg[0] != '-')) path = arg;
    else return zorbek::cli::UsageError("text");
  }
  if (path.empty()) return zorbek::cli::UsageError("text");
  bool opened = false;
  const std::string out = raw ? zorbek::ScanPlainTextFile(path, &opened).text
                              : zorbek::ExtractPlainTextUnicode(path, &opened);
  if (!opened) return zorbek::cli::Refuse("text: cannot open " + path);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return zorbek::cli::kDone;
}

zorbek::cli::Register reg({"text", "[--raw] FILE",
                           "plain text of an RTF note as the search reads it: UTF-8 (each font's "
                           "code page decoded, \\uN as its character), or the bytes as they "
                           "stand (code page 936 in a note) with --raw",
                           Run});

}  // namespace
