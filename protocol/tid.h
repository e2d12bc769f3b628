// SPDX-License-Identifier: MIT
// The TID bank: who made the chip and which chip it is. Class E2 (EPC Gen2, as GS1 allocates
// it) carries the extended-TID, security and file indicators, a 9-bit mask designer id and a
// 12-bit tag model number; class E0 (ISO/IEC 7816-6) a maker code and a 48-bit serial number.
// Names and memory sizes come from a catalogue loaded at run time (data/tid-chips.txt).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "common/bytes.h"

namespace kvara {

struct ChipModel {
    std::string name;
    int epcBits = 0;   // -1: not known
    int userBits = 0;  // -1: not known
};

// Makers and chips by their numbers; filled from the catalogue text.
struct TidCatalog {
    std::map<int, std::string> makers;               // by mask designer id
    std::map<std::pair<int, int>, ChipModel> chips;  // by (MDID, TMN)
    std::map<int, std::string> isoMakers;            // class E0, by maker code
};

// Reads the catalogue's lines (see the file for their form). Lines it cannot read are counted
// in *badLines (when given) and otherwise passed over.
TidCatalog ParseTidCatalog(const std::string& text, int* badLines = nullptr);

struct TidInfo {
    std::uint8_t allocationClass = 0;  // 0xE2, 0xE0, or what the first byte says
    bool known = false;                // one of the two classes above, long enough to decode
    // Class E2.
    bool extendedTid = false;
    bool security = false;
    bool file = false;
    int maskDesigner = -1;
    int modelNumber = -1;
    // Class E0.
    int isoMaker = -1;
    ByteBuffer serial;  // the 48-bit serial number
    // From the catalogue; empty when it does not know the number.
    std::string makerName;
    std::optional<ChipModel> chip;

    // "Impinj" or the number as hex ("MDID 0x02A") when the catalogue does not know it.
    std::string MakerText() const;
    // "Monza 4QT" or the number as hex ("TMN 0x105").
    std::string ModelText() const;
};

TidInfo DecodeTid(const ByteBuffer& tid, const TidCatalog& catalog);

}  // namespace kvara
