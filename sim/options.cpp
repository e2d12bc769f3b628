// SPDX-License-Identifier: MIT
#include "sim/options.h"

#include <charconv>
#include <sstream>

#include "common/hex.h"

namespace kvara::sim {

const char* const kSimUsage =
    "usage: kvara-sim [options]\n"
    "Serves a simulated Kvara reader on a pseudo terminal and prints its device path.\n"
    "  --link PATH        keep a symlink at PATH pointing to the terminal\n"
    "  --type CODE        device type answer, four characters (default 3120)\n"
    "  --modes 0|1|both   framing modes answered (default both)\n"
    "  --address N        reader bus address (default 1)\n"
    "  --delay MS         time to answer (default 0)\n"
    "  --wire-baud N      model a serial line of N baud: an answer leaves no earlier than the\n"
    "                     request and the answer take on it (10 bits a byte)\n"
    "  --tag-time US      model the tag: each tag command takes US microseconds\n"
    "  --conveyor         the tags pass one at a time, in the order given: the tag in the field\n"
    "                     leaves when its EPC was written and the next inventory starts\n"
    "  --power N          transmit power in tenths of a dBm (default 270)\n"
    "  --info TEXT        answer of the information command\n"
    "  --tag EPC[,tid=HEX][,user=HEX][,kill=HEX][,access=HEX][,lock-AREA=N]...\n"
    "                     a tag in the field (repeatable); AREA is kill, access, epc, tid or\n"
    "                     user, N the lock action 0-3\n"
    "  --fault F          silent | delay=MS | split=N:GAP_MS | stray=HEX | badcheck |\n"
    "                     status=N | trailing=HEX | repeat=MS (every answer once more, MS\n"
    "                     later) | answer-address=N (answers carry bus address N) | drop\n"
    "                     (close the TCP connection instead of answering) | stuck (the TCP\n"
    "                     port answers only after record 0's mode byte was switched)\n"
    "                     (repeatable, combined)\n"
    "  --one-at-a-time    answer requests one after the other: an answer leaves its time after\n"
    "                     the previous one at the earliest\n"
    "  --byte-errors N    a noisy line: each byte either way is changed with a chance of N in\n"
    "                     1000\n"
    "Network reader (besides the pseudo terminal):\n"
    "  --tcp PORT         serve the reader on this TCP port as well (0: any free port)\n"
    "  --tcp-address A    address the TCP port listens on (default 127.0.0.1)\n"
    "  --udp              answer the datagram protocol on UDP port 30718 of every address:\n"
    "                     discovery, setup records, identity, IP-SETUP and finish\n"
    "  --ip A.B.C.D       the reader's configured address in record 0 (default 0.0.0.0, DHCP)\n"
    "  --mask-bits N      host bits of its subnet mask (default 8)\n"
    "  --gateway A.B.C.D  its gateway\n"
    "  --name NAME        its DHCP name, up to 8 characters (default KVSIM)\n"
    "  --mac HEX          its MAC address, 00:20:4A:12:34:56 by default\n"
    "  --net-port N       the TCP port record 0 names (default: the --tcp port, else 10001)\n"
    "  --device-text T    the device text of record 2 (default KV-P20; the maker's begin KV-)\n";

namespace {

bool ParseInt(const std::string& text, int* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

bool ParseTag(const std::string& text, SimTag* tag, std::string* error) {
    const auto parts = Split(text, ',');
    ByteBuffer epc;
    if (parts.empty() || !ParseHex(parts[0], &epc) || epc.empty()) {
        *error = "--tag needs an EPC in hex: " + text;
        return false;
    }
    *tag = SimTag::WithEpc(epc);
    const char* areas[] = {"kill", "access", "epc", "tid", "user"};
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t eq = parts[i].find('=');
        const std::string key = parts[i].substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : parts[i].substr(eq + 1);
        ByteBuffer bytes;
        if (key.rfind("lock-", 0) == 0) {
            int action = 0;
            bool found = false;
            for (int a = 0; a < 5; ++a) {
                if (key.substr(5) == areas[a] && ParseInt(value, &action) && action >= 0 &&
                    action <= 3) {
                    tag->locks[a] = static_cast<LockState>(action);
                    found = true;
                }
            }
            if (!found) {
                *error = "bad lock in --tag: " + parts[i];
                return false;
            }
            continue;
        }
        if (!ParseHex(value, &bytes)) {
            *error = "bad hex in --tag: " + parts[i];
            return false;
        }
        if (key == "tid") {
            tag->tid = bytes;
        } else if (key == "user") {
            tag->user = bytes;
        } else if ((key == "kill" || key == "access") && bytes.size() == 4) {
            std::copy(bytes.begin(), bytes.end(), tag->reserved.begin() + (key == "kill" ? 0 : 4));
        } else {
            *error = "bad field in --tag: " + parts[i];
            return false;
        }
    }
    return true;
}

bool ParseFault(const std::string& text, SimFault* fault, std::string* error) {
    const std::size_t eq = text.find('=');
    const std::string key = text.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : text.substr(eq + 1);
    bool ok = true;
    if (key == "silent") {
        fault->silent = true;
    } else if (key == "badcheck") {
        fault->badCheck = true;
    } else if (key == "delay") {
        ok = ParseInt(value, &fault->delayMs) && fault->delayMs >= 0;
    } else if (key == "status") {
        ok = ParseInt(value, &fault->status) && fault->status >= 0 && fault->status <= 255;
    } else if (key == "split") {
        const auto parts = Split(value, ':');
        ok = parts.size() == 2 && ParseInt(parts[0], &fault->pieces) &&
             ParseInt(parts[1], &fault->gapMs) && fault->pieces >= 1 && fault->gapMs >= 0;
    } else if (key == "drop") {
        fault->drop = true;
    } else if (key == "stray") {
        ok = ParseHex(value, &fault->strayBefore);
    } else if (key == "trailing") {
        ok = ParseHex(value, &fault->trailing);
    } else if (key == "repeat") {
        ok = ParseInt(value, &fault->repeatAfterMs) && fault->repeatAfterMs >= 0;
    } else if (key == "answer-address") {
        ok = ParseInt(value, &fault->answerAddress) && fault->answerAddress >= 0 &&
             fault->answerAddress <= 255;
    } else {
        ok = false;
    }
    if (!ok) {
        *error = "bad --fault: " + text;
    }
    return ok;
}

}  // namespace

bool ParseHex(const std::string& text, ByteBuffer* bytes) {
    return ParseHexPairs(text, " ", bytes);
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options,
                     std::string* error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options->help = true;
            continue;
        }
        if (arg == "--udp") {
            options->udp = true;
            continue;
        }
        if (arg == "--conveyor") {
            options->config.conveyor = true;
            continue;
        }
        if (arg == "--one-at-a-time") {
            options->config.oneAtATime = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = "missing value for " + arg;
            return false;
        }
        const std::string& value = args[++i];
        int number = 0;
        if (arg == "--link") {
            options->symlink = value;
        } else if (arg == "--type") {
            if (value.empty() || value.size() > 250) {
                *error = "bad --type";
                return false;
            }
            options->config.deviceType = value;
        } else if (arg == "--modes") {
            options->config.mode0 = value == "0" || value == "both";
            options->config.mode1 = value == "1" || value == "both";
            if (!options->config.mode0 && !options->config.mode1) {
                *error = "--modes takes 0, 1 or both";
                return false;
            }
        } else if (arg == "--address" && ParseInt(value, &number) && number >= 0 && number <= 255) {
            options->config.address = static_cast<std::uint8_t>(number);
        } else if (arg == "--delay" && ParseInt(value, &number) && number >= 0) {
            options->config.answerDelayMs = number;
        } else if (arg == "--wire-baud" && ParseInt(value, &number) && number >= 0) {
            options->config.wireBaud = number;
        } else if (arg == "--byte-errors" && ParseInt(value, &number) && number >= 0 &&
                   number <= 1000) {
            options->config.byteErrorsPerMille = number;
        } else if (arg == "--tag-time" && ParseInt(value, &number) && number >= 0) {
            options->config.tagTimeUs = number;
        } else if (arg == "--power" && ParseInt(value, &number) && number >= 0 &&
                   number <= 0xFFFF) {
            options->config.txPower = static_cast<std::uint16_t>(number);
        } else if (arg == "--info") {
            options->config.infoText = value.substr(0, 250);
        } else if (arg == "--tag") {
            SimTag tag;
            if (!ParseTag(value, &tag, error)) {
                return false;
            }
            options->tags.push_back(tag);
        } else if (arg == "--fault" && value == "stuck") {
            options->stuck = true;
        } else if (arg == "--fault") {
            if (!ParseFault(value, &options->fault, error)) {
                return false;
            }
        } else if (arg == "--tcp" && ParseInt(value, &number) && number >= 0 && number <= 0xFFFF) {
            options->tcpPort = number;
        } else if (arg == "--tcp-address" && ParseSimIpv4(value, nullptr)) {
            options->tcpAddress = value;
        } else if (arg == "--ip" && ParseSimIpv4(value, &options->net.configured)) {
        } else if (arg == "--gateway" && ParseSimIpv4(value, &options->net.gateway)) {
        } else if (arg == "--mask-bits" && ParseInt(value, &number) && number >= 0 &&
                   number <= 32) {
            options->net.hostBits = static_cast<std::uint8_t>(number);
        } else if (arg == "--name" && !value.empty() && value.size() <= 8) {
            options->net.name = value;
        } else if (arg == "--mac" && ParseMac(value, &options->net.mac)) {
        } else if (arg == "--net-port" && ParseInt(value, &number) && number > 0 &&
                   number <= 0xFFFF) {
            options->net.tcpPort = static_cast<std::uint16_t>(number);
            options->netPortGiven = true;
        } else if (arg == "--device-text" && value.size() <= 30) {
            options->net.deviceText = value;
        } else {
            *error = "unknown or bad option: " + arg + " " + value;
            return false;
        }
    }
    return true;
}

}  // namespace kvara::sim
