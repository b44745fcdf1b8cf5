// Strings between the core (UTF-8 std::string) and Qt (QString), for every window.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zorbek {

inline QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s) { return s.toStdString(); }

}  // namespace zorbek
