// SPDX-License-Identifier: MIT
// Fetching from the update host with libcurl: TLS verified, https only, never a cached copy,
// redirects followed only within the host first asked, a size cap, and a stall limit instead
// of a limit on the total time. Each failure keeps its own cause, so the user can be told.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace kvara {

enum class UpdateFailure {
    None,
    Address,          // no address, or not an https address
    Connection,       // the host cannot be reached
    Certificate,      // the host's certificate is not trusted
    HttpStatus,       // the host answered with an error status (or redirected too often)
    Incomplete,       // less came than announced, or nothing confirms the length
    TooLarge,         // more than the cap, announced or received
    Stalled,          // no byte for the stall limit
    Cancelled,        // stopped by the user, or because the program ends
    ForeignRedirect,  // a redirect away from the host first asked
    LocalFile,        // the local folder or file could not be made or written
    NoSignature,      // a signature is required and none is listed
    BadSignature,     // the listed signature does not verify with the built-in key
    BadChecksum,      // the listed SHA256 value does not match the file
};

struct UpdateOutcome {
    UpdateFailure failure = UpdateFailure::None;
    long status = 0;              // HTTP status of the last answer, 0 when none came
    std::uint64_t received = 0;   // body bytes received
    std::int64_t announced = -1;  // the length the server announced, -1 when it did not
    std::string detail;           // the refused redirect target, or the system's error text
    bool Ok() const { return failure == UpdateFailure::None; }
};

// The version files are small; anything larger is not one.
constexpr std::uint64_t kVersionFileCap = 1024 * 1024;

struct TransferControl {
    std::uint64_t maxBytes = 0;                 // 0: the installer cap of the download limits
    const std::atomic<bool>* cancel = nullptr;  // when set: stop at once (Cancelled)
    // Bytes received so far and the announced length (-1: none), on the transferring thread.
    std::function<void(std::uint64_t received, std::int64_t announced)> progress;
};

// The text at an address, at most kVersionFileCap bytes; empty on any failure. A zero byte ends
// the text of the piece it arrives in.
std::string FetchText(const std::string& address);
std::string FetchText(const std::string& address, const std::atomic<bool>* cancel,
                      UpdateOutcome* outcome);

// Downloads an address into a file. Only a transfer that ends with a success status and whose
// length is confirmed (announced and met, or closed by the chunked or HTTP/2 framing) counts;
// otherwise the file is removed.
bool DownloadToFile(const std::string& address, const std::string& path);
bool DownloadToFile(const std::string& address, const std::string& path,
                    const TransferControl& control, UpdateOutcome* outcome);

// Whether two addresses have the same scheme, host and port.
bool SameOrigin(const std::string& first, const std::string& second);

}  // namespace kvara
