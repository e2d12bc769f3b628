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
#include <atomic>
#include <chrono>
#include <random>
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

    // In step now: the next write goes out without proving queries, and in framing mode 0 is
    // read back (two changed bytes can cancel in its check byte).
    const std::size_t before = Requests().size();
    EXPECT_EQ(KvaraWriteBankPwd(handle, 3, 2, kPassword.data(), kData.data(), 2), 0);
    requests = Requests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests[before].command, 0xC5);
    EXPECT_EQ(requests[before + 1].command, 0xC3);
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
        // Not sent, or sent once the line was proven in step and its own answer came late.
        const int code = KvaraGetLastError(handle);
        EXPECT_TRUE(code == KVARA_ERROR_OUT_OF_STEP || code == KVARA_ERROR_TIMEOUT) << code;
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

    // It fails, or (once the line was proven in step again) gets its own answer.
    unsigned char type[4] = {};
    const int n = KvaraGetDeviceType(handle, type, 4, nullptr, 0);
    if (n < 0) {
        EXPECT_NE(KvaraGetLastError(handle), 0);
    } else {
        EXPECT_EQ(ByteBuffer(type, type + n), (ByteBuffer{'3', '1', '2', '0'}))
            << "the query handed out the read's answer";
    }

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
    // The device type, and the device type, power and device type queries that prove it.
    const ByteBuffer deviceType = {0x02, 0x01, 0xF0, 0x00, 0xF1};
    const ByteBuffer identity = Mode0Answer(0, {'3', '1', '2', '0'});
    const ByteBuffer power = Mode0Answer(0, {0x0E, 0x01});
    for (const auto& [request, answer] :
         {std::pair{deviceType, identity}, std::pair{deviceType, identity},
          std::pair{ByteBuffer{0x02, 0x01, 0x07, 0x00, 0x06}, power},
          std::pair{deviceType, identity}}) {
        ASSERT_EQ(ReadExactly(first, request.size(), 2000), request);
        ASSERT_EQ(write(first, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
    }
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

// A flaky reader, on a pseudo terminal and on a TCP port of the loopback address: each test
// makes the simulated reader misbehave in one way and holds that no call succeeds with anything
// but the reader's own answer to it, and that a healthy reader is back in step soon after.
namespace {

template <typename Server>
class FlakyReaderTest : public kvara::test::SimReaderTest<Server> {
protected:
    // A tag whose User memory holds a different byte at every address, so that a read shows
    // where its data came from, and whose access password is kPassword.
    static SimTag NumberedTag() {
        SimTag tag = SimTag::WithEpc(kEpc);
        tag.user.resize(64);
        for (std::size_t i = 0; i < tag.user.size(); ++i) {
            tag.user[i] = static_cast<std::uint8_t>(0x80 + i);
        }
        std::copy(kPassword.begin(), kPassword.end(), tag.reserved.begin() + 4);
        return tag;
    }
    ByteBuffer User(int word, int count) const {
        const ByteBuffer user = this->reader->Tags().front().user;
        return ByteBuffer(user.begin() + word * 2, user.begin() + word * 2 + count);
    }
    // A read of four User bytes; a success must carry the bytes at that address. Returns
    // whether it succeeded.
    bool ReadOwn(int handle, int word) {
        unsigned char data[4] = {};
        const int n = KvaraReadBytes(handle, 3, word, data, 4);
        if (n < 0) {
            EXPECT_NE(KvaraGetLastError(handle), 0) << "a failed read left no code";
            return false;
        }
        EXPECT_EQ(ByteBuffer(data, data + n), User(word, 4))
            << "the read of word " << word << " delivered another answer";
        return n == 4;
    }
    bool PowerOwn(int handle) {
        unsigned short power = 0;
        if (KvaraGetTxPower(handle, &power) != 0) {
            return false;
        }
        EXPECT_EQ(power, this->reader->Config().txPower) << "the power read took another answer";
        return true;
    }
    // Calls until one succeeds, at most a few; true when one did.
    template <typename Call>
    static bool Within(int calls, Call call) {
        for (int i = 0; i < calls; ++i) {
            if (call()) {
                return true;
            }
        }
        return false;
    }
};

using Servers = ::testing::Types<kvara::sim::PtyServer, kvara::sim::SimTcpServer>;
TYPED_TEST_SUITE(FlakyReaderTest, Servers);

}  // namespace

// A read times out, the reader is closed and opened again at once, and the read's answer
// arrives while the open waits for the device type. It must not be kept as the reader's
// identity, nor shift every later answer by one: the open proves the line in step (or fails),
// and the commands after it get their own answers.
TYPED_TEST(FlakyReaderTest, AStaleAnswerIsNotTakenAtOpen) {
    constexpr int kSlowTimeoutMs = 200;
    this->StartReader({}, {this->NumberedTag()});
    if constexpr (TestFixture::kTcp) {
        this->server->KeepAnswersForTheNextConnection(true);  // a serial reader behind a bridge
    }
    const int first = this->Open(kSlowTimeoutMs);
    ASSERT_GT(first, 0);
    this->reader->PushFault(
        SimFault{.delayMs = 3 * kSlowTimeoutMs / 2, .forCommand = 0xC3});  // at 1.5 time-outs
    unsigned char data[4] = {};
    ASSERT_EQ(KvaraReadBytes(first, 3, 4, data, 4), -1);
    ASSERT_EQ(KvaraClosePort(first), 0);
    this->opened.clear();
    // The reader answers the open's device type query after the stale answer.
    this->reader->PushFault(SimFault{.delayMs = 2 * kSlowTimeoutMs / 3, .forCommand = 0xF0});
    int handle = -1;
    for (int attempt = 0; attempt < 3 && handle <= 0; ++attempt) {
        handle = KvaraOpenPort(this->name.c_str(), 19200, 0, kSlowTimeoutMs);
    }
    ASSERT_GT(handle, 0);
    this->opened.push_back(handle);

    unsigned char type[4] = {};
    ASSERT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), 4);
    EXPECT_EQ(ByteBuffer(type, type + 4), (ByteBuffer{'3', '1', '2', '0'}));
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(this->PowerOwn(handle));
        EXPECT_TRUE(this->ReadOwn(handle, i));
    }
    // A write the reader refuses (the User bank is read-only for it) is not reported done.
    SimTag tag = this->reader->Tags().front();
    tag.locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPermaLocked;
    this->reader->SetTags({tag});
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, kData.data(), 4), -1);
    EXPECT_EQ(KvaraGetLastError(handle), 0x1B);
}

// The reader sends one answer twice while the caller sends its next command as soon as a call
// returns. The extra answer must not pass for the next command's, and must not shift the answers
// of the calls after it by one.
TYPED_TEST(FlakyReaderTest, AnAnswerSentTwiceIsNoticed) {
    this->StartReader(SimConfig{.answerDelayMs = 100, .oneAtATime = true}, {this->NumberedTag()});
    const int handle = this->Open(600);
    ASSERT_GT(handle, 0);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(this->ReadOwn(handle, i));
    }
    this->reader->PushFault(SimFault{.repeatAfterMs = 1, .forCommand = 0xC3});
    int succeeded = 0;
    for (int i = 0; i < 12; ++i) {
        succeeded += this->ReadOwn(handle, 10 + i) ? 1 : 0;
    }
    EXPECT_GE(succeeded, 9);
}

// A network reader whose serial side hangs holds every request for a few seconds and then
// answers them all in order, one after the other. More than 32 commands time out meanwhile.
// Writes to a locked area must never be reported done, reads must never deliver another
// answer, and once the backlog is through the line comes back in step.
TYPED_TEST(FlakyReaderTest, AnswersHeldBackForSecondsDoNotPassTheProof) {
    constexpr int kFastTimeoutMs = 40;
    SimTag tag = this->NumberedTag();
    tag.locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPermaLocked;
    this->StartReader(SimConfig{.answerDelayMs = 2, .answerJitterMs = 8, .oneAtATime = true},
                      {tag});
    const int handle = this->Open(kFastTimeoutMs);
    ASSERT_GT(handle, 0);
    const ByteBuffer before = this->User(0, 4);
    this->reader->PushFault(SimFault{.delayMs = 3000});
    const auto released = Clock::now() + std::chrono::milliseconds(3000);
    for (int calls = 1; Clock::now() < released + std::chrono::seconds(1); ++calls) {
        if (calls % 2 == 0) {
            EXPECT_EQ(KvaraWriteBank(handle, 3, 0, kData.data(), 4), -1)
                << "a write to a locked area reported done, call " << calls;
        } else {
            this->ReadOwn(handle, calls % 20);
        }
    }
    EXPECT_EQ(this->User(0, 4), before);
    EXPECT_TRUE(TestFixture::Within(5, [&] { return this->ReadOwn(handle, 3); }))
        << "not back in step";
}

// Two answers are still on their way when the reader refuses a proving device type query: the
// refusal comes where the power answer is awaited. The lock that follows must not take the
// power answer for its own and report a lock done that the reader refused.
TYPED_TEST(FlakyReaderTest, ARefusedProvingQueryDoesNotPassForThePowerAnswer) {
    constexpr int T = 200;
    this->StartReader({}, {this->NumberedTag()});
    const int handle = this->Open(T);
    ASSERT_GT(handle, 0);
    // In the order the reader meets them: two device type queries answered late, a refused
    // one, two more, and a power query; the answers keep the order of the queries.
    this->reader->PushFault(SimFault{.delayMs = 9 * T / 2, .forCommand = 0xF0});
    this->reader->PushFault(SimFault{.delayMs = 13 * T / 5, .forCommand = 0xF0});
    this->reader->PushFault(SimFault{.delayMs = 7 * T / 10, .status = 0x18, .forCommand = 0xF0});
    this->reader->PushFault(SimFault{.delayMs = 3 * T / 10, .forCommand = 0xF0});
    this->reader->PushFault(SimFault{.delayMs = 3 * T / 10, .forCommand = 0xF0});
    this->reader->PushFault(SimFault{.delayMs = 3 * T / 10, .forCommand = 0x07});
    unsigned char type[4] = {};
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    EXPECT_EQ(KvaraGetDeviceType(handle, type, 4, nullptr, 0), -1);
    const ByteBuffer wrong = {0x99, 0x99, 0x99, 0x99};
    EXPECT_EQ(KvaraLock(handle, 4, 2, wrong.data()), -1) << "a refused lock reported done";
    EXPECT_EQ(this->reader->Tags().front().locks[kvara::sim::kAreaUser],
              kvara::sim::LockState::kUnlocked);
    this->reader->ClearFaults();
    EXPECT_TRUE(
        TestFixture::Within(3, [&] { return KvaraLock(handle, 4, 2, kPassword.data()) == 0; }));
    EXPECT_EQ(this->reader->Tags().front().locks[kvara::sim::kAreaUser],
              kvara::sim::LockState::kPasswordProtected);
}

// After one answer 2.5 time-outs late, a reader that answers in 2 to 10 ms is back in step
// within a few calls, although the caller sends each command as soon as the last returned.
TYPED_TEST(FlakyReaderTest, AHealthyReaderIsBackInStepWithinAFewCalls) {
    constexpr int T = 50;
    this->StartReader(SimConfig{.answerDelayMs = 2, .answerJitterMs = 8, .oneAtATime = true},
                      {this->NumberedTag()});
    const int handle = this->Open(T);
    ASSERT_GT(handle, 0);
    this->reader->PushFault(SimFault{.delayMs = 5 * T / 2, .forCommand = 0x07});
    EXPECT_FALSE(this->PowerOwn(handle));
    int first = -1;
    int succeeded = 0;
    for (int i = 0; i < 60; ++i) {
        const bool ok = i % 2 == 0 ? this->ReadOwn(handle, i % 30) : this->PowerOwn(handle);
        succeeded += ok ? 1 : 0;
        if (ok && first < 0) {
            first = i;
        }
    }
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 4) << "the first success came late";
    EXPECT_GE(succeeded, 50);
}

// A noisy line that changes 2 % of the bytes either way: a share of the writes still gets
// through, and none is reported done that the tag does not hold.
TYPED_TEST(FlakyReaderTest, WritesKeepGettingThroughOnANoisyLine) {
    this->StartReader(SimConfig{.answerDelayMs = 2, .answerJitterMs = 4, .oneAtATime = true},
                      {this->NumberedTag()});
    const int handle = this->Open(40);
    ASSERT_GT(handle, 0);
    SimConfig config = this->reader->Config();
    config.byteErrorsPerMille = 20;
    config.byteErrorSeed = 4711;
    this->reader->SetConfig(config);
    std::mt19937 random(3);
    int done = 0;
    constexpr int kWrites = 60;
    for (int i = 0; i < kWrites; ++i) {
        const int word = static_cast<int>(random() % 30);
        ByteBuffer data(4);
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(random());
        }
        if (KvaraWriteBank(handle, 3, word, data.data(), 4) == 0) {
            ++done;
            EXPECT_EQ(this->User(word, 4), data) << "a write reported done the tag does not hold";
        }
        this->ReadOwn(handle, static_cast<int>(random() % 30));
    }
    EXPECT_GE(done, kWrites / 4);
}

// In framing mode 0 two changed bytes can cancel in the check byte: the reader then writes
// other bytes than were sent and answers OK. The write is read back and fails.
TYPED_TEST(FlakyReaderTest, ModeZeroWritesAreProvenByReadingBack) {
    this->StartReader({}, {this->NumberedTag()});
    const int handle = this->Open(300);
    ASSERT_GT(handle, 0);
    this->reader->PushFault(SimFault{.requestXor = {0, 0, 0, 0, 0x21, 0x21}, .forCommand = 0xC4});
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, kData.data(), 4), -1)
        << "a write reported done with other bytes on the tag";
    EXPECT_EQ(KvaraGetLastError(handle), KVARA_ERROR_NO_TRANSPONDER);
    EXPECT_EQ(this->User(0, 2), (ByteBuffer{static_cast<std::uint8_t>(kData[0] ^ 0x21),
                                            static_cast<std::uint8_t>(kData[1] ^ 0x21)}));
    EXPECT_EQ(KvaraWriteBank(handle, 3, 0, kData.data(), 4), 0);
    EXPECT_EQ(this->User(0, 4), kData);
}

// A reader whose answers trickle in, each taking most of three waiting phases, after a run of
// time-outs: a call still returns within ten time-outs.
TYPED_TEST(FlakyReaderTest, ACallEndsWithinTenTimeOuts) {
    constexpr int T = 100;
    this->StartReader({}, {this->NumberedTag()});
    const int handle = this->Open(T);
    ASSERT_GT(handle, 0);
    this->reader->SetFault(SimFault{.silent = true});
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(this->PowerOwn(handle));
    }
    // Four bytes just before the first phase ends, the rest just before the third does.
    this->reader->SetFault(SimFault{.delayMs = 9 * T / 10, .pieces = 2, .gapMs = 9 * T / 10});
    const auto start = Clock::now();
    unsigned char type[4] = {};
    KvaraGetDeviceType(handle, type, 4, nullptr, 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(10 * T + 500));
}

// A close from another thread ends a call that waits for the reader at once, and the handle is
// not given to the next reader opened: the call that was cut off reads code 3 for it.
TYPED_TEST(FlakyReaderTest, ACloseFromAnotherThreadEndsAWaitingCall) {
    constexpr int T = 3000;
    this->StartReader(SimConfig{}, {this->NumberedTag()});
    const int handle = this->Open(T);
    ASSERT_GT(handle, 0);
    this->reader->SetFault(SimFault{.silent = true});
    std::atomic<bool> returned{false};
    int result = 0;
    int code = -1;
    Clock::duration took{};
    std::atomic<bool> reopened{false};
    std::thread call([&] {
        const auto start = Clock::now();
        unsigned char data[4];
        result = KvaraReadBytes(handle, 3, 0, data, 4);
        took = Clock::now() - start;
        returned = true;
        while (!reopened) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        code = KvaraGetLastError(handle);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto closing = Clock::now();
    EXPECT_EQ(KvaraClosePort(handle), 0);
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(T / 2));
    this->opened.clear();
    this->reader->ClearFaults();
    const int next = this->Open(300);
    reopened = true;
    call.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(took, std::chrono::milliseconds(T / 2)) << "the call waited out its time-out";
    EXPECT_NE(next, handle) << "the handle was given out again at once";
    EXPECT_EQ(code, KVARA_ERROR_NO_PORT);
}

// An answer that carries another bus address than the reader's is another reader's: it is not
// taken, and the commands after it get their own answers.
TYPED_TEST(FlakyReaderTest, AnAnswerForAnotherBusAddressIsNotTaken) {
    this->StartReader({}, {this->NumberedTag()});
    const int handle = this->Open(300);
    ASSERT_GT(handle, 0);
    this->reader->PushFault(SimFault{.answerAddress = 2, .forCommand = 0xC3});
    unsigned char data[4] = {};
    EXPECT_EQ(KvaraReadBytes(handle, 3, 0, data, 4), -1) << "another reader's answer was taken";
    EXPECT_NE(KvaraGetLastError(handle), 0);
    EXPECT_TRUE(TestFixture::Within(3, [&] { return this->ReadOwn(handle, 1); }));
}
