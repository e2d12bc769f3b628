// SPDX-License-Identifier: MIT
// kvara job create / status / report / verify / list: encoding jobs in a store that several
// stations share (a SQLite file, or a postgresql:// URI).
#include "cli/job_run.h"
#include "cli/verbs.h"

namespace kvara::cli {

namespace {

// Every job verb names its store.
class JobCommand : public Command {
public:
    void AddOptions(CLI::App& verb) override {
        verb.add_option("--store", m_store, "a SQLite file or a postgresql:// URI")->required();
        AddOwnOptions(verb);
    }
    int Run(const Global& global) override {
        Failure failure;
        auto store = OpenStore(m_store, &failure);
        if (!store) {
            return Fail(global, failure);
        }
        return RunWith(global, *store);
    }

protected:
    virtual void AddOwnOptions(CLI::App& verb) = 0;
    virtual int RunWith(const Global& global, tags::JobStore& store) = 0;
    int StoreFailure(const Global& global, const tags::JobStore& store) {
        return Fail(global, Failure{kStoreError, store.Error()});
    }
    std::string m_store;
};

class Create : public JobCommand {
public:
    const char* Name() const override { return "create"; }
    const char* Description() const override {
        return "a job from a CSV file or a GS1 template (a scheme, its fields, serials FROM-TO)";
    }
    void AddOwnOptions(CLI::App& verb) override {
        verb.add_option("--name", m_name, "the job's name")->required();
        verb.add_option("--csv", m_rows.csvPath, "the rows, as kvara encode reads them");
        m_rows.AddCsvOptions(verb);
        m_rows.AddTemplateOptions(verb);
    }
    int RunWith(const Global& global, tags::JobStore& store) override {
        tags::JobDefinition definition;
        std::vector<tags::JobRow> rows;
        if (auto failure = m_rows.Make(m_name, &definition, &rows)) {
            return Fail(global, *failure);
        }
        if (!store.CreateJob(definition, rows)) {
            return StoreFailure(global, store);
        }
        Print(global, nlohmann::json{{"job", m_name}, {"rows", rows.size()}},
              "job " + m_name + ": " + std::to_string(rows.size()) + " rows");
        return kOk;
    }

private:
    std::string m_name;
    JobRowOptions m_rows;
};

class Status : public JobCommand {
public:
    const char* Name() const override { return "status"; }
    const char* Description() const override { return "how far a job is"; }
    void AddOwnOptions(CLI::App& verb) override {
        verb.add_option("--job", m_job, "the job")->required();
    }
    int RunWith(const Global& global, tags::JobStore& store) override {
        tags::JobDefinition definition;
        tags::JobStatus s;
        if (!store.OpenJob(m_job, &definition) || !store.Status(m_job, &s)) {
            return StoreFailure(global, store);
        }
        const nlohmann::json value = {{"job", m_job},
                                      {"total", s.total},
                                      {"open", s.open},
                                      {"reserved", s.reserved},
                                      {"written", s.written},
                                      {"failed", s.failed},
                                      {"uncertain", s.uncertain},
                                      {"rejected", s.rejected}};
        std::string text;
        for (const auto& [key, count] : value.items()) {
            if (key != "job") {
                text += key + "\t" + count.dump() + "\n";
            }
        }
        Print(global, value, "job\t" + m_job + "\n" + text);
        return kOk;
    }

private:
    std::string m_job;
};

class Report : public JobCommand {
public:
    const char* Name() const override { return "report"; }
    const char* Description() const override {
        return "one record a serial: serial, EPC, TID, state, station, time";
    }
    void AddOwnOptions(CLI::App& verb) override {
        verb.add_option("--job", m_job, "the job")->required();
        verb.add_option("--format", m_format, "csv or json")
            ->check(CLI::IsMember({"csv", "json"}))
            ->capture_default_str();
    }
    int RunWith(const Global& global, tags::JobStore& store) override {
        std::vector<tags::RowRecord> rows;
        tags::JobDefinition definition;
        if (!store.OpenJob(m_job, &definition) || !store.Rows(m_job, &rows)) {
            return StoreFailure(global, store);
        }
        if (!(global.json || m_format == "json")) {
            std::fputs(tags::ReportCsv(rows).c_str(), stdout);
            return kOk;
        }
        for (const tags::RowRecord& row : rows) {
            std::printf("%s\n", nlohmann::json{{"serial", row.row.serial},
                                               {"epc", HexText(row.row.epc)},
                                               {"tid", HexText(row.tid)},
                                               {"state", tags::RowStateName(row.state)},
                                               {"station", row.station},
                                               {"time", row.time},
                                               {"detail", row.detail}}
                                    .dump()
                                    .c_str());
        }
        return kOk;
    }

private:
    std::string m_job;
    std::string m_format = "csv";
};

class Verify : public JobCommand {
public:
    const char* Name() const override { return "verify"; }
    const char* Description() const override {
        return "settle the rows left reserved or uncertain by the tags in the field";
    }
    void AddOwnOptions(CLI::App& verb) override {
        verb.add_option("--job", m_job, "the job")->required();
        AddReaderOptions(verb, m_reader);
    }
    int RunWith(const Global& global, tags::JobStore& store) override {
        tags::JobDefinition definition;
        if (!store.OpenJob(m_job, &definition)) {
            return StoreFailure(global, store);
        }
        tags::TagSession reader;
        if (auto failure = OpenReader(reader, m_reader)) {
            return Fail(global, *failure);
        }
        tags::EncoderOptions options;
        options.job = m_job;
        options.station = DefaultStation();
        tags::Encoder encoder(reader, store, options);
        std::vector<tags::TagReport> reports;
        const tags::StopReason reason = encoder.SettleField(&reports);
        for (const tags::TagReport& report : reports) {
            Print(
                global,
                nlohmann::json{{"row", report.row},
                               {"serial", report.serial},
                               {"epc", HexText(report.epc)},
                               {"tid", HexText(report.tid)},
                               {"result", report.ending == tags::TagEnding::kSettled ? "written"
                                                                                     : "rejected"}},
                "row " + report.serial + " " + HexText(report.epc) + " settled");
        }
        if (reason == tags::StopReason::kStoreError) {
            return Fail(global, Failure{kStoreError, encoder.StopDetail()});
        }
        if (reason == tags::StopReason::kReaderError) {
            return Fail(global, Failure{kReaderError, encoder.StopDetail()});
        }
        tags::JobStatus status;
        store.Status(m_job, &status);
        Print(global,
              nlohmann::json{{"settled", reports.size()},
                             {"reserved", status.reserved},
                             {"uncertain", status.uncertain}},
              std::to_string(reports.size()) + " settled; " + std::to_string(status.reserved) +
                  " reserved and " + std::to_string(status.uncertain) + " uncertain left");
        return kOk;
    }

private:
    std::string m_job;
    ReaderOptions m_reader;
};

class List : public JobCommand {
public:
    const char* Name() const override { return "list"; }
    const char* Description() const override { return "the jobs in the store"; }
    void AddOwnOptions(CLI::App&) override {}
    int RunWith(const Global& global, tags::JobStore& store) override {
        std::vector<tags::JobDefinition> jobs;
        if (!store.ListJobs(&jobs)) {
            return StoreFailure(global, store);
        }
        nlohmann::json value = nlohmann::json::array();
        std::string text;
        for (const tags::JobDefinition& job : jobs) {
            tags::JobStatus status;
            store.Status(job.name, &status);
            value.push_back(
                {{"job", job.name}, {"total", status.total}, {"written", status.written}});
            text += job.name + "\t" + std::to_string(status.written) + "/" +
                    std::to_string(status.total) + " written\n";
        }
        Print(global, nlohmann::json{{"jobs", value}}, text);
        return kOk;
    }
};

}  // namespace

std::unique_ptr<Command> JobVerb() {
    auto group = std::make_unique<VerbGroup>("job", "encoding jobs in a store shared by stations");
    group->Add(std::make_unique<Create>())
        .Add(std::make_unique<Status>())
        .Add(std::make_unique<Report>())
        .Add(std::make_unique<Verify>())
        .Add(std::make_unique<List>());
    return group;
}

}  // namespace kvara::cli
