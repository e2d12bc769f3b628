// SPDX-License-Identifier: MIT
// The simulated Kvara reader: parses request frames in either framing mode, carries out the
// commands on a field of Gen2 tags, and answers in the mode it was asked in, with faults on
// demand. It is transport-free: a pty server, an in-process link or a test feeds it bytes and
// sends the pieces it returns.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace kvara::sim {

using SimClock = std::chrono::steady_clock;

// Lock state of one memory area, as the lock command's action values number them.
enum class LockState : std::uint8_t {
    kUnlocked = 0,
    kPermaUnlocked = 1,
    kPasswordProtected = 2,
    kPermaLocked = 3,
};

// Memory areas in the order of the lock command's area values.
enum LockArea : int { kAreaKill = 0, kAreaAccess = 1, kAreaEpc = 2, kAreaTid = 3, kAreaUser = 4 };

// CRC-16/GENIBUS, the CRC a Gen2 tag stores in front of its PC word and EPC.
std::uint16_t Gen2Crc(const std::uint8_t* data, std::size_t length);

// One Gen2 tag: its four memory banks and lock states.
struct SimTag {
    ByteBuffer reserved = ByteBuffer(8, 0);  // kill password (4), access password (4)
    ByteBuffer epcBank;                      // stored CRC (2), PC (2), EPC words
    ByteBuffer tid;
    ByteBuffer user;
    LockState locks[5] = {};

    // A tag with the given EPC (padded to whole words), PC length bits set to match, the
    // stored CRC computed, and a physical EPC bank of at least epcCapacity bytes behind the PC.
    static SimTag WithEpc(const ByteBuffer& epc, std::size_t epcCapacity = 32);

    // The EPC as the PC word's length field says (what an inventory reports).
    ByteBuffer Epc() const;
    std::uint16_t Pc() const;
    // Bytes of the EPC bank a read with count 0 returns: CRC, PC and the EPC words of the PC.
    std::size_t EpcBankLogicalSize() const;
    // Recomputes the stored CRC over PC and EPC, as a tag does at power-up.
    void UpdateCrc();
    ByteBuffer AccessPassword() const;
};

// Faults applied to an answer.
struct SimFault {
    bool silent = false;            // no answer at all (the command is still carried out)
    int delayMs = -1;               // time before the first byte; -1: the configured time
    int pieces = 1;                 // answer sent in this many pieces...
    int gapMs = 0;                  // ...with this pause between them
    ByteBuffer strayBefore;         // bytes sent in front of the answer
    bool badCheck = false;          // check byte / CRC corrupted
    int status = -1;                // status byte reported instead of the real one (no data)
    bool refuse = false;            // the command is not carried out (with status: a refusal)
    ByteBuffer trailing;            // bytes sent after the answer
    std::optional<ByteBuffer> raw;  // exactly these bytes instead of the answer
    bool drop = false;              // the connection is closed instead of answering (TCP)
    // The answer goes out once more this long after it (0: right behind it, in the same
    // write; -1: once).
    int repeatAfterMs = -1;
    int answerAddress = -1;  // bus address the answer carries instead of the reader's own
    // XORed onto the request's payload before the reader checks the frame: bytes the line
    // changed. The reader ignores a frame whose check value no longer fits; in mode 0 two equal
    // changes cancel in the check byte and the reader carries out the changed request.
    ByteBuffer requestXor;
    bool silentAfter = false;  // the reader answers nothing after this (until ClearFaults)
    int forCommand = -1;       // a queued fault waits for this command (-1: the next one)
};

struct SimConfig {
    std::string deviceType = "3120";  // the four characters of the device type answer
    bool mode0 = true;                // answers requests framed in mode 0
    bool mode1 = true;                // answers requests framed in mode 1
    std::uint8_t address = 1;         // answers only requests with this address
    int answerDelayMs = 0;            // time to answer
    int answerJitterMs = 0;           // up to this much more, drawn for each answer
    std::uint16_t txPower = 270;      // tenths of a dBm
    std::string infoText = "Kvara Simulator";
    std::size_t userCapacity = 64;  // User bank size of tags made from options
    // A modelled line: an answer leaves no earlier than request and answer take on a serial
    // line of this many baud (10 bits a byte); 0: no line time.
    int wireBaud = 0;
    // A modelled tag: every tag command (inventory, select, read, write, lock) takes this long.
    int tagTimeUs = 0;
    // A conveyor: the tags pass the antenna one at a time, in the order given. The tag in the
    // field leaves once its EPC has been written and the next inventory starts, and the next
    // one arrives with it.
    bool conveyor = false;
    // The reader works through its requests one at a time: an answer leaves no earlier than its
    // own time after the previous answer left, so answers held back by a slow one follow it one
    // by one.
    bool oneAtATime = false;
    // A noisy line: every byte of a request and of an answer is changed with this chance, in
    // tenths of a percent, drawn from a fixed seed.
    int byteErrorsPerMille = 0;
    std::uint32_t byteErrorSeed = 1;
};

// A request as the simulated reader received it.
struct SimRequest {
    int mode = 0;
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    ByteBuffer payload;
};

// One piece of an answer, sent delayMs after the previous piece (or the request).
struct SimPiece {
    int delayMs = 0;
    int delayUs = 0;  // added to delayMs: the modelled line and tag times are finer than that
    ByteBuffer bytes;
    bool dropConnection = false;  // a network server closes the connection at this point
    // Due its delay after the previous piece left rather than after the request came (a reader
    // that answers one request at a time).
    bool afterPrevious = false;
};

// Status codes the simulated reader answers with.
enum SimStatus : std::uint8_t {
    kStatusOk = 0x00,
    kStatusWrongLength = 0x06,
    kStatusNoTag = 0x15,      // 21: no valid transponder
    kStatusCollision = 0x17,  // 23: more than one tag answered
    kStatusUnknownCommand = 0x18,
    kStatusOverrun = 0x1A,      // memory address beyond the bank
    kStatusLocked = 0x1B,       // area locked
    kStatusBadPassword = 0x1C,  // access password wrong
    kStatusBadValue = 0x1D,     // parameter out of range
};

class SimReader {
public:
    explicit SimReader(SimConfig config = {});

    // Feeds bytes received from the host; returns the answer pieces to send, in order.
    std::vector<SimPiece> Receive(const std::uint8_t* data, std::size_t length,
                                  SimClock::time_point now = SimClock::now());

    // Fault for every answer (replaced by each call), and one-shot faults for the next answers.
    void SetFault(const SimFault& fault);
    void ClearFaults();
    void PushFault(const SimFault& fault);

    void SetConfig(const SimConfig& config);
    SimConfig Config() const;

    // The tag field. Changing it does not disturb an inventory already running. With a
    // conveyor the first tag is in the field and the others wait their turn.
    void SetTags(std::vector<SimTag> tags);
    // The tags in the field.
    std::vector<SimTag> Tags() const;
    // Every tag: those that have left the field, those in it, those still to come.
    std::vector<SimTag> AllTags() const;
    // The line and tag time modelled so far (wireBaud, tagTimeUs), in microseconds.
    std::int64_t ModelledMicros() const;

    std::vector<SimRequest> Requests() const;
    void ClearRequests();
    std::uint16_t StoredTxPower() const;
    int ReaderMode() const;
    int UsbMode() const;
    bool RfOn() const;

private:
    struct Result {
        std::uint8_t status = kStatusOk;
        ByteBuffer data;
    };

    std::size_t NextCompleteFrame() const;
    std::vector<SimPiece> Handle(int mode, const ByteBuffer& received);
    Result Execute(std::uint8_t command, const ByteBuffer& payload);
    Result Inventory(const ByteBuffer& payload);
    Result Select(const ByteBuffer& payload);
    Result Read(const ByteBuffer& payload);
    Result Write(const ByteBuffer& payload, bool withPassword);
    Result Lock(const ByteBuffer& payload);
    SimTag* Addressed(std::uint8_t* status);
    ByteBuffer Frame(int mode, std::uint8_t address, std::uint8_t status,
                     const ByteBuffer& data) const;
    int ModelledTime(std::size_t requestBytes, std::uint8_t command, std::size_t answerData);
    // Changes bytes as the noisy line does (byteErrorsPerMille).
    void AddLineNoise(std::uint8_t* bytes, std::size_t length);

    mutable std::mutex m_lock;
    SimConfig m_config;
    std::mt19937 m_noise;
    std::vector<SimTag> m_tags;
    ByteBuffer m_input;
    SimClock::time_point m_lastInput{};
    SimFault m_fault;
    std::deque<SimFault> m_queuedFaults;
    std::vector<SimRequest> m_requests;

    std::vector<ByteBuffer> m_inventory;  // EPCs still to deliver
    std::vector<SimTag> m_departed;       // conveyor: tags past the antenna
    std::deque<SimTag> m_arriving;        // conveyor: tags still to come
    bool m_fieldWritten = false;          // conveyor: the EPC of the tag in the field was written
    std::int64_t m_modelledUs = 0;
    std::optional<ByteBuffer> m_selected;
    std::uint16_t m_storedTxPower;
    int m_readerMode = 0;
    int m_usbMode = 0;
    bool m_rfOn = true;
};

}  // namespace kvara::sim
