// SPDX-License-Identifier: MIT
// Whole command transactions fed arbitrary answers: a port in the registry, a link that hands
// the fuzzer's bytes to the port as the reader's answer to each frame sent (in pieces, one per
// polling pass of the wait), and one reader function of the C API or the port's own command
// execution on top. Properties, besides memory safety of every output buffer (each is
// allocated to exactly the size the function is told):
// - a function that fails leaves a non-zero error code;
// - a function that succeeds delivers the data of a frame the reader really sent: the one
//   frame the bytes hold (behind dropped stray bytes in mode 0) with a matching check value,
//   the exact length of its L byte and status 0; never a cut, padded or foreign answer;
// - a command started from a window message during the wait fails at once with code 256 and
//   sends nothing; closing the port from there is refused;
// - afterwards the port closes and the registry is empty again.
//
// Input: a control byte (bit 0 framing mode, bits 1-3 the function, bit 4 a nested command),
// a piece seed (0: each answer arrives whole), a parameter byte (buffer size, count or
// command), then the answers to successive frames, each a length byte followed by that many
// bytes; the last answer takes whatever is left. A frame with no answer left gets silence.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "common/ui_hooks.h"
#include "fuzz_check.h"
#include "protocol/frame.h"
#include "reader/handles.h"
#include "reader/kvara.h"
#include "reader/port.h"
#include "reader/registry.h"
#include "tests/support/fake_window.h"

using kvara::ByteBuffer;
using kvara::CKvara_Port;
using kvara::CKvara_SDKApp;

namespace {

// Short phases keep a time-out cheap; every answer piece arrives within one polling pass.
constexpr std::uint32_t kTimeoutMs = 1;

enum Function : int {
    kPortExecute,
    kExecute,
    kInventory,
    kGetTxPower,
    kWriteBank,
    kGetDeviceType,
    kReadBytes,
    kReadBank,
};

struct Script {
    int mode = 0;
    int function = kPortExecute;
    bool nested = false;
    std::uint8_t pieceSeed = 0;
    std::uint8_t parameter = 0;
    std::vector<ByteBuffer> answers;
};

Script ReadScript(const std::uint8_t* data, std::size_t size) {
    Script script;
    if (size < 3) {
        return script;
    }
    script.mode = data[0] & 1;
    script.function = (data[0] >> 1) & 7;
    script.nested = (data[0] & 0x10) != 0;
    script.pieceSeed = data[1];
    script.parameter = data[2];
    std::size_t p = 3;
    while (p < size) {
        const std::size_t length = data[p++];
        const std::size_t take = std::min(length, size - p);
        script.answers.emplace_back(data + p, data + p + take);
        p += take;
    }
    return script;
}

// The reader's side of the link: each frame sent is answered with the next scripted answer.
// Its first piece arrives at once, the rest one piece per dispatch of window messages.
class ScriptedLink final : public kvara::CReaderLink {
public:
    ScriptedLink(std::vector<ByteBuffer> answers, std::uint8_t seed)
        : m_answers(std::move(answers)), m_random(seed), m_whole(seed == 0) {}
    ~ScriptedLink() override { ReleaseHandle(); }
    ScriptedLink(const ScriptedLink&) = delete;
    ScriptedLink& operator=(const ScriptedLink&) = delete;

    void SetReceiver(kvara::CByteReceiver* receiver) override { m_receiver = receiver; }
    bool Send(const std::uint8_t* data, std::size_t length) override {
        FUZZ_CHECK(!m_closed);
        ByteBuffer frame(data, data + length);
        FUZZ_CHECK(!frame.empty());
        ++m_sends;
        m_current.clear();
        m_next = 0;
        if (m_answered < m_answers.size()) {
            m_current = m_answers[m_answered];
        }
        ++m_answered;
        DeliverPiece();
        return true;
    }
    void Close() override {
        m_closed = true;
        ReleaseHandle();
    }
    // A handle of the serial range, held from creation until the link is closed.
    int Handle() const override { return m_handle; }
    void ReleaseHandle() {
        if (m_handle != 0) {
            kvara::SerialHandles().Release(m_handle);
            m_handle = 0;
        }
    }

    // Hands the next piece of the current answer to the port; false when nothing was left.
    bool DeliverPiece() {
        if (m_next >= m_current.size() || m_receiver == nullptr) {
            return false;
        }
        std::size_t piece = m_current.size() - m_next;
        if (!m_whole) {
            m_random = m_random * 1103515245u + 12345u;
            piece = std::min<std::size_t>(piece, 1 + (m_random >> 16) % 7);
        }
        m_receiver->OnBytesReceived(m_current.data() + m_next, piece);
        m_next += piece;
        return true;
    }

    int Sends() const { return m_sends; }
    bool Closed() const { return m_closed; }
    const ByteBuffer& Answer(std::size_t i) const {
        static const ByteBuffer kNone;
        return i < m_answers.size() ? m_answers[i] : kNone;
    }

private:
    std::vector<ByteBuffer> m_answers;
    kvara::CByteReceiver* m_receiver = nullptr;
    ByteBuffer m_current;
    std::size_t m_next = 0;
    std::size_t m_answered = 0;
    std::uint32_t m_random;
    bool m_whole;
    int m_sends = 0;
    bool m_closed = false;
    int m_handle = kvara::SerialHandles().Acquire();
};

// The data of the frame that the port may accept from an answer, worked out independently of
// the port: in mode 0 the bytes in front of the first 0x02 are dropped; the frame must then
// carry a matching check value and status 0. Nothing when the answer holds no such frame.
std::optional<ByteBuffer> ReaderData(const ByteBuffer& answer, int mode) {
    ByteBuffer t = answer;
    if (mode == 0) {
        std::size_t stray = 0;
        while (stray < t.size() && t[stray] != 0x02) {
            ++stray;
        }
        t.erase(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(stray));
    }
    const std::size_t head = mode == 0 ? 4 : 3;
    const std::size_t lengthAt = head - 1;
    const std::size_t checkBytes = mode == 0 ? 1 : 2;
    if (t.size() <= lengthAt) {
        return std::nullopt;
    }
    std::size_t dataEnd = head + t[lengthAt];
    std::size_t total = dataEnd + checkBytes;
    if (t[lengthAt] == 0xFF) {
        std::size_t p = head;
        while (p < t.size() && t[p] != 0xFF) {
            p += static_cast<std::size_t>(t[p]) + 1;
        }
        if (p >= t.size()) {
            return std::nullopt;
        }
        dataEnd = p;
        total = p + 1 + checkBytes;
    }
    if (t.size() < total || t[lengthAt - 1] != 0) {
        return std::nullopt;
    }
    bool checked = false;
    if (mode == 0) {
        checked = kvara::Bcc(t.data() + 1, total - 2) == t[total - 1];
    } else {
        const std::uint16_t crc = kvara::Crc16(t.data(), total - 2);
        checked = t[total - 2] == (crc & 0xFF) && t[total - 1] == (crc >> 8);
    }
    if (!checked) {
        return std::nullopt;
    }
    return ByteBuffer(t.begin() + static_cast<std::ptrdiff_t>(head),
                      t.begin() + static_cast<std::ptrdiff_t>(dataEnd));
}

bool SameBytes(const std::uint8_t* got, std::size_t count, const ByteBuffer& expected) {
    return count == expected.size() &&
           (count == 0 || std::memcmp(got, expected.data(), count) == 0);
}

// An output buffer of exactly the size the function is told, so that any write past it is
// caught.
std::unique_ptr<std::uint8_t[]> Output(std::size_t size) {
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
}

struct Run {
    ScriptedLink* link = nullptr;
    int handle = 0;
    bool nested = false;
    bool nestedTried = false;
};
Run* g_run = nullptr;

// The window messages dispatched while a command waits: the first one may try to start a
// command on the same reader and to close it; every one delivers an answer piece.
bool PumpMessages() {
    Run& run = *g_run;
    if (run.nested && !run.nestedTried) {
        run.nestedTried = true;
        const int sendsBefore = run.link->Sends();
        std::uint8_t buffer[8];
        FUZZ_CHECK(KvaraExecute(run.handle, 0xF0, nullptr, 0, buffer, sizeof buffer) == -1);
        FUZZ_CHECK(KvaraGetLastError(run.handle) == KVARA_ERROR_PORT_BUSY);
        FUZZ_CHECK(KvaraClosePort(run.handle) == -1);
        FUZZ_CHECK(CKvara_SDKApp::Instance().PortCount() == 1);
        FUZZ_CHECK(run.link->Sends() == sendsBefore);
    }
    return run.link->DeliverPiece();
}

void RunFunction(const Script& script, CKvara_Port& port, Run& run) {
    const int handle = run.handle;
    const std::size_t size = script.parameter;
    const auto data0 = ReaderData(run.link->Answer(0), script.mode);
    int result = 0;
    switch (script.function) {
        case kPortExecute: {
            ByteBuffer answer;
            const ByteBuffer payload(size % 4, 0x5A);
            // Under the caller's command scope, as the API functions run it.
            kvara::CommandScope scope(port);
            FUZZ_CHECK(static_cast<bool>(scope));
            const bool ok = CKvara_SDKApp::Execute(port, script.parameter, payload, answer);
            FUZZ_CHECK(port.m_request.empty());
            FUZZ_CHECK(ok || port.m_lastError != 0);
            FUZZ_CHECK(!ok || (data0 && answer == *data0));
            return;
        }
        case kExecute: {
            auto buffer = Output(size);
            result = KvaraExecute(handle, 0x09, nullptr, 0, buffer.get(), static_cast<int>(size));
            FUZZ_CHECK(
                result < 0 ||
                (data0 && SameBytes(buffer.get(), static_cast<std::size_t>(result), *data0)));
            break;
        }
        case kInventory: {
            auto buffer = Output(size);
            result = KvaraInventory(handle, 0, buffer.get(), static_cast<int>(size));
            if (result >= 0) {
                FUZZ_CHECK(data0.has_value());
                const std::size_t expected = data0->size() <= size ? data0->size() : size / 16 * 16;
                const ByteBuffer head(data0->begin(),
                                      data0->begin() + static_cast<std::ptrdiff_t>(expected));
                FUZZ_CHECK(SameBytes(buffer.get(), static_cast<std::size_t>(result), head));
            }
            break;
        }
        case kGetTxPower: {
            unsigned short power = 0;
            result = KvaraGetTxPower(handle, &power);
            FUZZ_CHECK(result < 0 ||
                       (data0 && data0->size() >= 2 && power == ((*data0)[0] | (*data0)[1] << 8)));
            break;
        }
        case kWriteBank: {
            const ByteBuffer written(size % 8, 0xA5);
            result = KvaraWriteBank(handle, 3, 0, written.data(), static_cast<int>(written.size()));
            // Done: the reader confirmed the write, or the area read back as written.
            const auto data1 = ReaderData(run.link->Answer(1), script.mode);
            FUZZ_CHECK(result < 0 || data0 ||
                       (run.link->Sends() == 2 && data1 && *data1 == written));
            break;
        }
        case kGetDeviceType: {
            auto buffer = Output(size);
            const std::size_t nameSize = size % 13;
            auto name = Output(nameSize);
            std::memset(name.get(), 0x7F, nameSize);
            result =
                KvaraGetDeviceType(handle, buffer.get(), static_cast<int>(size),
                                   reinterpret_cast<char*>(name.get()), static_cast<int>(nameSize));
            FUZZ_CHECK(
                result < 0 ||
                (data0 && SameBytes(buffer.get(), static_cast<std::size_t>(result), *data0)));
            // The name is written whole with its terminator, or not at all.
            const bool untouched = nameSize == 0 || name[0] == 0x7F;
            FUZZ_CHECK(untouched || std::memchr(name.get(), 0, nameSize) != nullptr);
            break;
        }
        case kReadBytes: {
            auto buffer = Output(size);
            result = KvaraReadBytes(handle, 1, 2, buffer.get(), static_cast<int>(size));
            FUZZ_CHECK(result <= static_cast<int>(size));
            FUZZ_CHECK(
                result < 0 ||
                (data0 && SameBytes(buffer.get(), static_cast<std::size_t>(result), *data0)));
            break;
        }
        case kReadBank: {
            auto buffer = Output(size);
            result = KvaraReadBank(handle, 2, 0, buffer.get(), static_cast<int>(size));
            FUZZ_CHECK(
                result < 0 ||
                (data0 && SameBytes(buffer.get(), static_cast<std::size_t>(result), *data0)));
            break;
        }
        default:
            return;
    }
    FUZZ_CHECK(result >= -1);
    FUZZ_CHECK(result >= 0 || KvaraGetLastError(handle) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Script script = ReadScript(data, size);
    CKvara_SDKApp& registry = CKvara_SDKApp::Instance();

    auto link = std::make_unique<ScriptedLink>(script.answers, script.pieceSeed);
    Run run;
    run.link = link.get();
    run.nested = script.nested;
    auto port = std::make_shared<CKvara_Port>();
    port->AttachLink(std::move(link));
    port->m_timeoutMs = kTimeoutMs;
    port->m_protocolMode = static_cast<std::uint8_t>(script.mode);
    registry.AddPort(port);
    run.handle = port->GetHandle();

    g_run = &run;
    kvara::test::FakeWindow pump;
    pump.onEveryPump = PumpMessages;
    pump.Install();

    RunFunction(script, *port, run);

    pump.Uninstall();
    g_run = nullptr;
    FUZZ_CHECK(!port->IsWaiting());
    FUZZ_CHECK(KvaraClosePort(run.handle) == 0);
    FUZZ_CHECK(run.link->Closed());
    FUZZ_CHECK(registry.PortCount() == 0);
    FUZZ_CHECK(KvaraGetLastError(run.handle) == KVARA_ERROR_NO_PORT);
    return 0;
}
