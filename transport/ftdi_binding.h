// SPDX-License-Identifier: MIT
// The FTDI D2XX library (libftd2xx.so), loaded at run time: a table of its entry points with a
// fixed failure value for each one that is missing, and the listing of free FTDI devices.
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "common/dynamic_library.h"

namespace kvara {

// The library's Win32-style types, as its Linux headers define them.
using FT_HANDLE = void*;
using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using BOOL = std::int32_t;

constexpr FT_STATUS FT_OK = 0;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
// What FT_W32_CreateFile returns on failure: the library's Linux headers define
// INVALID_HANDLE_VALUE as the 32-bit all-ones value, which a 64-bit pointer holds as
// 0x00000000FFFFFFFF, not as the all-ones pointer.
inline FT_HANDLE InvalidFtHandle() {
    return reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(0xFFFFFFFFu));
}
// Whether a handle from the library names no open device (also null and the all-ones pointer,
// which other builds of the library may use).
inline bool IsInvalidFtHandle(FT_HANDLE handle) {
    return handle == nullptr || handle == InvalidFtHandle() ||
           handle == reinterpret_cast<FT_HANDLE>(static_cast<std::intptr_t>(-1));
}
// The maker's FTDI-based readers: FTDI's vendor id with a product id of the maker's, which the
// library on Linux knows only once told with FT_SetVIDPID.
constexpr DWORD kFtdiVendorId = 0x0403;
constexpr DWORD kFtdiReaderProductId = 0xE5A1;

struct FT_DEVICE_LIST_INFO_NODE {
    std::uint32_t Flags;
    std::uint32_t Type;
    std::uint32_t ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

struct FTCOMSTAT {
    DWORD flags;  // the bit fields of a COMSTAT
    DWORD cbInQue;
    DWORD cbOutQue;
};

struct FTTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

struct FTDCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;    // 0 none, 1 odd, 2 even
    std::uint8_t StopBits;  // 0 one, 2 two
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};

// The library, its entry points bound one by one. A missing entry point leaves its slot empty
// and every call through it returns the fixed failure value.
class CFTD2xxPort {
public:
    CFTD2xxPort() = default;
    ~CFTD2xxPort();
    CFTD2xxPort(const CFTD2xxPort&) = delete;
    CFTD2xxPort& operator=(const CFTD2xxPort&) = delete;

    // Loads the library unless it is loaded, and tells it the maker's product id; a failure is
    // logged and tried again next time.
    bool LoadFtdiLibrary();
    bool Loaded() const { return m_library.IsOpen(); }
    // Whether the library loads and can open devices; asks quietly, binds nothing.
    static bool LibraryPresent();

    FT_STATUS CreateDeviceInfoList(DWORD* count);
    FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count);
    FT_HANDLE W32CreateFile(const std::string& serial);  // loads the library first
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, std::uint8_t ms);
    BOOL W32SetCommTimeouts(FT_HANDLE handle, FTTIMEOUTS* timeouts);
    BOOL W32SetCommMask(FT_HANDLE handle, DWORD mask);
    BOOL W32GetCommState(FT_HANDLE handle, FTDCB* dcb);
    BOOL W32SetCommState(FT_HANDLE handle, FTDCB* dcb);
    void W32PurgeComm(FT_HANDLE handle, DWORD flags);
    BOOL W32ClearCommError(FT_HANDLE handle, DWORD* errors, FTCOMSTAT* status);
    BOOL W32GetCommModemStatus(FT_HANDLE handle, DWORD* status);
    BOOL W32ReadFile(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read);
    BOOL W32WriteFile(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* written);
    DWORD W32GetLastError(FT_HANDLE handle);
    BOOL W32CloseHandle(FT_HANDLE handle);

    // Appends the serial number of every FTDI device that nobody has open.
    void ListFtdiSerials(StringList& list);

private:
    DynamicLibrary m_library;
    // Typed slots of the entry points the links call; null while unbound.
    FT_STATUS (*m_FT_CreateDeviceInfoList)(DWORD*) = nullptr;
    FT_STATUS (*m_FT_GetDeviceInfoList)(FT_DEVICE_LIST_INFO_NODE*, DWORD*) = nullptr;
    FT_STATUS (*m_FT_SetLatencyTimer)(FT_HANDLE, std::uint8_t) = nullptr;
    FT_STATUS (*m_FT_SetVIDPID)(DWORD, DWORD) = nullptr;
    FT_HANDLE(*m_FT_W32_CreateFile)
    (const char*, DWORD, DWORD, void*, DWORD, DWORD, void*) = nullptr;
    BOOL (*m_FT_W32_CloseHandle)(FT_HANDLE) = nullptr;
    BOOL (*m_FT_W32_ReadFile)(FT_HANDLE, void*, DWORD, DWORD*, void*) = nullptr;
    BOOL (*m_FT_W32_WriteFile)(FT_HANDLE, const void*, DWORD, DWORD*, void*) = nullptr;
    DWORD (*m_FT_W32_GetLastError)(FT_HANDLE) = nullptr;
    BOOL (*m_FT_W32_ClearCommError)(FT_HANDLE, DWORD*, FTCOMSTAT*) = nullptr;
    BOOL (*m_FT_W32_GetCommModemStatus)(FT_HANDLE, DWORD*) = nullptr;
    BOOL (*m_FT_W32_GetCommState)(FT_HANDLE, FTDCB*) = nullptr;
    BOOL (*m_FT_W32_PurgeComm)(FT_HANDLE, DWORD) = nullptr;
    BOOL (*m_FT_W32_SetCommMask)(FT_HANDLE, DWORD) = nullptr;
    BOOL (*m_FT_W32_SetCommState)(FT_HANDLE, FTDCB*) = nullptr;
    BOOL (*m_FT_W32_SetCommTimeouts)(FT_HANDLE, FTTIMEOUTS*) = nullptr;
};

}  // namespace kvara
