// SPDX-License-Identifier: MIT
// Fills the reader library's window hooks and the string table's translator with Qt.
//
// A reader command may run on a thread other than the window's (a series being encoded runs
// on a thread of its own). There every hook does nothing: widgets belong to the window's
// thread, whose own event loop keeps dispatching its messages meanwhile.
#pragma once

namespace kvara {

void InstallQtHooks();
// Whether the window's thread is dispatching messages from inside a reader command's wait:
// an operation of the window is then halfway through its commands.
bool InsideReaderWait();

}  // namespace kvara
