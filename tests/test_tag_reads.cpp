// SPDX-License-Identifier: MIT
// What the main window keeps of the tags it read: one tag's banks at a time, one stretch of
// User memory, forgetting after failed reads and writes, and the tag's new EPC after its EPC
// was written.
#include <gtest/gtest.h>

#include "reader/kvara.h"
#include "ui/tag_reads.h"

using kvara::ByteBuffer;
using kvara::TagReads;

namespace {

const ByteBuffer kTagA = {0xAA, 0x01};
const ByteBuffer kTagB = {0xBB, 0x02};

}  // namespace

TEST(TagReads, OneTagAtATimeAndOneStretchOfUserMemory) {
    TagReads reads;
    EXPECT_FALSE(reads.HasReads());
    reads.Record(kTagA, KVARA_BANK_TID, 0, {0xE2, 0x80});
    reads.Record(kTagA, KVARA_BANK_USER, 0, {1, 2, 3, 4});
    reads.Record(kTagA, KVARA_BANK_USER, 4, {5, 6});
    int address = -1;
    ByteBuffer user;
    ASSERT_TRUE(reads.UserRead(kTagA, &address, &user));
    EXPECT_EQ(address, 4);
    EXPECT_EQ(user, (ByteBuffer{5, 6}));
    EXPECT_FALSE(reads.UserRead(kTagB, &address, &user));
    EXPECT_EQ(reads.BanksCsv(),
              "epc,bank,byte_address,length,data\r\n"
              "AA 01,TID,0,2,E2 80\r\n"
              "AA 01,User,4,2,05 06\r\n");

    // A read of another tag starts anew: nothing of the first tag is exported under the second.
    reads.Record(kTagB, KVARA_BANK_RESERVED, 4, {9, 9, 9, 9});
    EXPECT_EQ(reads.BanksCsv(),
              "epc,bank,byte_address,length,data\r\n"
              "BB 02,Reserved,4,4,09 09 09 09\r\n");
    EXPECT_FALSE(reads.UserRead(kTagB, &address, &user));
}

TEST(TagReads, ForgettingAndTheNewEpcOfAWrittenTag) {
    TagReads reads;
    reads.Record(kTagA, KVARA_BANK_RESERVED, 0, {1, 1, 1, 1});
    reads.Record(kTagA, KVARA_BANK_RESERVED, 4, {2, 2, 2, 2});
    reads.Record(kTagA, KVARA_BANK_USER, 0, {3, 3});
    reads.Forget(KVARA_BANK_RESERVED, 4);
    EXPECT_EQ(reads.BanksCsv(),
              "epc,bank,byte_address,length,data\r\n"
              "AA 01,Reserved,0,4,01 01 01 01\r\n"
              "AA 01,User,0,2,03 03\r\n");
    reads.Forget(KVARA_BANK_RESERVED);
    reads.Forget(KVARA_BANK_EPC);  // nothing read there: nothing changes
    EXPECT_TRUE(reads.HasReads());

    // Renamed: the reads are the tag's under its new EPC; a rename of another tag changes nothing.
    reads.Renamed(kTagB, {0xCC});
    reads.Renamed(kTagA, kTagB);
    int address = -1;
    ByteBuffer user;
    EXPECT_TRUE(reads.UserRead(kTagB, &address, &user));
    EXPECT_FALSE(reads.UserRead(kTagA, &address, &user));
    reads.Forget(KVARA_BANK_USER);
    EXPECT_FALSE(reads.HasReads());
}

TEST(TagReads, InventoryCountsEachEpc) {
    TagReads reads;
    reads.SetInventory({kTagA, kTagB, kTagA});
    EXPECT_EQ(reads.InventoryCount(kTagA), 2);
    EXPECT_EQ(reads.InventoryCount(kTagB), 1);
    EXPECT_EQ(reads.InventoryCount({}), 0);
    EXPECT_EQ(reads.InventoryCsv(),
              "epc,identity,element_string,count\r\n"
              "AA 01,,,2\r\n"
              "BB 02,,,1\r\n");
}
