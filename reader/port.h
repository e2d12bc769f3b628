// SPDX-License-Identifier: MIT
// One open reader: its link, its framing, the command transaction and the last error code.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "common/bytes.h"
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
    // After a time-out the answer that came could not be told apart from the late answer of an
    // earlier command: whether the reader carried the command out is not known.
    kErrorOutOfStep = 258,
};

// Upper bound of buffered answer bytes; a device that keeps sending cannot grow it further.
constexpr std::size_t kMaxReceiveBytes = 64 * 1024;

class CKvara_Port;

// Every frame sent (direction 0) and every answer taken (direction 1), for traces; null: none.
using FrameTrace = void (*)(int handle, int direction, const unsigned char* bytes, int length,
                            void* context);
void SetFrameTrace(FrameTrace trace, void* context);

// Makes the calling thread the only one that runs commands on a port, for the scope's
// lifetime. A second thread waits its turn; a call from the thread that already holds the
// port (a window message dispatched during its wait) is refused with code 256, and a port
// closed meanwhile is refused without a code (its handle is gone).
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
    // the answer's data comes back. While the port is out of step (after a time-out, until the
    // line is known to be in step again) an answer counts only when device type queries after
    // it get exactly the answer the reader identified itself with at open; otherwise the
    // command fails with code 258.
    bool Execute(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer);
    // True after a time-out or a garbled answer, until the line is known to be in step again:
    // an answer that comes may then belong to an earlier command.
    bool OutOfStep() const { return m_outOfStep; }
    // The reader's answer to the device type query at open; the in-step check compares with it.
    void SetIdentity(const ByteBuffer& deviceType);
    // The port was closed by ClosePort; commands that waited for it are refused.
    bool IsClosed() const { return m_closed.load(); }

    // Frames m_request, writes it on the link in use and waits for a complete answer.
    // False on a time-out (code 4), an unframeable request (code 6) or a nested call (256).
    bool SendCommand();
    // Takes the received bytes, checks and strips them and evaluates the status byte.
    bool ReceiveAnswer(ByteBuffer& answer);
    // Closes the link in use. The TCP link keeps its id until the port is destroyed.
    void ClosePort();

    // Appends a byte to m_receive; called by push-style links on their own thread.
    void OnByteReceived(std::uint8_t byte) override;
    // Appends a batch under one lock and wakes the waiting thread once.
    void OnBytesReceived(const std::uint8_t* data, std::size_t length) override;
    // Empties m_receive and drains pending input of a pull link.
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

    bool RunCommand(std::uint8_t command, const ByteBuffer& payload, ByteBuffer& answer);
    // 0 when the line is proven in step, else the code the held-back command fails with.
    std::int32_t ConfirmInStep();
    void MarkOutOfStep(bool drain);
    bool WaitForAnswer();
    void AwaitLateAnswer();
    bool RunPhases();
    bool Pulls() const { return m_link && m_link->PullsInput(); }
    std::size_t ReceivedCount(std::uint64_t* sequence);

    // Guards m_receive and m_receiveSequence; m_receiveSignal wakes the waiting thread.
    std::mutex m_receiveLock;
    std::condition_variable m_receiveSignal;
    ByteBuffer m_receive;
    std::atomic<std::uint64_t> m_receiveSequence{0};  // counts every byte appended

    std::unique_ptr<CReaderLink> m_link;
    std::atomic<bool> m_waiting{false};
    bool m_nearReader = true;  // the last answer came within the spin window
    bool m_lateAnswerPossible = false;
    // Out of step: answers that may still come from commands that timed out, and the device
    // type answer that proves the line in step again.
    bool m_outOfStep = false;
    int m_lateAnswers = 0;
    bool m_discardedAtSend = false;  // the last frame's send swept bytes out of the receive buffer
    ByteBuffer m_identity;

    // One command at a time: the lock and the thread that holds it.
    std::mutex m_commandLock;
    std::atomic<std::thread::id> m_commandOwner{};
    std::atomic<bool> m_closed{false};
};

}  // namespace kvara
