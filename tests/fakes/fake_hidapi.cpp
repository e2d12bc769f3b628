// SPDX-License-Identifier: MIT
// Test build of hidapi's entry points over simulated readers.
#include "tests/fakes/fake_hidapi.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "sim/scheduler.h"

namespace {

struct Device {
    std::string path;
    std::size_t inputLength = 9;
    std::size_t outputLength = 9;
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PieceScheduler> scheduler;
    std::mutex lock;
    std::condition_variable arrived;
    kvara::ByteBuffer pending;  // answer bytes not yet in an input report
    std::deque<kvara::ByteBuffer> raw;
    std::vector<kvara::ByteBuffer> written;
    std::vector<int> modes;
    bool unplugged = false;
    bool holdWrites = false;  // hid_write blocks, as hidraw does while the device takes no report
    std::condition_variable released;
    int opens = 0;
};

std::mutex g_lock;
std::map<std::string, std::shared_ptr<Device>> g_devices;

std::shared_ptr<Device> Find(const std::string& path) {
    std::lock_guard<std::mutex> guard(g_lock);
    const auto it = g_devices.find(path);
    return it == g_devices.end() ? nullptr : it->second;
}

}  // namespace

namespace fakehid {

std::shared_ptr<kvara::sim::SimReader> AddDevice(const std::string& path, std::size_t inputLength,
                                                 std::size_t outputLength) {
    auto device = std::make_shared<Device>();
    device->path = path;
    device->inputLength = inputLength;
    device->outputLength = outputLength;
    device->reader = std::make_shared<kvara::sim::SimReader>();
    Device* raw = device.get();
    device->scheduler =
        std::make_unique<kvara::sim::PieceScheduler>([raw](const kvara::ByteBuffer& bytes) {
            std::lock_guard<std::mutex> guard(raw->lock);
            raw->pending.insert(raw->pending.end(), bytes.begin(), bytes.end());
            raw->arrived.notify_all();
        });
    std::lock_guard<std::mutex> guard(g_lock);
    g_devices[path] = device;
    return device->reader;
}

void Reset() {
    std::map<std::string, std::shared_ptr<Device>> devices;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        devices.swap(g_devices);
    }
    for (auto& [path, device] : devices) {
        device->scheduler->Stop();
    }
}

std::vector<kvara::ByteBuffer> Written(const std::string& path) {
    auto device = Find(path);
    if (!device) {
        return {};
    }
    std::lock_guard<std::mutex> guard(device->lock);
    return device->written;
}

std::vector<int> Modes(const std::string& path) {
    auto device = Find(path);
    if (!device) {
        return {};
    }
    std::lock_guard<std::mutex> guard(device->lock);
    return device->modes;
}

void Unplug(const std::string& path) {
    if (auto device = Find(path)) {
        std::lock_guard<std::mutex> guard(device->lock);
        device->unplugged = true;
        device->arrived.notify_all();
    }
}

void HoldWrites(const std::string& path, bool hold) {
    if (auto device = Find(path)) {
        std::lock_guard<std::mutex> guard(device->lock);
        device->holdWrites = hold;
        device->released.notify_all();
    }
}

int OpenCount(const std::string& path) {
    auto device = Find(path);
    return device ? device->opens : 0;
}

void QueueRawInput(const std::string& path, const kvara::ByteBuffer& report) {
    if (auto device = Find(path)) {
        std::lock_guard<std::mutex> guard(device->lock);
        device->raw.push_back(report);
        device->arrived.notify_all();
    }
}

}  // namespace fakehid

extern "C" {

__attribute__((visibility("default"))) int hid_init() {
    return 0;
}
__attribute__((visibility("default"))) int hid_exit() {
    return 0;
}

__attribute__((visibility("default"))) void* hid_open_path(const char* path) {
    auto device = Find(path == nullptr ? "" : path);
    if (!device) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->unplugged) {
        return nullptr;
    }
    ++device->opens;
    return new std::shared_ptr<Device>(device);
}

__attribute__((visibility("default"))) void hid_close(void* handle) {
    delete static_cast<std::shared_ptr<Device>*>(handle);
}

__attribute__((visibility("default"))) int hid_write(void* handle, const unsigned char* data,
                                                     std::size_t length) {
    if (handle == nullptr || data == nullptr) {
        return -1;
    }
    Device& device = **static_cast<std::shared_ptr<Device>*>(handle);
    kvara::ByteBuffer report(data, data + length);
    {
        std::unique_lock<std::mutex> guard(device.lock);
        device.released.wait(guard, [&] { return !device.holdWrites; });
        if (device.unplugged) {
            return -1;
        }
        device.written.push_back(report);
        if (length >= 4 && report[1] == 0x82 && report[2] == 0x10) {
            device.modes.push_back(report[3]);
            return static_cast<int>(length);
        }
    }
    if (length >= 2) {
        const std::size_t n = std::min<std::size_t>(report[1], length - 2);
        device.scheduler->Schedule(device.reader->Receive(report.data() + 2, n));
    }
    return static_cast<int>(length);
}

__attribute__((visibility("default"))) int hid_read_timeout(void* handle, unsigned char* data,
                                                            std::size_t length, int milliseconds) {
    if (handle == nullptr || data == nullptr) {
        return -1;
    }
    Device& device = **static_cast<std::shared_ptr<Device>*>(handle);
    std::unique_lock<std::mutex> guard(device.lock);
    device.arrived.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] {
        return device.unplugged || !device.pending.empty() || !device.raw.empty();
    });
    if (device.unplugged) {
        return -1;
    }
    if (!device.raw.empty()) {
        const kvara::ByteBuffer report = device.raw.front();
        device.raw.pop_front();
        const std::size_t n = std::min(report.size(), length);
        std::copy(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(n), data);
        return static_cast<int>(n);
    }
    if (device.pending.empty()) {
        return 0;
    }
    // One input report as hidraw delivers it: no id byte, then the length and the payload.
    const std::size_t reportBytes = std::min(length, device.inputLength - 1);
    const std::size_t chunk = std::min(device.pending.size(), reportBytes - 1);
    std::fill(data, data + reportBytes, 0);
    data[0] = static_cast<unsigned char>(chunk);
    std::copy(device.pending.begin(), device.pending.begin() + static_cast<std::ptrdiff_t>(chunk),
              data + 1);
    device.pending.erase(device.pending.begin(),
                         device.pending.begin() + static_cast<std::ptrdiff_t>(chunk));
    return static_cast<int>(reportBytes);
}

}  // extern "C"
