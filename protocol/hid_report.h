// SPDX-License-Identifier: MIT
// HID report formats of the readers and the report lengths from a report descriptor. Pure
// functions over bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"

namespace kvara {

// Report lengths in bytes, the report id byte included; 9 each unless the device says else.
struct HidReportLengths {
    std::size_t input = 9;
    std::size_t output = 9;
};
// Largest lengths the link handles: an input report is read into 130 bytes, an output report
// assembled in 65.
constexpr std::size_t kMaxHidInputReport = 130;
constexpr std::size_t kMaxHidOutputReport = 65;

// The longest input and output report a report descriptor declares (report id byte included).
// False when the descriptor declares none or cannot be walked.
bool ParseReportLengths(const ByteBuffer& descriptor, HidReportLengths* lengths);

// Output reports carrying the frame: report id 0, payload length n, n bytes, zeros up to the
// output report length. 15 bytes in reports of 9 give three reports with 7, 7 and 1 bytes.
std::vector<ByteBuffer> BuildOutputReports(const std::uint8_t* data, std::size_t count,
                                           std::size_t reportLength);
// The mode report: 0x00, 0x82, 0x10, mode, zeros up to the output report length (at least 4).
ByteBuffer BuildModeReport(std::uint8_t mode, std::size_t reportLength);

// Payload of an input report (report id, length n, n bytes). A report shorter than the input
// report length carries nothing; a length byte beyond the report gives what the report holds.
// Copies at most max bytes and returns the count.
std::size_t InputReportPayload(const std::uint8_t* report, std::size_t count,
                               std::size_t inputLength, std::uint8_t* out, std::size_t max);

}  // namespace kvara
