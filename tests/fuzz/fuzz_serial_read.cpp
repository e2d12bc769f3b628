// SPDX-License-Identifier: MIT
// The serial link's read path on a real pseudo terminal: a byte stream written in pieces of
// arbitrary sizes (around and across the watcher's 256-byte read pieces), with or without a
// pause between pieces, and a hang-up at the end or none.
//
// Input: byte 0 bit 0: the terminal hangs up at the end; then one byte per piece: its size is
// 6 times its low 7 bits plus (the next byte's high nibble modulo 6), 0 to 767 bytes, and its
// bit 7 says whether the piece waits until the link has taken everything before it.
//
// Properties besides memory safety and bounded time:
// - the receiver gets every byte written, in order, exactly once;
// - the link stays open while the terminal does, whatever the piece sizes;
// - after a hang-up the watcher ends and the link reports itself closed.
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "fuzz_check.h"
#include "transport/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

class Collector : public kvara::CUSBSerialPort {
public:
    void OnBytesAvailable(const std::uint8_t* data, std::size_t length) override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_received.insert(m_received.end(), data, data + length);
    }
    void OnByteReceived(std::uint8_t byte) override { OnBytesAvailable(&byte, 1); }
    std::size_t Count() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_received.size();
    }
    kvara::ByteBuffer Received() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_received;
    }

private:
    std::mutex m_lock;
    kvara::ByteBuffer m_received;
};

template <typename Predicate>
bool Within(int ms, Predicate predicate) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!predicate()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Writes all of the bytes to the terminal's master side, waiting while its buffer is full.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, 500) != 1) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 64) {
        return 0;  // a few dozen pieces reach every case; longer inputs only cost time
    }
    int master = -1;
    int slave = -1;
    char name[128] = {};
    FUZZ_CHECK(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    close(slave);  // only the link holds the terminal open
    Collector link;
    FUZZ_CHECK(link.OpenLine(name, kvara::LineSettings{}));
    FUZZ_CHECK(link.StartWatcher());

    const bool hangUp = (data[0] & 1) != 0;
    kvara::ByteBuffer written;
    for (std::size_t i = 1; i < size; ++i) {
        const std::size_t pieceSize =
            6u * (data[i] & 0x7F) + (i + 1 < size ? (data[i + 1] >> 4) % 6 : 0);
        const bool settle = (data[i] & 0x80) != 0;
        kvara::ByteBuffer piece(pieceSize);
        for (auto& b : piece) {
            b = static_cast<std::uint8_t>(written.size() + (&b - piece.data()));
        }
        FUZZ_CHECK(WriteAll(master, piece.data(), piece.size()));
        written.insert(written.end(), piece.begin(), piece.end());
        if (settle) {
            FUZZ_CHECK(Within(1000, [&] { return link.Count() >= written.size(); }));
        }
        FUZZ_CHECK(link.IsWatcherRunning());
    }
    FUZZ_CHECK(Within(1000, [&] { return link.Count() >= written.size(); }));
    FUZZ_CHECK(link.Received() == written);

    if (hangUp) {
        close(master);
        master = -1;
        FUZZ_CHECK(Within(1000, [&] { return !link.IsWatcherRunning(); }));
        FUZZ_CHECK(!link.IsOpen());
    } else {
        FUZZ_CHECK(link.IsWatcherRunning() && link.IsOpen());
        const std::uint8_t one = 0x7E;
        FUZZ_CHECK(WriteAll(master, &one, 1));
        FUZZ_CHECK(Within(1000, [&] { return link.Count() == written.size() + 1; }));
    }
    link.CloseLine();
    if (master >= 0) {
        close(master);
    }
    return 0;
}
