// SPDX-License-Identifier: MIT
#include "reader/port.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "common/deadline.h"
#include "common/ui_hooks.h"
#include "protocol/frame.h"
#include "reader/handles.h"

namespace kvara {

namespace {

using Clock = std::chrono::steady_clock;

// The longest a polling pass blocks while a window needs its messages dispatched: often enough
// for the window to stay responsive, seldom enough to cost next to nothing. Without a window the
// wait sleeps until a byte arrives or the phase ends.
constexpr auto kWindowPassBlock = std::chrono::milliseconds(5);

// How long one pass may block before it looks again: up to the end of the phase without a
// window, at most kWindowPassBlock with one.
Clock::duration PassBlock(Clock::duration remaining) {
    return HasMessagePump() ? std::min<Clock::duration>(kWindowPassBlock, remaining) : remaining;
}
// Right after a frame went out the answer of a near reader is often only microseconds away:
// for this long the wait looks again without going to sleep, which saves a thread wake-up per
// command and costs at most this much CPU time. Only while the reader's last answer came that
// fast: a slow reader's wait sleeps at once.
constexpr auto kSpinBeforeBlocking = std::chrono::microseconds(150);
constexpr auto kNearReader = std::chrono::milliseconds(2);
constexpr std::size_t kHidPollBytes = 100;
constexpr std::uint8_t kCmdDeviceType = 0xF0;
constexpr std::uint8_t kCmdTxPowerRead = 0x07;
constexpr std::size_t kHidDrainBytes = 10;
// The highest transmit power a reader can report, in tenths of a dBm: far above what any UHF
// reader transmits, so that two bytes of some other answer rarely pass for a power.
constexpr unsigned kMaxTxPower = 400;
// After the queries that prove the line in step, it must stay quiet for this many of their
// round trips (at least kMinSettle, at most a time-out): an answer they displaced would come
// within that.
constexpr int kSettleRoundTrips = 3;
constexpr auto kMinSettle = std::chrono::milliseconds(2);
// An answer that completes in less than half the shortest round trip its command ever took
// cannot well be the reader's answer to it: for this many usual round trips (at least
// kMinListen, at most a time-out) the wait listens whether the reader's own answer follows.
constexpr int kListenRoundTrips = 3;
constexpr auto kMinListen = std::chrono::milliseconds(1);

bool IsHexDigit(std::uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A device type answer: four ASCII hexadecimal digits.
bool LooksLikeDeviceType(const ByteBuffer& answer) {
    return answer.size() == 4 && std::all_of(answer.begin(), answer.end(), IsHexDigit);
}

// A power answer: at least two bytes, the first two a power a reader can have.
bool PlausiblePower(const ByteBuffer& data) {
    return data.size() >= 2 && static_cast<unsigned>(data[0] | data[1] << 8) <= kMaxTxPower;
}

// Marks a port as waiting and locks the window for the scope, unless an outer wait does.
class WaitScope {
public:
    WaitScope(std::atomic<bool>& waiting, bool lockWindow)
        : m_waiting(waiting), m_outer(!waiting.exchange(true)) {
        if (m_outer) {
            m_lock.emplace(lockWindow);
        }
    }
    ~WaitScope() {
        if (m_outer) {
            m_lock.reset();
            m_waiting = false;
        }
    }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    std::atomic<bool>& m_waiting;
    const bool m_outer;
    std::optional<WindowLock> m_lock;
};

std::mutex g_traceLock;
FrameTrace g_trace = nullptr;  // guarded by g_traceLock
void* g_traceContext = nullptr;

void Trace(int handle, int direction, const ByteBuffer& bytes) {
    std::lock_guard<std::mutex> guard(g_traceLock);
    if (g_trace != nullptr && !bytes.empty()) {
        g_trace(handle, direction, bytes.data(), static_cast<int>(bytes.size()), g_traceContext);
    }
}

}  // namespace

void SetFrameTrace(FrameTrace trace, void* context) {
    std::lock_guard<std::mutex> guard(g_traceLock);
    g_trace = trace;
    g_traceContext = context;
}

CommandScope::CommandScope(CKvara_Port& port) : m_port(port) {
    if (port.m_commandOwner.load() == std::this_thread::get_id()) {
        port.m_lastError = kErrorPortBusy;  // a window message of this thread's own wait
        return;
    }
    port.m_commandLock.lock();
    if (port.m_closed.load()) {
        port.m_commandLock.unlock();
        return;
    }
    port.m_commandOwner.store(std::this_thread::get_id());
    port.m_callEnd = Deadline::InMs(static_cast<long long>(kCallTimeouts) * port.m_timeoutMs);
    port.m_limit = port.m_callEnd;
    m_held = true;
}

CommandScope::~CommandScope() {
    if (m_held) {
        m_port.m_callEnd = Deadline();
        m_port.m_limit = Deadline();
        m_port.m_commandOwner.store(std::thread::id());
        m_port.m_commandLock.unlock();
    }
}

CKvara_Port::CKvara_Port() = default;

CKvara_Port::~CKvara_Port() {
    // Stop the link's thread before the receive buffer goes away.
    if (m_link) {
        m_link->Close();
    }
    m_link.reset();
}

int CKvara_Port::GetHandle() const {
    return m_link ? m_link->Handle() : 0;
}

void CKvara_Port::AttachLink(std::unique_ptr<CReaderLink> link) {
    m_link = std::move(link);
    if (m_link) {
        m_link->SetReceiver(this);
    }
}

bool CKvara_Port::IsUsbLink() const {
    return m_link && m_link->IsUsbDevice();
}

void CKvara_Port::OnByteReceived(std::uint8_t byte) {
    {
        std::lock_guard<std::mutex> guard(m_receiveLock);
        if (m_receive.size() >= kMaxReceiveBytes) {
            return;
        }
        m_receive.push_back(byte);
        ++m_receiveSequence;
    }
    m_receiveSignal.notify_one();
}

void CKvara_Port::OnBytesReceived(const std::uint8_t* data, std::size_t length) {
    {
        std::lock_guard<std::mutex> guard(m_receiveLock);
        const std::size_t room = kMaxReceiveBytes - std::min(kMaxReceiveBytes, m_receive.size());
        const std::size_t taken = std::min(room, length);
        m_receive.insert(m_receive.end(), data, data + taken);
        m_receiveSequence += taken;
    }
    m_receiveSignal.notify_one();
}

void CKvara_Port::OnFrameOut(bool inputPending) {
    std::lock_guard<std::mutex> guard(m_receiveLock);
    if (!m_frameOut.load()) {
        m_unaskedBeforeFrame = inputPending || m_receiveSequence != m_sequenceAtClear;
        m_frameOut = true;
    }
}

std::size_t CKvara_Port::ClearReceive() {
    std::size_t discarded = 0;
    {
        std::lock_guard<std::mutex> guard(m_receiveLock);
        discarded = m_receive.size();
        m_receive.clear();
        // The next frame's fence starts here.
        m_sequenceAtClear = m_receiveSequence;
        m_frameOut = false;
        m_unaskedBeforeFrame = false;
    }
    if (Pulls()) {
        // Discard stale reports. Bounded, so a device that never stops cannot hold us here.
        std::uint8_t scratch[kHidDrainBytes];
        std::size_t drained = 0;
        while (drained < kMaxReceiveBytes) {
            const std::size_t n = m_link->ReadInput(scratch, sizeof scratch);
            if (n == 0) {
                break;
            }
            drained += n;
        }
        discarded += drained;
    }
    return discarded;
}

void CKvara_Port::PollInput() {
    if (!Pulls()) {
        return;
    }
    std::uint8_t buffer[kHidPollBytes];
    const std::size_t n = m_link->ReadInput(buffer, sizeof buffer);
    OnBytesReceived(buffer, std::min(n, sizeof buffer));
}

std::size_t CKvara_Port::ReceivedCount(std::uint64_t* sequence) {
    std::lock_guard<std::mutex> guard(m_receiveLock);
    if (sequence != nullptr) {
        *sequence = m_receiveSequence;
    }
    return m_receive.size();
}

void CKvara_Port::SetIdentity(const ByteBuffer& deviceType) {
    m_identity = deviceType;
    m_outOfStep = false;
    m_lateAnswerPossible = false;
}

void CKvara_Port::ForgetLateAnswer() {
    m_lateAnswerPossible = false;
    m_outOfStep = false;
}

void CKvara_Port::NoteActivity() {
    m_lastActivity = Clock::now();
    m_activitySequence = m_receiveSequence.load();
}

// An answer may still be on its way (after a time-out), or one came that nobody asked for: until
// the line is proven in step again, an answer cannot be told from an earlier command's.
void CKvara_Port::MarkOutOfStep(bool lateAnswerPossible) {
    m_outOfStep = true;
    m_lateAnswerPossible = m_lateAnswerPossible || lateAnswerPossible;
}

void CKvara_Port::Learn(std::uint8_t command, Clock::duration roundTrip) {
    Timing& timing = m_timing[command];
    if (timing.fastest == Clock::duration::zero()) {
        timing.fastest = roundTrip;
        timing.usual = roundTrip;
        return;
    }
    timing.fastest = std::min(timing.fastest, roundTrip);
    timing.usual = (timing.usual * 7 + roundTrip) / 8;
}

bool CKvara_Port::AnswerFits(std::uint8_t command, const ByteBuffer& payload,
                             const ByteBuffer& data) const {
    switch (command) {
        case kCmdTxPowerRead:
            // Shorter than a power: the caller's own error (code 20).
            return data.size() < 2 ||
                   (PlausiblePower(data) &&
                    (!m_power.known || m_power.status != 0 || data.size() == m_power.length));
        case 0x08:  // transmit power write
        case 0xC2:  // select
        case 0xC4:  // write
        case 0xC5:  // write with password
        case 0xC6:  // lock
        case 0xF4:  // reader mode
        case 0xF5:  // RF field
        case 0xFF:  // USB mode
            return data.empty();
        case 0xC3: {  // read: a count asks for that many bytes (a fixed answer carries 254)
            const std::size_t count = payload.size() >= 5 ? payload[4] : 0;
            return count == 0 || data.size() >= std::min<std::size_t>(count, 254);
        }
        default:
            return true;
    }
}

bool CKvara_Port::PowerAnswerFits(std::uint8_t status, const ByteBuffer& data) const {
    if (!m_power.known) {
        return status != 0 ? data.empty() : PlausiblePower(data);
    }
    if (status != m_power.status) {
        return false;
    }
    return status != 0 ||
           (data.size() == m_power.length && (data.size() < 2 || PlausiblePower(data)));
}

// Bytes that came while no command waited, or an answer whose shape shows it is not the
// command's, put the line out of step: the command is then sent only after GetInStep.
bool CKvara_Port::Execute(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer) {
    answer.clear();
    m_cameBackInStep = false;
    const bool identified = !m_identity.empty();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (m_closed.load()) {
            m_lastError = kErrorNoPort;
            return false;
        }
        if (identified && m_outOfStep) {
            const std::int32_t failure = GetInStep();
            if (failure != 0) {
                m_lastError = failure;
                return false;
            }
            m_cameBackInStep = true;
        }
        const Outcome outcome = Transaction(command, payload, answer, identified, false, nullptr);
        if (outcome != Outcome::kUnasked) {
            return outcome == Outcome::kAnswered;
        }
        MarkOutOfStep(false);  // bytes nobody asked for: an answer no command accounts for
    }
    m_lastError = kErrorOutOfStep;
    return false;
}

// One frame out and its answer in, checked. On a line in step the first answer that comes is
// the command's own, so a garbled answer of exactly a frame's length is the command's own with
// changed bytes and leaves the line in step; bytes behind a frame, an answer for another bus
// address or one that does not fit the command are another answer, and the command's own may
// still come.
CKvara_Port::Outcome CKvara_Port::Transaction(std::uint8_t command, const ByteBuffer& payload,
                                              ByteBuffer& answer, bool stopOnUnasked, bool proving,
                                              Clock::duration* roundTrip) {
    m_request.clear();
    m_request.push_back(command);
    m_request.insert(m_request.end(), payload.begin(), payload.end());
    answer.clear();
    const bool inStep = !m_outOfStep;
    Clock::duration took{};
    const Outcome sent = SendAndWait(command, stopOnUnasked, &took);
    if (roundTrip != nullptr) {
        *roundTrip = took;
    }
    if (sent != Outcome::kAnswered) {
        return sent;
    }
    if (!ReceiveAnswer(answer)) {
        const std::int32_t code = m_lastError;
        if (code == kErrorForeignAnswer || (code == kErrorChecksum && m_extraBytes)) {
            MarkOutOfStep(false);
        } else if (code > 0 && code < 256 && inStep && !proving) {
            Learn(command, took);  // a clean refusal
        }
        return Outcome::kFailed;
    }
    if (!proving && !AnswerFits(command, payload, answer)) {
        answer.clear();
        m_lastError = kErrorForeignAnswer;
        MarkOutOfStep(false);
        return Outcome::kFailed;
    }
    if (inStep && !proving) {
        Learn(command, took);
    }
    return Outcome::kAnswered;
}

// Gets the line back in step: waits until it has been quiet for a time-out (throwing away what
// comes meanwhile), then proves it in step with queries whose answers cannot pass for each
// other (Prove). A failed proof leaves answers on their way: the next round waits for quiet
// again. All rounds together take at most kResyncTimeouts time-outs, so that a reader that
// keeps talking, or keeps answering late, costs a bounded time.
std::int32_t CKvara_Port::GetInStep() {
    const Deadline saved = m_limit;
    m_limit = Deadline::InMs(static_cast<long long>(kResyncTimeouts) * m_timeoutMs).Or(m_callEnd);
    const auto quiet = std::chrono::milliseconds(m_timeoutMs);
    std::int32_t failure = kErrorOutOfStep;
    while (!m_closed.load()) {
        if (!WaitQuiet(quiet, m_limit)) {
            break;
        }
        m_lateAnswerPossible = false;
        const Proof proof = Prove(m_identity, false);
        if (proof == Proof::kInStep) {
            m_outOfStep = false;
            failure = 0;
            break;
        }
        if (proof == Proof::kEnded) {
            failure = m_lastError;
            break;
        }
        failure = proof == Proof::kNoAnswer ? kErrorTimeout : kErrorOutOfStep;
        if (m_limit.Expired()) {
            break;
        }
    }
    m_limit = saved;
    return m_closed.load() ? kErrorNoPort : failure;
}

// The reader answers in order, one answer a query. A device type query must get exactly the
// reader's own device type, a transmit power query then a power answer (or the refusal the
// reader gives it), and a device type query the device type again; then the line must stay
// quiet for a few of their round trips. An earlier answer still on its way would take a query's
// place, and then a query gets an answer of the wrong kind (no shift of the pattern fits
// itself), or the queries' own answers come after them. Bytes swept away when a query goes out
// are an answer nobody accounts for. At open (learnPower) the power answer's kind is learnt.
CKvara_Port::Proof CKvara_Port::Prove(const ByteBuffer& identity, bool learnPower) {
    const std::int32_t before = m_lastError;
    Clock::duration slowest{};
    Proof result = Proof::kInStep;
    for (int step = 0; step < 3 && result == Proof::kInStep; ++step) {
        const bool power = step == 1;
        ByteBuffer answer;
        Clock::duration took{};
        const Outcome outcome =
            Transaction(power ? kCmdTxPowerRead : kCmdDeviceType, {}, answer, true, true, &took);
        slowest = std::max(slowest, took);
        const std::int32_t code = m_lastError;
        if (outcome == Outcome::kUnasked) {
            result = Proof::kShifted;
        } else if (outcome == Outcome::kFailed && code == kErrorTimeout) {
            result = Proof::kNoAnswer;
        } else if (outcome == Outcome::kFailed && (code < 1 || code > 255)) {
            // Garbled or foreign (kShifted), or nothing was sent at all.
            const bool ended = code == kErrorPortBusy || code == kErrorNoPort ||
                               code == kErrorDataCount || m_closed.load();
            result = ended ? Proof::kEnded : Proof::kShifted;
        } else if (!power) {
            // A refusal of the device type query is no device type either.
            result = outcome == Outcome::kAnswered && answer == identity ? Proof::kInStep
                                                                         : Proof::kShifted;
        } else {
            const auto status = static_cast<std::uint8_t>(outcome == Outcome::kFailed ? code : 0);
            if (learnPower) {
                const bool kind = status != 0 ? answer.empty()
                                              : answer != identity &&
                                                    (answer.size() < 2 || PlausiblePower(answer));
                if (kind) {
                    m_power = PowerAnswer{true, status, answer.size()};
                } else {
                    result = Proof::kShifted;
                }
            } else if (!PowerAnswerFits(status, answer)) {
                result = Proof::kShifted;
            }
        }
    }
    if (result == Proof::kInStep) {
        const Clock::duration usual =
            std::max(m_timing[kCmdDeviceType].usual, m_timing[kCmdTxPowerRead].usual);
        const Clock::duration settle =
            std::clamp<Clock::duration>(kSettleRoundTrips * std::max(slowest, usual), kMinSettle,
                                        std::chrono::milliseconds(m_timeoutMs));
        if (!StaysQuiet(settle)) {
            result = m_closed.load() ? Proof::kEnded : Proof::kShifted;
        }
    }
    if (result != Proof::kInStep && result != Proof::kEnded) {
        MarkOutOfStep(false);
    }
    if (result == Proof::kEnded) {
        return result;
    }
    m_lastError = before;  // the queries leave the code of the last failure as it was
    return result;
}

// Identifies the reader at open. Its first answer may be a late one of a command sent before
// the line was closed and opened again (by this program or another): it is taken as the device
// type only when the proof after it holds. An answer of the wrong shape that the reader gives
// twice is its own: the reader is not one of ours.
bool CKvara_Port::Identify() {
    m_identity.clear();
    m_power = PowerAnswer{};
    m_protocolMode = 0;
    ByteBuffer candidate;
    bool answered =
        Transaction(kCmdDeviceType, {}, candidate, false, true, nullptr) == Outcome::kAnswered;
    if (!answered && !m_closed.load() && m_lastError != kErrorPortBusy) {
        m_protocolMode = 1;
        ForgetLateAnswer();
        answered =
            Transaction(kCmdDeviceType, {}, candidate, false, true, nullptr) == Outcome::kAnswered;
    }
    if (!answered) {
        m_protocolMode = 0;
        return false;
    }
    std::optional<ByteBuffer> wrongShape;
    for (;;) {
        if (answered && LooksLikeDeviceType(candidate)) {
            const Proof proof = Prove(candidate, true);
            if (proof == Proof::kInStep) {
                SetIdentity(candidate);
                return true;
            }
            if (proof == Proof::kEnded) {
                break;
            }
        } else if (answered && wrongShape == candidate) {
            break;
        } else if (answered) {
            wrongShape = candidate;
        }
        if (m_closed.load() || !WaitQuiet(std::chrono::milliseconds(m_timeoutMs), m_limit)) {
            break;
        }
        m_lateAnswerPossible = false;
        m_outOfStep = false;
        answered =
            Transaction(kCmdDeviceType, {}, candidate, true, true, nullptr) == Outcome::kAnswered;
        if (!answered && (m_lastError == kErrorPortBusy || m_closed.load())) {
            break;
        }
    }
    m_protocolMode = 0;
    return false;
}

bool CKvara_Port::SendCommand() {
    const std::uint8_t command = m_request.empty() ? 0 : m_request.front();
    return SendAndWait(command, false, nullptr) == Outcome::kAnswered;
}

CKvara_Port::Outcome CKvara_Port::SendAndWait(std::uint8_t command, bool stopOnUnasked,
                                              Clock::duration* roundTrip) {
    if (m_waiting) {
        // A window message dispatched during this port's wait tried to start another command.
        m_request.clear();
        m_lastError = kErrorPortBusy;
        return Outcome::kFailed;
    }
    if (!BuildFrame(m_request, m_protocolMode, m_address)) {
        m_request.clear();
        m_lastError = kErrorDataCount;
        return Outcome::kFailed;
    }
    if (m_lateAnswerPossible) {
        // After a command that got no complete answer, that answer may still come, and answers
        // do not name their command: wait until the line has been quiet for a time-out (at most
        // two), throwing away what comes.
        m_lateAnswerPossible = false;
        WaitQuiet(std::chrono::milliseconds(m_timeoutMs),
                  Deadline::InMs(2LL * m_timeoutMs).Or(m_limit));
    }
    if (ClearReceive() > 0 && stopOnUnasked) {
        m_request.clear();
        return Outcome::kUnasked;
    }
    if (m_closed.load()) {
        m_request.clear();
        m_lastError = kErrorNoPort;
        return Outcome::kFailed;
    }
    bool handedOver = true;
    if (m_link && m_link->Handle() != 0) {
        Trace(GetHandle(), 0, m_request);
        handedOver = m_link->Send(m_request.data(), m_request.size());
    }
    m_request.clear();
    NoteActivity();
    if (!handedOver) {
        // The link could not take the frame (a report write that the device did not take in
        // time): no answer can come. Part of it may still reach the reader later.
        m_lastError = kErrorTimeout;
        MarkOutOfStep(true);
        return Outcome::kFailed;
    }
    if (!WaitForAnswer(command, roundTrip)) {
        if (m_link) {
            m_link->Withdraw();
        }
        if (m_closed.load()) {
            m_lastError = kErrorNoPort;
            return Outcome::kFailed;
        }
        m_lastError = kErrorTimeout;
        NoteActivity();
        MarkOutOfStep(true);
        return Outcome::kFailed;
    }
    if (m_frameOut.load() && m_unaskedBeforeFrame.load()) {
        // Bytes that came before the frame went out are part of what the wait took: whatever
        // the answer looks like, it may be theirs. The frame's own answer may still come.
        m_lastError = kErrorForeignAnswer;
        MarkOutOfStep(false);
        return Outcome::kFailed;
    }
    return Outcome::kAnswered;
}

bool CKvara_Port::WaitQuiet(Clock::duration quiet, const Deadline& limit) {
    WaitScope waiting(m_waiting, !m_noWindowLock);
    const bool pulls = Pulls();
    for (;;) {
        PumpPendingMessages();
        PollInput();
        if (m_closed.load()) {
            return false;
        }
        std::unique_lock<std::mutex> guard(m_receiveLock);
        const auto now = Clock::now();
        if (m_receiveSequence != m_activitySequence) {
            // Bytes came since the port last looked: as far as it knows, just now.
            m_activitySequence = m_receiveSequence;
            m_lastActivity = now;
        }
        const Clock::time_point quietFrom = m_lastActivity;
        if (now - quietFrom >= quiet) {
            m_receive.clear();  // what came meanwhile: answers nobody waits for
            return true;
        }
        if (limit.Expired(now)) {
            return false;
        }
        if (pulls) {
            continue;  // reading the device waited already
        }
        const auto until = std::min(quietFrom + quiet, limit.End());
        const std::uint64_t seen = m_receiveSequence;
        m_receiveSignal.wait_for(guard, PassBlock(until - now),
                                 [&] { return m_receiveSequence != seen || m_closed.load(); });
    }
}

bool CKvara_Port::StaysQuiet(Clock::duration time) {
    const Deadline end = Deadline::In(time);
    if (m_limit.End() < end.End()) {
        return false;  // the call's time ends first: nothing can be proven
    }
    WaitScope waiting(m_waiting, !m_noWindowLock);
    const bool pulls = Pulls();
    std::uint64_t start = 0;
    ReceivedCount(&start);
    for (;;) {
        PumpPendingMessages();
        PollInput();
        std::unique_lock<std::mutex> guard(m_receiveLock);
        if (m_receiveSequence != start || m_closed.load()) {
            return false;
        }
        if (end.Expired()) {
            return true;
        }
        if (!pulls) {
            m_receiveSignal.wait_for(guard, PassBlock(end.Remaining()),
                                     [&] { return m_receiveSequence != start || m_closed.load(); });
        }
    }
}

Deadline CKvara_Port::PhaseEnd() const {
    return Deadline::InMs(m_timeoutMs).Or(m_limit);
}

bool CKvara_Port::WaitForAnswer(std::uint8_t command, Clock::duration* roundTrip) {
    WaitScope waiting(m_waiting, !m_noWindowLock);
    const auto start = Clock::now();
    bool complete = RunPhases();
    if (complete) {
        NoteActivity();  // the answer's last byte
    }
    const auto took = (complete ? m_lastActivity : Clock::now()) - start;
    // A reader that answered within a couple of milliseconds is near (even when this thread
    // slept and woke late); one that took longer is not looked at without sleeping next time.
    m_nearReader = complete && took <= kNearReader;
    const Timing& timing = m_timing[command];
    if (complete && timing.fastest > Clock::duration::zero() && took * 2 < timing.fastest) {
        // Sooner than this reader ever answers this command: an answer nobody asked for, sent
        // twice perhaps. Listen whether the command's own answer follows; its bytes then stay
        // behind the first frame and fail it.
        const auto window = std::clamp<Clock::duration>(
            kListenRoundTrips * timing.usual, kMinListen, std::chrono::milliseconds(m_timeoutMs));
        StaysQuiet(std::min<Clock::duration>(window, m_limit.Remaining()));
        complete = !m_closed.load();
    }
    if (roundTrip != nullptr) {
        *roundTrip = took;
    }
    return complete;
}

// Runs the three waiting phases. Each polling pass dispatches pending window messages, polls the
// HID link and checks the phase's time; when neither produced anything it blocks until a byte
// arrives, for at most 1 ms, instead of spinning. Each phase ends after a time-out, and all of
// them by the call's limit; a close of the port ends them at once.
bool CKvara_Port::RunPhases() {
    const bool pulls = Pulls();
    const auto spinUntil =
        Clock::now() + (m_nearReader ? kSpinBeforeBlocking : Clock::duration::zero());
    // One polling pass; false when the phase has run out of time or the port was closed.
    auto pass = [&](const Deadline& phase, std::uint64_t seen, bool mayBlock) {
        const bool dispatched = PumpPendingMessages();
        PollInput();
        if (phase.Expired() || m_closed.load()) {
            return false;
        }
        while (mayBlock && !pulls && Clock::now() < spinUntil) {
            if (m_receiveSequence.load(std::memory_order_acquire) != seen) {
                return true;
            }
            std::this_thread::yield();
        }
        if (mayBlock && !dispatched && !pulls) {
            std::unique_lock<std::mutex> guard(m_receiveLock);
            m_receiveSignal.wait_for(guard, PassBlock(phase.Remaining()),
                                     [&] { return m_receiveSequence != seen || m_closed.load(); });
        }
        return true;
    };

    // Phase 1: the first four bytes.
    {
        const Deadline phase = PhaseEnd();
        std::uint64_t seen = 0;
        while (ReceivedCount(&seen) < 4) {
            if (!pass(phase, seen, true)) {
                return false;
            }
        }
    }

    // Phase 2 (mode 0): drop stray bytes in front of the 0x02.
    if (m_protocolMode == 0) {
        const Deadline phase = PhaseEnd();
        bool dropped = false;
        for (;;) {
            std::uint64_t seen = 0;
            bool found = false;
            bool progress = false;
            {
                std::lock_guard<std::mutex> guard(m_receiveLock);
                seen = m_receiveSequence;
                if (!m_receive.empty()) {
                    if (m_receive.front() == 0x02) {
                        found = true;
                    } else {
                        m_receive.erase(m_receive.begin());
                        dropped = true;
                        progress = true;
                    }
                }
            }
            if (!pass(phase, seen, !found && !progress)) {
                return false;
            }
            if (found) {
                break;
            }
        }
        if (dropped) {
            std::uint64_t seen = 0;
            while (ReceivedCount(&seen) < 4) {
                if (!pass(phase, seen, true)) {
                    return false;
                }
            }
        }
    }

    // Phase 3: the rest of the answer, as long as its L byte says.
    {
        const Deadline phase = PhaseEnd();
        for (;;) {
            std::uint64_t seen = 0;
            bool complete = false;
            {
                std::lock_guard<std::mutex> guard(m_receiveLock);
                seen = m_receiveSequence;
                complete = AnswerLengthReached(m_receive.data(), m_receive.size(), m_protocolMode);
            }
            if (complete) {
                return true;
            }
            if (!pass(phase, seen, true)) {
                return false;
            }
        }
    }
}

bool CKvara_Port::ReceiveAnswer(ByteBuffer& answer) {
    answer.clear();
    m_extraBytes = false;
    {
        std::lock_guard<std::mutex> guard(m_receiveLock);
        answer.swap(m_receive);
    }
    Trace(GetHandle(), 1, answer);
    if (answer.empty()) {
        m_lastError = kErrorEmptyAnswer;
        return false;
    }
    if (!CheckFrame(answer, m_protocolMode) || !FrameLengthMatches(answer, m_protocolMode)) {
        // Bytes behind a complete frame: another answer came with it.
        m_extraBytes = AnswerLengthReached(answer.data(), answer.size(), m_protocolMode) &&
                       !FrameLengthMatches(answer, m_protocolMode);
        m_lastError = kErrorChecksum;
        return false;
    }
    // An answer for another bus address is another reader's.
    if (answer[m_protocolMode == 0 ? 1 : 0] != static_cast<std::uint8_t>(m_address & 0xFF)) {
        m_lastError = kErrorForeignAnswer;
        return false;
    }
    const std::uint8_t status = answer[StatusOffset(m_protocolMode)];
    if (status != 0) {
        m_lastError = status;
        return false;
    }
    StripFrame(answer, m_protocolMode);
    return true;
}

void CKvara_Port::ClosePort() {
    m_closed.store(true);
    {
        std::lock_guard<std::mutex> guard(m_receiveLock);  // a wait sees the flag or the signal
    }
    m_receiveSignal.notify_all();
    std::lock_guard<std::mutex> guard(m_closeLock);  // a close from two threads at once
    if (m_link) {
        m_link->Close();  // a TCP link keeps its handle until the port goes
    }
}

bool CKvara_Port::Shutdown() {
    if (m_commandOwner.load() == std::this_thread::get_id()) {
        m_lastError = kErrorPortBusy;  // from a window message of this port's own wait
        return false;
    }
    m_closed.store(true);
    { std::lock_guard<std::mutex> guard(m_receiveLock); }
    m_receiveSignal.notify_all();
    // The waiting command ends at once; the link closes only after it, since it may be using
    // the link (a HID read) until then.
    std::lock_guard<std::mutex> command(m_commandLock);
    ClosePort();
    return true;
}

}  // namespace kvara
