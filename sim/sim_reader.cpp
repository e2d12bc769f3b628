// SPDX-License-Identifier: MIT
#include "sim/sim_reader.h"

#include <algorithm>

#include "protocol/tag_memory.h"
#include "sim/sim_codec.h"

namespace kvara::sim {

namespace {

// A gap this long between request bytes starts a new frame; the host writes whole frames.
constexpr auto kResyncGap = std::chrono::milliseconds(5);
constexpr std::size_t kMaxInput = 4096;
// Largest data a fixed-length answer can carry (L = 0xFF is reserved for record lists).
constexpr std::size_t kMaxAnswerData = 254;
constexpr std::uint16_t kMaxTxPower = 330;

enum class Parse { kIncomplete, kInvalid, kValid };

Parse TryMode0(const ByteBuffer& in, std::size_t* total) {
    if (in.empty()) {
        return Parse::kIncomplete;
    }
    if (in[0] != 0x02) {
        return Parse::kInvalid;
    }
    if (in.size() < 4) {
        return Parse::kIncomplete;
    }
    *total = static_cast<std::size_t>(in[3]) + 5;
    if (in.size() < *total) {
        return Parse::kIncomplete;
    }
    return SimBcc(in.data() + 1, *total - 2) == in[*total - 1] ? Parse::kValid : Parse::kInvalid;
}

Parse TryMode1(const ByteBuffer& in, std::size_t* total) {
    if (in.size() < 3) {
        return Parse::kIncomplete;
    }
    *total = static_cast<std::size_t>(in[2]) + 5;
    if (in.size() < *total) {
        return Parse::kIncomplete;
    }
    const std::uint16_t crc = SimCrc16(in.data(), *total - 2);
    const bool ok = (crc & 0xFF) == in[*total - 2] && (crc >> 8) == in[*total - 1];
    return ok ? Parse::kValid : Parse::kInvalid;
}

int WordAddress(const ByteBuffer& payload) {
    return payload[1] | (payload[2] << 8) | (payload[3] << 16);
}

// Area of the Reserved bank that byte range [from, to) touches: kill (bytes 0-3), access (4-7).
bool Touches(std::size_t from, std::size_t to, std::size_t areaFrom, std::size_t areaTo) {
    return from < areaTo && to > areaFrom;
}

}  // namespace

std::uint16_t Gen2Crc(const std::uint8_t* data, std::size_t length) {
    return Gen2Crc16(data, length);
}

SimTag SimTag::WithEpc(const ByteBuffer& epc, std::size_t epcCapacity) {
    SimTag tag;
    ByteBuffer padded = epc;
    if (padded.size() % 2 != 0) {
        padded.push_back(0);
    }
    padded.resize(std::min<std::size_t>(padded.size(), 62));
    const std::size_t capacity = std::max(padded.size(), std::min<std::size_t>(epcCapacity, 62));
    tag.epcBank.assign(4 + capacity + capacity % 2, 0);
    const auto words = static_cast<std::uint16_t>(padded.size() / 2);
    const auto pc = static_cast<std::uint16_t>(words << 11);
    tag.epcBank[2] = static_cast<std::uint8_t>(pc >> 8);
    tag.epcBank[3] = static_cast<std::uint8_t>(pc & 0xFF);
    std::copy(padded.begin(), padded.end(), tag.epcBank.begin() + 4);
    tag.UpdateCrc();
    tag.tid = {0xE2, 0x80, 0x11, 0x05, 0x20, 0x00, 0x73, 0x4A, 0x5B, 0x6C, 0x00, 0x01};
    tag.user.assign(64, 0);
    tag.locks[kAreaTid] = LockState::kPermaLocked;
    return tag;
}

std::uint16_t SimTag::Pc() const {
    return epcBank.size() >= 4 ? static_cast<std::uint16_t>(epcBank[2] << 8 | epcBank[3]) : 0;
}

std::size_t SimTag::EpcBankLogicalSize() const {
    const std::size_t words = Pc() >> 11;
    return std::min(epcBank.size(), 4 + words * 2);
}

ByteBuffer SimTag::Epc() const {
    const std::size_t end = EpcBankLogicalSize();
    if (end <= 4) {
        return {};
    }
    return ByteBuffer(epcBank.begin() + 4, epcBank.begin() + static_cast<std::ptrdiff_t>(end));
}

void SimTag::UpdateCrc() {
    if (epcBank.size() < 4) {
        return;
    }
    const std::size_t end = EpcBankLogicalSize();
    const std::uint16_t crc = Gen2Crc(epcBank.data() + 2, end - 2);
    epcBank[0] = static_cast<std::uint8_t>(crc >> 8);
    epcBank[1] = static_cast<std::uint8_t>(crc & 0xFF);
}

ByteBuffer SimTag::AccessPassword() const {
    return ByteBuffer(reserved.begin() + 4, reserved.end());
}

SimReader::SimReader(SimConfig config)
    : m_config(std::move(config)),
      m_noise(m_config.byteErrorSeed),
      m_storedTxPower(m_config.txPower) {}

void SimReader::SetFault(const SimFault& fault) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fault = fault;
}

void SimReader::ClearFaults() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fault = SimFault{};
    m_queuedFaults.clear();
}

void SimReader::PushFault(const SimFault& fault) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_queuedFaults.push_back(fault);
}

void SimReader::SetConfig(const SimConfig& config) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (config.byteErrorSeed != m_config.byteErrorSeed) {
        m_noise.seed(config.byteErrorSeed);
    }
    m_config = config;
}

SimConfig SimReader::Config() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_config;
}

void SimReader::SetTags(std::vector<SimTag> tags) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_departed.clear();
    m_arriving.clear();
    m_fieldWritten = false;
    if (m_config.conveyor && tags.size() > 1) {
        m_arriving.assign(tags.begin() + 1, tags.end());
        tags.resize(1);
    }
    m_tags = std::move(tags);
}

std::vector<SimTag> SimReader::Tags() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_tags;
}

std::vector<SimTag> SimReader::AllTags() const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<SimTag> all = m_departed;
    all.insert(all.end(), m_tags.begin(), m_tags.end());
    all.insert(all.end(), m_arriving.begin(), m_arriving.end());
    return all;
}

std::int64_t SimReader::ModelledMicros() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_modelledUs;
}

std::vector<SimRequest> SimReader::Requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

void SimReader::ClearRequests() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_requests.clear();
}

std::uint16_t SimReader::StoredTxPower() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_storedTxPower;
}

int SimReader::ReaderMode() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_readerMode;
}

int SimReader::UsbMode() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_usbMode;
}

bool SimReader::RfOn() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_rfOn;
}

std::vector<SimPiece> SimReader::Receive(const std::uint8_t* data, std::size_t length,
                                         SimClock::time_point now) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<SimPiece> out;
    if (data == nullptr || length == 0) {
        return out;
    }
    if (!m_input.empty() && now - m_lastInput > kResyncGap) {
        m_input.clear();  // an unfinished frame from earlier: start over
    }
    m_lastInput = now;
    const std::size_t from = m_input.size();
    m_input.insert(m_input.end(), data, data + length);
    AddLineNoise(m_input.data() + from, length);
    if (m_input.size() > kMaxInput) {
        m_input.clear();
        return out;
    }
    while (!m_input.empty()) {
        std::size_t total0 = 0;
        std::size_t total1 = 0;
        const Parse p0 = m_config.mode0 ? TryMode0(m_input, &total0) : Parse::kInvalid;
        const Parse p1 = m_config.mode1 ? TryMode1(m_input, &total1) : Parse::kInvalid;
        int mode = -1;
        std::size_t total = 0;
        if (p0 == Parse::kValid) {
            mode = 0;
            total = total0;
        } else if (p1 == Parse::kValid) {
            mode = 1;
            total = total1;
        } else if (p0 == Parse::kInvalid && p1 == Parse::kInvalid) {
            m_input.erase(m_input.begin());  // not the start of any frame
            continue;
        } else {
            // The start could still become a frame; but if a complete frame stands further on,
            // what is in front of it was garbage.
            const std::size_t next = NextCompleteFrame();
            if (next == 0) {
                break;  // wait for the rest
            }
            m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(next));
            continue;
        }
        const ByteBuffer frame(m_input.begin(),
                               m_input.begin() + static_cast<std::ptrdiff_t>(total));
        m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(total));
        auto pieces = Handle(mode, frame);
        out.insert(out.end(), pieces.begin(), pieces.end());
    }
    return out;
}

std::size_t SimReader::NextCompleteFrame() const {
    for (std::size_t k = 1; k < m_input.size(); ++k) {
        const ByteBuffer rest(m_input.begin() + static_cast<std::ptrdiff_t>(k), m_input.end());
        std::size_t total = 0;
        if ((m_config.mode0 && TryMode0(rest, &total) == Parse::kValid) ||
            (m_config.mode1 && TryMode1(rest, &total) == Parse::kValid)) {
            return k;
        }
    }
    return 0;
}

// The line and tag time of one exchange: request and answer bytes at the modelled rate (start,
// eight data bits and stop: 10 bits a byte) and the tag's own time for a tag command.
int SimReader::ModelledTime(std::size_t requestBytes, std::uint8_t command,
                            std::size_t answerData) {
    std::int64_t us = 0;
    if (m_config.wireBaud > 0) {
        const std::size_t answerBytes = answerData + 5;
        us += static_cast<std::int64_t>((requestBytes + answerBytes) * 10) * 1000000 /
              m_config.wireBaud;
    }
    if (command >= 0xC0 && command <= 0xC6) {
        us += m_config.tagTimeUs;
    }
    m_modelledUs += us;
    return static_cast<int>(us);
}

void SimReader::AddLineNoise(std::uint8_t* bytes, std::size_t length) {
    if (m_config.byteErrorsPerMille <= 0) {
        return;
    }
    std::uniform_int_distribution<int> chance(0, 999);
    std::uniform_int_distribution<int> change(1, 255);
    for (std::size_t i = 0; i < length; ++i) {
        if (chance(m_noise) < m_config.byteErrorsPerMille) {
            bytes[i] = static_cast<std::uint8_t>(bytes[i] ^ change(m_noise));
        }
    }
}

std::vector<SimPiece> SimReader::Handle(int mode, const ByteBuffer& received) {
    // Mode 0: 02 addr cmd L payload bcc; mode 1: addr cmd L payload crc crc.
    const std::size_t head = mode == 0 ? 1 : 0;
    SimFault fault = m_fault;
    bool queued = false;
    auto chosen = m_queuedFaults.end();
    for (auto it = m_queuedFaults.begin(); it != m_queuedFaults.end(); ++it) {
        if (it->forCommand < 0 || it->forCommand == received[head + 1]) {
            fault = *it;
            chosen = it;
            queued = true;
            break;
        }
    }
    ByteBuffer frame = received;
    if (!fault.requestXor.empty()) {
        // The line changed payload bytes: the reader checks the frame as it arrived.
        const std::size_t payloadLength = frame[head + 2];
        for (std::size_t i = 0; i < std::min(fault.requestXor.size(), payloadLength); ++i) {
            frame[head + 3 + i] ^= fault.requestXor[i];
        }
        std::size_t total = 0;
        if ((mode == 0 ? TryMode0(frame, &total) : TryMode1(frame, &total)) != Parse::kValid) {
            if (queued) {
                m_queuedFaults.erase(chosen);
            }
            return {};
        }
    }
    SimRequest request;
    request.mode = mode;
    request.address = frame[head];
    request.command = frame[head + 1];
    const std::size_t payloadLength = frame[head + 2];
    request.payload.assign(frame.begin() + static_cast<std::ptrdiff_t>(head + 3),
                           frame.begin() + static_cast<std::ptrdiff_t>(head + 3 + payloadLength));
    m_requests.push_back(request);
    if (request.address != m_config.address) {
        return {};  // addressed to another reader on the bus
    }
    if (queued) {
        m_queuedFaults.erase(chosen);
    }

    if (fault.silentAfter) {
        m_fault = SimFault{.silent = true};  // a reader that lost its power after this command
    }
    Result result = fault.refuse ? Result{} : Execute(request.command, request.payload);
    if (fault.status >= 0) {
        result.status = static_cast<std::uint8_t>(fault.status);
        result.data.clear();
    }
    if (fault.silent) {
        return {};
    }
    int delay = fault.delayMs >= 0 ? fault.delayMs : m_config.answerDelayMs;
    if (fault.delayMs < 0 && m_config.answerJitterMs > 0) {
        delay += std::uniform_int_distribution<int>(0, m_config.answerJitterMs)(m_noise);
    }
    const int modelledUs = ModelledTime(frame.size(), request.command, result.data.size());
    if (fault.drop) {
        SimPiece drop;
        drop.delayMs = delay;
        drop.delayUs = modelledUs;
        drop.dropConnection = true;
        return {drop};
    }
    const std::uint8_t address = fault.answerAddress >= 0
                                     ? static_cast<std::uint8_t>(fault.answerAddress)
                                     : m_config.address;
    ByteBuffer answer = fault.raw ? *fault.raw : Frame(mode, address, result.status, result.data);
    if (fault.badCheck && !answer.empty()) {
        answer.back() ^= 0x5A;
    }
    ByteBuffer bytes = fault.strayBefore;
    bytes.insert(bytes.end(), answer.begin(), answer.end());
    bytes.insert(bytes.end(), fault.trailing.begin(), fault.trailing.end());
    if (bytes.empty()) {
        return {};
    }
    ByteBuffer repeated = bytes;
    AddLineNoise(bytes.data(), bytes.size());

    const std::size_t count = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max(fault.pieces, 1)), 1, bytes.size());
    std::vector<SimPiece> pieces;
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t to = bytes.size() * (i + 1) / count;
        SimPiece piece;
        piece.delayMs = i == 0 ? delay : fault.gapMs;
        piece.delayUs = i == 0 ? modelledUs : 0;
        piece.afterPrevious = i == 0 && m_config.oneAtATime;
        piece.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                           bytes.begin() + static_cast<std::ptrdiff_t>(to));
        pieces.push_back(std::move(piece));
        from = to;
    }
    if (fault.repeatAfterMs == 0) {
        // Right behind it: both copies go out in one write.
        AddLineNoise(repeated.data(), repeated.size());
        pieces.back().bytes.insert(pieces.back().bytes.end(), repeated.begin(), repeated.end());
    } else if (fault.repeatAfterMs > 0) {
        SimPiece again;
        again.delayMs = fault.repeatAfterMs;
        AddLineNoise(repeated.data(), repeated.size());
        again.bytes = std::move(repeated);
        pieces.push_back(std::move(again));
    }
    return pieces;
}

ByteBuffer SimReader::Frame(int mode, std::uint8_t address, std::uint8_t status,
                            const ByteBuffer& data) const {
    ByteBuffer frame;
    const auto length = static_cast<std::uint8_t>(std::min(data.size(), kMaxAnswerData));
    if (mode == 0) {
        frame = {0x02, address, status, length};
        frame.insert(frame.end(), data.begin(), data.begin() + length);
        frame.push_back(SimBcc(frame.data() + 1, frame.size() - 1));
    } else {
        frame = {address, status, length};
        frame.insert(frame.end(), data.begin(), data.begin() + length);
        const std::uint16_t crc = SimCrc16(frame.data(), frame.size());
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    }
    return frame;
}

SimReader::Result SimReader::Execute(std::uint8_t command, const ByteBuffer& payload) {
    Result r;
    auto expect = [&](std::size_t n) {
        if (payload.size() != n) {
            r.status = kStatusWrongLength;
            return false;
        }
        return true;
    };
    switch (command) {
        case 0xF0:  // device type
            r.data.assign(m_config.deviceType.begin(), m_config.deviceType.end());
            break;
        case 0x09:  // information text
            r.data.assign(m_config.infoText.begin(), m_config.infoText.end());
            break;
        case 0x07:  // transmit power read
            r.data = {static_cast<std::uint8_t>(m_config.txPower & 0xFF),
                      static_cast<std::uint8_t>(m_config.txPower >> 8)};
            break;
        case 0x08:  // transmit power write
            if (expect(3)) {
                const auto power = static_cast<std::uint16_t>(payload[0] | payload[1] << 8);
                if (power > kMaxTxPower) {
                    r.status = kStatusBadValue;
                } else {
                    m_config.txPower = power;
                    if (payload[2] != 0) {
                        m_storedTxPower = power;
                    }
                }
            }
            break;
        case 0xF4:  // reader mode
            if (expect(1)) {
                if ((payload[0] & 0x7F) > 3) {
                    r.status = kStatusBadValue;
                } else {
                    m_readerMode = payload[0];
                }
            }
            break;
        case 0xF5:  // RF field
            if (expect(1)) {
                m_rfOn = payload[0] != 0;
                if (!m_rfOn) {
                    m_inventory.clear();
                }
            }
            break;
        case 0xFF:  // USB interface mode
            if (expect(1)) {
                if (payload[0] != 1 && payload[0] != 2) {
                    r.status = kStatusBadValue;
                } else {
                    m_usbMode = payload[0];
                }
            }
            break;
        case 0xC0:
            return Inventory(payload);
        case 0xC2:
            return Select(payload);
        case 0xC3:
            return Read(payload);
        case 0xC4:
            return Write(payload, false);
        case 0xC5:
            return Write(payload, true);
        case 0xC6:
            return Lock(payload);
        default:
            r.status = kStatusUnknownCommand;
            break;
    }
    return r;
}

SimReader::Result SimReader::Inventory(const ByteBuffer& payload) {
    Result r;
    if (payload.size() != 1) {
        r.status = kStatusWrongLength;
        return r;
    }
    if (payload[0] != 2) {  // a new inventory round
        if (m_config.conveyor && m_fieldWritten && !m_tags.empty()) {
            // The written tag moves on; the next one arrives.
            m_departed.push_back(m_tags.front());
            m_tags.clear();
            if (!m_arriving.empty()) {
                m_tags.push_back(m_arriving.front());
                m_arriving.pop_front();
            }
            m_fieldWritten = false;
            m_selected.reset();
        }
        m_inventory.clear();
        if (m_rfOn) {
            for (const auto& tag : m_tags) {
                m_inventory.push_back(tag.Epc());
            }
        }
    }
    if (m_inventory.empty()) {
        r.data = {0, 0, 0};
        return r;
    }
    const ByteBuffer epc = m_inventory.front();
    std::uint16_t pc = 0;
    for (const auto& tag : m_tags) {
        if (tag.Epc() == epc) {
            pc = tag.Pc();
            break;
        }
    }
    r.data = {static_cast<std::uint8_t>(std::min<std::size_t>(m_inventory.size(), 255)),
              static_cast<std::uint8_t>(pc >> 8), static_cast<std::uint8_t>(pc & 0xFF)};
    r.data.insert(r.data.end(), epc.begin(), epc.end());
    m_inventory.erase(m_inventory.begin());
    return r;
}

SimReader::Result SimReader::Select(const ByteBuffer& payload) {
    Result r;
    m_selected.reset();
    if (payload.empty()) {
        return r;
    }
    if (m_rfOn) {
        for (const auto& tag : m_tags) {
            if (tag.Epc() == payload) {
                m_selected = payload;
                return r;
            }
        }
    }
    r.status = kStatusNoTag;
    return r;
}

SimTag* SimReader::Addressed(std::uint8_t* status) {
    if (!m_rfOn) {
        *status = kStatusNoTag;
        return nullptr;
    }
    if (m_selected) {
        for (auto& tag : m_tags) {
            if (tag.Epc() == *m_selected) {
                return &tag;
            }
        }
        *status = kStatusNoTag;
        return nullptr;
    }
    if (m_tags.size() == 1) {
        return &m_tags.front();
    }
    *status = m_tags.empty() ? kStatusNoTag : kStatusCollision;
    return nullptr;
}

namespace {

ByteBuffer* Bank(SimTag& tag, int bank) {
    switch (bank) {
        case 0:
            return &tag.reserved;
        case 1:
            return &tag.epcBank;
        case 2:
            return &tag.tid;
        case 3:
            return &tag.user;
        default:
            return nullptr;
    }
}

// The lock areas a byte range of a bank falls under.
std::vector<int> AreasOf(int bank, std::size_t from, std::size_t to) {
    switch (bank) {
        case 0: {
            std::vector<int> areas;
            if (Touches(from, to, 0, 4)) {
                areas.push_back(kAreaKill);
            }
            if (Touches(from, to, 4, 8)) {
                areas.push_back(kAreaAccess);
            }
            return areas;
        }
        case 1:
            return {kAreaEpc};
        case 2:
            return {kAreaTid};
        default:
            return {kAreaUser};
    }
}

// Whether the tag is in the secured state for this request: its access password is zero, or
// the request carried the right one.
bool Secured(const SimTag& tag, const ByteBuffer* password) {
    const ByteBuffer access = tag.AccessPassword();
    if (std::all_of(access.begin(), access.end(), [](std::uint8_t b) { return b == 0; })) {
        return true;
    }
    return password != nullptr && *password == access;
}

// Whether a lock keeps this request out of an area: permanently, or by the password.
bool Locked(const SimTag& tag, const std::vector<int>& areas, const ByteBuffer* password) {
    for (int area : areas) {
        const LockState lock = tag.locks[area];
        if (lock == LockState::kPermaLocked ||
            (lock == LockState::kPasswordProtected && !Secured(tag, password))) {
            return true;
        }
    }
    return false;
}

}  // namespace

SimReader::Result SimReader::Read(const ByteBuffer& payload) {
    Result r;
    if (payload.size() != 5 && payload.size() != 9) {
        r.status = kStatusWrongLength;
        return r;
    }
    SimTag* tag = Addressed(&r.status);
    if (tag == nullptr) {
        return r;
    }
    const int bank = payload[0];
    const std::size_t from = static_cast<std::size_t>(WordAddress(payload)) * 2;
    const std::size_t count = payload[4];
    const ByteBuffer password(payload.begin() + 5, payload.end());
    const ByteBuffer* pwd = payload.size() == 9 ? &password : nullptr;
    ByteBuffer* memory = Bank(*tag, bank);
    if (memory == nullptr) {
        r.status = kStatusOverrun;
        return r;
    }
    if (pwd != nullptr && !Secured(*tag, pwd)) {
        r.status = kStatusBadPassword;
        return r;
    }
    const std::size_t end =
        count == 0 ? (bank == 1 ? tag->EpcBankLogicalSize() : memory->size()) : from + count;
    if (from > end || end > memory->size() || (count == 0 && from >= end)) {
        r.status = kStatusOverrun;
        return r;
    }
    if (bank == 0 && Locked(*tag, AreasOf(bank, from, end), pwd)) {
        r.status = kStatusLocked;  // the passwords are read-protected by their locks
        return r;
    }
    const std::size_t stop = std::min(end, from + kMaxAnswerData);
    r.data.assign(memory->begin() + static_cast<std::ptrdiff_t>(from),
                  memory->begin() + static_cast<std::ptrdiff_t>(stop));
    return r;
}

SimReader::Result SimReader::Write(const ByteBuffer& payload, bool withPassword) {
    Result r;
    const std::size_t head = withPassword ? 8 : 4;
    if (payload.size() < head) {
        r.status = kStatusWrongLength;
        return r;
    }
    SimTag* tag = Addressed(&r.status);
    if (tag == nullptr) {
        return r;
    }
    const int bank = payload[0];
    const std::size_t from = static_cast<std::size_t>(WordAddress(payload)) * 2;
    const ByteBuffer password(payload.begin() + 4,
                              payload.begin() + static_cast<std::ptrdiff_t>(head));
    const ByteBuffer* pwd = withPassword ? &password : nullptr;
    const ByteBuffer data(payload.begin() + static_cast<std::ptrdiff_t>(head), payload.end());
    ByteBuffer* memory = Bank(*tag, bank);
    if (memory == nullptr || from + data.size() > memory->size()) {
        r.status = kStatusOverrun;
        return r;
    }
    if (pwd != nullptr && !Secured(*tag, pwd)) {
        r.status = kStatusBadPassword;
        return r;
    }
    if (Locked(*tag, AreasOf(bank, from, from + data.size()), pwd)) {
        r.status = kStatusLocked;
        return r;
    }
    std::copy(data.begin(), data.end(), memory->begin() + static_cast<std::ptrdiff_t>(from));
    if (bank == 1) {
        tag->UpdateCrc();
        m_fieldWritten = true;
    }
    return r;
}

SimReader::Result SimReader::Lock(const ByteBuffer& payload) {
    Result r;
    if (payload.size() != 6) {
        r.status = kStatusWrongLength;
        return r;
    }
    SimTag* tag = Addressed(&r.status);
    if (tag == nullptr) {
        return r;
    }
    const ByteBuffer password(payload.begin(), payload.begin() + 4);
    const int action = payload[4];
    const int area = payload[5];
    if (action > 3 || area > 4) {
        r.status = kStatusBadValue;
        return r;
    }
    if (!Secured(*tag, &password)) {
        r.status = kStatusBadPassword;
        return r;
    }
    const LockState current = tag->locks[area];
    const auto wanted = static_cast<LockState>(action);
    if ((current == LockState::kPermaLocked || current == LockState::kPermaUnlocked) &&
        wanted != current) {
        r.status = kStatusLocked;
        return r;
    }
    tag->locks[area] = wanted;
    return r;
}

}  // namespace kvara::sim
