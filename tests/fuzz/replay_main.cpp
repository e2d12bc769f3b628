// SPDX-License-Identifier: MIT
// Runs inputs through a fuzz target's LLVMFuzzerTestOneInput without libFuzzer, so that every
// build (and every sanitizer) replays the checked-in corpus. Each argument is a file or a
// folder whose files are run in name order. A target reports a broken property by aborting;
// this program fails as well when an argument cannot be read or no input was found, so an
// emptied corpus folder does not pass unnoticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so that reads past its end are caught by the
    // address sanitizer as they would be under libFuzzer.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    std::uint8_t* data = input.empty() ? nullptr : input.data();
    LLVMFuzzerTestOneInput(data, input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                ok = RunFile(file) && ok;
                ++runs;
            }
        } else {
            ok = RunFile(arg) && ok;
            ++runs;
        }
    }
    std::printf("replay: %zu inputs\n", runs);
    if (runs == 0) {
        std::fprintf(stderr, "replay: no input found\n");
        return 1;
    }
    return ok ? 0 : 1;
}
