// Datagrams on the readers' port 30718 as an endpoint receives them, and the search entries
// made of them. Input: four bytes of sender address, then the datagram. Properties besides
// memory safety and bounded time:
// - a datagram shorter than its header is refused;
// - a discovery entry exists exactly for a discovery answer, ends in "-port" with a port that
//   reads back from record 0, and names the sender or the configured address;
// - splitting an entry gives back the text before the port;
// - name resolution only ever answers with the sender's address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/protocol.h"

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
    std::string entry;
    const bool discovery = kvara::net::DiscoveryEntry(datagram, &entry);
    FUZZ_CHECK(discovery == kvara::net::IsDiscoveryAnswer(datagram));
    if (discovery) {
        kvara::net::Record0 record;
        FUZZ_CHECK(kvara::net::ReadRecord0(datagram.payload.data(), datagram.payload.size(), &record));
        const std::string port = "-" + std::to_string(record.tcpPort);
        FUZZ_CHECK(entry.size() > port.size() && entry.compare(entry.size() - port.size(), port.size(), port) == 0);
        const std::string senderText = kvara::net::FormatIpv4(sender);
        FUZZ_CHECK(entry.find(senderText) != std::string::npos ||
                   entry.find(kvara::net::FormatIpv4(record.address)) != std::string::npos);
        const auto parts = kvara::net::SplitEntry(entry);
        FUZZ_CHECK(parts.namePart + parts.address == kvara::net::CutPortPart(entry));
        std::string resolved;
        if (kvara::net::MatchesName(datagram, "[" + record.name + "]", &resolved)) {
            FUZZ_CHECK(resolved.rfind(senderText + "-", 0) == 0);
        }
    }
    kvara::net::IsMakersDevice(datagram.payload);
    return 0;
}
