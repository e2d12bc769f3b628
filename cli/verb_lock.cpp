// SPDX-License-Identifier: MIT
// kvara lock: lock or unlock a memory area of a tag; a permanent action only with --permanent.
#include "cli/reader_options.h"
#include "cli/verbs.h"

namespace kvara::cli {

namespace {

class Lock : public Command {
public:
    const char* Name() const override { return "lock"; }
    const char* Description() const override { return "lock or unlock a memory area of a tag"; }
    void AddOptions(CLI::App& verb) override {
        AddReaderOptions(verb, m_reader);
        verb.add_option("--epc", m_epc, "EPC of the tag (hex)");
        verb.add_option("--area", m_area, "kill, access, epc, tid or user")
            ->required()
            ->check(CLI::IsMember({"kill", "access", "epc", "tid", "user"}));
        verb.add_option("--action", m_action, "unlocked, locked, permaunlocked or permalocked")
            ->required()
            ->check(CLI::IsMember({"unlocked", "locked", "permaunlocked", "permalocked"}));
        verb.add_option("--password", m_password, "access password (4 bytes hex)")->required();
        verb.add_flag("--permanent", m_permanent, "allow an action that can never be undone");
    }
    int Run(const Global& global) override {
        const int area = *tags::AreaNamed(m_area);
        const int action = *tags::ActionNamed(m_action);
        if (tags::IsPermanentAction(action) && !m_permanent) {
            return Fail(global, Failure{kRefused, m_action + " can never be undone on the tag; add "
                                                             "--permanent if you mean it"});
        }
        ByteBuffer epc;
        ByteBuffer password;
        if (auto failure = HexArgument(m_epc, "EPC", &epc)) {
            return Fail(global, *failure);
        }
        if (auto failure = PasswordArgument(m_password, &password)) {
            return Fail(global, *failure);
        }
        tags::TagSession reader;
        if (auto failure = OpenReader(reader, m_reader)) {
            return Fail(global, *failure);
        }
        const tags::Outcome outcome = reader.Lock(epc, area, action, password, m_permanent);
        if (!outcome.Done()) {
            return Fail(global, OutcomeFailure(outcome, "lock", epc));
        }
        Print(global, nlohmann::json{{"area", m_area}, {"action", m_action}},
              m_area + " " + m_action);
        return kOk;
    }

private:
    ReaderOptions m_reader;
    std::string m_epc;
    std::string m_area;
    std::string m_action;
    std::string m_password;
    bool m_permanent = false;
};

}  // namespace

std::unique_ptr<Command> LockVerb() {
    return std::make_unique<Lock>();
}

}  // namespace kvara::cli
