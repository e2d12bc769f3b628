// SPDX-License-Identifier: MIT
// kvara power: read or set the reader's transmit power.
#include "cli/reader_options.h"
#include "cli/verbs.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

class Power : public Command {
public:
    const char* Name() const override { return "power"; }
    const char* Description() const override { return "read or set the reader's transmit power"; }
    void AddOptions(CLI::App& verb) override {
        AddReaderOptions(verb, m_reader);
        verb.add_option("--set", m_setDbm, "the transmit power in dBm")
            ->check(CLI::Range(0.0, 40.0));
        verb.add_flag("--store", m_store, "keep it in the reader over a power cycle");
    }
    int Run(const Global& global) override {
        tags::TagSession reader;
        if (auto failure = OpenReader(reader, m_reader)) {
            return Fail(global, *failure);
        }
        const int handle = reader.Handle();
        if (m_setDbm >= 0 &&
            KvaraSetTxPower(handle, static_cast<int>(m_setDbm * 10 + 0.5), m_store ? 1 : 0) != 0) {
            return Fail(global,
                        ReaderFailure("setting the transmit power", KvaraGetLastError(handle)));
        }
        unsigned short tenths = 0;
        if (KvaraGetTxPower(handle, &tenths) != 0) {
            return Fail(global,
                        ReaderFailure("reading the transmit power", KvaraGetLastError(handle)));
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.1f dBm", tenths / 10.0);
        Print(global, nlohmann::json{{"tx_power_dbm", tenths / 10.0}}, text);
        return kOk;
    }

private:
    ReaderOptions m_reader;
    double m_setDbm = -1;
    bool m_store = false;
};

}  // namespace

std::unique_ptr<Command> PowerVerb() {
    return std::make_unique<Power>();
}

}  // namespace kvara::cli
