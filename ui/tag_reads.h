// SPDX-License-Identifier: MIT
// TagReads: what the main window knows of the tags it worked with. The EPCs of the last
// inventory, one per answering tag; and the banks last read from one tag (the one addressed at
// the time), by bank and byte address, for the export and for User writes that send only the
// words that changed. Standard library only.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/bytes.h"

namespace kvara {

class TagReads {
public:
    // The EPCs of the last inventory, as the reader reported them.
    void SetInventory(std::vector<ByteBuffer> epcs) { m_inventory = std::move(epcs); }
    const std::vector<ByteBuffer>& Inventory() const { return m_inventory; }
    // How many tags of the last inventory answered with this EPC.
    int InventoryCount(const ByteBuffer& epc) const;

    // What a read of the tag with this EPC delivered. A read of another tag starts the record
    // anew; of User memory only the stretch read last is kept.
    void Record(const ByteBuffer& tag, int bank, int byteAddress, const ByteBuffer& bytes);
    // Forgets what was read from the bank at the byte address, or, with -1, the whole bank.
    void Forget(int bank, int byteAddress = -1);
    // After the tag's EPC was written: what was read from it is the tag's under its new EPC.
    void Renamed(const ByteBuffer& from, const ByteBuffer& to);
    bool HasReads() const { return !m_reads.empty(); }
    // The User memory last read from this tag: its byte address and bytes. False when the
    // record is of another tag or holds no User read.
    bool UserRead(const ByteBuffer& tag, int* byteAddress, ByteBuffer* bytes) const;

    // The export texts (tag_export.h): the inventory, and the banks read with their tag.
    std::string InventoryCsv() const;
    std::string BanksCsv() const;

private:
    std::vector<ByteBuffer> m_inventory;
    std::map<std::pair<int, int>, ByteBuffer> m_reads;
    ByteBuffer m_tag;  // the EPC the record's reads addressed
};

}  // namespace kvara
