// SPDX-License-Identifier: MIT
// Byte buffer and string list shared by every part of the reader library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvara {

// A growable array of bytes: requests, answers, payloads and reports.
using ByteBuffer = std::vector<std::uint8_t>;

// An ordered list of texts, filled by the listing operations.
using StringList = std::vector<std::string>;

// Appends text unless the list already holds it. Returns true when it was appended.
inline bool AppendUnique(StringList& list, const std::string& text) {
    for (const auto& entry : list) {
        if (entry == text) {
            return false;
        }
    }
    list.push_back(text);
    return true;
}

// Writes entries as consecutive zero-terminated texts closed by one more zero byte, the form
// every listing function of the reader API answers in; an entry is written only if it, its zero
// and the final zero still fit. Returns the bytes written (1 for an empty list), 0 when there
// is no room at all.
int WriteList(const StringList& list, char* buffer, int size);

}  // namespace kvara
