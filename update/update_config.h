// SPDX-License-Identifier: MIT
// Where updates come from and what the program accepts from there: the update host, the
// certificate authorities, the key that signs the installers, and the download limits. The
// build fixes the defaults; tests point them at a server of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kvara {

// The update host ("https://host"), and the certificate authorities to trust (empty: the
// system's). An empty host turns every check off: nothing is fetched, nothing offered.
void SetUpdateServer(const std::string& base, const std::string& caFile = {});
std::string UpdateServer();
std::string UpdateCaFile();
// Whether this program looks for updates at all (a build without an update host does not).
bool UpdateChecksEnabled();

// The Ed25519 public key (base64 of its 32 bytes) whose signature an installer must carry;
// empty when the build has none, and then a listed SHA256 value is checked instead.
void SetUpdatePublicKey(const std::string& base64);
std::string UpdatePublicKey();

// The largest installer accepted, and how long a transfer may go without a byte before it is
// given up.
struct DownloadLimits {
    std::uint64_t maxInstallerBytes;
    std::chrono::milliseconds stallLimit;
};
void SetDownloadLimits(const DownloadLimits& limits);
DownloadLimits CurrentDownloadLimits();
DownloadLimits DefaultDownloadLimits();

}  // namespace kvara
