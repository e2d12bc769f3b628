// SPDX-License-Identifier: MIT
// A small test build of hidapi: simulated readers behind hid_open_path, loaded by the library's
// own dlopen of libhidapi-hidraw.so.0. Tests link it and control it through these functions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "sim/sim_reader.h"

namespace fakehid {

// A simulated reader answering at path, with its report lengths (report id byte included).
__attribute__((visibility("default"))) std::shared_ptr<kvara::sim::SimReader> AddDevice(
    const std::string& path, std::size_t inputLength = 9, std::size_t outputLength = 9);
__attribute__((visibility("default"))) void Reset();
// The reports written to the device, whole, as they arrived.
__attribute__((visibility("default"))) std::vector<kvara::ByteBuffer> Written(
    const std::string& path);
// Modes of the mode reports received, in order.
__attribute__((visibility("default"))) std::vector<int> Modes(const std::string& path);
// Reads and writes fail from now on, as after an unplug.
__attribute__((visibility("default"))) void Unplug(const std::string& path);
__attribute__((visibility("default"))) int OpenCount(const std::string& path);
// While held, hid_write blocks until released (a device that takes no output report).
__attribute__((visibility("default"))) void HoldWrites(const std::string& path, bool hold);
// Input reports sent exactly as given (without their id byte), before any answer.
__attribute__((visibility("default"))) void QueueRawInput(const std::string& path,
                                                          const kvara::ByteBuffer& report);

}  // namespace fakehid
