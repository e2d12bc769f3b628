// SPDX-License-Identifier: MIT
// kvara info: model, firmware, information text and transmit power of a reader.
#include "cli/reader_options.h"
#include "cli/verbs.h"
#include "protocol/names.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

class Info : public Command {
public:
    const char* Name() const override { return "info"; }
    const char* Description() const override {
        return "model, firmware, information text and transmit power of a reader";
    }
    void AddOptions(CLI::App& verb) override { AddReaderOptions(verb, m_reader); }
    int Run(const Global& global) override {
        tags::TagSession reader;
        if (auto failure = OpenReader(reader, m_reader)) {
            return Fail(global, *failure);
        }
        const int handle = reader.Handle();
        unsigned char type[4] = {};
        char model[64] = {};
        if (KvaraGetDeviceType(handle, type, 4, model, sizeof model) != 4) {
            return Fail(global, ReaderFailure("device type", KvaraGetLastError(handle)));
        }
        nlohmann::json value = {{"device_type", std::string(type, type + 4)},
                                {"model", model},
                                {"firmware_digit", std::string(1, static_cast<char>(type[3]))}};
        unsigned char text[256] = {};
        const int n = KvaraExecute(handle, kCommandReaderInfo, nullptr, 0, text, sizeof text);
        value["information"] =
            n > 0 ? nlohmann::json(std::string(text, text + n)) : nlohmann::json();
        unsigned short power = 0;
        value["tx_power_dbm"] =
            KvaraGetTxPower(handle, &power) == 0 ? nlohmann::json(power / 10.0) : nlohmann::json();
        std::string out = std::string("model\t") + model + "\ndevice type\t" +
                          value["device_type"].get<std::string>() + "\n";
        if (!value["information"].is_null()) {
            out += "information\t" + value["information"].get<std::string>() + "\n";
        }
        if (!value["tx_power_dbm"].is_null()) {
            char dbm[32];
            std::snprintf(dbm, sizeof dbm, "%.1f dBm", power / 10.0);
            out += std::string("transmit power\t") + dbm + "\n";
        }
        Print(global, value, out);
        return kOk;
    }

private:
    ReaderOptions m_reader;
};

}  // namespace

std::unique_ptr<Command> InfoVerb() {
    return std::make_unique<Info>();
}

}  // namespace kvara::cli
