// SPDX-License-Identifier: MIT
// A verb of the command line: its name, what it does, its own options, and how it runs. Each
// verb lives in a file of its own (cli/verb_*.cpp) and is registered in main.cpp; what verbs
// share (the reader options, the output in text or JSON, the exit codes) is here and in
// cli/reader_options.h.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kvara::cli {

// Exit codes, one for each kind of ending.
enum Exit : int {
    kOk = 0,           // done
    kReaderError = 1,  // a reader or tag error (the text says which)
    kUsage = 2,        // wrong usage
    kRefused = 3,      // refused for safety (more than one tag, an EPC twice, a permanent lock)
    kStopped = 4,      // stopped on request (Ctrl-C, SIGTERM, SIGHUP)
    kNoTag = 5,        // encoding: no new tag came within the wait
    kStoreError = 6,   // encoding: the journal or the job store could not record
};

// An error to report and the exit code it ends the run with.
struct Failure {
    int exitCode = kReaderError;
    std::string message;
};

// The options every verb takes.
struct Global {
    bool json = false;
    std::string tracePath;
    bool verbose = false;
};

// Set by SIGINT, SIGTERM and SIGHUP: a run stops at its next safe point.
extern std::atomic<bool> g_interrupted;

class Command {
public:
    virtual ~Command() = default;
    virtual const char* Name() const = 0;
    virtual const char* Description() const = 0;
    // Adds the verb's own options (and sub-verbs) to its part of the command line.
    virtual void AddOptions(CLI::App& verb) = 0;
    virtual int Run(const Global& global) = 0;
};

// A verb made of verbs ("net search", "epc decode"): runs the one the command line named.
class VerbGroup : public Command {
public:
    VerbGroup(const char* name, const char* description)
        : m_name(name), m_description(description) {}
    VerbGroup& Add(std::unique_ptr<Command> verb) {
        m_verbs.push_back(std::move(verb));
        return *this;
    }
    const char* Name() const override { return m_name; }
    const char* Description() const override { return m_description; }
    void AddOptions(CLI::App& verb) override;
    int Run(const Global& global) override;

private:
    const char* m_name;
    const char* m_description;
    std::vector<std::unique_ptr<Command>> m_verbs;
    std::vector<CLI::App*> m_apps;
};

// Output in the form the run asked for: the JSON value (one object a line), or the text.
void Print(const Global& global, const nlohmann::json& value, const std::string& text);
// Reports a failure on stderr (text) or stdout (JSON) and gives its exit code.
int Fail(const Global& global, const Failure& failure);

}  // namespace kvara::cli
