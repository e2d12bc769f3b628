// SPDX-License-Identifier: MIT
// Encoding tags in series from a CSV file: one row per tag, each written, proven by reading
// back, locked if asked, and logged as a JSON line; a run that was interrupted resumes from its
// log.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/reader_session.h"

namespace kvara::cli {

// One row of the CSV file, checked and turned into what goes onto the tag.
struct EncodeRow {
    int number = 0;  // 1 for the first row after the header
    ByteBuffer epc;
    ByteBuffer user;
    ByteBuffer access;
    ByteBuffer kill;
    std::vector<std::pair<int, int>> locks;  // (area, action)
};

struct EncodeOptions {
    std::string csvPath;
    std::string logPath;
    int filter = 0;               // for rows with a GTIN and no filter column
    int companyPrefixLength = 0;  // for rows with a GTIN and no company_prefix_length column
    bool permanent = false;       // permanent lock actions allowed
    int maxRows = 0;              // stop after this many newly encoded rows (0: no limit)
    int waitMs = 30000;           // how long to wait for the next tag
    int pollMs = 20;              // pause between inventories while waiting
    bool progress = true;         // progress on the terminal
};

struct EncodeSummary {
    int rows = 0;
    int encoded = 0;
    int skipped = 0;  // done before, by the log
};

// Reads and checks every row of the CSV text; a failure names the row.
std::optional<Failure> ReadEncodeRows(const std::string& csv, const EncodeOptions& options,
                                      std::vector<EncodeRow>* rows);

// Runs the encoding. stop() is asked between rows (an interruption ends the run there).
std::optional<Failure> RunEncode(ReaderSession& reader, const EncodeOptions& options,
                                 const std::function<bool()>& stop, EncodeSummary* summary);

// Fields of a CSV line (comma separated, double quotes around a field that holds commas).
std::vector<std::string> SplitCsvLine(const std::string& line);

}  // namespace kvara::cli
