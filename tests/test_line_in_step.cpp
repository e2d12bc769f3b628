// SPDX-License-Identifier: MIT
// Answers that come too late, answers that fill the serial link's read pieces exactly, and
// frames whose command has already returned: through libkvara.so against the simulated reader
// on a pseudo terminal, and against a network peer played by the test on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "tests/support/sim_reader_fixture.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::test::Mode0Answer;
using kvara::test::PtyReaderTest;
using Clock = std::chrono::steady_clock;

namespace {

const ByteBuffer kEpc = {0xE2, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
const ByteBuffer kPassword = {0x11, 0x22, 0x33, 0x44};
const ByteBuffer kData = {0xCA, 0xFE, 0xBA, 0xBE};
constexpr int kTimeoutMs = 40;

// A tag whose User memory starts with kData.
SimTag DataTag() {
    SimTag tag = SimTag::WithEpc(kEpc);
    std::copy(kData.begin(), kData.end(), tag.user.begin());
    return tag;
}

// The caller's answer to a failure after the line fell out of step: up to three attempts, until
// the command gives the wanted result. Returns the last result.
template <typename Command>
int Retried(int wanted, Command command) {
    int result = command();
    for (int attempt = 1; attempt < 3 && result != wanted; ++attempt) {
        result = command();
    }
    return result;
}

// A tag whose User memory takes writes only with the access password: a write without it is
// refused by the reader and leaves the memory as it was.
SimTag ProtectedTag() {
    SimTag tag = SimTag::WithEpc(kEpc);
    std::copy(kPassword.begin(), kPassword.end(), tag.reserved.begin() + 4);
    tag.locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPasswordProtected;
    return tag;
}

class LateAnswerTest : public PtyReaderTest, public ::testing::WithParamInterface<int> {
protected:
    ByteBuffer UserStart() const {
        const ByteBuffer user = reader->Tags().front().user;
        return ByteBuffer(user.begin(), user.begin() + 4);
    }
};

}  // namespace

// The select is answered 2, 3 or 10 time-outs late; the writes that follow are refused by the
// reader, which takes its time over each refusal. Answers carry no command, so the select's
// late "OK" arrives where a write's answer is awaited. No write may be reported done; once the
// late answers are over, the line comes back in step by itself, reads deliver the tag's memory
// and a permitted write is done and reported so.
TEST_P(LateAnswerTest, ALateAnswerNeverConfirmsALaterWrite) {
    const int factor = GetParam();
    StartReader({}, {ProtectedTag()});
    const int handle = Open(kTimeoutMs);
    ASSERT_GT(handle, 0);
    reader->PushFault(
        SimFault{.delayMs = factor * kTimeoutMs + kTimeoutMs / 2, .forCommand = 0xC2});
    EXPECT_EQ(KvaraSelectTag(handle, kEpc.data(), 12), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_TIMEOUT);

    const ByteBuffer before = UserStart();
    const auto lateOver = Clock::now() + std::chrono::milliseconds((factor + 3) * kTimeoutMs);
    int writes = 0;
    while (Clock::now() < lateOver) {
        reader->PushFault(SimFault{.delayMs = 3 * kTimeoutMs, .forCommand = 0xC4});
        EXPECT_EQ(KvaraWriteBank(handle, 3, 0, kData.data(), 4), -1)
            << "write " << writes << " reported done";
        EXPECT_NE(KvaraGetLastError(handle), 0);
        ++writes;
    }
    EXPECT_EQ(UserStart(), before);

    // In step again: reads deliver the tag's memory and a permitted write is done.
    int n = -1;
    for (int attempt = 0; attempt < 40 && n != 4; ++attempt) {
        unsigned char read[4] = {};
        n = KvaraReadBytes(handle, 3, 0, read, 4);
        if (n >= 0) {
            EXPECT_EQ(ByteBuffer(read, read + n), before)
                << "a read delivered another answer's data";
        }
    }
    ASSERT_EQ(n, 4);
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, kPassword.data(), kData.data(), 4), 0);
    EXPECT_EQ(UserStart(), kData);
}

INSTANTIATE_TEST_SUITE_P(TimeOuts, LateAnswerTest, ::testing::Values(2, 3, 10));

// After a time-out a write's "OK" is believed only when the area reads back as written: an
// "OK" for a write the tag did not take fails with code 21. Once in step, writes need no
// read-back.
TEST_F(PtyReaderTest, AfterATimeOutOnlyReadingBackProvesAWrite) {
    StartReader({}, {ProtectedTag()});
    const int handle = Open(kTimeoutMs);
    ASSERT_GT(handle, 0);
    reader->PushFault(SimFault{.silent = true, .forCommand = 0xF5});
    EXPECT_EQ(KvaraSetRf(handle, 1), -1);

    // The reader refuses the write (no password) but its answer says OK.
    reader->PushFault(SimFault{.raw = Mode0Answer(0, {}), .forCommand = 0xC4});
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, kData.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_NO_TRANSPONDER);
    EXPECT_EQ(LastRequest().command, 0xC3);

    // A real write after a time-out: read back with the write's password, then done.
    reader->PushFault(SimFault{.silent = true, .forCommand = 0xF5});
    EXPECT_EQ(KvaraSetRf(handle, 1), -1);
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 0, kPassword.data(), kData.data(), 4), 0);
    auto requests = Requests();
    auto write = std::find_if(requests.rbegin(), requests.rend(),
                              [](const auto& r) { return r.command == 0xC5; });
    ASSERT_NE(write, requests.rend());
    EXPECT_NE(write, requests.rbegin()) << "no read-back after the write";
    EXPECT_EQ(requests.back().command, 0xC3);
    EXPECT_EQ(requests.back().payload, (ByteBuffer{3, 0, 0, 0, 4, 0x11, 0x22, 0x33, 0x44}));

    // In step now: the next write goes out alone.
    const std::size_t before = Requests().size();
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 2, kPassword.data(), kData.data(), 2), 0);
    ASSERT_EQ(Requests().size(), before + 1);
}

// A command whose answer turns out to be another command's fails with code 258 instead of
// delivering that answer as its own.
TEST_F(PtyReaderTest, AnAnswerThatMayBeAnotherCommandsIsNotDelivered) {
    constexpr int kSlowTimeoutMs = 100;
    StartReader({}, {SimTag::WithEpc(kEpc)});
    const int handle = Open(kSlowTimeoutMs);
    ASSERT_GT(handle, 0);
    // The power read is answered 2.5 time-outs late: after its own wait and the wait for a late
    // answer before the next command. The User read that follows then gets the power answer,
    // two bytes as it expects; its own answer is still on its way.
    reader->PushFault(
        SimFault{.delayMs = 2 * kSlowTimeoutMs + kSlowTimeoutMs / 2, .forCommand = 0x07});
    reader->PushFault(SimFault{.delayMs = 3 * kSlowTimeoutMs / 2, .forCommand = 0xC3});
    unsigned short power = 0;
    EXPECT_EQ(KvaraGetTxPower(handle, &power), -1);
    unsigned char data[2] = {};
    int n = KvaraReadBytes(handle, 3, 0, data, 2);
    if (n == -1) {
        EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_OUT_OF_STEP);
    } else {
        // The late answer was drained before the read went out.
        EXPECT_EQ(n, 2);
        EXPECT_EQ(ByteBuffer(data, data + 2), (ByteBuffer{0, 0}));
    }
    // The next commands prove the line in step again (on a busy machine an answer may still
    // come late and fail one more proof) and get their own answers.
    ASSERT_EQ(Retried(0, [&] { return KvaraGetTxPower(handle, &power); }), 0);
    EXPECT_EQ(power, 270);
}

// A device type query whose own answer is lost must not take the late answer of an earlier User
// read for its own: it fails, with code 258 or a time-out, and never hands out the read's bytes.
TEST_F(PtyReaderTest, ACommandWhoseAnswerIsLostNeverTakesALateOne) {
    constexpr int kSlowTimeoutMs = 100;
    StartReader({}, {DataTag()});
    const int handle = Open(kSlowTimeoutMs);
    ASSERT_GT(handle, 0);
    // The read's answer comes 2.5 time-outs late: after the wait for a late answer, while the
    // next frame waits for its answer. The next device type query is not answered at all.
    reader->PushFault(SimFault{.delayMs = 5 * kSlowTimeoutMs / 2, .forCommand = 0xC3});
    reader->PushFault(SimFault{.silent = true, .forCommand = 0xF0});
    unsigned char data[3] = {};
    ASSERT_EQ(KvaraReadBytes(handle, 3, 0, data, 3), -1);
    ASSERT_EQ(KvaraGetLastError(handle), KVARA_ERROR_TIMEOUT);

    unsigned char type[4] = {};
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1)
        << "the query handed out the read's answer";
    EXPECT_NE(KvaraGetLastError(handle), 0);

    // The next commands prove the line in step again and get their own answers.
    ASSERT_EQ(Retried(4, [&] { return KvaraGetDeviceType(handle, type, 4, nullptr, 0); }), 4);
    EXPECT_EQ(ByteBuffer(type, type + 4), (ByteBuffer{'3', '1', '2', '0'}));
    ASSERT_EQ(KvaraReadBytes(handle, 3, 0, data, 3), 3);
    EXPECT_EQ(ByteBuffer(data, data + 3), ByteBuffer(kData.begin(), kData.begin() + 3));
}

namespace {

// Holds the calling thread for a while after it took a given answer, as a busy machine may: the
// bytes that come meanwhile sit in the receive buffer until the next frame goes out.
struct HoldAfter {
    ByteBuffer answer;
    std::chrono::milliseconds hold{0};
    int held = 0;
};
void HoldAfterTaking(int, int direction, const unsigned char* bytes, int length, void* context) {
    auto* hold = static_cast<HoldAfter*>(context);
    if (direction == 1 && ByteBuffer(bytes, bytes + length) == hold->answer) {
        ++hold->held;
        std::this_thread::sleep_for(hold->hold);
    }
}

}  // namespace

// A late User read answer is taken while the device type query after it waits, and the thread
// is then held up while the query's own answer comes and is swept away by the next frame. The
// query must not hand out the read's bytes.
TEST_F(PtyReaderTest, ALateAnswerIsNotDeliveredWhenTheThreadWasHeldUp) {
    constexpr int kSlowTimeoutMs = 100;
    StartReader({}, {DataTag()});
    const int handle = Open(kSlowTimeoutMs);
    ASSERT_GT(handle, 0);
    reader->PushFault(SimFault{.delayMs = 5 * kSlowTimeoutMs / 2, .forCommand = 0xC3});
    reader->PushFault(SimFault{.delayMs = 2 * kSlowTimeoutMs, .forCommand = 0xF0});
    unsigned char data[3] = {};
    ASSERT_EQ(KvaraReadBytes(handle, 3, 0, data, 3), -1);
    ASSERT_EQ(KvaraGetLastError(handle), KVARA_ERROR_TIMEOUT);

    HoldAfter hold{Mode0Answer(0, {kData[0], kData[1], kData[2]}),
                   std::chrono::milliseconds(3 * kSlowTimeoutMs)};
    KvaraSetTraceHandler(&HoldAfterTaking, &hold);
    unsigned char type[4] = {};
    const int n = KvaraGetDeviceType(handle, type, 4, nullptr, 0);
    KvaraSetTraceHandler(nullptr, nullptr);
    if (hold.held == 0) {
        GTEST_SKIP() << "the read's answer was drained before the query went out";
    }
    EXPECT_EQ(n, -1) << "the device type query handed out the read's answer";
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_OUT_OF_STEP);

    ASSERT_EQ(Retried(4, [&] { return KvaraGetDeviceType(handle, type, 4, nullptr, 0); }), 4);
    EXPECT_EQ(ByteBuffer(type, type + 4), (ByteBuffer{'3', '1', '2', '0'}));
}

// A late device type answer shifts the proving queries by one, and the reader refuses the
// proving device type query: the power query gets that refusal, which looks like the refusal of
// a reader without a power query. The device type query after it gets the power answer, so the
// line is not taken to be in step and the User read is not sent; sent, it would have taken the
// power answer (two bytes, as it asks for) for the tag's memory.
TEST_F(PtyReaderTest, ARefusedProvingQueryDoesNotPassForThePowerAnswer) {
    constexpr int kSlowTimeoutMs = 200;
    StartReader({}, {DataTag()});
    const int handle = Open(kSlowTimeoutMs);
    ASSERT_GT(handle, 0);
    // The device type query times out; its answer comes at 2.5 time-outs, while the first
    // proving query waits. That query's own answer, a refusal, comes half a time-out later, in
    // the power query's wait, and the power answer another half time-out later.
    reader->PushFault(SimFault{.delayMs = 5 * kSlowTimeoutMs / 2, .forCommand = 0xF0});
    reader->PushFault(SimFault{.delayMs = kSlowTimeoutMs, .status = 0x18, .forCommand = 0xF0});
    reader->PushFault(SimFault{.delayMs = kSlowTimeoutMs, .forCommand = 0x07});
    unsigned char type[4] = {};
    ASSERT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    ASSERT_EQ(KvaraGetLastError(handle), KVARA_ERROR_TIMEOUT);

    unsigned char data[2] = {};
    int n = KvaraReadBytes(handle, 3, 0, data, 2);
    if (n == 2) {
        EXPECT_EQ(ByteBuffer(data, data + 2), ByteBuffer(kData.begin(), kData.begin() + 2))
            << "the read handed out another answer";
    } else {
        EXPECT_EQ(n, -1);
        EXPECT_NE(KvaraGetLastError(handle), 0);
    }
    reader->ClearFaults();
    ASSERT_EQ(Retried(2, [&] { return KvaraReadBytes(handle, 3, 0, data, 2); }), 2);
    EXPECT_EQ(ByteBuffer(data, data + 2), ByteBuffer(kData.begin(), kData.begin() + 2));
}

// A User read of 251 bytes is an answer frame of exactly 256 bytes, one whole read piece of
// the serial link; the link stays usable for the next command.
TEST_F(PtyReaderTest, AnswersOfWholeReadPiecesLeaveTheLinkUsable) {
    SimTag tag = SimTag::WithEpc(kEpc);
    tag.user.assign(255, 0);
    for (std::size_t i = 0; i < tag.user.size(); ++i) {
        tag.user[i] = static_cast<std::uint8_t>(i);
    }
    StartReader({}, {tag});
    const int handle = Open(300);
    ASSERT_GT(handle, 0);
    for (int count : {250, 251, 252, 254, 251}) {
        ByteBuffer data(static_cast<std::size_t>(count));
        ASSERT_EQ(KvaraReadBytes(handle, 3, 0, data.data(), count), count) << count;
        EXPECT_EQ(data, ByteBuffer(tag.user.begin(), tag.user.begin() + count));
        unsigned char type[4] = {};
        ASSERT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4) << "after " << count;
    }
}

namespace {

// A listening socket on loopback played by the test.
struct Listener {
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(fd, 0), 0);  // one connection may wait to be accepted
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { close(fd); }
    // The next connection, waiting up to timeoutMs; -1 when none came.
    int Accept(int timeoutMs) const {
        pollfd p = {fd, POLLIN, 0};
        return poll(&p, 1, timeoutMs) == 1 ? accept4(fd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }
    int fd = -1;
    int port = 0;
};

int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// The next count bytes of a connection, or what came of them within timeoutMs.
ByteBuffer ReadExactly(int fd, std::size_t count, int timeoutMs) {
    ByteBuffer out;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) {
            break;
        }
        std::uint8_t byte = 0;
        if (read(fd, &byte, 1) != 1) {
            break;
        }
        out.push_back(byte);
    }
    return out;
}

// What arrives on a connection within timeoutMs.
ByteBuffer ReadFor(int fd, int timeoutMs) {
    ByteBuffer out;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) {
            return out;
        }
        std::uint8_t buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return out;
        }
        out.insert(out.end(), buffer, buffer + n);
    }
}

}  // namespace

// A network reader drops its connection; the next command's frame waits for a new one, which
// the reader's full accept queue holds up until long after the command has returned with a
// time-out. When the connection finally opens, that frame must not go out: the user was told
// the command failed.
TEST(NetworkLink, AFrameWhoseCommandReturnedIsNeverSent) {
    Listener reader;
    const std::string name = "127.0.0.1-" + std::to_string(reader.port);
    int handle = -1;
    std::thread open([&] { handle = KvaraOpenPort(name.c_str(), 19200, 0, 300); });
    const int first = reader.Accept(5000);
    ASSERT_GE(first, 0);
    ASSERT_EQ(ReadExactly(first, 5, 2000), (ByteBuffer{0x02, 0x01, 0xF0, 0x00, 0xF1}));
    const ByteBuffer identity = Mode0Answer(0, {'3', '1', '2', '0'});
    ASSERT_EQ(write(first, identity.data(), identity.size()),
              static_cast<ssize_t>(identity.size()));
    open.join();
    ASSERT_GT(handle, 20000);

    close(first);                               // the reader drops the connection...
    const int filler = ConnectTo(reader.port);  // ...and its accept queue is full
    EXPECT_EQ(KvaraSetRf(handle, 0), -1);
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_TIMEOUT);

    // The queue frees; the link's connection attempt comes through on its next try.
    const int waiting = reader.Accept(1000);
    ASSERT_GE(waiting, 0);
    close(waiting);
    close(filler);
    const int late = reader.Accept(5000);
    ASSERT_GE(late, 0) << "the link never connected again";
    EXPECT_EQ(ReadFor(late, 500), ByteBuffer{})
        << "the RF-off frame went out after its command failed";
    close(late);
    EXPECT_EQ(KvaraClosePort(handle), 0);
}

namespace {
struct TraceLog {
    std::vector<std::pair<int, ByteBuffer>> frames;
    int handle = 0;
};
void Record(int handle, int direction, const unsigned char* bytes, int length, void* context) {
    auto* log = static_cast<TraceLog*>(context);
    log->handle = handle;
    log->frames.emplace_back(direction, ByteBuffer(bytes, bytes + length));
}
}  // namespace

// Every frame out and every answer in reaches the trace handler, whole.
TEST_F(PtyReaderTest, TheTraceSeesEveryFrameBothWays) {
    StartReader({}, {SimTag::WithEpc(kEpc)});
    const int handle = Open(300);
    ASSERT_GT(handle, 0);
    TraceLog log;
    KvaraSetTraceHandler(&Record, &log);
    unsigned char type[4] = {};
    ASSERT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
    KvaraSetTraceHandler(nullptr, nullptr);
    ASSERT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);  // no longer traced
    ASSERT_EQ(log.frames.size(), 2u);
    EXPECT_EQ(log.handle, handle);
    EXPECT_EQ(log.frames[0], std::make_pair(0, ByteBuffer{0x02, 0x01, 0xF0, 0x00, 0xF1}));
    EXPECT_EQ(log.frames[1], std::make_pair(1, Mode0Answer(0, {'3', '1', '2', '0'})));
}
