// SPDX-License-Identifier: MIT
// Interface-dialog logic that needs no widget. Standard library only.
#pragma once

#include <string>

#include "common/bytes.h"

namespace kvara {

// Brings the stored list up to date with a listing answer (zero-terminated entries closed by
// an empty one, as much as fits in length bytes). Returns whether anything changed.
bool SyncList(StringList& stored, const char* answer, std::size_t length);

// A USB entry of a HID reader that can switch to virtual COM: it contains " HID" and one of
// "5260-", "5265-", "5266-", each found after the first character.
bool IsSwitchableHidReader(const std::string& entry);
// An entry of a reader on the maker's virtual COM driver: "COM..." or a device path, at least
// four characters, with " [Quarn Virtual COM" after its first four.
bool IsVirtualComReader(const std::string& entry);

// The line value of the dialog's choices: baud rate + 1 for even parity, + 2 for odd, + 3 for
// none with two stop bits, + 0 otherwise. parity: 0 none, 1 even, 2 odd; stopBits 1 or 2.
int LineValueOf(int baudRate, int parity, int stopBits);

// The list entry without a leading "\\.\".
std::string WithoutDevicePrefix(const std::string& entry);

}  // namespace kvara
