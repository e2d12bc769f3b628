// SPDX-License-Identifier: MIT
// kvara set-epc: a tag's new EPC, with the PC's length bits right, proven by reading back.
#include "cli/reader_options.h"
#include "cli/tag_json.h"
#include "cli/verbs.h"
#include "protocol/gs1.h"
#include "protocol/tag_memory.h"

namespace kvara::cli {

namespace {

class SetEpc : public Command {
public:
    const char* Name() const override { return "set-epc"; }
    const char* Description() const override {
        return "write a tag's EPC with the PC's length bits right, and prove it";
    }
    void AddOptions(CLI::App& verb) override {
        AddReaderOptions(verb, m_reader);
        verb.add_option("--epc", m_oldEpc, "the tag's EPC now (hex)")->required();
        auto* newOption = verb.add_option("--new", m_newEpc, "the new EPC (hex)");
        auto* sgtinOption =
            verb.add_option("--sgtin", m_sgtin, "the new EPC as an SGTIN of this GTIN");
        verb.add_option("--serial", m_serial, "serial of the SGTIN");
        verb.add_option("--filter", m_filter, "filter value of the SGTIN")
            ->check(CLI::Range(0, 7))
            ->capture_default_str();
        verb.add_option("--company-prefix-length", m_companyPrefixLength,
                        "digits of the GS1 company prefix in the GTIN (6-12)");
        verb.add_option("--password", m_password, "access password (4 bytes hex)");
        newOption->excludes(sgtinOption);
    }
    int Run(const Global& global) override {
        ByteBuffer oldEpc;
        ByteBuffer newEpc;
        ByteBuffer password;
        if (auto failure = HexArgument(m_oldEpc, "EPC", &oldEpc)) {
            return Fail(global, *failure);
        }
        if (auto failure = NewEpc(&newEpc)) {
            return Fail(global, *failure);
        }
        if (auto failure = PasswordArgument(m_password, &password)) {
            return Fail(global, *failure);
        }
        if (newEpc.empty() || newEpc.size() % 2 != 0 ||
            static_cast<int>(newEpc.size()) > kMaxEpcBytes) {
            return Fail(global, Failure{kUsage,
                                        "the new EPC must be 2 to 62 bytes in whole "
                                        "words, not " +
                                            std::to_string(newEpc.size())});
        }
        tags::TagSession reader;
        if (auto failure = OpenReader(reader, m_reader)) {
            return Fail(global, *failure);
        }
        const tags::Outcome outcome = reader.WriteEpc(
            oldEpc, newEpc, password.empty() ? tags::Password() : tags::Password(password));
        if (!outcome.Done()) {
            return Fail(global, Described(outcome, oldEpc));
        }
        nlohmann::json value = {
            {"old_epc", HexText(oldEpc)}, {"new_epc", HexText(newEpc)}, {"verified", true}};
        const std::string identity = Gs1Identity(newEpc);
        if (!identity.empty()) {
            value["identity"] = identity;
        }
        Print(global, value, HexText(newEpc) + (identity.empty() ? "" : "  " + identity));
        return kOk;
    }

private:
    std::optional<Failure> NewEpc(ByteBuffer* epc) const {
        if (!m_sgtin.empty()) {
            const auto fields =
                gs1::SgtinFromGtin(m_sgtin, m_companyPrefixLength, m_filter, m_serial);
            if (!fields) {
                return Failure{kUsage, fields.error};
            }
            *epc = *gs1::Encode(*fields.value).value;
            return std::nullopt;
        }
        if (m_newEpc.empty()) {
            return Failure{kUsage, "give --new HEX or --sgtin GTIN --serial N"};
        }
        return HexArgument(m_newEpc, "EPC", epc);
    }
    static Failure Described(const tags::Outcome& outcome, const ByteBuffer& oldEpc) {
        switch (outcome.step) {
            case tags::Step::kSelect:
                return ReaderFailure("select " + HexText(oldEpc), outcome.code);
            case tags::Step::kRead:
                return ReaderFailure("reading the PC word", outcome.code);
            case tags::Step::kVerify:
                return Failure{kReaderError, "the EPC bank does not read back as written"};
            default:
                return ReaderFailure("writing PC and EPC", outcome.code);
        }
    }

    ReaderOptions m_reader;
    std::string m_oldEpc;
    std::string m_newEpc;
    std::string m_sgtin;
    std::string m_serial;
    int m_filter = 0;
    int m_companyPrefixLength = 0;
    std::string m_password;
};

}  // namespace

std::unique_ptr<Command> SetEpcVerb() {
    return std::make_unique<SetEpc>();
}

}  // namespace kvara::cli
