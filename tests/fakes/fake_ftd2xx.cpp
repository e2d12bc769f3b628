// SPDX-License-Identifier: MIT
// Test build of the FTDI entry points the serial link uses. Some entry points of the real
// library are left out on purpose: the binding must name them and carry on without them.
//
// Like the real library on Linux it serves FTDI's own product ids only, until FT_SetVIDPID
// names another; and a failed FT_W32_CreateFile returns INVALID_HANDLE_VALUE as the Linux
// headers define it, the 32-bit all-ones value.
#include "tests/fakes/fake_ftd2xx.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "sim/scheduler.h"

using kvara::BOOL;
using kvara::DWORD;
using kvara::FT_HANDLE;
using kvara::FT_STATUS;

namespace {

struct Device {
    std::string serial;
    kvara::DWORD productId = kvara::kFtdiReaderProductId;
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PieceScheduler> scheduler;
    std::mutex lock;
    kvara::ByteBuffer pending;
    bool open = false;
    std::atomic<bool> unplugged{false};  // read by the link's watcher without the lock
    int latency = 0;
    kvara::FTDCB dcb{};
};

std::mutex g_lock;
std::map<std::string, std::shared_ptr<Device>> g_devices;
std::vector<std::shared_ptr<Device>> g_order;  // in the order devices were added
kvara::DWORD g_customVendor = 0;               // the pair FT_SetVIDPID named last
kvara::DWORD g_customProduct = 0;
int g_badHandleCalls = 0;

// FTDI's own product ids, which the library serves without being told.
bool Served(const Device& device) {
    for (kvara::DWORD known : {0x6001u, 0x6010u, 0x6011u, 0x6014u, 0x6015u}) {
        if (device.productId == known) {
            return true;
        }
    }
    return g_customVendor == kvara::kFtdiVendorId && g_customProduct == device.productId;
}

std::vector<std::shared_ptr<Device>> ServedDevices() {
    std::vector<std::shared_ptr<Device>> served;
    for (const auto& device : g_order) {
        if (Served(*device)) {
            served.push_back(device);
        }
    }
    return served;
}

std::shared_ptr<Device> Find(const std::string& serial) {
    std::lock_guard<std::mutex> guard(g_lock);
    const auto it = g_devices.find(serial);
    return it == g_devices.end() ? nullptr : it->second;
}

Device* FromHandle(FT_HANDLE handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& device : g_order) {
        if (device.get() == handle) {
            return device.get();
        }
    }
    ++g_badHandleCalls;  // the real library would work on whatever the value points at
    return nullptr;
}

}  // namespace

namespace fakeftdi {

std::shared_ptr<kvara::sim::SimReader> AddDevice(const std::string& serial,
                                                 kvara::DWORD productId) {
    auto device = std::make_shared<Device>();
    device->serial = serial;
    device->productId = productId;
    device->reader = std::make_shared<kvara::sim::SimReader>();
    Device* raw = device.get();
    device->scheduler =
        std::make_unique<kvara::sim::PieceScheduler>([raw](const kvara::ByteBuffer& bytes) {
            std::lock_guard<std::mutex> guard(raw->lock);
            raw->pending.insert(raw->pending.end(), bytes.begin(), bytes.end());
        });
    std::lock_guard<std::mutex> guard(g_lock);
    g_devices[serial] = device;
    g_order.push_back(device);
    return device->reader;
}

void Reset() {
    std::vector<std::shared_ptr<Device>> devices;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        devices.swap(g_order);
        g_devices.clear();
        g_customVendor = 0;
        g_customProduct = 0;
        g_badHandleCalls = 0;
    }
    for (auto& device : devices) {
        device->scheduler->Stop();
    }
}

void Unplug(const std::string& serial) {
    if (auto device = Find(serial)) {
        std::lock_guard<std::mutex> guard(device->lock);
        device->unplugged = true;
    }
}

int Latency(const std::string& serial) {
    auto device = Find(serial);
    return device ? device->latency : -1;
}

kvara::FTDCB LastDcb(const std::string& serial) {
    auto device = Find(serial);
    return device ? device->dcb : kvara::FTDCB{};
}

int BadHandleCalls() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_badHandleCalls;
}

bool IsOpen(const std::string& serial) {
    auto device = Find(serial);
    return device && device->open;
}

}  // namespace fakeftdi

extern "C" {

__attribute__((visibility("default"))) FT_STATUS FT_SetVIDPID(DWORD vendor, DWORD product) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_customVendor = vendor;
    g_customProduct = product;
    return kvara::FT_OK;
}

__attribute__((visibility("default"))) FT_STATUS FT_CreateDeviceInfoList(DWORD* count) {
    std::lock_guard<std::mutex> guard(g_lock);
    *count = static_cast<DWORD>(ServedDevices().size());
    return kvara::FT_OK;
}

__attribute__((visibility("default"))) FT_STATUS FT_GetDeviceInfoList(
    kvara::FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) {
    std::lock_guard<std::mutex> guard(g_lock);
    const auto served = ServedDevices();
    const DWORD n = std::min<DWORD>(*count, static_cast<DWORD>(served.size()));
    for (DWORD i = 0; i < n; ++i) {
        kvara::FT_DEVICE_LIST_INFO_NODE node{};
        std::strncpy(node.SerialNumber, served[i]->serial.c_str(), sizeof node.SerialNumber - 1);
        std::strncpy(node.Description, "Kvara", sizeof node.Description - 1);
        node.ftHandle = served[i]->open ? served[i].get() : nullptr;
        nodes[i] = node;
    }
    *count = n;
    return kvara::FT_OK;
}

__attribute__((visibility("default"))) FT_HANDLE FT_W32_CreateFile(const char* name, DWORD, DWORD,
                                                                   void*, DWORD, DWORD flags,
                                                                   void*) {
    auto device = Find(name == nullptr ? "" : name);
    bool served = false;
    if (device) {
        std::lock_guard<std::mutex> guard(g_lock);
        served = Served(*device);
    }
    if (!device || !served || flags != kvara::FT_OPEN_BY_SERIAL_NUMBER || device->open ||
        device->unplugged) {
        return reinterpret_cast<FT_HANDLE>(
            static_cast<std::uintptr_t>(0xFFFFFFFFu));  // INVALID_HANDLE_VALUE
    }
    device->open = true;
    return device.get();
}

__attribute__((visibility("default"))) BOOL FT_W32_CloseHandle(FT_HANDLE handle) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 0;
    }
    device->open = false;
    return 1;
}

__attribute__((visibility("default"))) FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle,
                                                                    unsigned char ms) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 1;
    }
    device->latency = ms;
    return kvara::FT_OK;
}

__attribute__((visibility("default"))) BOOL FT_W32_SetCommTimeouts(FT_HANDLE handle,
                                                                   kvara::FTTIMEOUTS*) {
    return FromHandle(handle) != nullptr ? 1 : 0;
}

__attribute__((visibility("default"))) BOOL FT_W32_SetCommMask(FT_HANDLE handle, DWORD) {
    return FromHandle(handle) != nullptr ? 1 : 0;
}

__attribute__((visibility("default"))) BOOL FT_W32_GetCommState(FT_HANDLE handle,
                                                                kvara::FTDCB* dcb) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 0;
    }
    *dcb = device->dcb;
    return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_SetCommState(FT_HANDLE handle,
                                                                kvara::FTDCB* dcb) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 0;
    }
    device->dcb = *dcb;
    return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_PurgeComm(FT_HANDLE handle, DWORD) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    device->pending.clear();
    return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_ClearCommError(FT_HANDLE handle, DWORD* errors,
                                                                  kvara::FTCOMSTAT* status) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->unplugged) {
        return 0;
    }
    *errors = 0;
    *status = kvara::FTCOMSTAT{0, static_cast<DWORD>(device->pending.size()), 0};
    return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_GetCommModemStatus(FT_HANDLE handle,
                                                                      DWORD* status) {
    Device* device = FromHandle(handle);
    if (device == nullptr || device->unplugged) {
        return 0;
    }
    *status = 0x30;  // CTS and DSR on
    return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_ReadFile(FT_HANDLE handle, void* buffer,
                                                            DWORD count, DWORD* read, void*) {
    Device* device = FromHandle(handle);
    if (device == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    const DWORD n = std::min<DWORD>(count, static_cast<DWORD>(device->pending.size()));
    std::memcpy(buffer, device->pending.data(), n);
    device->pending.erase(device->pending.begin(), device->pending.begin() + n);
    *read = n;
    return 1;
}

__attribute__((visibility("default"))) BOOL FT_W32_WriteFile(FT_HANDLE handle, const void* buffer,
                                                             DWORD count, DWORD* written, void*) {
    Device* device = FromHandle(handle);
    if (device == nullptr || device->unplugged) {
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    device->scheduler->Schedule(device->reader->Receive(bytes, count));
    *written = count;
    return 1;
}

__attribute__((visibility("default"))) DWORD FT_W32_GetLastError(FT_HANDLE) {
    return 0;
}

}  // extern "C"
