// SPDX-License-Identifier: MIT
// A reader opened for one run of the command line: the interface name as the window's
// settings hold it, turned into a name for the reader API, and closed again at the end.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace kvara::cli {

// Exit codes of the command line.
enum Exit : int { kOk = 0, kReaderError = 1, kUsage = 2, kRefused = 3 };

// An error to report and the exit code it ends the run with.
struct Failure {
    int exitCode = kReaderError;
    std::string message;
};

// The name the reader API opens for an interface as the window lists and saves it: "LAN: "
// and "USB: " are dropped; device paths, COM names, HID and FTDI names stay.
std::string ReaderNameOf(const std::string& interfaceName);

struct LineOptions {
    int baudRate = 19200;
    int parity = 0;  // 0 none, 1 even, 2 odd, 3 none with two stop bits
    int timeoutMs = 500;
    int address = 1;
};

class ReaderSession {
public:
    ReaderSession() = default;
    ~ReaderSession();
    ReaderSession(const ReaderSession&) = delete;
    ReaderSession& operator=(const ReaderSession&) = delete;

    // Opens the reader; the failure says why.
    std::optional<Failure> Open(const std::string& interfaceName, const LineOptions& line);
    int Handle() const { return m_handle; }
    // The reader's last error as "text (code n)".
    std::string LastError() const;
    Failure Error(const std::string& what) const {
        return Failure{kReaderError, what + ": " + LastError()};
    }

    // Selects the tag with this EPC (an empty EPC selects nothing: the one tag in the field).
    bool Select(const ByteBuffer& epc);
    // Every tag an inventory finds: its PC and EPC; false when the inventory failed.
    struct Seen {
        std::uint16_t pc = 0;
        ByteBuffer epc;
    };
    bool Inventory(std::vector<Seen>* tags);

private:
    int m_handle = 0;
};

// Hex text to bytes ("E2 00 11", "e20011"); false on anything else or an odd digit count.
bool ParseHexText(const std::string& text, ByteBuffer* bytes);
std::string HexText(const ByteBuffer& bytes);  // upper case, no blanks

// The text of an error code of the reader API.
std::string ErrorTextOf(int code);

}  // namespace kvara::cli
