// SPDX-License-Identifier: MIT
#include "tags/job.h"

#include <chrono>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>

#include "common/hex.h"

namespace kvara::tags {

namespace {

constexpr const char* kStateNames[] = {"open",   "reserved",  "written",
                                       "failed", "uncertain", "rejected"};

bool HexField(const nlohmann::json& json, const char* name, ByteBuffer* bytes) {
    bytes->clear();
    if (!json.contains(name)) {
        return true;
    }
    return json[name].is_string() && ParseHexPairs(json[name].get<std::string>(), "", bytes);
}

// A CSV field: quoted when it holds the separator, a quote or a line break.
std::string CsvField(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (char c : field) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

}  // namespace

const char* RowStateName(RowState state) {
    return kStateNames[static_cast<int>(state)];
}

std::optional<RowState> RowStateNamed(const std::string& name) {
    for (int i = 0; i < 6; ++i) {
        if (name == kStateNames[i]) {
            return static_cast<RowState>(i);
        }
    }
    return std::nullopt;
}

void PutTagData(nlohmann::json* json, const ByteBuffer& user, const ByteBuffer& access,
                const ByteBuffer& kill, const std::vector<std::pair<int, int>>& locks) {
    for (const auto& [name, bytes] :
         {std::pair{"user", &user}, {"access", &access}, {"kill", &kill}}) {
        if (!bytes->empty()) {
            (*json)[name] = HexPairs(*bytes);
        }
    }
    if (!locks.empty()) {
        (*json)["locks"] = locks;
    }
}

std::string JobRow::DataJson() const {
    nlohmann::json json = {{"pc", HexPairs(pc)}};
    PutTagData(&json, user, access, kill, locks);
    return json.dump();
}

bool JobRow::ReadDataJson(const std::string& text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !HexField(json, "pc", &pc) ||
        !HexField(json, "user", &user) || !HexField(json, "access", &access) ||
        !HexField(json, "kill", &kill)) {
        return false;
    }
    locks.clear();
    if (json.contains("locks")) {
        if (!json["locks"].is_array()) {
            return false;
        }
        for (const auto& lock : json["locks"]) {
            if (!lock.is_array() || lock.size() != 2 || !lock[0].is_number_integer() ||
                !lock[1].is_number_integer()) {
                return false;
            }
            locks.emplace_back(lock[0].get<int>(), lock[1].get<int>());
        }
    }
    return true;
}

std::string DuplicateRows(const std::vector<JobRow>& rows) {
    std::map<ByteBuffer, const JobRow*> byEpc;
    std::map<std::string, const JobRow*> byKey;
    for (const JobRow& row : rows) {
        if (const auto [at, fresh] = byEpc.emplace(row.epc, &row); !fresh) {
            return "rows " + at->second->serial + " and " + row.serial + " have the same EPC " +
                   HexPairs(row.epc);
        }
        if (row.gs1Key.empty()) {
            continue;
        }
        if (const auto [at, fresh] = byKey.emplace(row.gs1Key, &row); !fresh) {
            return "rows " + at->second->serial + " and " + row.serial + " name the same item " +
                   row.gs1Key;
        }
    }
    return {};
}

std::string ReportCsv(const std::vector<RowRecord>& rows) {
    std::string csv = "serial,epc,tid,state,station,time,detail\n";
    for (const RowRecord& row : rows) {
        csv += CsvField(row.row.serial) + "," + HexPairs(row.row.epc) + "," + HexPairs(row.tid) +
               "," + RowStateName(row.state) + "," + CsvField(row.station) + "," +
               CsvField(row.time) + "," + CsvField(row.detail) + "\n";
    }
    return csv;
}

std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char out[48] = {};
    std::snprintf(out, sizeof out, "%s.%03dZ", text, static_cast<int>(ms.count()));
    return out;
}

}  // namespace kvara::tags
