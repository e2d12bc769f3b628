// SPDX-License-Identifier: MIT
#include "tags/encoder.h"

#include <chrono>
#include <thread>

#include "common/hex.h"
#include "protocol/gs1.h"
#include "protocol/tag_memory.h"
#include "reader/kvara.h"

namespace kvara::tags {

namespace {

using Clock = std::chrono::steady_clock;

// Inventories in a row that may fail before the reader counts as gone.
constexpr int kInventoryFailures = 3;
// A TID is read in the largest piece the chip has: most have 12 bytes or more, older ones 8.
constexpr int kTidBytes[] = {12, 8, 4};

std::string Gs1Key(const ByteBuffer& epc) {
    const auto decoded = gs1::Decode(epc);
    return decoded ? decoded.value->ElementString() : std::string();
}

std::string Why(const Outcome& outcome) {
    return std::string(StepName(outcome.step)) + ": " + CodeText(outcome.code);
}

std::string PartWords(RowPart part, int area) {
    switch (part) {
        case RowPart::kUser:
            return "the User memory";
        case RowPart::kKillPassword:
            return "the kill password";
        case RowPart::kAccessPassword:
            return "the access password";
        case RowPart::kLock:
            return "the lock of area " + std::to_string(area);
        case RowPart::kNone:
            break;
    }
    return {};
}

}  // namespace

ByteBuffer PcForTag(const JobRow& row, std::uint16_t tagPc) {
    const auto indicators =
        static_cast<std::uint8_t>((tagPc >> 8) & (kPcUserMemoryBit | kPcXpcBit));
    const std::uint8_t byte0 = row.pc.size() == 2 ? row.pc[0] : 0;
    const std::uint8_t byte1 = row.pc.size() == 2 ? row.pc[1] : 0;
    return {static_cast<std::uint8_t>((byte0 & ~(kPcUserMemoryBit | kPcXpcBit)) | indicators),
            byte1};
}

Encoder::Encoder(TagSession& session, JobStore& store, EncoderOptions options)
    : m_session(session), m_store(store), m_options(std::move(options)) {}

StopReason Encoder::Next(const std::function<bool()>& stop, std::optional<TagReport>* report) {
    report->reset();
    m_stopDetail.clear();
    m_stopOutcome = Outcome::Ok();
    // With every row taken there is nothing to wait for.
    JobStatus status;
    if (!m_store.Status(m_options.job, &status)) {
        return StoreFailed();
    }
    if (status.open + status.failed == 0) {
        m_stopDetail = "every row of the job is taken";
        return StopReason::kJobDone;
    }
    // A tag of an earlier run that is done already is passed over: the wait goes on.
    for (;;) {
        InventoryEntry tag;
        if (const StopReason waited = WaitForTag(stop, &tag); waited != StopReason::kNone) {
            return waited;
        }
        TagReport handled;
        const StopReason result = Handle(tag, &handled);
        if (handled.row != 0 || !handled.tid.empty() || result != StopReason::kNone) {
            if (handled.row != 0 || !handled.detail.empty()) {
                *report = handled;
            }
            return result;
        }
    }
}

StopReason Encoder::SettleField(std::vector<TagReport>* reports) {
    m_stopDetail.clear();
    m_stopOutcome = Outcome::Ok();
    Inventory inventory;
    const Outcome seen = m_session.RunInventory(&inventory);
    if (!seen.Done()) {
        return ReaderFailed(seen);
    }
    for (const InventoryEntry& tag : inventory.entries) {
        ByteBuffer tid;
        const Outcome read = m_session.Read(tag.epc, KVARA_BANK_TID, 0, kTidBytes[0], kTidBytes[0],
                                            std::nullopt, &tid);
        if (read.ending == Ending::kNotSent) {
            return ReaderFailed(read);
        }
        if (!read.Done()) {
            continue;  // a tag that cannot say who it is settles nothing
        }
        TagReport report;
        bool handled = false;
        const StopReason settled = Settle(tag, tid, &report, &handled);
        if (report.row != 0) {
            reports->push_back(report);
        }
        if (settled == StopReason::kStoreError || settled == StopReason::kReaderError) {
            return settled;
        }
    }
    return StopReason::kNone;
}

// An EPC, not one this run wrote, that two tags in the inventory carry; empty if none.
ByteBuffer Encoder::EpcOnTwoTags(const Inventory& inventory) const {
    for (std::size_t i = 0; i < inventory.entries.size(); ++i) {
        for (std::size_t j = i + 1; j < inventory.entries.size(); ++j) {
            if (inventory.entries[i].epc == inventory.entries[j].epc &&
                m_written.count(inventory.entries[i].epc) == 0) {
                return inventory.entries[i].epc;
            }
        }
    }
    return {};
}

StopReason Encoder::WaitForTag(const std::function<bool()>& stop, InventoryEntry* tag) {
    const auto end = Clock::now() + std::chrono::milliseconds(m_options.waitMs);
    int failures = 0;
    for (;;) {
        if (stop()) {
            return StopReason::kRequested;
        }
        Inventory inventory;
        const Outcome seen = m_session.RunInventory(&inventory);
        if (seen.ending == Ending::kNotSent) {
            const StopReason failed = ReaderFailed(seen);
            return stop() ? StopReason::kRequested : failed;
        }
        if (!seen.Done()) {
            // A reader that keeps failing is not a field without tags.
            if (++failures >= kInventoryFailures) {
                return ReaderFailed(seen);
            }
        } else {
            failures = 0;
            std::vector<InventoryEntry> fresh;
            int passed = 0;
            for (const InventoryEntry& entry : inventory.entries) {
                if (m_written.count(entry.epc) != 0) {
                    continue;
                }
                if (!m_lastPassed.empty() && entry.epc == m_lastPassed && passed++ == 0) {
                    continue;  // the tag passed over last, still there
                }
                fresh.push_back(entry);
            }
            if (passed == 0) {
                m_lastPassed.clear();  // it left: a tag with its EPC is a new one
            }
            // Two tags with one EPC cannot be told apart by a select: a write would reach either.
            if (const ByteBuffer twice = EpcOnTwoTags(inventory); !twice.empty()) {
                m_stopDetail = "two tags in the field carry the EPC " + HexPairs(twice);
                return StopReason::kTwoTags;
            }
            if (fresh.size() > 1) {
                m_stopDetail = std::to_string(fresh.size()) + " new tags in the field at once:";
                for (const InventoryEntry& entry : fresh) {
                    m_stopDetail += " " + HexPairs(entry.epc);
                }
                return StopReason::kTwoTags;
            }
            if (fresh.size() == 1) {
                *tag = fresh.front();
                return StopReason::kNone;
            }
        }
        if (Clock::now() >= end) {
            m_stopDetail = "no new tag came within " + std::to_string(m_options.waitMs) + " ms";
            return StopReason::kNoTag;
        }
        for (int slept = 0; slept < m_options.pollMs && !stop(); slept += 5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

StopReason Encoder::Handle(const InventoryEntry& tag, TagReport* report) {
    ByteBuffer tid;
    Outcome read;
    for (int count : kTidBytes) {
        read = m_session.Read(tag.epc, KVARA_BANK_TID, 0, count, count, std::nullopt, &tid);
        if (read.Done() || read.step == Step::kSelect || read.ending != Ending::kRefused) {
            break;
        }
    }
    if (read.ending == Ending::kNotSent) {
        return ReaderFailed(read);
    }
    if (!read.Done()) {
        report->outcome = read;
        return SetAside(tag, {}, "its TID cannot be read (" + Why(read) + ")", report);
    }
    if (m_passedTids.count(tid) != 0) {
        m_lastPassed = tag.epc;  // passed over before; not read again while it stays
        return StopReason::kNone;
    }
    bool handled = false;
    if (const StopReason settled = Settle(tag, tid, report, &handled);
        handled || settled != StopReason::kNone) {
        return settled;
    }
    std::optional<RowRecord> known;
    if (!m_store.RowOfEpc(m_options.job, tag.epc, Gs1Key(tag.epc), &known)) {
        return StoreFailed();
    }
    if (known) {
        // Never overwritten: two tags would carry one item.
        return SetAside(tag, tid,
                        "it already carries the EPC of row " + known->row.serial + " of the job",
                        report);
    }
    std::optional<RowRecord> row;
    if (!m_store.Reserve(m_options.job, m_options.station, tid, &row)) {
        return StoreFailed();
    }
    if (!row) {
        m_stopDetail = "every row of the job is taken";
        return StopReason::kJobDone;
    }
    return WriteRow(tag, tid, *row, false, report);
}

StopReason Encoder::Settle(const InventoryEntry& tag, const ByteBuffer& tid, TagReport* report,
                           bool* handled) {
    std::vector<RowRecord> rows;
    if (!m_store.RowsOfTid(m_options.job, tid, &rows)) {
        *handled = true;
        return StoreFailed();
    }
    for (const RowRecord& row : rows) {
        switch (row.state) {
            case RowState::kWritten:
            case RowState::kRejected:
                // Done, or set aside, in an earlier run: left alone, and waited past.
                PassOver(tag, tid);
                *handled = true;
                return StopReason::kNone;
            case RowState::kReserved:
            case RowState::kUncertain:
                if (tag.epc == row.row.epc) {
                    // The EPC went onto the tag before the run ended: the rest of the row.
                    *handled = true;
                    return WriteRow(tag, tid, row, true, report);
                }
                // The tag shows another EPC: the row's write never took.
                if (!m_store.Record(m_options.job, row.row.index, RowState::kFailed, tid,
                                    "not written: the tag still carries " + HexPairs(tag.epc))) {
                    *handled = true;
                    return StoreFailed();
                }
                break;
            case RowState::kOpen:
            case RowState::kFailed:
                break;
        }
    }
    return StopReason::kNone;
}

// Writes PC and EPC and proves them by reading back: nothing when proven, else how the run
// goes on (the row failed, proven not written, or uncertain).
std::optional<StopReason> Encoder::WriteEpc(const InventoryEntry& tag, const ByteBuffer& tid,
                                            const JobRow& row, TagReport* report) {
    const ByteBuffer pc = PcForTag(row, tag.pc);
    // The tag is still selected by the TID's read: no second select.
    const Outcome write = m_session.WritePcAndEpc({}, pc, row.epc, std::nullopt);
    if (write.ending == Ending::kNotSent) {
        const StopReason failed = ReaderFailed(write);
        return m_store.Record(m_options.job, row.index, RowState::kOpen, {}, "") ? failed
                                                                                 : StoreFailed();
    }
    ByteBuffer expected = pc;
    expected.insert(expected.end(), row.epc.begin(), row.epc.end());
    auto holds = [&](const ByteBuffer& epc, const ByteBuffer& bank) {
        ByteBuffer back;
        return m_session
                   .Read(epc, KVARA_BANK_EPC, 1, static_cast<int>(bank.size()),
                         static_cast<int>(bank.size()), std::nullopt, &back)
                   .Done() &&
               back == bank;
    };
    if (!holds(row.epc, expected)) {
        report->outcome = write;
        ByteBuffer before = {static_cast<std::uint8_t>(tag.pc >> 8),
                             static_cast<std::uint8_t>(tag.pc)};
        before.insert(before.end(), tag.epc.begin(), tag.epc.end());
        // A refusal alone proves nothing (the reader may say "no transponder" for a write
        // whose answer the tag never got through): only the old PC and EPC read back do.
        if (holds(tag.epc, before)) {
            // Proven not written: the row can go to another tag, this one is set aside.
            report->ending = TagEnding::kFailed;
            report->detail = write.Done() ? "the tag does not keep the EPC"
                                          : "the reader refused the EPC (" + Why(write) + ")";
            PassOver(tag, tid);
            if (!m_store.Record(m_options.job, row.index, RowState::kFailed, tid, report->detail)) {
                return StoreFailed();
            }
            return m_options.skipBadTags ? StopReason::kNone : StopReason::kTagProblem;
        }
        // Neither the new EPC nor the old one reads back: the EPC may be on the tag.
        report->ending = TagEnding::kUncertain;
        report->detail = "outcome unknown (" + Why(write) + ")";
        PassOver(tag, tid);
        m_written.insert(row.epc);
        if (!m_store.Record(m_options.job, row.index, RowState::kUncertain, tid, report->detail)) {
            return StoreFailed();
        }
        ReaderFailed(write);
        m_stopDetail = report->detail;
        return StopReason::kReaderError;
    }
    return std::nullopt;
}

StopReason Encoder::WriteRow(const InventoryEntry& tag, const ByteBuffer& tid,
                             const RowRecord& record, bool epcOnTag, TagReport* report) {
    const JobRow& row = record.row;
    *report = TagReport{epcOnTag ? TagEnding::kSettled : TagEnding::kWritten,
                        row.index,
                        row.serial,
                        row.epc,
                        tid,
                        {},
                        {}};
    if (!epcOnTag) {
        if (const auto unproven = WriteEpc(tag, tid, row, report)) {
            return *unproven;
        }
    }
    m_written.insert(row.epc);
    const Outcome rest = WriteRest(row, report);
    if (!rest.Done()) {
        report->ending = TagEnding::kRejected;
        report->outcome = rest;
        report->detail = "the EPC is on the tag, but " +
                         PartWords(report->failedPart, report->lockArea) + " failed (" + Why(rest) +
                         ")";
        if (!m_store.Record(m_options.job, row.index, RowState::kRejected, tid, report->detail)) {
            return StoreFailed();
        }
        if (rest.ending == Ending::kNotSent || rest.ending == Ending::kUnknown) {
            ReaderFailed(rest);
            m_stopDetail = report->detail;
            return StopReason::kReaderError;
        }
        return m_options.skipBadTags ? StopReason::kNone : StopReason::kTagProblem;
    }
    if (!m_store.Record(m_options.job, row.index, RowState::kWritten, tid, "")) {
        return StoreFailed();
    }
    return StopReason::kNone;
}

Outcome Encoder::WriteRest(const JobRow& row, TagReport* report) {
    // Each piece written, then read back unless only the EPC is to be verified. The tag is
    // selected by its new EPC since the read-back.
    auto write = [&](RowPart part, int bank, int word, const ByteBuffer& data) {
        report->failedPart = part;
        Outcome outcome = m_session.Write({}, bank, word, data, std::nullopt);
        if (!outcome.Done() || !m_options.verifyAll) {
            return outcome;
        }
        ByteBuffer back;
        outcome = m_session.Read({}, bank, word, static_cast<int>(data.size()),
                                 static_cast<int>(data.size()), std::nullopt, &back);
        if (outcome.Done() && back != data) {
            return Outcome::Failed(Step::kVerify, KVARA_ERROR_NO_TRANSPONDER);
        }
        return outcome;
    };
    if (!row.user.empty()) {
        if (Outcome o = write(RowPart::kUser, KVARA_BANK_USER, 0, row.user); !o.Done()) {
            return o;
        }
    }
    if (!row.kill.empty()) {
        if (Outcome o = write(RowPart::kKillPassword, KVARA_BANK_RESERVED, 0, row.kill);
            !o.Done()) {
            return o;
        }
    }
    if (!row.access.empty()) {
        if (Outcome o = write(RowPart::kAccessPassword, KVARA_BANK_RESERVED, 2, row.access);
            !o.Done()) {
            return o;
        }
    }
    const ByteBuffer password = row.access.empty() ? ByteBuffer(kPasswordBytes, 0) : row.access;
    for (const auto& [area, action] : row.locks) {
        report->failedPart = RowPart::kLock;
        report->lockArea = area;
        if (Outcome o = m_session.Lock({}, area, action, password, m_options.permanentAllowed);
            !o.Done()) {
            return o;
        }
    }
    report->failedPart = RowPart::kNone;
    report->lockArea = -1;
    return Outcome::Ok();
}

StopReason Encoder::SetAside(const InventoryEntry& tag, const ByteBuffer& tid,
                             const std::string& why, TagReport* report) {
    report->ending = TagEnding::kRejected;
    report->epc = tag.epc;
    report->tid = tid;
    report->detail = why;
    PassOver(tag, tid);
    if (!m_store.RejectTag(m_options.job, m_options.station, tid, tag.epc, why)) {
        return StoreFailed();
    }
    return m_options.skipBadTags ? StopReason::kNone : StopReason::kTagProblem;
}

void Encoder::PassOver(const InventoryEntry& tag, const ByteBuffer& tid) {
    if (!tid.empty()) {
        m_passedTids.insert(tid);
    }
    m_lastPassed = tag.epc;
}

StopReason Encoder::ReaderFailed(const Outcome& outcome) {
    m_stopOutcome = outcome;
    m_stopDetail = Why(outcome);
    return StopReason::kReaderError;
}

StopReason Encoder::StoreFailed() {
    m_stopDetail = m_store.Error();
    return StopReason::kStoreError;
}

}  // namespace kvara::tags
