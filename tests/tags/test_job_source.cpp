// SPDX-License-Identifier: MIT
// The rows of a job from a CSV file and from a GS1 template, as a production line writes them:
// Excel's forms (byte order mark, ";", CRLF, quotes), and every fault refused with its line.
#include <gtest/gtest.h>

#include "common/hex.h"
#include "protocol/gs1.h"
#include "tags/job_source.h"

using kvara::ByteBuffer;
using kvara::tags::JobOptions;
using kvara::tags::JobRow;

namespace {

std::vector<JobRow> Rows(const std::string& csv, JobOptions options = {}) {
    std::vector<JobRow> rows;
    std::string error;
    EXPECT_TRUE(kvara::tags::RowsFromCsv(csv, options, &rows, &error)) << error;
    return rows;
}

std::string Refused(const std::string& csv, JobOptions options = {}) {
    std::vector<JobRow> rows;
    std::string error;
    EXPECT_FALSE(kvara::tags::RowsFromCsv(csv, options, &rows, &error)) << csv;
    return error;
}

}  // namespace

TEST(JobSource, ExcelsFormsAreRead) {
    JobOptions options;
    options.companyPrefixLength = 7;
    const auto plain = Rows("gtin,serial\n80614141123458,6789\n", options);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(kvara::HexPairs(plain[0].epc), "3014257BF7194E4000001A85");
    EXPECT_EQ(plain[0].gs1Key, "(01)80614141123458(21)6789");
    // A GS1 EPC goes with the toggle off and no attribute bits.
    EXPECT_EQ(plain[0].pc, (ByteBuffer{0x30, 0x00}));
    const auto excel =
        Rows("\xEF\xBB\xBFgtin;serial;user\r\n80614141123458;6789;\"11 22\"\r\n\r\n", options);
    ASSERT_EQ(excel.size(), 1u);
    EXPECT_EQ(excel[0].epc, plain[0].epc);
    EXPECT_EQ(excel[0].user, (ByteBuffer{0x11, 0x22}));
    const auto quoted = Rows(
        "epc,lock,access\nE2003412000000000000004A,\"user:locked;epc:locked\","
        "11223344\n");
    ASSERT_EQ(quoted.size(), 1u);
    EXPECT_EQ(quoted[0].locks.size(), 2u);
    EXPECT_TRUE(quoted[0].pc.empty());  // not GS1: the tag's own PC bits stay
    EXPECT_EQ(quoted[0].serial, "line 2");
}

TEST(JobSource, FaultsNameTheirLine) {
    JobOptions options;
    options.companyPrefixLength = 7;
    EXPECT_EQ(Refused("gtin,serial\n80614141123458,1\n80614141123458,\"2\n", options),
              "line 3: a quote is opened and never closed");
    EXPECT_EQ(Refused("gtin,serial,Acess\n80614141123458,1,11223344\n", options).substr(0, 44),
              "line 1: unknown column \"Acess\"; the columns ");
    EXPECT_NE(Refused("gtin,serial,User\n80614141123458,1,1122\n", options)
                  .find("(did you mean \"user\"?)"),
              std::string::npos);
    EXPECT_EQ(Refused("gtin,serial,filter\n80614141123458,1,POS\n", options),
              "line 2: filter \"POS\" is not a number from 0 to 7");
    EXPECT_EQ(Refused("gtin,serial,company_prefix_length\n\n80614141123458,1,7abc\n"),
              "line 3: company_prefix_length \"7abc\" is not a number from 6 to 12");
    EXPECT_NE(Refused("epc,lock\nE2003412000000000000004A,user:locked\n")
                  .find("a lock by password needs an access password"),
              std::string::npos);
    EXPECT_NE(Refused("epc,lock,access\nE2003412000000000000004A,user:permalocked,11223344\n")
                  .find("needs --permanent"),
              std::string::npos);
    // One GTIN and serial twice, with two filters: the same item on two tags.
    EXPECT_NE(Refused("gtin,serial,filter\n80614141123458,5,1\n80614141123458,5,3\n", options)
                  .find("name the same item (01)80614141123458(21)5"),
              std::string::npos);
    EXPECT_EQ(Refused(""), "the CSV file is empty");
}

// A numeric serial of 38 bits or more takes SGTIN-198 (or the row asks with bits).
TEST(JobSource, LargeSerialsTake198Bits) {
    JobOptions options;
    options.companyPrefixLength = 7;
    const auto rows = Rows(
        "gtin,serial,bits\n80614141123458,274877906944,\n"
        "80614141123458,12,198\n",
        options);
    ASSERT_EQ(rows.size(), 2u);
    for (const JobRow& row : rows) {
        EXPECT_EQ(row.epc.size(), 26u);
        EXPECT_EQ(row.pc, (ByteBuffer{0x68, 0x00}));
    }
}

TEST(JobSource, Templates) {
    JobOptions options;
    options.scheme = "sgtin-96";
    options.gtin = "80614141123458";
    options.companyPrefixLength = 7;
    options.filter = 3;
    options.serials = "6789-6791";
    std::vector<JobRow> rows;
    std::string error;
    ASSERT_TRUE(kvara::tags::RowsFromTemplate(options, &rows, &error)) << error;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(kvara::HexPairs(rows[0].epc), "3074257BF7194E4000001A85");
    EXPECT_EQ(rows[2].serial, "6791");

    options.scheme = "sscc-96";
    options.companyPrefix = "0614141";
    options.reference = "123456";
    options.serials = "7890-7891";
    ASSERT_TRUE(kvara::tags::RowsFromTemplate(options, &rows, &error)) << error;
    EXPECT_EQ(kvara::HexPairs(rows[0].epc), "3174257BF4499602D2000000");

    options.serials = "9-1";
    EXPECT_FALSE(kvara::tags::RowsFromTemplate(options, &rows, &error));
    options.scheme = "sgtin-97";
    options.serials = "1-2";
    EXPECT_FALSE(kvara::tags::RowsFromTemplate(options, &rows, &error));
    EXPECT_EQ(error, "no scheme \"sgtin-97\"");

    // A lock by password is refused without an access password, as a CSV row's would be.
    options.scheme = "sgtin-96";
    options.locks = {{4, 2}};
    EXPECT_FALSE(kvara::tags::RowsFromTemplate(options, &rows, &error));
    EXPECT_NE(error.find("needs an access password"), std::string::npos) << error;
    options.access = {0, 0, 0, 0};
    EXPECT_FALSE(kvara::tags::RowsFromTemplate(options, &rows, &error));
    options.access = {0x11, 0x22, 0x33, 0x44};
    EXPECT_TRUE(kvara::tags::RowsFromTemplate(options, &rows, &error)) << error;
    EXPECT_EQ(kvara::tags::Sha256Hex("abc"),
              "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
}
