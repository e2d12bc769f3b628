// SPDX-License-Identifier: MIT
// GS1 EPC decoding and encoding: bytes read as an EPC, and the same bytes read as a tag URI.
// Properties besides memory safety and bounded time:
// - an EPC that decodes encodes back to the same bits (the padding of its last word aside;
//   an EPC given without its last padding byte comes back in whole words), and its tag URI
//   parses to the same fields;
// - a tag URI that parses encodes, and its bytes decode to the same tag URI.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/gs1.h"

namespace gs1 = kvara::gs1;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kvara::ByteBuffer bytes(data, data + size);
    if (const auto decoded = gs1::Decode(bytes)) {
        const auto encoded = gs1::Encode(*decoded.value);
        FUZZ_CHECK(encoded);
        FUZZ_CHECK(encoded.value->size() == (bytes.size() + 1) / 2 * 2);
        const int bits = gs1::SchemeBits(decoded.value->scheme);
        for (int bit = 0; bit < bits; ++bit) {
            const int mask = 0x80 >> (bit % 8);
            FUZZ_CHECK(((*encoded.value)[static_cast<std::size_t>(bit / 8)] & mask) ==
                       (bytes[static_cast<std::size_t>(bit / 8)] & mask));
        }
        const auto fromUri = gs1::ParseTagUri(decoded.value->TagUri());
        FUZZ_CHECK(fromUri);
        FUZZ_CHECK(fromUri.value->TagUri() == decoded.value->TagUri());
        (void)decoded.value->PureIdentityUri();
        (void)decoded.value->ElementString();
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto parsed = gs1::ParseTagUri(text)) {
        const auto encoded = gs1::Encode(*parsed.value);
        FUZZ_CHECK(encoded);
        const auto decoded = gs1::Decode(*encoded.value);
        FUZZ_CHECK(decoded);
        FUZZ_CHECK(decoded.value->TagUri() == parsed.value->TagUri());
    } else {
        FUZZ_CHECK(!parsed.error.empty());
    }
    return 0;
}
