// SPDX-License-Identifier: MIT
// Several threads on the reader API at once: on one handle, on different handles, and opening
// and closing readers meanwhile. Commands on one reader take turns; every answer reaches the
// command it belongs to. The thread sanitizer build runs these too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "reader/kvara.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimTag;

namespace {

// A simulated reader with one tag on a pseudo terminal. Its User memory holds a pattern that
// names the reader (seed) and each byte's place, so an answer read for the wrong command or
// the wrong reader shows.
struct Reader {
    explicit Reader(std::uint8_t seed, SimConfig config = {}) {
        SimTag tag = SimTag::WithEpc({0xE2, 0x00, seed, 0x01});
        for (std::size_t i = 0; i < tag.user.size(); ++i) {
            tag.user[i] = static_cast<std::uint8_t>(seed * 64 + i);
        }
        user = tag.user;
        sim = std::make_shared<kvara::sim::SimReader>(config);
        sim->SetTags({tag});
        server = std::make_unique<kvara::sim::PtyServer>(sim);
        EXPECT_TRUE(server->Start());
    }
    ~Reader() { server->Stop(); }
    int Open(int timeoutMs = 1000) const {
        return KvaraOpenPort(server->Path().c_str(), 19200, 0, timeoutMs);
    }
    std::shared_ptr<kvara::sim::SimReader> sim;
    std::unique_ptr<kvara::sim::PtyServer> server;
    ByteBuffer user;
};

// Reads its own stretch of User memory again and again and checks every answer; returns the
// number of wrong answers (a failed command is no wrong answer, but counts in failures).
int ReadOwnStretch(int handle, const Reader& reader, int stretch, int rounds,
                   std::atomic<int>& failures) {
    int wrong = 0;
    for (int i = 0; i < rounds; ++i) {
        unsigned char data[8] = {};
        const int word = stretch * 4;
        const int count = 2 + (i % 4) * 2;  // 2, 4, 6 or 8 bytes: answers of different lengths
        const int n = KvaraReadBytes(handle, 3, word, data, count);
        if (n < 0) {
            ++failures;
            continue;
        }
        const ByteBuffer expected(reader.user.begin() + word * 2,
                                  reader.user.begin() + word * 2 + count);
        wrong += ByteBuffer(data, data + n) == expected ? 0 : 1;
        unsigned char type[4] = {};
        if (KvaraGetDeviceType(handle, type, 4, nullptr, 0) != 4) {
            ++failures;
        }
        (void)KvaraGetLastError(handle);
    }
    return wrong;
}

}  // namespace

TEST(Threads, CommandsOfSeveralThreadsOnOneReaderTakeTurns) {
    Reader reader(1);
    const int handle = reader.Open();
    ASSERT_GT(handle, 0);
    std::atomic<int> wrong{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] { wrong += ReadOwnStretch(handle, reader, t, 150, failures); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0) << "answers reached the wrong command";
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(KvaraClosePort(handle), 0);
}

TEST(Threads, ReadersOnDifferentHandlesRunSideBySide) {
    std::vector<std::unique_ptr<Reader>> readers;
    std::vector<int> handles;
    for (std::uint8_t seed = 1; seed <= 3; ++seed) {
        readers.push_back(std::make_unique<Reader>(seed));
        handles.push_back(readers.back()->Open());
        ASSERT_GT(handles.back(), 0);
    }
    std::atomic<int> wrong{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (std::size_t r = 0; r < readers.size(); ++r) {
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back(
                [&, r, t] { wrong += ReadOwnStretch(handles[r], *readers[r], t, 100, failures); });
        }
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(failures.load(), 0);
    for (int handle : handles) {
        EXPECT_EQ(KvaraClosePort(handle), 0);
    }
}

// Opens and closes on several threads while commands run on another reader: every open gets a
// handle of its own, every close closes exactly its reader.
TEST(Threads, OpensAndClosesFromSeveralThreads) {
    Reader busy(7);
    const int busyHandle = busy.Open();
    ASSERT_GT(busyHandle, 0);
    std::vector<std::unique_ptr<Reader>> readers;
    for (std::uint8_t seed = 1; seed <= 3; ++seed) {
        readers.push_back(std::make_unique<Reader>(seed));
    }
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    std::thread commands([&] {
        int wrong = 0;
        while (!done.load()) {
            wrong += ReadOwnStretch(busyHandle, busy, 0, 5, failures);
        }
        EXPECT_EQ(wrong, 0);
    });
    std::vector<std::thread> openers;
    for (auto& reader : readers) {
        openers.emplace_back([&failures, &reader] {
            for (int round = 0; round < 15; ++round) {
                const int handle = reader->Open();
                if (handle <= 0) {
                    ++failures;
                    continue;
                }
                unsigned char data[2] = {};
                if (KvaraReadBytes(handle, 3, 0, data, 2) != 2 || data[0] != reader->user[0]) {
                    ++failures;
                }
                if (KvaraClosePort(handle) != 0) {
                    ++failures;
                }
            }
        });
    }
    for (auto& opener : openers) {
        opener.join();
    }
    done.store(true);
    commands.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(KvaraClosePort(busyHandle), 0);
}

// A close from another thread ends the command that waits on the reader at once; it fails, and
// the next one finds the reader closed.
TEST(Threads, ACloseEndsTheRunningCommand) {
    Reader reader(2);
    const int handle = reader.Open(5000);
    ASSERT_GT(handle, 0);
    reader.sim->PushFault(kvara::sim::SimFault{.delayMs = 3000, .forCommand = 0xC3});
    const std::size_t atOpen = reader.sim->Requests().size();
    int result = 0;
    const auto start = std::chrono::steady_clock::now();
    std::thread command([&] {
        unsigned char data[2] = {};
        result = KvaraReadBytes(handle, 3, 0, data, 2);
    });
    // Once the command is out, the close ends its wait for the answer, due 3 s after the
    // request.
    while (reader.sim->Requests().size() <= atOpen &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        std::this_thread::yield();
    }
    EXPECT_EQ(KvaraClosePort(handle), 0);
    command.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500))
        << "the command waited for its answer";
    unsigned char data[2] = {};
    EXPECT_EQ(KvaraReadBytes(handle, 3, 0, data, 2), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_NO_PORT);
}
