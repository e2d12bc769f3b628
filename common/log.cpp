// SPDX-License-Identifier: MIT
#include "common/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace kvara {

namespace {

std::atomic<LogSink> g_sink{nullptr};
std::mutex g_handlerLock;
void (*g_handler)(const char*, void*) = nullptr;  // guarded by g_handlerLock
void* g_context = nullptr;

}  // namespace

void SetLogSink(LogSink sink) {
    g_sink.store(sink);
}

void SetLogHandler(void (*handler)(const char* line, void* context), void* context) {
    std::lock_guard<std::mutex> guard(g_handlerLock);
    g_handler = handler;
    g_context = context;
}

void LogDebug(const std::string& line) {
    if (LogSink sink = g_sink.load()) {
        sink(line);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(g_handlerLock);
        if (g_handler != nullptr) {
            g_handler(line.c_str(), g_context);
            return;
        }
    }
    // Without a sink the lines are for whoever debugs: printed only when asked for, so that a
    // program using the library never finds the library's notes on its own stderr.
    static const bool wanted = [] {
        const char* value = std::getenv("KVARA_DEBUG");
        return value != nullptr && *value != '\0' && std::string(value) != "0";
    }();
    if (wanted) {
        std::fprintf(stderr, "kvara: %s\n", line.c_str());
    }
}

}  // namespace kvara
