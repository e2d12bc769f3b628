// SPDX-License-Identifier: MIT
// The job store on SQLite and PostgreSQL: one schema, one set of statements; only the
// reservation differs (PostgreSQL skips rows another station has locked; SQLite takes the
// database's write lock for the moment of the reservation).
#include <nlohmann/json.hpp>

#include "common/hex.h"
#include "tags/job_store.h"
#include "tags/sql_db.h"

namespace kvara::tags {

namespace {

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS kvara_jobs (name TEXT PRIMARY KEY, source TEXT NOT NULL, "
    "options TEXT NOT NULL, version TEXT NOT NULL, created TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS kvara_rows (job TEXT NOT NULL, idx INTEGER NOT NULL, "
    "serial TEXT NOT NULL, epc TEXT NOT NULL, gs1_key TEXT, data TEXT NOT NULL, "
    "state TEXT NOT NULL, station TEXT, tid TEXT, time TEXT, detail TEXT, "
    "PRIMARY KEY (job, idx), UNIQUE (job, epc))",
    // One GS1 key (GTIN and serial, say) once per job, whatever filter or partition the EPCs
    // were made with.
    "CREATE UNIQUE INDEX IF NOT EXISTS kvara_rows_gs1 ON kvara_rows (job, gs1_key) "
    "WHERE gs1_key IS NOT NULL",
    "CREATE INDEX IF NOT EXISTS kvara_rows_tid ON kvara_rows (job, tid)",
    "CREATE INDEX IF NOT EXISTS kvara_rows_state ON kvara_rows (job, state, idx)",
    "CREATE TABLE IF NOT EXISTS kvara_rejects (job TEXT NOT NULL, time TEXT NOT NULL, "
    "station TEXT, tid TEXT, epc TEXT, reason TEXT)",
};

constexpr const char* kRowColumns =
    "idx, serial, epc, gs1_key, data, state, station, tid, time, detail";

std::string Text(const SqlValue& value) {
    return value.value_or(std::string());
}

SqlValue Nullable(const std::string& text) {
    return text.empty() ? SqlValue() : SqlValue(text);
}

class SqlStore : public JobStore {
public:
    explicit SqlStore(std::unique_ptr<SqlDb> db) : m_db(std::move(db)) {}

    bool Prepare() {
        for (const char* statement : kSchema) {
            if (!m_db->Exec(statement)) {
                return Fail("cannot prepare the job tables: " + m_db->Error());
            }
        }
        return true;
    }

    bool CreateJob(const JobDefinition& definition, const std::vector<JobRow>& rows) override {
        if (const std::string duplicate = DuplicateRows(rows); !duplicate.empty()) {
            return Fail(duplicate);
        }
        if (!m_db->BeginWrite()) {
            return Fail(m_db->Error());
        }
        JobDefinition existing;
        if (FindJob(definition.name, &existing)) {
            m_db->Rollback();
            if (existing.source != definition.source || existing.options != definition.options) {
                return Fail("job \"" + definition.name +
                            "\" exists with another source or options");
            }
            return true;  // the same job again
        }
        if (!m_db->Exec("INSERT INTO kvara_jobs (name, source, options, version, created) "
                        "VALUES ($1, $2, $3, $4, $5)",
                        {definition.name, definition.source, definition.options, definition.version,
                         UtcNow()})) {
            return Abort("cannot create the job: ");
        }
        for (const JobRow& row : rows) {
            if (!m_db->Exec("INSERT INTO kvara_rows (job, idx, serial, epc, gs1_key, data, state) "
                            "VALUES ($1, $2, $3, $4, $5, $6, 'open')",
                            {definition.name, std::to_string(row.index), row.serial,
                             HexPairs(row.epc), Nullable(row.gs1Key), row.DataJson()})) {
                return Abort("row " + row.serial + ": ");
            }
        }
        if (!m_db->Commit()) {
            return Abort("cannot create the job: ");
        }
        return true;
    }

    bool OpenJob(const std::string& name, JobDefinition* definition) override {
        if (!FindJob(name, definition)) {
            return Fail(m_error.empty() ? "no job \"" + name + "\"" : m_error);
        }
        return true;
    }

    bool ListJobs(std::vector<JobDefinition>* jobs) override {
        std::vector<SqlRow> rows;
        if (!m_db->Exec("SELECT name, source, options, version FROM kvara_jobs ORDER BY name", {},
                        &rows)) {
            return Fail(m_db->Error());
        }
        jobs->clear();
        for (const SqlRow& row : rows) {
            jobs->push_back({Text(row[0]), Text(row[1]), Text(row[2]), Text(row[3])});
        }
        return true;
    }

    bool Reserve(const std::string& job, const std::string& station, const ByteBuffer& tid,
                 std::optional<RowRecord>* reserved) override {
        reserved->reset();
        std::vector<SqlRow> rows;
        const std::vector<SqlValue> params = {job, station, HexPairs(tid), UtcNow()};
        if (m_db->IsPostgres()) {
            // One statement: the row another station has locked is skipped, never waited for.
            if (!m_db->Exec(std::string("UPDATE kvara_rows SET state = 'reserved', station = $2, "
                                        "tid = $3, time = $4, detail = NULL WHERE job = $1 AND "
                                        "idx = (SELECT idx FROM kvara_rows WHERE job = $1 AND "
                                        "state IN ('open', 'failed') ORDER BY idx LIMIT 1 FOR "
                                        "UPDATE SKIP LOCKED) RETURNING ") +
                                kRowColumns,
                            params, &rows)) {
                return Fail(m_db->Error());
            }
        } else {
            if (!m_db->BeginWrite()) {
                return Fail(m_db->Error());
            }
            std::vector<SqlRow> next;
            if (!m_db->Exec("SELECT idx FROM kvara_rows WHERE job = $1 AND state IN ('open', "
                            "'failed') ORDER BY idx LIMIT 1",
                            {job}, &next)) {
                return Abort("");
            }
            if (!next.empty() &&
                (!m_db->Exec("UPDATE kvara_rows SET state = 'reserved', station = $2, tid = $3, "
                             "time = $4, detail = NULL WHERE job = $1 AND idx = $5",
                             {job, station, HexPairs(tid), UtcNow(), next[0][0]}) ||
                 !m_db->Exec(std::string("SELECT ") + kRowColumns +
                                 " FROM kvara_rows WHERE job = $1 AND idx = $2",
                             {job, next[0][0]}, &rows))) {
                return Abort("");
            }
            if (!m_db->Commit()) {
                return Abort("");
            }
        }
        if (!rows.empty()) {
            RowRecord record;
            if (!Decode(rows[0], &record)) {
                return Fail("a row of job \"" + job + "\" cannot be read");
            }
            *reserved = std::move(record);
        }
        return true;
    }

    bool Record(const std::string& job, int index, RowState state, const ByteBuffer& tid,
                const std::string& detail) override {
        const bool open = state == RowState::kOpen;
        if (!m_db->Exec(
                "UPDATE kvara_rows SET state = $3, tid = $4, time = $5, detail = $6, "
                "station = CASE WHEN $3 = 'open' THEN NULL ELSE station END "
                "WHERE job = $1 AND idx = $2",
                {job, std::to_string(index), RowStateName(state),
                 open ? SqlValue() : SqlValue(HexPairs(tid)), UtcNow(), Nullable(detail)})) {
            return Fail(m_db->Error());
        }
        return true;
    }

    bool RowsOfTid(const std::string& job, const ByteBuffer& tid,
                   std::vector<RowRecord>* rows) override {
        return Select(" WHERE job = $1 AND tid = $2 ORDER BY idx", {job, HexPairs(tid)}, rows);
    }

    bool RowOfEpc(const std::string& job, const ByteBuffer& epc, const std::string& gs1Key,
                  std::optional<RowRecord>* row) override {
        std::vector<RowRecord> rows;
        if (!Select(" WHERE job = $1 AND (epc = $2 OR gs1_key = $3) ORDER BY idx",
                    {job, HexPairs(epc), Nullable(gs1Key)}, &rows)) {
            return false;
        }
        row->reset();
        if (!rows.empty()) {
            *row = rows.front();
        }
        return true;
    }

    bool RejectTag(const std::string& job, const std::string& station, const ByteBuffer& tid,
                   const ByteBuffer& epc, const std::string& reason) override {
        if (!m_db->Exec("INSERT INTO kvara_rejects (job, time, station, tid, epc, reason) VALUES "
                        "($1, $2, $3, $4, $5, $6)",
                        {job, UtcNow(), station, HexPairs(tid), HexPairs(epc), reason})) {
            return Fail(m_db->Error());
        }
        return true;
    }

    bool Status(const std::string& job, JobStatus* status) override {
        std::vector<SqlRow> rows;
        if (!m_db->Exec("SELECT state, COUNT(*) FROM kvara_rows WHERE job = $1 GROUP BY state",
                        {job}, &rows)) {
            return Fail(m_db->Error());
        }
        *status = JobStatus{};
        status->job = job;
        for (const SqlRow& row : rows) {
            const int count = std::stoi(Text(row[1]));
            status->total += count;
            switch (RowStateNamed(Text(row[0])).value_or(RowState::kOpen)) {
                case RowState::kOpen:
                    status->open += count;
                    break;
                case RowState::kReserved:
                    status->reserved += count;
                    break;
                case RowState::kWritten:
                    status->written += count;
                    break;
                case RowState::kFailed:
                    status->failed += count;
                    break;
                case RowState::kUncertain:
                    status->uncertain += count;
                    break;
                case RowState::kRejected:
                    status->rejected += count;
                    break;
            }
        }
        return true;
    }

    bool Rows(const std::string& job, std::vector<RowRecord>* rows) override {
        return Select(" WHERE job = $1 ORDER BY idx", {job}, rows);
    }

private:
    bool FindJob(const std::string& name, JobDefinition* definition) {
        m_error.clear();
        std::vector<SqlRow> rows;
        if (!m_db->Exec("SELECT name, source, options, version FROM kvara_jobs WHERE name = $1",
                        {name}, &rows)) {
            return Fail(m_db->Error());
        }
        if (rows.empty()) {
            return false;
        }
        *definition = {Text(rows[0][0]), Text(rows[0][1]), Text(rows[0][2]), Text(rows[0][3])};
        return true;
    }

    bool Select(const std::string& where, const std::vector<SqlValue>& params,
                std::vector<RowRecord>* records) {
        std::vector<SqlRow> rows;
        if (!m_db->Exec(std::string("SELECT ") + kRowColumns + " FROM kvara_rows" + where, params,
                        &rows)) {
            return Fail(m_db->Error());
        }
        records->clear();
        for (const SqlRow& row : rows) {
            RowRecord record;
            if (!Decode(row, &record)) {
                return Fail("a row of the job cannot be read");
            }
            records->push_back(std::move(record));
        }
        return true;
    }

    static bool Decode(const SqlRow& row, RowRecord* record) {
        if (row.size() != 10) {
            return false;
        }
        record->row.index = std::stoi(Text(row[0]));
        record->row.serial = Text(row[1]);
        record->row.gs1Key = Text(row[3]);
        const auto state = RowStateNamed(Text(row[5]));
        if (!ParseHexPairs(Text(row[2]), "", &record->row.epc) ||
            !record->row.ReadDataJson(Text(row[4])) || !state ||
            !ParseHexPairs(Text(row[7]), "", &record->tid)) {
            return false;
        }
        record->state = *state;
        record->station = Text(row[6]);
        record->time = Text(row[8]);
        record->detail = Text(row[9]);
        return true;
    }

    bool Abort(const std::string& what) {
        const std::string why = what + m_db->Error();
        m_db->Rollback();
        return Fail(why);
    }

    std::unique_ptr<SqlDb> m_db;
};

}  // namespace

std::unique_ptr<JobStore> OpenJobStore(const std::string& location, std::string* error) {
    const bool postgres =
        location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
    std::unique_ptr<SqlDb> db =
        postgres ? OpenPostgres(location, error) : OpenSqlite(location, error);
    if (!db) {
        return nullptr;
    }
    auto store = std::make_unique<SqlStore>(std::move(db));
    if (!store->Prepare()) {
        *error = store->Error();
        return nullptr;
    }
    return store;
}

}  // namespace kvara::tags
