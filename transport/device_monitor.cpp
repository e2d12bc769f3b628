// SPDX-License-Identifier: MIT
// Device arrivals and removals from the kernel, through a libudev monitor on the library's one
// libudev binding. The caller watches the monitor's descriptor in its own event loop and reads
// a change whenever it becomes readable.
#include <cstring>
#include <map>
#include <mutex>

#include "reader/kvara.h"
#include "transport/udev.h"

namespace kvara {

namespace {

struct Monitor {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
};

std::mutex g_lock;
std::map<int, Monitor> g_monitors;  // by descriptor

void Release(const UdevApi& api, Monitor& monitor) {
    if (monitor.monitor != nullptr) {
        api.udev_monitor_unref(monitor.monitor);
    }
    if (monitor.context != nullptr) {
        api.udev_unref(monitor.context);
    }
}

}  // namespace

}  // namespace kvara

extern "C" {

int KvaraOpenDeviceMonitor(void) {
    const kvara::UdevApi* api = kvara::Udev();
    if (api == nullptr) {
        return -1;
    }
    kvara::Monitor monitor;
    monitor.context = api->udev_new();
    if (monitor.context != nullptr) {
        monitor.monitor = api->udev_monitor_new_from_netlink(monitor.context, "udev");
    }
    int fd = -1;
    if (monitor.monitor != nullptr) {
        for (const char* subsystem : {"tty", "usb", "hidraw"}) {
            api->udev_monitor_filter_add_match_subsystem_devtype(monitor.monitor, subsystem,
                                                                 nullptr);
        }
        if (api->udev_monitor_enable_receiving(monitor.monitor) >= 0) {
            fd = api->udev_monitor_get_fd(monitor.monitor);
        }
    }
    if (fd < 0) {
        kvara::Release(*api, monitor);
        return -1;
    }
    std::lock_guard<std::mutex> guard(kvara::g_lock);
    kvara::g_monitors[fd] = monitor;
    return fd;
}

int KvaraReadDeviceChange(int monitor) {
    const kvara::UdevApi* api = kvara::Udev();
    std::lock_guard<std::mutex> guard(kvara::g_lock);
    const auto it = kvara::g_monitors.find(monitor);
    if (api == nullptr || it == kvara::g_monitors.end()) {
        return -1;
    }
    udev_device* device = api->udev_monitor_receive_device(it->second.monitor);
    if (device == nullptr) {
        return 0;
    }
    const char* action = api->udev_device_get_action(device);
    int change = 0;
    if (action != nullptr && std::strcmp(action, "add") == 0) {
        change = KVARA_DEVICE_ADDED;
    } else if (action != nullptr &&
               (std::strcmp(action, "remove") == 0 || std::strcmp(action, "bind") == 0 ||
                std::strcmp(action, "unbind") == 0)) {
        change = KVARA_DEVICE_CHANGED;
    }
    api->udev_device_unref(device);
    return change;
}

void KvaraCloseDeviceMonitor(int monitor) {
    const kvara::UdevApi* api = kvara::Udev();
    std::lock_guard<std::mutex> guard(kvara::g_lock);
    const auto it = kvara::g_monitors.find(monitor);
    if (api == nullptr || it == kvara::g_monitors.end()) {
        return;
    }
    kvara::Release(*api, it->second);
    kvara::g_monitors.erase(it);
}

}  // extern "C"
