// SPDX-License-Identifier: MIT
#include "protocol/datagram.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/text.h"
#include "protocol/names.h"

namespace kvara::net {

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// A decimal number of 1 to 5 digits up to 65535.
bool ParsePort(const std::string& text, std::uint16_t* port) {
    if (!AllDigits(text) || text.size() > 5) {
        return false;
    }
    const unsigned long value = std::stoul(text);
    if (value > 0xFFFF) {
        return false;
    }
    *port = static_cast<std::uint16_t>(value);
    return true;
}

ByteBuffer Header(std::uint8_t second, std::uint8_t code) {
    return {0x00, second, 0x00, code};
}

bool ValidRecord(int record) {
    return record >= 0 && record < kRecordCount;
}

Ipv4 ReadIpv4(const std::uint8_t* data) {
    return {data[0], data[1], data[2], data[3]};
}

}  // namespace

bool ParseIpv4(const std::string& text, Ipv4* address) {
    Ipv4 parsed{};
    std::size_t at = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (at >= text.size() || text[at] != '.') {
                return false;
            }
            ++at;
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0 &&
               digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return false;
        }
        parsed[static_cast<std::size_t>(octet)] = static_cast<std::uint8_t>(value);
    }
    if (at != text.size()) {
        return false;
    }
    if (address != nullptr) {
        *address = parsed;
    }
    return true;
}

std::string FormatIpv4(const Ipv4& address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    return text;
}

bool IsLoopback(const Ipv4& address) {
    return address[0] == 127;
}

ByteBuffer RecordQuery(int record) {
    if (!ValidRecord(record)) {
        return {};
    }
    return Header(0x01, record == 0 ? kCodeQueryRecord0
                                    : static_cast<std::uint8_t>(kCodeQueryRecordBase + record));
}

ByteBuffer RecordWrite(int record, const ByteBuffer& payload) {
    if (!ValidRecord(record)) {
        return {};
    }
    ByteBuffer datagram =
        record == 0 ? Header(0x00, kCodeWriteRecord0)
                    : Header(0x01, static_cast<std::uint8_t>(kCodeWriteRecordBase + record));
    datagram.insert(datagram.end(), payload.begin(), payload.end());
    return datagram;
}

std::uint8_t RecordAnswerCode(int record) {
    if (!ValidRecord(record)) {
        return 0;
    }
    return record == 0 ? kCodeRecord0 : static_cast<std::uint8_t>(kCodeRecordBase + record);
}

std::uint8_t WriteAckCode(int record) {
    if (!ValidRecord(record)) {
        return 0;
    }
    return record == 0 ? kCodeWriteAck0 : static_cast<std::uint8_t>(kCodeWriteAckBase + record);
}

ByteBuffer IdentityQuery() {
    return Header(0x01, kCodeIdentityQuery);
}

ByteBuffer IpSetup(std::uint8_t identity1, std::uint8_t identity2, const Ipv4& address) {
    ByteBuffer datagram = Header(0x00, kCodeIpSetup);
    for (char c : std::string("IP-SETUP")) {
        datagram.push_back(static_cast<std::uint8_t>(c));
    }
    datagram.push_back(0x00);
    datagram.push_back(0x00);
    datagram.push_back(identity1);
    datagram.push_back(identity2);
    datagram.insert(datagram.end(), address.begin(), address.end());
    return datagram;
}

ByteBuffer Finish() {
    return {0x00, 0x00, 0x00, kCodeFinish, 0x58, 0x33};
}

bool ParseDatagram(const std::uint8_t* data, std::size_t length, const Ipv4& sender,
                   Datagram* datagram) {
    if (data == nullptr || length < kHeaderBytes || datagram == nullptr) {
        return false;
    }
    datagram->sender = sender;
    datagram->code = data[3];
    datagram->payload.assign(data + kHeaderBytes, data + length);
    return true;
}

bool ReadRecord0(const std::uint8_t* data, std::size_t length, Record0* record) {
    if (data == nullptr || length < kRecordBytes || record == nullptr) {
        return false;
    }
    record->address = ReadIpv4(data + kRecAddress);
    record->hostBits = data[kRecHostBits];
    record->gateway = ReadIpv4(data + kRecGateway);
    record->mode = data[kRecMode];
    record->tcpPort = static_cast<std::uint16_t>(data[kRecTcpPort] | (data[kRecTcpPort + 1] << 8));
    const std::uint8_t* name = data + kRecName;
    const std::size_t nameLength =
        static_cast<std::size_t>(std::find(name, name + kRecNameBytes, 0) - name);
    record->name.assign(reinterpret_cast<const char*>(name), nameLength);
    return true;
}

ExpectedAnswer RecordAnswer(int record) {
    return {RecordAnswerCode(record), kRecordBytes};
}

ExpectedAnswer WriteAcknowledgement(int record) {
    return {WriteAckCode(record), 0};
}

ExpectedAnswer IdentityAnswer() {
    return {kCodeIdentity, kIdentityMinBytes};
}

bool IsAnswerFrom(const Datagram& datagram, const ExpectedAnswer& expected, const Ipv4& reader) {
    return expected.code != 0 && datagram.code == expected.code &&
           datagram.payload.size() >= expected.minPayload && datagram.sender == reader &&
           datagram.senderPort == kDatagramPort;
}

bool IsIdentityOf(const Datagram& datagram, const ByteBuffer& identity) {
    if (datagram.code != kCodeIdentity || datagram.senderPort != kDatagramPort ||
        datagram.payload.size() < kIdentityMinBytes || identity.size() < kIdentityMinBytes) {
        return false;
    }
    return std::equal(identity.begin() + kIdentityFirst, identity.begin() + kIdentityMinBytes,
                      datagram.payload.begin() + kIdentityFirst);
}

bool IsDiscoveryAnswer(const Datagram& datagram) {
    return datagram.code == kCodeRecord0 && datagram.payload.size() >= kRecordBytes;
}

bool IsUsableName(const std::string& name) {
    if (name.empty() || name.size() > kRecNameBytes) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7F && c != ']' && c != ':';
    });
}

bool DiscoveryEntry(const Datagram& datagram, std::string* entry) {
    Record0 record;
    if (!IsDiscoveryAnswer(datagram) ||
        !ReadRecord0(datagram.payload.data(), datagram.payload.size(), &record) ||
        record.tcpPort == 0) {
        return false;
    }
    // The sender's address is where the reader is reached now. A reader answering from an
    // address other than its configured one is named when its name can be used to find it;
    // otherwise the address is all that leads to it.
    const std::string address = FormatIpv4(datagram.sender) + "-" + std::to_string(record.tcpPort);
    if (record.address != datagram.sender && IsUsableName(record.name)) {
        *entry = "[" + record.name + "]" + address;
    } else {
        *entry = address;
    }
    return true;
}

EntryParts SplitEntry(const std::string& entry) {
    const std::string text = CutPortPart(entry);
    EntryParts parts;
    const std::size_t close = text.find(']');
    if (close == std::string::npos) {
        parts.address = text;
    } else {
        parts.namePart = text.substr(0, close + 1);
        parts.address = text.substr(close + 1);
    }
    return parts;
}

bool IsMakersDevice(const ByteBuffer& record2) {
    if (record2.size() < kRecord2MinBytes) {
        return false;
    }
    // A NUL ends the text: no match.
    const std::string_view text(reinterpret_cast<const char*>(record2.data()) + kDeviceTextOffset,
                                3);
    return BeginsWithIgnoringCase(text, "KV-");
}

bool MatchesName(const Datagram& datagram, const std::string& bracketedName, std::string* result) {
    Record0 record;
    if (!IsDiscoveryAnswer(datagram) ||
        !ReadRecord0(datagram.payload.data(), datagram.payload.size(), &record) ||
        record.address == datagram.sender || !IsUsableName(record.name)) {
        return false;
    }
    if ("[" + record.name + "]" != bracketedName) {
        return false;
    }
    *result = FormatIpv4(datagram.sender) + "-" + std::to_string(record.tcpPort);
    return true;
}

std::string CutDeviceAddress(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && colon + 1 < text.size()) {
        return text.substr(0, colon);
    }
    return text;
}

std::string CutPortPart(const std::string& text) {
    const std::size_t dash = text.rfind('-');
    return dash == std::string::npos ? text : text.substr(0, dash);
}

bool BracketedNamePart(const std::string& text, bool requireClose, std::string* namePart) {
    const std::size_t open = text.find('[');
    if (open == std::string::npos) {
        return false;
    }
    const std::size_t close = text.find(']', open + 1);
    if (close == std::string::npos) {
        if (requireClose) {
            return false;
        }
        *namePart = text.substr(open);
        return true;
    }
    *namePart = text.substr(open, close - open + 1);
    return true;
}

bool SplitPeerAndPort(const std::string& text, Ipv4* peer, std::uint16_t* port) {
    const std::size_t dash = text.rfind('-');
    std::uint16_t parsedPort = kDefaultTcpPort;
    if (dash != std::string::npos &&
        (!ParsePort(text.substr(dash + 1), &parsedPort) || parsedPort == 0)) {
        return false;
    }
    Ipv4 address{};
    if (!ParseIpv4(dash == std::string::npos ? text : text.substr(0, dash), &address)) {
        return false;
    }
    *peer = address;
    *port = parsedPort;
    return true;
}

int HostBitCount(const Ipv4& mask) {
    int count = 0;
    for (int octet = 3; octet >= 0; --octet) {
        for (int bit = 0; bit < 8; ++bit) {
            if (((mask[static_cast<std::size_t>(octet)] >> bit) & 1) != 0) {
                return count;
            }
            ++count;
        }
    }
    return count;
}

Ipv4 MaskOfHostBits(int hostBits) {
    if (hostBits >= 32) {
        return Ipv4{0, 0, 0, 0};
    }
    const std::uint32_t mask = hostBits <= 0 ? 0xFFFFFFFFu : (0xFFFFFFFFu << hostBits);
    return Ipv4{static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
                static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)};
}

bool IsFixedAddress(const Ipv4& address) {
    return address != Ipv4{0, 0, 0, 0};
}

bool ParseNetworkSettings(const std::string& newAddress, const std::string& mask,
                          const std::string& gateway, NetworkSettings* settings) {
    NetworkSettings parsed;
    // The reader API's address parser splits the texts; each part must then be well formed.
    std::uint8_t octets[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;
    std::string name;
    ParseAddressText(newAddress, octets, &port, &name);
    if (!newAddress.empty() && newAddress[0] == '[') {
        const std::size_t close = newAddress.find(']');
        if (close == std::string::npos || name.empty()) {
            return false;
        }
        const std::string rest = newAddress.substr(close + 1);
        if (!rest.empty() && (rest[0] != '-' || !ParsePort(rest.substr(1), &parsed.port))) {
            return false;
        }
        parsed.name = name.substr(0, kRecNameBytes);
    } else {
        const std::size_t dash = newAddress.find('-');
        if (!ParseIpv4(newAddress.substr(0, dash), &parsed.address)) {
            return false;
        }
        if (dash != std::string::npos && !ParsePort(newAddress.substr(dash + 1), &parsed.port)) {
            return false;
        }
    }
    if (!mask.empty()) {
        Ipv4 maskAddress{};
        if (!ParseIpv4(mask, &maskAddress)) {
            return false;
        }
        parsed.hasMask = true;
        parsed.hostBits = static_cast<std::uint8_t>(HostBitCount(maskAddress));
    }
    if (!gateway.empty() && !ParseIpv4(gateway, &parsed.gateway)) {
        return false;
    }
    *settings = parsed;
    return true;
}

bool AddressDiffers(const ByteBuffer& record, const NetworkSettings& settings) {
    if (record.size() < kRecordBytes) {
        return true;
    }
    return ReadIpv4(record.data() + kRecAddress) != settings.address;
}

bool OtherSettingsDiffer(const ByteBuffer& record, const NetworkSettings& settings) {
    Record0 fields;
    if (!ReadRecord0(record.data(), record.size(), &fields)) {
        return true;
    }
    return (settings.port != 0 && settings.port != fields.tcpPort) ||
           (settings.hasMask && settings.hostBits != fields.hostBits) ||
           settings.gateway != fields.gateway ||
           (!settings.name.empty() && settings.name.substr(0, kRecNameBytes) != fields.name);
}

void ApplySettings(ByteBuffer& record, const NetworkSettings& settings) {
    if (record.size() < kRecordBytes) {
        record.resize(kRecordBytes, 0);
    }
    std::copy(settings.address.begin(), settings.address.end(), record.begin() + kRecAddress);
    if (settings.hasMask) {
        record[kRecHostBits] = settings.hostBits;
    }
    std::copy(settings.gateway.begin(), settings.gateway.end(), record.begin() + kRecGateway);
    if (settings.port != 0) {
        record[kRecTcpPort] = static_cast<std::uint8_t>(settings.port & 0xFF);
        record[kRecTcpPort + 1] = static_cast<std::uint8_t>(settings.port >> 8);
    }
    if (!settings.name.empty()) {
        for (std::size_t i = 0; i < kRecNameBytes; ++i) {
            record[kRecName + i] =
                i < settings.name.size() ? static_cast<std::uint8_t>(settings.name[i]) : 0;
        }
    }
}

void ToggleModeByte(ByteBuffer& record) {
    if (record.size() > kRecMode) {
        record[kRecMode] = record[kRecMode] == 1 ? 8 : 1;
    }
}

void InsertSorted(StringList& list, const std::string& text) {
    const auto at = std::lower_bound(list.begin(), list.end(), text);
    if (at == list.end() || *at != text) {
        list.insert(at, text);
    }
}

}  // namespace kvara::net
