// SPDX-License-Identifier: MIT
// A simulated reader served on a pseudo terminal or on a TCP port of the loopback address, for
// tests that open it by its name through the reader API (libkvara.so or the static library).
//
// PtyReaderTest and TcpReaderTest differ only in how the reader is served and named: a device
// path, or "127.0.0.1-port".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "reader/kvara.h"
#include "sim/pty_server.h"
#include "sim/sim_codec.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"

namespace kvara::test {

template <typename Server>
class SimReaderTest : public ::testing::Test {
protected:
    static constexpr bool kTcp = std::is_same_v<Server, sim::SimTcpServer>;

    void StartReader(sim::SimConfig config = {}, std::vector<sim::SimTag> tags = {}) {
        reader = std::make_shared<sim::SimReader>(config);
        reader->SetTags(std::move(tags));
        server = std::make_unique<Server>(reader);
        if constexpr (kTcp) {
            ASSERT_TRUE(server->Start("127.0.0.1", 0));
            name = "127.0.0.1-" + std::to_string(server->Port());
        } else {
            ASSERT_TRUE(server->Start());
            name = server->Path();
        }
    }

    // Opens the simulated reader; fails the test when it does not open, or opens as another
    // kind of link (network readers have handles above 20000).
    int Open(int timeoutMs = 300, const std::string& suffix = "") {
        const int handle = KvaraOpenPort((name + suffix).c_str(), 19200, 0, timeoutMs);
        EXPECT_GT(handle, kTcp ? 20000 : 0) << "open of " << name << suffix;
        if (handle > 0) {
            opened.push_back(handle);
        }
        return handle;
    }

    void TearDown() override {
        for (int handle : opened) {
            KvaraClosePort(handle);
        }
        if (server) {
            server->Stop();
        }
    }

    // The requests the reader received.
    std::vector<sim::SimRequest> Requests() const { return reader->Requests(); }
    sim::SimRequest LastRequest() const {
        const auto all = reader->Requests();
        return all.empty() ? sim::SimRequest{} : all.back();
    }

    std::shared_ptr<sim::SimReader> reader;
    std::unique_ptr<Server> server;
    std::string name;  // what opens the reader
    std::vector<int> opened;
};

using PtyReaderTest = SimReaderTest<sim::PtyServer>;
using TcpReaderTest = SimReaderTest<sim::SimTcpServer>;

// A mode-0 answer frame with status and data, as the reader would send it.
inline ByteBuffer Mode0Answer(std::uint8_t status, const ByteBuffer& data) {
    ByteBuffer frame;
    frame.reserve(data.size() + 5);
    for (std::uint8_t b :
         {std::uint8_t{0x02}, std::uint8_t{0x01}, status, static_cast<std::uint8_t>(data.size())}) {
        frame.push_back(b);
    }
    for (std::uint8_t b : data) {
        frame.push_back(b);
    }
    frame.push_back(sim::SimBcc(frame.data() + 1, frame.size() - 1));
    return frame;
}

}  // namespace kvara::test
