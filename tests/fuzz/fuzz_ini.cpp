// SPDX-License-Identifier: MIT
// The INI reader over arbitrary version files: Parse, then GetString for every section and key
// it found, in other letter cases, and for names it did not find. Properties besides memory
// safety and bounded time:
// - every key of the first section of a name is found (in any letter case) and its value holds
//   no line break, since values never reach past their line;
// - a lookup is blind to letter case: upper- and lower-case names give the same answer;
// - a section or key that is not there gives the caller's default.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "settings/ini.h"

namespace {

// No value can equal it: values never hold a line break.
const std::string kDefault = "\n";
// Keys looked up per input at most, so that a file of many short lines stays quick.
constexpr std::size_t kMaxLookups = 64;

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    kvara::CPrivateProfile ini;
    FUZZ_CHECK(ini.Parse(text));

    const auto& sections = ini.Sections();
    std::size_t lookups = 0;
    for (std::size_t s = 0; s < sections.size() && lookups < kMaxLookups; ++s) {
        const kvara::CSection& section = sections[s];
        FUZZ_CHECK(section.keys.size() == section.values.size());
        const bool first =
            std::none_of(sections.begin(), sections.begin() + static_cast<std::ptrdiff_t>(s),
                         [&](const kvara::CSection& earlier) {
                             return SameIgnoringCase(earlier.name, section.name);
                         });
        for (std::size_t k = 0; k < section.keys.size() && lookups < kMaxLookups; ++k, ++lookups) {
            const std::string& key = section.keys[k];
            const std::string value = ini.GetString(section.name, key, kDefault);
            FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos || value == kDefault);
            FUZZ_CHECK(!first || value != kDefault);
            FUZZ_CHECK(ini.GetString(Upper(section.name), Lower(key), kDefault) == value);
            FUZZ_CHECK(ini.GetString(section.name, key + "\n", kDefault) == kDefault);
        }
    }
    // Names made of the input itself; a missing section gives the default whatever the key.
    const std::size_t cut = size / 2;
    const std::string name = text.substr(0, cut);
    const std::string key = text.substr(cut);
    const std::string found = ini.GetString(name, key, kDefault);
    FUZZ_CHECK(found == kDefault || found.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(ini.GetString(name + "\r", key, kDefault) == kDefault);
    return 0;
}
