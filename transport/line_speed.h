// SPDX-License-Identifier: MIT
// Line speeds the termios table has no constant for, through the kernel's own interface.
#pragma once

namespace kvara {

// Sets input and output speed of the terminal to any rate in baud (BOTHER). Kept apart from
// <termios.h>: the kernel's termios2 structures clash with the C library's. True when the
// kernel took the rate.
bool SetArbitraryLineSpeed(int fd, int baud);
// The output speed in baud as the kernel keeps it, or -1.
int LineSpeed(int fd);

}  // namespace kvara
