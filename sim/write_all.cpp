// SPDX-License-Identifier: MIT
#include "sim/write_all.h"

#include <poll.h>

#include <cerrno>

namespace kvara::sim {

namespace {
constexpr int kWriteWaitMs = 200;  // how long a write waits for room before dropping bytes
}

void WriteAll(std::mutex& lock, const int& descriptor, const ByteBuffer& bytes,
              WriteFunction write) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        std::unique_lock<std::mutex> guard(lock);
        const int fd = descriptor;
        if (fd < 0) {
            return;  // unplugged or dropped
        }
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        guard.unlock();
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd out = {fd, POLLOUT, 0};
            if (poll(&out, 1, kWriteWaitMs) > 0 && (out.revents & POLLOUT) != 0) {
                continue;
            }
        }
        return;
    }
}

}  // namespace kvara::sim
