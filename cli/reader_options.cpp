// SPDX-License-Identifier: MIT
#include "cli/reader_options.h"

#include "common/hex.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

constexpr int kOpenNotIdentified = -11;

// What the ending means for the tag, said before the reader's own words.
const char* EndingWords(tags::Ending ending) {
    switch (ending) {
        case tags::Ending::kRefused:
            return "refused by the reader: ";
        case tags::Ending::kNotSent:
            return "not sent: ";
        case tags::Ending::kUnknown:
            return "outcome unknown (the tag may have changed; read it back): ";
        case tags::Ending::kDone:
            break;
    }
    return "";
}

}  // namespace

void AddReaderOptions(CLI::App& verb, ReaderOptions& options) {
    verb.add_option("-i,--interface", options.interface,
                    "the reader: /dev/... or COMn, \"USB: <serial>\", \"<serial> HID\", \"LAN: "
                    "a.b.c.d-port\"")
        ->required();
    verb.add_option("--baud", options.line.baudRate, "baud rate of a serial port")
        ->capture_default_str();
    verb.add_option("--parity", options.line.parity,
                    "0 none, 1 even, 2 odd, 3 none with 2 stop bits")
        ->check(CLI::Range(0, 3))
        ->capture_default_str();
    verb.add_option("--timeout", options.line.timeoutMs, "time-out of each answer in ms")
        ->check(CLI::Range(1, 60000))
        ->capture_default_str();
    verb.add_option("--address", options.line.address, "the reader's bus address")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
}

std::optional<Failure> OpenReader(tags::TagSession& session, const ReaderOptions& options) {
    const int result = session.Open(options.interface, options.line);
    if (result > 0) {
        return std::nullopt;
    }
    if (result == kOpenNotIdentified) {
        return Failure{kReaderError, "no reader answers at " + options.interface};
    }
    const std::string cause = tags::TagSession::OpenError();
    return Failure{kReaderError, "cannot open " + options.interface + ": " +
                                     (cause.empty() ? "error " + std::to_string(result) : cause)};
}

bool ParseHexText(const std::string& text, ByteBuffer* bytes) {
    return ParseHexPairs(text, " :-", bytes);
}

std::string HexText(const ByteBuffer& bytes) {
    return HexPairs(bytes);
}

std::optional<Failure> HexArgument(const std::string& text, const char* what, ByteBuffer* bytes) {
    if (!ParseHexText(text, bytes)) {
        return Failure{kUsage, std::string(what) + " \"" + text + "\" is not hex"};
    }
    return std::nullopt;
}

std::optional<Failure> PasswordArgument(const std::string& text, ByteBuffer* bytes) {
    if (text.empty()) {
        bytes->clear();
        return std::nullopt;
    }
    if (!ParseHexText(text, bytes) || bytes->size() != 4) {
        return Failure{kUsage, "a password is 4 bytes in hex"};
    }
    return std::nullopt;
}

std::string CodeTextOf(int code) {
    return tags::CodeText(code) + " (code " + std::to_string(code) + ")";
}

Failure ReaderFailure(const std::string& what, int code) {
    return Failure{kReaderError,
                   what + ": " + EndingWords(tags::EndingOf(code)) + CodeTextOf(code)};
}

Failure OutcomeFailure(const tags::Outcome& outcome, const std::string& what,
                       const ByteBuffer& epc) {
    if (outcome.code == KVARA_ERROR_COLLISION && epc.empty()) {
        return Failure{kReaderError, what + ": more than one tag answered; name one with --epc"};
    }
    const std::string step = outcome.step == tags::Step::kSelect ? "select " + HexText(epc) : what;
    return ReaderFailure(step, outcome.code);
}

}  // namespace kvara::cli
