// SPDX-License-Identifier: MIT
// The local network adapters: their IPv4 addresses from getifaddrs, and the adapter that faces
// a peer from the kernel's route lookup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/datagram.h"

namespace kvara::net {

// One usable IPv4 address of a local network adapter.
struct CAdapter {
    std::string address;  // dotted, never "0.0.0.0"
    std::string mask;     // dotted subnet mask of that address
    std::uint32_t interfaceIndex = 0;
};

// A network interface as the system lists it.
struct InterfaceEntry {
    std::string name;
    std::uint32_t index = 0;
    unsigned flags = 0;              // IFF_*
    std::uint16_t hardwareType = 0;  // ARPHRD_*
};

// One IPv4 address as the system lists it; the name may carry an address label ("eth0:1").
struct AddressEntry {
    std::string name;
    Ipv4 address{};
    Ipv4 mask{};
};

// The adapter list: for each interface, in the system's order, that is up, not a loopback and of
// Ethernet or IEEE 802.11 type, each of its IPv4 addresses other than 0.0.0.0, in order.
std::vector<CAdapter> BuildAdapterList(const std::vector<InterfaceEntry>& interfaces,
                                       const std::vector<AddressEntry>& addresses);

// The adapter list of this computer (of the calling thread's network namespace). False when
// the system cannot list its interfaces; the list is then empty.
bool ListSystemAdapters(std::vector<CAdapter>* adapters);

// The kernel's choice of the interface towards a peer (its route lookup). False when there is
// no route.
bool BestInterfaceIndex(const Ipv4& peer, std::uint32_t* index);

// The address of the first adapter on the best interface whose subnet holds the peer. False
// when none fits.
bool ChooseAdapter(const std::vector<CAdapter>& adapters, std::uint32_t bestIndex, const Ipv4& peer,
                   std::string* localAddress);

}  // namespace kvara::net
