// SPDX-License-Identifier: MIT
// Encoding tags in series from a job: the window's "Serie kodieren" and "kvara encode" run this
// one sequence. For each tag that comes into the field alone:
//   inventory (it brings the PC) - select - read the TID - reserve a row (durable: the TID and
//   the EPC it is to get) - write PC and EPC - select under the new EPC - read it back -
//   User memory and passwords (each read back unless only the EPC is to be verified) - locks -
//   record the row written.
// A tag the job knows by its TID (a run killed before its outcome was recorded) is settled by
// the EPC it carries; a tag that already carries an EPC of the job is never overwritten.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "tags/job_store.h"
#include "tags/tag_session.h"

namespace kvara::tags {

struct EncoderOptions {
    std::string job;
    std::string station = "station";
    int waitMs = 30000;             // how long to wait for the next tag
    int pollMs = 20;                // pause between inventories while waiting
    bool skipBadTags = false;       // a tag that cannot be encoded is set aside; the line goes on
    bool verifyAll = true;          // false: only the EPC is read back
    bool permanentAllowed = false;  // lock actions that can never be undone
};

// The part of a row after its EPC that a tag did not take.
enum class RowPart { kNone, kUser, kKillPassword, kAccessPassword, kLock };

// What happened to one tag.
enum class TagEnding {
    kWritten,    // the row is on the tag, read back as asked
    kSettled,    // a tag of an earlier run: its row settled by the EPC it carries
    kRejected,   // set aside (the row's EPC is on it when a row is named)
    kFailed,     // not written (the reader refused); its row is open again
    kUncertain,  // the outcome is unknown; its row's EPC is never given again
};

struct TagReport {
    TagEnding ending = TagEnding::kWritten;
    int row = 0;  // 0: no row
    std::string serial;
    ByteBuffer epc;  // the row's EPC, or the tag's own for a tag set aside without a row
    ByteBuffer tid;
    std::string detail;  // in words: why it was set aside, failed or is uncertain
    Outcome outcome;     // the reader's side of it
    // For a tag set aside with its row's EPC on it: the part that failed (and the area of a
    // lock), so that a window can say it in its own words.
    RowPart failedPart = RowPart::kNone;
    int lockArea = -1;
};

// Why encoding stopped.
enum class StopReason {
    kNone,         // a tag was handled; call Next() again
    kJobDone,      // no row left to write
    kRequested,    // stop() said so
    kNoTag,        // no new tag came within the wait
    kTwoTags,      // more than one new tag in the field at once: nothing written
    kTagProblem,   // a tag could not be encoded and bad tags are not skipped
    kReaderError,  // the reader failed or stopped answering
    kStoreError,   // the journal or the store could not record
};

class Encoder {
public:
    Encoder(TagSession& session, JobStore& store, EncoderOptions options);

    // Waits for the next tag alone in the field and encodes it. report says what happened to
    // the tag (when one was handled); the result says whether to go on (kNone) or why not.
    StopReason Next(const std::function<bool()>& stop, std::optional<TagReport>* report);
    // The detail of the last stop (the store's error, the reader's, the EPCs in the field).
    const std::string& StopDetail() const { return m_stopDetail; }
    // The reader's side of the last stop, when the reader stopped it (done otherwise).
    const Outcome& StopOutcome() const { return m_stopOutcome; }
    // Settles the rows of the tags in the field that an earlier run left reserved or uncertain,
    // by the EPC each carries; reserves nothing. A report for every tag it settled.
    StopReason SettleField(std::vector<TagReport>* reports);

private:
    StopReason WaitForTag(const std::function<bool()>& stop, InventoryEntry* tag);
    StopReason Handle(const InventoryEntry& tag, TagReport* report);
    ByteBuffer EpcOnTwoTags(const Inventory& inventory) const;
    std::optional<StopReason> WriteEpc(const InventoryEntry& tag, const ByteBuffer& tid,
                                       const JobRow& row, TagReport* report);
    StopReason Settle(const InventoryEntry& tag, const ByteBuffer& tid, TagReport* report,
                      bool* handled);
    StopReason WriteRow(const InventoryEntry& tag, const ByteBuffer& tid, const RowRecord& row,
                        bool epcOnTag, TagReport* report);
    // The steps after the EPC: User memory, passwords, locks, each read back as asked. The
    // report names the part that failed.
    Outcome WriteRest(const JobRow& row, TagReport* report);
    // The reader stopped the run: its outcome, and the words of the stop.
    StopReason ReaderFailed(const Outcome& outcome);
    StopReason SetAside(const InventoryEntry& tag, const ByteBuffer& tid, const std::string& why,
                        TagReport* report);
    StopReason StoreFailed();
    // A tag not to handle again: done or set aside (by its TID; blank tags share their EPC).
    void PassOver(const InventoryEntry& tag, const ByteBuffer& tid);

    TagSession& m_session;
    JobStore& m_store;
    EncoderOptions m_options;
    std::string m_stopDetail;
    Outcome m_stopOutcome;
    // The EPCs this run put on tags: a tag still in the field after its turn is not new.
    std::set<ByteBuffer> m_written;
    // The TIDs of tags passed over (done in an earlier run, or set aside), and the EPC of the
    // last one, which is not read again while it stays alone in the field.
    std::set<ByteBuffer> m_passedTids;
    ByteBuffer m_lastPassed;
};

// The PC word a row's EPC goes onto a tag with: the row's length, toggle and attribute bits,
// the tag's own User memory and XPC indicators.
ByteBuffer PcForTag(const JobRow& row, std::uint16_t tagPc);

}  // namespace kvara::tags
