// SPDX-License-Identifier: MIT
// The rows of a job, made from a CSV file or from a GS1 template (a scheme, its fields and a
// range of serials), checked whole before any tag is touched: a fault names its line.
//
// CSV: a header line naming the columns, then one line per tag. Columns: epc (hex), or gtin
// and serial (an SGTIN; optional filter, company_prefix_length and bits); user (hex, whole
// words), access, kill (4 bytes hex), lock ("AREA:ACTION;..."), pc (the PC word's second byte
// and toggle as the row wants them; default for a GS1 EPC: 00, toggle off). Excel's forms are
// read too: a byte order mark, ";" as the separator, CRLF line ends, quoted fields.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"
#include "tags/job.h"

namespace kvara::tags {

struct JobOptions {
    int filter = 0;               // for rows with a GTIN and no filter column, and templates
    int companyPrefixLength = 0;  // for rows with a GTIN and no company_prefix_length column
    bool permanent = false;       // lock actions that can never be undone are allowed
    // For every row (a CSV column overrides them):
    ByteBuffer user;
    ByteBuffer access;
    ByteBuffer kill;
    std::vector<std::pair<int, int>> locks;
    // A template: scheme, its fields and the serials FROM-TO.
    std::string scheme;  // sgtin-96, sgtin-198, sscc-96, sgln-96, sgln-195, grai-96, grai-170,
                         // giai-96, giai-202, gid-96
    std::string gtin;
    std::string companyPrefix;
    std::string reference;
    std::string serials;  // "FROM-TO"

    // The options that shape the rows, as one JSON text: a job made with others is another.
    std::string Json() const;
};

// Parses "AREA:ACTION;..." (kill, access, epc, tid, user; unlocked, permaunlocked, locked,
// permalocked); false with the reason.
bool ParseLocks(const std::string& text, bool permanentAllowed,
                std::vector<std::pair<int, int>>* locks, std::string* error);

// The rows of a CSV text; false with the reason ("line N: ...").
bool RowsFromCsv(const std::string& text, const JobOptions& options, std::vector<JobRow>* rows,
                 std::string* error);
// The rows of a template; false with the reason.
bool RowsFromTemplate(const JobOptions& options, std::vector<JobRow>* rows, std::string* error);

// The fields of one CSV line with the separator; false for a quote that is never closed.
bool SplitCsvLine(const std::string& line, char separator, std::vector<std::string>* fields);

// SHA-256 of a text, in hex: what a job made from a CSV file remembers of it.
std::string Sha256Hex(const std::string& text);

}  // namespace kvara::tags
