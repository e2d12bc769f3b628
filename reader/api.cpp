// SPDX-License-Identifier: MIT
// The reader API: registry access, opening and identifying readers, and every command.
#include "reader/kvara.h"

#include "common/ui_hooks.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "common/log.h"
#include "common/open_cause.h"
#include "protocol/names.h"
#include "reader/errors.h"
#include "reader/link_factory.h"
#include "reader/registry.h"
#include "reader/serial_link.h"

using kvara::ByteBuffer;
using kvara::CKvara_Port;
using kvara::CKvara_SDKApp;

namespace {

constexpr int kSdkVersion = 119;
constexpr int kOpenAttempts = 6;
constexpr int kOpenFailed = -1;
constexpr int kOpenBadTimeout = -2;
constexpr int kOpenNotIdentified = -11;

constexpr std::uint8_t kCmdTxPowerRead = 0x07;
constexpr std::uint8_t kCmdTxPowerWrite = 0x08;
constexpr std::uint8_t kCmdInventory = 0xC0;
constexpr std::uint8_t kCmdSelect = 0xC2;
constexpr std::uint8_t kCmdRead = 0xC3;
constexpr std::uint8_t kCmdWrite = 0xC4;
constexpr std::uint8_t kCmdWritePwd = 0xC5;
constexpr std::uint8_t kCmdLock = 0xC6;
constexpr std::uint8_t kCmdDeviceType = 0xF0;
constexpr std::uint8_t kCmdReaderMode = 0xF4;
constexpr std::uint8_t kCmdRf = 0xF5;
constexpr std::uint8_t kCmdUsbMode = 0xFF;

constexpr int kPasswordLength = 4;

CKvara_SDKApp& Registry() {
    return CKvara_SDKApp::Instance();
}

std::uint8_t Low(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// Size of an output buffer: a NULL buffer or a negative size counts as 0.
std::size_t OutputSize(const void* buffer, int size) {
    return buffer == nullptr || size < 0 ? 0 : static_cast<std::size_t>(size);
}

// Copies answer data into the caller's buffer, or stores code 5 when it does not fit.
int CopyOut(CKvara_Port& port, const ByteBuffer& data, unsigned char* buffer, int size) {
    if (data.size() > OutputSize(buffer, size)) {
        port.m_lastError = kvara::kErrorBufferSize;
        return -1;
    }
    if (!data.empty()) {
        std::memcpy(buffer, data.data(), data.size());
    }
    return static_cast<int>(data.size());
}

// Fails a call with a bad argument: -1 and code 257, nothing sent.
int InvalidArgument(CKvara_Port& port) {
    port.m_lastError = KVARA_ERROR_INVALID_ARGUMENT;
    return -1;
}

// Input bytes: NULL only with length 0, no negative length.
bool ValidInput(const void* data, int length) {
    return length >= 0 && (data != nullptr || length == 0);
}

bool ValidWordAddress(int wordAddress) {
    return wordAddress >= 0 && wordAddress <= 0xFFFF;
}

void AppendWordAddress(ByteBuffer& payload, int wordAddress) {
    payload.push_back(Low(wordAddress));
    payload.push_back(Low(wordAddress >> 8));
    payload.push_back(0);
}

// Runs one command on a port in hand whose CommandScope the caller holds.
bool Execute(CKvara_Port& port, std::uint8_t command, const ByteBuffer& payload,
             ByteBuffer& answer) {
    return CKvara_SDKApp::Execute(port, command, payload, answer);
}

// Runs body(port) as the only command on the reader of the handle: a command of another thread
// on it ends first. -1 when the handle names no open reader, the reader was closed meanwhile,
// or the call comes from a window message of this thread's own wait on it (code 256).
template <typename Body>
int WithPort(int handle, Body body) {
    auto port = Registry().FindPort(handle);
    if (!port) {
        return -1;
    }
    kvara::CommandScope scope(*port);
    if (!scope) {
        return -1;
    }
    return body(*port);
}

// One attempt of opening a reader, under the registry's open lock. A network link takes its
// time from the open's budget.
int OpenOnce(const std::string& name, std::uint32_t address, int baudRate, int parityIndex,
             int timeoutMs, kvara::CLinkBudget& budget) {
    kvara::ClearOpenCause();
    auto port = std::make_shared<CKvara_Port>();
    if (timeoutMs < 0) {
        return kOpenBadTimeout;
    }
    port->m_timeoutMs = static_cast<std::uint32_t>(timeoutMs);
    port->m_address = address;

    const kvara::LineCode code = kvara::LineCodeOf(parityIndex);
    kvara::LineSettings line;
    line.baudRate = baudRate;
    line.parity = code.parity;
    line.stopBits = code.stopBits;
    auto link = kvara::OpenReaderLink(name, line, port.get(), budget);
    if (!link) {
        kvara::SetOpenCauseIfNone(budget.Exhausted() ? "no connection within the time limit"
                                                     : "no such port");
        return kOpenFailed;
    }
    port->AttachLink(std::move(link));
    Registry().AddPort(port);

    // Identify the reader; its answer also settles the framing mode.
    bool identified = false;
    {
        kvara::CommandScope scope(*port);
        identified = scope && port->Identify();
    }
    if (!identified) {
        kvara::SetOpenCause("the port opened, but no reader answers there");
        port->m_protocolMode = 0;
        Registry().RemovePort(port);
        port->ClosePort();
        return kOpenNotIdentified;
    }
    port->m_timeoutMs = static_cast<std::uint32_t>(timeoutMs);
    return port->GetHandle();
}

thread_local bool t_opening = false;

// Copies text and its zero whole, or nothing: the bytes written, or 0 when it does not fit.
int CopyText(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0 || text.size() + 1 > static_cast<std::size_t>(size)) {
        return 0;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
}

// Opens the reader a checked name gives: a few attempts, and for a network reader that does not
// answer, one more pass after waking it.
int OpenPortNamed(const std::string& given, int baudRate, int parityIndex, int timeoutMs) {
    const int baud = kvara::EffectiveBaudRate(given, baudRate);
    const kvara::ReaderAddress target = kvara::SplitAddressSuffix(given);
    // A network reader that never answers a connect attempt would otherwise hold the caller
    // for every attempt's full connect time: all of them share one limit.
    kvara::CLinkBudget budget{std::chrono::milliseconds(kvara::kNetworkLinkLimitMs)};

    auto pass = [&] {
        int result = kOpenFailed;
        for (int attempt = 0;
             attempt < kOpenAttempts && result == kOpenFailed && !budget.Exhausted(); ++attempt) {
            std::lock_guard<std::mutex> guard(Registry().OpenLock());
            t_opening = true;
            result = OpenOnce(target.name, target.address, baud, parityIndex, timeoutMs, budget);
            t_opening = false;
        }
        return result;
    };
    int result = pass();
    if (result > 0) {
        return result;
    }
    if (result == kOpenNotIdentified && kvara::LinkKindOf(target.name) == kvara::LinkKind::kTcp &&
        kvara::RecoverNetworkReader(target.name, budget)) {
        result = pass();
    }
    return result;
}

}  // namespace

extern "C" {

int KvaraGetSdkVersion(void) {
    return kSdkVersion;
}

int KvaraErrorText(int code, char* buffer, int size) {
    return CopyText(kvara::EnglishErrorText(code), buffer, size);
}

void KvaraSetTraceHandler(KvaraTraceHandler handler, void* context) {
    kvara::SetFrameTrace(handler, context);
}

void KvaraSetLogHandler(KvaraLogHandler handler, void* context) {
    kvara::SetLogHandler(handler, context);
}

int KvaraOpenPort(const char* name, int baudRate, int parityIndex, int timeoutMs) {
    kvara::ClearOpenCause();
    if (name == nullptr || t_opening) {
        // No name, or an open started from inside another open's wait.
        kvara::SetOpenCause(name == nullptr ? "no port named" : "another open is still waiting");
        return kOpenFailed;
    }
    if (timeoutMs < 0) {
        kvara::SetOpenCause("negative time-out");
        return kOpenBadTimeout;
    }
    const int result = OpenPortNamed(name, baudRate, parityIndex, timeoutMs);
    if (result <= 0) {
        kvara::LogDebug("cannot open " + std::string(name) + ": " + kvara::OpenCause());
    }
    return result;
}

int KvaraGetOpenError(char* buffer, int size) {
    return CopyText(kvara::OpenCause(), buffer, size);
}

int KvaraClosePort(int handle) {
    auto port = Registry().FindPort(handle);
    if (!port || port->IsClosed()) {
        return -1;
    }
    // A command of another thread that waits for the reader ends at once.
    if (!port->Shutdown()) {
        return -1;
    }
    Registry().RemovePort(port);
    return 0;
}

int KvaraGetLastError(int handle) {
    auto port = Registry().FindPort(handle);
    return port ? port->m_lastError.load() : kvara::kErrorNoPort;
}

int KvaraGetDeviceType(int handle, unsigned char* buffer, int size, char* nameBuffer,
                       int nameSize) {
    return WithPort(handle, [&](CKvara_Port& port) {
        ByteBuffer answer;
        if (!Execute(port, kCmdDeviceType, {}, answer)) {
            return -1;
        }
        const int copied = CopyOut(port, answer, buffer, size);
        if (copied < 0) {
            return -1;
        }
        const std::string model = kvara::ModelName(answer);
        if (nameBuffer != nullptr && nameSize > 0 &&
            model.size() + 1 <= static_cast<std::size_t>(nameSize)) {
            std::memcpy(nameBuffer, model.c_str(), model.size() + 1);
        }
        return copied;
    });
}

int KvaraIsUsbLink(int handle) {
    auto port = Registry().FindPort(handle);
    if (!port) {
        return -1;
    }
    return port->IsUsbLink() ? 1 : 0;
}

int KvaraSetNoWindowLock(int handle, int flag) {
    auto port = Registry().FindPort(handle);
    if (!port) {
        return -1;
    }
    port->m_noWindowLock = flag != 0;
    return 1;
}

int KvaraExecute(int handle, int command, const unsigned char* payload, int payloadLength,
                 unsigned char* buffer, int size) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if (!ValidInput(payload, payloadLength)) {
            return InvalidArgument(port);
        }
        const ByteBuffer bytes(payload, payload + payloadLength);
        ByteBuffer answer;
        if (!Execute(port, Low(command), bytes, answer)) {
            return -1;
        }
        return CopyOut(port, answer, buffer, size);
    });
}

int KvaraInventory(int handle, int parameter, unsigned char* buffer, int size) {
    return WithPort(handle, [&](CKvara_Port& port) {
        ByteBuffer answer;
        if (!Execute(port, kCmdInventory, {Low(parameter)}, answer)) {
            return -1;
        }
        const std::size_t room = OutputSize(buffer, size);
        std::size_t n = answer.size();
        if (n > room) {
            n = room / 16 * 16;  // whole 16-byte blocks; not an error
        }
        if (n > 0) {
            std::memcpy(buffer, answer.data(), n);
        }
        return static_cast<int>(n);
    });
}

int KvaraSelectTag(int handle, const unsigned char* epc, int epcLength) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if (!ValidInput(epc, epcLength)) {
            return InvalidArgument(port);
        }
        const ByteBuffer payload(epc, epc + epcLength);
        ByteBuffer answer;
        return Execute(port, kCmdSelect, payload, answer) ? 0 : -1;
    });
}

}  // extern "C"

namespace {

// The four reads: count 0 reads to the end of the bank; the password is optional.
int Read(int handle, int bank, int wordAddress, const unsigned char* password, bool withPassword,
         std::uint8_t count, unsigned char* buffer, int size) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if (!ValidWordAddress(wordAddress)) {
            port.m_lastError = kvara::kErrorWordAddress;
            return -1;
        }
        if (withPassword && password == nullptr) {
            return InvalidArgument(port);
        }
        ByteBuffer payload = {Low(bank)};
        AppendWordAddress(payload, wordAddress);
        payload.push_back(count);
        if (withPassword) {
            payload.insert(payload.end(), password, password + kPasswordLength);
        }
        ByteBuffer answer;
        if (!Execute(port, kCmdRead, payload, answer)) {
            return -1;
        }
        return CopyOut(port, answer, buffer, size);
    });
}

// Reads with a byte count: the count is also the buffer size.
int ReadCount(int handle, int bank, int wordAddress, const unsigned char* password,
              bool withPassword, unsigned char* buffer, int count) {
    if (count < 0 || (buffer == nullptr && count > 0)) {
        auto port = Registry().FindPort(handle);
        return port ? InvalidArgument(*port) : -1;
    }
    return Read(handle, bank, wordAddress, password, withPassword, Low(count), buffer, count);
}

enum class ReadBack { kSame, kDiffers, kUnread };

// Reads the area back (with the write's password, if it had one) and compares it with the data.
ReadBack ReadBackOf(CKvara_Port& port, int bank, int wordAddress, const unsigned char* password,
                    const unsigned char* data, int length) {
    ByteBuffer payload = {Low(bank)};
    AppendWordAddress(payload, wordAddress);
    payload.push_back(Low(length));
    if (password != nullptr) {
        payload.insert(payload.end(), password, password + kPasswordLength);
    }
    ByteBuffer readBack;
    if (!Execute(port, kCmdRead, payload, readBack)) {
        return ReadBack::kUnread;
    }
    return readBack.size() == static_cast<std::size_t>(length) &&
                   std::equal(readBack.begin(), readBack.end(), data)
               ? ReadBack::kSame
               : ReadBack::kDiffers;
}

bool ReadsBackAs(CKvara_Port& port, int bank, int wordAddress, const unsigned char* password,
                 const unsigned char* data, int length) {
    return ReadBackOf(port, bank, wordAddress, password, data, length) == ReadBack::kSame;
}

int Write(int handle, int bank, int wordAddress, const unsigned char* password, bool withPassword,
          const unsigned char* data, int length) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if (!ValidWordAddress(wordAddress)) {
            port.m_lastError = kvara::kErrorWordAddress;
            return -1;
        }
        if ((withPassword && password == nullptr) || !ValidInput(data, length)) {
            return InvalidArgument(port);
        }
        ByteBuffer payload = {Low(bank)};
        AppendWordAddress(payload, wordAddress);
        if (withPassword) {
            payload.insert(payload.end(), password, password + kPasswordLength);
        }
        payload.insert(payload.end(), data, data + length);
        ByteBuffer answer;
        const std::int32_t before = port.m_lastError;
        if (Execute(port, withPassword ? kCmdWritePwd : kCmdWrite, payload, answer)) {
            // The reader's "OK" proves the write on a line that was in step and in framing mode
            // 1, whose CRC a few changed bytes do not pass. In mode 0 two changed bytes can
            // cancel in the check byte, so the reader may have written other bytes than were
            // sent; and after the line had to be brought back in step, reading back is the
            // surer proof. A write to the EPC bank changes the PC or EPC the tag was selected
            // by, so it cannot be read back under that selection: its caller proves it under
            // the new EPC.
            const bool cameBack = port.CameBackInStep();
            const bool modeZero = port.m_protocolMode == 0 && bank != KVARA_BANK_EPC;
            if ((!modeZero && !cameBack) || length == 0) {
                return 0;
            }
            switch (ReadBackOf(port, bank, wordAddress, withPassword ? password : nullptr, data,
                               length)) {
                case ReadBack::kSame:
                    return 0;
                case ReadBack::kUnread:
                    // An area the reader cannot read back (an EPC write changed the EPC the tag
                    // was selected by): in step, the reader's own answer stands.
                    if (!cameBack) {
                        port.m_lastError = before;
                        return 0;
                    }
                    break;
                case ReadBack::kDiffers:
                    break;
            }
            port.m_lastError = kvara::kErrorNoTransponder;
            return -1;
        }
        if (port.m_lastError != kvara::kErrorNoTransponder) {
            return -1;
        }
        // The reader says no valid transponder, yet the data may have been written: read the
        // area back (without password) and let the tag decide.
        const bool same = ReadsBackAs(port, bank, wordAddress, nullptr, data, length);
        port.m_lastError = same ? kvara::kErrorNone : kvara::kErrorNoTransponder;
        return same ? 0 : -1;
    });
}

// Commands with a one-byte payload whose answer data is not used.
int SimpleCommand(int handle, std::uint8_t command, std::uint8_t value) {
    return WithPort(handle, [&](CKvara_Port& port) {
        ByteBuffer answer;
        return Execute(port, command, {value}, answer) ? 0 : -1;
    });
}

}  // namespace

extern "C" {

int KvaraReadBank(int handle, int bank, int wordAddress, unsigned char* buffer, int size) {
    return Read(handle, bank, wordAddress, nullptr, false, 0, buffer, size);
}

int KvaraReadBankPwd(int handle, int bank, int wordAddress, const unsigned char* password,
                     unsigned char* buffer, int size) {
    return Read(handle, bank, wordAddress, password, true, 0, buffer, size);
}

int KvaraReadBytes(int handle, int bank, int wordAddress, unsigned char* buffer, int count) {
    return ReadCount(handle, bank, wordAddress, nullptr, false, buffer, count);
}

int KvaraReadBytesPwd(int handle, int bank, int wordAddress, const unsigned char* password,
                      unsigned char* buffer, int count) {
    return ReadCount(handle, bank, wordAddress, password, true, buffer, count);
}

int KvaraWriteBank(int handle, int bank, int wordAddress, const unsigned char* data, int length) {
    return Write(handle, bank, wordAddress, nullptr, false, data, length);
}

int KvaraWriteBankPwd(int handle, int bank, int wordAddress, const unsigned char* password,
                      const unsigned char* data, int length) {
    return Write(handle, bank, wordAddress, password, true, data, length);
}

int KvaraLock(int handle, int area, int action, const unsigned char* password) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if (password == nullptr) {
            return InvalidArgument(port);
        }
        ByteBuffer payload(password, password + kPasswordLength);
        payload.push_back(Low(action));
        payload.push_back(Low(area));
        ByteBuffer answer;
        return Execute(port, kCmdLock, payload, answer) ? 0 : -1;
    });
}

int KvaraSetRf(int handle, int on) {
    return SimpleCommand(handle, kCmdRf, Low(on));
}

int KvaraGetTxPower(int handle, unsigned short* power) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if (power == nullptr) {
            return InvalidArgument(port);
        }
        ByteBuffer answer;
        if (!Execute(port, kCmdTxPowerRead, {}, answer)) {
            return -1;
        }
        if (answer.size() < 2) {
            port.m_lastError = kvara::kErrorPowerAnswer;
            return -1;
        }
        *power = static_cast<unsigned short>(answer[0] + 256 * answer[1]);
        return 0;
    });
}

int KvaraSetTxPower(int handle, int power, int store) {
    return WithPort(handle, [&](CKvara_Port& port) {
        ByteBuffer answer;
        return Execute(port, kCmdTxPowerWrite, {Low(power), Low(power >> 8), Low(store)}, answer)
                   ? 0
                   : -1;
    });
}

int KvaraSetReaderMode(int handle, int mode) {
    return WithPort(handle, [&](CKvara_Port& port) {
        if ((mode & 0x7F) > 3) {
            port.m_lastError = kvara::kErrorReaderMode;
            return -1;
        }
        ByteBuffer answer;
        return Execute(port, kCmdReaderMode, {Low(mode)}, answer) ? 0 : -1;
    });
}

int KvaraSetUsbMode(int handle, int mode) {
    return SimpleCommand(handle, kCmdUsbMode, Low(mode));
}

void KvaraSetUiHooks(const KvaraUiHooks* hooks) {
    // The C table is kept as given; the library's own table calls through it.
    static KvaraUiHooks installed;
    if (hooks == nullptr) {
        kvara::ResetUiHooks();
        return;
    }
    installed = *hooks;
    kvara::UiHooks table;
    if (installed.pumpPendingMessages != nullptr) {
        table.pumpPendingMessages = [] { return installed.pumpPendingMessages() != 0; };
    }
    table.activeWindow = installed.activeWindow;
    table.mainWindow = installed.mainWindow;
    if (installed.isWindowEnabled != nullptr) {
        table.isWindowEnabled = [](kvara::WindowRef w) {
            return installed.isWindowEnabled(w) != 0;
        };
    }
    if (installed.enableWindow != nullptr) {
        table.enableWindow = [](kvara::WindowRef w, bool enable) {
            installed.enableWindow(w, enable ? 1 : 0);
        };
    }
    table.focusWindow = installed.focusWindow;
    table.setFocus = installed.setFocus;
    table.beginWaitCursor = installed.beginWaitCursor;
    table.endWaitCursor = installed.endWaitCursor;
    kvara::SetUiHooks(table);
}

}  // extern "C"
