// SPDX-License-Identifier: MIT
// A device database stand-in: tests present any set of serial ports and USB devices.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "transport/device_list.h"

namespace kvara::test {

class DeviceStandIn final : public DeviceSource {
public:
    bool ListTtyDevices(std::vector<TtyDeviceInfo>* devices) override {
        std::lock_guard<std::mutex> guard(lock);
        if (!readable) {
            return false;
        }
        *devices = tty;
        return true;
    }
    bool ListUsbDevices(std::vector<UsbDeviceInfo>* devices) override {
        std::lock_guard<std::mutex> guard(lock);
        if (!readable) {
            return false;
        }
        *devices = usb;
        return true;
    }
    bool ListHidDevices(std::vector<HidDeviceInfo>* devices) override {
        std::lock_guard<std::mutex> guard(lock);
        if (!readable) {
            return false;
        }
        *devices = hid;
        return true;
    }
    bool ReadHidDescriptor(const std::string& devnode, ByteBuffer* descriptor) override {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& [node, bytes] : descriptors) {
            if (node == devnode) {
                *descriptor = bytes;
                return true;
            }
        }
        return false;
    }
    bool VirtualComDriverAvailable() override { return virtualComDriver; }

    // A serial port behind a USB device.
    void AddUsbSerial(const std::string& devnode, const std::string& description,
                      const std::string& hardwareId = {}) {
        std::lock_guard<std::mutex> guard(lock);
        tty.push_back({devnode, "tty", true, description, hardwareId});
    }

    std::mutex lock;
    bool readable = true;
    bool virtualComDriver = true;
    std::vector<TtyDeviceInfo> tty;
    std::vector<UsbDeviceInfo> usb;
    std::vector<HidDeviceInfo> hid;
    std::vector<std::pair<std::string, ByteBuffer>> descriptors;
};

// Installs a stand-in for the lifetime of the object.
struct ScopedDeviceStandIn {
    ScopedDeviceStandIn() : devices(std::make_shared<DeviceStandIn>()) { SetDeviceSource(devices); }
    ~ScopedDeviceStandIn() { SetDeviceSource(nullptr); }
    std::shared_ptr<DeviceStandIn> devices;
};

}  // namespace kvara::test
