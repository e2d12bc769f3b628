// SPDX-License-Identifier: MIT
// Datagrams that arrive while a configuration link waits for the reader's answer to a record
// query, a record write or the identity query, and the identity search that finds a reader
// again after IP-SETUP. Input: the exchange (byte 0: 0 record, 1 write, 2 identity; byte 1: the
// record number, signed), the reader's address (4 bytes), the sender's address (4 bytes) and
// port (2 bytes, high byte first), then the datagram. Properties besides memory safety and
// bounded time:
// - only a datagram from the reader's address and the datagram port, with the awaited code and
//   at least the awaited payload, counts as its answer; a bad record number has no answer;
// - an accepted record 0 reads as a record, with a name of at most 8 characters;
// - an identity record is known as its own, and never from another port.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/datagram.h"

namespace {

constexpr std::size_t kPrefixBytes = 12;

kvara::net::ExpectedAnswer ExpectedFor(std::uint8_t kind, int record) {
    switch (kind % 3) {
        case 0:
            return kvara::net::RecordAnswer(record);
        case 1:
            return kvara::net::WriteAcknowledgement(record);
        default:
            return kvara::net::IdentityAnswer();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPrefixBytes) {
        return 0;
    }
    const int record = static_cast<std::int8_t>(data[1]);
    const kvara::net::ExpectedAnswer expected = ExpectedFor(data[0], record);
    const kvara::net::Ipv4 reader = {data[2], data[3], data[4], data[5]};
    const kvara::net::Ipv4 sender = {data[6], data[7], data[8], data[9]};
    kvara::net::Datagram datagram;
    const bool parsed =
        kvara::net::ParseDatagram(data + kPrefixBytes, size - kPrefixBytes, sender, &datagram);
    FUZZ_CHECK(parsed == (size - kPrefixBytes >= kvara::net::kHeaderBytes));
    if (!parsed) {
        return 0;
    }
    datagram.senderPort = static_cast<std::uint16_t>(data[10] << 8 | data[11]);

    const bool accepted = kvara::net::IsAnswerFrom(datagram, expected, reader);
    if (accepted) {
        FUZZ_CHECK(datagram.sender == reader);
        FUZZ_CHECK(datagram.senderPort == kvara::net::kDatagramPort);
        FUZZ_CHECK(expected.code != 0 && datagram.code == expected.code);
        FUZZ_CHECK(datagram.payload.size() >= expected.minPayload);
    }
    if (data[0] % 3 != 2 && (record < 0 || record >= kvara::net::kRecordCount)) {
        FUZZ_CHECK(!accepted);
    }
    if (accepted && data[0] % 3 == 0 && record == 0) {
        kvara::net::Record0 fields;
        FUZZ_CHECK(
            kvara::net::ReadRecord0(datagram.payload.data(), datagram.payload.size(), &fields));
        FUZZ_CHECK(fields.name.size() <= kvara::net::kRecNameBytes);
    }

    const bool own = kvara::net::IsIdentityOf(datagram, datagram.payload);
    FUZZ_CHECK(own == (datagram.code == kvara::net::kCodeIdentity &&
                       datagram.senderPort == kvara::net::kDatagramPort &&
                       datagram.payload.size() >= kvara::net::kIdentityMinBytes));
    if (own) {
        FUZZ_CHECK(kvara::net::IsAnswerFrom(datagram, kvara::net::IdentityAnswer(), sender));
    }
    return 0;
}
