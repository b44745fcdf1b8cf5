#include "support/ramulo_data.h"

#include "core/text/cp936.h"
#include "support/temp_dir.h"

namespace zorbek::testing {

void WriteRamuloSet(const std::string& directory, const std::vector<RamuloNode>& nodes,
                    int dropLastFiles) {
  std::string stru, files;
  int written = 0;
  const int filesLines = static_cast<int>(nodes.size()) - dropLastFiles;
  for (const RamuloNode& node : nodes) {
    stru += Utf8ToCp936(std::string(static_cast<std::size_t>(node.depth), '\t') + node.name) + "\r\n";
    if (written++ < filesLines) files += Utf8ToCp936(node.stem) + "\r\n";
    if (node.text) {
      std::string text;
      for (char c : *node.text) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
      WriteFile(directory + "/doc/" + node.stem + ".txt", Utf8ToCp936(text));
    }
  }
  WriteFile(directory + "/TreeStru.dat", stru);
  WriteFile(directory + "/TreeFiles.dat", files);
}

std::vector<RamuloNode> SampleRamuloNodes() {
  return {
      {0, "工作", "w0", "工作的总说明\n第二行"},
      {1, "计划 2026", "w1", "二〇二六年的计划"},
      {2, "丂表", "w2", "丂字开头的表格说明"},
      {2, "乗车", "w3", "乗车路线：地铁二号线"},
      {1, "会议.记录", "w4", "周一例会，讨论进度。"},
      {0, "12", "n12", "数字开头的名称"},
      {0, "a.b", "ab", "带句点的名称"},
      {0, "x", "x1", "第一个x"},
      {0, "x", "x2", "第二个x"},
  };
}

}  // namespace zorbek::testing
