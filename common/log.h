// SPDX-License-Identifier: MIT
// Diagnostic lines of the library: to stderr unless a sink is installed.
#pragma once

#include <string>

namespace kvara {

using LogSink = void (*)(const std::string& line);
// Installs the sink for diagnostic lines; null restores stderr.
void SetLogSink(LogSink sink);
// A handler with a context pointer (the C API's form); replaces the sink, null restores stderr.
void SetLogHandler(void (*handler)(const char* line, void* context), void* context);
void LogDebug(const std::string& line);

}  // namespace kvara
