// SPDX-License-Identifier: MIT
#include "cli/command.h"

#include <iostream>

namespace kvara::cli {

std::atomic<bool> g_interrupted{false};

void Print(const Global& global, const nlohmann::json& value, const std::string& text) {
    if (global.json) {
        std::cout << value.dump() << "\n";
    } else if (!text.empty()) {
        std::cout << text << (text.back() == '\n' ? "" : "\n");
    }
    std::cout.flush();
}

int Fail(const Global& global, const Failure& failure) {
    if (global.json) {
        std::cout
            << nlohmann::json{{"error", failure.message}, {"exit_code", failure.exitCode}}.dump()
            << "\n";
        std::cout.flush();
    } else {
        std::fprintf(stderr, "kvara: %s\n", failure.message.c_str());
    }
    return failure.exitCode;
}

void VerbGroup::AddOptions(CLI::App& verb) {
    verb.require_subcommand(1);
    for (const auto& command : m_verbs) {
        CLI::App* app = verb.add_subcommand(command->Name(), command->Description());
        command->AddOptions(*app);
        m_apps.push_back(app);
    }
}

int VerbGroup::Run(const Global& global) {
    for (std::size_t i = 0; i < m_verbs.size(); ++i) {
        if (m_apps[i]->parsed()) {
            return m_verbs[i]->Run(global);
        }
    }
    return kUsage;
}

}  // namespace kvara::cli
