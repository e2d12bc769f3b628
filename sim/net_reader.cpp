// SPDX-License-Identifier: MIT
#include "sim/net_reader.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

#include "common/hex.h"

namespace kvara::sim {

namespace {

constexpr std::size_t kRecordSize = 120;
constexpr std::size_t kRecord2Size = 128;
constexpr std::size_t kIdentitySize = 30;
constexpr std::size_t kMacOffset = 20;
constexpr std::size_t kIpSetupSize = 20;

ByteBuffer Answer(std::uint8_t code, const ByteBuffer& payload) {
    ByteBuffer datagram(4 + payload.size(), 0);
    datagram[3] = code;
    std::copy(payload.begin(), payload.end(), datagram.begin() + 4);
    return datagram;
}

ByteBuffer Resized(const ByteBuffer& record, std::size_t size) {
    ByteBuffer copy = record;
    copy.resize(size, 0);
    return copy;
}

}  // namespace

SimNetReader::SimNetReader(SimNetConfig config) : m_config(std::move(config)) {
    ByteBuffer record0(kRecordSize, 0);
    std::copy(m_config.configured.begin(), m_config.configured.end(), record0.begin());
    record0[6] = m_config.hostBits;
    std::copy(m_config.gateway.begin(), m_config.gateway.end(), record0.begin() + 12);
    record0[17] = m_config.mode;
    record0[20] = static_cast<std::uint8_t>(m_config.tcpPort & 0xFF);
    record0[21] = static_cast<std::uint8_t>(m_config.tcpPort >> 8);
    for (std::size_t i = 0; i < 8 && i < m_config.name.size(); ++i) {
        record0[112 + i] = static_cast<std::uint8_t>(m_config.name[i]);
    }
    m_records[0] = record0;
    for (std::size_t n = 1; n < m_records.size(); ++n) {
        m_records[n].assign(n == 2 ? kRecord2Size : kRecordSize, static_cast<std::uint8_t>(n));
    }
    ByteBuffer& record2 = m_records[2];
    std::fill(record2.begin() + 93, record2.end(), 0);
    for (std::size_t i = 0; i < m_config.deviceText.size() && 93 + i + 1 < record2.size(); ++i) {
        record2[93 + i] = static_cast<std::uint8_t>(m_config.deviceText[i]);
    }
}

void SimNetReader::SetFault(const SimNetFault& fault) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fault = fault;
    m_unackedLeft = fault.unackedWrites;
}

void SimNetReader::OnAddressChange(std::function<void(const SimIpv4&)> callback) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_addressChanged = std::move(callback);
}

std::vector<SimDatagram> SimNetReader::Receive(const std::uint8_t* data, std::size_t length,
                                               const SimIpv4& sender) {
    std::function<void(const SimIpv4&)> changed;
    SimIpv4 newAddress{};
    std::vector<SimDatagram> out;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (data == nullptr || length < 4) {
            return {};
        }
        const ByteBuffer datagram(data, data + length);
        m_log.push_back({sender, datagram});
        const std::uint8_t code = datagram[3];
        const ByteBuffer payload(datagram.begin() + 4, datagram.end());
        std::vector<ByteBuffer> answers;
        if (code == 0xF8) {
            answers.push_back(Answer(0xF9, Resized(m_records[0], m_fault.recordBytes)));
        } else if (code >= 0xE1 && code <= 0xEF) {
            const std::size_t n = code - 0xE0u;
            const std::size_t size = m_fault.recordBytes + (n == 2 ? 8 : 0);
            answers.push_back(
                Answer(static_cast<std::uint8_t>(0xD0 + n), Resized(m_records[n], size)));
        } else if (code == 0xFD || (code >= 0xC1 && code <= 0xCF)) {
            const std::size_t n = code == 0xFD ? 0 : code - 0xC0u;
            if (m_unackedLeft > 0) {
                --m_unackedLeft;
            } else if (payload.size() >= kRecordSize) {
                if (n == 0 && payload[17] != m_records[0][17]) {
                    m_stuck = false;  // the mode switch wakes a stuck command port up
                }
                m_records[n] = payload;
                answers.push_back(
                    Answer(static_cast<std::uint8_t>(code == 0xFD ? 0xFB : 0xB0 + n), {}));
            }
        } else if (code == 0xF6) {
            if (!m_fault.noIdentity) {
                ByteBuffer identity(kIdentitySize, 0);
                const char firmware[] = "KVSIM 1.0";
                std::memcpy(identity.data(), firmware, sizeof firmware - 1);
                std::copy(m_config.mac.begin(), m_config.mac.end(), identity.begin() + kMacOffset);
                answers.push_back(Answer(0xF7, identity));
            }
        } else if (code == 0xFC) {
            const char tag[] = "IP-SETUP";
            if (length >= kIpSetupSize && std::memcmp(data + 4, tag, 8) == 0 &&
                data[14] == m_config.mac[4] && data[15] == m_config.mac[5]) {
                ++m_ipSetups;
                std::copy(data + 16, data + 20, newAddress.begin());
                std::copy(newAddress.begin(), newAddress.end(), m_records[0].begin());
                changed = m_addressChanged;
            }
        } else if (code == 0x03 && payload == ByteBuffer{0x58, 0x33}) {
            ++m_finishes;
        }
        if (!m_fault.silent) {
            for (const auto& answer : answers) {
                for (const auto& extra : m_fault.before) {
                    out.push_back({m_fault.delayMs, extra});
                }
                for (int i = 0; i < std::max(m_fault.repeat, 1); ++i) {
                    out.push_back({i == 0 ? m_fault.delayMs : m_fault.repeatGapMs, answer});
                }
            }
        }
    }
    m_received.notify_all();
    if (changed) {
        changed(newAddress);
    }
    return out;
}

ByteBuffer SimNetReader::Record(int n) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return n >= 0 && n < 16 ? m_records[static_cast<std::size_t>(n)] : ByteBuffer{};
}

void SimNetReader::SetRecord(int n, const ByteBuffer& bytes) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (n >= 0 && n < 16) {
        m_records[static_cast<std::size_t>(n)] = bytes;
        if (bytes.size() < kRecordSize) {
            m_records[static_cast<std::size_t>(n)].resize(kRecordSize, 0);
        }
    }
}

SimIpv4 SimNetReader::Configured() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return {m_records[0][0], m_records[0][1], m_records[0][2], m_records[0][3]};
}

std::uint16_t SimNetReader::TcpPort() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<std::uint16_t>(m_records[0][20] | (m_records[0][21] << 8));
}

void SimNetReader::SetTcpPort(std::uint16_t port) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_records[0][20] = static_cast<std::uint8_t>(port & 0xFF);
    m_records[0][21] = static_cast<std::uint8_t>(port >> 8);
}

std::string SimNetReader::Name() const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto begin = m_records[0].begin() + 112;
    return std::string(begin, std::find(begin, begin + 8, 0));
}

std::uint8_t SimNetReader::ModeByte() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records[0][17];
}

bool SimNetReader::Answering() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_stuck;
}

void SimNetReader::SetStuck(bool stuck) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stuck = stuck;
}

std::vector<SimNetReader::Received> SimNetReader::Log() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_log;
}

void SimNetReader::ClearLog() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_log.clear();
}

int SimNetReader::FinishCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_finishes;
}

bool SimNetReader::WaitForFinishes(int count, int limitMs) const {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_received.wait_for(guard, std::chrono::milliseconds(limitMs),
                               [&] { return m_finishes >= count; });
}

int SimNetReader::IpSetupCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ipSetups;
}

bool ParseMac(const std::string& text, SimMac* mac) {
    SimMac parsed{};
    std::size_t digits = 0;
    for (char c : text) {
        if (c == ':' || c == '-') {
            continue;
        }
        const int value = HexDigitValue(c);
        if (value < 0 || digits >= 12) {
            return false;
        }
        parsed[digits / 2] = static_cast<std::uint8_t>(parsed[digits / 2] << 4 | value);
        ++digits;
    }
    if (digits != 12) {
        return false;
    }
    *mac = parsed;
    return true;
}

bool ParseSimIpv4(const std::string& text, SimIpv4* address) {
    SimIpv4 parsed{};
    int octet = 0;
    int value = -1;
    for (char c : text + ".") {
        if (c == '.') {
            if (value < 0 || octet >= 4) {
                return false;
            }
            parsed[static_cast<std::size_t>(octet++)] = static_cast<std::uint8_t>(value);
            value = -1;
        } else if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            value = (value < 0 ? 0 : value * 10) + (c - '0');
            if (value > 255) {
                return false;
            }
        } else {
            return false;
        }
    }
    if (octet != 4) {
        return false;
    }
    if (address != nullptr) {
        *address = parsed;
    }
    return true;
}

}  // namespace kvara::sim
