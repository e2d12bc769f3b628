// SPDX-License-Identifier: MIT
// GS1 EPCs: the standard's examples both ways, random round trips over every scheme and
// partition, and the precise reasons a broken EPC or input is refused.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/hex.h"
#include "protocol/gs1.h"

using kvara::ByteBuffer;
namespace gs1 = kvara::gs1;

namespace {

std::string Hex(const ByteBuffer& bytes) {
    return kvara::HexPairs(bytes);
}

ByteBuffer Bytes(const std::string& hex) {
    ByteBuffer bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

struct Example {
    const char* tagUri;
    const char* hex;
    const char* pureUri;
    const char* elementString;
};

// The encoding examples of the Tag Data Standard and of GS1's interoperability guideline.
const Example kExamples[] = {
    {"urn:epc:tag:sgtin-96:3.0614141.812345.6789", "3074257BF7194E4000001A85",
     "urn:epc:id:sgtin:0614141.812345.6789", "(01)80614141123458(21)6789"},
    {"urn:epc:tag:sgtin-96:0.000001.0000001.1", "301800004000004000000001",
     "urn:epc:id:sgtin:000001.0000001.1", "(01)00000010000014(21)1"},
    {"urn:epc:tag:sscc-96:3.0614141.1234567890", "3174257BF4499602D2000000",
     "urn:epc:id:sscc:0614141.1234567890", "(00)106141412345678908"},
    {"urn:epc:tag:sscc-96:5.023356789.30200002", "31AC16465751CCD0C2000000",
     "urn:epc:id:sscc:023356789.30200002", "(00)302335678902000022"},
    {"urn:epc:tag:sgln-96:3.0614141.12345.400", "3274257BF460720000000190",
     "urn:epc:id:sgln:0614141.12345.400", "(414)0614141123452(254)400"},
    {"urn:epc:tag:grai-96:3.0614141.12345.400", "3374257BF40C0E4000000190",
     "urn:epc:id:grai:0614141.12345.400", "(8003)00614141123452400"},
    {"urn:epc:tag:grai-170:1.0614141.12345.ab-12", "3734257BF40C0E70E25AC59000000000000000000000",
     "urn:epc:id:grai:0614141.12345.ab-12", "(8003)00614141123452ab-12"},
    {"urn:epc:tag:giai-96:3.0614141.5678", "3474257BF40000000000162E",
     "urn:epc:id:giai:0614141.5678", "(8004)06141415678"},
    {"urn:epc:tag:gid-96:31415.271828.1414", "350007AB70425D4000000586",
     "urn:epc:id:gid:31415.271828.1414", ""},
};

}  // namespace

TEST(Gs1, StandardExamplesBothWays) {
    for (const Example& example : kExamples) {
        const auto parsed = gs1::ParseTagUri(example.tagUri);
        ASSERT_TRUE(parsed) << example.tagUri << ": " << parsed.error;
        const auto encoded = gs1::Encode(*parsed.value);
        ASSERT_TRUE(encoded) << encoded.error;
        EXPECT_EQ(Hex(*encoded.value), example.hex) << example.tagUri;
        const auto decoded = gs1::Decode(Bytes(example.hex));
        ASSERT_TRUE(decoded) << example.hex << ": " << decoded.error;
        EXPECT_EQ(decoded.value->TagUri(), example.tagUri);
        EXPECT_EQ(decoded.value->PureIdentityUri(), example.pureUri);
        EXPECT_EQ(decoded.value->ElementString(), example.elementString);
    }
}

TEST(Gs1, CharacterSerialsAndUriEscapes) {
    // Characters a URI must escape travel escaped in the URIs and plain in the element string.
    const auto sgtin = gs1::ParseTagUri("urn:epc:tag:sgtin-198:3.0614141.812345.A%2FB%3F%25x'1");
    ASSERT_TRUE(sgtin) << sgtin.error;
    EXPECT_EQ(sgtin.value->serial, "A/B?%x'1");
    const auto bytes = gs1::Encode(*sgtin.value);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes.value->size(), 26u);  // 198 bits in 13 words
    const auto back = gs1::Decode(*bytes.value);
    ASSERT_TRUE(back) << back.error;
    EXPECT_EQ(back.value->TagUri(), "urn:epc:tag:sgtin-198:3.0614141.812345.A%2FB%3F%25x'1");
    EXPECT_EQ(back.value->ElementString(), "(01)80614141123458(21)A/B?%x'1");
    for (const char* uri : {"urn:epc:tag:sgln-195:2.0614141.12345.ext-1",
                            "urn:epc:tag:grai-170:1.0614141.12345.ab-12",
                            "urn:epc:tag:giai-202:0.0614141.ASSET%2F7"}) {
        const auto parsed = gs1::ParseTagUri(uri);
        ASSERT_TRUE(parsed) << uri << ": " << parsed.error;
        const auto decoded = gs1::Decode(*gs1::Encode(*parsed.value).value);
        ASSERT_TRUE(decoded) << decoded.error;
        EXPECT_EQ(decoded.value->TagUri(), uri);
    }
}

// encode -> decode -> encode for every scheme and partition with random values.
TEST(Gs1, RandomRoundTripsOverEverySchemeAndPartition) {
    std::mt19937_64 random(42);
    const std::string characters =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!\"%&'()*+,-./:;<=>?_";
    auto digits = [&](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) {
            text += static_cast<char>('0' + random() % 10);
        }
        return text;
    };
    auto number = [&](int bits) {
        return std::to_string(random() & ((std::uint64_t{1} << bits) - 1));
    };
    auto text = [&](int maxChars) {
        std::string value;
        const int n = 1 + static_cast<int>(random() % static_cast<unsigned>(maxChars));
        for (int i = 0; i < n; ++i) {
            value += characters[random() % characters.size()];
        }
        return value;
    };
    const int sgtinRef[7] = {1, 2, 3, 4, 5, 6, 7};
    const int ssccRef[7] = {5, 6, 7, 8, 9, 10, 11};
    const int sglnRef[7] = {0, 1, 2, 3, 4, 5, 6};
    const int giaiBits[7] = {42, 45, 48, 52, 55, 58, 62};
    const int giaiChars[7] = {18, 19, 20, 21, 22, 23, 24};
    for (int round = 0; round < 200; ++round) {
        for (int partition = 0; partition <= 6; ++partition) {
            const int cp = 12 - partition;
            std::vector<gs1::Epc> epcs;
            const int filter = static_cast<int>(random() % 8);
            epcs.push_back({gs1::Scheme::kSgtin96, filter, partition, digits(cp),
                            digits(sgtinRef[partition]), number(38)});
            epcs.push_back({gs1::Scheme::kSgtin198, filter, partition, digits(cp),
                            digits(sgtinRef[partition]), text(20)});
            epcs.push_back({gs1::Scheme::kSscc96, filter, partition, digits(cp),
                            digits(ssccRef[partition]), ""});
            epcs.push_back({gs1::Scheme::kSgln96, filter, partition, digits(cp),
                            digits(sglnRef[partition]), number(41)});
            epcs.push_back({gs1::Scheme::kSgln195, filter, partition, digits(cp),
                            digits(sglnRef[partition]), text(20)});
            epcs.push_back({gs1::Scheme::kGrai96, filter, partition, digits(cp),
                            digits(sglnRef[partition]), number(38)});
            epcs.push_back({gs1::Scheme::kGrai170, filter, partition, digits(cp),
                            digits(sglnRef[partition]), text(16)});
            std::string asset = number(giaiBits[partition]);
            if (static_cast<int>(asset.size()) > 13 + partition) {
                asset = asset.substr(0, static_cast<std::size_t>(13 + partition));
                asset[0] = asset[0] == '0' ? '1' : asset[0];
            }
            epcs.push_back({gs1::Scheme::kGiai96, filter, partition, digits(cp), asset, ""});
            epcs.push_back({gs1::Scheme::kGiai202, filter, partition, digits(cp),
                            text(giaiChars[partition]), ""});
            epcs.push_back({gs1::Scheme::kGid96, 0, 0, number(28), number(24), number(36)});
            for (const gs1::Epc& epc : epcs) {
                const auto bytes = gs1::Encode(epc);
                ASSERT_TRUE(bytes) << epc.TagUri() << ": " << bytes.error;
                const auto decoded = gs1::Decode(*bytes.value);
                ASSERT_TRUE(decoded) << epc.TagUri() << ": " << decoded.error;
                EXPECT_EQ(decoded.value->TagUri(), epc.TagUri());
                const auto again = gs1::Encode(*decoded.value);
                ASSERT_TRUE(again);
                EXPECT_EQ(*again.value, *bytes.value) << epc.TagUri();
                const auto fromUri = gs1::ParseTagUri(epc.TagUri());
                ASSERT_TRUE(fromUri) << epc.TagUri() << ": " << fromUri.error;
                EXPECT_EQ(fromUri.value->PureIdentityUri(), epc.PureIdentityUri());
            }
        }
    }
}

TEST(Gs1, BrokenEpcsSayWhy) {
    auto error = [](const std::string& hex) { return gs1::Decode(Bytes(hex)).error; };
    EXPECT_NE(error("E20034120000000000000042").find("header E2"), std::string::npos);  // not GS1
    // SGTIN-96 with partition 7.
    EXPECT_NE(error("307C257BF7194E4000001A85").find("partition 7"), std::string::npos);
    EXPECT_NE(error("3074257BF7194E40").find("needs 12 bytes"), std::string::npos);
    // SSCC with its unallocated bits in use.
    EXPECT_NE(error("3174257BF4499602D2000001").find("unallocated"), std::string::npos);
    EXPECT_NE(gs1::Decode({}).error.find("no EPC"), std::string::npos);
}

TEST(Gs1, BrokenInputsSayWhy) {
    auto uriError = [](const std::string& uri) { return gs1::ParseTagUri(uri).error; };
    EXPECT_NE(uriError("urn:epc:tag:sgtin-96:3.0614141.812345.06789").find("leading zeros"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sgtin-96:8.0614141.812345.6789").find("filter"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sgtin-96:3.0614141.81234.6789").find("must be 6 digits"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sgtin-96:3.0614141.812345.274877906944").find("38 bits"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sgtin-198:3.0614141.812345.caf\xC3\xA9").find("does not allow"),
              std::string::npos);
    // A zero character would end the serial on the tag: what is read back would be shorter.
    EXPECT_NE(uriError("urn:epc:tag:giai-202:0.0614141.ASSET%00").find("does not allow"),
              std::string::npos);
    EXPECT_NE(uriError(std::string("urn:epc:tag:sgtin-198:3.0614141.812345.A") + '\0')
                  .find("does not allow"),
              std::string::npos);
    EXPECT_NE(
        uriError("urn:epc:tag:sgtin-198:3.0614141.812345.ABCDEFGHIJKLMNOPQRSTU").find("at most 20"),
        std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sgtin-198:3.0614141.812345.%ZZ").find("escape"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sgtin-99:3.0614141.812345.1").find("not supported"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:id:sgtin:0614141.812345.1").find("not a tag URI"),
              std::string::npos);
    EXPECT_NE(uriError("urn:epc:tag:sscc-96:3.06141.1234567890").find("6 to 12 digits"),
              std::string::npos);

    EXPECT_NE(gs1::SgtinFromGtin("80614141123459", 7, 3, "6789").error.find("wrong check digit"),
              std::string::npos);
    EXPECT_NE(gs1::SgtinFromGtin("80614141123", 7, 3, "6789").error.find("not 8, 12, 13 or 14"),
              std::string::npos);
    EXPECT_NE(gs1::SgtinFromGtin("80614141123458", 5, 3, "6789").error.find("length 5"),
              std::string::npos);
    EXPECT_NE(gs1::SgtinFromGtin("80614141123458", 7, 3, "A12", 96).error.find("use 198"),
              std::string::npos);
}

TEST(Gs1, SgtinFromAGtin) {
    const auto epc = gs1::SgtinFromGtin("80614141123458", 7, 3, "6789");
    ASSERT_TRUE(epc) << epc.error;
    EXPECT_EQ(epc.value->TagUri(), "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
    // A GTIN-13 is a GTIN-14 with a leading zero; a serial that is no plain number takes 198 bits.
    const auto short13 = gs1::SgtinFromGtin("4012345000009", 7, 1, "X-1");
    ASSERT_TRUE(short13) << short13.error;
    EXPECT_EQ(short13.value->scheme, gs1::Scheme::kSgtin198);
    EXPECT_EQ(short13.value->ElementString(), "(01)04012345000009(21)X-1");
    EXPECT_EQ(gs1::CheckDigit("8061414112345"), '8');
}
