// SPDX-License-Identifier: MIT
#include "tags/tag_session.h"

#include <algorithm>

#include "protocol/gs1.h"
#include "protocol/tag_memory.h"
#include "reader/kvara.h"

namespace kvara::tags {

namespace {

constexpr int kInventoryBuffer = 100;
// The count byte of an inventory answer cannot count more tags.
constexpr int kMaxInventoryAnswers = 255;
// Reading back after a write whose answer was lost: a reader just back in step may need a
// second try.
constexpr int kProofAttempts = 3;
constexpr int kPasswordWord[2] = {0, 2};  // kill, access

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

std::uint16_t Pc(const std::uint8_t info[2]) {
    return static_cast<std::uint16_t>(info[0] << 8 | info[1]);
}

}  // namespace

TagSession::TagSession(std::function<int()> handle, EmptyEpcRules rules)
    : m_handle(std::move(handle)), m_rules(rules) {}

TagSession::~TagSession() {
    if (m_owned > 0) {
        KvaraClosePort(m_owned);
    }
}

int TagSession::Open(const std::string& interfaceName, const LineOptions& line) {
    std::string name = ReaderNameOf(interfaceName);
    if (line.address != 1) {
        name += ":" + std::to_string(line.address);
    }
    const int result = KvaraOpenPort(name.c_str(), line.baudRate, line.parity, line.timeoutMs);
    m_owned = std::max(result, 0);
    return result;
}

std::string TagSession::OpenError() {
    char text[512] = {};
    KvaraGetOpenError(text, sizeof text);
    return text;
}

int TagSession::Handle() const {
    return m_handle ? m_handle() : m_owned;
}

Outcome TagSession::RunInventory(Inventory* inventory) {
    inventory->reported = 0;
    inventory->entries.clear();
    int parameter = 0;
    for (int answers = 0; answers < kMaxInventoryAnswers; ++answers) {
        const int handle = Handle();
        if (handle == 0) {
            return answers == 0 ? Outcome::NotSent(Step::kInventory, KVARA_ERROR_NO_PORT)
                                : Outcome::Ok();
        }
        unsigned char buffer[kInventoryBuffer] = {};
        const int n = KvaraInventory(handle, parameter, buffer, sizeof buffer);
        if (n < 0) {
            // A failed "next" answer ends the list early; the first one fails the inventory.
            return answers == 0 ? Outcome::Failed(Step::kInventory, KvaraGetLastError(handle))
                                : Outcome::Ok();
        }
        const auto entry = DecodeInventoryEntry(ByteBuffer(buffer, buffer + n));
        if (answers == 0) {
            inventory->reported = entry ? entry->remaining : 0;
        }
        const bool listedEmpty = answers == 0 && m_rules.listFirstEmpty;
        if (!entry || entry->remaining == 0 || (entry->epc.empty() && !listedEmpty)) {
            return Outcome::Ok();
        }
        InventoryEntry found;
        found.epc = entry->epc;
        found.pc = Pc(entry->info);
        ByteBuffer pcAndEpc = {entry->info[0], entry->info[1]};
        pcAndEpc.insert(pcAndEpc.end(), entry->epc.begin(), entry->epc.end());
        found.crc = Gen2Crc16(pcAndEpc.data(), pcAndEpc.size());
        const auto gs1 = gs1::Decode(entry->epc);
        if (gs1) {
            found.gs1Identity = gs1.value->PureIdentityUri();
        }
        inventory->entries.push_back(std::move(found));
        if (entry->remaining <= 1) {
            return Outcome::Ok();
        }
        parameter = 2;
    }
    return Outcome::Ok();
}

Outcome TagSession::Select(const ByteBuffer& epc) {
    if (epc.empty() && !m_rules.selectSendsNone) {
        return Outcome::Ok();
    }
    const int handle = Handle();
    if (handle == 0) {
        return Outcome::NotSent(Step::kSelect, KVARA_ERROR_NO_PORT);
    }
    if (KvaraSelectTag(handle, epc.data(), static_cast<int>(epc.size())) == -1) {
        return Outcome::Failed(Step::kSelect, KvaraGetLastError(handle));
    }
    return Outcome::Ok();
}

Outcome TagSession::Read(const ByteBuffer& epc, int bank, int word, int count, int capacity,
                         const Password& password, ByteBuffer* data) {
    data->clear();
    if (Outcome selected = Select(epc); !selected.Done()) {
        return selected;
    }
    const int handle = Handle();
    if (handle == 0) {
        return Outcome::NotSent(Step::kRead, KVARA_ERROR_NO_PORT);
    }
    const int size = count > 0 ? count : capacity;
    ByteBuffer buffer(static_cast<std::size_t>(std::max(size, 1)));
    // The one place that chooses between the plain call and the one with the password.
    int n = 0;
    if (count > 0) {
        n = password ? KvaraReadBytesPwd(handle, bank, word, password->data(), buffer.data(), size)
                     : KvaraReadBytes(handle, bank, word, buffer.data(), size);
    } else {
        n = password ? KvaraReadBankPwd(handle, bank, word, password->data(), buffer.data(), size)
                     : KvaraReadBank(handle, bank, word, buffer.data(), size);
    }
    if (n < 0) {
        return Outcome::Failed(Step::kRead, KvaraGetLastError(handle));
    }
    buffer.resize(static_cast<std::size_t>(std::min(n, size)));
    *data = std::move(buffer);
    return Outcome::Ok();
}

Outcome TagSession::Write(const ByteBuffer& epc, int bank, int word, const ByteBuffer& data,
                          const Password& password) {
    if (Outcome selected = Select(epc); !selected.Done()) {
        return selected;
    }
    const int handle = Handle();
    if (handle == 0) {
        return Outcome::NotSent(Step::kWrite, KVARA_ERROR_NO_PORT);
    }
    const int length = static_cast<int>(data.size());
    const int result =
        password ? KvaraWriteBankPwd(handle, bank, word, password->data(), data.data(), length)
                 : KvaraWriteBank(handle, bank, word, data.data(), length);
    if (result == -1) {
        return Outcome::Failed(Step::kWrite, KvaraGetLastError(handle));
    }
    return Outcome::Ok();
}

Outcome TagSession::Lock(const ByteBuffer& epc, int area, int action, const ByteBuffer& password,
                         bool permanentConfirmed) {
    if (IsPermanentAction(action) && !permanentConfirmed) {
        return Outcome::NotSent(Step::kLock, KVARA_ERROR_INVALID_ARGUMENT);
    }
    if (password.size() != 4) {
        return Outcome::NotSent(Step::kLock, KVARA_ERROR_INVALID_ARGUMENT);
    }
    if (Outcome selected = Select(epc); !selected.Done()) {
        return selected;
    }
    const int handle = Handle();
    if (handle == 0) {
        return Outcome::NotSent(Step::kLock, KVARA_ERROR_NO_PORT);
    }
    if (KvaraLock(handle, area, action, password.data()) == -1) {
        return Outcome::Failed(Step::kLock, KvaraGetLastError(handle));
    }
    return Outcome::Ok();
}

Outcome TagSession::ReadPassword(const ByteBuffer& epc, bool access, const Password& password,
                                 ByteBuffer* value) {
    return Read(epc, KVARA_BANK_RESERVED, kPasswordWord[access ? 1 : 0],
                static_cast<int>(kPasswordBytes), static_cast<int>(kPasswordBytes), password,
                value);
}

Outcome TagSession::WritePassword(const ByteBuffer& epc, bool access, const ByteBuffer& value,
                                  const Password& password) {
    if (value.size() != kPasswordBytes) {
        return Outcome::NotSent(Step::kWrite, KVARA_ERROR_INVALID_ARGUMENT);
    }
    return Write(epc, KVARA_BANK_RESERVED, kPasswordWord[access ? 1 : 0], value, password);
}

Outcome TagSession::WritePcAndEpc(const ByteBuffer& epc, const ByteBuffer& pc,
                                  const ByteBuffer& newEpc, const Password& password) {
    ByteBuffer data = pc;
    data.insert(data.end(), newEpc.begin(), newEpc.end());
    return Write(epc, KVARA_BANK_EPC, 1, data, password);
}

Outcome TagSession::WriteEpc(const ByteBuffer& oldEpc, const ByteBuffer& newEpc,
                             const Password& password, EpcWritten* written) {
    if (newEpc.empty() || newEpc.size() % 2 != 0 ||
        static_cast<int>(newEpc.size()) > kMaxEpcBytes) {
        return Outcome::NotSent(Step::kWrite, KVARA_ERROR_INVALID_ARGUMENT);
    }
    ByteBuffer pc;
    if (Outcome read = Read(oldEpc, KVARA_BANK_EPC, 1, 2, 2, password, &pc); !read.Done()) {
        return read;
    }
    if (pc.size() != 2) {
        return Outcome::Failed(Step::kRead, KVARA_ERROR_EMPTY_ANSWER);
    }
    PcWord word = DecodePc(pc[0], pc[1]);
    word.epcBytes = static_cast<int>(newEpc.size());
    const ByteBuffer newPc = *EncodePc(word);
    if (written != nullptr) {
        *written = EpcWritten{newPc, false};
    }
    ByteBuffer data = newPc;
    data.insert(data.end(), newEpc.begin(), newEpc.end());
    // The tag answers to its new EPC after the write: the proof selects it under that.
    auto holds = [&] {
        ByteBuffer back;
        return Read(newEpc, KVARA_BANK_EPC, 1, static_cast<int>(data.size()),
                    static_cast<int>(data.size()), password, &back)
                   .Done() &&
               back == data;
    };
    const Outcome write = Write({}, KVARA_BANK_EPC, 1, data, password);
    if (!write.Done()) {
        // A write whose answer was lost may well have been carried out: before it is called
        // failed, the tag decides. One that holds the new EPC must not be written again.
        bool proven = false;
        for (int attempt = 0; write.ending == Ending::kUnknown && attempt < kProofAttempts &&
                              !proven && Handle() != 0;
             ++attempt) {
            proven = holds();
        }
        if (!proven) {
            return write;
        }
    } else if (!holds()) {
        return Outcome::Failed(Step::kVerify, KVARA_ERROR_NO_TRANSPONDER);
    }
    if (written != nullptr) {
        written->proven = true;
    }
    return Outcome::Ok();
}

Outcome TagSession::SetField(bool on) {
    const int handle = Handle();
    if (handle == 0) {
        return Outcome::NotSent(Step::kField, KVARA_ERROR_NO_PORT);
    }
    if (KvaraSetRf(handle, on ? 1 : 0) == -1) {
        return Outcome::Failed(Step::kField, KvaraGetLastError(handle));
    }
    return Outcome::Ok();
}

bool IsPermanentAction(int action) {
    // The lock command's actions: 0 unlocked, 1 permanently unlocked, 2 locked by the access
    // password, 3 permanently locked.
    return action == 1 || action == 3;
}

std::optional<int> BankNamed(const std::string& name) {
    return IndexOf(name, {"reserved", "epc", "tid", "user"});
}

std::optional<int> AreaNamed(const std::string& name) {
    return IndexOf(name, {"kill", "access", "epc", "tid", "user"});
}

std::optional<int> ActionNamed(const std::string& name) {
    return IndexOf(name, {"unlocked", "permaunlocked", "locked", "permalocked"});
}

std::string ReaderNameOf(const std::string& interfaceName) {
    for (const char* prefix : {"LAN: ", "USB: "}) {
        if (interfaceName.rfind(prefix, 0) == 0) {
            return interfaceName.substr(5);
        }
    }
    return interfaceName;
}

}  // namespace kvara::tags
