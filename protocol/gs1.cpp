// SPDX-License-Identifier: MIT
#include "protocol/gs1.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "common/hex.h"

namespace kvara::gs1 {

std::string FillPattern(const std::string& pattern, const std::vector<std::string>& args) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const std::size_t place =
            next >= '1' && next <= '9' ? std::size_t(next - '1') : args.size();
        if (pattern[i] == '%' && place < args.size()) {
            text += args[place];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

std::string Reason::Text() const {
    return FillPattern(pattern, args);
}

namespace {

// A serial of SGTIN-96 (and GRAI-96) has 38 bits.
constexpr int kSgtin96SerialBits = 38;

Reason Why(const char* pattern, std::vector<std::string> args = {}) {
    return Reason{pattern, std::move(args)};
}

// One row of a partition table: bits and digits of the company prefix and of the field after
// it. For character fields refDigits is the most characters the field holds.
struct Partition {
    int cpBits;
    int cpDigits;
    int refBits;
    int refDigits;
};

constexpr Partition kSgtinTable[7] = {{40, 12, 4, 1}, {37, 11, 7, 2}, {34, 10, 10, 3},
                                      {30, 9, 14, 4}, {27, 8, 17, 5}, {24, 7, 20, 6},
                                      {20, 6, 24, 7}};
constexpr Partition kSsccTable[7] = {{40, 12, 18, 5}, {37, 11, 21, 6}, {34, 10, 24, 7},
                                     {30, 9, 28, 8},  {27, 8, 31, 9},  {24, 7, 34, 10},
                                     {20, 6, 38, 11}};
// GRAI asset types: the same digits as SGLN location references, in three more bits.
constexpr Partition kGraiTable[7] = {{40, 12, 4, 0}, {37, 11, 7, 1}, {34, 10, 10, 2},
                                     {30, 9, 14, 3}, {27, 8, 17, 4}, {24, 7, 20, 5},
                                     {20, 6, 24, 6}};
// SGLN location references.
constexpr Partition kSglnTable[7] = {{40, 12, 1, 0}, {37, 11, 4, 1}, {34, 10, 7, 2}, {30, 9, 11, 3},
                                     {27, 8, 14, 4}, {24, 7, 17, 5}, {20, 6, 21, 6}};
constexpr Partition kGiai96Table[7] = {{40, 12, 42, 13}, {37, 11, 45, 14}, {34, 10, 48, 15},
                                       {30, 9, 52, 16},  {27, 8, 55, 17},  {24, 7, 58, 18},
                                       {20, 6, 62, 19}};
constexpr Partition kGiai202Table[7] = {{40, 12, 148, 18}, {37, 11, 151, 19}, {34, 10, 154, 20},
                                        {30, 9, 158, 21},  {27, 8, 161, 22},  {24, 7, 164, 23},
                                        {20, 6, 168, 24}};

enum class Tail { kNone, kNumber, kText };

struct Layout {
    Scheme scheme;
    const char* name;
    std::uint8_t header;
    int bits;
    const Partition* table;  // null for GID
    bool referenceIsText;    // GIAI-202
    Tail tail;               // the serial (or SGLN extension) after the reference
    int tailBits;
    int tailChars;  // for a text tail
};

constexpr Layout kLayouts[] = {
    {Scheme::kSgtin96, "sgtin-96", 0x30, 96, kSgtinTable, false, Tail::kNumber, 38, 0},
    {Scheme::kSgtin198, "sgtin-198", 0x36, 198, kSgtinTable, false, Tail::kText, 140, 20},
    {Scheme::kSscc96, "sscc-96", 0x31, 96, kSsccTable, false, Tail::kNone, 0, 0},
    {Scheme::kSgln96, "sgln-96", 0x32, 96, kSglnTable, false, Tail::kNumber, 41, 0},
    {Scheme::kSgln195, "sgln-195", 0x39, 195, kSglnTable, false, Tail::kText, 140, 20},
    {Scheme::kGrai96, "grai-96", 0x33, 96, kGraiTable, false, Tail::kNumber, 38, 0},
    {Scheme::kGrai170, "grai-170", 0x37, 170, kGraiTable, false, Tail::kText, 112, 16},
    {Scheme::kGiai96, "giai-96", 0x34, 96, kGiai96Table, false, Tail::kNone, 0, 0},
    {Scheme::kGiai202, "giai-202", 0x38, 202, kGiai202Table, true, Tail::kNone, 0, 0},
    {Scheme::kGid96, "gid-96", 0x35, 96, nullptr, false, Tail::kNumber, 36, 0},
};

// The GID-96 fields: general manager, object class, serial.
constexpr int kGidManagerBits = 28;
constexpr int kGidClassBits = 24;

const Layout& LayoutOf(Scheme scheme) {
    for (const Layout& layout : kLayouts) {
        if (layout.scheme == scheme) {
            return layout;
        }
    }
    return kLayouts[0];
}

// The characters a GS1 alphanumeric field may hold (the 82 of the AI encodable set), and those
// of them a URI carries escaped.
bool AllowedCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c != '\0' && std::strchr("!\"%&'()*+,-./:;<=>?_", c) != nullptr);
}
bool EscapedInUri(char c) {
    return c != '\0' && std::strchr("\"%&/<>?", c) != nullptr;
}

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Hex2(unsigned value) {
    return {HexDigit(value >> 4), HexDigit(value)};
}

std::string EscapeForUri(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += EscapedInUri(c) ? "%" + Hex2(static_cast<unsigned char>(c)) : std::string(1, c);
    }
    return out;
}

std::optional<std::string> UnescapeUri(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        int value = 0;
        for (int k = 1; k <= 2; ++k) {
            const int digit = HexDigitValue(text[i + k]);
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + digit;
        }
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

// Bits read and written most significant first.
class BitReader {
public:
    explicit BitReader(const ByteBuffer& bytes) : m_bytes(bytes) {}
    std::uint64_t Read(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i, ++m_position) {
            const std::size_t byte = m_position / 8;
            const int bit = 7 - static_cast<int>(m_position % 8);
            value = value << 1 | ((byte < m_bytes.size() ? m_bytes[byte] >> bit : 0) & 1u);
        }
        return value;
    }

private:
    const ByteBuffer& m_bytes;
    std::size_t m_position = 0;
};

class BitWriter {
public:
    void Write(std::uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i, ++m_position) {
            if (m_position / 8 >= m_bytes.size()) {
                m_bytes.push_back(0);
            }
            if (i < 64 && ((value >> i) & 1u) != 0) {
                m_bytes[m_position / 8] |= static_cast<std::uint8_t>(0x80u >> (m_position % 8));
            }
        }
    }
    // Pads to whole 16-bit words, as the EPC bank holds the EPC.
    ByteBuffer Words() {
        while (m_bytes.size() % 2 != 0) {
            m_bytes.push_back(0);
        }
        return m_bytes;
    }

private:
    ByteBuffer m_bytes;
    std::size_t m_position = 0;
};

std::uint64_t Pow10(int digits) {
    std::uint64_t value = 1;
    for (int i = 0; i < digits; ++i) {
        value *= 10;
    }
    return value;
}

std::uint64_t MaxOf(int bits) {
    return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

std::string Padded(std::uint64_t value, int digits) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<std::size_t>(digits - static_cast<int>(text.size())), '0');
    }
    return digits == 0 && value == 0 ? std::string() : text;
}

// A decimal field of a fixed number of digits (leading zeros belong to it); 0 digits is empty.
std::optional<std::uint64_t> FixedDigits(const std::string& text, int digits) {
    if (static_cast<int>(text.size()) != digits) {
        return std::nullopt;
    }
    if (digits == 0) {
        return 0;
    }
    if (!AllDigits(text)) {
        return std::nullopt;
    }
    return std::stoull(text);
}

// A numeric serial: digits without leading zeros ("0" itself is allowed), within the bits.
Reason CheckNumber(const std::string& text, int bits, const char* what, std::uint64_t* value) {
    if (!AllDigits(text)) {
        return Why("%1 \"%2\" is not a number", {what, text});
    }
    if (text.size() > 1 && text[0] == '0') {
        return Why("%1 \"%2\" has leading zeros, which this scheme cannot keep", {what, text});
    }
    if (text.size() > 20 || (text.size() == 20 && text > "18446744073709551615") ||
        std::stoull(text) > MaxOf(bits)) {
        return Why("%1 %2 is larger than its %3 bits hold", {what, text, std::to_string(bits)});
    }
    *value = std::stoull(text);
    return {};
}

// The character that begins at text[at] as it was typed: a whole UTF-8 sequence ("Ä" is two
// bytes), or \xNN for a byte that begins none or is a control character.
std::string CharacterAt(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else if (lead >= 0x80 || lead < 0x20 || lead == 0x7F) {
        return "\\x" + Hex2(lead);
    }
    if (at + length > text.size()) {
        return "\\x" + Hex2(lead);
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
            return "\\x" + Hex2(lead);
        }
    }
    return text.substr(at, length);
}

Reason CheckText(const std::string& text, int maxChars, const char* what) {
    if (text.empty()) {
        return Why("%1 is empty", {what});
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!AllowedCharacter(text[i])) {
            return Why("%1 holds the character '%2', which GS1 does not allow",
                       {what, CharacterAt(text, i)});
        }
    }
    if (static_cast<int>(text.size()) > maxChars) {
        return Why("%1 has %2 characters; at most %3 fit",
                   {what, std::to_string(text.size()), std::to_string(maxChars)});
    }
    return {};
}

void WriteText(BitWriter& writer, const std::string& text, int bits) {
    int written = 0;
    for (char c : text) {
        writer.Write(static_cast<unsigned char>(c), 7);
        written += 7;
    }
    writer.Write(0, bits - written);  // padded with zero characters (at most 63 bits at a time)
}

Result<std::string> ReadText(BitReader& reader, int bits, const char* what) {
    std::string text;
    int read = 0;
    bool ended = false;
    while (read + 7 <= bits) {
        const auto c = static_cast<char>(reader.Read(7));
        read += 7;
        if (c == 0) {
            ended = true;
            continue;
        }
        if (ended) {
            return Result<std::string>::Fail(Why("%1: characters after its end", {what}));
        }
        if (!AllowedCharacter(c)) {
            return Result<std::string>::Fail(Why("%1: character code %2 is not allowed",
                                                 {what, std::to_string(static_cast<int>(c))}));
        }
        text += c;
    }
    if (bits - read > 0 && reader.Read(bits - read) != 0) {
        return Result<std::string>::Fail(Why("%1: padding bits not zero", {what}));
    }
    if (text.empty()) {
        return Result<std::string>::Fail(Why("%1 is empty", {what}));
    }
    return Result<std::string>{text, {}};
}

// The company prefix and reference digits the element strings are made of.
std::string ReferenceWithoutFirst(const std::string& reference) {
    return reference.empty() ? std::string() : reference.substr(1);
}

Result<Epc> DecodeGid(BitReader& reader) {
    Epc epc;
    epc.scheme = Scheme::kGid96;
    epc.filter = 0;
    epc.partition = 0;
    epc.companyPrefix = std::to_string(reader.Read(kGidManagerBits));
    epc.reference = std::to_string(reader.Read(kGidClassBits));
    epc.serial = std::to_string(reader.Read(36));
    return Result<Epc>{epc, {}};
}

const char* TailName(Scheme scheme) {
    return scheme == Scheme::kSgln96 || scheme == Scheme::kSgln195 ? "extension" : "serial";
}

}  // namespace

const char* SchemeName(Scheme scheme) {
    return LayoutOf(scheme).name;
}
int SchemeBits(Scheme scheme) {
    return LayoutOf(scheme).bits;
}

std::optional<Scheme> SchemeNamed(const std::string& name) {
    for (const Layout& layout : kLayouts) {
        if (name == layout.name) {
            return layout.scheme;
        }
    }
    return std::nullopt;
}

char CheckDigit(const std::string& digits) {
    int sum = 0;
    int weight = 3;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = weight == 3 ? 1 : 3;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string Epc::PureIdentityUri() const {
    switch (scheme) {
        case Scheme::kSgtin96:
        case Scheme::kSgtin198:
            return "urn:epc:id:sgtin:" + companyPrefix + "." + reference + "." +
                   EscapeForUri(serial);
        case Scheme::kSscc96:
            return "urn:epc:id:sscc:" + companyPrefix + "." + reference;
        case Scheme::kSgln96:
        case Scheme::kSgln195:
            return "urn:epc:id:sgln:" + companyPrefix + "." + reference + "." +
                   EscapeForUri(serial);
        case Scheme::kGrai96:
        case Scheme::kGrai170:
            return "urn:epc:id:grai:" + companyPrefix + "." + reference + "." +
                   EscapeForUri(serial);
        case Scheme::kGiai96:
        case Scheme::kGiai202:
            return "urn:epc:id:giai:" + companyPrefix + "." + EscapeForUri(reference);
        case Scheme::kGid96:
            return "urn:epc:id:gid:" + companyPrefix + "." + reference + "." + serial;
    }
    return {};
}

std::string Epc::TagUri() const {
    const std::string head = std::string("urn:epc:tag:") + SchemeName(scheme) + ":";
    if (scheme == Scheme::kGid96) {
        return head + companyPrefix + "." + reference + "." + serial;
    }
    std::string uri =
        head + std::to_string(filter) + "." + companyPrefix + "." + EscapeForUri(reference);
    if (LayoutOf(scheme).tail != Tail::kNone) {
        uri += "." + EscapeForUri(serial);
    }
    return uri;
}

std::string Epc::ElementString() const {
    switch (scheme) {
        case Scheme::kSgtin96:
        case Scheme::kSgtin198: {
            const std::string gtin =
                reference.substr(0, 1) + companyPrefix + ReferenceWithoutFirst(reference);
            return "(01)" + gtin + CheckDigit(gtin) + "(21)" + serial;
        }
        case Scheme::kSscc96: {
            const std::string sscc =
                reference.substr(0, 1) + companyPrefix + ReferenceWithoutFirst(reference);
            return "(00)" + sscc + CheckDigit(sscc);
        }
        case Scheme::kSgln96:
        case Scheme::kSgln195: {
            const std::string gln = companyPrefix + reference;
            return "(414)" + gln + CheckDigit(gln) +
                   (serial == "0" ? std::string() : "(254)" + serial);
        }
        case Scheme::kGrai96:
        case Scheme::kGrai170: {
            const std::string grai = "0" + companyPrefix + reference;
            return "(8003)" + grai + CheckDigit(grai) + serial;
        }
        case Scheme::kGiai96:
        case Scheme::kGiai202:
            return "(8004)" + companyPrefix + reference;
        case Scheme::kGid96:
            return {};
    }
    return {};
}

Result<Epc> Decode(const ByteBuffer& bytes) {
    if (bytes.empty()) {
        return Result<Epc>::Fail(Why("no EPC"));
    }
    const Layout* layout = nullptr;
    for (const Layout& candidate : kLayouts) {
        if (candidate.header == bytes[0]) {
            layout = &candidate;
        }
    }
    if (layout == nullptr) {
        return Result<Epc>::Fail(
            Why("header %1 is no GS1 scheme this program knows", {Hex2(bytes[0])}));
    }
    const std::size_t needed = static_cast<std::size_t>((layout->bits + 15) / 16 * 2);
    // Written outside a tag's EPC bank, an EPC often ends with its last bit's byte (an
    // SGTIN-198 in 25 bytes, not the 26 of its 13 words): the missing byte is padding.
    const std::size_t shortest = static_cast<std::size_t>((layout->bits + 7) / 8);
    if (bytes.size() >= shortest && bytes.size() < needed) {
        ByteBuffer words = bytes;
        words.resize(needed, 0);
        return Decode(words);
    }
    if (bytes.size() != needed) {
        return Result<Epc>::Fail(
            Why("%1 needs %2 bytes, not %3",
                {layout->name, std::to_string(needed), std::to_string(bytes.size())}));
    }
    BitReader reader(bytes);
    reader.Read(8);
    if (layout->table == nullptr) {
        return DecodeGid(reader);
    }
    Epc epc;
    epc.scheme = layout->scheme;
    epc.filter = static_cast<int>(reader.Read(3));
    epc.partition = static_cast<int>(reader.Read(3));
    if (epc.partition > 6) {
        return Result<Epc>::Fail(Why("partition 7 does not exist"));
    }
    const Partition& p = layout->table[epc.partition];
    const std::uint64_t cp = reader.Read(p.cpBits);
    if (cp >= Pow10(p.cpDigits)) {
        return Result<Epc>::Fail(Why("company prefix %1 has more than %2 digits",
                                     {std::to_string(cp), std::to_string(p.cpDigits)}));
    }
    epc.companyPrefix = Padded(cp, p.cpDigits);
    if (layout->referenceIsText) {
        auto text = ReadText(reader, p.refBits, "asset reference");
        if (!text) {
            return Result<Epc>::Fail(text.reason);
        }
        epc.reference = *text.value;
    } else {
        const std::uint64_t reference = reader.Read(p.refBits);
        const bool numericAsset = layout->scheme == Scheme::kGiai96;
        if (!numericAsset && reference >= Pow10(p.refDigits)) {
            return Result<Epc>::Fail(Why("reference %1 has more than %2 digits",
                                         {std::to_string(reference), std::to_string(p.refDigits)}));
        }
        epc.reference = numericAsset ? std::to_string(reference) : Padded(reference, p.refDigits);
        if (numericAsset && static_cast<int>(epc.reference.size()) > p.refDigits) {
            return Result<Epc>::Fail(Why("asset reference %1 has more than %2 digits",
                                         {epc.reference, std::to_string(p.refDigits)}));
        }
    }
    switch (layout->tail) {
        case Tail::kNumber:
            epc.serial = std::to_string(reader.Read(layout->tailBits));
            break;
        case Tail::kText: {
            auto text = ReadText(reader, layout->tailBits, TailName(layout->scheme));
            if (!text) {
                return Result<Epc>::Fail(text.reason);
            }
            epc.serial = *text.value;
            break;
        }
        case Tail::kNone:
            break;
    }
    if (layout->scheme == Scheme::kSscc96 && reader.Read(24) != 0) {
        return Result<Epc>::Fail(Why("the 24 unallocated bits of an SSCC-96 are not zero"));
    }
    return Result<Epc>{epc, {}};
}

Result<ByteBuffer> Encode(const Epc& epc) {
    const Layout& layout = LayoutOf(epc.scheme);
    BitWriter writer;
    writer.Write(layout.header, 8);
    if (layout.table == nullptr) {
        std::uint64_t manager = 0;
        std::uint64_t objectClass = 0;
        std::uint64_t serial = 0;
        for (auto [text, bits, what, value] :
             {std::tuple{&epc.companyPrefix, kGidManagerBits, "general manager number", &manager},
              std::tuple{&epc.reference, kGidClassBits, "object class", &objectClass},
              std::tuple{&epc.serial, 36, "serial", &serial}}) {
            const Reason error = CheckNumber(*text, bits, what, value);
            if (!error.empty()) {
                return Result<ByteBuffer>::Fail(error);
            }
        }
        writer.Write(manager, kGidManagerBits);
        writer.Write(objectClass, kGidClassBits);
        writer.Write(serial, 36);
        return Result<ByteBuffer>{writer.Words(), {}};
    }
    if (epc.filter < 0 || epc.filter > 7) {
        return Result<ByteBuffer>::Fail(Why("filter %1 is not 0-7", {std::to_string(epc.filter)}));
    }
    const int cpDigits = static_cast<int>(epc.companyPrefix.size());
    if (cpDigits < 6 || cpDigits > 12 || !AllDigits(epc.companyPrefix)) {
        return Result<ByteBuffer>::Fail(
            Why("company prefix \"%1\" is not 6 to 12 digits", {epc.companyPrefix}));
    }
    const int partition = 12 - cpDigits;
    const Partition& p = layout.table[partition];
    writer.Write(static_cast<std::uint64_t>(epc.filter), 3);
    writer.Write(static_cast<std::uint64_t>(partition), 3);
    writer.Write(std::stoull(epc.companyPrefix), p.cpBits);
    if (layout.referenceIsText) {
        const Reason error = CheckText(epc.reference, p.refDigits, "asset reference");
        if (!error.empty()) {
            return Result<ByteBuffer>::Fail(error);
        }
        WriteText(writer, epc.reference, p.refBits);
    } else if (layout.scheme == Scheme::kGiai96) {
        std::uint64_t value = 0;
        Reason error = CheckNumber(epc.reference, p.refBits, "asset reference", &value);
        if (error.empty() && static_cast<int>(epc.reference.size()) > p.refDigits) {
            error = Why("asset reference %1 has more than %2 digits",
                        {epc.reference, std::to_string(p.refDigits)});
        }
        if (!error.empty()) {
            return Result<ByteBuffer>::Fail(error);
        }
        writer.Write(value, p.refBits);
    } else {
        const auto value = FixedDigits(epc.reference, p.refDigits);
        if (!value) {
            return Result<ByteBuffer>::Fail(
                Why("reference \"%1\" must be %2 digits with a %3-digit company prefix",
                    {epc.reference, std::to_string(p.refDigits), std::to_string(cpDigits)}));
        }
        writer.Write(*value, p.refBits);
    }
    switch (layout.tail) {
        case Tail::kNumber: {
            std::uint64_t value = 0;
            const Reason error =
                CheckNumber(epc.serial, layout.tailBits, TailName(epc.scheme), &value);
            if (!error.empty()) {
                return Result<ByteBuffer>::Fail(error);
            }
            writer.Write(value, layout.tailBits);
            break;
        }
        case Tail::kText: {
            const Reason error = CheckText(epc.serial, layout.tailChars, TailName(epc.scheme));
            if (!error.empty()) {
                return Result<ByteBuffer>::Fail(error);
            }
            WriteText(writer, epc.serial, layout.tailBits);
            break;
        }
        case Tail::kNone:
            break;
    }
    if (layout.scheme == Scheme::kSscc96) {
        writer.Write(0, 24);
    }
    return Result<ByteBuffer>{writer.Words(), {}};
}

Result<Epc> ParseTagUri(const std::string& uri) {
    const std::string prefix = "urn:epc:tag:";
    if (uri.rfind(prefix, 0) != 0) {
        return Result<Epc>::Fail(Why("not a tag URI (urn:epc:tag:...)"));
    }
    const std::size_t colon = uri.find(':', prefix.size());
    if (colon == std::string::npos) {
        return Result<Epc>::Fail(Why("no scheme in the tag URI"));
    }
    const auto scheme = SchemeNamed(uri.substr(prefix.size(), colon - prefix.size()));
    if (!scheme) {
        return Result<Epc>::Fail(Why("scheme \"%1\" is not supported",
                                     {uri.substr(prefix.size(), colon - prefix.size())}));
    }
    const Layout& layout = LayoutOf(*scheme);
    const std::size_t expected = layout.table == nullptr ? 3 : (layout.tail == Tail::kNone ? 3 : 4);
    // The last field takes the rest: a character serial may hold dots of its own.
    std::vector<std::string> parts;
    std::size_t start = colon + 1;
    while (parts.size() + 1 < expected) {
        const std::size_t dot = uri.find('.', start);
        if (dot == std::string::npos) {
            break;
        }
        parts.push_back(uri.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(uri.substr(start));
    if (parts.size() != expected) {
        return Result<Epc>::Fail(Why("%1 tag URI needs %2 fields separated by dots",
                                     {layout.name, std::to_string(expected)}));
    }
    Epc epc;
    epc.scheme = *scheme;
    std::size_t field = 0;
    if (layout.table != nullptr) {
        if (parts[0].size() != 1 || parts[0][0] < '0' || parts[0][0] > '7') {
            return Result<Epc>::Fail(Why("filter \"%1\" is not 0-7", {parts[0]}));
        }
        epc.filter = parts[0][0] - '0';
        field = 1;
    }
    auto companyPrefix = UnescapeUri(parts[field]);
    auto reference = UnescapeUri(parts[field + 1]);
    auto serial = field + 2 < parts.size() ? UnescapeUri(parts[field + 2])
                                           : std::optional<std::string>(std::string());
    if (!companyPrefix || !reference || !serial) {
        return Result<Epc>::Fail(Why("a broken %-escape in the tag URI"));
    }
    epc.companyPrefix = *companyPrefix;
    epc.reference = *reference;
    epc.serial = *serial;
    if (layout.table != nullptr) {
        epc.partition = 12 - static_cast<int>(epc.companyPrefix.size());
    }
    // The encoder checks every rule; a URI that does not encode is refused here already.
    const auto encoded = Encode(epc);
    if (!encoded) {
        return Result<Epc>::Fail(encoded.reason);
    }
    return Result<Epc>{epc, {}};
}

Result<Epc> SgtinFromGtin(const std::string& gtin, int companyPrefixLength, int filter,
                          const std::string& serial, int bits) {
    if (!AllDigits(gtin) ||
        (gtin.size() != 8 && gtin.size() != 12 && gtin.size() != 13 && gtin.size() != 14)) {
        return Result<Epc>::Fail(Why("GTIN \"%1\" is not 8, 12, 13 or 14 digits", {gtin}));
    }
    const std::string full = std::string(14 - gtin.size(), '0') + gtin;
    if (CheckDigit(full.substr(0, 13)) != full[13]) {
        return Result<Epc>::Fail(Why("GTIN %1 has the wrong check digit (it should be %2)",
                                     {full, std::string(1, CheckDigit(full.substr(0, 13)))}));
    }
    if (companyPrefixLength < 6 || companyPrefixLength > 12) {
        return Result<Epc>::Fail(
            Why("company prefix length %1 is not 6 to 12", {std::to_string(companyPrefixLength)}));
    }
    if (bits != 0 && bits != 96 && bits != 198) {
        return Result<Epc>::Fail(
            Why("an SGTIN has 96 or 198 bits, not %1", {std::to_string(bits)}));
    }
    Epc epc;
    // SGTIN-96 holds a serial of digits without leading zeros below 2^38.
    std::uint64_t unused = 0;
    const bool numeric = CheckNumber(serial, kSgtin96SerialBits, "serial", &unused).empty();
    epc.scheme = bits == 198 || (bits == 0 && !numeric) ? Scheme::kSgtin198 : Scheme::kSgtin96;
    epc.filter = filter;
    epc.companyPrefix = full.substr(1, static_cast<std::size_t>(companyPrefixLength));
    epc.reference =
        full.substr(0, 1) + full.substr(1 + static_cast<std::size_t>(companyPrefixLength),
                                        static_cast<std::size_t>(12 - companyPrefixLength));
    epc.partition = 12 - companyPrefixLength;
    epc.serial = serial;
    if (bits == 96 && !numeric) {
        return Result<Epc>::Fail(
            Why("serial \"%1\" does not fit SGTIN-96 (digits without leading zeros, below 2^38); "
                "use 198 bits",
                {serial}));
    }
    const auto encoded = Encode(epc);
    if (!encoded) {
        return Result<Epc>::Fail(encoded.reason);
    }
    return Result<Epc>{epc, {}};
}

}  // namespace kvara::gs1
