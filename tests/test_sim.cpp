// SPDX-License-Identifier: MIT
// The simulated reader as a reader: framing modes, addressing, faults and its tag field.
#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "sim/net_reader.h"
#include "sim/options.h"
#include "sim/scheduler.h"
#include "sim/sim_codec.h"
#include "sim/sim_reader.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimReader;
using kvara::sim::SimTag;

namespace {

ByteBuffer Request(int mode, std::uint8_t command, const ByteBuffer& payload,
                   std::uint32_t address = 1) {
    ByteBuffer frame = {command};
    frame.insert(frame.end(), payload.begin(), payload.end());
    EXPECT_TRUE(kvara::BuildFrame(frame, mode, address));
    return frame;
}

// Sends one request and joins the answer pieces.
ByteBuffer Ask(SimReader& reader, const ByteBuffer& frame) {
    ByteBuffer all;
    for (const auto& piece : reader.Receive(frame.data(), frame.size())) {
        all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
    }
    return all;
}

// Status and data of a well-formed answer.
struct Answer {
    int status = -1;
    ByteBuffer data;
};
Answer Decode(ByteBuffer frame, int mode) {
    Answer a;
    if (!kvara::CheckFrame(frame, mode)) {
        return a;
    }
    a.status = frame[kvara::StatusOffset(mode)];
    kvara::StripFrame(frame, mode);
    a.data = frame;
    return a;
}

Answer Command(SimReader& reader, std::uint8_t command, const ByteBuffer& payload, int mode = 0) {
    return Decode(Ask(reader, Request(mode, command, payload)), mode);
}

}  // namespace

TEST(SimFraming, AnswersInTheModeItWasAskedIn) {
    SimReader reader;
    EXPECT_EQ(Ask(reader, Request(0, 0xF0, {})),
              (ByteBuffer{0x02, 0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0x05}));
    EXPECT_EQ(Ask(reader, Request(1, 0xF0, {})),
              (ByteBuffer{0x01, 0x00, 0x04, 0x33, 0x31, 0x32, 0x30, 0xB1, 0xFF}));
}

TEST(SimFraming, ModeRestrictionsAndAddress) {
    SimReader onlyOne(SimConfig{.mode0 = false});
    EXPECT_TRUE(Ask(onlyOne, Request(0, 0xF0, {})).empty());
    // A mode-1 request right after an ignored mode-0 one, after a pause, is understood.
    const auto later = kvara::sim::SimClock::now() + std::chrono::milliseconds(50);
    const ByteBuffer mode1 = Request(1, 0xF0, {});
    EXPECT_FALSE(onlyOne.Receive(mode1.data(), mode1.size(), later).empty());

    SimReader onlyZero(SimConfig{.mode1 = false});
    EXPECT_TRUE(Ask(onlyZero, Request(1, 0xF0, {})).empty());
    EXPECT_FALSE(Ask(onlyZero, Request(0, 0xF0, {})).empty());

    SimReader second(SimConfig{.address = 2});
    EXPECT_TRUE(Ask(second, Request(0, 0xF0, {}, 1)).empty());
    const ByteBuffer answer = Ask(second, Request(0, 0xF0, {}, 2));
    ASSERT_GT(answer.size(), 2u);
    EXPECT_EQ(answer[1], 2);
    EXPECT_EQ(second.Requests().size(), 2u);
}

TEST(SimFraming, GarbageBeforeAFrameIsSkippedAndTwoFramesInOneWrite) {
    SimReader reader;
    ByteBuffer bytes = {0x77, 0x02, 0x99};
    const ByteBuffer a = Request(0, 0xF0, {});
    const ByteBuffer b = Request(1, 0x07, {});
    bytes.insert(bytes.end(), a.begin(), a.end());
    bytes.insert(bytes.end(), b.begin(), b.end());
    const auto pieces = reader.Receive(bytes.data(), bytes.size());
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(Decode(pieces[1].bytes, 1).data, (ByteBuffer{0x0E, 0x01}));
}

TEST(SimFaults, ShapesOfTheAnswer) {
    SimReader reader;
    const ByteBuffer request = Request(0, 0xF0, {});
    const ByteBuffer clean = Ask(reader, request);

    reader.PushFault(SimFault{.delayMs = 40, .pieces = 3, .gapMs = 7});
    auto pieces = reader.Receive(request.data(), request.size());
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].delayMs, 40);
    EXPECT_EQ(pieces[1].delayMs, 7);
    ByteBuffer joined;
    for (const auto& p : pieces) {
        joined.insert(joined.end(), p.bytes.begin(), p.bytes.end());
    }
    EXPECT_EQ(joined, clean);

    reader.PushFault(SimFault{.strayBefore = {0xAA}, .trailing = {0xBB, 0xCC}});
    const ByteBuffer framed = Ask(reader, request);
    EXPECT_EQ(framed.front(), 0xAA);
    EXPECT_EQ(framed.size(), clean.size() + 3);

    reader.PushFault(SimFault{.badCheck = true});
    EXPECT_FALSE(kvara::CheckFrame(Ask(reader, request), 0));

    reader.PushFault(SimFault{.status = 0x17});
    const Answer status = Decode(Ask(reader, request), 0);
    EXPECT_EQ(status.status, 0x17);
    EXPECT_TRUE(status.data.empty());

    reader.PushFault(SimFault{.silent = true});
    EXPECT_TRUE(Ask(reader, request).empty());

    reader.PushFault(SimFault{.raw = ByteBuffer{1, 2, 3}, .forCommand = 0x07});
    EXPECT_EQ(Ask(reader, request), clean);  // the fault waits for its command
    EXPECT_EQ(Ask(reader, Request(0, 0x07, {})), (ByteBuffer{1, 2, 3}));
    EXPECT_EQ(Ask(reader, request), clean);
}

// The misbehaviours of a flaky reader: an answer twice, an answer for another bus address, a
// request the line changed, answers held back behind a slow one, a noisy line.
TEST(SimFaults, MisbehavioursOfAFlakyReader) {
    SimReader reader;
    const ByteBuffer request = Request(0, 0xF0, {});
    const ByteBuffer clean = Ask(reader, request);

    reader.PushFault(SimFault{.repeatAfterMs = 3});
    auto pieces = reader.Receive(request.data(), request.size());
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].bytes, clean);
    EXPECT_EQ(pieces[1].bytes, clean);
    EXPECT_EQ(pieces[1].delayMs, 3);

    reader.PushFault(SimFault{.repeatAfterMs = 0});
    pieces = reader.Receive(request.data(), request.size());
    ASSERT_EQ(pieces.size(), 1u);
    ByteBuffer twice = clean;
    twice.insert(twice.end(), clean.begin(), clean.end());
    EXPECT_EQ(pieces[0].bytes, twice);

    reader.PushFault(SimFault{.answerAddress = 9});
    const ByteBuffer other = Ask(reader, request);
    ASSERT_TRUE(kvara::CheckFrame(other, 0));  // only the address differs
    EXPECT_EQ(other[1], 9);

    // Two equal changes cancel in the mode-0 check byte: the reader writes the changed data.
    reader.SetTags({SimTag::WithEpc({0x11, 0x22})});
    reader.PushFault(SimFault{.requestXor = {0, 0, 0, 0, 0x40, 0x40}});
    EXPECT_EQ(Command(reader, 0xC4, {3, 0, 0, 0, 0xCA, 0xFE}).status, 0);
    EXPECT_EQ(reader.Tags()[0].user[0], 0xCA ^ 0x40);
    EXPECT_EQ(reader.Tags()[0].user[1], 0xFE ^ 0x40);
    // The CRC of mode 1 sees it: no answer, nothing written.
    reader.PushFault(SimFault{.requestXor = {0, 0, 0, 0, 0x40, 0x40}});
    EXPECT_TRUE(Ask(reader, Request(1, 0xC4, {3, 0, 0, 0, 0x01, 0x02})).empty());
    EXPECT_EQ(reader.Tags()[0].user[0], 0xCA ^ 0x40);

    // One at a time: the answers behind a slow one follow it each after its own time.
    SimReader serial(SimConfig{.answerDelayMs = 5, .oneAtATime = true});
    serial.PushFault(SimFault{.delayMs = 30});
    const auto slow = serial.Receive(request.data(), request.size());
    const auto next = serial.Receive(request.data(), request.size());
    ASSERT_EQ(next.size(), 1u);
    EXPECT_TRUE(next[0].afterPrevious);
    std::vector<kvara::sim::SimClock::time_point> sent;
    kvara::sim::PieceScheduler scheduler(
        [&](const ByteBuffer&) { sent.push_back(kvara::sim::SimClock::now()); });
    const auto now = kvara::sim::SimClock::now();
    scheduler.Schedule(slow, now);
    scheduler.Schedule(next, now);
    scheduler.WaitIdle();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_GE(sent[1] - now, std::chrono::milliseconds(35));  // 30 ms, then 5 ms after it

    // A noisy line changes some bytes either way, the same ones for the same seed.
    SimReader noisy(SimConfig{.byteErrorsPerMille = 500, .byteErrorSeed = 7});
    SimReader same(SimConfig{.byteErrorsPerMille = 500, .byteErrorSeed = 7});
    int changed = 0;
    for (int i = 0; i < 20; ++i) {
        const ByteBuffer a = Ask(noisy, request);
        EXPECT_EQ(a, Ask(same, request));
        changed += a != clean ? 1 : 0;
    }
    EXPECT_GT(changed, 0);
}

TEST(SimTags, Gen2CrcOverPcAndEpc) {
    const char* digits = "123456789";
    EXPECT_EQ(kvara::sim::Gen2Crc(reinterpret_cast<const std::uint8_t*>(digits), 9), 0xD64E);
    const SimTag tag =
        SimTag::WithEpc({0x30, 0x08, 0x33, 0xB2, 0xDD, 0xD9, 0x01, 0x40, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(tag.Pc(), 0x3000);
    EXPECT_EQ(tag.Epc().size(), 12u);
    const std::uint16_t crc = kvara::sim::Gen2Crc(tag.epcBank.data() + 2, 14);
    EXPECT_EQ(tag.epcBank[0], crc >> 8);
    EXPECT_EQ(tag.epcBank[1], crc & 0xFF);
    EXPECT_EQ(SimTag::WithEpc({0x01, 0x02, 0x03}).Epc(), (ByteBuffer{0x01, 0x02, 0x03, 0x00}));
}

TEST(SimCommands, DeviceTypeInfoAndPower) {
    SimReader reader(SimConfig{.deviceType = "3225", .txPower = 200});
    EXPECT_EQ(Command(reader, 0xF0, {}).data, (ByteBuffer{'3', '2', '2', '5'}));
    EXPECT_EQ(Command(reader, 0x07, {}).data, (ByteBuffer{0xC8, 0x00}));
    EXPECT_EQ(Command(reader, 0x08, {0x0E, 0x01, 0x01}).status, 0);
    EXPECT_EQ(Command(reader, 0x07, {}).data, (ByteBuffer{0x0E, 0x01}));
    EXPECT_EQ(reader.StoredTxPower(), 270);
    EXPECT_NE(Command(reader, 0x08, {0xFF, 0xFF, 0x00}).status, 0);
    EXPECT_EQ(Command(reader, 0x55, {}).status, 24);
}

TEST(SimCommands, InventorySelectReadWriteAndLocks) {
    SimTag a = SimTag::WithEpc({0x11, 0x11});
    a.reserved = {0, 0, 0, 0, 0xA1, 0xA2, 0xA3, 0xA4};
    a.locks[kvara::sim::kAreaAccess] = kvara::sim::LockState::kPasswordProtected;
    a.locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPasswordProtected;
    SimReader reader;
    reader.SetTags({a, SimTag::WithEpc({0x22, 0x22})});

    EXPECT_EQ(Command(reader, 0xC0, {0}).data, (ByteBuffer{2, 0x08, 0x00, 0x11, 0x11}));
    EXPECT_EQ(Command(reader, 0xC0, {2}).data[0], 1);
    EXPECT_EQ(Command(reader, 0xC0, {2}).data, (ByteBuffer{0, 0, 0}));

    // Two tags and no select: the reader cannot tell them apart.
    EXPECT_EQ(Command(reader, 0xC3, {1, 0, 0, 0, 0}).status, 23);
    EXPECT_EQ(Command(reader, 0xC2, {0x11, 0x11}).status, 0);
    const Answer epcBank = Command(reader, 0xC3, {1, 0, 0, 0, 0});
    EXPECT_EQ(epcBank.data.size(), 6u);  // CRC, PC, one EPC word
    EXPECT_EQ(Command(reader, 0xC3, {1, 1, 0, 0, 2}).data, (ByteBuffer{0x08, 0x00}));

    // The access password is read-protected; the right password opens it.
    EXPECT_NE(Command(reader, 0xC3, {0, 2, 0, 0, 4}).status, 0);
    EXPECT_EQ(Command(reader, 0xC3, {0, 2, 0, 0, 4, 0xA1, 0xA2, 0xA3, 0xA4}).data,
              (ByteBuffer{0xA1, 0xA2, 0xA3, 0xA4}));
    EXPECT_NE(Command(reader, 0xC3, {0, 2, 0, 0, 4, 0, 0, 0, 0}).status, 0);

    // User memory is write-protected by the password.
    EXPECT_NE(Command(reader, 0xC4, {3, 0, 0, 0, 0xBE, 0xEF}).status, 0);
    EXPECT_EQ(Command(reader, 0xC5, {3, 0, 0, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xBE, 0xEF}).status, 0);
    EXPECT_EQ(Command(reader, 0xC3, {3, 0, 0, 0, 2}).data, (ByteBuffer{0xBE, 0xEF}));
    EXPECT_NE(Command(reader, 0xC3, {3, 0x40, 0, 0, 0}).status, 0);  // past the bank

    // Writing the EPC changes what the tag answers with and its stored CRC; the old select no
    // longer finds it.
    const auto crcBefore = reader.Tags()[0].epcBank[0];
    EXPECT_EQ(Command(reader, 0xC4, {1, 2, 0, 0, 0x12, 0x34}).status, 0);
    EXPECT_EQ(reader.Tags()[0].Epc(), (ByteBuffer{0x12, 0x34}));
    EXPECT_NE(reader.Tags()[0].epcBank[0], crcBefore);
    EXPECT_EQ(Command(reader, 0xC3, {1, 0, 0, 0, 0}).status, 21);

    // Lock: wrong password refused; a permanent lock cannot be undone.
    EXPECT_EQ(Command(reader, 0xC2, {0x12, 0x34}).status, 0);
    EXPECT_NE(Command(reader, 0xC6, {0, 0, 0, 0, 3, 2}).status, 0);
    EXPECT_EQ(Command(reader, 0xC6, {0xA1, 0xA2, 0xA3, 0xA4, 3, 2}).status, 0);
    EXPECT_NE(Command(reader, 0xC6, {0xA1, 0xA2, 0xA3, 0xA4, 0, 2}).status, 0);
    EXPECT_NE(Command(reader, 0xC4, {1, 2, 0, 0, 0x56, 0x78}).status, 0);
    EXPECT_NE(Command(reader, 0xC4, {2, 0, 0, 0, 0x00, 0x00}).status, 0);  // TID is permalocked

    // RF off: no tags.
    EXPECT_EQ(Command(reader, 0xF5, {0}).status, 0);
    EXPECT_EQ(Command(reader, 0xC0, {0}).data, (ByteBuffer{0, 0, 0}));
    EXPECT_EQ(Command(reader, 0xF5, {1}).status, 0);

    EXPECT_EQ(Command(reader, 0xC3, {1, 0}).status, kvara::sim::kStatusWrongLength);
    EXPECT_EQ(Command(reader, 0xC6, {}).status, kvara::sim::kStatusWrongLength);
    EXPECT_EQ(Command(reader, 0xF4, {0x84}).status, kvara::sim::kStatusBadValue);
    EXPECT_EQ(Command(reader, 0xF4, {0x83}).status, 0);
    EXPECT_EQ(reader.ReaderMode(), 0x83);
}

TEST(SimCodec, MatchesTheProtocolsCheckValues) {
    const char* digits = "123456789";
    EXPECT_EQ(kvara::sim::SimCrc16(reinterpret_cast<const std::uint8_t*>(digits), 9), 0x4B37);
    const std::uint8_t bytes[] = {0x01, 0xF0, 0x00};
    EXPECT_EQ(kvara::sim::SimBcc(bytes, 3), 0xF1);
}

TEST(SimOptions, ParsesTagsFaultsAndRefusesNonsense) {
    kvara::sim::SimOptions options;
    std::string error;
    ASSERT_TRUE(
        kvara::sim::ParseSimOptions({"--type",
                                     "3225",
                                     "--modes",
                                     "1",
                                     "--address",
                                     "3",
                                     "--delay",
                                     "20",
                                     "--tag",
                                     "3008 33B2,tid=E280,user=00112233,access=11223344,lock-user=2",
                                     "--tag",
                                     "AABB",
                                     "--fault",
                                     "split=3:5",
                                     "--fault",
                                     "stray=55",
                                     "--fault",
                                     "repeat=4",
                                     "--fault",
                                     "answer-address=7",
                                     "--one-at-a-time",
                                     "--byte-errors",
                                     "15",
                                     "--link",
                                     "/tmp/x"},
                                    &options, &error))
        << error;
    EXPECT_EQ(options.config.deviceType, "3225");
    EXPECT_FALSE(options.config.mode0);
    EXPECT_TRUE(options.config.mode1);
    EXPECT_EQ(options.config.address, 3);
    EXPECT_EQ(options.config.answerDelayMs, 20);
    ASSERT_EQ(options.tags.size(), 2u);
    EXPECT_EQ(options.tags[0].Epc(), (ByteBuffer{0x30, 0x08, 0x33, 0xB2}));
    EXPECT_EQ(options.tags[0].tid, (ByteBuffer{0xE2, 0x80}));
    EXPECT_EQ(options.tags[0].AccessPassword(), (ByteBuffer{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(options.tags[0].locks[kvara::sim::kAreaUser],
              kvara::sim::LockState::kPasswordProtected);
    EXPECT_EQ(options.fault.pieces, 3);
    EXPECT_EQ(options.fault.strayBefore, (ByteBuffer{0x55}));
    EXPECT_EQ(options.fault.repeatAfterMs, 4);
    EXPECT_EQ(options.fault.answerAddress, 7);
    EXPECT_TRUE(options.config.oneAtATime);
    EXPECT_EQ(options.config.byteErrorsPerMille, 15);
    EXPECT_EQ(options.symlink, "/tmp/x");

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--tag"},
                                                {"--tag", "XYZ"},
                                                {"--modes", "2"},
                                                {"--address", "300"},
                                                {"--fault", "split=0:1"},
                                                {"--fault", "nonsense"},
                                                {"--tag", "AA,lock-foo=1"},
                                                {"--tag", "AA,access=11"},
                                                {"--bogus", "1"},
                                                {"--byte-errors", "1001"},
                                                {"--fault", "answer-address=256"},
                                                {"--delay", "-5"}}) {
        kvara::sim::SimOptions o;
        EXPECT_FALSE(kvara::sim::ParseSimOptions(bad, &o, &error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimOptions, NetworkReaderOptions) {
    kvara::sim::SimOptions options;
    std::string error;
    ASSERT_TRUE(kvara::sim::ParseSimOptions({"--tcp",
                                             "0",
                                             "--tcp-address",
                                             "10.0.0.2",
                                             "--udp",
                                             "--ip",
                                             "10.0.0.2",
                                             "--name",
                                             "LAB1",
                                             "--mac",
                                             "00:20:4a:01:02:03",
                                             "--gateway",
                                             "10.0.0.254",
                                             "--mask-bits",
                                             "16",
                                             "--net-port",
                                             "4001",
                                             "--device-text",
                                             "XP-1",
                                             "--fault",
                                             "drop",
                                             "--fault",
                                             "stuck"},
                                            &options, &error))
        << error;
    EXPECT_EQ(options.tcpPort, 0);
    EXPECT_EQ(options.tcpAddress, "10.0.0.2");
    EXPECT_TRUE(options.udp);
    EXPECT_EQ(options.net.configured, (kvara::sim::SimIpv4{10, 0, 0, 2}));
    EXPECT_EQ(options.net.name, "LAB1");
    EXPECT_EQ(options.net.mac, (kvara::sim::SimMac{0x00, 0x20, 0x4A, 0x01, 0x02, 0x03}));
    EXPECT_EQ(options.net.gateway, (kvara::sim::SimIpv4{10, 0, 0, 254}));
    EXPECT_EQ(options.net.hostBits, 16);
    EXPECT_EQ(options.net.tcpPort, 4001);
    EXPECT_TRUE(options.netPortGiven);
    EXPECT_EQ(options.net.deviceText, "XP-1");
    EXPECT_TRUE(options.fault.drop);
    EXPECT_TRUE(options.stuck);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--tcp", "65536"},
                                                {"--tcp", "-1"},
                                                {"--ip", "10.0.0"},
                                                {"--ip", "10.0.0.256"},
                                                {"--name", "NINECHARS"},
                                                {"--name", ""},
                                                {"--mac", "00:20"},
                                                {"--mac", "zz:20:4a:01:02:03"},
                                                {"--net-port", "0"},
                                                {"--tcp-address", "x"},
                                                {"--mask-bits", "33"}}) {
        kvara::sim::SimOptions o;
        EXPECT_FALSE(kvara::sim::ParseSimOptions(bad, &o, &error)) << bad[0] << " " << bad[1];
    }
}

TEST(SimNetwork, DatagramSideOfTheReader) {
    using kvara::sim::SimIpv4;
    kvara::sim::SimNetReader reader({.configured = {10, 0, 0, 5}, .name = "NET1"});
    const SimIpv4 host = {10, 0, 0, 1};
    auto ask = [&](const ByteBuffer& datagram) {
        return reader.Receive(datagram.data(), datagram.size(), host);
    };
    auto answers = ask({0x00, 0x01, 0x00, 0xF8});
    ASSERT_EQ(answers.size(), 1u);
    ASSERT_EQ(answers[0].bytes.size(), 124u);
    EXPECT_EQ(answers[0].bytes[3], 0xF9);
    EXPECT_EQ(answers[0].bytes[4], 10);
    EXPECT_EQ(answers[0].bytes[4 + 20] | answers[0].bytes[4 + 21] << 8, 10001);
    answers = ask({0x00, 0x01, 0x00, 0xE2});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes[3], 0xD2);
    EXPECT_EQ(answers[0].bytes.size(), 4u + 128u);
    EXPECT_EQ(answers[0].bytes[4 + 93], 'K');
    EXPECT_TRUE(ask({0x00, 0x01}).empty());  // shorter than a header
    EXPECT_TRUE(ask({0x00, 0x01, 0x00, 0x42}).empty());

    // A record write is stored and acknowledged; a short one is neither.
    ByteBuffer write = {0x00, 0x00, 0x00, 0xFD};
    ByteBuffer record = reader.Record(0);
    record[20] = 0xA1;
    record[21] = 0x0F;  // port 4001
    write.insert(write.end(), record.begin(), record.end());
    answers = ask(write);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes, (ByteBuffer{0x00, 0x00, 0x00, 0xFB}));
    EXPECT_EQ(reader.TcpPort(), 4001);
    write.resize(4 + 119);
    EXPECT_TRUE(ask(write).empty());

    // Identity, and IP-SETUP only with the reader's own identity bytes.
    answers = ask({0x00, 0x01, 0x00, 0xF6});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].bytes[3], 0xF7);
    ASSERT_GE(answers[0].bytes.size(), 4u + 26u);
    const std::uint8_t id1 = answers[0].bytes[4 + 24];
    const std::uint8_t id2 = answers[0].bytes[4 + 25];
    SimIpv4 moved{};
    reader.OnAddressChange([&](const SimIpv4& to) { moved = to; });
    ByteBuffer setup = {0x00, 0x00, 0x00, 0xFC, 'I',
                        'P',  '-',  'S',  'E',  'T',
                        'U',  'P',  0,    0,    static_cast<std::uint8_t>(id1 ^ 1),
                        id2,  10,   0,    0,    9};
    EXPECT_TRUE(ask(setup).empty());
    EXPECT_EQ(reader.IpSetupCount(), 0);
    setup[14] = id1;
    ask(setup);
    EXPECT_EQ(reader.IpSetupCount(), 1);
    EXPECT_EQ(moved, (SimIpv4{10, 0, 0, 9}));
    EXPECT_EQ(reader.Configured(), (SimIpv4{10, 0, 0, 9}));

    ask({0x00, 0x00, 0x00, 0x03, 0x58, 0x33});
    ask({0x00, 0x00, 0x00, 0x03, 0x58});
    EXPECT_EQ(reader.FinishCount(), 1);
    EXPECT_TRUE(reader.WaitForFinishes(1, 0));

    // The stuck command port wakes up when the mode byte changes.
    reader.SetStuck(true);
    EXPECT_FALSE(reader.Answering());
    record = reader.Record(0);
    write.assign({0x00, 0x00, 0x00, 0xFD});
    write.insert(write.end(), record.begin(), record.end());
    ask(write);
    EXPECT_FALSE(reader.Answering());  // same mode byte
    write[4 + 17] = 8;
    ask(write);
    EXPECT_TRUE(reader.Answering());

    // Faults shape the answers.
    reader.SetFault({.delayMs = 30, .repeat = 3, .repeatGapMs = 5, .before = {{1, 2, 3, 4}}});
    answers = ask({0x00, 0x01, 0x00, 0xF8});
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0].bytes, (ByteBuffer{1, 2, 3, 4}));
    EXPECT_EQ(answers[1].delayMs, 30);
    EXPECT_EQ(answers[2].delayMs, 5);
    reader.SetFault({.silent = true});
    EXPECT_TRUE(ask({0x00, 0x01, 0x00, 0xF8}).empty());
    EXPECT_EQ(reader.Log().size(), 14u);  // every datagram with a header
}

// The modelled line and tag: an answer leaves no earlier than its bytes take at the rate, and
// the time adds up; a conveyor passes tags one at a time.
TEST(SimReaderModel, WireTimeTagTimeAndConveyor) {
    kvara::sim::SimConfig config;
    config.wireBaud = 19200;
    config.tagTimeUs = 3000;
    config.conveyor = true;
    kvara::sim::SimReader reader(config);
    reader.SetTags(
        {kvara::sim::SimTag::WithEpc({0x11, 0x11}), kvara::sim::SimTag::WithEpc({0x22, 0x22})});
    ASSERT_EQ(reader.Tags().size(), 1u);
    EXPECT_EQ(reader.AllTags().size(), 2u);

    const auto device = Request(0, 0xF0, {});  // 5 bytes out, 9 back
    const auto pieces = reader.Receive(device.data(), device.size());
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].delayUs, 14 * 10 * 1000000 / 19200);  // no tag time: no tag command
    const auto inventory = Request(0, 0xC0, {0});
    const auto answer = reader.Receive(inventory.data(), inventory.size());
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_GE(answer[0].delayUs, 3000);
    EXPECT_EQ(reader.ModelledMicros(), pieces[0].delayUs + answer[0].delayUs);

    // Written, then the next inventory: the second tag has arrived, the first has gone.
    const auto write = Request(0, 0xC4, {1, 2, 0, 0, 0xAB, 0xCD});
    reader.Receive(write.data(), write.size());
    EXPECT_EQ(reader.Tags().front().Epc(), (kvara::ByteBuffer{0xAB, 0xCD}));
    reader.Receive(inventory.data(), inventory.size());
    ASSERT_EQ(reader.Tags().size(), 1u);
    EXPECT_EQ(reader.Tags().front().Epc(), (kvara::ByteBuffer{0x22, 0x22}));
    EXPECT_EQ(reader.AllTags().front().Epc(), (kvara::ByteBuffer{0xAB, 0xCD}));
}
