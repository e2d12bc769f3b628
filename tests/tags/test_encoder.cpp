// SPDX-License-Identifier: MIT
// Encoding in series against the simulated reader on a pseudo terminal, with a SQLite store:
// a conveyor encoded with the minimal sequence, a tag that carries an EPC of the job left
// alone, a lost answer settled by reading back, a refused write whose row goes to the next tag,
// and a tag whose outcome was unknown settled by its TID when it comes back.
#include <gtest/gtest.h>

#include <filesystem>

#include "tags/encoder.h"
#include "tags/job_source.h"
#include "tests/support/sim_reader_fixture.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::tags::Encoder;
using kvara::tags::JobRow;
using kvara::tags::RowState;
using kvara::tags::StopReason;
using kvara::tags::TagEnding;
using kvara::tags::TagReport;

namespace {

const ByteBuffer kBlank = {0xE2, 0x00, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x42};

std::vector<SimTag> Blanks(int count) {
    std::vector<SimTag> tags;
    for (int i = 0; i < count; ++i) {
        SimTag tag = SimTag::WithEpc(kBlank);  // blank tags often share their EPC
        tag.tid[10] = static_cast<std::uint8_t>(i >> 8);
        tag.tid[11] = static_cast<std::uint8_t>(i);
        tags.push_back(tag);
    }
    return tags;
}

class EncoderTest : public kvara::test::PtyReaderTest {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kvara-encoder-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
    }
    void TearDown() override {
        kvara::test::PtyReaderTest::TearDown();
        std::filesystem::remove_all(dir);
    }
    void Start(SimConfig config, std::vector<SimTag> tags, int rows) {
        StartReader(config, std::move(tags));
        ASSERT_GT(session.Open(name, {.timeoutMs = 150}), 0);
        kvara::tags::JobOptions options;
        options.scheme = "sgtin-96";
        options.gtin = "80614141123458";
        options.companyPrefixLength = 7;
        options.filter = 3;
        options.serials = "1001-" + std::to_string(1000 + rows);
        std::string error;
        ASSERT_TRUE(kvara::tags::RowsFromTemplate(options, &jobRows, &error)) << error;
        store = kvara::tags::OpenJobStore(dir + "/jobs.db", &error);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->CreateJob({"reel", "template", options.Json(), "1.0.0"}, jobRows));
    }
    kvara::tags::EncoderOptions Options() {
        kvara::tags::EncoderOptions options;
        options.job = "reel";
        options.waitMs = 400;
        options.pollMs = 5;
        return options;
    }
    // Runs the encoder until it stops; the reports of the tags it handled.
    StopReason Run(Encoder& encoder, std::vector<TagReport>* reports) {
        for (;;) {
            std::optional<TagReport> report;
            const StopReason reason = encoder.Next([] { return false; }, &report);
            if (report) {
                reports->push_back(*report);
            }
            if (reason != StopReason::kNone) {
                return reason;
            }
        }
    }
    RowState StateOf(int row) {
        std::vector<kvara::tags::RowRecord> rows;
        EXPECT_TRUE(store->Rows("reel", &rows));
        return rows.at(static_cast<std::size_t>(row - 1)).state;
    }

    std::string dir;
    kvara::tags::TagSession session;
    std::unique_ptr<kvara::tags::JobStore> store;
    std::vector<JobRow> jobRows;
};

}  // namespace

// Twenty blank tags with one EPC pass one at a time: each gets its row, with six frames a tag
// (inventory, select, TID, write, select under the new EPC, read back), and the job is done.
TEST_F(EncoderTest, AConveyorWithTheMinimalSequence) {
    Start(SimConfig{.conveyor = true}, Blanks(20), 20);
    Encoder encoder(session, *store, Options());
    std::vector<TagReport> reports;
    const std::size_t before = Requests().size();
    EXPECT_EQ(Run(encoder, &reports), StopReason::kJobDone);
    ASSERT_EQ(reports.size(), 20u);
    const auto tags = reader->AllTags();
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(reports[i].ending, TagEnding::kWritten);
        EXPECT_EQ(tags[i].Epc(), jobRows[i].epc);
        EXPECT_EQ(reports[i].tid, tags[i].tid);
        // A GS1 EPC goes on with the toggle off and the attribute bits cleared.
        EXPECT_EQ(tags[i].Pc(), 0x3000);
    }
    kvara::tags::JobStatus status;
    ASSERT_TRUE(store->Status("reel", &status));
    EXPECT_EQ(status.written, 20);
    std::size_t writes = 0;
    for (std::size_t i = before; i < Requests().size(); ++i) {
        writes += Requests()[i].command == 0xC4;
    }
    EXPECT_EQ(writes, 20u);
    EXPECT_EQ(Requests().size() - before, 20u * 6);  // six frames a tag, nothing more
}

// A tag that carries an EPC of the job (written by another station, say) is never overwritten:
// it is set aside; with bad tags skipped the line goes on with the next one, else it stops.
TEST_F(EncoderTest, ATagCarryingAnEpcOfTheJobIsSetAside) {
    Start(SimConfig{}, {}, 3);
    SimTag carrier = SimTag::WithEpc(jobRows[1].epc);
    carrier.tid[11] = 0x77;
    reader->SetTags({carrier});
    kvara::tags::EncoderOptions options = Options();
    options.skipBadTags = true;
    Encoder encoder(session, *store, options);
    std::optional<TagReport> report;
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kRejected);
    EXPECT_NE(report->detail.find("already carries the EPC of row 1002"), std::string::npos)
        << report->detail;
    EXPECT_EQ(reader->Tags()[0].Epc(), jobRows[1].epc);  // untouched

    // Still in the field, it is passed over; a blank tag beside it gets the first row.
    reader->SetTags({carrier, Blanks(1)[0]});
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kWritten);
    EXPECT_EQ(report->row, 1);
    EXPECT_EQ(reader->Tags()[1].Epc(), jobRows[0].epc);

    Encoder strict(session, *store, Options());
    reader->SetTags({carrier});
    EXPECT_EQ(strict.Next([] { return false; }, &report), StopReason::kTagProblem);
}

// The write's answer is lost: reading back shows the tag took it, and the row is written.
TEST_F(EncoderTest, ALostAnswerIsSettledByReadingBack) {
    Start(SimConfig{}, Blanks(1), 2);
    reader->PushFault(SimFault{.silent = true, .forCommand = 0xC4});
    Encoder encoder(session, *store, Options());
    std::optional<TagReport> report;
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kWritten);
    EXPECT_EQ(reader->Tags()[0].Epc(), jobRows[0].epc);
    EXPECT_EQ(StateOf(1), RowState::kWritten);
}

// The reader refuses the write (a locked EPC bank): the row is failed, the tag set aside, and
// the row goes to the next tag.
TEST_F(EncoderTest, ARefusedWriteGivesTheRowToTheNextTag) {
    Start(SimConfig{}, Blanks(1), 2);
    reader->PushFault(SimFault{.status = 0x1B, .refuse = true, .forCommand = 0xC4});
    kvara::tags::EncoderOptions options = Options();
    options.skipBadTags = true;
    Encoder encoder(session, *store, options);
    std::optional<TagReport> report;
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kFailed);
    EXPECT_EQ(report->row, 1);
    EXPECT_EQ(report->outcome.code, 0x1B);
    EXPECT_EQ(reader->Tags()[0].Epc(), kBlank);
    EXPECT_EQ(StateOf(1), RowState::kFailed);

    // The bad tag stays; the next one comes beside it.
    SimTag next = SimTag::WithEpc({0xE2, 0x00, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 0, 0x43});
    next.tid[11] = 0x42;
    reader->SetTags({reader->Tags()[0], next});
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kWritten);
    EXPECT_EQ(report->row, 1);
    EXPECT_EQ(reader->Tags()[1].Epc(), jobRows[0].epc);
}

// A refusal is no proof: the reader says "no transponder" although the tag took the EPC (its
// answer was lost), and then nothing reads back. The row is uncertain, never given again.
TEST_F(EncoderTest, ARefusalThatNothingProvesLeavesTheRowUncertain) {
    Start(SimConfig{}, Blanks(1), 2);
    reader->PushFault(SimFault{.status = 0x15, .silentAfter = true, .forCommand = 0xC4});
    kvara::tags::EncoderOptions options = Options();
    options.skipBadTags = true;
    Encoder encoder(session, *store, options);
    std::optional<TagReport> report;
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kReaderError);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kUncertain);
    EXPECT_EQ(reader->Tags()[0].Epc(), jobRows[0].epc);
    EXPECT_EQ(StateOf(1), RowState::kUncertain);
}

// The reader goes silent after carrying out the write: the row is uncertain and its EPC is
// never given to another tag. When the tag comes back, its TID settles the row by the EPC it
// carries, and the rest of the row is written.
TEST_F(EncoderTest, AnUncertainTagIsSettledByItsTid) {
    Start(SimConfig{}, Blanks(1), 2);
    for (auto& row : jobRows) {
        row.user = {0xAB, 0xCD};
    }
    store.reset();
    std::string error;
    store = kvara::tags::OpenJobStore(dir + "/other.db", &error);
    ASSERT_TRUE(store->CreateJob({"reel", "template", "{}", "1.0.0"}, jobRows));
    // The write is carried out, and then the reader answers nothing more.
    reader->PushFault(SimFault{.silent = true, .silentAfter = true, .forCommand = 0xC4});
    {
        Encoder encoder(session, *store, Options());
        std::optional<TagReport> report;
        // The write goes out before the reader falls silent for everything after it.
        EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kReaderError);
    }
    EXPECT_EQ(reader->Tags()[0].Epc(), jobRows[0].epc);
    EXPECT_EQ(StateOf(1), RowState::kUncertain);
    EXPECT_EQ(reader->Tags()[0].user[0], 0x00);

    reader->ClearFaults();
    Encoder again(session, *store, Options());
    std::optional<TagReport> report;
    EXPECT_EQ(again.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kSettled);
    EXPECT_EQ(report->row, 1);
    EXPECT_EQ(StateOf(1), RowState::kWritten);
    EXPECT_EQ(StateOf(2), RowState::kOpen);  // nothing else was given to it
    EXPECT_EQ(reader->Tags()[0].user[0], 0xAB);
}

// After the EPC, a part of the row the tag does not take sets the tag aside with its row, and
// the report names that part: a locked User memory, a lock the reader refuses (with its area).
TEST_F(EncoderTest, TheReportNamesThePartATagDidNotTake) {
    Start(SimConfig{}, {}, 2);
    for (auto& row : jobRows) {
        row.user = {0xAB, 0xCD};
        row.access = {1, 2, 3, 4};
        row.locks = {{4, 2}};
    }
    store.reset();
    std::string error;
    store = kvara::tags::OpenJobStore(dir + "/parts.db", &error);
    ASSERT_TRUE(store->CreateJob({"reel", "template", "{}", "1.0.0"}, jobRows));
    kvara::tags::EncoderOptions options = Options();
    options.skipBadTags = true;
    Encoder encoder(session, *store, options);

    SimTag locked = Blanks(1)[0];
    locked.locks[kvara::sim::kAreaUser] = kvara::sim::LockState::kPermaLocked;
    reader->SetTags({locked});
    std::optional<TagReport> report;
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kRejected);
    EXPECT_EQ(report->failedPart, kvara::tags::RowPart::kUser);
    EXPECT_EQ(report->outcome.code, 0x1B);
    EXPECT_NE(report->detail.find("the User memory"), std::string::npos) << report->detail;

    SimTag next = Blanks(2)[1];
    reader->SetTags({next});
    reader->PushFault(SimFault{.status = 0x1C, .refuse = true, .forCommand = 0xC6});
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->ending, TagEnding::kRejected);
    EXPECT_EQ(report->failedPart, kvara::tags::RowPart::kLock);
    EXPECT_EQ(report->lockArea, 4);
    EXPECT_EQ(report->outcome.code, 0x1C);
}

// A reader that stops answering stops the run, and the stop keeps the reader's outcome; the
// next Next() starts without it.
TEST_F(EncoderTest, AReaderStopKeepsItsOutcome) {
    Start(SimConfig{}, Blanks(1), 2);
    reader->SetFault(SimFault{.silent = true});
    kvara::tags::EncoderOptions options = Options();
    options.waitMs = 5000;  // longer than three inventories without an answer
    Encoder encoder(session, *store, options);
    std::optional<TagReport> report;
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kReaderError);
    EXPECT_EQ(encoder.StopOutcome().step, kvara::tags::Step::kInventory);
    EXPECT_EQ(encoder.StopOutcome().code, KVARA_ERROR_TIMEOUT);
    reader->ClearFaults();
    EXPECT_EQ(encoder.Next([] { return false; }, &report), StopReason::kNone);
    EXPECT_TRUE(encoder.StopOutcome().Done());
}
