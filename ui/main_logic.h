// SPDX-License-Identifier: MIT
// Main-window arithmetic that needs no widget: EPC length, firmware texts, TID names, interface
// text, line values, window placement. Standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "protocol/gs1.h"
#include "protocol/tid.h"

namespace kvara {

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
std::string RecordedFirmwareVersion(char c);                             // "1.%02d"
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

// What the TID group shows of a TID: maker and chip by name from the catalogue, or by number
// where the catalogue does not know them, and the numbers themselves for the tooltip
// ("MDID 0x001, TMN 0x105"). All empty for a TID of neither known class or too short to decode.
struct TidIdentity {
    std::string manufacturer;
    std::string model;
    std::string numbers;
};
TidIdentity TidIdentityOf(const ByteBuffer& tid, const TidCatalog& catalog);

// What the window shows of an EPC's GS1 identity: the pure-identity URI, the element string
// (empty for schemes without one) and the tag URI; or, for no GS1 EPC, the reason.
struct EpcIdentity {
    bool gs1 = false;
    std::string pureIdentity;
    std::string elementString;
    std::string tagUri;
    std::string reason;  // in English
    gs1::Reason why;     // the same, for the window to say in its language
};
EpcIdentity DescribeEpc(const ByteBuffer& epc);

// A stretch of a write: offset and length in bytes from the start of the data.
struct ByteRun {
    std::size_t offset = 0;
    std::size_t length = 0;
};
// The words of wanted (written from byte address start) that must go to the tag, given what was
// last read from it: known, read from byte address knownStart. Runs of adjacent words merge into
// one run; a word not wholly covered by known counts as changed; a last odd byte is a word of its
// own. A start that is not on a word gives one run over everything.
std::vector<ByteRun> ChangedWordRuns(int start, const ByteBuffer& wanted, int knownStart,
                                     const ByteBuffer& known);
// The number of words a write of that many bytes touches.
int WordsOf(std::size_t bytes);

// The largest "Nutzlänge" the PC word can code: five length bits count up to 31 words.
constexpr int kMaxUseLength = 62;

// Which tag the data in each group of fields came from. A read fills a group from the selected
// tag; a change the user makes to a group makes its data the selected tag's; a write leaves on
// the selected tag what the group shows. A group whose data came from a tag other than the
// selected one is shown as such, and a write of it asks first.
enum class FieldGroup { kEpc, kTid, kUser, kKill, kAccess };
constexpr int kFieldGroups = 5;

class FieldOrigins {
public:
    void Set(FieldGroup group, const ByteBuffer& tag);
    void Clear(FieldGroup group);
    // The tag the group's data came from; false when it came from none (empty, or typed
    // without a tag selected).
    bool Known(FieldGroup group, ByteBuffer* tag = nullptr) const;
    // The group shows data of a tag other than the selected one.
    bool FromOtherTag(FieldGroup group, const ByteBuffer& selected) const;
    // After the tag's EPC was written: what came from it now comes from the tag under its new
    // EPC.
    void Renamed(const ByteBuffer& from, const ByteBuffer& to);

private:
    struct Origin {
        bool known = false;
        ByteBuffer tag;
    };
    Origin m_groups[kFieldGroups];
};

// A tag's EPC short enough for a title or a question line: the whole EPC up to 8 bytes, else
// its first three and last two bytes around an ellipsis.
std::string ShortEpcText(const ByteBuffer& epc);

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
// Moves a saved window rectangle into the bounding rectangle of the screens without resizing:
// left, then top, then right, then bottom.
Rect FitIntoScreens(Rect saved, const Rect& screens);
// Where a window goes that was saved at saved but must have at least the size minimum: its
// size is the larger of both, bounded by the screen, and the whole of it is moved onto the
// screen (a window from an older, smaller version would otherwise reach below it).
Rect PlaceOnScreen(const Rect& saved, int minimumWidth, int minimumHeight, const Rect& screen);

}  // namespace kvara
