// SPDX-License-Identifier: MIT
#include "cli/encode.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/tag_ops.h"
#include "protocol/gs1.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    const std::size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Failure RowFailure(int row, int exitCode, const std::string& what) {
    return Failure{exitCode, "row " + std::to_string(row) + ": " + what};
}

std::optional<Failure> Password(const std::string& text, int row, const char* what,
                                ByteBuffer* bytes) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (!ParseHexText(text, bytes) || bytes->size() != 4) {
        return RowFailure(row, kUsage, std::string(what) + " password must be 4 bytes in hex");
    }
    return std::nullopt;
}

std::optional<Failure> Locks(const std::string& text, int row, bool permanent, EncodeRow* out) {
    std::stringstream pairs(text);
    std::string pair;
    while (std::getline(pairs, pair, ';')) {
        pair = Trim(pair);
        if (pair.empty()) {
            continue;
        }
        const std::size_t colon = pair.find(':');
        const auto area =
            colon == std::string::npos ? std::nullopt : AreaNamed(pair.substr(0, colon));
        const auto action =
            colon == std::string::npos ? std::nullopt : ActionNamed(pair.substr(colon + 1));
        if (!area || !action) {
            return RowFailure(row, kUsage, "lock \"" + pair + "\" is not AREA:ACTION");
        }
        if (IsPermanentAction(*action) && !permanent) {
            return RowFailure(row, kRefused,
                              "lock \"" + pair + "\" cannot be undone; it needs --permanent");
        }
        out->locks.emplace_back(*area, *action);
    }
    return std::nullopt;
}

// The log's rows that were done: their EPCs.
std::set<ByteBuffer> DoneByLog(const std::string& path) {
    std::set<ByteBuffer> done;
    std::ifstream log(path);
    std::string line;
    while (std::getline(log, line)) {
        const auto entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded() || !entry.is_object() || entry.value("result", "") != "ok") {
            continue;  // a line cut off by an interruption, or a row that failed
        }
        ByteBuffer epc;
        if (ParseHexText(entry.value("new_epc", ""), &epc)) {
            done.insert(epc);
        }
    }
    return done;
}

// Appends a line and makes sure it is on disk before the next tag is touched.
bool AppendLog(const std::string& path, const nlohmann::json& entry) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const std::string line = entry.dump() + "\n";
    const bool written =
        write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && fsync(fd) == 0;
    close(fd);
    return written;
}

// Waits for exactly one tag in the field that this run (and its log) has not written. More
// than one tag at once is refused: a write could reach the wrong one.
std::optional<Failure> WaitForNewTag(ReaderSession& reader, const std::set<ByteBuffer>& done,
                                     const EncodeOptions& options,
                                     const std::function<bool()>& stop, ByteBuffer* epc) {
    const auto end = Clock::now() + std::chrono::milliseconds(options.waitMs);
    for (;;) {
        std::vector<ReaderSession::Seen> tags;
        if (reader.Inventory(&tags)) {
            if (tags.size() > 1) {
                std::string list;
                for (const auto& tag : tags) {
                    list += " " + HexText(tag.epc);
                }
                return Failure{kRefused, std::to_string(tags.size()) +
                                             " tags in the field at once (" + Trim(list) +
                                             "); nothing written"};
            }
            if (tags.size() == 1 && done.count(tags.front().epc) == 0) {
                *epc = tags.front().epc;
                return std::nullopt;
            }
        }
        if (stop() || Clock::now() >= end) {
            return Failure{kReaderError, "no new tag came within " +
                                             std::to_string(options.waitMs / 1000) + " s"};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(options.pollMs));
    }
}

// Writes one tag: EPC (proven), User memory, passwords, locks; the steps' results go into the
// log entry. A failed step ends the row.
bool EncodeTag(ReaderSession& reader, const EncodeRow& row, const ByteBuffer& oldEpc,
               nlohmann::json& steps, std::string* error) {
    const int handle = reader.Handle();
    if (auto failure = WriteEpc(reader, oldEpc, row.epc, {})) {
        steps["epc"] = failure->message;
        *error = failure->message;
        return false;
    }
    steps["epc"] = "ok";
    // The proof of the EPC write left the tag selected by its new EPC.
    auto step = [&](const char* name, const std::function<bool()>& work) {
        if (!work()) {
            steps[name] = reader.LastError();
            *error = std::string(name) + ": " + reader.LastError();
            return false;
        }
        steps[name] = "ok";
        return true;
    };
    if (!row.user.empty() && !step("user", [&] {
            return KvaraWriteBank(handle, KVARA_BANK_USER, 0, row.user.data(),
                                  static_cast<int>(row.user.size())) == 0;
        })) {
        return false;
    }
    if (!row.kill.empty() && !step("kill", [&] {
            return KvaraWriteBank(handle, KVARA_BANK_RESERVED, 0, row.kill.data(), 4) == 0;
        })) {
        return false;
    }
    if (!row.access.empty() && !step("access", [&] {
            return KvaraWriteBank(handle, KVARA_BANK_RESERVED, 2, row.access.data(), 4) == 0;
        })) {
        return false;
    }
    const ByteBuffer password = row.access.empty() ? ByteBuffer(4, 0) : row.access;
    for (const auto& [area, action] : row.locks) {
        const std::string name = "lock_" + std::to_string(area);
        if (!step(name.c_str(), [&, area = area, action = action] {
                return KvaraLock(handle, area, action, password.data()) == 0;
            })) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(Trim(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(Trim(field));
    return fields;
}

std::optional<Failure> ReadEncodeRows(const std::string& csv, const EncodeOptions& options,
                                      std::vector<EncodeRow>* rows) {
    std::stringstream lines(csv);
    std::string line;
    std::map<std::string, std::size_t> column;
    bool header = true;
    int number = 0;
    std::set<ByteBuffer> seen;
    while (std::getline(lines, line)) {
        if (Trim(line).empty()) {
            continue;
        }
        const auto fields = SplitCsvLine(line);
        if (header) {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                column[fields[i]] = i;
            }
            if (column.count("epc") == 0 &&
                (column.count("gtin") == 0 || column.count("serial") == 0)) {
                return Failure{kUsage,
                               "the CSV header needs an epc column, or gtin and serial columns"};
            }
            header = false;
            continue;
        }
        ++number;
        auto get = [&](const char* name) {
            const auto it = column.find(name);
            return it == column.end() || it->second >= fields.size() ? std::string()
                                                                     : fields[it->second];
        };
        EncodeRow row;
        row.number = number;
        if (!get("epc").empty()) {
            if (!ParseHexText(get("epc"), &row.epc) || row.epc.empty() || row.epc.size() % 2 != 0 ||
                row.epc.size() > 62) {
                return RowFailure(
                    number, kUsage,
                    "EPC \"" + get("epc") + "\" is not 2 to 62 bytes of hex in whole words");
            }
        } else {
            const std::string filterText = get("filter");
            const std::string lengthText = get("company_prefix_length");
            const int filter = filterText.empty() ? options.filter : std::atoi(filterText.c_str());
            const int length =
                lengthText.empty() ? options.companyPrefixLength : std::atoi(lengthText.c_str());
            const auto epc = gs1::SgtinFromGtin(get("gtin"), length, filter, get("serial"));
            if (!epc) {
                return RowFailure(number, kUsage, epc.error);
            }
            row.epc = *gs1::Encode(*epc.value).value;
        }
        if (!seen.insert(row.epc).second) {
            return RowFailure(number, kRefused,
                              "EPC " + HexText(row.epc) +
                                  " stands in an earlier row too; an EPC is never written twice");
        }
        if (!get("user").empty() &&
            (!ParseHexText(get("user"), &row.user) || row.user.size() % 2 != 0)) {
            return RowFailure(number, kUsage, "User data must be hex in whole words");
        }
        if (auto failure = Password(get("access"), number, "access", &row.access)) {
            return failure;
        }
        if (auto failure = Password(get("kill"), number, "kill", &row.kill)) {
            return failure;
        }
        if (auto failure = Locks(get("lock"), number, options.permanent, &row)) {
            return failure;
        }
        rows->push_back(std::move(row));
    }
    if (header) {
        return Failure{kUsage, "the CSV file is empty"};
    }
    return std::nullopt;
}

std::optional<Failure> RunEncode(ReaderSession& reader, const EncodeOptions& options,
                                 const std::function<bool()>& stop, EncodeSummary* summary) {
    std::ifstream file(options.csvPath);
    if (!file) {
        return Failure{kUsage, "cannot read " + options.csvPath};
    }
    std::stringstream csv;
    csv << file.rdbuf();
    std::vector<EncodeRow> rows;
    if (auto failure = ReadEncodeRows(csv.str(), options, &rows)) {
        return failure;
    }
    std::set<ByteBuffer> done = DoneByLog(options.logPath);
    summary->rows = static_cast<int>(rows.size());
    const bool terminal = options.progress && isatty(STDOUT_FILENO) != 0;
    const auto start = Clock::now();
    for (const EncodeRow& row : rows) {
        if (done.count(row.epc) != 0) {
            ++summary->skipped;  // written in an earlier run
            continue;
        }
        if (options.maxRows > 0 && summary->encoded >= options.maxRows) {
            break;  // as many as asked for: a planned end, not a failure
        }
        if (stop()) {
            return Failure{kReaderError, "stopped before row " + std::to_string(row.number) +
                                             "; run again to go on"};
        }
        ByteBuffer oldEpc;
        if (auto failure = WaitForNewTag(reader, done, options, stop, &oldEpc)) {
            failure->message = "row " + std::to_string(row.number) + ": " + failure->message;
            return failure;
        }
        nlohmann::json steps = nlohmann::json::object();
        std::string error;
        const ByteBuffer tid = ReadTid(reader, oldEpc);
        const bool ok = EncodeTag(reader, row, oldEpc, steps, &error);
        nlohmann::json entry = {{"time", Now()},
                                {"row", row.number},
                                {"tid", HexText(tid)},
                                {"old_epc", HexText(oldEpc)},
                                {"new_epc", HexText(row.epc)},
                                {"steps", steps},
                                {"result", ok ? "ok" : "failed"}};
        if (!AppendLog(options.logPath, entry)) {
            return Failure{kReaderError, "cannot write the log " + options.logPath};
        }
        if (!ok) {
            return Failure{kReaderError, "row " + std::to_string(row.number) + ": " + error};
        }
        done.insert(row.epc);
        ++summary->encoded;
        if (options.progress) {
            const double minutes =
                std::chrono::duration<double>(Clock::now() - start).count() / 60.0;
            const int finished = summary->encoded + summary->skipped;
            std::printf(terminal ? "\r%d/%d rows, %.1f tags/min, last %s OK   "
                                 : "row %d/%d, %.1f tags/min, %s OK\n",
                        finished, summary->rows, minutes > 0 ? summary->encoded / minutes : 0.0,
                        HexText(row.epc).c_str());
            std::fflush(stdout);
        }
    }
    if (terminal) {
        std::printf("\n");
    }
    return std::nullopt;
}

}  // namespace kvara::cli
