// kvara-sim: a simulated Kvara reader on a pseudo terminal, for the demo and for trying the
// programmer without a reader on the desk.
#include <csignal>
#include <cstdio>
#include <memory>

#include "sim/options.h"
#include "sim/pty_server.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    kvara::sim::SimOptions options;
    std::string error;
    if (!kvara::sim::ParseSimOptions(args, &options, &error)) {
        std::fprintf(stderr, "kvara-sim: %s\n%s", error.c_str(), kvara::sim::kSimUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kvara::sim::kSimUsage, stdout);
        return 0;
    }
    auto reader = std::make_shared<kvara::sim::SimReader>(options.config);
    reader->SetTags(options.tags);
    reader->SetFault(options.fault);
    kvara::sim::PtyServer server(reader, options.symlink);
    if (!server.Start()) {
        std::fprintf(stderr, "kvara-sim: no pseudo terminal available\n");
        return 1;
    }
    std::printf("%s\n", server.Path().c_str());
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    while (g_stop == 0) {
        sigsuspend(&none);
    }
    server.Stop();
    return 0;
}
