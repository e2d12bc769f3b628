// SPDX-License-Identifier: MIT
// The TCP link and the datagram endpoint from inside the library: the worker's start and stop,
// a reader behind a router, a name resolved on the worker, the discovery window, the search over
// every adapter, and the kinds of ICMP socket.
#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/discovery.h"
#include "net/ping.h"
#include "net/tcp_link.h"
#include "netns_fixture.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"
#include "tests/support/fake_window.h"

using kvara::ByteBuffer;
using kvara::StringList;
using kvara::net::CDatagramEndpoint;
using kvara::net::CPing;
using kvara::net::CTCPSocketThread;
using kvara::sim::SimNetFault;
using kvara::test::Ip;
using kvara::test::NetnsTest;
using kvara::test::UdpPeer;
using Clock = std::chrono::steady_clock;

namespace {

// Collects what a link receives.
class Collector : public kvara::CByteReceiver {
public:
    void OnByteReceived(std::uint8_t byte) override {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_bytes.push_back(byte);
        }
        m_arrived.notify_all();
    }
    // The bytes once at least count have arrived, or what came within the limit.
    ByteBuffer WaitFor(std::size_t count, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> guard(m_lock);
        m_arrived.wait_for(guard, limit, [&] { return m_bytes.size() >= count; });
        return m_bytes;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    ByteBuffer m_bytes;
};

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// A discovery answer: record 0 with a configured address, a TCP port and a name.
ByteBuffer AnswerOf(const std::string& configured, std::uint16_t port,
                    const std::string& name = "") {
    ByteBuffer datagram(4 + 120, 0);
    datagram[3] = 0xF9;
    const kvara::sim::SimIpv4 address = Ip(configured);
    std::copy(address.begin(), address.end(), datagram.begin() + 4);
    datagram[4 + 20] = static_cast<std::uint8_t>(port & 0xFF);
    datagram[4 + 21] = static_cast<std::uint8_t>(port >> 8);
    std::copy(name.begin(), name.end(), datagram.begin() + 4 + 112);
    return datagram;
}

// Virtual time for the datagram waits of one endpoint. It moves on by 10 ms each time a wait
// dispatches messages, which every pass of a wait does once, and the test's answers go out at
// the virtual times it chooses: each from a socket on the segment, the step returning only
// once the answer is ready to be read at the library's endpoint. What a wait sees therefore
// depends on virtual time alone, however slowly the machine runs.
class VirtualTime {
public:
    explicit VirtualTime(CDatagramEndpoint& socket) : m_socket(socket) {
        socket.SetClock([this] { return m_now; });
        m_pump.onEveryPump = [this] { return Step(); };
        m_pump.Install();
    }
    ~VirtualTime() {
        m_pump.Uninstall();
        m_socket.SetClock([] { return Clock::now(); });
    }
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    // Virtual milliseconds since the start (or the last restart).
    int ElapsedMs() const {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_now - m_start).count());
    }
    // Starts counting again, with nothing to do at the steps.
    void Restart() {
        m_start = m_now;
        atStep = nullptr;
    }
    // Sends a datagram to the endpoint and returns once it can be read there.
    void Deliver(const UdpPeer& from, const ByteBuffer& bytes) {
        ASSERT_TRUE(m_socket.IsValid());
        ASSERT_TRUE(from.SendTo(m_socket.LocalAddress(), 30718, bytes));
        pollfd ready = {m_socket.Handle(), POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 5000), 1) << "the datagram did not arrive";
    }

    // Run at every step with the virtual milliseconds elapsed.
    std::function<void(int)> atStep;

private:
    bool Step() {
        m_now += std::chrono::milliseconds(10);
        if (atStep) {
            atStep(ElapsedMs());
        }
        return false;
    }

    kvara::test::FakeWindow m_pump;
    CDatagramEndpoint& m_socket;
    Clock::time_point m_now = Clock::now();
    Clock::time_point m_start = m_now;
};

}  // namespace

TEST(TcpLink, StartStopAndTheWorkersEnd) {
    auto reader = std::make_shared<kvara::sim::SimReader>();
    kvara::sim::SimTcpServer server(reader);
    ASSERT_TRUE(server.Start());
    const std::string name = "127.0.0.1-" + std::to_string(server.Port());

    CTCPSocketThread never;
    auto start = Clock::now();
    never.Stop();
    never.Stop();
    EXPECT_LT(Since(start), std::chrono::milliseconds(50));
    EXPECT_EQ(never.GetLinkId(), 0);
    EXPECT_TRUE(never.QueueSend(nullptr, 5));
    const std::uint8_t frame[5] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
    EXPECT_TRUE(never.QueueSend(frame, 5));  // no worker: dropped, like a failed send

    Collector collector;
    CTCPSocketThread link;
    link.SetReceiver(&collector);
    ASSERT_TRUE(link.Start(name));
    EXPECT_TRUE(link.IsWorkerRunning());
    const int id = link.GetLinkId();
    EXPECT_GT(id, 20000);
    EXPECT_TRUE(link.QueueSend(frame, 5));
    // The answer arrives through the worker.
    EXPECT_EQ(collector.WaitFor(9, std::chrono::seconds(2)),
              (ByteBuffer{0x02, 0x01, 0x00, 0x04, '3', '1', '2', '0', 0x05}));

    // The reader closes the connection; Stop on the closed link returns at once.
    server.DropConnection();
    start = Clock::now();
    link.Stop();
    EXPECT_LT(Since(start), std::chrono::milliseconds(100));
    EXPECT_FALSE(link.IsWorkerRunning());
    EXPECT_EQ(link.GetLinkId(), id);  // kept until the object goes

    // A refused connect ends the worker, and Start says so.
    CTCPSocketThread refused;
    EXPECT_FALSE(refused.Start("127.0.0.1-1"));
    EXPECT_FALSE(refused.IsWorkerRunning());
    EXPECT_EQ(refused.GetLinkId(), 0);

    // Destroying a running link ends its worker first.
    {
        CTCPSocketThread running;
        ASSERT_TRUE(running.Start(name));
        EXPECT_TRUE(running.IsWorkerRunning());
    }
    server.Stop();
}

TEST_F(NetnsTest, ReaderBehindARouterIsNeverConnected) {
    const std::string segment = AddSegment({"10.77.3.1/24"});
    auto& router = AddReader(segment, "10.77.3.2", {.configured = Ip("10.77.3.2")});
    ASSERT_TRUE(kvara::test::RunQuietly("ip -n " + router.ns + " addr add 10.99.0.5/32 dev lo"));
    ASSERT_TRUE(kvara::test::RunQuietly("ip -n " + lib + " route add 10.99.0.0/16 via 10.77.3.2"));

    CTCPSocketThread link;
    const auto start = Clock::now();
    EXPECT_FALSE(link.Start("10.99.0.5"));
    // Six attempts to create a socket for an adapter that does not exist, 200 ms apart.
    EXPECT_GE(Since(start), std::chrono::milliseconds(900));
    EXPECT_LT(Since(start), std::chrono::milliseconds(3000));
    EXPECT_TRUE(router.tcp->Connections().empty());
    // The same reader on its own segment is reached.
    CTCPSocketThread direct;
    EXPECT_TRUE(direct.Start("10.77.3.2"));
    EXPECT_TRUE(router.tcp->WaitForConnections(1));
}

TEST_F(NetnsTest, WorkerResolvesANameWithoutDispatchingWindowMessages) {
    const std::string segment = AddSegment({"10.77.3.1/24"});
    auto& named = AddReader(segment, "10.77.3.40", {.tcpPort = 4001, .name = "lab-1"});
    kvara::test::FakeWindow pump;
    pump.Install();

    CTCPSocketThread link;
    const bool started = link.Start("[lab-1]");
    pump.Uninstall();
    EXPECT_TRUE(started);
    EXPECT_TRUE(named.tcp->WaitForConnections(1));
    // Start dispatches the caller's messages while it waits; the worker, resolving the name
    // meanwhile, has none to dispatch.
    const auto threads = pump.PumpThreads();
    EXPECT_FALSE(threads.empty());
    EXPECT_EQ(std::count(threads.begin(), threads.end(), std::this_thread::get_id()),
              static_cast<std::ptrdiff_t>(threads.size()));
}

TEST_F(NetnsTest, DiscoveryWindowRestartsWithEveryAnswerButNotForever) {
    const std::string segment = AddSegment({"10.77.2.1/24"});
    const UdpPeer reader = BindUdp(AddReaderNamespace(segment, "10.77.2.5/24"), "10.77.2.5", 30718);
    CDatagramEndpoint socket;
    ASSERT_TRUE(socket.EnumerateAdapters());
    ASSERT_EQ(socket.Adapters().size(), 1u);
    ASSERT_TRUE(socket.SelectFirstAdapter());
    VirtualTime time(socket);

    // Five answers 150 ms apart keep a 200 ms window open for all of them: it ends 200 ms
    // after the pass that took the last one.
    time.atStep = [&](int ms) {
        if (ms % 150 == 0 && ms <= 750) {
            time.Deliver(reader,
                         AnswerOf("10.77.2.5", static_cast<std::uint16_t>(1000 + ms / 150)));
        }
    };
    StringList list;
    EXPECT_EQ(socket.DiscoverOnAdapter(list, 200, false), 5);
    EXPECT_EQ(list.front(), "10.77.2.5-1001");
    EXPECT_EQ(list.back(), "10.77.2.5-1005");
    EXPECT_EQ(time.ElapsedMs(), 760 + 200);

    // A device that never stops answering is cut off at the limit.
    time.Restart();
    time.atStep = [&](int ms) {
        if (ms % 50 == 0) {
            time.Deliver(reader, AnswerOf("10.77.2.5", 10001));
        }
    };
    list.clear();
    EXPECT_EQ(socket.DiscoverOnAdapter(list, 200, false, 1000), 1);
    EXPECT_EQ(time.ElapsedMs(), 1000);

    // Name resolution does not restart its window, and takes the first match. A reader with a
    // fixed address has no name to be found by.
    auto fixedAnswers = [&](int ms) {
        if (ms % 50 == 0) {
            time.Deliver(reader, AnswerOf("10.77.2.5", 10001, "LAB"));
        }
    };
    time.Restart();
    time.atStep = fixedAnswers;
    EXPECT_EQ(socket.ResolveOnAdapter("[LAB]"), "");
    EXPECT_EQ(time.ElapsedMs(), 200);
    time.Restart();
    time.atStep = [&](int ms) {
        fixedAnswers(ms);
        if (ms == 100 || ms == 120) {
            time.Deliver(reader, AnswerOf("0.0.0.0", static_cast<std::uint16_t>(4000 + ms), "LAB"));
        }
    };
    EXPECT_EQ(socket.ResolveOnAdapter("[LAB]"), "10.77.2.5-4100");
    EXPECT_EQ(time.ElapsedMs(), 110);
    EXPECT_EQ(kvara::net::ResolveAddress(socket, "10.77.2.5-10001"), "10.77.2.5-10001");
    EXPECT_EQ(kvara::net::ResolveAddress(socket, ""), "");
}

TEST_F(NetnsTest, SearchSharesItsTimeLimitBetweenAdapters) {
    const std::string first = AddSegment({"10.77.2.1/24"});
    const std::string second = AddSegment({"10.77.3.1/24"});
    const UdpPeer endless = BindUdp(AddReaderNamespace(first, "10.77.2.5/24"), "10.77.2.5", 30718);
    const UdpPeer reader = BindUdp(AddReaderNamespace(second, "10.77.3.5/24"), "10.77.3.5", 30718);
    CDatagramEndpoint socket;
    VirtualTime time(socket);
    // One network answers without end; the other has one reader, which answers once.
    bool answered = false;
    time.atStep = [&](int) {
        if (socket.IsValid() && socket.LocalAddress() == "10.77.2.1") {
            time.Deliver(endless, AnswerOf("10.77.2.5", 10001));
        } else if (socket.IsValid() && socket.LocalAddress() == "10.77.3.1" && !answered) {
            time.Deliver(reader, AnswerOf("10.77.3.5", 10001));
            answered = true;
        }
    };
    StringList list;
    EXPECT_EQ(kvara::net::SearchAllAdapters(socket, list, 500, false), 2);
    EXPECT_EQ(list, (StringList{"10.77.2.5-10001", "10.77.3.5-10001"}));
    EXPECT_LE(time.ElapsedMs(), kvara::net::kSearchLimitMs);
    EXPECT_EQ(socket.Deadline(), CDatagramEndpoint::Clock::time_point::max());
}

TEST_F(NetnsTest, EchoThroughEitherKindOfIcmpSocket) {
    CPing none(CPing::Service::kNone);
    EXPECT_FALSE(none.HasService());
    EXPECT_FALSE(none.Ping("127.0.0.1", nullptr, 30, 200, 16, 0, true));
    EXPECT_EQ(none.LastError(), kvara::net::kPingNoService);

    // A new namespace allows no ICMP datagram sockets; root may open raw ones.
    CPing datagramOnly(CPing::Service::kDatagramOnly);
    EXPECT_FALSE(datagramOnly.HasService());
    CPing raw(CPing::Service::kRawOnly);
    ASSERT_TRUE(raw.HasService());
    CPing::Reply reply;
    EXPECT_TRUE(raw.Ping("127.0.0.1", &reply, 30, 200, 16, 0, true));
    EXPECT_EQ(reply.address, Ip("127.0.0.1"));
    EXPECT_TRUE(raw.Ping("localhost", nullptr, 30, 200, 0, 0, false));
    EXPECT_FALSE(raw.Ping("127.0.0.1", nullptr, 30, 200, -1, 0, true));
    EXPECT_EQ(raw.LastError(), kvara::net::kPingNoMemory);
    EXPECT_FALSE(raw.Ping("", nullptr, 30, 200, 16, 0, true));
    EXPECT_EQ(raw.LastError(), kvara::net::kPingNoHost);

    ASSERT_TRUE(Sysctl(lib, "net.ipv4.ping_group_range='0 2147483647'"));
    CPing any;
    EXPECT_TRUE(any.UsesDatagramSocket());
    EXPECT_TRUE(any.Ping("127.0.0.1", &reply, 30, 200, 16, 0, true));
    EXPECT_TRUE(any.Ping("127.0.0.1", nullptr, 30, 200, 1400, 0, true));
    EXPECT_FALSE(any.Ping("127.0.0.2", nullptr, 30, 200, 70000, 0, true));
}
