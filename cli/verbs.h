// SPDX-License-Identifier: MIT
// The verbs of the command line, each in its own file.
#pragma once

#include <memory>

#include "cli/command.h"

namespace kvara::cli {

std::unique_ptr<Command> ListVerb();
std::unique_ptr<Command> InfoVerb();
std::unique_ptr<Command> InventoryVerb();
std::unique_ptr<Command> ReadVerb();
std::unique_ptr<Command> WriteVerb();
std::unique_ptr<Command> SetEpcVerb();
std::unique_ptr<Command> LockVerb();
std::unique_ptr<Command> PowerVerb();
std::unique_ptr<Command> NetVerb();
std::unique_ptr<Command> EpcVerb();
std::unique_ptr<Command> TidVerb();
std::unique_ptr<Command> EncodeVerb();
std::unique_ptr<Command> JobVerb();

}  // namespace kvara::cli
