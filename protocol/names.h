// SPDX-License-Identifier: MIT
// Pure helpers for reader names, device type answers and address texts.
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace kvara {

enum class LinkKind { kSerial, kHid, kTcp };

// Which link a reader name (without its address suffix) selects.
LinkKind LinkKindOf(const std::string& name);

// Cuts a ":n" address suffix off the name: decimal digits after the last ":", to the end, with
// a name before it. Anything else (no digits, other characters, stable device names with
// colons of their own) is part of the name, and the address is 1.
// The result of examining a port name before opening it.
struct PortName {
    bool comName = false;  // a COM name: a device path under /dev, or COMn
    std::string openName;  // device path to open, or the FTDI serial number
    int portNumber = 0;
};

// COM names: a device path, normally under /dev, or a symlink to one such as a simulated
// reader's stable link (anything from a blank on, such as a "[...]" tag, is dropped); or "COM"
// in any case followed by a digit 1-9, optionally behind "\\.\", meaning /dev/ttyS(n-1).
// Every other name is an FTDI serial number, used unchanged. The port number is the trailing
// number of a device path, the number of a COM name, the leading number of a serial number.
PortName ExaminePortName(const std::string& name);

struct ReaderAddress {
    std::string name;
    std::uint32_t address = 1;
};
ReaderAddress SplitAddressSuffix(const std::string& name);

// The baud rate an open uses: the caller's for COM names and device paths, else 19200.
int EffectiveBaudRate(const std::string& name, int baudRate);

// Parity character and stop bits of a parity index.
struct LineCode {
    char parity = 'N';
    int stopBits = 1;
};
LineCode LineCodeOf(int parityIndex);

// The device type answer: three hexadecimal digits of the model code, then the firmware digit.
constexpr std::size_t kDeviceTypeBytes = 4;
constexpr std::size_t kDeviceTypeFirmwareDigit = 3;
// The reader information command of the models with adjustable transmit power; it answers
// with a text.
constexpr std::uint8_t kCommandReaderInfo = 0x09;

// Model code of a device type answer: its first three characters as a hexadecimal number, read
// as far as the hexadecimal digits go (0 when none).
int ModelCode(const ByteBuffer& answer);
// Model name of a device type answer: "---" for fewer than 3 bytes, "" for a code not in the
// model table.
std::string ModelName(const ByteBuffer& answer);

// Reads a network address text: "a.b.c.d[-port]" or "[name][-port]". Fields it does not reach
// keep the caller's values (see the implementation for the exact rules).
void ParseAddressText(const std::string& text, std::uint8_t octets[4], std::uint16_t* port,
                      std::string* name);

}  // namespace kvara
