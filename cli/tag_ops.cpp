// SPDX-License-Identifier: MIT
#include "cli/tag_ops.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "protocol/gs1.h"
#include "protocol/tag_memory.h"
#include "reader/kvara.h"

#ifndef KVARA_DATA_DIR
#define KVARA_DATA_DIR "/usr/share/kvara-programmer"
#endif

namespace kvara::cli {

namespace {

std::optional<int> IndexOf(const std::string& name, std::initializer_list<const char*> names) {
    int index = 0;
    for (const char* candidate : names) {
        if (name == candidate) {
            return index;
        }
        ++index;
    }
    return std::nullopt;
}

std::string ProgramFolder() {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return {};
    }
    std::string text(path, static_cast<std::size_t>(n));
    return text.substr(0, text.rfind('/'));
}

// Whether the tag now answers to the EPC and holds the PC and EPC (data) behind it.
bool HoldsEpc(ReaderSession& reader, const ByteBuffer& epc, const ByteBuffer& data) {
    ByteBuffer back(data.size());
    return reader.Select(epc) &&
           KvaraReadBytes(reader.Handle(), KVARA_BANK_EPC, 1, back.data(),
                          static_cast<int>(back.size())) == static_cast<int>(back.size()) &&
           back == data;
}

// A write that failed with one of these may have been carried out all the same: its answer
// was lost, garbled or another's, or the reader's own read-back could not find the tag by the
// EPC it had before.
bool OutcomeUnknown(int code) {
    return code == KVARA_ERROR_TIMEOUT || code == KVARA_ERROR_CHECKSUM ||
           code == KVARA_ERROR_NO_TRANSPONDER || code == KVARA_ERROR_FOREIGN_ANSWER;
}

// Reading back after a write whose outcome is unknown: the line may first have to come back in
// step, so a few tries.
constexpr int kProofAttempts = 3;

}  // namespace

std::optional<int> BankNamed(const std::string& name) {
    return IndexOf(name, {"reserved", "epc", "tid", "user"});
}
std::optional<int> AreaNamed(const std::string& name) {
    return IndexOf(name, {"kill", "access", "epc", "tid", "user"});
}

std::optional<int> ActionNamed(const std::string& name) {
    // The lock command's action values: 0 unlocked, 1 permanently unlocked, 2 locked (by the
    // access password), 3 permanently locked.
    return IndexOf(name, {"unlocked", "permaunlocked", "locked", "permalocked"});
}

bool IsPermanentAction(int action) {
    return action == 1 || action == 3;
}

std::optional<Failure> WriteEpc(ReaderSession& reader, const ByteBuffer& oldEpc,
                                const ByteBuffer& newEpc, const ByteBuffer& password) {
    if (newEpc.empty() || newEpc.size() % 2 != 0 ||
        static_cast<int>(newEpc.size()) > kMaxEpcBytes) {
        return Failure{kUsage, "the new EPC must be 2 to 62 bytes in whole words, not " +
                                   std::to_string(newEpc.size())};
    }
    const int handle = reader.Handle();
    if (!reader.Select(oldEpc)) {
        return reader.Error("select " + HexText(oldEpc));
    }
    unsigned char pc[2] = {};
    if (KvaraReadBytes(handle, KVARA_BANK_EPC, 1, pc, 2) != 2) {
        return reader.Error("reading the PC word");
    }
    PcWord word = DecodePc(pc[0], pc[1]);
    word.epcBytes = static_cast<int>(newEpc.size());
    ByteBuffer data = *EncodePc(word);
    data.insert(data.end(), newEpc.begin(), newEpc.end());
    const int written =
        password.empty()
            ? KvaraWriteBank(handle, KVARA_BANK_EPC, 1, data.data(), static_cast<int>(data.size()))
            : KvaraWriteBankPwd(handle, KVARA_BANK_EPC, 1, password.data(), data.data(),
                                static_cast<int>(data.size()));
    if (written != 0) {
        // Before the write is called failed, the tag decides: one that holds the new EPC must
        // not be written again (with a conveyor the EPC would go onto the next tag too).
        const Failure failure = reader.Error("writing PC and EPC");
        const bool unknown = OutcomeUnknown(KvaraGetLastError(handle));
        bool holds = false;
        for (int attempt = 0; unknown && attempt < kProofAttempts && !holds; ++attempt) {
            holds = HoldsEpc(reader, newEpc, data);
        }
        if (!holds) {
            return failure;
        }
        return std::nullopt;
    }
    // Proof: the tag answers to the new EPC and holds the PC and EPC written.
    ByteBuffer back(data.size());
    if (!reader.Select(newEpc) ||
        KvaraReadBytes(handle, KVARA_BANK_EPC, 1, back.data(), static_cast<int>(back.size())) !=
            static_cast<int>(back.size())) {
        return reader.Error("reading the new EPC back");
    }
    if (back != data) {
        return Failure{kReaderError,
                       "the EPC bank reads back as " + HexText(back) + ", not " + HexText(data)};
    }
    return std::nullopt;
}

ByteBuffer ReadTid(ReaderSession& reader, const ByteBuffer& epc) {
    if (!reader.Select(epc)) {
        return {};
    }
    for (int count : {12, 8, 4}) {
        ByteBuffer tid(static_cast<std::size_t>(count));
        if (KvaraReadBytes(reader.Handle(), KVARA_BANK_TID, 0, tid.data(), count) == count) {
            return tid;
        }
    }
    return {};
}

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
    if (info.chip) {
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
