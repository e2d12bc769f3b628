// SPDX-License-Identifier: MIT
// kvara read and kvara write: a stretch of a tag's memory.
#include "cli/reader_options.h"
#include "cli/verbs.h"

namespace kvara::cli {

namespace {

// The options read and write share.
struct MemoryOptions {
    ReaderOptions reader;
    std::string epc;
    std::string bank;
    int word = 0;
    std::string password;

    void Add(CLI::App& verb) {
        AddReaderOptions(verb, reader);
        verb.add_option("--epc", epc, "EPC of the tag (hex); without it, the one tag in the field");
        verb.add_option("--bank", bank, "reserved, epc, tid or user")
            ->required()
            ->check(CLI::IsMember({"reserved", "epc", "tid", "user"}));
        verb.add_option("--word", word, "word address")
            ->check(CLI::Range(0, 65535))
            ->capture_default_str();
        verb.add_option("--password", password, "access password (4 bytes hex)");
    }
    // The tag's EPC and the password, and the reader opened.
    std::optional<Failure> Prepare(tags::TagSession& session, ByteBuffer* tag,
                                   tags::Password* access) const {
        ByteBuffer bytes;
        if (auto failure = HexArgument(epc, "EPC", tag)) {
            return failure;
        }
        if (auto failure = PasswordArgument(password, &bytes)) {
            return failure;
        }
        if (!bytes.empty()) {
            *access = bytes;
        }
        return OpenReader(session, reader);
    }
};

class Read : public Command {
public:
    const char* Name() const override { return "read"; }
    const char* Description() const override { return "read a stretch of a tag's memory"; }
    void AddOptions(CLI::App& verb) override {
        m_memory.Add(verb);
        verb.add_option("--count", m_count, "bytes to read (0: to the end of the bank)")
            ->check(CLI::Range(0, 255))
            ->capture_default_str();
    }
    int Run(const Global& global) override {
        tags::TagSession reader;
        ByteBuffer epc;
        tags::Password password;
        if (auto failure = m_memory.Prepare(reader, &epc, &password)) {
            return Fail(global, *failure);
        }
        ByteBuffer data;
        const tags::Outcome outcome = reader.Read(epc, *tags::BankNamed(m_memory.bank),
                                                  m_memory.word, m_count, 256, password, &data);
        if (!outcome.Done()) {
            return Fail(global, OutcomeFailure(outcome, "read", epc));
        }
        Print(global,
              nlohmann::json{
                  {"bank", m_memory.bank}, {"word", m_memory.word}, {"data", HexText(data)}},
              HexText(data));
        return kOk;
    }

private:
    MemoryOptions m_memory;
    int m_count = 0;
};

class Write : public Command {
public:
    const char* Name() const override { return "write"; }
    const char* Description() const override { return "write bytes into a tag's memory"; }
    void AddOptions(CLI::App& verb) override {
        m_memory.Add(verb);
        verb.add_option("--data", m_data, "the bytes to write (hex)")->required();
    }
    int Run(const Global& global) override {
        tags::TagSession reader;
        ByteBuffer epc;
        ByteBuffer data;
        tags::Password password;
        if (auto failure = HexArgument(m_data, "data", &data)) {
            return Fail(global, *failure);
        }
        if (auto failure = m_memory.Prepare(reader, &epc, &password)) {
            return Fail(global, *failure);
        }
        const tags::Outcome outcome =
            reader.Write(epc, *tags::BankNamed(m_memory.bank), m_memory.word, data, password);
        if (!outcome.Done()) {
            return Fail(global, OutcomeFailure(outcome, "write", epc));
        }
        const int length = static_cast<int>(data.size());
        Print(global, nlohmann::json{{"written", length}},
              "written " + std::to_string(length) + " bytes");
        return kOk;
    }

private:
    MemoryOptions m_memory;
    std::string m_data;
};

}  // namespace

std::unique_ptr<Command> ReadVerb() {
    return std::make_unique<Read>();
}

std::unique_ptr<Command> WriteVerb() {
    return std::make_unique<Write>();
}

}  // namespace kvara::cli
