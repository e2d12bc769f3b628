// SPDX-License-Identifier: MIT
// The program's icon, for every window of the program and its message boxes.
#pragma once

#include <QIcon>

namespace kvara {

// The icon in the sizes the program carries (built into the program, so it shows even when
// the program runs from its build folder).
QIcon ProgramIcon();

}  // namespace kvara
