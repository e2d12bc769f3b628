// SPDX-License-Identifier: MIT
#include "tags/sql_db.h"

#include <libpq-fe.h>
#include <sqlite3.h>

namespace kvara::tags {

namespace {

class SqliteDb : public SqlDb {
public:
    explicit SqliteDb(sqlite3* db) : m_db(db) {}
    ~SqliteDb() override { sqlite3_close_v2(m_db); }

    bool Run(const std::string& sql, const std::vector<SqlValue>& params,
             std::vector<SqlRow>* rows) override {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            return Failed();
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            const std::string name = "$" + std::to_string(i + 1);
            const int at = sqlite3_bind_parameter_index(statement, name.c_str());
            if (at == 0) {
                continue;  // the statement does not use this one
            }
            const int bound =
                params[i] ? sqlite3_bind_text(statement, at, params[i]->c_str(),
                                              static_cast<int>(params[i]->size()), SQLITE_TRANSIENT)
                          : sqlite3_bind_null(statement, at);
            if (bound != SQLITE_OK) {
                sqlite3_finalize(statement);
                return Failed();
            }
        }
        for (;;) {
            const int step = sqlite3_step(statement);
            if (step == SQLITE_DONE) {
                break;
            }
            if (step != SQLITE_ROW) {
                sqlite3_finalize(statement);
                return Failed();
            }
            if (rows != nullptr) {
                SqlRow row;
                for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                    const auto* text = sqlite3_column_text(statement, c);
                    row.push_back(
                        text == nullptr
                            ? SqlValue()
                            : SqlValue(std::string(
                                  reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(statement, c)))));
                }
                rows->push_back(std::move(row));
            }
        }
        sqlite3_finalize(statement);
        return true;
    }

    bool BeginWrite() override { return Exec("BEGIN IMMEDIATE"); }
    bool IsPostgres() const override { return false; }

private:
    bool Failed() {
        m_error = sqlite3_errmsg(m_db);
        return false;
    }
    sqlite3* m_db;
};

class PostgresDb : public SqlDb {
public:
    explicit PostgresDb(PGconn* connection) : m_connection(connection) {}
    ~PostgresDb() override { PQfinish(m_connection); }

    bool Run(const std::string& sql, const std::vector<SqlValue>& params,
             std::vector<SqlRow>* rows) override {
        std::vector<const char*> values;
        for (const SqlValue& value : params) {
            values.push_back(value ? value->c_str() : nullptr);
        }
        PGresult* result = PQexecParams(m_connection, sql.c_str(), static_cast<int>(values.size()),
                                        nullptr, values.data(), nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            m_error = PQresultErrorMessage(result);
            while (!m_error.empty() && m_error.back() == '\n') {
                m_error.pop_back();
            }
            PQclear(result);
            return false;
        }
        if (rows != nullptr) {
            for (int r = 0; r < PQntuples(result); ++r) {
                SqlRow row;
                for (int c = 0; c < PQnfields(result); ++c) {
                    row.push_back(PQgetisnull(result, r, c) != 0
                                      ? SqlValue()
                                      : SqlValue(std::string(
                                            PQgetvalue(result, r, c),
                                            static_cast<std::size_t>(PQgetlength(result, r, c)))));
                }
                rows->push_back(std::move(row));
            }
        }
        PQclear(result);
        return true;
    }

    bool BeginWrite() override { return Exec("BEGIN"); }
    bool IsPostgres() const override { return true; }

private:
    PGconn* m_connection;
};

}  // namespace

std::unique_ptr<SqlDb> OpenSqlite(const std::string& path, std::string* error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "no memory");
        sqlite3_close_v2(db);
        return nullptr;
    }
    // Another station holding the write lock is waited for, not failed.
    sqlite3_busy_timeout(db, 30000);
    auto store = std::make_unique<SqliteDb>(db);
    // Write-ahead log, and every commit synced to disk before it returns.
    if (!store->Exec("PRAGMA journal_mode=WAL") || !store->Exec("PRAGMA synchronous=FULL")) {
        *error = "cannot open " + path + ": " + store->Error();
        return nullptr;
    }
    return store;
}

std::unique_ptr<SqlDb> OpenPostgres(const std::string& uri, std::string* error) {
    // A server that does not answer is given up after ten seconds unless the URI says
    // otherwise (its own connect_timeout comes later and wins).
    const char* const keys[] = {"connect_timeout", "dbname", nullptr};
    const char* const values[] = {"10", uri.c_str(), nullptr};
    PGconn* connection = PQconnectdbParams(keys, values, 1);
    if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) {
        std::string why = connection != nullptr ? PQerrorMessage(connection) : "no memory";
        while (!why.empty() && why.back() == '\n') {
            why.pop_back();
        }
        *error = "cannot connect to the database: " + why;
        PQfinish(connection);
        return nullptr;
    }
    // The server's notices ("relation ... already exists, skipping") are no news to a user.
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    return std::make_unique<PostgresDb>(connection);
}

}  // namespace kvara::tags
