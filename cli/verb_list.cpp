// SPDX-License-Identifier: MIT
// kvara list: the COM ports, USB readers and (with --lan) network readers.
#include "cli/list_entries.h"
#include "cli/verbs.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

class List : public Command {
public:
    const char* Name() const override { return "list"; }
    const char* Description() const override {
        return "COM ports, USB readers and (with --lan) network readers";
    }
    void AddOptions(CLI::App& verb) override {
        verb.add_flag("--lan", m_lan, "search the local networks for readers too");
    }
    int Run(const Global& global) override {
        nlohmann::json value = {{"com", Entries(&KvaraListComPorts)},
                                {"usb", Entries(&KvaraListUsbDevices)}};
        if (m_lan) {
            value["lan"] = Entries(&KvaraFindLanReadersEx);
        }
        std::string text;
        for (const char* kind : {"com", "usb", "lan"}) {
            if (value.contains(kind)) {
                for (const auto& entry : value[kind]) {
                    text += std::string(kind) + "\t" + entry.get<std::string>() + "\n";
                }
            }
        }
        Print(global, value, text);
        return kOk;
    }

private:
    bool m_lan = false;
};

}  // namespace

std::unique_ptr<Command> ListVerb() {
    return std::make_unique<List>();
}

}  // namespace kvara::cli
