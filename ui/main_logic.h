// Main-window arithmetic that needs no widget: PC word, firmware texts, interface text, line
// values, window placement. Standard library only.
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace kvara {

// PC byte 0 with the EPC length field set from a length in bytes: the word count (length / 2,
// truncated towards zero) in bits 3-7, keeping the bits of old selected by keepMask.
std::uint8_t PcWithLength(int lengthBytes, std::uint8_t old, std::uint8_t keepMask);
// EPC length in bytes coded in PC byte 0.
int LengthFromPc(std::uint8_t pcByte0);
// The "Nutzlänge" that codes an EPC of the given number of bytes: whole words, an odd byte
// rounded up to its word.
int UseLengthForEpc(std::size_t epcBytes);
// Whether "Nutzlänge" (bytes) and a typed EPC of epcBytes bytes code different word counts.
bool UseLengthDisagrees(int useLengthBytes, std::size_t epcBytes);
// A value rounded down to the next even number (fields that hold whole words).
int RoundDownToEven(int value);

// Value of the firmware digit (the fourth character of the device type answer) as the title
// shows it: 0-9, A-Z and a-z as 10-35, anything else 255.
int FirmwareDigitForTitle(char c);
// The same as the version check records it: 0-9, A-Z 10-35, a-z 36-61, anything else 0.
int FirmwareDigitForRecord(char c);
std::string FormatFirmwareTitle(const std::string& pattern, int digit);  // "FW V%d.%02d"
std::string RecordedFirmwareVersion(char c);                              // "1.%02d"
// Model code of a device type answer: its first three characters as a hex number.
int ModelCodeOf(const ByteBuffer& answer);
bool IsReaderOnly(int modelCode);
bool HasTransmitPowerDialog(int modelCode);

// The text given to the open operation: the saved interface name without a leading "USB: "
// or "LAN: ", followed by ":" and the device address.
std::string InterfaceText(const std::string& savedName, int address);
// Line value: baud rate plus the line code (0-3) in its last two decimal digits.
struct LineValue {
    int baudRate = 19200;
    int parityIndex = 0;
};
LineValue SplitLineValue(int lineValue);

// Manufacturer and model number of an EPC Gen2 TID (class 0xE2); empty texts otherwise.
struct TidIdentity {
    std::string manufacturer;
    std::string model;
};
TidIdentity DecodeTid(const ByteBuffer& tid);

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
// Moves a saved window rectangle into the bounding rectangle of the screens without resizing:
// left, then top, then right, then bottom.
Rect FitIntoScreens(Rect saved, const Rect& screens);

}  // namespace kvara
