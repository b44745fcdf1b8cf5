// libFuzzer target: the RTF reader into a QTextDocument, and the writer's fixed point on what the
// reader made of the input.
#include <QGuiApplication>
#include <QTextDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "rtf/rtf_reader.h"
#include "rtf/rtf_writer.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray in = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                static_cast<qsizetype>(size));
  QTextDocument doc;
  zorbek::ReadRtf(in, &doc);
  const QByteArray first = zorbek::WriteRtf(doc);
  QTextDocument back;
  if (!zorbek::ReadRtf(first, &back)) __builtin_trap();  // the writer's output is well formed
  if (zorbek::WriteRtf(back) != first) __builtin_trap();  // and a fixed point
  return 0;
}
