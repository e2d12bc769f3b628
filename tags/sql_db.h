// SPDX-License-Identifier: MIT
// The little the job stores need of a SQL database: statements with numbered parameters ($1,
// $2, ...; text or null), their rows as texts, and transactions. SQLite and PostgreSQL (libpq)
// behind one interface.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvara::tags {

using SqlValue = std::optional<std::string>;
using SqlRow = std::vector<SqlValue>;

class SqlDb {
public:
    virtual ~SqlDb() = default;
    // Runs one statement; its rows, when rows is given. False with Error() on failure.
    bool Exec(const std::string& sql, const std::vector<SqlValue>& params = {},
              std::vector<SqlRow>* rows = nullptr) {
        return Run(sql, params, rows);
    }
    // A transaction that holds the right to write from its start (SQLite takes the lock at
    // once, so that two stations never both read a row as open).
    virtual bool BeginWrite() = 0;
    virtual bool Commit() { return Exec("COMMIT"); }
    virtual void Rollback() { Exec("ROLLBACK"); }
    virtual bool IsPostgres() const = 0;
    const std::string& Error() const { return m_error; }

protected:
    virtual bool Run(const std::string& sql, const std::vector<SqlValue>& params,
                     std::vector<SqlRow>* rows) = 0;
    std::string m_error;
};

// A SQLite file, made when missing; written durably (every commit on disk before it returns).
std::unique_ptr<SqlDb> OpenSqlite(const std::string& path, std::string* error);
// A PostgreSQL database by its URI (libpq's connection string).
std::unique_ptr<SqlDb> OpenPostgres(const std::string& uri, std::string* error);

}  // namespace kvara::tags
