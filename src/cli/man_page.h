// The manual page of zorbek-cli, written from its command table.
#pragma once

#include <iosfwd>

namespace zorbek::cli {

// Writes zorbek-cli(1) in roff to out.
void WriteManPage(std::ostream& out);

}  // namespace zorbek::cli
