// SPDX-License-Identifier: MIT
// Diagnostic lines of the library, in English: to the installed sink or handler; without one
// to stderr only when the environment sets KVARA_DEBUG (to anything but 0).
#pragma once

#include <string>

namespace kvara {

using LogSink = void (*)(const std::string& line);
// Installs the sink for diagnostic lines; null restores the default.
void SetLogSink(LogSink sink);
// A handler with a context pointer (the C API's form); replaces the sink, null restores the
// default.
void SetLogHandler(void (*handler)(const char* line, void* context), void* context);
void LogDebug(const std::string& line);

}  // namespace kvara
