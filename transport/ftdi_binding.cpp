// SPDX-License-Identifier: MIT
#include "transport/ftdi_binding.h"

#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "common/log.h"

namespace kvara {

namespace {

constexpr const char* kLibrary = "libftd2xx.so";
constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kOpenExisting = 3;

// Entry points the library has that the links never call; looked up only so that a missing
// one is named.
constexpr const char* kUnusedEntryPoints[] = {
    "FT_SetBaudRate",         "FT_SetUSBParameters", "FT_ListDevices",
    "FT_GetDeviceInfoDetail", "FT_ResetDevice",
};
constexpr const char* kUnusedW32EntryPoints[] = {
    "FT_W32_GetOverlappedResult", "FT_W32_ClearCommBreak", "FT_W32_EscapeCommFunction",
    "FT_W32_GetCommTimeouts",     "FT_W32_SetCommBreak",   "FT_W32_SetupComm",
    "FT_W32_WaitCommEvent",
};

}  // namespace

CFTD2xxPort::~CFTD2xxPort() = default;

bool CFTD2xxPort::LibraryPresent() {
    DynamicLibrary library;
    void (*create)() = nullptr;
    return library.Open(kLibrary) && library.Resolve("FT_W32_CreateFile", create);
}

bool CFTD2xxPort::LoadFtdiLibrary() {
    if (m_library.IsOpen()) {
        return true;
    }
    if (!m_library.Open(kLibrary)) {
        // FTDI's library is optional: without it FTDI readers are not listed. Said once.
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) {
            const char* why = dlerror();
            LogDebug(std::string(kLibrary) + " not loaded (" +
                     (why != nullptr ? why : "not found") + "): FTDI readers are not listed");
        }
        return false;
    }
    // Looked up in the order the library documents them; a missing one only disables what
    // needs it, and is named.
    auto bind = [this](const char* name, auto& slot) {
        if (!m_library.Resolve(name, slot)) {
            LogDebug(std::string(kLibrary) + " has no " + name);
        }
    };
    void (*unused)() = nullptr;
    bind(kUnusedEntryPoints[0], unused);
    bind("FT_SetLatencyTimer", m_FT_SetLatencyTimer);
    bind(kUnusedEntryPoints[1], unused);
    bind(kUnusedEntryPoints[2], unused);
    bind("FT_CreateDeviceInfoList", m_FT_CreateDeviceInfoList);
    bind("FT_GetDeviceInfoList", m_FT_GetDeviceInfoList);
    bind(kUnusedEntryPoints[3], unused);
    bind(kUnusedEntryPoints[4], unused);
    bind("FT_SetVIDPID", m_FT_SetVIDPID);
    bind("FT_W32_CreateFile", m_FT_W32_CreateFile);
    bind("FT_W32_CloseHandle", m_FT_W32_CloseHandle);
    bind("FT_W32_ReadFile", m_FT_W32_ReadFile);
    bind("FT_W32_WriteFile", m_FT_W32_WriteFile);
    bind("FT_W32_GetLastError", m_FT_W32_GetLastError);
    bind(kUnusedW32EntryPoints[0], unused);
    bind(kUnusedW32EntryPoints[1], unused);
    bind("FT_W32_ClearCommError", m_FT_W32_ClearCommError);
    bind(kUnusedW32EntryPoints[2], unused);
    bind("FT_W32_GetCommModemStatus", m_FT_W32_GetCommModemStatus);
    bind("FT_W32_GetCommState", m_FT_W32_GetCommState);
    bind(kUnusedW32EntryPoints[3], unused);
    bind("FT_W32_PurgeComm", m_FT_W32_PurgeComm);
    bind(kUnusedW32EntryPoints[4], unused);
    bind("FT_W32_SetCommMask", m_FT_W32_SetCommMask);
    bind("FT_W32_SetCommState", m_FT_W32_SetCommState);
    bind("FT_W32_SetCommTimeouts", m_FT_W32_SetCommTimeouts);
    bind(kUnusedW32EntryPoints[5], unused);
    bind(kUnusedW32EntryPoints[6], unused);
    // On Linux the library serves only FTDI's own product ids unless told of others: without
    // this the maker's readers are neither listed nor opened.
    if (m_FT_SetVIDPID != nullptr) {
        m_FT_SetVIDPID(kFtdiVendorId, kFtdiReaderProductId);
    }
    return true;
}

FT_STATUS CFTD2xxPort::CreateDeviceInfoList(DWORD* count) {
    if (!LoadFtdiLibrary()) {
        return 1;
    }
    if (m_FT_CreateDeviceInfoList == nullptr) {
        LogDebug(std::string(kLibrary) + " has no FT_CreateDeviceInfoList");
        return 1;
    }
    return m_FT_CreateDeviceInfoList(count);
}

FT_STATUS CFTD2xxPort::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) {
    if (!LoadFtdiLibrary()) {
        return 1;
    }
    if (m_FT_GetDeviceInfoList == nullptr) {
        LogDebug(std::string(kLibrary) + " has no FT_GetDeviceInfoList");
        return 1;
    }
    return m_FT_GetDeviceInfoList(nodes, count);
}

FT_HANDLE CFTD2xxPort::W32CreateFile(const std::string& serial) {
    LoadFtdiLibrary();
    if (m_FT_W32_CreateFile == nullptr) {
        return InvalidFtHandle();
    }
    return m_FT_W32_CreateFile(serial.c_str(), kGenericRead | kGenericWrite, 0, nullptr,
                               kOpenExisting, FT_OPEN_BY_SERIAL_NUMBER, nullptr);
}

FT_STATUS CFTD2xxPort::SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) {
    return m_FT_SetLatencyTimer == nullptr ? 1 : m_FT_SetLatencyTimer(handle, ms);
}

BOOL CFTD2xxPort::W32SetCommTimeouts(FT_HANDLE handle, FTTIMEOUTS* timeouts) {
    return m_FT_W32_SetCommTimeouts == nullptr ? 0 : m_FT_W32_SetCommTimeouts(handle, timeouts);
}

BOOL CFTD2xxPort::W32SetCommMask(FT_HANDLE handle, DWORD mask) {
    return m_FT_W32_SetCommMask == nullptr ? 0 : m_FT_W32_SetCommMask(handle, mask);
}

BOOL CFTD2xxPort::W32GetCommState(FT_HANDLE handle, FTDCB* dcb) {
    return m_FT_W32_GetCommState == nullptr ? 0 : m_FT_W32_GetCommState(handle, dcb);
}

BOOL CFTD2xxPort::W32SetCommState(FT_HANDLE handle, FTDCB* dcb) {
    return m_FT_W32_SetCommState == nullptr ? 0 : m_FT_W32_SetCommState(handle, dcb);
}

void CFTD2xxPort::W32PurgeComm(FT_HANDLE handle, DWORD flags) {
    if (m_FT_W32_PurgeComm != nullptr) {
        m_FT_W32_PurgeComm(handle, flags);
    }
}

BOOL CFTD2xxPort::W32ClearCommError(FT_HANDLE handle, DWORD* errors, FTCOMSTAT* status) {
    return m_FT_W32_ClearCommError == nullptr ? 0 : m_FT_W32_ClearCommError(handle, errors, status);
}

BOOL CFTD2xxPort::W32GetCommModemStatus(FT_HANDLE handle, DWORD* status) {
    return m_FT_W32_GetCommModemStatus == nullptr ? 0 : m_FT_W32_GetCommModemStatus(handle, status);
}

BOOL CFTD2xxPort::W32ReadFile(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    return m_FT_W32_ReadFile == nullptr ? 0
                                        : m_FT_W32_ReadFile(handle, buffer, count, read, nullptr);
}

BOOL CFTD2xxPort::W32WriteFile(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* written) {
    return m_FT_W32_WriteFile == nullptr
               ? 0
               : m_FT_W32_WriteFile(handle, buffer, count, written, nullptr);
}

DWORD CFTD2xxPort::W32GetLastError(FT_HANDLE handle) {
    return m_FT_W32_GetLastError == nullptr ? 0 : m_FT_W32_GetLastError(handle);
}

BOOL CFTD2xxPort::W32CloseHandle(FT_HANDLE handle) {
    return m_FT_W32_CloseHandle == nullptr ? 0 : m_FT_W32_CloseHandle(handle);
}

void CFTD2xxPort::ListFtdiSerials(StringList& list) {
    DWORD count = 0;
    if (CreateDeviceInfoList(&count) != FT_OK || count == 0 || count > 1024) {
        return;
    }
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    DWORD filled = count;
    if (GetDeviceInfoList(nodes.data(), &filled) != FT_OK) {
        return;
    }
    for (DWORD i = 0; i < filled && i < count; ++i) {
        const FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
        const std::string serial(node.SerialNumber,
                                 strnlen(node.SerialNumber, sizeof node.SerialNumber));
        if (node.ftHandle == nullptr && !serial.empty()) {
            list.push_back(serial);
        }
    }
}

}  // namespace kvara
