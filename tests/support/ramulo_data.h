// Writes a data set of the older note program Ramulo for the tests: TreeStru.dat, TreeFiles.dat
// and doc/STEM.txt, in code page 936 with CR LF line ends, from nodes given in UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorbek::testing {

struct RamuloNode {
  int depth = 0;
  std::string name;                 // UTF-8; TABs inside it are written as they are
  std::string stem;                 // TreeFiles.dat line
  std::optional<std::string> text;  // doc/STEM.txt (UTF-8, lines joined by CR LF); none: no file
};

// Writes the set into directory (created). dropLastFiles leaves that many of the last lines
// out of TreeFiles.dat.
void WriteRamuloSet(const std::string& directory, const std::vector<RamuloNode>& nodes,
                    int dropLastFiles = 0);

// A set of several levels with names that need the mapping and double-byte characters whose
// second byte is a mapped ASCII character (丂 is 81 40, "@"; 乗 is 81 5C, "\"):
//   工作 (folder) / 计划 2026 (folder) / 丂表, 乗车; 工作 / 会议.记录; 12; a.b; x; x
std::vector<RamuloNode> SampleRamuloNodes();

}  // namespace zorbek::testing
