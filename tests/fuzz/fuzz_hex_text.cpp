// SPDX-License-Identifier: MIT
// Hex text as the user types or pastes it into the main window's fields. Input: one byte of
// capacity, then the text. Properties besides memory safety and bounded time:
// - never more bytes than the capacity;
// - a text containing "Error" (a result shown in the field) gives no bytes;
// - the bytes read, shown again as hex text and read back, are the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/hex_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t capacity = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const kvara::ByteBuffer bytes = kvara::ParseHexBytes(text, capacity);
    FUZZ_CHECK(bytes.size() <= capacity);
    FUZZ_CHECK(text.find("Error") == std::string::npos || bytes.empty());

    const std::string shown = kvara::FormatHexBytes(bytes);
    FUZZ_CHECK(shown.size() == (bytes.empty() ? 0 : bytes.size() * 3 - 1));
    FUZZ_CHECK(kvara::ParseHexBytes(shown, capacity) == bytes);
    return 0;
}
