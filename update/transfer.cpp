// SPDX-License-Identifier: MIT
#include "update/transfer.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/text.h"
#include "update/update_config.h"

namespace kvara {

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kConnectTimeoutSeconds = 10;
constexpr int kMaxRedirects = 5;
// How often a transfer looks at its cancel flag and its stall clock while it waits for data.
constexpr int kWakeMs = 100;

void CurlGlobal() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

bool IsRedirect(long status) {
    return status >= 300 && status < 400;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// The value of a header line when its name is the given one.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoringCase(Trim(line.substr(0, colon)), name)) {
        return std::nullopt;
    }
    return Trim(line.substr(colon + 1));
}

// One transfer as curl's callbacks see it. The answer fields describe the answer being
// received, which may be a redirect's own.
struct Exchange {
    std::function<bool(const char*, std::size_t)> sink;
    std::uint64_t maxBytes = 0;
    std::function<void(std::uint64_t, std::int64_t)> progress;
    long status = 0;
    bool chunked = false;
    std::int64_t announced = -1;
    std::uint64_t received = 0;
    Clock::time_point lastByte = Clock::now();
    UpdateFailure refused = UpdateFailure::None;  // why a callback stopped the transfer
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* target) {
    auto* x = static_cast<Exchange*>(target);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    x->lastByte = Clock::now();
    if (line.starts_with("HTTP/")) {
        // A new answer: after a redirect, nothing of the previous one holds.
        const std::size_t blank = line.find(' ');
        x->status =
            blank == std::string_view::npos ? 0 : std::strtol(line.data() + blank + 1, nullptr, 10);
        x->chunked = false;
        x->announced = -1;
        x->received = 0;
    } else if (const auto length = HeaderValue(line, "Content-Length")) {
        x->announced = std::strtoll(std::string(*length).c_str(), nullptr, 10);
        if (!IsRedirect(x->status) && x->announced > 0 &&
            static_cast<std::uint64_t>(x->announced) > x->maxBytes) {
            x->refused = UpdateFailure::TooLarge;  // refused before a byte of it is read
            return 0;
        }
    } else if (const auto coding = HeaderValue(line, "Transfer-Encoding")) {
        x->chunked = coding->find("chunked") != std::string_view::npos;
    }
    return bytes;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* target) {
    auto* x = static_cast<Exchange*>(target);
    const std::size_t bytes = size * count;
    x->lastByte = Clock::now();
    if (IsRedirect(x->status)) {
        return bytes;  // a redirect's own page is not the file
    }
    if (x->received + bytes > x->maxBytes) {
        x->refused = UpdateFailure::TooLarge;
        return 0;
    }
    if (!x->sink(data, bytes)) {
        x->refused = UpdateFailure::LocalFile;
        return 0;
    }
    x->received += bytes;
    if (x->progress) {
        x->progress(x->received, x->announced);
    }
    return bytes;
}

// Runs one request. Waits in curl's poll, waking at least every kWakeMs to look at the cancel
// flag and at the time since the last byte.
CURLcode Perform(CURL* curl, Exchange& x, const std::atomic<bool>* cancel,
                 std::chrono::milliseconds stall) {
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) {
        return CURLE_OUT_OF_MEMORY;
    }
    curl_multi_add_handle(multi, curl);
    x.lastByte = Clock::now();
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        int left = 0;
        bool done = false;
        while (const CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0) {
            break;
        }
        if (cancel != nullptr && cancel->load()) {
            x.refused = UpdateFailure::Cancelled;
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (Clock::now() - x.lastByte > stall) {
            x.refused = UpdateFailure::Stalled;
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, kWakeMs, nullptr);
    }
    curl_multi_remove_handle(multi, curl);
    curl_multi_cleanup(multi);
    return result;
}

UpdateFailure FailureOf(CURLcode result, const Exchange& x) {
    if (x.refused != UpdateFailure::None) {
        return x.refused;
    }
    switch (result) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return UpdateFailure::Address;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
            return UpdateFailure::Certificate;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_BAD_CONTENT_ENCODING:
            // Broken off after the answer began: what came is not the whole of it.
            return x.status != 0 ? UpdateFailure::Incomplete : UpdateFailure::Connection;
        default:
            return UpdateFailure::Connection;
    }
}

// Whether the whole body came: its announced length was met, or the framing (chunked, HTTP/2
// and later) closed it. A body that merely ended with the connection proves nothing.
bool LengthConfirmed(CURL* curl, const Exchange& x) {
    if (x.announced >= 0) {
        return x.received == static_cast<std::uint64_t>(x.announced);
    }
    long version = 0;
    curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &version);
    return x.chunked || version >= CURL_HTTP_VERSION_2_0;
}

bool Transfer(const std::string& address, Exchange& x, const std::atomic<bool>* cancel,
              UpdateOutcome* outcome) {
    *outcome = {};
    if (address.empty()) {
        outcome->failure = UpdateFailure::Address;
        return false;
    }
    CurlGlobal();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        outcome->failure = UpdateFailure::Connection;
        return false;
    }
    const std::string caFile = UpdateCaFile();
    const std::chrono::milliseconds stall = CurrentDownloadLimits().stallLimit;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");  // never in the clear
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // Never a cached copy.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    // Redirects are followed here rather than by curl, so each target can be checked first.
    std::string url = address;
    for (int hop = 0;; ++hop) {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        const CURLcode result = Perform(curl, x, cancel, stall);
        if (result != CURLE_OK) {
            outcome->failure = FailureOf(result, x);
            break;
        }
        if (IsRedirect(x.status)) {
            char* next = nullptr;
            curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &next);
            if (next == nullptr || hop == kMaxRedirects) {
                outcome->failure = UpdateFailure::HttpStatus;
                break;
            }
            if (!SameOrigin(address, next)) {
                outcome->failure = UpdateFailure::ForeignRedirect;
                outcome->detail = next;
                break;
            }
            url = next;
            continue;
        }
        if (x.status < 200 || x.status >= 300) {
            outcome->failure = UpdateFailure::HttpStatus;
        } else if (!LengthConfirmed(curl, x)) {
            outcome->failure = UpdateFailure::Incomplete;
        }
        break;
    }
    outcome->status = x.status;
    outcome->received = x.received;
    outcome->announced = x.announced;
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return outcome->Ok();
}

struct Origin {
    std::string scheme;
    std::string host;
    std::string port;
};

std::optional<Origin> OriginOf(const std::string& address) {
    CURLU* url = curl_url();
    if (url == nullptr) {
        return std::nullopt;
    }
    std::optional<Origin> origin;
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        origin = Origin{scheme, host, port};
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
    curl_url_cleanup(url);
    return origin;
}

}  // namespace

bool SameOrigin(const std::string& first, const std::string& second) {
    const auto a = OriginOf(first);
    const auto b = OriginOf(second);
    return a && b && EqualsIgnoringCase(a->scheme, b->scheme) &&
           EqualsIgnoringCase(a->host, b->host) && a->port == b->port;
}

std::string FetchText(const std::string& address) {
    UpdateOutcome outcome;
    return FetchText(address, nullptr, &outcome);
}

std::string FetchText(const std::string& address, const std::atomic<bool>* cancel,
                      UpdateOutcome* outcome) {
    std::string text;
    Exchange x;
    x.maxBytes = kVersionFileCap;
    // A zero byte ends the text of its piece, as the version files are plain text.
    x.sink = [&text](const char* data, std::size_t bytes) {
        text.append(data, strnlen(data, bytes));
        return true;
    };
    if (!Transfer(address, x, cancel, outcome)) {
        return {};
    }
    return text;
}

bool DownloadToFile(const std::string& address, const std::string& path) {
    UpdateOutcome outcome;
    return DownloadToFile(address, path, {}, &outcome);
}

bool DownloadToFile(const std::string& address, const std::string& path,
                    const TransferControl& control, UpdateOutcome* outcome) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *outcome = {};
        outcome->failure = UpdateFailure::LocalFile;
        outcome->detail = std::strerror(errno);
        return false;
    }
    Exchange x;
    x.maxBytes =
        control.maxBytes != 0 ? control.maxBytes : CurrentDownloadLimits().maxInstallerBytes;
    x.progress = control.progress;
    x.sink = [file](const char* data, std::size_t bytes) {
        return std::fwrite(data, 1, bytes, file) == bytes;
    };
    bool done = Transfer(address, x, control.cancel, outcome);
    if (std::fclose(file) != 0 && done) {
        outcome->failure = UpdateFailure::LocalFile;
        outcome->detail = std::strerror(errno);
        done = false;
    }
    if (!done) {
        std::remove(path.c_str());  // no half file left behind
    }
    return done;
}

}  // namespace kvara
