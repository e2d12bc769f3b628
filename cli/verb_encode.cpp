// SPDX-License-Identifier: MIT
// kvara encode: tags in series, from a CSV file with a journal beside it (--csv, --log), or
// from a job in a shared store (--store, --job).
#include "cli/job_run.h"
#include "cli/verbs.h"

namespace kvara::cli {

namespace {

class Encode : public Command {
public:
    const char* Name() const override { return "encode"; }
    const char* Description() const override {
        return "encode tags in series: from a CSV file with a journal to resume from, or from a "
               "job in a store shared by several stations";
    }
    void AddOptions(CLI::App& verb) override {
        AddReaderOptions(verb, m_reader);
        verb.add_option("--csv", m_rows.csvPath,
                        "rows: epc, or gtin and serial; optional filter, company_prefix_length, "
                        "bits, user, access, kill, lock, pc");
        verb.add_option("--log", m_log, "the journal beside the CSV: a run resumes from it");
        m_rows.AddCsvOptions(verb);
        verb.add_option("--store", m_store, "the job store: a SQLite file or a postgresql:// URI");
        verb.add_option("--job", m_job, "the job in the store");
        verb.add_option("--station", m_options.station, "this station's name in the journal");
        verb.add_option("--max-rows", m_maxRows, "stop after encoding this many tags");
        verb.add_option("--wait", m_options.waitMs, "how long to wait for the next tag, in ms")
            ->capture_default_str();
        verb.add_option("--on-error", m_onError,
                        "stop at a tag that cannot be encoded, or skip it (set it aside)")
            ->check(CLI::IsMember({"stop", "skip"}))
            ->capture_default_str();
        verb.add_option("--verify", m_verify, "read back everything written, or only the EPC")
            ->check(CLI::IsMember({"all", "epc"}))
            ->capture_default_str();
    }
    int Run(const Global& global) override {
        m_options.skipBadTags = m_onError == "skip";
        m_options.verifyAll = m_verify == "all";
        if (m_options.station.empty()) {
            m_options.station = DefaultStation();
        }
        std::unique_ptr<tags::JobStore> store;
        Failure failure;
        if (!m_rows.csvPath.empty() && !m_log.empty() && m_store.empty()) {
            store = Journal(&failure);
        } else if (m_rows.csvPath.empty() && m_log.empty() && !m_store.empty() && !m_job.empty()) {
            store = OpenStore(m_store, &failure);
            tags::JobDefinition definition;
            if (store && !store->OpenJob(m_job, &definition)) {
                failure = Failure{kStoreError, store->Error()};
                store.reset();
            }
            m_options.job = m_job;
            const auto options = nlohmann::json::parse(definition.options, nullptr, false);
            m_options.permanentAllowed = options.is_object() && options.value("permanent", false);
        } else {
            failure = Failure{kUsage, "give --csv FILE --log FILE, or --store STORE --job NAME"};
        }
        if (!store) {
            return Fail(global, failure);
        }
        // The journal is checked writable, and the job's rows whole, before the reader opens.
        tags::TagSession reader;
        if (auto opened = OpenReader(reader, m_reader)) {
            return Fail(global, *opened);
        }
        tags::Encoder encoder(reader, *store, m_options);
        return RunEncoder(global, encoder, *store, m_options.job, m_maxRows);
    }

private:
    // The journal of a CSV run: the job is the CSV file's, made from its rows and options.
    std::unique_ptr<tags::JobStore> Journal(Failure* failure) {
        tags::JobDefinition definition;
        std::vector<tags::JobRow> rows;
        const std::string name = m_rows.csvPath.substr(m_rows.csvPath.rfind('/') + 1);
        if (auto made = m_rows.Make(name, &definition, &rows)) {
            *failure = *made;
            return nullptr;
        }
        std::string error;
        auto journal = tags::OpenJournal(m_log, &error);
        if (!journal || !journal->CreateJob(definition, rows)) {
            *failure = Failure{kStoreError, journal ? journal->Error() : error};
            return nullptr;
        }
        m_options.job = definition.name;
        m_options.permanentAllowed = m_rows.permanent;
        return journal;
    }

    ReaderOptions m_reader;
    JobRowOptions m_rows;
    std::string m_log;
    std::string m_store;
    std::string m_job;
    std::string m_onError = "stop";
    std::string m_verify = "all";
    int m_maxRows = 0;
    tags::EncoderOptions m_options;
};

}  // namespace

std::unique_ptr<Command> EncodeVerb() {
    return std::make_unique<Encode>();
}

}  // namespace kvara::cli
