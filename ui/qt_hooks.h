// SPDX-License-Identifier: MIT
// Fills the reader library's window hooks and the string table's translator with Qt.
#pragma once

namespace kvara {

void InstallQtHooks();

}  // namespace kvara
