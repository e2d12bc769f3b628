// SPDX-License-Identifier: MIT
// A small test build of the FTDI D2XX library: simulated readers by serial number behind the
// library's Win32-style entry points, loaded by the library's own dlopen of libftd2xx.so.
#pragma once

#include <memory>
#include <string>

#include "sim/sim_reader.h"
#include "transport/ftdi_binding.h"

namespace fakeftdi {

// A reader with the serial number; the maker's product id unless another is given.
__attribute__((visibility("default"))) std::shared_ptr<kvara::sim::SimReader> AddDevice(
    const std::string& serial, kvara::DWORD productId = kvara::kFtdiReaderProductId);
__attribute__((visibility("default"))) void Reset();
// Reads, writes and status queries fail from now on, as after an unplug.
__attribute__((visibility("default"))) void Unplug(const std::string& serial);
__attribute__((visibility("default"))) int Latency(const std::string& serial);
__attribute__((visibility("default"))) kvara::FTDCB LastDcb(const std::string& serial);
__attribute__((visibility("default"))) bool IsOpen(const std::string& serial);
// Calls that came with a handle naming no device (the real library would use it regardless).
__attribute__((visibility("default"))) int BadHandleCalls();

}  // namespace fakeftdi
