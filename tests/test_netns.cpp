// SPDX-License-Identifier: MIT
// Network readers on networks of the test's own (network namespaces joined by veth pairs),
// through libkvara.so: discovery, name resolution, TCP ports and reconnects, the configuration
// link and the set procedure, the recovery of a stuck reader, the reachability check, and bad
// input for every network function.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "netns_fixture.h"
#include "reader/kvara.h"
#include "sim/icmp_responder.h"
#include "tests/support/fake_window.h"

using kvara::ByteBuffer;
using kvara::sim::SimFault;
using kvara::sim::SimNetConfig;
using kvara::sim::SimNetFault;
using kvara::test::Ip;
using kvara::test::NetnsTest;
using kvara::test::NetworkReader;
using kvara::test::UdpPeer;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::string> Entries(const char* buffer, int written) {
    std::vector<std::string> entries;
    for (int at = 0; at < written - 1;) {
        entries.emplace_back(buffer + at);
        at += static_cast<int>(entries.back().size()) + 1;
    }
    return entries;
}

std::vector<std::string> Search(bool filtered, int size = 2000) {
    std::vector<char> buffer(static_cast<std::size_t>(size), 'x');
    const int written = filtered ? KvaraFindLanReadersEx(buffer.data(), size)
                                 : KvaraFindLanReaders(buffer.data(), size);
    EXPECT_GE(written, 1);
    EXPECT_EQ(buffer[static_cast<std::size_t>(written - 1)], '\0');
    return Entries(buffer.data(), written);
}

bool DeviceTypeWorks(int handle) {
    unsigned char type[4];
    return KvaraGetDeviceType(handle, type, 4, nullptr, 0) == 4;
}

// Datagram codes the reader received, in order.
std::vector<int> Codes(const NetworkReader& reader) {
    std::vector<int> codes;
    for (const auto& received : reader.net->Log()) {
        codes.push_back(received.bytes[3]);
    }
    return codes;
}

int Count(const std::vector<int>& codes, int code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

// A message pump that runs a step every time a network wait dispatches messages, for one scope.
class PumpSteps {
public:
    explicit PumpSteps(std::function<void()> step) {
        m_pump.onEveryPump = [step = std::move(step)] {
            step();
            return false;
        };
        m_pump.InstallPublic();
    }

private:
    kvara::test::FakeWindow m_pump;
};

// Bytes waiting unread in the receive queue of this namespace's UDP socket on a local port, as
// the kernel lists them; -1 when there is no such socket.
long ReceiveQueueBytes(std::uint16_t port) {
    std::ifstream table("/proc/thread-self/net/udp");
    char wanted[8];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    std::string line;
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        if (local.size() >= 5 && local.compare(local.size() - 5, 5, wanted) == 0) {
            return std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        }
    }
    return -1;
}

// Waits until the condition holds, at most limit; whether it came to hold.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= end) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

// A discovery answer of a device that takes its address automatically, as any host on the
// network can send one.
ByteBuffer DiscoveryAnswer(const std::string& name, std::uint16_t port) {
    ByteBuffer datagram(4 + 120, 0);
    datagram[3] = 0xF9;
    datagram[4 + 20] = static_cast<std::uint8_t>(port & 0xFF);
    datagram[4 + 21] = static_cast<std::uint8_t>(port >> 8);
    std::copy(name.begin(), name.begin() + static_cast<long>(std::min<std::size_t>(name.size(), 8)),
              datagram.begin() + 4 + 112);
    return datagram;
}

}  // namespace

TEST_F(NetnsTest, NetworkWaitsDisableTheMainWindowAndDispatchMessages) {
    const std::string segment = AddSegment({"10.77.1.1/24"});
    AddReader(segment, "10.77.1.100", {.configured = Ip("10.77.1.100")});
    // The application's side: one main window, a wait cursor, and a message queue whose
    // dispatch can run a handler once.
    kvara::test::FakeWindow window;
    window.isMainWindow = true;
    window.InstallPublic();

    EXPECT_EQ(Search(false).size(), 1u);
    EXPECT_GT(window.pumps, 100);  // at least every few milliseconds of the 500 ms window
    EXPECT_GT(window.disabledPumps, 0);
    EXPECT_TRUE(window.enabled);
    EXPECT_GT(window.cursorBegins, 0);
    EXPECT_EQ(window.cursorBegins, window.cursorEnds);

    // A handler that runs during a record query cannot use or close the same link meanwhile.
    const int handle = KvaraOpenConfigLink("10.77.1.100");
    ASSERT_GT(handle, 0);
    int nestedRead = 0;
    int nestedCode = 0;
    int nestedClose = 0;
    window.onNextPump = [&] {
        unsigned char inner[200];
        nestedRead = KvaraReadNetConfig(handle, 0, inner, sizeof inner);
        nestedCode = KvaraGetLastError(handle);
        nestedClose = KvaraCloseConfigLink(handle, 0);
    };
    unsigned char record[200];
    EXPECT_EQ(KvaraReadNetConfig(handle, 1, record, sizeof record), 120);
    EXPECT_EQ(nestedRead, -1);
    EXPECT_EQ(nestedCode, KVARA_ERROR_PORT_BUSY);
    EXPECT_EQ(nestedClose, -1);
    EXPECT_EQ(KvaraCloseConfigLink(handle, 0), 0);
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(window.cursorBegins, window.cursorEnds);
    window.Uninstall();
}

TEST_F(NetnsTest, SearchListsEveryReaderOnceInByteOrderAndFiltersTheMakersOnes) {
    // Segment 1: one adapter with two addresses, four devices. Segment 2: one more reader.
    const std::string first = AddSegment({"10.77.1.1/24", "10.77.1.2/24"});
    const std::string second = AddSegment({"10.77.2.1/24"});
    auto& fixed100 =
        AddReader(first, "10.77.1.100", {.configured = Ip("10.77.1.100"), .name = "A"});
    AddReader(first, "10.77.1.9", {.configured = Ip("10.77.1.9"), .name = "B"});
    AddReader(first, "10.77.1.33", {.name = "AB12"});
    AddReader(first, "10.77.1.50", {.configured = Ip("10.77.1.50"), .deviceText = "xp-9000"});
    auto& other = AddReader(second, "10.77.2.20", {.tcpPort = 4001, .name = "LAB2"});

    EXPECT_EQ(Search(false),
              (std::vector<std::string>{"10.77.1.100-10001", "10.77.1.50-10001", "10.77.1.9-10001",
                                        "[AB12]10.77.1.33-10001", "[LAB2]10.77.2.20-4001"}));
    EXPECT_EQ(Search(true), (std::vector<std::string>{"10.77.1.100-10001", "10.77.1.9-10001",
                                                      "[AB12]", "[LAB2]"}));

    // Each adapter broadcast through itself alone: the reader on segment 2 heard only
    // segment 2's address, the readers on segment 1 only segment 1's two.
    ASSERT_FALSE(other.net->Log().empty());
    for (const auto& received : other.net->Log()) {
        EXPECT_EQ(received.sender, Ip("10.77.2.1"));
    }
    int fromFirst = 0;
    int fromSecond = 0;
    for (const auto& received : fixed100.net->Log()) {
        EXPECT_NE(received.sender, Ip("10.77.2.1"));
        fromFirst += received.sender == Ip("10.77.1.1") ? 1 : 0;
        fromSecond += received.sender == Ip("10.77.1.2") ? 1 : 0;
    }
    EXPECT_GT(fromFirst, 0);
    EXPECT_GT(fromSecond, 0);

    // The list convention: entries that do not fit are left out; 1 byte gets the final zero.
    char tiny[1] = {'x'};
    EXPECT_EQ(KvaraFindLanReaders(tiny, 1), 1);
    EXPECT_EQ(tiny[0], '\0');
    const auto two = Search(false, 36);  // "10.77.1.100-10001" + "10.77.1.50-10001" + 3 zeros
    EXPECT_EQ(two, (std::vector<std::string>{"10.77.1.100-10001", "10.77.1.50-10001"}));
    const auto one = Search(false, 35);
    EXPECT_EQ(one, (std::vector<std::string>{"10.77.1.100-10001"}));
}

TEST_F(NetnsTest, NoAdapterOrNoAnswerFindsNothing) {
    EXPECT_EQ(Search(false), std::vector<std::string>{});  // no adapter at all
    const std::string segment = AddSegment({"10.77.1.1/24"});
    auto& silent = AddReader(segment, "10.77.1.5", {.configured = Ip("10.77.1.5")});
    silent.net->SetFault(SimNetFault{.silent = true});
    auto& shortRecord = AddReader(segment, "10.77.1.6", {.configured = Ip("10.77.1.6")});
    shortRecord.net->SetFault(SimNetFault{.recordBytes = 119});
    const auto start = Clock::now();
    EXPECT_EQ(Search(false), std::vector<std::string>{});
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));
}

TEST_F(NetnsTest, ReadersAreOpenedByAddressPortAndName) {
    const std::string segment = AddSegment({"10.77.3.1/24"});
    auto& fixed = AddReader(segment, "10.77.3.2", {.configured = Ip("10.77.3.2")});
    auto& named = AddReader(segment, "10.77.3.40", {.tcpPort = 4001, .name = "lab-1"});

    // No port: 10001.
    const int byAddress = KvaraOpenPort("10.77.3.2", 19200, 0, 300);
    EXPECT_GT(byAddress, 20000);
    EXPECT_EQ(fixed.tcp->Connections().size(), 1u);
    // The bracketed name is resolved first: its hyphen is no port separator.
    const int byName = KvaraOpenPort("[lab-1]", 19200, 0, 300);
    EXPECT_GT(byName, 20000);
    EXPECT_TRUE(DeviceTypeWorks(byName));
    EXPECT_EQ(named.tcp->Connections().size(), 1u);
    // A name with the address it was last seen at: the name counts.
    const int both = KvaraOpenPort("[lab-1]10.77.3.99-7:2", 19200, 0, 100);
    EXPECT_EQ(both, -11);  // found and connected (twice: before and after the recovery), but
                           // nobody answers at reader address 2
    EXPECT_TRUE(named.tcp->WaitForConnections(3));
    // A port nobody listens on, and a name nobody answers to.
    EXPECT_EQ(KvaraOpenPort("10.77.3.2-4001", 19200, 0, 100), -1);
    const auto start = Clock::now();
    EXPECT_EQ(KvaraOpenPort("[nobody]", 19200, 0, 100), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));  // 6 attempts of 200 ms
    KvaraClosePort(byAddress);
    KvaraClosePort(byName);
}

TEST_F(NetnsTest, AfterADropTheLinkReconnectsFromTheReadersPort) {
    const std::string segment = AddSegment({"10.77.3.1/24"});
    auto& reader = AddReader(segment, "10.77.3.2", {.configured = Ip("10.77.3.2")});
    const int handle = KvaraOpenPort("10.77.3.2", 19200, 0, 300);
    ASSERT_GT(handle, 0);
    reader.tcp->DropConnection();
    ASSERT_TRUE(DeviceTypeWorks(handle));
    auto peers = reader.tcp->Connections();
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_NE(peers[0], "10.77.3.1:10001");  // the first connect takes any free port
    EXPECT_EQ(peers[1], "10.77.3.1:10001");  // a reconnect leaves from the reader's port

    // When that port is taken on this side, the reconnect takes another one instead of losing
    // the command.
    const int blocker = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(10001);
    ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(blocker, 1), 0);
    reader.tcp->DropConnection();
    EXPECT_TRUE(DeviceTypeWorks(handle));
    peers = reader.tcp->Connections();
    ASSERT_EQ(peers.size(), 3u);
    EXPECT_NE(peers[2], "10.77.3.1:10001");
    close(blocker);
    KvaraClosePort(handle);
}

TEST_F(NetnsTest, ConfigurationLinkReadsRecordsAndClosesWithFinish) {
    const std::string segment = AddSegment({"10.77.4.1/24"});
    auto& reader =
        AddReader(segment, "10.77.4.10", {.configured = Ip("10.77.4.10"), .name = "CFG"});

    const int handle = KvaraOpenConfigLink("10.77.4.10-10001:5");
    ASSERT_GT(handle, 20000);
    unsigned char record[200];
    ASSERT_EQ(KvaraReadNetConfig(handle, 0, record, 120), 120);
    EXPECT_EQ(ByteBuffer(record, record + 4), (ByteBuffer{10, 77, 4, 10}));
    EXPECT_EQ(record[20] | record[21] << 8, 10001);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 112), 3), "CFG");
    EXPECT_EQ(KvaraReadNetConfig(handle, 2, record, 200), 128);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 93)), "KV-P20");

    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(KvaraReadNetConfig(handle, 0, record, 119), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 5);
    EXPECT_EQ(record[0], 0xEE);
    EXPECT_EQ(KvaraReadNetConfig(handle, 0, nullptr, 120), -1);
    EXPECT_EQ(KvaraReadNetConfig(handle, 16, record, 200), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(KvaraReadNetConfig(handle, -1, record, 200), -1);

    // The reader stops answering: code 4 after the window.
    reader.net->SetFault(SimNetFault{.silent = true});
    EXPECT_EQ(KvaraReadNetConfig(handle, 1, record, 200), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 4);
    reader.net->SetFault({});

    // It is no reader: commands time out, and it is closed only as a configuration link.
    EXPECT_FALSE(DeviceTypeWorks(handle));
    EXPECT_EQ(KvaraGetLastError(handle), 4);
    EXPECT_EQ(reader.net->FinishCount(), 0);
    EXPECT_EQ(KvaraCloseConfigLink(handle, 1), 0);
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
    EXPECT_EQ(KvaraCloseConfigLink(handle, 1), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 3);

    // A reader's handle is no configuration link.
    const int readerHandle = KvaraOpenPort("10.77.4.10", 19200, 0, 300);
    ASSERT_GT(readerHandle, 0);
    EXPECT_EQ(KvaraCloseConfigLink(readerHandle, 1), -1);
    EXPECT_EQ(KvaraReadNetConfig(readerHandle, 0, record, 200), -1);
    EXPECT_TRUE(DeviceTypeWorks(readerHandle));
    EXPECT_EQ(KvaraClosePort(readerHandle), 0);

    // Without finish, and by name; nobody answering gives -1.
    const int again = KvaraOpenConfigLink("10.77.4.10");
    EXPECT_GT(again, handle);  // the next id in turn, not the one given back
    EXPECT_EQ(KvaraCloseConfigLink(again, 0), 0);
    EXPECT_EQ(reader.net->FinishCount(), 1);
    EXPECT_EQ(KvaraOpenConfigLink("10.77.4.99"), -1);
    EXPECT_EQ(KvaraOpenConfigLink("[CFG]"), -1);  // a fixed-address reader is found by address
}

TEST_F(NetnsTest, HostileDatagramsAroundAnAnswerAreDropped) {
    const std::string segment = AddSegment({"10.77.4.1/24"});
    auto& reader = AddReader(segment, "10.77.4.10", {.configured = Ip("10.77.4.10")});
    const int handle = KvaraOpenConfigLink("10.77.4.10");
    ASSERT_GT(handle, 0);
    ByteBuffer tooShort(4 + 119, 0);
    tooShort[3] = 0xF9;
    ByteBuffer wrongCode(4 + 120, 0);
    wrongCode[3] = 0xD1;
    reader.net->SetFault(SimNetFault{.before = {ByteBuffer(1400, 0xF9), ByteBuffer{0x00, 0xF9},
                                                tooShort, wrongCode, ByteBuffer(600, 0x00)}});
    unsigned char record[600];
    EXPECT_EQ(KvaraReadNetConfig(handle, 0, record, sizeof record), 120);
    EXPECT_EQ(KvaraReadNetConfig(handle, 3, record, sizeof record), 120);
    EXPECT_EQ(KvaraCloseConfigLink(handle, 0), 0);
}

TEST_F(NetnsTest, SettingTheSameValuesWritesNothingButFinishes) {
    const std::string segment = AddSegment({"10.77.5.1/24"});
    auto& reader = AddReader(segment, "10.77.5.10",
                             {.configured = Ip("10.77.5.10"), .gateway = Ip("10.77.5.254")});
    EXPECT_EQ(
        KvaraSetNetworkConfig("10.77.5.10", "10.77.5.10-10001", "255.255.255.0", "10.77.5.254"), 0);
    const auto codes = Codes(reader);
    EXPECT_EQ(Count(codes, 0xFD), 0);
    EXPECT_EQ(Count(codes, 0xFC), 0);
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
}

TEST_F(NetnsTest, SettingPortMaskGatewayOrNameWritesRecordZero) {
    const std::string segment = AddSegment({"10.77.5.1/24"});
    auto& reader = AddReader(segment, "10.77.5.10", {.configured = Ip("10.77.5.10")});
    const ByteBuffer before = reader.net->Record(0);
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.5.10", "10.77.5.10-4002", "255.255.0.0", ""), 0);
    ByteBuffer after = reader.net->Record(0);
    EXPECT_EQ(after[20] | after[21] << 8, 4002);
    EXPECT_EQ(after[6], 16);
    EXPECT_EQ(Count(Codes(reader), 0xFC), 0);  // the address stayed: no IP-SETUP
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
    // Everything else came back as it was read.
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (i != 6 && i != 20 && i != 21) {
            EXPECT_EQ(after[i], before[i]) << "byte " << i;
        }
    }
    // No port and no mask: both stay; an empty gateway is written as 0.0.0.0.
    reader.net->SetRecord(0, [&] {
        ByteBuffer r = after;
        r[12] = 10;
        return r;
    }());
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.5.10", "10.77.5.10", "", ""), 0);
    after = reader.net->Record(0);
    EXPECT_EQ(after[12], 0);
    EXPECT_EQ(after[20] | after[21] << 8, 4002);
    EXPECT_EQ(after[6], 16);
}

TEST_F(NetnsTest, NewAddressGoesByIpSetupAndTheLinkFollowsTheReader) {
    const std::string segment = AddSegment({"10.77.6.1/24"});
    auto& reader =
        AddReader(segment, "10.77.6.10", {.configured = Ip("10.77.6.10"), .name = "MOVE"});
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.6.10-10001", "10.77.6.50-10001", "255.255.255.0", ""),
              0);
    EXPECT_EQ(reader.net->IpSetupCount(), 1);
    EXPECT_EQ(reader.net->Configured(), Ip("10.77.6.50"));
    EXPECT_EQ(reader.address, "10.77.6.50");
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
    // The finish went to the reader at its new address: the last datagram it received came
    // after the identity query and IP-SETUP, on the re-opened link.
    const auto codes = Codes(reader);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 0x03);
    EXPECT_EQ(Count(codes, 0xF6), 1);
    // It is reached at the new address.
    EXPECT_EQ(KvaraPing("10.77.6.50-10001"), 1);
    const int handle = KvaraOpenPort("10.77.6.50", 19200, 0, 300);
    EXPECT_GT(handle, 0);
    KvaraClosePort(handle);
}

TEST_F(NetnsTest, GoingOverToAnAutomaticAddressWithANewName) {
    const std::string segment = AddSegment({"10.77.6.1/24"});
    auto& reader =
        AddReader(segment, "10.77.6.10", {.configured = Ip("10.77.6.10"), .name = "OLD"});
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.6.10", "[NEWNAME1234]", "", ""), 0);
    EXPECT_EQ(reader.net->IpSetupCount(), 1);
    EXPECT_EQ(reader.net->Configured(), Ip("0.0.0.0"));
    EXPECT_EQ(reader.net->Name(), "NEWNAME1");  // cut to 8
    EXPECT_EQ(reader.net->TcpPort(), 10001);    // the name form carries no port
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
    // Now found by its new name.
    EXPECT_EQ(KvaraPing("[NEWNAME1]"), 1);
    const int handle = KvaraOpenPort("[NEWNAME1]", 19200, 0, 300);
    EXPECT_GT(handle, 0);
    KvaraClosePort(handle);
}

TEST_F(NetnsTest, WithoutTheReadersIdentityTheNewAddressIsWrittenIntoRecordZero) {
    const std::string segment = AddSegment({"10.77.6.1/24"});
    auto& reader = AddReader(segment, "10.77.6.10", {.configured = Ip("10.77.6.10")});
    reader.net->SetFault(SimNetFault{.noIdentity = true});
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.6.10", "10.77.6.60", "", ""), 0);
    EXPECT_EQ(reader.net->IpSetupCount(), 0);
    EXPECT_EQ(reader.net->Configured(), Ip("10.77.6.60"));  // taken up with the finish
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
}

TEST_F(NetnsTest, FailuresOfTheSetProcedure) {
    const std::string segment = AddSegment({"10.77.7.1/24"});
    auto& reader = AddReader(segment, "10.77.7.10", {.configured = Ip("10.77.7.10")});

    // Malformed texts: nothing at all is sent.
    for (const char* text : {"10.77.7.300", "", "[]", "10.77.7.11-70000", "name"}) {
        EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", text, "", ""), -1) << text;
    }
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", "10.77.7.10", "255.0.0", ""), -1);
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", "10.77.7.10", "", "gateway"), -1);
    EXPECT_TRUE(reader.net->Log().empty());

    // Writes that go unacknowledged: tried again; six failures give -1 and still a finish.
    reader.net->SetFault(SimNetFault{.unackedWrites = 2});
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", "10.77.7.10-4000", "", ""), 0);
    EXPECT_EQ(reader.net->TcpPort(), 4000);
    EXPECT_EQ(Count(Codes(reader), 0xFD), 3);
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
    reader.net->SetFault(SimNetFault{.unackedWrites = 6});
    reader.net->ClearLog();
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", "10.77.7.10-4001", "", ""), -1);
    EXPECT_EQ(Count(Codes(reader), 0xFD), 6);
    EXPECT_EQ(reader.net->TcpPort(), 4000);
    EXPECT_TRUE(reader.net->WaitForFinishes(2));

    // No answer to the record 0 query: -1 and nothing else.
    reader.net->SetFault(SimNetFault{.silent = true});
    reader.net->ClearLog();
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", "10.77.7.10-4002", "", ""), -1);
    for (int code : Codes(reader)) {
        EXPECT_EQ(code, 0xF8);
    }
    reader.net->SetFault({});

    // The reader takes IP-SETUP but cannot be reached at its new address: -1, no finish there.
    reader.net->OnAddressChange([](const kvara::sim::SimIpv4&) {});
    const int finishes = reader.net->FinishCount();
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.7.10", "10.77.7.77", "", ""), -1);
    EXPECT_EQ(reader.net->IpSetupCount(), 1);
    EXPECT_EQ(reader.net->FinishCount(), finishes);
}

TEST_F(NetnsTest, ReaderThatStoppedAnsweringIsRecoveredByItsModeByte) {
    const std::string segment = AddSegment({"10.77.8.1/24"});
    auto& reader = AddReader(segment, "10.77.8.10", {.configured = Ip("10.77.8.10")});
    reader.net->SetStuck(true);
    const int handle = KvaraOpenPort("10.77.8.10", 19200, 0, 50);
    EXPECT_GT(handle, 20000);
    EXPECT_EQ(reader.net->ModeByte(), 8);
    EXPECT_TRUE(DeviceTypeWorks(handle));
    KvaraClosePort(handle);

    // Stuck for good: the mode byte is switched back, and the open fails with -11.
    reader.net->SetStuck(true);
    reader.net->SetFault(SimNetFault{.unackedWrites = 100});
    reader.net->ClearLog();
    EXPECT_EQ(KvaraOpenPort("10.77.8.10", 19200, 0, 30), -11);
    EXPECT_EQ(Count(Codes(reader), 0xFD), 5);  // five write attempts in a row
}

TEST_F(NetnsTest, ReachabilityByEcho) {
    const std::string segment = AddSegment({"10.77.9.1/24"});
    AddReader(segment, "10.77.9.10", {.name = "PING"});
    // The kernel answers on the reader's side; the library uses a raw socket here (the new
    // namespace allows no ICMP datagram sockets), then a datagram socket once allowed.
    EXPECT_EQ(KvaraPing("10.77.9.10"), 1);
    EXPECT_EQ(KvaraPing("10.77.9.10-10001:2"), 1);
    EXPECT_EQ(KvaraPing("[PING]"), 1);
    ASSERT_TRUE(Sysctl(lib, "net.ipv4.ping_group_range='0 2147483647'"));
    EXPECT_EQ(KvaraPing("10.77.9.10"), 1);
    const auto start = Clock::now();
    EXPECT_EQ(KvaraPing("10.77.9.11"), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(KvaraPing("[nobody]"), 0);
    EXPECT_EQ(KvaraPing("no-such-host.invalid"), 0);

    // Replies made by the reader itself, intact and changed on the way.
    auto& own = AddReader(segment, "10.77.9.20", {});
    ASSERT_TRUE(Sysctl(own.ns, "net.ipv4.icmp_echo_ignore_all=1"));
    EXPECT_EQ(KvaraPing("10.77.9.20"), 0);
    EnterNamespace(own.ns);
    auto intact = std::make_unique<kvara::sim::SimIcmpResponder>(false);
    ASSERT_TRUE(intact->Start());
    EnterLibrary();
    EXPECT_EQ(KvaraPing("10.77.9.20"), 1);
    intact->Stop();
    EnterNamespace(own.ns);
    kvara::sim::SimIcmpResponder altered(true);
    ASSERT_TRUE(altered.Start());
    EnterLibrary();
    EXPECT_EQ(KvaraPing("10.77.9.20"), 0);
    EXPECT_GE(altered.Answered(), 1);
}

TEST_F(NetnsTest, WithoutAnIcmpServiceEveryCheckFails) {
    // A child without CAP_NET_RAW in a namespace that allows no ICMP datagram sockets.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (syscall(SYS_capget, &header, data) != 0) {
            _exit(10);
        }
        data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
        if (syscall(SYS_capset, &header, data) != 0) {
            _exit(11);
        }
        _exit(KvaraPing("127.0.0.1") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(KvaraPing("127.0.0.1"), 1);  // with the raw socket
}

TEST_F(NetnsTest, EveryNetworkFunctionSurvivesBadArguments) {
    // No adapter: nothing leaves, and every search is over at once.
    char buffer[64];
    EXPECT_EQ(KvaraFindLanReaders(nullptr, 64), 0);
    EXPECT_EQ(KvaraFindLanReaders(buffer, 0), 0);
    EXPECT_EQ(KvaraFindLanReaders(buffer, -7), 0);
    EXPECT_EQ(KvaraFindLanReadersEx(nullptr, 64), 0);
    EXPECT_EQ(KvaraFindLanReadersEx(buffer, INT_MIN), 0);
    EXPECT_EQ(KvaraFindLanReadersEx(buffer, 64), 1);

    const std::string huge(100000, '[');
    const std::string hostile = "\xFF\x01[\x80]-:99999999999999";
    for (const char* name : {static_cast<const char*>(nullptr), "", "[", "[]", "]", "-", ":",
                             "1.2.3.4-99999", huge.c_str(), hostile.c_str()}) {
        EXPECT_EQ(KvaraPing(name), 0);
        EXPECT_EQ(KvaraOpenConfigLink(name), -1);
        EXPECT_EQ(KvaraSetNetworkConfig(name, "10.0.0.1", "", ""), -1);
        EXPECT_EQ(KvaraSetNetworkConfig("10.0.0.1", name, nullptr, nullptr), -1);
    }
    EXPECT_EQ(KvaraSetNetworkConfig("10.0.0.1", "10.0.0.2", nullptr, nullptr), -1);
    for (int handle : {0, -1, 1, 10001, 20001, 29999, INT_MAX, INT_MIN}) {
        unsigned char record[200];
        EXPECT_EQ(KvaraReadNetConfig(handle, 0, record, 200), -1);
        EXPECT_EQ(KvaraReadNetConfig(handle, -5, nullptr, -5), -1);
        EXPECT_EQ(KvaraCloseConfigLink(handle, 1), -1);
        EXPECT_EQ(KvaraGetLastError(handle), 3) << handle;
    }
}

TEST_F(NetnsTest, ConfigurationAnswersCountOnlyFromTheReadersAddressAndPort) {
    const std::string segment = AddSegment({"10.77.10.1/24"});
    auto& reader = AddReader(segment, "10.77.10.10", {.configured = Ip("10.77.10.10")});
    const std::string otherHost = AddReaderNamespace(segment, "10.77.10.20/24");
    const UdpPeer stranger = BindUdp(otherHost, "10.77.10.20", 30718);
    const UdpPeer sidePort = BindUdp(reader.ns, "10.77.10.10", 30719);

    // The reader leaves its first two writes unanswered. Each write is at once "acknowledged"
    // by someone else: first another host on the network, then another port of the reader's
    // own host. Only the reader's own acknowledgement of the third write counts.
    reader.net->SetFault(SimNetFault{.unackedWrites = 2});
    const ByteBuffer ack = {0x00, 0x00, 0x00, 0xFB};
    int forged = 0;
    {
        PumpSteps steps([&] {
            const int writes = Count(Codes(reader), 0xFD);
            if (writes > forged && forged < 2) {
                const UdpPeer& from = forged == 0 ? stranger : sidePort;
                EXPECT_TRUE(from.SendTo("10.77.10.1", 30718, ack));
                ++forged;
            }
        });
        EXPECT_EQ(KvaraSetNetworkConfig("10.77.10.10", "10.77.10.10-4000", "", ""), 0);
    }
    EXPECT_EQ(forged, 2);
    EXPECT_EQ(Count(Codes(reader), 0xFD), 3);
    EXPECT_EQ(reader.net->TcpPort(), 4000);  // written for real
    EXPECT_TRUE(reader.net->WaitForFinishes(1));
}

TEST_F(NetnsTest, DatagramsThatCameWhileALinkWasIdleAreNoAnswers) {
    const std::string segment = AddSegment({"10.77.11.1/24"});
    auto& reader = AddReader(segment, "10.77.11.10", {.configured = Ip("10.77.11.10")});
    const int handle = KvaraOpenConfigLink("10.77.11.10");
    ASSERT_GT(handle, 0);

    // Every answer comes twice; the second copy of record 1 arrives after the read is over.
    reader.net->SetFault(SimNetFault{.repeat = 2, .repeatGapMs = 50});
    unsigned char record[200];
    ASSERT_EQ(KvaraReadNetConfig(handle, 1, record, sizeof record), 120);
    EXPECT_EQ(record[0], 1);
    WaitUntil([] { return ReceiveQueueBytes(30718) > 0; }, std::chrono::seconds(2));
    // Meanwhile record 1 has changed: the next read gets what the reader holds now, not the
    // copy left over from the read before.
    reader.net->SetFault({});
    reader.net->SetRecord(1, ByteBuffer(120, 0x42));
    ASSERT_EQ(KvaraReadNetConfig(handle, 1, record, sizeof record), 120);
    EXPECT_EQ(record[0], 0x42);
    EXPECT_EQ(KvaraCloseConfigLink(handle, 0), 0);
}

TEST_F(NetnsTest, GoingOverToAnAutomaticAddressTheSameReaderIsFoundAgain) {
    const std::string segment = AddSegment({"10.77.12.1/24"});
    // The reader to configure has no name; another unnamed reader on the network already takes
    // its address automatically, and answers sooner than it.
    auto& target = AddReader(segment, "10.77.12.10", {.configured = Ip("10.77.12.10"), .name = ""});
    target.net->SetFault(SimNetFault{.delayMs = 100});
    auto& other = AddReader(segment, "10.77.12.20",
                            {.name = "", .mac = {0x00, 0x20, 0x4A, 0x00, 0x00, 0x02}});
    const ByteBuffer otherRecord = other.net->Record(0);

    EXPECT_EQ(KvaraSetNetworkConfig("10.77.12.10", "[NEW]", "", ""), 0);
    EXPECT_EQ(target.net->IpSetupCount(), 1);
    EXPECT_EQ(target.net->Configured(), Ip("0.0.0.0"));
    EXPECT_EQ(target.net->Name(), "NEW");
    EXPECT_TRUE(target.net->WaitForFinishes(1));
    EXPECT_EQ(other.net->Record(0), otherRecord);
    EXPECT_EQ(Count(Codes(other), 0xFD), 0);
    EXPECT_EQ(other.net->FinishCount(), 0);

    // Two readers answer with the identity the IP-SETUP carried: neither can be told to be the
    // one configured, so nothing is written and no finish is sent.
    const kvara::sim::SimMac shared = {0x00, 0x20, 0x4A, 0x00, 0x00, 0x03};
    auto& fixed =
        AddReader(segment, "10.77.12.30", {.configured = Ip("10.77.12.30"), .mac = shared});
    auto& twin = AddReader(segment, "10.77.12.40", {.mac = shared});  // automatic address
    fixed.net->SetFault(SimNetFault{.delayMs = 100});
    const ByteBuffer twinRecord = twin.net->Record(0);
    EXPECT_EQ(KvaraSetNetworkConfig("10.77.12.30", "[AUTO]", "", ""), -1);
    EXPECT_EQ(fixed.net->IpSetupCount(), 1);
    EXPECT_EQ(Count(Codes(fixed), 0xFD), 0);
    EXPECT_EQ(Count(Codes(twin), 0xFD), 0);
    EXPECT_EQ(twin.net->Record(0), twinRecord);
    EXPECT_EQ(fixed.net->FinishCount() + twin.net->FinishCount(), 0);
}

TEST_F(NetnsTest, SearchListsOnlyEntriesThatOpenTheReader) {
    const std::string segment = AddSegment({"10.77.13.1/24"});
    // Readers taking their addresses automatically, with names that cannot stand in an
    // address text, one with a usable name, and one that reports TCP port 0.
    AddReader(segment, "10.77.13.11",
              {.name = "A\x01"
                       "B"});
    AddReader(segment, "10.77.13.12", {.name = "X]Y"});
    AddReader(segment, "10.77.13.13", {.name = ""});
    AddReader(segment, "10.77.13.14", {.name = "A:1"});
    AddReader(segment, "10.77.13.15", {.name = "GOOD"});
    AddReader(segment, "10.77.13.16", {.name = "ZERO"}).net->SetTcpPort(0);

    const auto all = Search(false);
    EXPECT_EQ(all, (std::vector<std::string>{"10.77.13.11-10001", "10.77.13.12-10001",
                                             "10.77.13.13-10001", "10.77.13.14-10001",
                                             "[GOOD]10.77.13.15-10001"}));
    const auto makers = Search(true);
    EXPECT_EQ(makers,
              (std::vector<std::string>{"10.77.13.11-10001", "10.77.13.12-10001",
                                        "10.77.13.13-10001", "10.77.13.14-10001", "[GOOD]"}));
    for (const auto& list : {all, makers}) {
        for (const auto& entry : list) {
            const int handle = KvaraOpenPort(entry.c_str(), 19200, 0, 300);
            EXPECT_GT(handle, 20000) << entry;
            KvaraClosePort(handle);
        }
    }
    // An empty name is no name: it does not find an unnamed reader.
    EXPECT_EQ(KvaraOpenConfigLink("[]"), -1);
}

TEST_F(NetnsTest, SearchEndsWithinItsLimitWhileAHostKeepsAnswering) {
    const std::string segment = AddSegment({"10.77.14.1/24"});
    AddReader(segment, "10.77.14.10", {.configured = Ip("10.77.14.10")});
    // A host that answers every discovery, and then some, with ever new devices.
    const std::string flooder = AddReaderNamespace(segment, "10.77.14.50/24");
    UdpPeer host = BindUdp(flooder, "10.77.14.50", 30718);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        for (int n = 0; !stop.load(); ++n) {
            // A new device every 2 ms; what the library sends to the host goes unanswered.
            pollfd incoming = {host.Fd(), POLLIN, 0};
            if (poll(&incoming, 1, 2) > 0) {
                std::uint8_t query[600];
                recv(host.Fd(), query, sizeof query, 0);
            }
            host.SendTo("10.77.14.1", 30718, DiscoveryAnswer("F" + std::to_string(n), 10001));
        }
    });
    const auto start = Clock::now();
    const auto makers = Search(true);
    const auto took = Clock::now() - start;
    stop = true;
    flood.join();
    EXPECT_LT(took, std::chrono::milliseconds(10000 + 1500));
    // The reader with a fixed address sorts first and is checked before time runs out.
    ASSERT_FALSE(makers.empty());
    EXPECT_EQ(makers.front(), "10.77.14.10-10001");
}
