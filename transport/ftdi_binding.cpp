#include "transport/ftdi_binding.h"

#include <dlfcn.h>

#include <cstring>
#include <vector>

#include "common/log.h"

namespace kvara {

namespace {

constexpr const char* kLibrary = "libftd2xx.so";
constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kOpenExisting = 3;

template <typename Function>
Function As(void* slot) {
    return reinterpret_cast<Function>(slot);
}

}  // namespace

CFTD2xxPort::~CFTD2xxPort() {
    if (m_library != nullptr) {
        dlclose(m_library);
        m_library = nullptr;
    }
#define KVARA_FTDI_CLEAR(name) m_##name = nullptr;
    KVARA_FTDI_ENTRY_POINTS(KVARA_FTDI_CLEAR)
#undef KVARA_FTDI_CLEAR
}

bool CFTD2xxPort::LibraryPresent() {
    void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return false;
    }
    const bool opens = dlsym(library, "FT_W32_CreateFile") != nullptr;
    dlclose(library);
    return opens;
}

bool CFTD2xxPort::LoadFtdiLibrary() {
    if (m_library != nullptr) {
        return true;
    }
    m_library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (m_library == nullptr) {
        LogDebug(std::string("Fehler: Kann ") + kLibrary + " nicht laden");
        return false;
    }
    // Looked up in the order the library documents them; a missing one only disables what
    // needs it.
    auto bind = [this](const char* name, void** slot) {
        *slot = dlsym(m_library, name);
        if (*slot == nullptr) {
            LogDebug(std::string("Fehler: Kann ") + name + " nicht initialisieren");
        }
    };
    bind("FT_SetBaudRate", &m_FT_SetBaudRate);
    bind("FT_SetLatencyTimer", &m_FT_SetLatencyTimer);
    bind("FT_SetUSBParameters", &m_FT_SetUSBParameters);
    bind("FT_ListDevices", &m_FT_ListDevices);
    bind("FT_CreateDeviceInfoList", &m_FT_CreateDeviceInfoList);
    bind("FT_GetDeviceInfoList", &m_FT_GetDeviceInfoList);
    bind("FT_GetDeviceInfoDetail", &m_FT_GetDeviceInfoDetail);
    bind("FT_ResetDevice", &m_FT_ResetDevice);
    bind("FT_SetVIDPID", &m_FT_SetVIDPID);
#define KVARA_FTDI_BIND_W32(name)                         \
    if (std::strncmp(#name, "FT_W32_", 7) == 0) {         \
        bind(#name, &m_##name);                           \
    }
    KVARA_FTDI_ENTRY_POINTS(KVARA_FTDI_BIND_W32)
#undef KVARA_FTDI_BIND_W32
    // On Linux the library serves only FTDI's own product ids unless told of others: without
    // this the maker's readers are neither listed nor opened.
    if (m_FT_SetVIDPID != nullptr) {
        As<FT_STATUS (*)(DWORD, DWORD)>(m_FT_SetVIDPID)(kFtdiVendorId, kFtdiReaderProductId);
    }
    return true;
}

FT_STATUS CFTD2xxPort::CreateDeviceInfoList(DWORD* count) {
    LoadFtdiLibrary();
    if (m_FT_CreateDeviceInfoList == nullptr) {
        LogDebug("FT_CreateDeviceInfoList ist nicht vorhanden!");
        return 1;
    }
    return As<FT_STATUS (*)(DWORD*)>(m_FT_CreateDeviceInfoList)(count);
}

FT_STATUS CFTD2xxPort::GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) {
    LoadFtdiLibrary();
    if (m_FT_GetDeviceInfoList == nullptr) {
        LogDebug("FT_GetDeviceInfoList ist nicht vorhanden!");
        return 1;
    }
    return As<FT_STATUS (*)(FT_DEVICE_LIST_INFO_NODE*, DWORD*)>(m_FT_GetDeviceInfoList)(nodes, count);
}

FT_HANDLE CFTD2xxPort::W32CreateFile(const std::string& serial) {
    LoadFtdiLibrary();
    if (m_FT_W32_CreateFile == nullptr) {
        return InvalidFtHandle();
    }
    using Create = FT_HANDLE (*)(const char*, DWORD, DWORD, void*, DWORD, DWORD, void*);
    return As<Create>(m_FT_W32_CreateFile)(serial.c_str(), kGenericRead | kGenericWrite, 0, nullptr, kOpenExisting,
                                           FT_OPEN_BY_SERIAL_NUMBER, nullptr);
}

FT_STATUS CFTD2xxPort::SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms) {
    return m_FT_SetLatencyTimer == nullptr ? 1 : As<FT_STATUS (*)(FT_HANDLE, std::uint8_t)>(m_FT_SetLatencyTimer)(handle, ms);
}

BOOL CFTD2xxPort::W32SetCommTimeouts(FT_HANDLE handle, FTTIMEOUTS* timeouts) {
    return m_FT_W32_SetCommTimeouts == nullptr ? 0
                                               : As<BOOL (*)(FT_HANDLE, FTTIMEOUTS*)>(m_FT_W32_SetCommTimeouts)(handle, timeouts);
}

BOOL CFTD2xxPort::W32SetCommMask(FT_HANDLE handle, DWORD mask) {
    return m_FT_W32_SetCommMask == nullptr ? 0 : As<BOOL (*)(FT_HANDLE, DWORD)>(m_FT_W32_SetCommMask)(handle, mask);
}

BOOL CFTD2xxPort::W32GetCommState(FT_HANDLE handle, FTDCB* dcb) {
    return m_FT_W32_GetCommState == nullptr ? 0 : As<BOOL (*)(FT_HANDLE, FTDCB*)>(m_FT_W32_GetCommState)(handle, dcb);
}

BOOL CFTD2xxPort::W32SetCommState(FT_HANDLE handle, FTDCB* dcb) {
    return m_FT_W32_SetCommState == nullptr ? 0 : As<BOOL (*)(FT_HANDLE, FTDCB*)>(m_FT_W32_SetCommState)(handle, dcb);
}

void CFTD2xxPort::W32PurgeComm(FT_HANDLE handle, DWORD flags) {
    if (m_FT_W32_PurgeComm != nullptr) {
        As<BOOL (*)(FT_HANDLE, DWORD)>(m_FT_W32_PurgeComm)(handle, flags);
    }
}

BOOL CFTD2xxPort::W32ClearCommError(FT_HANDLE handle, DWORD* errors, FTCOMSTAT* status) {
    return m_FT_W32_ClearCommError == nullptr
               ? 0
               : As<BOOL (*)(FT_HANDLE, DWORD*, FTCOMSTAT*)>(m_FT_W32_ClearCommError)(handle, errors, status);
}

BOOL CFTD2xxPort::W32GetCommModemStatus(FT_HANDLE handle, DWORD* status) {
    return m_FT_W32_GetCommModemStatus == nullptr
               ? 0
               : As<BOOL (*)(FT_HANDLE, DWORD*)>(m_FT_W32_GetCommModemStatus)(handle, status);
}

BOOL CFTD2xxPort::W32ReadFile(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    return m_FT_W32_ReadFile == nullptr
               ? 0
               : As<BOOL (*)(FT_HANDLE, void*, DWORD, DWORD*, void*)>(m_FT_W32_ReadFile)(handle, buffer, count, read, nullptr);
}

BOOL CFTD2xxPort::W32WriteFile(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* written) {
    return m_FT_W32_WriteFile == nullptr
               ? 0
               : As<BOOL (*)(FT_HANDLE, const void*, DWORD, DWORD*, void*)>(m_FT_W32_WriteFile)(handle, buffer, count,
                                                                                              written, nullptr);
}

DWORD CFTD2xxPort::W32GetLastError(FT_HANDLE handle) {
    return m_FT_W32_GetLastError == nullptr ? 0 : As<DWORD (*)(FT_HANDLE)>(m_FT_W32_GetLastError)(handle);
}

BOOL CFTD2xxPort::W32CloseHandle(FT_HANDLE handle) {
    return m_FT_W32_CloseHandle == nullptr ? 0 : As<BOOL (*)(FT_HANDLE)>(m_FT_W32_CloseHandle)(handle);
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
        const std::string serial(node.SerialNumber, strnlen(node.SerialNumber, sizeof node.SerialNumber));
        if (node.ftHandle == nullptr && !serial.empty()) {
            list.push_back(serial);
        }
    }
}

}  // namespace kvara
