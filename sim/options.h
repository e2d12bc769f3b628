// Command-line options of kvara-sim, parsed without I/O so tests can reach them.
#pragma once

#include <string>
#include <vector>

#include "sim/sim_reader.h"

namespace kvara::sim {

struct SimOptions {
    SimConfig config;
    std::vector<SimTag> tags;
    SimFault fault;
    std::string symlink;
    bool help = false;
};

// Parses the arguments (without the program name). On error returns false with a message.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

// Hex text ("0A BC01", blanks allowed) to bytes; false on any other character or an odd digit.
bool ParseHex(const std::string& text, ByteBuffer* bytes);

extern const char* const kSimUsage;

}  // namespace kvara::sim
