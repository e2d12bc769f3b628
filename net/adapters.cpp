// SPDX-License-Identifier: MIT
#include "net/adapters.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvara::net {

namespace {

constexpr int kRouteAnswerMs = 1000;

std::string InterfaceOf(const std::string& name) {
    const std::size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(0, colon);
}

bool UsableInterface(const InterfaceEntry& entry) {
    const bool ethernet =
        entry.hardwareType == ARPHRD_ETHER || entry.hardwareType == ARPHRD_IEEE80211;
    return ethernet && (entry.flags & IFF_UP) != 0 && (entry.flags & IFF_LOOPBACK) == 0;
}

Ipv4 FromSockaddr(const sockaddr* address) {
    Ipv4 result{};
    if (address != nullptr && address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        std::memcpy(result.data(), &in->sin_addr.s_addr, 4);
    }
    return result;
}

}  // namespace

std::vector<CAdapter> BuildAdapterList(const std::vector<InterfaceEntry>& interfaces,
                                       const std::vector<AddressEntry>& addresses) {
    std::vector<CAdapter> list;
    for (const auto& adapter : interfaces) {
        if (!UsableInterface(adapter)) {
            continue;
        }
        for (const auto& entry : addresses) {
            if (InterfaceOf(entry.name) != adapter.name || entry.address == Ipv4{}) {
                continue;
            }
            list.push_back({FormatIpv4(entry.address), FormatIpv4(entry.mask), adapter.index});
        }
    }
    return list;
}

bool ListSystemAdapters(std::vector<CAdapter>* adapters) {
    adapters->clear();
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) {
        return false;
    }
    std::vector<InterfaceEntry> interfaces;
    std::vector<AddressEntry> addresses;
    for (const ifaddrs* item = all; item != nullptr; item = item->ifa_next) {
        if (item->ifa_addr == nullptr || item->ifa_name == nullptr) {
            continue;
        }
        if (item->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(item->ifa_addr);
            interfaces.push_back({item->ifa_name, static_cast<std::uint32_t>(link->sll_ifindex),
                                  item->ifa_flags, link->sll_hatype});
        } else if (item->ifa_addr->sa_family == AF_INET) {
            addresses.push_back(
                {item->ifa_name, FromSockaddr(item->ifa_addr), FromSockaddr(item->ifa_netmask)});
        }
    }
    freeifaddrs(all);
    *adapters = BuildAdapterList(interfaces, addresses);
    return true;
}

bool BestInterfaceIndex(const Ipv4& peer, std::uint32_t* index) {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return false;
    }
    struct {
        nlmsghdr header;
        rtmsg route;
        char attributes[64];
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = 1;
    request.route.rtm_family = AF_INET;
    request.route.rtm_dst_len = 32;
    auto* destination = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) +
                                                  NLMSG_ALIGN(request.header.nlmsg_len));
    destination->rta_type = RTA_DST;
    destination->rta_len = RTA_LENGTH(4);
    std::memcpy(RTA_DATA(destination), peer.data(), 4);
    request.header.nlmsg_len = NLMSG_ALIGN(request.header.nlmsg_len) + RTA_LENGTH(4);

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool found = false;
    if (sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) == static_cast<ssize_t>(request.header.nlmsg_len)) {
        pollfd ready = {fd, POLLIN, 0};
        alignas(nlmsghdr) char answer[4096];
        ssize_t length = -1;
        if (poll(&ready, 1, kRouteAnswerMs) > 0) {
            length = recv(fd, answer, sizeof answer, 0);
        }
        int remaining = static_cast<int>(length);
        for (auto* message = reinterpret_cast<nlmsghdr*>(answer);
             length > 0 && NLMSG_OK(message, static_cast<unsigned>(remaining));
             message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_type != RTM_NEWROUTE) {
                break;  // an error answer: no route
            }
            auto* route = static_cast<rtmsg*>(NLMSG_DATA(message));
            int attributeBytes = static_cast<int>(RTM_PAYLOAD(message));
            for (auto* attribute = RTM_RTA(route); RTA_OK(attribute, attributeBytes);
                 attribute = RTA_NEXT(attribute, attributeBytes)) {
                if (attribute->rta_type == RTA_OIF &&
                    RTA_PAYLOAD(attribute) >= sizeof(std::uint32_t)) {
                    std::memcpy(index, RTA_DATA(attribute), sizeof(std::uint32_t));
                    found = route->rtm_type == RTN_UNICAST || route->rtm_type == RTN_LOCAL;
                }
            }
            break;
        }
    }
    close(fd);
    return found;
}

bool ChooseAdapter(const std::vector<CAdapter>& adapters, std::uint32_t bestIndex, const Ipv4& peer,
                   std::string* localAddress) {
    for (const auto& adapter : adapters) {
        Ipv4 address{};
        Ipv4 mask{};
        if (adapter.interfaceIndex != bestIndex || !ParseIpv4(adapter.address, &address) ||
            !ParseIpv4(adapter.mask, &mask)) {
            continue;
        }
        bool same = true;
        for (std::size_t i = 0; i < 4; ++i) {
            same = same && (address[i] & mask[i]) == (peer[i] & mask[i]);
        }
        if (same) {
            *localAddress = adapter.address;
            return true;
        }
    }
    return false;
}

}  // namespace kvara::net
