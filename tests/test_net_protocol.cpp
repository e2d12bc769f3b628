// SPDX-License-Identifier: MIT
// The datagram protocol, setup records, search entries, address texts, network settings, echo
// replies and the adapter list, as pure functions over bytes and texts.
#include <gtest/gtest.h>

#include <net/if.h>
#include <net/if_arp.h>

#include <algorithm>
#include <random>

#include "net/adapters.h"
#include "net/datagram_endpoint.h"
#include "net/ping.h"
#include "net/tcp_socket.h"
#include "protocol/datagram.h"

using kvara::ByteBuffer;
using kvara::StringList;
using namespace kvara::net;

namespace {

// A record 0 as a reader sends it.
ByteBuffer RecordBytes(Ipv4 configured, std::uint16_t port, const std::string& name,
                       std::size_t size = kRecordBytes) {
    ByteBuffer record(std::max(size, kRecordBytes), 0xEE);
    std::copy(configured.begin(), configured.end(), record.begin());
    record[kRecHostBits] = 8;
    for (std::size_t i = 0; i < 4; ++i) {
        record[kRecGateway + i] = static_cast<std::uint8_t>(10 + i);
    }
    record[kRecMode] = 1;
    record[kRecTcpPort] = static_cast<std::uint8_t>(port & 0xFF);
    record[kRecTcpPort + 1] = static_cast<std::uint8_t>(port >> 8);
    for (std::size_t i = 0; i < kRecNameBytes; ++i) {
        record[kRecName + i] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0;
    }
    record.resize(size);  // a record cut short on the way
    return record;
}

// The Internet checksum, written out here as the RFC gives it.
std::uint16_t Checksum(const ByteBuffer& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        sum += static_cast<std::uint32_t>(bytes[i]) << 8;
        if (i + 1 < bytes.size()) {
            sum += bytes[i + 1];
        }
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

Datagram Answer(std::uint8_t code, const ByteBuffer& payload, Ipv4 sender,
                std::uint16_t senderPort = kDatagramPort) {
    return Datagram{sender, code, payload, senderPort};
}

}  // namespace

TEST(NetAddresses, DottedAddressesAreReadStrictly) {
    Ipv4 address{};
    EXPECT_TRUE(ParseIpv4("192.168.1.20", &address));
    EXPECT_EQ(address, (Ipv4{192, 168, 1, 20}));
    EXPECT_TRUE(ParseIpv4("0.0.0.0", nullptr));
    EXPECT_TRUE(ParseIpv4("255.255.255.255", nullptr));
    EXPECT_TRUE(ParseIpv4("010.001.000.009", &address));
    EXPECT_EQ(address, (Ipv4{10, 1, 0, 9}));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.", "1.2.3.4.5", "256.1.1.1", "1..2.3", ".1.2.3",
                            "1.2.3.4-", " 1.2.3.4", "1.2.3.0004", "a.b.c.d", "1.2.3.-4"}) {
        EXPECT_FALSE(ParseIpv4(bad, nullptr)) << bad;
    }
    EXPECT_EQ(FormatIpv4({192, 168, 1, 100}), "192.168.1.100");
}

TEST(NetAddresses, PeerAndPortOfAnAddressText) {
    Ipv4 peer{};
    std::uint16_t port = 0;
    ASSERT_TRUE(SplitPeerAndPort("192.168.1.20", &peer, &port));
    EXPECT_EQ(port, 10001);
    ASSERT_TRUE(SplitPeerAndPort("192.168.1.20-4001", &peer, &port));
    EXPECT_EQ(peer, (Ipv4{192, 168, 1, 20}));
    EXPECT_EQ(port, 4001);
    for (const char* bad : {"192.168.1.20-", "192.168.1.20-0", "192.168.1.20-65536",
                            "192.168.1.20-1x", "192.168.1.20-10001-2", "[name]", "", "-10001"}) {
        EXPECT_FALSE(SplitPeerAndPort(bad, &peer, &port)) << bad;
    }
    EXPECT_EQ(CutPortPart("192.168.1.20-10001"), "192.168.1.20");
    EXPECT_EQ(CutPortPart("[a-b]10.0.0.1-7"), "[a-b]10.0.0.1");
    EXPECT_EQ(CutPortPart("10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(CutDeviceAddress("10.0.0.1-10001:3"), "10.0.0.1-10001");
    EXPECT_EQ(CutDeviceAddress("10.0.0.1:"), "10.0.0.1:");
}

TEST(NetAddresses, BracketedNamesAreFoundBeforeAnyHyphenCounts) {
    std::string part;
    ASSERT_TRUE(BracketedNamePart("[lab-1]", true, &part));
    EXPECT_EQ(part, "[lab-1]");
    ASSERT_TRUE(BracketedNamePart("[AB12]192.168.1.33-10001", true, &part));
    EXPECT_EQ(part, "[AB12]");
    ASSERT_TRUE(BracketedNamePart("x[a]b]", true, &part));
    EXPECT_EQ(part, "[a]");
    // A "[" without "]": nothing for the connect, the rest of the text for name resolution.
    EXPECT_FALSE(BracketedNamePart("[open-ended", true, &part));
    ASSERT_TRUE(BracketedNamePart("[open-ended", false, &part));
    EXPECT_EQ(part, "[open-ended");
    EXPECT_FALSE(BracketedNamePart("192.168.1.20-10001", false, &part));
    EXPECT_FALSE(BracketedNamePart("]x[", true, &part));
}

TEST(NetDatagrams, WhatIsSent) {
    EXPECT_EQ(RecordQuery(0), (ByteBuffer{0x00, 0x01, 0x00, 0xF8}));
    EXPECT_EQ(RecordQuery(2), (ByteBuffer{0x00, 0x01, 0x00, 0xE2}));
    EXPECT_EQ(RecordQuery(15), (ByteBuffer{0x00, 0x01, 0x00, 0xEF}));
    EXPECT_TRUE(RecordQuery(16).empty());
    EXPECT_TRUE(RecordQuery(-1).empty());
    EXPECT_EQ(RecordWrite(0, {7, 8}), (ByteBuffer{0x00, 0x00, 0x00, 0xFD, 7, 8}));
    EXPECT_EQ(RecordWrite(3, {9}), (ByteBuffer{0x00, 0x01, 0x00, 0xC3, 9}));
    EXPECT_EQ(RecordAnswerCode(0), 0xF9);
    EXPECT_EQ(RecordAnswerCode(4), 0xD4);
    EXPECT_EQ(WriteAckCode(0), 0xFB);
    EXPECT_EQ(WriteAckCode(4), 0xB4);
    EXPECT_EQ(WriteAckCode(99), 0);
    EXPECT_EQ(IdentityQuery(), (ByteBuffer{0x00, 0x01, 0x00, 0xF6}));
    EXPECT_EQ(IpSetup(0x34, 0x56, {192, 168, 1, 50}),
              (ByteBuffer{0x00, 0x00, 0x00, 0xFC, 'I',  'P',  '-', 'S', 'E', 'T',
                          'U',  'P',  0x00, 0x00, 0x34, 0x56, 192, 168, 1,   50}));
    EXPECT_EQ(Finish(), (ByteBuffer{0x00, 0x00, 0x00, 0x03, 0x58, 0x33}));
}

TEST(NetDatagrams, ReceivedDatagramsAndRecordZero) {
    Datagram datagram;
    const std::uint8_t shortOne[3] = {0, 1, 0};
    EXPECT_FALSE(ParseDatagram(shortOne, 3, {}, &datagram));
    EXPECT_FALSE(ParseDatagram(nullptr, 10, {}, &datagram));
    const std::uint8_t header[4] = {0, 0, 0, 0xF7};
    ASSERT_TRUE(ParseDatagram(header, 4, {1, 2, 3, 4}, &datagram));
    EXPECT_EQ(datagram.code, 0xF7);
    EXPECT_TRUE(datagram.payload.empty());
    EXPECT_EQ(datagram.sender, (Ipv4{1, 2, 3, 4}));

    Record0 fields;
    const ByteBuffer record = RecordBytes({192, 168, 1, 33}, 10001, "AB12");
    EXPECT_FALSE(ReadRecord0(record.data(), 119, &fields));
    ASSERT_TRUE(ReadRecord0(record.data(), record.size(), &fields));
    EXPECT_EQ(fields.address, (Ipv4{192, 168, 1, 33}));
    EXPECT_EQ(fields.hostBits, 8);
    EXPECT_EQ(fields.gateway, (Ipv4{10, 11, 12, 13}));
    EXPECT_EQ(fields.mode, 1);
    EXPECT_EQ(fields.tcpPort, 10001);
    EXPECT_EQ(fields.name, "AB12");
    // A name of 8 characters has no terminator and is not read beyond its field.
    ASSERT_TRUE(ReadRecord0(RecordBytes({}, 1, "ABCDEFGHIJ").data(), kRecordBytes, &fields));
    EXPECT_EQ(fields.name, "ABCDEFGH");
}

TEST(NetDatagrams, SearchEntriesOfBothKinds) {
    std::string entry;
    // A reader answering from its configured address.
    ASSERT_TRUE(DiscoveryEntry(
        Answer(0xF9, RecordBytes({192, 168, 1, 9}, 10001, "X"), {192, 168, 1, 9}), &entry));
    EXPECT_EQ(entry, "192.168.1.9-10001");
    // One taking its address by DHCP.
    ASSERT_TRUE(
        DiscoveryEntry(Answer(0xF9, RecordBytes({}, 10001, "AB12"), {192, 168, 1, 33}), &entry));
    EXPECT_EQ(entry, "[AB12]192.168.1.33-10001");
    // Not discovery answers: other code, a record too short.
    EXPECT_FALSE(DiscoveryEntry(Answer(0xF8, RecordBytes({}, 1, "A"), {1, 1, 1, 1}), &entry));
    EXPECT_FALSE(DiscoveryEntry(Answer(0xF9, RecordBytes({}, 1, "A", 119), {1, 1, 1, 1}), &entry));
    // Longer records are fine.
    EXPECT_TRUE(DiscoveryEntry(Answer(0xF9, RecordBytes({}, 1, "A", 400), {1, 1, 1, 1}), &entry));

    const EntryParts named = SplitEntry("[AB12]192.168.1.33-10001");
    EXPECT_EQ(named.namePart, "[AB12]");
    EXPECT_EQ(named.address, "192.168.1.33");
    const EntryParts fixed = SplitEntry("192.168.1.9-10001");
    EXPECT_EQ(fixed.namePart, "");
    EXPECT_EQ(fixed.address, "192.168.1.9");
}

TEST(NetDatagrams, SearchEntriesAreTextsThatOpenTheReader) {
    for (const char* name : {"AB12", "lab-1", "ABCDEFGH", "[x", "a.b-c"}) {
        EXPECT_TRUE(IsUsableName(name)) << name;
    }
    // Empty; longer than a record holds; blanks, control and non-ASCII bytes; a "]" that would
    // end the name early; a ":" that would start a device address.
    for (const char* name : {"", "ABCDEFGHI", "a b", "a\tb", "ab\x7F", "\xC3\xA4", "a]b", "a:1"}) {
        EXPECT_FALSE(IsUsableName(name)) << name;
    }
    std::string entry;
    // A reader taking its address automatically with no usable name is listed by the address
    // it answered from.
    for (const char* name : {"",
                             "A\x01"
                             "B",
                             "X]Y", "A:1", "\xFF"}) {
        ASSERT_TRUE(
            DiscoveryEntry(Answer(0xF9, RecordBytes({}, 10001, name), {10, 0, 0, 7}), &entry));
        EXPECT_EQ(entry, "10.0.0.7-10001") << name;
        std::string resolved;
        EXPECT_FALSE(MatchesName(Answer(0xF9, RecordBytes({}, 10001, name), {10, 0, 0, 7}),
                                 "[" + std::string(name) + "]", &resolved));
    }
    // A reader without a TCP port cannot be opened: no entry.
    EXPECT_FALSE(DiscoveryEntry(Answer(0xF9, RecordBytes({}, 0, "AB12"), {10, 0, 0, 7}), &entry));
    EXPECT_FALSE(
        DiscoveryEntry(Answer(0xF9, RecordBytes({10, 0, 0, 7}, 0, "AB12"), {10, 0, 0, 7}), &entry));
}

TEST(NetDatagrams, AnswersCountOnlyFromTheReadersAddressAndPort) {
    const Ipv4 reader = {10, 0, 0, 7};
    const ByteBuffer record(kRecordBytes, 0);
    EXPECT_TRUE(IsAnswerFrom(Answer(0xF9, record, reader), RecordAnswer(0), reader));
    EXPECT_TRUE(IsAnswerFrom(Answer(0xD3, record, reader), RecordAnswer(3), reader));
    EXPECT_TRUE(IsAnswerFrom(Answer(0xFB, {}, reader), WriteAcknowledgement(0), reader));
    EXPECT_TRUE(IsAnswerFrom(Answer(0xBF, {}, reader), WriteAcknowledgement(15), reader));
    EXPECT_TRUE(IsAnswerFrom(Answer(0xF7, ByteBuffer(26, 0), reader), IdentityAnswer(), reader));
    // Another host, another port of the reader's host, another code, too short.
    EXPECT_FALSE(IsAnswerFrom(Answer(0xFB, {}, {10, 0, 0, 8}), WriteAcknowledgement(0), reader));
    EXPECT_FALSE(IsAnswerFrom(Answer(0xFB, {}, reader, 30719), WriteAcknowledgement(0), reader));
    EXPECT_FALSE(IsAnswerFrom(Answer(0xB1, {}, reader), WriteAcknowledgement(0), reader));
    EXPECT_FALSE(IsAnswerFrom(Answer(0xF9, ByteBuffer(119, 0), reader), RecordAnswer(0), reader));
    EXPECT_FALSE(IsAnswerFrom(Answer(0xF7, ByteBuffer(25, 0), reader), IdentityAnswer(), reader));
    // Nothing answers an exchange with a bad record number.
    EXPECT_FALSE(IsAnswerFrom(Answer(0x00, record, reader), RecordAnswer(16), reader));
    EXPECT_FALSE(IsAnswerFrom(Answer(0x00, {}, reader), WriteAcknowledgement(-1), reader));

    // The same reader is known again by bytes 20 to 25 of its identity record alone.
    ByteBuffer identity(30, 0x11);
    ByteBuffer same = identity;
    same[19] = 0x22;
    same[26] = 0x22;
    EXPECT_TRUE(IsIdentityOf(Answer(0xF7, same, {10, 0, 0, 99}), identity));
    for (std::size_t byte = 20; byte <= 25; ++byte) {
        ByteBuffer other = identity;
        other[byte] = 0x22;
        EXPECT_FALSE(IsIdentityOf(Answer(0xF7, other, reader), identity)) << byte;
    }
    EXPECT_FALSE(IsIdentityOf(Answer(0xF7, same, reader, 40000), identity));
    EXPECT_FALSE(IsIdentityOf(Answer(0xF9, same, reader), identity));
    EXPECT_FALSE(IsIdentityOf(Answer(0xF7, ByteBuffer(25, 0x11), reader), identity));
    EXPECT_FALSE(IsIdentityOf(Answer(0xF7, same, reader), ByteBuffer(25, 0x11)));
}

TEST(NetDatagrams, MakersDevicesByTheirRecordTwo) {
    ByteBuffer record2(kRecord2MinBytes, 0);
    const std::string text = "kv-P20";
    std::copy(text.begin(), text.end(), record2.begin() + kDeviceTextOffset);
    EXPECT_TRUE(IsMakersDevice(record2));
    record2[kDeviceTextOffset] = 'X';
    EXPECT_FALSE(IsMakersDevice(record2));
    record2[kDeviceTextOffset] = 'K';
    record2.resize(kRecord2MinBytes - 1);
    EXPECT_FALSE(IsMakersDevice(record2));
    ByteBuffer shortText(kRecord2MinBytes, 0);
    shortText[kDeviceTextOffset] = 'K';
    shortText[kDeviceTextOffset + 1] = 'V';
    EXPECT_FALSE(IsMakersDevice(shortText));  // "KV" then NUL
}

TEST(NetDatagrams, NameResolutionMatchesOnlyReadersWithoutFixedAddress) {
    std::string result;
    const Datagram dhcp = Answer(0xF9, RecordBytes({}, 4001, "lab-1"), {10, 0, 0, 7});
    EXPECT_TRUE(MatchesName(dhcp, "[lab-1]", &result));
    EXPECT_EQ(result, "10.0.0.7-4001");
    EXPECT_FALSE(MatchesName(dhcp, "[LAB-1]", &result));
    EXPECT_FALSE(MatchesName(dhcp, "lab-1", &result));
    const Datagram fixed = Answer(0xF9, RecordBytes({10, 0, 0, 7}, 4001, "lab-1"), {10, 0, 0, 7});
    EXPECT_FALSE(MatchesName(fixed, "[lab-1]", &result));
    EXPECT_FALSE(MatchesName(Answer(0xF9, RecordBytes({}, 1, "lab-1", 100), {10, 0, 0, 7}),
                             "[lab-1]", &result));
}

TEST(NetSettings, HostBitsOfMasks) {
    EXPECT_EQ(HostBitCount({255, 255, 255, 0}), 8);
    EXPECT_EQ(HostBitCount({0, 0, 0, 0}), 32);
    EXPECT_EQ(HostBitCount({255, 255, 255, 255}), 0);
    EXPECT_EQ(HostBitCount({255, 255, 240, 0}), 12);
    EXPECT_EQ(HostBitCount({128, 0, 0, 0}), 31);
}

TEST(NetSettings, NewAddressMaskAndGatewayTexts) {
    NetworkSettings s;
    ASSERT_TRUE(ParseNetworkSettings("192.168.1.50-10002", "255.255.255.0", "192.168.1.1", &s));
    EXPECT_EQ(s.address, (Ipv4{192, 168, 1, 50}));
    EXPECT_EQ(s.port, 10002);
    EXPECT_EQ(s.name, "");
    EXPECT_TRUE(s.hasMask);
    EXPECT_EQ(s.hostBits, 8);
    EXPECT_EQ(s.gateway, (Ipv4{192, 168, 1, 1}));

    ASSERT_TRUE(ParseNetworkSettings("[LongerThan8]", "", "", &s));
    EXPECT_EQ(s.address, (Ipv4{}));
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.name, "LongerTh");
    EXPECT_FALSE(s.hasMask);
    EXPECT_EQ(s.gateway, (Ipv4{}));

    ASSERT_TRUE(ParseNetworkSettings("10.0.0.5", "", "", &s));
    EXPECT_EQ(s.port, 0);

    for (const char* bad : {"", "10.0.0", "300.0.0.1", "10.0.0.5-", "10.0.0.5-70000", "[]",
                            "[unclosed", "[a]x", "hello", "10.0.0.5-1-2"}) {
        EXPECT_FALSE(ParseNetworkSettings(bad, "", "", &s)) << bad;
    }
    EXPECT_FALSE(ParseNetworkSettings("10.0.0.5", "255.255.0", "", &s));
    EXPECT_FALSE(ParseNetworkSettings("10.0.0.5", "", "10.0.0.999", &s));
}

TEST(NetSettings, WhatDiffersAndWhatIsWritten) {
    const ByteBuffer record = RecordBytes({192, 168, 1, 20}, 10001, "OLDNAME");
    NetworkSettings same;
    ASSERT_TRUE(ParseNetworkSettings("192.168.1.20-10001", "255.255.255.0", "10.11.12.13", &same));
    EXPECT_FALSE(AddressDiffers(record, same));
    EXPECT_FALSE(OtherSettingsDiffer(record, same));

    NetworkSettings noPort;  // port 0, no mask: both stay as they are
    ASSERT_TRUE(ParseNetworkSettings("192.168.1.20", "", "10.11.12.13", &noPort));
    EXPECT_FALSE(OtherSettingsDiffer(record, noPort));
    NetworkSettings gateway;  // an empty gateway text means 0.0.0.0, which differs here
    ASSERT_TRUE(ParseNetworkSettings("192.168.1.20", "", "", &gateway));
    EXPECT_TRUE(OtherSettingsDiffer(record, gateway));
    NetworkSettings mask;
    ASSERT_TRUE(ParseNetworkSettings("192.168.1.20", "255.255.0.0", "10.11.12.13", &mask));
    EXPECT_TRUE(OtherSettingsDiffer(record, mask));
    NetworkSettings name;
    ASSERT_TRUE(ParseNetworkSettings("[NEW]", "", "10.11.12.13", &name));
    EXPECT_TRUE(AddressDiffers(record, name));
    EXPECT_TRUE(OtherSettingsDiffer(record, name));

    ByteBuffer written = record;
    ApplySettings(written, noPort);
    EXPECT_EQ(written, record);  // port, mask and name left as read
    ApplySettings(written, name);
    EXPECT_EQ(ByteBuffer(written.begin(), written.begin() + 4), (ByteBuffer{0, 0, 0, 0}));
    EXPECT_EQ(written[kRecHostBits], 8);
    EXPECT_EQ(written[kRecTcpPort], record[kRecTcpPort]);
    EXPECT_EQ(ByteBuffer(written.begin() + kRecName, written.begin() + kRecName + 8),
              (ByteBuffer{'N', 'E', 'W', 0, 0, 0, 0, 0}));
    // Bytes the system does not know pass back unchanged.
    EXPECT_EQ(written[5], 0xEE);
    EXPECT_EQ(written[kRecName - 1], 0xEE);

    ApplySettings(written, same);
    EXPECT_EQ(written[kRecTcpPort], 0x11);
    EXPECT_EQ(written[kRecTcpPort + 1], 0x27);

    ToggleModeByte(written);
    EXPECT_EQ(written[kRecMode], 8);
    ToggleModeByte(written);
    EXPECT_EQ(written[kRecMode], 1);
    written[kRecMode] = 5;
    ToggleModeByte(written);
    EXPECT_EQ(written[kRecMode], 1);
}

TEST(NetSettings, SortedListsWithoutDuplicates) {
    StringList list;
    for (const char* entry :
         {"192.168.1.9-10001", "192.168.1.100-10001", "[AB12]", "192.168.1.9-10001"}) {
        InsertSorted(list, entry);
    }
    EXPECT_EQ(list, (StringList{"192.168.1.100-10001", "192.168.1.9-10001", "[AB12]"}));
    InsertSorted(list, "\xC3\xA9");  // bytes above 0x7F sort after ASCII
    EXPECT_EQ(list.back(), "\xC3\xA9");
}

TEST(NetPing, EchoRepliesAreReadAndChecked) {
    const ByteBuffer data(16, 0x45);
    ByteBuffer packet = EchoRequest(0x1234, 1, data);
    ASSERT_EQ(packet.size(), 24u);
    packet[0] = 0;  // a reply: type 0, checksum adjusted by the sender
    packet[2] = 0;
    packet[3] = 0;
    EchoReply reply;
    // Datagram sockets deliver the ICMP message alone.
    ASSERT_TRUE(ParseEchoReply(packet.data(), packet.size(), false, &reply));
    EXPECT_EQ(reply.identifier, 0x1234);
    EXPECT_EQ(reply.sequence, 1);
    EXPECT_EQ(reply.data, data);

    // Raw sockets deliver the IP header in front; the checksum counts there.
    ByteBuffer withHeader(20, 0);
    withHeader[0] = 0x45;
    withHeader[9] = 1;  // ICMP
    withHeader[12] = 10;
    withHeader[15] = 2;
    ByteBuffer icmp = EchoRequest(0x1234, 1, data);
    icmp[0] = 0;
    icmp[2] = 0;
    icmp[3] = 0;
    const std::uint16_t sum = Checksum(icmp);
    icmp[2] = static_cast<std::uint8_t>(sum >> 8);
    icmp[3] = static_cast<std::uint8_t>(sum & 0xFF);
    withHeader.insert(withHeader.end(), icmp.begin(), icmp.end());
    ASSERT_TRUE(ParseEchoReply(withHeader.data(), withHeader.size(), true, &reply));
    EXPECT_EQ(reply.source, (Ipv4{10, 0, 0, 2}));
    withHeader.back() ^= 1;
    EXPECT_FALSE(ParseEchoReply(withHeader.data(), withHeader.size(), true, &reply));

    const ByteBuffer request = EchoRequest(1, 1, data);  // a request is no reply
    EXPECT_FALSE(ParseEchoReply(request.data(), request.size(), false, &reply));
    EXPECT_FALSE(ParseEchoReply(request.data(), 7, false, &reply));
    ByteBuffer badIhl = withHeader;
    badIhl[0] = 0x4F;  // header longer than the packet
    EXPECT_FALSE(ParseEchoReply(badIhl.data(), 40, true, &reply));
}

TEST(NetParsers, RandomBytesNeverReadOutOfBounds) {
    std::mt19937 random(42);
    for (int round = 0; round < 20000; ++round) {
        ByteBuffer bytes(random() % 300);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        if (!bytes.empty() && round % 2 == 0) {
            bytes[0] = 0x45;
        }
        Datagram datagram;
        std::string text;
        if (ParseDatagram(bytes.data(), bytes.size(), {1, 2, 3, 4}, &datagram)) {
            DiscoveryEntry(datagram, &text);
            MatchesName(datagram, "[x]", &text);
            IsMakersDevice(datagram.payload);
        }
        Record0 record;
        ReadRecord0(bytes.data(), bytes.size(), &record);
        EchoReply reply;
        ParseEchoReply(bytes.data(), bytes.size(), round % 3 == 0, &reply);
        const std::string asText(bytes.begin(), bytes.end());
        NetworkSettings settings;
        ParseNetworkSettings(asText, asText, asText, &settings);
        SplitEntry(asText);
        Ipv4 peer{};
        std::uint16_t port = 0;
        SplitPeerAndPort(asText, &peer, &port);
        BracketedNamePart(asText, round % 2 == 0, &text);
    }
}

TEST(NetAdapters, OnlyUsableAddressesOfEthernetInterfacesInTheSystemsOrder) {
    const std::vector<InterfaceEntry> interfaces = {
        {"lo", 1, IFF_UP | IFF_LOOPBACK, ARPHRD_LOOPBACK},
        {"eth1", 3, IFF_UP, ARPHRD_ETHER},
        {"eth0", 2, IFF_UP, ARPHRD_ETHER},
        {"wlan0", 4, IFF_UP, ARPHRD_IEEE80211},
        {"down0", 5, 0, ARPHRD_ETHER},
        {"tun0", 6, IFF_UP, 65534},
    };
    const std::vector<AddressEntry> addresses = {
        {"lo", {127, 0, 0, 1}, {255, 0, 0, 0}},
        {"eth0", {192, 168, 1, 5}, {255, 255, 255, 0}},
        {"eth0:1", {10, 0, 0, 5}, {255, 0, 0, 0}},
        {"eth1", {0, 0, 0, 0}, {0, 0, 0, 0}},  // no address yet
        {"eth1", {172, 16, 0, 1}, {255, 255, 0, 0}},
        {"wlan0", {192, 168, 2, 7}, {255, 255, 255, 0}},
        {"down0", {192, 168, 3, 7}, {255, 255, 255, 0}},
        {"tun0", {10, 8, 0, 1}, {255, 255, 255, 0}},
    };
    const auto list = BuildAdapterList(interfaces, addresses);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].address, "172.16.0.1");
    EXPECT_EQ(list[0].interfaceIndex, 3u);
    EXPECT_EQ(list[1].address, "192.168.1.5");
    EXPECT_EQ(list[1].mask, "255.255.255.0");
    EXPECT_EQ(list[2].address, "10.0.0.5");  // two addresses, one index
    EXPECT_EQ(list[2].interfaceIndex, 2u);
    EXPECT_EQ(list[3].address, "192.168.2.7");

    std::string local = "unchanged";
    EXPECT_TRUE(ChooseAdapter(list, 2, {10, 200, 1, 1}, &local));
    EXPECT_EQ(local, "10.0.0.5");
    EXPECT_TRUE(ChooseAdapter(list, 2, {192, 168, 1, 77}, &local));
    EXPECT_EQ(local, "192.168.1.5");
    // Behind a router: the kernel's interface has no subnet that holds the peer.
    local = "unchanged";
    EXPECT_FALSE(ChooseAdapter(list, 2, {8, 8, 8, 8}, &local));
    EXPECT_FALSE(ChooseAdapter(list, 3, {192, 168, 1, 77}, &local));
    EXPECT_EQ(local, "unchanged");
}

TEST(NetAdapters, FirstAndNextAdapter) {
    CTCPSocket socket;
    EXPECT_FALSE(socket.SelectFirstAdapter());
    EXPECT_FALSE(socket.SelectNextAdapter());
    socket.SetAdapters({{"10.0.0.1", "255.0.0.0", 2},
                        {"10.0.0.2", "255.0.0.0", 2},
                        {"192.168.1.5", "255.255.255.0", 3}});
    EXPECT_TRUE(socket.SelectNextAdapter());  // nothing selected yet: entry 0
    EXPECT_EQ(socket.LocalAddress(), "10.0.0.1");
    EXPECT_TRUE(socket.SelectNextAdapter());
    EXPECT_EQ(socket.LocalAddress(), "10.0.0.2");
    EXPECT_TRUE(socket.SelectNextAdapter());
    EXPECT_FALSE(socket.SelectNextAdapter());
    EXPECT_EQ(socket.LocalAddress(), "192.168.1.5");
    socket.SetLocalAddress("172.16.0.1");  // not in the list
    EXPECT_FALSE(socket.SelectNextAdapter());
    EXPECT_TRUE(socket.SelectFirstAdapter());
    EXPECT_EQ(socket.LocalAddress(), "10.0.0.1");
    // A loopback peer is reached from 127.0.0.1 whatever the adapters are.
    EXPECT_TRUE(socket.SelectAdapterFor("127.0.0.1"));
    EXPECT_EQ(socket.LocalAddress(), "127.0.0.1");
    EXPECT_FALSE(socket.SelectAdapterFor("not an address"));
}

TEST(NetEndpoint, ClosedEndpointsRefuseEveryExchange) {
    CDatagramEndpoint endpoint;
    ByteBuffer payload;
    EXPECT_FALSE(endpoint.QueryRecord(0, &payload));
    EXPECT_FALSE(endpoint.SendToPeer(Finish()));
    EXPECT_FALSE(endpoint.Broadcast(Finish()));
    EXPECT_FALSE(endpoint.TakeDatagram(nullptr));
    EXPECT_FALSE(endpoint.Open("127.0.0.1", kDatagramPort));  // no local address
    EXPECT_FALSE(endpoint.IsOpen());
    endpoint.Close();
    StringList list = {"kept"};
    EXPECT_EQ(endpoint.DiscoverOnAdapter(list, 10, true), 1);
    EXPECT_EQ(endpoint.ResolveOnAdapter("[x]"), "");

    CTCPSocket socket;
    EXPECT_FALSE(socket.CreateStream(0));
    EXPECT_FALSE(socket.SendFrame(payload.data(), 0, -1));
    EXPECT_FALSE(socket.IsConnected());
    socket.Close();
}
