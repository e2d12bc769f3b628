// SPDX-License-Identifier: MIT
// Command-line options of kvara-sim, parsed without I/O so tests can reach them.
#pragma once

#include <string>
#include <vector>

#include "sim/net_reader.h"
#include "sim/sim_reader.h"

namespace kvara::sim {

struct SimOptions {
    SimConfig config;
    std::vector<SimTag> tags;
    SimFault fault;
    std::string symlink;
    bool help = false;
    // The network reader: a TCP command port (-1: none, 0: any free port) on an address, and
    // the datagram side on UDP port 30718.
    int tcpPort = -1;
    std::string tcpAddress = "127.0.0.1";
    bool udp = false;
    SimNetConfig net;
    bool netPortGiven = false;  // --net-port: record 0 names this port instead of the TCP one
    bool stuck = false;         // the command port answers only after the mode byte switches
};

// Parses the arguments (without the program name). On error returns false with a message.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

// Hex text ("0A BC01", blanks allowed) to bytes; false on any other character or an odd digit.
bool ParseHex(const std::string& text, ByteBuffer* bytes);

extern const char* const kSimUsage;

}  // namespace kvara::sim
