// SPDX-License-Identifier: MIT
// Reader names and address texts as a user or a settings file gives them: the network
// address text, the bus address suffix, the choice of link, the COM port name and the model
// name of a device type answer. Properties besides memory safety:
// - an address text that is neither "[name]" nor four dotted fields leaves the caller's
//   octets and port as they were; a "[name]" text clears the octets and names a part of it;
// - the address suffix is cut off the name, never anything else;
// - a COM port name opens a device path, never an empty name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/names.h"
#include "transport/serial_port.h"

namespace {

void AddressText(const std::string& text) {
    std::uint8_t octets[4] = {0xA1, 0xB2, 0xC3, 0xD4};
    std::uint16_t port = 0xBEEF;
    std::string name = "unchanged";
    kvara::ParseAddressText(text, octets, &port, &name);
    if (!text.empty() && text[0] == '[') {
        FUZZ_CHECK(octets[0] == 0 && octets[1] == 0 && octets[2] == 0 && octets[3] == 0);
        FUZZ_CHECK(text.find(name, 1) == 1);
        return;
    }
    FUZZ_CHECK(name.empty());
    std::size_t dots = 0;
    for (char c : text) {
        dots += c == '.' ? 1 : 0;
    }
    if (dots < 3 || text[0] == '.') {
        FUZZ_CHECK(octets[0] == 0xA1 && octets[1] == 0xB2 && octets[2] == 0xC3 &&
                   octets[3] == 0xD4);
        FUZZ_CHECK(port == 0xBEEF);
    }
    kvara::ParseAddressText(text, nullptr, nullptr, nullptr);  // every output is optional
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    AddressText(text);

    const kvara::ReaderAddress split = kvara::SplitAddressSuffix(text);
    FUZZ_CHECK(text.compare(0, split.name.size(), split.name) == 0);
    FUZZ_CHECK(split.name.size() == text.size() || text[split.name.size()] == ':');
    // A suffix is digits only, to the end.
    for (std::size_t i = split.name.size() + 1; i < text.size(); ++i) {
        FUZZ_CHECK(text[i] >= '0' && text[i] <= '9');
    }
    (void)kvara::LinkKindOf(split.name);
    (void)kvara::EffectiveBaudRate(text, 9600);

    const kvara::PortName port = kvara::ExaminePortName(text);
    FUZZ_CHECK(!port.comName || port.openName.rfind("/", 0) == 0);

    (void)kvara::ModelName(kvara::ByteBuffer(data, data + size));
    return 0;
}
