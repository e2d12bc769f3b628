// SPDX-License-Identifier: MIT
#include "cli/tag_json.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "cli/reader_options.h"
#include "protocol/gs1.h"

#ifndef KVARA_DATA_DIR
#define KVARA_DATA_DIR "/usr/share/kvara-programmer"
#endif

namespace kvara::cli {

namespace {

std::string ProgramFolder() {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return {};
    }
    std::string text(path, static_cast<std::size_t>(n));
    return text.substr(0, text.rfind('/'));
}

}  // namespace

nlohmann::json Gs1Json(const ByteBuffer& epc) {
    const auto decoded = gs1::Decode(epc);
    if (!decoded) {
        return {{"error", decoded.error}};
    }
    const gs1::Epc& e = *decoded.value;
    nlohmann::json json = {{"scheme", gs1::SchemeName(e.scheme)},
                           {"pure_identity_uri", e.PureIdentityUri()},
                           {"tag_uri", e.TagUri()}};
    if (e.scheme == gs1::Scheme::kGid96) {
        json["manager"] = e.companyPrefix;
        json["object_class"] = e.reference;
        json["serial"] = e.serial;
        return json;
    }
    json["filter"] = e.filter;
    json["partition"] = e.partition;
    json["company_prefix"] = e.companyPrefix;
    json["reference"] = e.reference;
    if (!e.serial.empty()) {
        json["serial"] = e.serial;
    }
    json["element_string"] = e.ElementString();
    return json;
}

std::string Gs1Identity(const ByteBuffer& epc) {
    const auto decoded = gs1::Decode(epc);
    return decoded ? decoded.value->PureIdentityUri() : std::string();
}

nlohmann::json TidJson(const ByteBuffer& tid, const TidCatalog& catalog) {
    const TidInfo info = DecodeTid(tid, catalog);
    nlohmann::json json = {
        {"tid", HexText(tid)}, {"class", HexText({info.allocationClass})}, {"known", info.known}};
    if (info.maskDesigner >= 0) {
        json["mask_designer"] = info.maskDesigner;
        json["model_number"] = info.modelNumber;
        json["extended_tid"] = info.extendedTid;
        json["security"] = info.security;
        json["file"] = info.file;
    }
    if (info.isoMaker >= 0) {
        json["iso_maker"] = info.isoMaker;
        json["serial"] = HexText(info.serial);
    }
    if (info.known) {
        json["maker"] = info.MakerText();
        json["model"] = info.ModelText();
    }
    if (info.chip && info.chip->epcBits >= 0 && info.chip->userBits >= 0) {
        json["epc_bits"] = info.chip->epcBits;
        json["user_bits"] = info.chip->userBits;
    }
    return json;
}

const TidCatalog& Catalog() {
    static const TidCatalog catalog = [] {
        const std::string folder = ProgramFolder();
        for (const std::string& path :
             {folder + "/tid-chips.txt", folder + "/../share/kvara-programmer/tid-chips.txt",
              std::string(KVARA_DATA_DIR) + "/tid-chips.txt"}) {
            std::ifstream file(path);
            if (file) {
                std::stringstream text;
                text << file.rdbuf();
                return ParseTidCatalog(text.str());
            }
        }
        return TidCatalog{};
    }();
    return catalog;
}

}  // namespace kvara::cli
