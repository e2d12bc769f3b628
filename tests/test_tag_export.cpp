// SPDX-License-Identifier: MIT
// The inventory and the banks read as CSV, as a spreadsheet reads them back.
#include <gtest/gtest.h>

#include "ui/tag_export.h"

using namespace kvara;

namespace {

const ByteBuffer kSgtin = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};
const ByteBuffer kOther = {0xAA, 0x01};

}  // namespace

TEST(TagExport, FieldsAreQuotedOnlyWhereTheyMustBe) {
    EXPECT_EQ(CsvField("urn:epc:id:sgtin:0614141.812345.6789"),
              "urn:epc:id:sgtin:0614141.812345.6789");
    EXPECT_EQ(CsvField("(01)04012345000009(21)X,1"), "\"(01)04012345000009(21)X,1\"");
    EXPECT_EQ(CsvField("say \"x\""), "\"say \"\"x\"\"\"");
    EXPECT_EQ(CsvField("a\nb"), "\"a\nb\"");
    EXPECT_EQ(CsvField(""), "");
}

// A line per EPC with its count, in the order of the list; the GS1 columns empty for others.
TEST(TagExport, InventoryCountsEveryEpcOnce) {
    EXPECT_EQ(InventoryCsv({}), "epc,identity,element_string,count\r\n");
    EXPECT_EQ(InventoryCsv({kOther, kSgtin, kOther}),
              "epc,identity,element_string,count\r\n"
              "30 74 25 7B F7 19 4E 40 00 00 1A 85,urn:epc:id:sgtin:0614141.812345.6789,"
              "(01)80614141123458(21)6789,1\r\n"
              "AA 01,,,2\r\n");
    const auto lines = CountInventory({kOther, kSgtin, kOther, kOther});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].epc, kOther);
    EXPECT_EQ(lines[1].count, 3);
}

TEST(TagExport, BanksWithTheirTagAndAddresses) {
    EXPECT_EQ(BanksCsv(kOther, {{0, 4, {0x11, 0x22, 0x33, 0x44}}, {3, 8, {}}, {7, 0, {0x01}}}),
              "epc,bank,byte_address,length,data\r\n"
              "AA 01,Reserved,4,4,11 22 33 44\r\n"
              "AA 01,User,8,0,\r\n"
              "AA 01,?,0,1,01\r\n");
}
