// The RTF engine for the commands that convert notes (import, export): a GUI application
// object without a screen, and the engine installed as the core's note converter.
#pragma once

namespace zorbek::cli {

// True when the engine is there (a build with the RTF engine); idempotent.
bool EnsureRtfEngine();

}  // namespace zorbek::cli
