// SPDX-License-Identifier: MIT
#include "ui/tag_export.h"

#include <algorithm>
#include <map>

#include "protocol/hex_text.h"
#include "ui/main_logic.h"

namespace kvara {

namespace {

const char* BankName(int bank) {
    static const char* const kNames[] = {"Reserved", "EPC", "TID", "User"};
    return bank >= 0 && bank < 4 ? kNames[bank] : "?";
}

std::string Line(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i > 0 ? "," : "") + CsvField(fields[i]);
    }
    return line + "\r\n";
}

}  // namespace

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::vector<InventoryLine> CountInventory(const std::vector<ByteBuffer>& epcs) {
    std::map<std::string, InventoryLine> byText;
    for (const ByteBuffer& epc : epcs) {
        InventoryLine& line = byText[FormatHexBytes(epc)];
        line.epc = epc;
        ++line.count;
    }
    std::vector<InventoryLine> lines;
    for (auto& [text, line] : byText) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string InventoryCsv(const std::vector<ByteBuffer>& epcs) {
    std::string csv = Line({"epc", "identity", "element_string", "count"});
    for (const InventoryLine& line : CountInventory(epcs)) {
        const EpcIdentity identity = DescribeEpc(line.epc);
        csv += Line({FormatHexBytes(line.epc), identity.pureIdentity, identity.elementString,
                     std::to_string(line.count)});
    }
    return csv;
}

std::string BanksCsv(const ByteBuffer& tagEpc, const std::vector<BankRead>& reads) {
    std::string csv = Line({"epc", "bank", "byte_address", "length", "data"});
    for (const BankRead& read : reads) {
        csv += Line({FormatHexBytes(tagEpc), BankName(read.bank), std::to_string(read.byteAddress),
                     std::to_string(read.bytes.size()), FormatHexBytes(read.bytes)});
    }
    return csv;
}

}  // namespace kvara
