// SPDX-License-Identifier: MIT
// Why a serial port would not open for this user, so the message can say what to do.
#pragma once

#include <string>

namespace kvara {

// The device path an interface text names ("/dev/ttyUSB0 [tag]:1" gives /dev/ttyUSB0, "COM3"
// gives /dev/ttyS2); empty for other names.
std::string DevicePathOf(const std::string& interfaceText);

// The group that grants access to the device when this user may not open it (for example
// "dialout"); empty when access is not the problem.
std::string PermissionHint(const std::string& interfaceText);

}  // namespace kvara
