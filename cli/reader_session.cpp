// SPDX-License-Identifier: MIT
#include "cli/reader_session.h"

#include "common/hex.h"
#include "protocol/tag_memory.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

constexpr int kInventoryBuffer = 100;
constexpr int kMaxInventoryAnswers = 255;

}  // namespace

std::string ReaderNameOf(const std::string& interfaceName) {
    for (const char* prefix : {"LAN: ", "USB: "}) {
        if (interfaceName.rfind(prefix, 0) == 0) {
            return interfaceName.substr(5);
        }
    }
    return interfaceName;
}

ReaderSession::~ReaderSession() {
    if (m_handle > 0) {
        KvaraClosePort(m_handle);
    }
}

std::optional<Failure> ReaderSession::Open(const std::string& interfaceName,
                                           const LineOptions& line) {
    std::string name = ReaderNameOf(interfaceName);
    if (line.address != 1) {
        name += ":" + std::to_string(line.address);
    }
    m_handle = KvaraOpenPort(name.c_str(), line.baudRate, line.parity, line.timeoutMs);
    if (m_handle > 0) {
        return std::nullopt;
    }
    const int result = m_handle;
    m_handle = 0;
    if (result == -11) {
        return Failure{kReaderError, "no reader answers at " + interfaceName};
    }
    return Failure{kReaderError,
                   "cannot open " + interfaceName + " (" + std::to_string(result) + ")"};
}

std::string ErrorTextOf(int code) {
    char text[256] = {};
    KvaraErrorText(code, text, sizeof text);
    std::string result = text;
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) {
        result.pop_back();
    }
    return result + " (code " + std::to_string(code) + ")";
}

std::string ReaderSession::LastError() const {
    return ErrorTextOf(KvaraGetLastError(m_handle));
}

bool ReaderSession::Select(const ByteBuffer& epc) {
    if (epc.empty()) {
        return true;
    }
    return KvaraSelectTag(m_handle, epc.data(), static_cast<int>(epc.size())) == 0;
}

bool ReaderSession::Inventory(std::vector<Seen>* tags) {
    tags->clear();
    int parameter = 0;
    for (int answers = 0; answers < kMaxInventoryAnswers; ++answers) {
        unsigned char buffer[kInventoryBuffer] = {};
        const int n = KvaraInventory(m_handle, parameter, buffer, sizeof buffer);
        if (n < 0) {
            return false;
        }
        const auto entry = DecodeInventoryEntry(ByteBuffer(buffer, buffer + n));
        if (!entry || entry->remaining == 0 || n <= 3) {
            return true;
        }
        tags->push_back(
            {static_cast<std::uint16_t>(entry->info[0] << 8 | entry->info[1]), entry->epc});
        if (entry->remaining <= 1) {
            return true;
        }
        parameter = 2;
    }
    return true;
}

bool ParseHexText(const std::string& text, ByteBuffer* bytes) {
    return ParseHexPairs(text, " :-", bytes);
}

std::string HexText(const ByteBuffer& bytes) {
    return HexPairs(bytes);
}

}  // namespace kvara::cli
