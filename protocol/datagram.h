// SPDX-License-Identifier: MIT
// The readers' datagram protocol on UDP port 30718 and the texts around it: datagram headers
// and codes, setup record 0, discovery entries, address texts and the new network settings.
//
// Everything here is pure: no state, no I/O. Received datagrams and records are read from byte
// buffers of any length, so a fuzzer can call these functions directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace kvara::net {

// The readers' datagram port: the local port an endpoint binds to and the destination port of
// every datagram.
constexpr std::uint16_t kDatagramPort = 30718;
// The readers' TCP command port when an address text names none.
constexpr std::uint16_t kDefaultTcpPort = 10001;
// Longest datagram an endpoint reads; a longer one is dropped.
constexpr std::size_t kMaxDatagramBytes = 513;
constexpr std::size_t kHeaderBytes = 4;
// Setup records: numbers 0 to 15, answers with at least 120 bytes of payload.
constexpr int kRecordCount = 16;
constexpr std::size_t kRecordBytes = 120;
// Record 2 names the device at this offset; it counts only with at least 126 bytes.
constexpr std::size_t kDeviceTextOffset = 93;
constexpr std::size_t kRecord2MinBytes = 126;
// The identity record (answer to the identity query) and the two bytes IP-SETUP carries. Bytes
// 20 to 25 together tell one reader from another.
constexpr std::size_t kIdentityMinBytes = 26;
constexpr std::size_t kIdentityByte1 = 24;
constexpr std::size_t kIdentityByte2 = 25;
constexpr std::size_t kIdentityFirst = 20;

// Datagram codes (byte 3 of the header).
constexpr std::uint8_t kCodeQueryRecord0 = 0xF8;
constexpr std::uint8_t kCodeRecord0 = 0xF9;
constexpr std::uint8_t kCodeQueryRecordBase = 0xE0;  // + n for record n, 1 to 15
constexpr std::uint8_t kCodeRecordBase = 0xD0;       // + n
constexpr std::uint8_t kCodeWriteRecord0 = 0xFD;
constexpr std::uint8_t kCodeWriteAck0 = 0xFB;
constexpr std::uint8_t kCodeWriteRecordBase = 0xC0;  // + n
constexpr std::uint8_t kCodeWriteAckBase = 0xB0;     // + n
constexpr std::uint8_t kCodeIdentityQuery = 0xF6;
constexpr std::uint8_t kCodeIdentity = 0xF7;
constexpr std::uint8_t kCodeIpSetup = 0xFC;
constexpr std::uint8_t kCodeFinish = 0x03;

// Offsets in setup record 0.
constexpr std::size_t kRecAddress = 0;   // 4 bytes, first octet first; 0.0.0.0: DHCP
constexpr std::size_t kRecHostBits = 6;  // host bits of the subnet mask
constexpr std::size_t kRecGateway = 12;  // 4 bytes
constexpr std::size_t kRecMode = 17;     // switched between 1 and 8 by the recovery
constexpr std::size_t kRecTcpPort = 20;  // 2 bytes, low byte first
constexpr std::size_t kRecName = 112;    // 8 bytes, NUL-padded
constexpr std::size_t kRecNameBytes = 8;

// An IPv4 address, first octet first.
using Ipv4 = std::array<std::uint8_t, 4>;

// A dotted IPv4 address: exactly four decimal numbers 0-255 of 1 to 3 digits, nothing else.
bool ParseIpv4(const std::string& text, Ipv4* address);
std::string FormatIpv4(const Ipv4& address);
bool IsLoopback(const Ipv4& address);

// ---- Datagrams sent --------------------------------------------------------------------------

// The record query: 00 01 00 F8 for record 0, 00 01 00 (E0 + n) for record n. Empty for a
// record number outside 0-15.
ByteBuffer RecordQuery(int record);
// The record write: 00 00 00 FD + record for record 0, 00 01 00 (C0 + n) + record for n.
ByteBuffer RecordWrite(int record, const ByteBuffer& payload);
// Answer code of a record query, and of a record write's acknowledgement (0 for a bad number).
std::uint8_t RecordAnswerCode(int record);
std::uint8_t WriteAckCode(int record);
ByteBuffer IdentityQuery();
// 00 00 00 FC "IP-SETUP" 00 00, the two identity bytes, the new address: 20 bytes.
ByteBuffer IpSetup(std::uint8_t identity1, std::uint8_t identity2, const Ipv4& address);
// 00 00 00 03 58 33.
ByteBuffer Finish();

// ---- Datagrams received ----------------------------------------------------------------------

// A datagram as an endpoint received it.
struct Datagram {
    Ipv4 sender{};
    std::uint8_t code = 0;
    ByteBuffer payload;  // the bytes after the 4-byte header
    std::uint16_t senderPort = 0;
};

// Splits a received datagram into code and payload. False when it is shorter than its header.
bool ParseDatagram(const std::uint8_t* data, std::size_t length, const Ipv4& sender,
                   Datagram* datagram);

// What one exchange with a reader waits for: the answer code and the least payload length.
struct ExpectedAnswer {
    std::uint8_t code = 0;  // 0 for a bad record number: nothing answers
    std::size_t minPayload = 0;
};
// Record n: code 0xF9 or 0xD0 + n with at least 120 bytes.
ExpectedAnswer RecordAnswer(int record);
// The acknowledgement of a record write: code 0xFB or 0xB0 + n, payload not read.
ExpectedAnswer WriteAcknowledgement(int record);
// The identity record: code 0xF7 with at least 26 bytes.
ExpectedAnswer IdentityAnswer();

// Whether a received datagram is the reader's answer to an exchange: the expected code and
// payload length, sent from the reader's address and from the datagram port 30718. Whatever
// comes from another host, or from another port of the reader's host, is no answer of the
// reader's.
bool IsAnswerFrom(const Datagram& datagram, const ExpectedAnswer& expected, const Ipv4& reader);

// Whether a received datagram is an identity record of the reader whose identity record is
// given: bytes 20 to 25 of both are equal. False when either is shorter than 26 bytes.
bool IsIdentityOf(const Datagram& datagram, const ByteBuffer& identity);

// The fields of setup record 0 that the system reads. Valid only for at least 120 bytes.
struct Record0 {
    Ipv4 address{};
    std::uint8_t hostBits = 0;
    Ipv4 gateway{};
    std::uint8_t mode = 0;
    std::uint16_t tcpPort = 0;
    std::string name;  // at most 8 characters, ending early at a NUL
};
bool ReadRecord0(const std::uint8_t* data, std::size_t length, Record0* record);

// A discovery answer: code 0xF9 with at least 120 bytes of record 0.
bool IsDiscoveryAnswer(const Datagram& datagram);

// Whether a reader's name can stand for the reader in an address text ("[name]"): 1 to 8
// printable ASCII characters (no blank), without "]", which would end the name early, and
// without ":", which starts a device address. An empty name names no reader.
bool IsUsableName(const std::string& name);

// The search entry of a discovery answer, a text that opens the reader: "[name]a.b.c.d-port"
// with the sender's address for a reader whose configured address is not the one it answered
// from (one taking its address by DHCP) and whose name is usable; otherwise "a.b.c.d-port" with
// the sender's address. False for a datagram that is not a discovery answer, and for a reader
// whose TCP port is 0, which cannot be connected to.
bool DiscoveryEntry(const Datagram& datagram, std::string* entry);

// The parts of a search entry that a filtered search looks at: the text before the last "-";
// when it holds a "]", the name part runs up to and including the first "]" and the rest is the
// address; otherwise the name part is empty and the whole text is the address.
struct EntryParts {
    std::string namePart;
    std::string address;
};
EntryParts SplitEntry(const std::string& entry);

// Whether a record 2 payload names one of the maker's devices: at least 126 bytes and the text
// at offset 93, in upper case, begins with "KV-".
bool IsMakersDevice(const ByteBuffer& record2);

// Name resolution: when the datagram is a discovery answer of a reader that takes its address
// automatically (configured address differs from the sender), its name is usable and
// "[" + name + "]" equals the wanted text exactly, sets the result to "a.b.c.d-port" of the
// sender and returns true.
bool MatchesName(const Datagram& datagram, const std::string& bracketedName, std::string* result);

// ---- Address texts ---------------------------------------------------------------------------

// Cuts a device address behind ":" off a reader name, when at least one character follows it.
std::string CutDeviceAddress(const std::string& text);
// The text before the last "-" (the whole text when there is none).
std::string CutPortPart(const std::string& text);

// The bracketed name part that name resolution looks up: from the first "[" up to and including
// the first "]" after it. requireClose: without a "]" there is nothing to resolve (the TCP
// connect); otherwise the part runs to the end of the text. False when there is nothing to
// resolve.
bool BracketedNamePart(const std::string& text, bool requireClose, std::string* namePart);

// Peer address and TCP port of an address text without a name: split at the last "-", the
// decimal port after it (10001 without one). False for anything but a dotted IPv4 address and
// a port of 1 to 65535.
bool SplitPeerAndPort(const std::string& text, Ipv4* peer, std::uint16_t* port);

// Zero bits below the lowest one bit of a mask, from the last octet's least significant bit
// towards the first octet: 255.255.255.0 counts 8, 0.0.0.0 counts 32.
int HostBitCount(const Ipv4& mask);
// The subnet mask of a host-bit count: one bits from bit position hostBits up to bit 31
// (255.255.255.0 for 8; 0.0.0.0 for 32 or more, 255.255.255.255 for 0 or less).
Ipv4 MaskOfHostBits(int hostBits);
// Whether a record 0 address is set; 0.0.0.0 means the reader takes its address by DHCP.
bool IsFixedAddress(const Ipv4& address);

// ---- New network settings ---------------------------------------------------------------------

// A reader's new IP settings, from the new-address, mask and gateway texts.
struct NetworkSettings {
    Ipv4 address{};          // 0.0.0.0 for the name form: the reader takes an address itself
    std::uint16_t port = 0;  // 0: leave the reader's port as it is
    std::string name;        // the DHCP name; empty: leave it
    bool hasMask = false;
    std::uint8_t hostBits = 0;
    Ipv4 gateway{};  // 0.0.0.0 when the text is empty
};

// Reads the texts. The new address is "a.b.c.d" or "a.b.c.d-port", or "[name]" (the name is
// cut to 8 characters); the mask and the gateway are dotted addresses or empty. False, with the
// settings unusable, for anything else: a malformed text never reaches a reader.
bool ParseNetworkSettings(const std::string& newAddress, const std::string& mask,
                          const std::string& gateway, NetworkSettings* settings);

// Whether record 0 (at least 120 bytes) carries another address than the settings.
bool AddressDiffers(const ByteBuffer& record, const NetworkSettings& settings);
// Whether any other setting differs: a port other than 0 and the record's, a mask given and its
// host-bit count other than the record's, the gateway, or a name given and other than the
// record's.
bool OtherSettingsDiffer(const ByteBuffer& record, const NetworkSettings& settings);
// Writes the settings into record 0: address and gateway always; host bits when a mask was
// given, the port when not 0, the name (cut to 8, NUL-padded) when not empty.
void ApplySettings(ByteBuffer& record, const NetworkSettings& settings);
// Switches the mode byte of record 0 for the recovery: 1 becomes 8, anything else 1.
void ToggleModeByte(ByteBuffer& record);

// Inserts a text into a list kept in ascending byte order, unless an equal text is there.
void InsertSorted(StringList& list, const std::string& text);

}  // namespace kvara::net
