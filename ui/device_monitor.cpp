#include "ui/device_monitor.h"

#include <dlfcn.h>

#include <QSocketNotifier>
#include <cstring>

namespace kvara {

// The libudev entry points the monitor needs, all or none.
struct DeviceMonitor::Binding {
    void* library = nullptr;
#define KVARA_MONITOR_FUNCTIONS(X)                                                       \
    X(void*, udev_new, (void))                                                           \
    X(void*, udev_unref, (void*))                                                        \
    X(void*, udev_monitor_new_from_netlink, (void*, const char*))                        \
    X(int, udev_monitor_filter_add_match_subsystem_devtype, (void*, const char*, const char*)) \
    X(int, udev_monitor_enable_receiving, (void*))                                       \
    X(int, udev_monitor_get_fd, (void*))                                                 \
    X(void*, udev_monitor_receive_device, (void*))                                       \
    X(void*, udev_monitor_unref, (void*))                                                \
    X(const char*, udev_device_get_action, (void*))                                      \
    X(void*, udev_device_unref, (void*))
#define KVARA_MONITOR_POINTER(ret, name, args) ret(*name) args = nullptr;
    KVARA_MONITOR_FUNCTIONS(KVARA_MONITOR_POINTER)
#undef KVARA_MONITOR_POINTER

    bool Load() {
        library = dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return false;
        }
        bool all = true;
#define KVARA_MONITOR_RESOLVE(ret, name, args)                     \
    name = reinterpret_cast<ret(*) args>(dlsym(library, #name));    \
    all = all && name != nullptr;
        KVARA_MONITOR_FUNCTIONS(KVARA_MONITOR_RESOLVE)
#undef KVARA_MONITOR_RESOLVE
        if (!all) {
            dlclose(library);
            library = nullptr;
        }
        return all;
    }
    ~Binding() {
        if (library != nullptr) {
            dlclose(library);
        }
    }
};

DeviceMonitor::DeviceMonitor(QObject* parent) : QObject(parent), m_binding(std::make_unique<Binding>()) {}

DeviceMonitor::~DeviceMonitor() {
    delete m_notifier;
    if (m_monitor != nullptr) {
        m_binding->udev_monitor_unref(m_monitor);
    }
    if (m_udev != nullptr) {
        m_binding->udev_unref(m_udev);
    }
}

bool DeviceMonitor::Start() {
    if (!m_binding->Load()) {
        return false;
    }
    m_udev = m_binding->udev_new();
    if (m_udev == nullptr) {
        return false;
    }
    m_monitor = m_binding->udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor == nullptr) {
        return false;
    }
    for (const char* subsystem : {"tty", "usb", "hidraw"}) {
        m_binding->udev_monitor_filter_add_match_subsystem_devtype(m_monitor, subsystem, nullptr);
    }
    if (m_binding->udev_monitor_enable_receiving(m_monitor) < 0) {
        return false;
    }
    const int fd = m_binding->udev_monitor_get_fd(m_monitor);
    if (fd < 0) {
        return false;
    }
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceMonitor::OnReadable);
    return true;
}

void DeviceMonitor::OnReadable() {
    void* device = m_binding->udev_monitor_receive_device(m_monitor);
    if (device == nullptr) {
        return;
    }
    const char* action = m_binding->udev_device_get_action(device);
    int code = 0;
    if (action != nullptr && std::strcmp(action, "add") == 0) {
        code = kDeviceArrival;
    } else if (action != nullptr && (std::strcmp(action, "remove") == 0 || std::strcmp(action, "bind") == 0 ||
                                     std::strcmp(action, "unbind") == 0)) {
        code = kDeviceNodesChanged;
    }
    m_binding->udev_device_unref(device);
    if (code != 0) {
        emit DeviceChanged(code);
    }
}

}  // namespace kvara
