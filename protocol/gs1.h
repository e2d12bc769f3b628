// SPDX-License-Identifier: MIT
// GS1 EPCs as the EPC Tag Data Standard codes them in a tag's EPC bank: SGTIN-96/-198,
// SSCC-96, SGLN-96/-195, GRAI-96/-170, GIAI-96/-202 and GID-96. Decoding gives the fields, the
// pure-identity URI, the tag URI and the GS1 element string; encoding goes from a tag URI or
// from the fields. An EPC that matches no scheme, or breaks one of its rules, is refused with a
// precise reason instead of being guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace kvara::gs1 {

enum class Scheme {
    kSgtin96,
    kSgtin198,
    kSscc96,
    kSgln96,
    kSgln195,
    kGrai96,
    kGrai170,
    kGiai96,
    kGiai202,
    kGid96,
};

// The scheme's name in tag URIs ("sgtin-96") and its EPC length in bits.
const char* SchemeName(Scheme scheme);
int SchemeBits(Scheme scheme);
std::optional<Scheme> SchemeNamed(const std::string& name);

// The fields of a GS1 EPC, as digit and character strings (leading zeros are significant).
struct Epc {
    Scheme scheme = Scheme::kSgtin96;
    int filter = 0;             // 0-7; GID has none
    int partition = 0;          // 0-6; GID has none
    std::string companyPrefix;  // GID: the general manager number
    // SGTIN: indicator digit and item reference; SSCC: extension digit and serial reference;
    // SGLN: location reference; GRAI: asset type; GIAI: individual asset reference; GID: the
    // object class.
    std::string reference;
    // SGTIN, GRAI, GID: the serial; SGLN: the extension ("0": none); SSCC, GIAI: empty.
    std::string serial;

    std::string PureIdentityUri() const;  // urn:epc:id:sgtin:0614141.812345.6789
    std::string TagUri() const;           // urn:epc:tag:sgtin-96:3.0614141.812345.6789
    // The GS1 element string with its check digit, "(01)80614141123458(21)6789"; empty for GID.
    std::string ElementString() const;
};

// Why there is no value, as a pattern with numbered places ("%1", "%2", ...) and the words and
// numbers that fill them. Text() says it in English (the command line, logs); a window finds
// its own language's pattern by the English one.
struct Reason {
    std::string pattern;
    std::vector<std::string> args;
    std::string Text() const;
    bool empty() const { return pattern.empty(); }
};
// Fills a pattern's numbered places (%1 to %9) with args; a place without an argument, and
// any other '%', stays as it is.
std::string FillPattern(const std::string& pattern, const std::vector<std::string>& args);

// Either a value or the reason there is none: error is reason.Text().
template <typename T>
struct Result {
    std::optional<T> value;
    std::string error;
    Reason reason;
    explicit operator bool() const { return value.has_value(); }
    static Result Fail(Reason why) {
        std::string text = why.Text();
        return Result{std::nullopt, std::move(text), std::move(why)};
    }
};

// Decodes EPC bytes (the EPC words, without CRC and PC).
Result<Epc> Decode(const ByteBuffer& epc);
// Encodes the fields into EPC bytes; checks every rule of the scheme.
Result<ByteBuffer> Encode(const Epc& epc);
// Parses a tag URI ("urn:epc:tag:sgtin-96:3.0614141.812345.6789") into fields.
Result<Epc> ParseTagUri(const std::string& uri);
// An SGTIN from a GTIN-14 (or GTIN-13/12/8, padded with zeros in front), the length of its
// company prefix (6-12 digits), a filter and a serial. bits 96 or 198; 0 chooses: 96 for a
// serial of digits without leading zeros that fits 38 bits, 198 for any other.
Result<Epc> SgtinFromGtin(const std::string& gtin, int companyPrefixLength, int filter,
                          const std::string& serial, int bits = 0);

// The GS1 check digit of a string of digits (mod 10, weights 3 and 1 from the right).
char CheckDigit(const std::string& digits);

}  // namespace kvara::gs1
