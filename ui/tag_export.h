// SPDX-License-Identifier: MIT
// The inventory and the last-read banks of a tag as CSV text (RFC 4180: comma-separated, fields
// with commas, quotes or line breaks quoted, CRLF line ends), for the clipboard and for files.
// Standard library only.
#pragma once

#include <string>
#include <vector>

#include "common/bytes.h"

namespace kvara {

// One line of the inventory export: an EPC, how many tags answered with it, its GS1 identity.
struct InventoryLine {
    ByteBuffer epc;
    int count = 0;
};
// The EPCs of an inventory, one per answering tag, counted; in the order of their hex texts,
// as the window's list shows them.
std::vector<InventoryLine> CountInventory(const std::vector<ByteBuffer>& epcs);

// "epc,identity,element_string,count", then a line per distinct EPC: its hex text, its
// pure-identity URI and GS1 element string (empty for no GS1 EPC), and its count.
std::string InventoryCsv(const std::vector<ByteBuffer>& epcs);

// What one read delivered: the bank (0-3), the byte address it started at, the bytes.
struct BankRead {
    int bank = 0;
    int byteAddress = 0;
    ByteBuffer bytes;
};
// "epc,bank,byte_address,length,data", then a line per read: the EPC the tag was addressed by,
// the bank's name (Reserved, EPC, TID, User), the start, the byte count and the bytes as hex.
std::string BanksCsv(const ByteBuffer& tagEpc, const std::vector<BankRead>& reads);

// One CSV field, quoted when it must be.
std::string CsvField(const std::string& text);

}  // namespace kvara
