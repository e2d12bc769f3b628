// SPDX-License-Identifier: MIT
// kvara: the command line of the Kvara Programmer, for scripting and for encoding tags in
// series. It runs on the reader library's public C API through the tag layer, as any other
// program could. This file only registers the verbs; each lives in cli/verb_*.cpp.
#include <csignal>
#include <iostream>

#include "cli/reader_options.h"
#include "cli/verbs.h"
#include "reader/kvara.h"

#ifndef KVARA_CLI_VERSION
#define KVARA_CLI_VERSION "0"
#endif

using namespace kvara::cli;

namespace {

void OnInterrupt(int) {
    g_interrupted.store(true);
}

void Trace(int handle, int direction, const unsigned char* bytes, int length, void* context) {
    auto* file = static_cast<std::FILE*>(context);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    std::fprintf(file, "%lld.%06lld %d %s %s\n", static_cast<long long>(us / 1000000),
                 static_cast<long long>(us % 1000000), handle, direction == 0 ? ">" : "<",
                 HexText(kvara::ByteBuffer(bytes, bytes + length)).c_str());
    std::fflush(file);
}

// The options every verb shares: the library's diagnostic lines only when asked for, the
// trace file, and the signals that stop a run at its next safe point.
bool UseGlobalOptions(const Global& global, std::FILE** trace) {
    if (global.verbose) {
        KvaraSetLogHandler(
            [](const char* line, void*) { std::fprintf(stderr, "kvara: %s\n", line); }, nullptr);
    } else {
        KvaraSetLogHandler([](const char*, void*) {}, nullptr);
    }
    if (!global.tracePath.empty()) {
        *trace = std::fopen(global.tracePath.c_str(), "a");
        if (*trace == nullptr) {
            return false;
        }
        KvaraSetTraceHandler(&Trace, *trace);
    }
    // Ctrl-C, a kill and a closed terminal all stop the run at its next safe point.
    struct sigaction interrupt {};
    interrupt.sa_handler = &OnInterrupt;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &interrupt, nullptr);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "kvara: Kvara readers from the command line: list, read and write tags, encode them in "
        "series"};
    app.require_subcommand(1);
    // The global options are taken after the verb as well ("kvara epc decode X --json").
    app.fallthrough();
    app.set_version_flag("--version", std::string("kvara ") + KVARA_CLI_VERSION);
    Global global;
    app.add_flag("--json", global.json, "answer in JSON (one object a line)");
    app.add_option("--trace", global.tracePath,
                   "write every frame sent and received, with times, to this file");
    app.add_flag("-v,--verbose", global.verbose, "show the reader library's diagnostic lines");

    std::vector<std::pair<std::unique_ptr<Command>, CLI::App*>> verbs;
    for (auto make : {ListVerb, InfoVerb, InventoryVerb, ReadVerb, WriteVerb, SetEpcVerb, LockVerb,
                      PowerVerb, NetVerb, EpcVerb, TidVerb, EncodeVerb, JobVerb}) {
        std::unique_ptr<Command> verb = make();
        CLI::App* sub = app.add_subcommand(verb->Name(), verb->Description());
        verb->AddOptions(*sub);
        verbs.emplace_back(std::move(verb), sub);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error);  // --help, --version
        }
        // Under --json a usage error is JSON too.
        if (global.json) {
            return Fail(global, Failure{kUsage, error.what()});
        }
        app.exit(error);
        return kUsage;
    }
    std::FILE* trace = nullptr;
    if (!UseGlobalOptions(global, &trace)) {
        return Fail(global, Failure{kUsage, "cannot write the trace " + global.tracePath});
    }
    int result = kUsage;
    for (auto& [verb, sub] : verbs) {
        if (sub->parsed()) {
            result = verb->Run(global);
        }
    }
    KvaraSetTraceHandler(nullptr, nullptr);
    if (trace != nullptr) {
        std::fclose(trace);
    }
    return result;
}
