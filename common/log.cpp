#include "common/log.h"

#include <atomic>
#include <cstdio>

namespace kvara {

namespace {
std::atomic<LogSink> g_sink{nullptr};
}

void SetLogSink(LogSink sink) { g_sink.store(sink); }

void LogDebug(const std::string& line) {
    if (LogSink sink = g_sink.load()) {
        sink(line);
        return;
    }
    std::fprintf(stderr, "kvara: %s\n", line.c_str());
}

}  // namespace kvara
