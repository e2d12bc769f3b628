// SPDX-License-Identifier: MIT
// Where encoding jobs and the state of their rows are kept, so that a crash, a kill or a power
// cut at any moment loses nothing: a row's reservation (the tag's TID and the EPC it is to get)
// is durable before the EPC goes to the tag, and its outcome is durable after.
//
// Three stores, one behaviour: a JSON-lines journal file for one station ("kvara encode --csv
// ... --log FILE"), SQLite (a file, several stations on one machine) and PostgreSQL (a
// "postgresql://" URI, stations on several machines). A row is reserved by one station only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tags/job.h"

namespace kvara::tags {

class JobStore {
public:
    virtual ~JobStore() = default;

    // Makes the job with its rows, or checks that the job of that name was made from the same
    // source and options (a resumed run, another station): false with the reason otherwise.
    virtual bool CreateJob(const JobDefinition& definition, const std::vector<JobRow>& rows) = 0;
    // The job's definition; false when there is no such job.
    virtual bool OpenJob(const std::string& name, JobDefinition* definition) = 0;
    virtual bool ListJobs(std::vector<JobDefinition>* jobs) = 0;

    // Reserves the next row that is open (or failed, which is open again) for this station and
    // tag, durably. Nothing reserved, and true, when every row is taken.
    virtual bool Reserve(const std::string& job, const std::string& station, const ByteBuffer& tid,
                         std::optional<RowRecord>* reserved) = 0;
    // Records where a row stands now (its tag, and why, for failed, uncertain and rejected),
    // durably. kOpen gives a reservation back before anything was sent to the tag.
    virtual bool Record(const std::string& job, int index, RowState state, const ByteBuffer& tid,
                        const std::string& detail) = 0;
    // The rows bound to this TID (reserved, written, uncertain, rejected, failed).
    virtual bool RowsOfTid(const std::string& job, const ByteBuffer& tid,
                           std::vector<RowRecord>* rows) = 0;
    // The row whose EPC, or whose GS1 key, this is; nothing when no row of the job has it.
    virtual bool RowOfEpc(const std::string& job, const ByteBuffer& epc, const std::string& gs1Key,
                          std::optional<RowRecord>* row) = 0;
    // A tag set aside without a row (it already carries an EPC of the job, say), with why.
    virtual bool RejectTag(const std::string& job, const std::string& station,
                           const ByteBuffer& tid, const ByteBuffer& epc,
                           const std::string& reason) = 0;
    virtual bool Status(const std::string& job, JobStatus* status) = 0;
    virtual bool Rows(const std::string& job, std::vector<RowRecord>* rows) = 0;

    // Why the last call failed.
    const std::string& Error() const { return m_error; }

protected:
    bool Fail(std::string why) {
        m_error = std::move(why);
        return false;
    }
    std::string m_error;
};

// Opens a store: a "postgresql://" (or "postgres://") URI is PostgreSQL, anything else a SQLite
// file (made when missing). Null with the reason when it cannot be opened.
std::unique_ptr<JobStore> OpenJobStore(const std::string& location, std::string* error);
// The JSON-lines journal of one station; locked against a second one while open.
std::unique_ptr<JobStore> OpenJournal(const std::string& path, std::string* error);

}  // namespace kvara::tags
