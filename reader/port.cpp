// SPDX-License-Identifier: MIT
#include "reader/port.h"

#include <algorithm>
#include <chrono>
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
// A late answer is taken to be over once the line has been quiet this long.
constexpr auto kLateAnswerQuiet = std::chrono::milliseconds(20);
constexpr std::size_t kHidPollBytes = 100;
constexpr std::uint8_t kCmdDeviceType = 0xF0;
constexpr std::uint8_t kCmdTxPowerRead = 0x07;
// Device type queries that prove the line in step again: one per answer that may still be on
// its way (each late answer shifts every later one by one place), at most this many. The count
// starts again at every confirmed step, so a long run of time-outs is what it must cover.
constexpr int kMaxInStepQueries = 32;
constexpr std::size_t kHidDrainBytes = 10;

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
    m_held = true;
}

CommandScope::~CommandScope() {
    if (m_held) {
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

std::size_t CKvara_Port::ClearReceive() {
    std::size_t discarded = 0;
    {
        std::lock_guard<std::mutex> guard(m_receiveLock);
        discarded = m_receive.size();
        m_receive.clear();
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
    m_lateAnswers = 0;
}

void CKvara_Port::ForgetLateAnswer() {
    m_lateAnswerPossible = false;
    m_outOfStep = false;
    m_lateAnswers = 0;
}

// An answer may still be on its way. After a time-out the next command first waits a while for
// it (drain); after a garbled answer or a shifted query the bytes are in already.
void CKvara_Port::MarkOutOfStep(bool drain) {
    m_outOfStep = true;
    m_lateAnswerPossible = m_lateAnswerPossible || drain;
    m_lateAnswers = std::min(m_lateAnswers + 1, kMaxInStepQueries);
}

bool CKvara_Port::RunCommand(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer) {
    m_request.clear();
    m_request.push_back(command);
    m_request.insert(m_request.end(), payload.begin(), payload.end());
    answer.clear();
    if (!SendCommand()) {
        return false;
    }
    if (ReceiveAnswer(answer)) {
        return true;
    }
    if (m_lastError == kErrorChecksum || m_lastError == kErrorEmptyAnswer) {
        // Garbled: part of it may have been another command's answer, and this command's own
        // answer may still come.
        MarkOutOfStep(false);
    }
    return false;
}

// While the reader is out of step (an earlier answer may still be on its way), an answer cannot
// be told from an earlier command's: a command whose own answer is lost would take the earlier
// one for its own. So the line is proven in step before the command goes out; when that fails,
// the command is not sent.
bool CKvara_Port::Execute(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer) {
    answer.clear();
    if (m_outOfStep && !m_identity.empty()) {
        const std::int32_t failure = ConfirmInStep();
        if (failure != 0) {
            m_lastError = failure;
            return false;
        }
    }
    return RunCommand(command, payload, answer);
}

// Proves that no earlier answer is still on its way, so that the next answer is the next
// command's own. The reader answers in order, so queries show whether the answers are shifted:
// as many device type queries as answers may still be on their way, each of which must get
// exactly the reader's own device type, then one transmit power query, which must get anything
// but that (its power, or a refusal where the reader has no such command), and one more device
// type query. All device type answers look alike, so a late one could pass for a query's own;
// the power query's different answer cannot, and where the reader refused the device type query
// before it (a refusal passes for a power answer), the last query gets the power answer instead
// of the device type. A mismatch means the answers are shifted and one more is on its way.
// Bytes swept away when a later query goes out (they came after the previous query's answer was
// taken) are an answer no query accounts for: they fail the proof too. Bytes swept away by the
// first query are the late answers the proof is there to clear.
std::int32_t CKvara_Port::ConfirmInStep() {
    const std::int32_t before = m_lastError;
    const int queries = std::clamp(m_lateAnswers, 1, kMaxInStepQueries);
    for (int i = 0; i <= queries + 1; ++i) {
        const bool power = i == queries;
        ByteBuffer answer;
        const bool answered = RunCommand(power ? kCmdTxPowerRead : kCmdDeviceType, {}, answer);
        const std::int32_t code = m_lastError;
        if (!answered && (code == kErrorPortBusy || code == kErrorTimeout)) {
            // Nothing was sent, or the reader does not answer at all (and its answer may still
            // come: marked out of step already). Either says more than "held back".
            return code;
        }
        if (!answered &&
            (code == kErrorDataCount || code == kErrorChecksum || code == kErrorEmptyAnswer)) {
            return kErrorOutOfStep;  // garbled (marked out of step already) or not built
        }
        const bool identity = answered && answer == m_identity;
        if (identity == power || (i > 0 && m_discardedAtSend)) {
            MarkOutOfStep(false);  // another command's answer: the query's own is still to come
            return kErrorOutOfStep;
        }
    }
    m_outOfStep = false;
    m_lateAnswers = 0;
    m_lastError = before;  // the queries leave the code of the last failure as it was
    return 0;
}

bool CKvara_Port::SendCommand() {
    if (m_waiting) {
        // A window message dispatched during this port's wait tried to start another command.
        m_request.clear();
        m_lastError = kErrorPortBusy;
        return false;
    }
    if (!BuildFrame(m_request, m_protocolMode, m_address)) {
        m_request.clear();
        m_lastError = kErrorDataCount;
        return false;
    }
    if (m_lateAnswerPossible) {
        AwaitLateAnswer();
    }
    m_discardedAtSend = ClearReceive() > 0;
    bool handedOver = true;
    if (m_link && m_link->Handle() != 0) {
        Trace(GetHandle(), 0, m_request);
        handedOver = m_link->Send(m_request.data(), m_request.size());
    }
    m_request.clear();
    if (!handedOver) {
        // The link could not take the frame (a report write that the device did not take in
        // time): no answer can come. Part of it may still reach the reader later.
        m_lastError = kErrorTimeout;
        MarkOutOfStep(true);
        return false;
    }
    if (!WaitForAnswer()) {
        if (m_link) {
            m_link->Withdraw();
        }
        m_lastError = kErrorTimeout;
        MarkOutOfStep(true);
        return false;
    }
    return true;
}

// After a command that got no complete answer, that answer may still come. Answers do not name
// their command, so it would be taken for the answer of the next command: a write would be
// reported done on the strength of some earlier read's "OK". So before the next frame goes out,
// wait one more time-out for such an answer; if bytes come, wait until the line has been quiet
// for a moment. Whatever came is discarded by the next ClearReceive.
void CKvara_Port::AwaitLateAnswer() {
    m_lateAnswerPossible = false;
    m_waiting = true;
    WindowLock lock(!m_noWindowLock);
    const bool pulls = Pulls();
    const Deadline phase = Deadline::InMs(m_timeoutMs);
    auto quietSince = Clock::now();
    std::uint64_t last = m_receiveSequence.load();
    bool heard = ReceivedCount(nullptr) > 0;
    while (!phase.Expired()) {
        PumpPendingMessages();
        PollInput();
        const std::uint64_t now = m_receiveSequence.load();
        if (now != last) {
            last = now;
            heard = true;
            quietSince = Clock::now();
        } else if (heard && Clock::now() - quietSince > kLateAnswerQuiet) {
            break;  // the late answer is in and the line is quiet again
        }
        if (!pulls) {
            std::unique_lock<std::mutex> guard(m_receiveLock);
            m_receiveSignal.wait_for(guard, PassBlock(phase.Remaining()),
                                     [&] { return m_receiveSequence != last; });
        }
    }
    lock.Release();
    m_waiting = false;
}

bool CKvara_Port::WaitForAnswer() {
    m_waiting = true;
    WindowLock lock(!m_noWindowLock);
    const auto start = Clock::now();
    const bool complete = RunPhases();
    // A reader that answered within a couple of milliseconds is near (even when this thread
    // slept and woke late); one that took longer is not looked at without sleeping next time.
    m_nearReader = complete && Clock::now() - start <= kNearReader;
    lock.Release();
    m_waiting = false;
    return complete;
}

// Runs the three waiting phases. Each polling pass dispatches pending window messages, polls the
// HID link and checks the phase's time; when neither produced anything it blocks until a byte
// arrives, for at most 1 ms, instead of spinning.
bool CKvara_Port::RunPhases() {
    const bool pulls = Pulls();
    const auto spinUntil =
        Clock::now() + (m_nearReader ? kSpinBeforeBlocking : Clock::duration::zero());
    // One polling pass; false when the phase has run out of time.
    auto pass = [&](const Deadline& phase, std::uint64_t seen, bool mayBlock) {
        const bool dispatched = PumpPendingMessages();
        PollInput();
        if (phase.Expired()) {
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
                                     [&] { return m_receiveSequence != seen; });
        }
        return true;
    };

    // Phase 1: the first four bytes.
    {
        const Deadline phase = Deadline::InMs(m_timeoutMs);
        std::uint64_t seen = 0;
        while (ReceivedCount(&seen) < 4) {
            if (!pass(phase, seen, true)) {
                return false;
            }
        }
    }

    // Phase 2 (mode 0): drop stray bytes in front of the 0x02.
    if (m_protocolMode == 0) {
        const Deadline phase = Deadline::InMs(m_timeoutMs);
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
        const Deadline phase = Deadline::InMs(m_timeoutMs);
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
        m_lastError = kErrorChecksum;
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
    if (m_link) {
        m_link->Close();  // a TCP link keeps its handle until the port goes
    }
}

}  // namespace kvara
