// SPDX-License-Identifier: MIT
// What kvara encode and kvara job share: opening a job's store, the job options of the command
// line, the station's name, and a run of the encoder with its progress and summary.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/reader_options.h"
#include "tags/encoder.h"
#include "tags/job_source.h"

namespace kvara::cli {

// The options that shape a job's rows.
struct JobRowOptions {
    std::string csvPath;
    int filter = 0;
    int companyPrefixLength = 0;
    bool permanent = false;
    std::string user;
    std::string access;
    std::string kill;
    std::string locks;
    std::string scheme;
    std::string gtin;
    std::string companyPrefix;
    std::string reference;
    std::string serials;

    void AddCsvOptions(CLI::App& verb);  // --csv, --filter, --company-prefix-length, --permanent
    void AddTemplateOptions(CLI::App& verb);  // --scheme, --gtin, ..., --serials, row data
    // The definition and rows of a job named name; a usage failure says what is wrong.
    std::optional<Failure> Make(const std::string& name, tags::JobDefinition* definition,
                                std::vector<tags::JobRow>* rows) const;
};

// The job store a --store option names.
std::unique_ptr<tags::JobStore> OpenStore(const std::string& location, Failure* failure);
// This machine's name, for a station that was given none.
std::string DefaultStation();

// Runs the encoder until it stops; prints each tag (JSON lines) or the progress, and the
// summary; the exit code of the way it ended.
int RunEncoder(const Global& global, tags::Encoder& encoder, tags::JobStore& store,
               const std::string& job, int maxRows);

}  // namespace kvara::cli
