// A simulated reader served on a TCP port of the loopback address, for tests that open it by
// its network name through the reader API.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reader/kvara.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"

namespace kvara::test {

class TcpReaderTest : public ::testing::Test {
protected:
    void StartReader(sim::SimConfig config = {}, std::vector<sim::SimTag> tags = {}) {
        reader = std::make_shared<sim::SimReader>(config);
        reader->SetTags(std::move(tags));
        server = std::make_unique<sim::SimTcpServer>(reader);
        ASSERT_TRUE(server->Start("127.0.0.1", 0));
        name = "127.0.0.1-" + std::to_string(server->Port());
    }

    // Opens the simulated reader by its network name; fails the test when it does not open.
    int Open(int timeoutMs = 300) {
        const int handle = KvaraOpenPort(name.c_str(), 19200, 0, timeoutMs);
        EXPECT_GT(handle, 20000) << "open of " << name;
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

    sim::SimRequest LastRequest() const {
        const auto all = reader->Requests();
        return all.empty() ? sim::SimRequest{} : all.back();
    }

    std::shared_ptr<sim::SimReader> reader;
    std::unique_ptr<sim::SimTcpServer> server;
    std::string name;
    std::vector<int> opened;
};

}  // namespace kvara::test
