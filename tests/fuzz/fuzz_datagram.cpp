// SPDX-License-Identifier: MIT
// Datagrams on the readers' port 30718 as an endpoint receives them, and the search entries
// made of them. Input: four bytes of sender address, then the datagram. Properties besides
// memory safety and bounded time:
// - a datagram shorter than its header is refused;
// - a discovery entry exists exactly for a discovery answer with a TCP port other than 0, and
//   ends in "-port" with that port;
// - every entry opens the reader: it is the sender's address and port, or a usable bracketed
//   name that name resolution turns into exactly that address and port;
// - splitting an entry gives back the text before the port;
// - name resolution only ever answers with the sender's address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const kvara::net::Ipv4 sender = {data[0], data[1], data[2], data[3]};
    kvara::net::Datagram datagram;
    const bool parsed = kvara::net::ParseDatagram(data + 4, size - 4, sender, &datagram);
    FUZZ_CHECK(parsed == (size - 4 >= 4));
    if (!parsed) {
        return 0;
    }
    kvara::net::Record0 record;
    const bool readable =
        kvara::net::ReadRecord0(datagram.payload.data(), datagram.payload.size(), &record);
    std::string entry;
    const bool discovery = kvara::net::DiscoveryEntry(datagram, &entry);
    FUZZ_CHECK(discovery == (kvara::net::IsDiscoveryAnswer(datagram) && record.tcpPort != 0));
    if (discovery) {
        FUZZ_CHECK(readable);
        const std::string address =
            kvara::net::FormatIpv4(sender) + "-" + std::to_string(record.tcpPort);
        std::string namePart;
        if (kvara::net::BracketedNamePart(entry, true, &namePart)) {
            FUZZ_CHECK(entry == namePart + address);
            FUZZ_CHECK(kvara::net::IsUsableName(namePart.substr(1, namePart.size() - 2)));
            FUZZ_CHECK(kvara::net::CutDeviceAddress(entry) == entry);
            std::string resolved;
            FUZZ_CHECK(kvara::net::MatchesName(datagram, namePart, &resolved));
            FUZZ_CHECK(resolved == address);
        } else {
            FUZZ_CHECK(entry == address);
        }
        const auto parts = kvara::net::SplitEntry(entry);
        FUZZ_CHECK(parts.namePart + parts.address == kvara::net::CutPortPart(entry));
    }
    if (readable) {
        std::string resolved;
        if (kvara::net::MatchesName(datagram, "[" + record.name + "]", &resolved)) {
            FUZZ_CHECK(resolved.rfind(kvara::net::FormatIpv4(sender) + "-", 0) == 0);
        }
    }
    kvara::net::IsMakersDevice(datagram.payload);
    return 0;
}
