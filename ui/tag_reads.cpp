// SPDX-License-Identifier: MIT
#include "ui/tag_reads.h"

#include <algorithm>
#include <iterator>

#include "reader/kvara.h"
#include "ui/tag_export.h"

namespace kvara {

int TagReads::InventoryCount(const ByteBuffer& epc) const {
    return static_cast<int>(std::count(m_inventory.begin(), m_inventory.end(), epc));
}

void TagReads::Record(const ByteBuffer& tag, int bank, int byteAddress, const ByteBuffer& bytes) {
    if (tag != m_tag) {
        m_reads.clear();
        m_tag = tag;
    }
    if (bank == KVARA_BANK_USER) {
        Forget(KVARA_BANK_USER);  // one stretch of User memory: the last one read
    }
    m_reads[{bank, byteAddress}] = bytes;
}

void TagReads::Forget(int bank, int byteAddress) {
    for (auto it = m_reads.begin(); it != m_reads.end();) {
        const bool match =
            it->first.first == bank && (byteAddress < 0 || it->first.second == byteAddress);
        it = match ? m_reads.erase(it) : std::next(it);
    }
}

void TagReads::Renamed(const ByteBuffer& from, const ByteBuffer& to) {
    if (m_tag == from) {
        m_tag = to;
    }
}

bool TagReads::UserRead(const ByteBuffer& tag, int* byteAddress, ByteBuffer* bytes) const {
    if (tag != m_tag) {
        return false;
    }
    for (const auto& [key, known] : m_reads) {
        if (key.first == KVARA_BANK_USER) {
            *byteAddress = key.second;
            *bytes = known;
            return true;
        }
    }
    return false;
}

std::string TagReads::InventoryCsv() const {
    return kvara::InventoryCsv(m_inventory);
}

std::string TagReads::BanksCsv() const {
    std::vector<BankRead> reads;
    for (const auto& [key, bytes] : m_reads) {
        reads.push_back({key.first, key.second, bytes});
    }
    return kvara::BanksCsv(m_tag, reads);
}

}  // namespace kvara
