// A simulated reader served on a pseudo terminal, for tests that go through libkvara.so.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "reader/kvara.h"
#include "sim/pty_server.h"
#include "sim/sim_codec.h"
#include "sim/sim_reader.h"

namespace kvara::test {

class PtyReaderTest : public ::testing::Test {
protected:
    void StartReader(sim::SimConfig config = {}, std::vector<sim::SimTag> tags = {}) {
        reader = std::make_shared<sim::SimReader>(config);
        reader->SetTags(std::move(tags));
        server = std::make_unique<sim::PtyServer>(reader);
        ASSERT_TRUE(server->Start());
        path = server->Path();
    }

    // Opens the simulated reader; fails the test when it does not open.
    int Open(int timeoutMs = 300, const std::string& suffix = "") {
        const int handle = KvaraOpenPort((path + suffix).c_str(), 19200, 0, timeoutMs);
        EXPECT_GT(handle, 0) << "open of " << path << suffix;
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

    // The requests the reader received, from the n-th on.
    std::vector<sim::SimRequest> Requests() const { return reader->Requests(); }
    sim::SimRequest LastRequest() const {
        const auto all = reader->Requests();
        return all.empty() ? sim::SimRequest{} : all.back();
    }

    std::shared_ptr<sim::SimReader> reader;
    std::unique_ptr<sim::PtyServer> server;
    std::string path;
    std::vector<int> opened;
};

// A mode-0 answer frame with status and data, as the reader would send it.
inline ByteBuffer Mode0Answer(std::uint8_t status, const ByteBuffer& data) {
    ByteBuffer frame;
    frame.reserve(data.size() + 5);
    for (std::uint8_t b : {std::uint8_t{0x02}, std::uint8_t{0x01}, status,
                           static_cast<std::uint8_t>(data.size())}) {
        frame.push_back(b);
    }
    for (std::uint8_t b : data) {
        frame.push_back(b);
    }
    frame.push_back(sim::SimBcc(frame.data() + 1, frame.size() - 1));
    return frame;
}

}  // namespace kvara::test
