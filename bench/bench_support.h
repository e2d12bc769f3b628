// SPDX-License-Identifier: MIT
// Clocks and a blocking exact read shared by the round-trip benchmarks.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <ctime>

namespace kvara::bench {

// Seconds on the monotonic clock.
inline double Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU seconds of the whole process, every thread included.
inline double ProcessCpu() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Reads exactly count bytes, waiting up to a second for each piece.
inline bool ReadExactly(int fd, std::uint8_t* buffer, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) {
            return false;
        }
        const ssize_t n = read(fd, buffer + got, count - got);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace kvara::bench
