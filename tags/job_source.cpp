// SPDX-License-Identifier: MIT
#include "tags/job_source.h"

#include <sodium.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/hex.h"
#include "common/text.h"
#include "protocol/gs1.h"
#include "protocol/tag_memory.h"
#include "tags/tag_session.h"

namespace kvara::tags {

namespace {

constexpr const char* kColumns[] = {"epc",  "gtin", "serial", "filter", "company_prefix_length",
                                    "bits", "user", "access", "kill",   "lock",
                                    "pc"};

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A whole number in [low, high] and nothing else ("7abc" and "POS" are not numbers).
bool Number(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    *value = std::stoi(text);
    return *value >= low && *value <= high;
}

struct CsvRecord {
    int line = 0;  // the file's line the record starts on
    std::vector<std::string> fields;
};

// The records of a CSV text: quoted fields may hold the separator, quotes ("") and line
// breaks; CR before LF is dropped.
bool ReadRecords(const std::string& text, char separator, std::vector<CsvRecord>* records,
                 std::string* error) {
    CsvRecord record;
    std::string field;
    bool quoted = false;
    bool any = false;
    int line = 1;
    record.line = 1;
    auto endRecord = [&] {
        record.fields.push_back(Trim(field));
        field.clear();
        const bool blank = record.fields.size() == 1 && record.fields[0].empty() && !any;
        if (!blank) {
            records->push_back(record);
        }
        record = CsvRecord{};
        any = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') {
                    ++line;
                }
                field += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            any = true;
        } else if (c == separator) {
            record.fields.push_back(Trim(field));
            field.clear();
            any = true;
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        } else if (c == '\n') {
            endRecord();
            record.line = ++line;
        } else {
            field += c;
        }
    }
    if (quoted) {
        *error = "line " + std::to_string(record.line) + ": a quote is opened and never closed";
        return false;
    }
    if (!field.empty() || !record.fields.empty() || any) {
        endRecord();
    }
    return true;
}

// The GS1 key a row's EPC names (GTIN and serial, SSCC, ...); empty for an EPC of no scheme.
std::string Gs1KeyOf(const ByteBuffer& epc) {
    const auto decoded = gs1::Decode(epc);
    return decoded ? decoded.value->ElementString() : std::string();
}

// A GS1 EPC is written with the toggle off and the attribute bits cleared (a tag with the
// toggle on reads as an ISO UII, not as the GS1 item); another EPC keeps the tag's (no pc).
void SetPc(JobRow* row, const std::string& pcText) {
    const auto words = static_cast<std::uint8_t>(row->epc.size() / 2 << 3);
    ByteBuffer given;
    if (!pcText.empty() && ParseHexPairs(pcText, " ", &given) && given.size() == 2) {
        row->pc = {static_cast<std::uint8_t>(words | (given[0] & kPcToggleBit)), given[1]};
    } else if (!row->gs1Key.empty()) {
        row->pc = {words, 0};
    }
}

bool HexWords(const std::string& text, ByteBuffer* bytes) {
    return ParseHexPairs(text, " :-", bytes) && bytes->size() % 2 == 0;
}

bool PasswordText(const std::string& text, ByteBuffer* bytes) {
    return text.empty() ? (bytes->clear(), true)
                        : ParseHexPairs(text, " :-", bytes) && bytes->size() == kPasswordBytes;
}

}  // namespace

std::string JobOptions::Json() const {
    nlohmann::json json = {{"filter", filter},
                           {"company_prefix_length", companyPrefixLength},
                           {"permanent", permanent}};
    PutTagData(&json, user, access, kill, locks);
    for (const auto& [name, value] : {std::pair{"scheme", scheme},
                                      {"gtin", gtin},
                                      {"company_prefix", companyPrefix},
                                      {"reference", reference},
                                      {"serials", serials}}) {
        if (!value.empty()) {
            json[name] = value;
        }
    }
    return json.dump();
}

bool ParseLocks(const std::string& text, bool permanentAllowed,
                std::vector<std::pair<int, int>>* locks, std::string* error) {
    locks->clear();
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
            *error = "lock \"" + pair +
                     "\" is not AREA:ACTION (areas kill, access, epc, tid, user; actions unlocked, "
                     "permaunlocked, locked, permalocked)";
            return false;
        }
        if (IsPermanentAction(*action) && !permanentAllowed) {
            *error = "lock \"" + pair + "\" can never be undone on the tag; it needs --permanent";
            return false;
        }
        locks->emplace_back(*area, *action);
    }
    return true;
}

bool SplitCsvLine(const std::string& line, char separator, std::vector<std::string>* fields) {
    std::vector<CsvRecord> records;
    std::string error;
    if (!ReadRecords(line, separator, &records, &error)) {
        return false;
    }
    *fields = records.empty() ? std::vector<std::string>{""} : records.front().fields;
    return true;
}

namespace {

using Columns = std::map<std::string, std::size_t>;

// The header line's columns by name; an unknown or miswritten name is refused with a hint.
bool ColumnsOf(const CsvRecord& header, Columns* column, std::string* error) {
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const std::string& name = header.fields[i];
        const auto known = std::find_if(std::begin(kColumns), std::end(kColumns),
                                        [&](const char* c) { return EqualsIgnoringCase(c, name); });
        if (known == std::end(kColumns) || *known != name) {
            *error =
                "line 1: unknown column \"" + name + "\"" +
                (known != std::end(kColumns) ? " (did you mean \"" + std::string(*known) + "\"?)"
                                             : std::string()) +
                "; the columns are epc or gtin and serial, filter, company_prefix_length, "
                "bits, user, access, kill, lock, pc";
            return false;
        }
        (*column)[name] = i;
    }
    if (column->count("epc") == 0 && (column->count("gtin") == 0 || column->count("serial") == 0)) {
        *error = "line 1: the CSV needs an epc column, or gtin and serial columns";
        return false;
    }
    return true;
}

// One CSV record's fields by column name.
class Fields {
public:
    Fields(const CsvRecord& record, const Columns& column) : m_record(record), m_column(column) {}
    std::string operator()(const char* name) const {
        const auto it = m_column.find(name);
        return it == m_column.end() || it->second >= m_record.fields.size()
                   ? std::string()
                   : m_record.fields[it->second];
    }

private:
    const CsvRecord& m_record;
    const Columns& m_column;
};

// The row's EPC: given in hex, or made from its GTIN and serial.
bool EpcOfRecord(const Fields& get, const JobOptions& options, ByteBuffer* epc, std::string* why) {
    if (!get("epc").empty()) {
        if (!HexWords(get("epc"), epc) || epc->empty() ||
            static_cast<int>(epc->size()) > kMaxEpcBytes) {
            *why = "EPC \"" + get("epc") + "\" is not 2 to 62 bytes of hex in whole words";
            return false;
        }
        return true;
    }
    int filter = options.filter;
    int length = options.companyPrefixLength;
    int bits = 0;
    if (!get("filter").empty() && !Number(get("filter"), 0, 7, &filter)) {
        *why = "filter \"" + get("filter") + "\" is not a number from 0 to 7";
        return false;
    }
    if (!get("company_prefix_length").empty() &&
        !Number(get("company_prefix_length"), 6, 12, &length)) {
        *why = "company_prefix_length \"" + get("company_prefix_length") +
               "\" is not a number from 6 to 12";
        return false;
    }
    if (!get("bits").empty() &&
        (!Number(get("bits"), 96, 198, &bits) || (bits != 96 && bits != 198))) {
        *why = "bits \"" + get("bits") + "\" is not 96 or 198";
        return false;
    }
    const auto sgtin = gs1::SgtinFromGtin(get("gtin"), length, filter, get("serial"), bits);
    if (!sgtin) {
        *why = sgtin.error;
        return false;
    }
    *epc = *gs1::Encode(*sgtin.value).value;
    return true;
}

// A lock "by password" with no access password protects nothing (a tag whose access password
// is zero lets anyone in): such a row is refused before any tag is touched.
bool LockHasItsPassword(const JobRow& row, std::string* why) {
    const bool locks = std::any_of(row.locks.begin(), row.locks.end(),
                                   [](const auto& lock) { return lock.second == 2; });
    if (locks && (row.access.empty() || row.access == ByteBuffer(kPasswordBytes, 0))) {
        *why = "a lock by password needs an access password (column access) other than 00000000";
        return false;
    }
    return true;
}

// User memory, passwords and locks: the row's own where it has them, else the job's.
bool ExtrasOfRecord(const Fields& get, const JobOptions& options, JobRow* row, std::string* why) {
    row->user = options.user;
    row->access = options.access;
    row->kill = options.kill;
    row->locks = options.locks;
    if (!get("user").empty() && !HexWords(get("user"), &row->user)) {
        *why = "User data \"" + get("user") + "\" is not hex in whole words";
        return false;
    }
    if (!get("access").empty() && !PasswordText(get("access"), &row->access)) {
        *why = "the access password is not 4 bytes of hex";
        return false;
    }
    if (!get("kill").empty() && !PasswordText(get("kill"), &row->kill)) {
        *why = "the kill password is not 4 bytes of hex";
        return false;
    }
    if (!get("lock").empty() && !ParseLocks(get("lock"), options.permanent, &row->locks, why)) {
        return false;
    }
    return LockHasItsPassword(*row, why);
}

}  // namespace

bool RowsFromCsv(const std::string& input, const JobOptions& options, std::vector<JobRow>* rows,
                 std::string* error) {
    std::string text = input;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);  // Excel's byte order mark
    }
    // German Excel separates with ";": the header line says which.
    const std::string header = text.substr(0, text.find('\n'));
    const char separator =
        header.find(';') != std::string::npos && header.find(',') == std::string::npos ? ';' : ',';
    std::vector<CsvRecord> records;
    if (!ReadRecords(text, separator, &records, error)) {
        return false;
    }
    if (records.empty()) {
        *error = "the CSV file is empty";
        return false;
    }
    Columns column;
    if (!ColumnsOf(records[0], &column, error)) {
        return false;
    }
    rows->clear();
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Fields get(records[r], column);
        JobRow row;
        row.index = static_cast<int>(rows->size()) + 1;
        row.serial =
            get("serial").empty() ? "line " + std::to_string(records[r].line) : get("serial");
        std::string why;
        if (!EpcOfRecord(get, options, &row.epc, &why) ||
            !ExtrasOfRecord(get, options, &row, &why)) {
            *error = "line " + std::to_string(records[r].line) + ": " + why;
            return false;
        }
        row.gs1Key = Gs1KeyOf(row.epc);
        SetPc(&row, get("pc"));
        rows->push_back(std::move(row));
    }
    if (rows->empty()) {
        *error = "the CSV file has a header but no rows";
        return false;
    }
    const std::string duplicate = DuplicateRows(*rows);
    if (!duplicate.empty()) {
        *error = duplicate;
        return false;
    }
    return true;
}

namespace {

// "FROM-TO": two numbers of at most 18 digits, FROM not above TO, at most ten million rows.
bool SerialRange(const std::string& serials, std::uint64_t* from, std::uint64_t* to) {
    const std::size_t dash = serials.find('-');
    const std::string fromText = serials.substr(0, dash);
    const std::string toText = dash == std::string::npos ? "" : serials.substr(dash + 1);
    auto number = [](const std::string& text) {
        return !text.empty() && text.size() <= 18 &&
               std::all_of(text.begin(), text.end(), ::isdigit);
    };
    if (!number(fromText) || !number(toText)) {
        return false;
    }
    *from = std::stoull(fromText);
    *to = std::stoull(toText);
    return *to >= *from && *to - *from < 10000000;
}

}  // namespace

bool RowsFromTemplate(const JobOptions& options, std::vector<JobRow>* rows, std::string* error) {
    const auto scheme = gs1::SchemeNamed(options.scheme);
    if (!scheme) {
        *error = "no scheme \"" + options.scheme + "\"";
        return false;
    }
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    if (!SerialRange(options.serials, &from, &to)) {
        *error = "serials \"" + options.serials + "\" is not FROM-TO (at most ten million)";
        return false;
    }
    rows->clear();
    for (std::uint64_t serial = from; serial <= to; ++serial) {
        gs1::Result<gs1::Epc> fields;
        const std::string number = std::to_string(serial);
        if (*scheme == gs1::Scheme::kSgtin96 || *scheme == gs1::Scheme::kSgtin198) {
            fields = gs1::SgtinFromGtin(options.gtin, options.companyPrefixLength, options.filter,
                                        number, gs1::SchemeBits(*scheme));
        } else {
            gs1::Epc epc;
            epc.scheme = *scheme;
            epc.filter = options.filter;
            epc.companyPrefix = options.companyPrefix;
            epc.partition = 12 - static_cast<int>(options.companyPrefix.size());
            // Schemes without a serial field count up in their reference.
            const bool serialInReference = *scheme == gs1::Scheme::kSscc96 ||
                                           *scheme == gs1::Scheme::kGiai96 ||
                                           *scheme == gs1::Scheme::kGiai202;
            epc.reference = serialInReference ? options.reference + number : options.reference;
            epc.serial = serialInReference ? std::string() : number;
            fields = gs1::Result<gs1::Epc>{epc, {}, {}};
        }
        const auto encoded =
            fields ? gs1::Encode(*fields.value) : gs1::Result<ByteBuffer>::Fail(fields.reason);
        if (!encoded) {
            *error = "serial " + number + ": " + encoded.error;
            return false;
        }
        JobRow row;
        row.index = static_cast<int>(rows->size()) + 1;
        row.serial = number;
        row.epc = *encoded.value;
        row.gs1Key = Gs1KeyOf(row.epc);
        SetPc(&row, "");
        row.user = options.user;
        row.access = options.access;
        row.kill = options.kill;
        row.locks = options.locks;
        if (!LockHasItsPassword(row, error)) {
            return false;
        }
        rows->push_back(std::move(row));
    }
    return true;
}

std::string Sha256Hex(const std::string& text) {
    unsigned char digest[crypto_hash_sha256_BYTES] = {};
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return HexPairs(digest, sizeof digest);
}

}  // namespace kvara::tags
