// SPDX-License-Identifier: MIT
// HID report descriptors and input reports from a device. Input: one byte choosing the input
// report length, then the bytes (read once as a descriptor, once as an input report).
// Properties besides memory safety and bounded time:
// - lengths from a descriptor are whole reports of at least 2 bytes (id byte included), or the
//   descriptor is refused and the defaults stay;
// - an input report never gives more payload than it holds, than its length byte says, or
//   than the caller's room; a report shorter than the input report length gives nothing;
// - output reports carry every byte in order, each exactly as long as the output report.
#include <cstddef>
#include <cstdint>

#include "fuzz_check.h"
#include "protocol/hid_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t inputLength = 2 + data[0] % 129;
    const kvara::ByteBuffer bytes(data + 1, data + size);

    kvara::HidReportLengths lengths;
    if (kvara::ParseReportLengths(bytes, &lengths)) {
        FUZZ_CHECK(lengths.input >= 2 && lengths.output >= 2);
    } else {
        FUZZ_CHECK(lengths.input == 9 && lengths.output == 9);
    }

    std::uint8_t out[130];
    for (std::size_t room : {std::size_t{0}, std::size_t{10}, sizeof out}) {
        const std::size_t n =
            kvara::InputReportPayload(bytes.data(), bytes.size(), inputLength, out, room);
        FUZZ_CHECK(n <= room);
        if (bytes.size() < inputLength || bytes.size() < 2) {
            FUZZ_CHECK(n == 0);
        } else {
            FUZZ_CHECK(n <= bytes.size() - 2 && n <= bytes[1]);
        }
    }

    const std::size_t outputLength = 3 + data[0] % 63;
    const auto reports = kvara::BuildOutputReports(bytes.data(), bytes.size(), outputLength);
    kvara::ByteBuffer carried;
    for (const auto& report : reports) {
        FUZZ_CHECK(report.size() == outputLength && report[0] == 0 &&
                   report[1] <= outputLength - 2);
        carried.insert(carried.end(), report.begin() + 2, report.begin() + 2 + report[1]);
    }
    FUZZ_CHECK(carried == bytes);
    return 0;
}
