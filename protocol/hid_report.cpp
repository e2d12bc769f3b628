// SPDX-License-Identifier: MIT
#include "protocol/hid_report.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace kvara {

bool ParseReportLengths(const ByteBuffer& descriptor, HidReportLengths* lengths) {
    // Bits per report id, for input and output reports.
    std::map<unsigned, unsigned long> inputBits;
    std::map<unsigned, unsigned long> outputBits;
    unsigned long reportSize = 0;
    unsigned long reportCount = 0;
    unsigned reportId = 0;
    std::size_t i = 0;
    while (i < descriptor.size()) {
        const std::uint8_t prefix = descriptor[i];
        if (prefix == 0xFE) {  // long item: size byte, tag byte, data
            if (i + 1 >= descriptor.size()) {
                return false;
            }
            i += 3 + descriptor[i + 1];
            continue;
        }
        const std::size_t size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        if (i + 1 + size > descriptor.size()) {
            return false;  // an item that runs past the end
        }
        unsigned long value = 0;
        for (std::size_t b = 0; b < size; ++b) {
            value |= static_cast<unsigned long>(descriptor[i + 1 + b]) << (8 * b);
        }
        const unsigned type = (prefix >> 2) & 0x03;
        const unsigned tag = prefix >> 4;
        if (type == 1) {  // global
            if (tag == 0x7) {
                reportSize = value;
            } else if (tag == 0x9) {
                reportCount = value;
            } else if (tag == 0x8) {
                reportId = static_cast<unsigned>(value);
            }
        } else if (type == 0) {  // main
            const unsigned long bits = std::min<unsigned long>(reportSize * reportCount, 1UL << 20);
            if (tag == 0x8) {
                inputBits[reportId] += bits;
            } else if (tag == 0x9) {
                outputBits[reportId] += bits;
            }
        }
        i += 1 + size;
    }
    auto longest = [](const std::map<unsigned, unsigned long>& bits) {
        unsigned long most = 0;
        for (const auto& [id, n] : bits) {
            most = std::max(most, n);
        }
        return most == 0 ? std::size_t{0} : static_cast<std::size_t>((most + 7) / 8 + 1);
    };
    const std::size_t input = longest(inputBits);
    const std::size_t output = longest(outputBits);
    if (input == 0 && output == 0) {
        return false;
    }
    if (input != 0) {
        lengths->input = input;
    }
    if (output != 0) {
        lengths->output = output;
    }
    return true;
}

std::vector<ByteBuffer> BuildOutputReports(const std::uint8_t* data, std::size_t count,
                                           std::size_t reportLength) {
    std::vector<ByteBuffer> reports;
    if (data == nullptr || reportLength < 3) {
        return reports;
    }
    const std::size_t chunk = reportLength - 2;
    for (std::size_t from = 0; from < count; from += chunk) {
        const std::size_t n = std::min(chunk, count - from);
        ByteBuffer report(reportLength, 0);
        report[1] = static_cast<std::uint8_t>(n);
        std::memcpy(report.data() + 2, data + from, n);
        reports.push_back(std::move(report));
    }
    return reports;
}

ByteBuffer BuildModeReport(std::uint8_t mode, std::size_t reportLength) {
    ByteBuffer report(std::max<std::size_t>(reportLength, 4), 0);
    report[1] = 0x82;
    report[2] = 0x10;
    report[3] = mode;
    return report;
}

std::size_t InputReportPayload(const std::uint8_t* report, std::size_t count,
                               std::size_t inputLength, std::uint8_t* out, std::size_t max) {
    if (report == nullptr || out == nullptr || count < inputLength || count < 2) {
        return 0;
    }
    const std::size_t n = std::min({static_cast<std::size_t>(report[1]), count - 2, max});
    std::memcpy(out, report + 2, n);
    return n;
}

}  // namespace kvara
