// SPDX-License-Identifier: MIT
// One open reader: its link, its framing, the command transaction and the last error code.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "common/bytes.h"
#include "common/deadline.h"
#include "reader/link.h"

namespace kvara {

// Reader error codes that the port and the library set themselves.
enum ReaderError : int {
    kErrorNone = 0,
    kErrorNoPort = 3,          // the handle names no open reader
    kErrorTimeout = 4,         // no complete answer within a waiting phase
    kErrorBufferSize = 5,      // the caller's buffer is smaller than the answer data
    kErrorDataCount = 6,       // a request payload too long to be framed
    kErrorChecksum = 10,       // check byte or CRC of the answer wrong
    kErrorEmptyAnswer = 12,    // the answer is empty
    kErrorReaderMode = 13,     // reader mode parameter out of range
    kErrorWordAddress = 15,    // word address outside 0 to 65535
    kErrorPowerAnswer = 20,    // transmit power answer shorter than 2 bytes
    kErrorNoTransponder = 21,  // write verification failed (also a reader status)
    kErrorCollision = 23,      // reader status: collision
    // A command was started on a port that is still waiting for the answer of another one
    // (from a window message dispatched during that wait). Outside the status byte range so
    // it is never mistaken for a reader's answer.
    kErrorPortBusy = 256,
    kErrorInvalidArgument = 257,  // NULL input pointer or negative length; nothing sent
    // Earlier answers may still be on their way and the line could not be proven in step: the
    // command was not sent.
    kErrorOutOfStep = 258,
    // The answer that came cannot be this command's (its bus address or its shape does not fit
    // the command, or another answer followed it at once): most likely an earlier command's,
    // late. Whether the reader carried the command out is not known.
    kErrorForeignAnswer = 259,
};

// A call's whole time, in time-outs: getting back in step, the command and a read-back.
constexpr int kCallTimeouts = 10;
// What of it getting back in step may take.
constexpr int kResyncTimeouts = 4;

// Upper bound of buffered answer bytes; a device that keeps sending cannot grow it further.
constexpr std::size_t kMaxReceiveBytes = 64 * 1024;

class CKvara_Port;

// Every frame sent (direction 0) and every answer taken (direction 1), for traces; null: none.
using FrameTrace = void (*)(int handle, int direction, const unsigned char* bytes, int length,
                            void* context);
void SetFrameTrace(FrameTrace trace, void* context);

// Makes the calling thread the only one that runs commands on a port, for the scope's
// lifetime, and starts the call's time (kCallTimeouts time-outs). A second thread waits its
// turn; a call from the thread that already holds the port (a window message dispatched during
// its wait) is refused with code 256, and a port closed meanwhile is refused without a code
// (its handle is gone).
class CommandScope {
public:
    explicit CommandScope(CKvara_Port& port);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;
    explicit operator bool() const { return m_held; }

private:
    CKvara_Port& m_port;
    bool m_held = false;
};

class CKvara_Port final : public CByteReceiver {
public:
    CKvara_Port();
    ~CKvara_Port();
    CKvara_Port(const CKvara_Port&) = delete;
    CKvara_Port& operator=(const CKvara_Port&) = delete;

    // The reader handle: the one the link holds, 0 without a link.
    int GetHandle() const;

    // The link. The port takes ownership and becomes the link's receiver; the link is opened
    // before (push links start delivering only once the receiver is set).
    void AttachLink(std::unique_ptr<CReaderLink> link);
    CReaderLink* Link() const { return m_link.get(); }
    // True when the link reaches the reader over USB without a COM port.
    bool IsUsbLink() const;

    // One whole command under the caller's CommandScope: the command byte and payload go out,
    // the answer's data comes back. Bytes that nobody asked for put the line out of step, and
    // while it is out of step (after a time-out, a garbled or foreign answer) the command goes
    // out only once the line has been quiet and queries have proven it in step again
    // (GetInStep); otherwise it fails with code 258, or 4 when the reader does not answer. An
    // answer whose shape does not fit the command fails with code 259.
    bool Execute(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer);
    // True after a time-out or a garbled or foreign answer, until the line is known to be in
    // step again: an answer that comes may then belong to an earlier command.
    bool OutOfStep() const { return m_outOfStep; }
    // True when the last Execute had to prove the line in step before its command went out.
    bool CameBackInStep() const { return m_cameBackInStep; }
    // Opening: asks for the device type (framing mode 0, then mode 1) and proves that its
    // answer is the reader's own and not a late answer of an earlier command: the answer looks
    // like a device type (four hexadecimal digits), and the device type, transmit power and
    // device type queries after it get that device type, a power answer or a refusal, and that
    // device type again, with the line quiet after them. A failed proof is tried again after
    // the line has been quiet for a time-out, within the call's time. True when the reader is
    // identified.
    bool Identify();
    // The reader's answer to the device type query at open; the in-step proof compares with it.
    void SetIdentity(const ByteBuffer& deviceType);
    // Whether status-0 answer data fits what the command asks for, where that is known: no data
    // for commands that carry none back, the bytes a counted read asks for, a transmit power
    // within a reader's range.
    bool AnswerFits(std::uint8_t command, const ByteBuffer& payload, const ByteBuffer& data) const;
    // The port was closed; commands that waited for it are refused.
    bool IsClosed() const { return m_closed.load(); }

    // Frames m_request, writes it on the link in use and waits for a complete answer.
    // False on a time-out (code 4), an unframeable request (code 6) or a nested call (256).
    bool SendCommand();
    // Takes the received bytes, checks and strips them and evaluates the status byte. An answer
    // that carries another bus address than the port's fails with code 259.
    bool ReceiveAnswer(ByteBuffer& answer);
    // Closes the link in use. The TCP link keeps its id until the port is destroyed.
    void ClosePort();
    // Closes the port for good from any thread: a command that waits for its answer ends at
    // once (it fails), then the link is closed. False, with code 256, from a window message of
    // this port's own wait.
    bool Shutdown();

    // Appends a byte to m_receive; called by push-style links on their own thread.
    void OnByteReceived(std::uint8_t byte) override;
    // Appends a batch under one lock and wakes the waiting thread once.
    void OnBytesReceived(const std::uint8_t* data, std::size_t length) override;
    // Notes whether bytes came between the receive buffer's last clearing and the frame going
    // out: they are then no answer to it, but bytes nobody asked for.
    void OnFrameOut(bool inputPending) override;
    // Empties the receive buffer (and a HID device's pending reports); the number of bytes
    // thrown away.
    std::size_t ClearReceive();
    // Reads pending input of a pull link (HID) into m_receive.
    void PollInput();

    // True while a command of this port waits for its answer.
    bool IsWaiting() const { return m_waiting; }
    // Forgets that an answer may still come (the open sequence does so before it asks again in
    // the other framing mode, where a late answer could not pass for the new one's anyway).
    void ForgetLateAnswer();

    ByteBuffer m_request;
    std::uint32_t m_timeoutMs = 500;
    std::uint8_t m_protocolMode = 0;
    std::uint32_t m_address = 1;
    // Read and written by any thread (KvaraGetLastError does not wait for a running command).
    std::atomic<std::int32_t> m_lastError{0};
    std::atomic<bool> m_noWindowLock{false};

private:
    friend class CommandScope;
    using Clock = std::chrono::steady_clock;

    // How one transaction ended.
    enum class Outcome {
        kAnswered,  // an answer with status 0 that fits the command
        kFailed,    // the code is in m_lastError
        kUnasked,   // not sent: bytes nobody asked for were waiting (the line is out of step)
    };
    // How a proof of the line ended.
    enum class Proof { kInStep, kShifted, kNoAnswer, kEnded };
    // Round trips of one command's answers taken while the line was in step.
    struct Timing {
        Clock::duration fastest = Clock::duration::zero();  // zero: none yet
        Clock::duration usual = Clock::duration::zero();
    };
    // The reader's answer to the transmit power query: its status, and its data length when
    // the status is 0.
    struct PowerAnswer {
        bool known = false;
        std::uint8_t status = 0;
        std::size_t length = 0;
    };

    Outcome Transaction(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer,
                        bool stopOnUnasked, bool proving, Clock::duration* roundTrip);
    Outcome SendAndWait(std::uint8_t command, bool stopOnUnasked, Clock::duration* roundTrip);
    // 0 when the line is proven in step, else the code the held-back command fails with.
    std::int32_t GetInStep();
    Proof Prove(const ByteBuffer& identity, bool learnPower);
    bool PowerAnswerFits(std::uint8_t status, const ByteBuffer& data) const;
    void MarkOutOfStep(bool lateAnswerPossible);
    // Waits until nothing was sent or received for the quiet time (bytes that come meanwhile
    // are thrown away); false when the limit came first or the port was closed.
    bool WaitQuiet(Clock::duration quiet, const Deadline& limit);
    // Waits for the time given; false when a byte came meanwhile (or the port was closed).
    bool StaysQuiet(Clock::duration time);
    bool WaitForAnswer(std::uint8_t command, Clock::duration* roundTrip);
    bool RunPhases();
    // The end of a waiting phase that starts now: one time-out, at most the call's limit.
    Deadline PhaseEnd() const;
    bool Pulls() const { return m_link && m_link->PullsInput(); }
    std::size_t ReceivedCount(std::uint64_t* sequence);
    void NoteActivity();
    void Learn(std::uint8_t command, Clock::duration roundTrip);

    // Guards m_receive and m_receiveSequence; m_receiveSignal wakes the waiting thread (also
    // when the port is closed).
    std::mutex m_receiveLock;
    std::condition_variable m_receiveSignal;
    ByteBuffer m_receive;
    std::atomic<std::uint64_t> m_receiveSequence{0};  // counts every byte appended
    // The frame in hand: the sequence when the buffer was cleared for it, whether the link said
    // it went out, and whether bytes had come before it did (written under m_receiveLock).
    std::uint64_t m_sequenceAtClear = 0;
    std::atomic<bool> m_frameOut{false};
    std::atomic<bool> m_unaskedBeforeFrame{false};
    // The last byte seen, frame sent or time-out: what "quiet" counts from. Bytes are seen when
    // a wait looks at them (m_activitySequence: the byte count then), not timed as they come.
    Clock::time_point m_lastActivity{};
    std::uint64_t m_activitySequence = 0;

    std::unique_ptr<CReaderLink> m_link;
    std::atomic<bool> m_waiting{false};
    bool m_nearReader = true;  // the last answer came within the spin window
    bool m_lateAnswerPossible = false;
    bool m_outOfStep = false;
    bool m_cameBackInStep = false;
    bool m_extraBytes = false;  // the last answer taken had bytes behind its frame
    ByteBuffer m_identity;
    PowerAnswer m_power;
    Timing m_timing[256];
    // The end of the running call (set by its CommandScope) and of what the current wait may
    // take (the call's end, or earlier while getting back in step).
    Deadline m_callEnd;
    Deadline m_limit;

    // One command at a time: the lock and the thread that holds it.
    std::mutex m_commandLock;
    std::atomic<std::thread::id> m_commandOwner{};
    std::atomic<bool> m_closed{false};
    std::mutex m_closeLock;  // one link close at a time
};

}  // namespace kvara
