// The system's own debugger output, below the shared sink of Platform.h.
#pragma once

namespace orv {
namespace platform {

// Writes `text` (UTF-8) to the system's debugger output: its 8-bit form, or with `utf16` its
// UTF-16 form. Nothing where the system has no debugger output.
void WriteSystemDebugOutput(const char* text, bool utf16);

}  // namespace platform
}  // namespace orv
