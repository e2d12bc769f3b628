// SPDX-License-Identifier: MIT
// The entries of a list function of the reader API (zero-terminated texts, closed by one more
// zero).
#pragma once

#include <string>
#include <vector>

namespace kvara::cli {

inline std::vector<std::string> Entries(int (*list)(char*, int)) {
    std::vector<char> buffer(65536);
    const int n = list(buffer.data(), static_cast<int>(buffer.size()));
    std::vector<std::string> entries;
    for (int i = 0; i < n && buffer[static_cast<std::size_t>(i)] != '\0';) {
        const std::string entry(buffer.data() + i);
        entries.push_back(entry);
        i += static_cast<int>(entry.size()) + 1;
    }
    return entries;
}

}  // namespace kvara::cli
