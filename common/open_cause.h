// SPDX-License-Identifier: MIT
// Why the last attempt to open a reader on this thread failed, in English: set where the
// failure is found (the system's error, the group that grants access), read by the reader API
// for its caller, so that "cannot open" can say why.
#pragma once

#include <string>

namespace kvara {

void ClearOpenCause();
void SetOpenCause(const std::string& cause);
// Sets the cause only when none was set since the last clear (a general fallback that must not
// hide the specific cause found deeper down).
void SetOpenCauseIfNone(const std::string& cause);
const std::string& OpenCause();

// The system's text for an errno value (thread-safe).
std::string SystemErrorText(int error);

// The group that owns the device file at path and may grant access to it ("dialout" when the
// group has no name); empty when the file cannot be looked at.
std::string DeviceGroup(const std::string& path);

// Why the device file at path would not open with the given errno, with what to do where the
// user can do something: for EACCES the group that owns the device and may grant access.
std::string DeviceOpenCause(const std::string& path, int error);

}  // namespace kvara
