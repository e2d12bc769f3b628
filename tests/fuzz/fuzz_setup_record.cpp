// SPDX-License-Identifier: MIT
// Setup record 0 as a reader sends it, and the new settings written into it. Input: three
// texts (new address, mask, gateway) separated by newlines, then a byte 0, then the record.
// Properties besides memory safety and bounded time:
// - a record shorter than 120 bytes is never read or written;
// - settings that parse, once written into a record, read back as given and differ no more;
// - the mode byte toggles between its two values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    const std::string texts = input.substr(0, zero);
    const kvara::ByteBuffer given = zero == std::string::npos
                                        ? kvara::ByteBuffer()
                                        : kvara::ByteBuffer(data + zero + 1, data + size);
    const std::size_t first = texts.find('\n');
    const std::size_t second =
        first == std::string::npos ? std::string::npos : texts.find('\n', first + 1);
    const std::string address = texts.substr(0, first);
    const std::string mask =
        first == std::string::npos ? "" : texts.substr(first + 1, second - first - 1);
    const std::string gateway = second == std::string::npos ? "" : texts.substr(second + 1);

    kvara::net::Record0 record0;
    const bool readable = kvara::net::ReadRecord0(given.data(), given.size(), &record0);
    FUZZ_CHECK(readable == (given.size() >= 120));
    if (readable) {
        FUZZ_CHECK(record0.name.size() <= 8);
    }

    kvara::net::NetworkSettings settings;
    if (!kvara::net::ParseNetworkSettings(address, mask, gateway, &settings) ||
        given.size() < 120) {
        return 0;
    }
    kvara::ByteBuffer record = given;
    kvara::net::ApplySettings(record, settings);
    FUZZ_CHECK(record.size() == given.size());
    FUZZ_CHECK(!kvara::net::AddressDiffers(record, settings));
    FUZZ_CHECK(!kvara::net::OtherSettingsDiffer(record, settings));
    kvara::net::Record0 written;
    FUZZ_CHECK(kvara::net::ReadRecord0(record.data(), record.size(), &written));
    FUZZ_CHECK(written.address == settings.address);
    FUZZ_CHECK(written.gateway == settings.gateway);
    if (settings.port != 0) {
        FUZZ_CHECK(written.tcpPort == settings.port);
    }
    const std::uint8_t mode = record[17];
    kvara::net::ToggleModeByte(record);
    FUZZ_CHECK(record[17] == (mode == 1 ? 8 : 1));
    return 0;
}
