// SPDX-License-Identifier: MIT
#include "update/update_config.h"

#include <mutex>

#ifndef KVARA_UPDATE_SERVER
#define KVARA_UPDATE_SERVER ""
#endif
#ifndef KVARA_UPDATE_PUBLIC_KEY
#define KVARA_UPDATE_PUBLIC_KEY ""
#endif
#ifndef KVARA_UPDATE_MAX_BYTES
#define KVARA_UPDATE_MAX_BYTES 536870912ULL
#endif

namespace kvara {

namespace {

constexpr std::chrono::milliseconds kStallLimit{30000};

struct Config {
    std::mutex lock;
    std::string server = KVARA_UPDATE_SERVER;
    std::string caFile;
    std::string publicKey = KVARA_UPDATE_PUBLIC_KEY;
    DownloadLimits limits = DefaultDownloadLimits();
};

Config& Current() {
    static Config config;
    return config;
}

}  // namespace

void SetUpdateServer(const std::string& base, const std::string& caFile) {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    config.server = base;
    config.caFile = caFile;
}

std::string UpdateServer() {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    return config.server;
}

std::string UpdateCaFile() {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    return config.caFile;
}

bool UpdateChecksEnabled() {
    return !UpdateServer().empty();
}

void SetUpdatePublicKey(const std::string& base64) {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    config.publicKey = base64;
}

std::string UpdatePublicKey() {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    return config.publicKey;
}

void SetDownloadLimits(const DownloadLimits& limits) {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    config.limits = limits;
}

DownloadLimits CurrentDownloadLimits() {
    Config& config = Current();
    std::lock_guard<std::mutex> guard(config.lock);
    return config.limits;
}

DownloadLimits DefaultDownloadLimits() {
    return {KVARA_UPDATE_MAX_BYTES, kStallLimit};
}

}  // namespace kvara
