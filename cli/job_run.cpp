// SPDX-License-Identifier: MIT
#include "cli/job_run.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tags/outcome.h"

#ifndef KVARA_CLI_VERSION
#define KVARA_CLI_VERSION "0"
#endif

namespace kvara::cli {

namespace {

using Clock = std::chrono::steady_clock;

const char* EndingName(tags::TagEnding ending) {
    switch (ending) {
        case tags::TagEnding::kWritten:
            return "written";
        case tags::TagEnding::kSettled:
            return "settled";
        case tags::TagEnding::kRejected:
            return "rejected";
        case tags::TagEnding::kFailed:
            return "failed";
        case tags::TagEnding::kUncertain:
            return "uncertain";
    }
    return "";
}

struct Tally {
    int written = 0;
    int settled = 0;
    int rejected = 0;
    int failed = 0;
    int uncertain = 0;
    void Count(tags::TagEnding ending) {
        int* counts[] = {&written, &settled, &rejected, &failed, &uncertain};
        ++*counts[static_cast<int>(ending)];
    }
};

// The exit code and words of the way a run ended.
std::pair<int, std::string> Ending(tags::StopReason reason, const std::string& detail,
                                   const std::optional<tags::TagReport>& last) {
    switch (reason) {
        case tags::StopReason::kNone:
        case tags::StopReason::kJobDone:
            return {kOk, "the job is done"};
        case tags::StopReason::kRequested:
            return {kStopped, "stopped on request; run again to go on"};
        case tags::StopReason::kNoTag:
            return {kNoTag, detail};
        case tags::StopReason::kTwoTags:
            return {kRefused, detail + "; nothing written"};
        case tags::StopReason::kTagProblem: {
            const std::string why = last ? HexText(last->epc) + ": " + last->detail : detail;
            const bool duplicate =
                last && last->detail.find("already carries") != std::string::npos;
            return {duplicate ? kRefused : kReaderError,
                    "stopped at tag " + why + " (--on-error skip goes on with the next tag)"};
        }
        case tags::StopReason::kReaderError:
            return {kReaderError, "the reader failed: " + detail};
        case tags::StopReason::kStoreError:
            return {kStoreError, "the journal could not record: " + detail};
    }
    return {kReaderError, detail};
}

}  // namespace

void JobRowOptions::AddCsvOptions(CLI::App& verb) {
    verb.add_option("--filter", filter, "filter value for rows with a GTIN")
        ->check(CLI::Range(0, 7))
        ->capture_default_str();
    verb.add_option("--company-prefix-length", companyPrefixLength, "for rows with a GTIN")
        ->check(CLI::Range(6, 12));
    verb.add_flag("--permanent", permanent, "allow lock actions that can never be undone");
}

void JobRowOptions::AddTemplateOptions(CLI::App& verb) {
    verb.add_option("--scheme", scheme,
                    "sgtin-96, sgtin-198, sscc-96, sgln-96, sgln-195, grai-96, grai-170, giai-96, "
                    "giai-202, gid-96");
    verb.add_option("--gtin", gtin, "the GTIN of an SGTIN");
    verb.add_option("--company-prefix", companyPrefix, "the company prefix of other schemes");
    verb.add_option("--reference", reference, "the reference of other schemes");
    verb.add_option("--serials", serials, "FROM-TO");
    verb.add_option("--user", user, "User memory for every tag (hex)");
    verb.add_option("--access", access, "access password for every tag (4 bytes hex)");
    verb.add_option("--kill", kill, "kill password for every tag (4 bytes hex)");
    verb.add_option("--lock", locks, "lock actions for every tag: \"AREA:ACTION;...\"");
}

std::optional<Failure> JobRowOptions::Make(const std::string& name, tags::JobDefinition* definition,
                                           std::vector<tags::JobRow>* rows) const {
    tags::JobOptions options;
    options.filter = filter;
    options.companyPrefixLength = companyPrefixLength;
    options.permanent = permanent;
    if (!ParseHexText(user, &options.user) || options.user.size() % 2 != 0) {
        return Failure{kUsage, "--user must be hex in whole words"};
    }
    if (auto failure = PasswordArgument(access, &options.access)) {
        return failure;
    }
    if (auto failure = PasswordArgument(kill, &options.kill)) {
        return failure;
    }
    std::string error;
    if (!tags::ParseLocks(locks, permanent, &options.locks, &error)) {
        return Failure{kUsage, error};
    }
    std::string source;
    if (!csvPath.empty()) {
        std::ifstream file(csvPath, std::ios::binary);
        if (!file) {
            return Failure{kUsage, "cannot read " + csvPath};
        }
        std::stringstream text;
        text << file.rdbuf();
        if (!tags::RowsFromCsv(text.str(), options, rows, &error)) {
            // Rows that would put one item on two tags, or lock for good unasked, are refused
            // for safety; anything else is a fault of the file.
            const bool unsafe = error.find("same EPC") != std::string::npos ||
                                error.find("same item") != std::string::npos ||
                                error.find("--permanent") != std::string::npos;
            return Failure{unsafe ? kRefused : kUsage, csvPath + ": " + error};
        }
        source = "csv:" + tags::Sha256Hex(text.str());
    } else {
        options.scheme = scheme;
        options.gtin = gtin;
        options.companyPrefix = companyPrefix;
        options.reference = reference;
        options.serials = serials;
        if (scheme.empty()) {
            return Failure{kUsage, "give --csv FILE, or --scheme with its fields and --serials"};
        }
        if (!tags::RowsFromTemplate(options, rows, &error)) {
            return Failure{kUsage, error};
        }
        source = "template";
    }
    *definition = tags::JobDefinition{name, source, options.Json(), KVARA_CLI_VERSION};
    return std::nullopt;
}

std::unique_ptr<tags::JobStore> OpenStore(const std::string& location, Failure* failure) {
    std::string error;
    auto store = tags::OpenJobStore(location, &error);
    if (!store) {
        *failure = Failure{kStoreError, error};
    }
    return store;
}

std::string DefaultStation() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? name : "station";
}

int RunEncoder(const Global& global, tags::Encoder& encoder, tags::JobStore& store,
               const std::string& job, int maxRows) {
    const bool terminal = !global.json && isatty(STDOUT_FILENO) != 0;
    const auto start = Clock::now();
    Tally tally;
    std::optional<tags::TagReport> last;
    tags::StopReason reason = tags::StopReason::kNone;
    while (reason == tags::StopReason::kNone &&
           (maxRows <= 0 || tally.written + tally.settled < maxRows)) {
        std::optional<tags::TagReport> report;
        reason = encoder.Next([] { return g_interrupted.load(); }, &report);
        if (!report) {
            continue;
        }
        last = report;
        tally.Count(report->ending);
        const double minutes = std::chrono::duration<double>(Clock::now() - start).count() / 60.0;
        nlohmann::json line = {{"event", "tag"},
                               {"row", report->row},
                               {"serial", report->serial},
                               {"epc", HexText(report->epc)},
                               {"tid", HexText(report->tid)},
                               {"result", EndingName(report->ending)}};
        if (!report->detail.empty()) {
            line["detail"] = report->detail;
        }
        const int perMinute = static_cast<int>(minutes > 0 ? tally.written / minutes : 0);
        Print(global, line,
              std::string(terminal ? "\r" : "") + EndingName(report->ending) + " " +
                  (report->row != 0 ? "row " + report->serial + " " : std::string()) +
                  HexText(report->epc) +
                  (report->detail.empty() ? std::string() : " (" + report->detail + ")") + "  " +
                  std::to_string(perMinute) + " tags/min");
    }
    tags::JobStatus status;
    store.Status(job, &status);
    auto [exitCode, words] = Ending(reason, encoder.StopDetail(), last);
    if (reason == tags::StopReason::kNone) {
        words = "stopped after " + std::to_string(maxRows) + " tags as asked (--max-rows)";
    }
    nlohmann::json summary = {{"event", "summary"},
                              {"job", job},
                              {"rows", status.total},
                              {"encoded", tally.written + tally.settled},
                              {"skipped", status.written - tally.written - tally.settled},
                              {"rejected", tally.rejected},
                              {"failed", tally.failed},
                              {"uncertain", status.uncertain},
                              {"left", status.open + status.failed},
                              {"ended", words},
                              {"exit_code", exitCode}};
    if (global.json) {
        Print(global, summary, "");
    } else {
        std::printf("%s%d encoded, %d done before, %d rows, %d left; %s\n", terminal ? "\n" : "",
                    tally.written + tally.settled, status.written - tally.written - tally.settled,
                    status.total, status.open + status.failed, words.c_str());
        if (exitCode != kOk) {
            std::fprintf(stderr, "kvara: %s\n", words.c_str());
        }
    }
    return exitCode;
}

}  // namespace kvara::cli
