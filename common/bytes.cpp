// SPDX-License-Identifier: MIT
#include "common/bytes.h"

#include <cstring>

namespace kvara {

int WriteList(const StringList& list, char* buffer, int size) {
    if (buffer == nullptr || size < 1) {
        return 0;
    }
    const auto room = static_cast<std::size_t>(size);
    std::size_t used = 0;
    for (const auto& entry : list) {
        if (used + entry.size() + 2 > room) {
            break;  // the first entry that does not fit ends the list
        }
        std::memcpy(buffer + used, entry.c_str(), entry.size() + 1);
        used += entry.size() + 1;
    }
    buffer[used] = '\0';
    return static_cast<int>(used + 1);
}

}  // namespace kvara
