// SPDX-License-Identifier: MIT
// The job store of one station in a JSON-lines file: the job's definition in the first line, then
// one line for every change of a row (reserved with the tag's TID, then written, failed, uncertain
// or rejected) and for every tag set aside. Each line is on disk (fsync) before the call
// returns. The rows themselves come from the CSV the job is made from; their states from
// reading the file again. The file is locked (flock) while open: a second station on it is
// refused. A last line cut off by a crash or a full disk is closed with a line break when the
// file is opened again and otherwise ignored: it was never acknowledged to anyone.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>

#include "common/hex.h"
#include "tags/job_store.h"

namespace kvara::tags {

namespace {

class JournalStore : public JobStore {
public:
    JournalStore(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~JournalStore() override { close(m_fd); }

    bool Load() {
        std::string text;
        char buffer[65536];
        for (;;) {
            const ssize_t n = pread(m_fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
            if (n < 0) {
                return Fail("cannot read the log " + m_path + ": " + std::strerror(errno));
            }
            if (n == 0) {
                break;
            }
            text.append(buffer, static_cast<std::size_t>(n));
        }
        if (!text.empty() && text.back() != '\n' && !Append("")) {
            return false;  // a torn last line: closed, so that the next one starts on its own
        }
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            Replay(text.substr(start, end - start));
            start = end + 1;
        }
        return true;
    }

    bool CreateJob(const JobDefinition& definition, const std::vector<JobRow>& rows) override {
        if (const std::string duplicate = DuplicateRows(rows); !duplicate.empty()) {
            return Fail(duplicate);
        }
        if (m_hasDefinition &&
            (m_definition.name != definition.name || m_definition.source != definition.source ||
             m_definition.options != definition.options)) {
            return Fail("the log " + m_path + " belongs to job \"" + m_definition.name + "\" (" +
                        m_definition.source + ", options " + m_definition.options +
                        "); it cannot go on with another CSV or other options");
        }
        if (!m_hasDefinition) {
            const nlohmann::json header = {{"journal", "kvara"},
                                           {"job", definition.name},
                                           {"source", definition.source},
                                           {"options", definition.options},
                                           {"version", definition.version},
                                           {"time", UtcNow()}};
            if (!Append(header.dump())) {
                return false;
            }
            m_definition = definition;
            m_hasDefinition = true;
        }
        for (const JobRow& row : rows) {
            RowRecord& record = m_rows[row.index];
            record.row = row;
        }
        // Rows an older log knew only by their EPC get their state now.
        for (auto& [index, record] : m_rows) {
            const auto known = m_byEpc.find(HexPairs(record.row.epc));
            if (known != m_byEpc.end() && record.state == RowState::kOpen) {
                record.state = known->second.state;
                record.tid = known->second.tid;
            }
        }
        return true;
    }

    bool OpenJob(const std::string& name, JobDefinition* definition) override {
        if (!m_hasDefinition || m_definition.name != name) {
            return Fail("no job \"" + name + "\" in " + m_path);
        }
        *definition = m_definition;
        return true;
    }

    bool ListJobs(std::vector<JobDefinition>* jobs) override {
        jobs->clear();
        if (m_hasDefinition) {
            jobs->push_back(m_definition);
        }
        return true;
    }

    bool Reserve(const std::string&, const std::string& station, const ByteBuffer& tid,
                 std::optional<RowRecord>* reserved) override {
        reserved->reset();
        for (auto& [index, record] : m_rows) {
            if (record.state == RowState::kOpen || record.state == RowState::kFailed) {
                if (!Change(index, RowState::kReserved, tid, {}, station)) {
                    return false;
                }
                *reserved = record;
                return true;
            }
        }
        return true;
    }

    bool Record(const std::string&, int index, RowState state, const ByteBuffer& tid,
                const std::string& detail) override {
        if (m_rows.count(index) == 0) {
            return Fail("no row " + std::to_string(index));
        }
        return Change(index, state, tid, detail, m_rows[index].station);
    }

    bool RowsOfTid(const std::string&, const ByteBuffer& tid,
                   std::vector<RowRecord>* rows) override {
        rows->clear();
        for (const auto& [index, record] : m_rows) {
            if (record.state != RowState::kOpen && record.tid == tid) {
                rows->push_back(record);
            }
        }
        return true;
    }

    bool RowOfEpc(const std::string&, const ByteBuffer& epc, const std::string& gs1Key,
                  std::optional<RowRecord>* row) override {
        row->reset();
        for (const auto& [index, record] : m_rows) {
            if (record.row.epc == epc || (!gs1Key.empty() && record.row.gs1Key == gs1Key)) {
                *row = record;
                return true;
            }
        }
        return true;
    }

    bool RejectTag(const std::string&, const std::string& station, const ByteBuffer& tid,
                   const ByteBuffer& epc, const std::string& reason) override {
        return Append(nlohmann::json{
            {"reject", HexPairs(tid)},
            {"epc", HexPairs(epc)},
            {"station", station},
            {"reason", reason},
            {"time",
             UtcNow()}}.dump());
    }

    bool Status(const std::string& job, JobStatus* status) override {
        *status = JobStatus{};
        status->job = job;
        for (const auto& [index, record] : m_rows) {
            ++status->total;
            int* counts[] = {&status->open,   &status->reserved,  &status->written,
                             &status->failed, &status->uncertain, &status->rejected};
            ++*counts[static_cast<int>(record.state)];
        }
        return true;
    }

    bool Rows(const std::string&, std::vector<RowRecord>* rows) override {
        rows->clear();
        for (const auto& [index, record] : m_rows) {
            rows->push_back(record);
        }
        return true;
    }

private:
    bool Change(int index, RowState state, const ByteBuffer& tid, const std::string& detail,
                const std::string& station) {
        RowRecord& record = m_rows[index];
        const std::string time = UtcNow();
        nlohmann::json line = {{"row", index},
                               {"serial", record.row.serial},
                               {"epc", HexPairs(record.row.epc)},
                               {"state", RowStateName(state)},
                               {"tid", HexPairs(tid)},
                               {"station", station},
                               {"time", time}};
        if (!detail.empty()) {
            line["detail"] = detail;
        }
        if (!Append(line.dump())) {
            return false;
        }
        record.state = state;
        record.tid = tid;
        record.station = station;
        record.time = time;
        record.detail = detail;
        return true;
    }

    // The line and a line break, on disk before this returns.
    bool Append(const std::string& line) {
        const std::string bytes = line + "\n";
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return Fail("cannot write the log " + m_path + ": " + std::strerror(errno));
            }
            done += static_cast<std::size_t>(n);
        }
        if (fsync(m_fd) != 0) {
            return Fail("cannot write the log " + m_path + ": " + std::strerror(errno));
        }
        return true;
    }

    void Replay(const std::string& text) {
        const auto line = nlohmann::json::parse(text, nullptr, false);
        if (line.is_discarded() || !line.is_object()) {
            return;  // a line cut off, or not the journal's
        }
        if (line.value("journal", "") == "kvara") {
            m_definition = {line.value("job", ""), line.value("source", ""),
                            line.value("options", ""), line.value("version", "")};
            m_hasDefinition = true;
            return;
        }
        if (line.contains("row") && line["row"].is_number_integer() && line.contains("state")) {
            const auto state = RowStateNamed(line.value("state", ""));
            if (!state) {
                return;
            }
            RowRecord& record = m_rows[line["row"].get<int>()];
            record.row.index = line["row"].get<int>();
            record.row.serial = line.value("serial", "");
            ParseHexPairs(line.value("epc", ""), "", &record.row.epc);
            record.state = *state;
            ParseHexPairs(line.value("tid", ""), "", &record.tid);
            record.station = line.value("station", "");
            record.time = line.value("time", "");
            record.detail = line.value("detail", "");
            return;
        }
        // A line of the log before it was a journal: a tag the row's EPC went to ("ok"), or a
        // row that failed somewhere after the EPC may have gone out: never given again.
        if (line.contains("new_epc") && line.contains("result")) {
            RowRecord old;
            ParseHexPairs(line.value("tid", ""), "", &old.tid);
            old.state =
                line.value("result", "") == "ok" ? RowState::kWritten : RowState::kUncertain;
            old.detail = old.state == RowState::kUncertain ? "failed before the log was a journal"
                                                           : std::string();
            m_byEpc[line.value("new_epc", "")] = old;
        }
    }

    int m_fd;
    std::string m_path;
    JobDefinition m_definition;
    bool m_hasDefinition = false;
    std::map<int, RowRecord> m_rows;
    std::map<std::string, RowRecord> m_byEpc;  // rows of an older log, by their EPC
};

}  // namespace

std::unique_ptr<JobStore> OpenJournal(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot write the log " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = "the log " + path + " is in use by another station";
        close(fd);
        return nullptr;
    }
    auto store = std::make_unique<JournalStore>(fd, path);
    if (!store->Load()) {
        *error = store->Error();
        return nullptr;
    }
    return store;
}

}  // namespace kvara::tags
