// SPDX-License-Identifier: MIT
// The chip catalogue the window names TID makers and models from, loaded once.
#pragma once

#include "protocol/tid.h"

namespace kvara {

// The catalogue beside the program, else in ../share/kvara-programmer, else in the installed
// data folder; empty (every maker and model shown by number) when none of them can be read.
const TidCatalog& ChipCatalog();

}  // namespace kvara
