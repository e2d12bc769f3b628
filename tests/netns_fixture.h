// SPDX-License-Identifier: MIT
// Network namespaces that a test makes for itself: one for the library (the "computer") and one
// per simulated reader, joined by veth pairs to bridges in the library's namespace, which serve
// as its network adapters. Nothing a test sends leaves these namespaces; broadcasts included.
//
// The test thread moves between the namespaces with setns(): sockets belong to the namespace
// they were made in, and threads inherit the namespace of the thread that starts them. So a
// simulated reader is started while the thread is in the reader's namespace, and the library
// is called from the library's. Needs root (or CAP_SYS_ADMIN and CAP_NET_ADMIN); without it the
// tests skip.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/net_reader.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"
#include "sim/udp_server.h"

namespace kvara::test {

// Runs a shell command quietly; true when it exited with 0.
inline bool RunQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A simulated network reader: the command model on a TCP port and the datagram side on UDP
// 30718, both listening on every address of its namespace.
struct NetworkReader {
    std::string ns;
    std::string address;  // its interface address
    std::shared_ptr<sim::SimReader> reader;
    std::shared_ptr<sim::SimNetReader> net;
    std::unique_ptr<sim::SimTcpServer> tcp;
    std::unique_ptr<sim::SimUdpServer> udp;

    void Stop() {
        if (udp) {
            udp->Stop();
        }
        if (tcp) {
            tcp->Stop();
        }
    }
};

// A UDP socket of the test's own, bound inside a namespace: another host on a segment, or
// another program on a reader's host. It keeps its namespace wherever it is used from.
class UdpPeer {
public:
    UdpPeer() = default;
    explicit UdpPeer(int fd) : m_fd(fd) {}
    UdpPeer(UdpPeer&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UdpPeer& operator=(UdpPeer&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~UdpPeer() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    bool SendTo(const std::string& address, std::uint16_t port, const ByteBuffer& bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        if (m_fd < 0 || inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) {
            return false;
        }
        return sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof to) == static_cast<ssize_t>(bytes.size());
    }

private:
    int m_fd = -1;
};

class NetnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "network namespaces need root";
        }
        m_original = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        m_prefix = "kvt" + std::to_string(getpid());
        lib = m_prefix + "l";
        if (m_original < 0 || !RunQuietly("ip netns add " + lib)) {
            GTEST_SKIP() << "cannot create network namespaces here";
        }
        m_namespaces.push_back(lib);
        ASSERT_TRUE(RunQuietly("ip -n " + lib + " link set lo up"));
        EnterLibrary();
    }

    void TearDown() override {
        for (auto& reader : readers) {
            reader->Stop();
        }
        readers.clear();
        if (m_original >= 0) {
            setns(m_original, CLONE_NEWNET);
            close(m_original);
            m_original = -1;
        }
        for (const auto& ns : m_namespaces) {
            RunQuietly("ip netns del " + ns);
        }
    }

    // A network segment: a bridge in the library's namespace with the given addresses
    // ("10.77.1.1/24"), which the library sees as one adapter. Returns its name.
    std::string AddSegment(const std::vector<std::string>& libraryAddresses) {
        const std::string bridge = "br" + std::to_string(++m_segments);
        EXPECT_TRUE(RunQuietly("ip -n " + lib + " link add " + bridge + " type bridge"));
        for (const auto& address : libraryAddresses) {
            EXPECT_TRUE(RunQuietly("ip -n " + lib + " addr add " + address + " dev " + bridge));
        }
        EXPECT_TRUE(RunQuietly("ip -n " + lib + " link set " + bridge + " up"));
        return bridge;
    }

    // A reader namespace on a segment, its interface eth0 with the address ("10.77.1.9/24").
    std::string AddReaderNamespace(const std::string& segment, const std::string& address) {
        const std::string index = std::to_string(++m_readers);
        const std::string ns = m_prefix + "r" + index;
        const std::string port = "p" + index;
        EXPECT_TRUE(RunQuietly("ip netns add " + ns));
        m_namespaces.push_back(ns);
        EXPECT_TRUE(RunQuietly("ip -n " + ns + " link set lo up"));
        EXPECT_TRUE(RunQuietly("ip -n " + lib + " link add " + port +
                               " type veth peer name eth0 netns " + ns));
        EXPECT_TRUE(
            RunQuietly("ip -n " + lib + " link set " + port + " master " + segment + " up"));
        EXPECT_TRUE(RunQuietly("ip -n " + ns + " addr add " + address + " dev eth0"));
        EXPECT_TRUE(RunQuietly("ip -n " + ns + " link set eth0 up"));
        return ns;
    }

    // A simulated reader in a namespace of its own on the segment, serving its TCP port and the
    // datagram port. IP-SETUP moves its interface address (an automatic one keeps it).
    NetworkReader& AddReader(const std::string& segment, const std::string& address,
                             sim::SimNetConfig config, sim::SimConfig readerConfig = {}) {
        auto reader = std::make_unique<NetworkReader>();
        reader->ns = AddReaderNamespace(segment, address + "/24");
        reader->address = address;
        reader->reader = std::make_shared<sim::SimReader>(readerConfig);
        reader->net = std::make_shared<sim::SimNetReader>(config);
        const std::string ns = reader->ns;
        auto* current = reader.get();
        reader->net->OnAddressChange([ns, current](const sim::SimIpv4& to) {
            if (to == sim::SimIpv4{}) {
                return;  // DHCP: the reader keeps the address it has
            }
            const std::string text = std::to_string(to[0]) + "." + std::to_string(to[1]) + "." +
                                     std::to_string(to[2]) + "." + std::to_string(to[3]);
            // The old address goes first: removing a primary address removes the secondary
            // ones of its subnet with it.
            RunQuietly("ip -n " + ns + " addr del " + current->address + "/24 dev eth0");
            RunQuietly("ip -n " + ns + " addr add " + text + "/24 dev eth0");
            current->address = text;
        });
        EnterNamespace(ns);
        auto net = reader->net;
        reader->tcp =
            std::make_unique<sim::SimTcpServer>(reader->reader, [net] { return net->Answering(); });
        EXPECT_TRUE(reader->tcp->Start("0.0.0.0", config.tcpPort));
        reader->udp = std::make_unique<sim::SimUdpServer>(reader->net);
        EXPECT_TRUE(reader->udp->Start());
        EnterLibrary();
        readers.push_back(std::move(reader));
        return *readers.back();
    }

    void EnterLibrary() { EnterNamespace(lib); }

    void EnterNamespace(const std::string& ns) {
        const int fd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << ns;
        ASSERT_EQ(setns(fd, CLONE_NEWNET), 0) << ns;
        close(fd);
    }

    // A UDP socket bound to address and port inside a namespace (closed when it cannot be had).
    UdpPeer BindUdp(const std::string& ns, const std::string& address, std::uint16_t port) {
        EnterNamespace(ns);
        UdpPeer peer(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        EnterLibrary();
        sockaddr_in bound{};
        bound.sin_family = AF_INET;
        bound.sin_port = htons(port);
        inet_pton(AF_INET, address.c_str(), &bound.sin_addr);
        const int on = 1;
        if (!peer.IsOpen() ||
            setsockopt(peer.Fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
            bind(peer.Fd(), reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
            ADD_FAILURE() << "cannot bind " << address << ":" << port << " in " << ns;
            return {};
        }
        return peer;
    }

    // Sets a sysctl inside a namespace.
    bool Sysctl(const std::string& ns, const std::string& setting) {
        return RunQuietly("ip netns exec " + ns + " sysctl -qw " + setting);
    }

    std::string lib;
    std::vector<std::unique_ptr<NetworkReader>> readers;

private:
    int m_original = -1;
    std::string m_prefix;
    int m_segments = 0;
    int m_readers = 0;
    std::vector<std::string> m_namespaces;
};

// A configured address for the simulated reader's record 0.
inline sim::SimIpv4 Ip(const std::string& text) {
    sim::SimIpv4 address{};
    sim::ParseSimIpv4(text, &address);
    return address;
}

}  // namespace kvara::test
