// SPDX-License-Identifier: MIT
// An encoding job: rows of what each tag is to carry, and where each row stands. A row is open
// until a station reserves it for a tag (its TID and EPC recorded before anything is written),
// then written (read back as asked), failed (proven not written: the tag does not carry the
// row's EPC, so the row can go to another tag), uncertain (the outcome is unknown: the EPC
// may be on the tag, and is never given to another one), or rejected (the EPC is on the tag,
// but a later step failed: the tag is set aside, the EPC is used up).
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"

namespace kvara::tags {

enum class RowState { kOpen, kReserved, kWritten, kFailed, kUncertain, kRejected };
const char* RowStateName(RowState state);  // "open", "reserved", ...
std::optional<RowState> RowStateNamed(const std::string& name);

// Puts what is set of the User data, passwords and locks into json: "user", "access" and
// "kill" in hex, "locks" as [area, action] pairs. A row's data and a job's options say them
// alike.
void PutTagData(nlohmann::json* json, const ByteBuffer& user, const ByteBuffer& access,
                const ByteBuffer& kill, const std::vector<std::pair<int, int>>& locks);

// What one tag is to carry.
struct JobRow {
    int index = 0;       // the row's place in the job, from 1
    std::string serial;  // what the row is known by: the serial, or the CSV's line number
    ByteBuffer epc;
    std::string gs1Key;  // the GS1 key of the EPC ("(01)...(21)..."), empty for another EPC
    ByteBuffer pc;       // the PC word written with the EPC (2 bytes)
    ByteBuffer user;     // User memory from word 0; empty: none
    ByteBuffer access;   // passwords; empty: left as they are
    ByteBuffer kill;
    std::vector<std::pair<int, int>> locks;  // area, action (the lock command's values)

    // The row's data (PC, User memory, passwords, locks) as one JSON text for a store.
    std::string DataJson() const;
    bool ReadDataJson(const std::string& json);
};

// Where a row stands, as a store keeps it.
struct RowRecord {
    JobRow row;
    RowState state = RowState::kOpen;
    std::string station;
    ByteBuffer tid;
    std::string time;    // UTC, ISO 8601
    std::string detail;  // why it failed, was rejected or is uncertain
};

struct JobStatus {
    std::string job;
    int total = 0;
    int open = 0;
    int reserved = 0;
    int written = 0;
    int failed = 0;
    int uncertain = 0;
    int rejected = 0;
};

// What a job was made from and with: a second station, or a resumed run, must bring the same.
struct JobDefinition {
    std::string name;
    std::string source;   // "csv:<sha256 of the file>" or the template ("sgtin-96 ...")
    std::string options;  // the options that shape the rows, as JSON
    std::string version;  // the program version that created the job
};

// Why these rows cannot make one job: two of them with one EPC, or with one GS1 key (the same
// GTIN and serial written with another filter or partition); empty when none.
std::string DuplicateRows(const std::vector<JobRow>& rows);

// A job's report as CSV, one record a row: the header line "serial,epc,tid,state,station,
// time,detail", then the rows as given. EPC and TID in hex without blanks; a field that holds
// a comma, a quote or a line break is quoted.
std::string ReportCsv(const std::vector<RowRecord>& rows);

// The time now, UTC, ISO 8601 with milliseconds.
std::string UtcNow();

}  // namespace kvara::tags
