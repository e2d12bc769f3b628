// Diagnostic lines of the library: to stderr unless a sink is installed.
#pragma once

#include <string>

namespace kvara {

using LogSink = void (*)(const std::string& line);
// Installs the sink for diagnostic lines; null restores stderr.
void SetLogSink(LogSink sink);
void LogDebug(const std::string& line);

}  // namespace kvara
