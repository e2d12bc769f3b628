// SPDX-License-Identifier: MIT
#include "transport/device_list.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "reader/kvara.h"
#include "transport/ftdi_binding.h"
#include "transport/hid_link.h"
#include "transport/serial_port.h"
#include "transport/udev.h"

namespace kvara {

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

std::string Text(const char* value) {
    return value == nullptr ? std::string() : std::string(value);
}

std::string HardwareId(const std::string& vendor, const std::string& product) {
    auto upper = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return text;
    };
    if (vendor.empty() || product.empty()) {
        return {};
    }
    return "USB\\VID_" + upper(vendor) + "&PID_" + upper(product);
}

class UdevDeviceSource final : public DeviceSource {
public:
    explicit UdevDeviceSource(std::string sysfsRoot) : m_sysfsRoot(std::move(sysfsRoot)) {}

    bool ListTtyDevices(std::vector<TtyDeviceInfo>* devices) override {
        return Walk("tty", [&](udev_device* device) {
            TtyDeviceInfo info;
            info.subsystem = "tty";
            info.devnode = Text(m_api->udev_device_get_devnode(device));
            udev_device* parent = m_api->udev_device_get_parent(device);
            info.hasParent = parent != nullptr;
            udev_device* usb =
                m_api->udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
            if (usb != nullptr) {
                info.hardwareId =
                    HardwareId(Text(m_api->udev_device_get_sysattr_value(usb, "idVendor")),
                               Text(m_api->udev_device_get_sysattr_value(usb, "idProduct")));
                info.description = Text(m_api->udev_device_get_sysattr_value(usb, "product"));
            }
            if (info.description.empty()) {
                info.description =
                    Text(m_api->udev_device_get_property_value(device, "ID_MODEL_FROM_DATABASE"));
            }
            if (info.description.empty()) {
                info.description = Text(m_api->udev_device_get_property_value(device, "ID_MODEL"));
            }
            for (udev_list_entry* link = m_api->udev_device_get_devlinks_list_entry(device);
                 link != nullptr; link = m_api->udev_list_entry_get_next(link)) {
                const std::string name = Text(m_api->udev_list_entry_get_name(link));
                if (name.rfind("/dev/serial/by-id/", 0) == 0) {
                    info.stableName = name;
                    break;
                }
            }
            info.uartMissing =
                info.devnode.rfind("/dev/ttyS", 0) == 0 && !UartPresent(info.devnode);
            devices->push_back(info);
        });
    }

    bool ListUsbDevices(std::vector<UsbDeviceInfo>* devices) override {
        std::vector<std::string> boundParents;
        const bool interfaces = Walk("usb", [&](udev_device* device) {
            if (Text(m_api->udev_device_get_devtype(device)) == "usb_interface" &&
                m_api->udev_device_get_driver(device) != nullptr) {
                if (udev_device* parent = m_api->udev_device_get_parent(device)) {
                    boundParents.push_back(Text(m_api->udev_device_get_syspath(parent)));
                }
            }
        });
        if (!interfaces) {
            return false;
        }
        return Walk("usb", [&](udev_device* device) {
            if (Text(m_api->udev_device_get_devtype(device)) != "usb_device") {
                return;
            }
            UsbDeviceInfo info;
            info.hardwareId =
                HardwareId(Text(m_api->udev_device_get_sysattr_value(device, "idVendor")),
                           Text(m_api->udev_device_get_sysattr_value(device, "idProduct")));
            const std::string path = Text(m_api->udev_device_get_syspath(device));
            info.driverBound =
                std::find(boundParents.begin(), boundParents.end(), path) != boundParents.end();
            devices->push_back(info);
        });
    }

    bool ListHidDevices(std::vector<HidDeviceInfo>* devices) override {
        return Walk("hidraw", [&](udev_device* device) {
            udev_device* usb =
                m_api->udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
            if (usb == nullptr) {
                return;  // HID over Bluetooth or I2C: not a reader
            }
            HidDeviceInfo info;
            info.vendorId = static_cast<int>(std::strtol(
                Text(m_api->udev_device_get_sysattr_value(usb, "idVendor")).c_str(), nullptr, 16));
            info.productId = static_cast<int>(std::strtol(
                Text(m_api->udev_device_get_sysattr_value(usb, "idProduct")).c_str(), nullptr, 16));
            const char* serial = m_api->udev_device_get_sysattr_value(usb, "serial");
            info.hasSerial = serial != nullptr;
            info.serial = Text(serial);
            info.devnode = Text(m_api->udev_device_get_devnode(device));
            devices->push_back(info);
        });
    }

    bool ReadHidDescriptor(const std::string& devnode, ByteBuffer* descriptor) override {
        const std::size_t slash = devnode.rfind('/');
        const std::string name = slash == std::string::npos ? devnode : devnode.substr(slash + 1);
        if (name.empty() || name.find("..") != std::string::npos) {
            return false;
        }
        const std::string path =
            m_sysfsRoot + "/class/hidraw/" + name + "/device/report_descriptor";
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            return false;
        }
        std::uint8_t chunk[512];
        descriptor->clear();
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0 && descriptor->size() < 65536) {
            descriptor->insert(descriptor->end(), chunk, chunk + n);
        }
        std::fclose(file);
        return true;
    }

    bool VirtualComDriverAvailable() override {
        if (access("/sys/bus/usb/drivers/cdc_acm", F_OK) == 0) {
            return true;  // loaded or built in
        }
        // Not loaded yet: is the module there for the running kernel?
        char release[256] = {};
        FILE* file = std::fopen("/proc/sys/kernel/osrelease", "r");
        if (file == nullptr) {
            return false;
        }
        const bool read = std::fgets(release, sizeof release, file) != nullptr;
        std::fclose(file);
        if (!read) {
            return false;
        }
        release[std::strcspn(release, "\n")] = '\0';
        for (const char* list : {"modules.dep", "modules.builtin"}) {
            const std::string path = std::string("/lib/modules/") + release + "/" + list;
            FILE* modules = std::fopen(path.c_str(), "r");
            if (modules == nullptr) {
                continue;
            }
            char line[1024];
            bool found = false;
            while (!found && std::fgets(line, sizeof line, modules) != nullptr) {
                found = std::strstr(line, "/cdc-acm.ko") != nullptr;
            }
            std::fclose(modules);
            if (found) {
                return true;
            }
        }
        return false;
    }

private:
    template <typename Visit>
    bool Walk(const char* subsystem, Visit visit) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_api = Udev();
        if (m_api == nullptr) {
            return false;
        }
        udev* context = m_api->udev_new();
        if (context == nullptr) {
            return false;
        }
        udev_enumerate* enumerate = m_api->udev_enumerate_new(context);
        if (enumerate == nullptr) {
            m_api->udev_unref(context);
            return false;
        }
        m_api->udev_enumerate_add_match_subsystem(enumerate, subsystem);
        m_api->udev_enumerate_scan_devices(enumerate);
        for (udev_list_entry* entry = m_api->udev_enumerate_get_list_entry(enumerate);
             entry != nullptr; entry = m_api->udev_list_entry_get_next(entry)) {
            udev_device* device = m_api->udev_device_new_from_syspath(
                context, m_api->udev_list_entry_get_name(entry));
            if (device != nullptr) {
                visit(device);
                m_api->udev_device_unref(device);
            }
        }
        m_api->udev_enumerate_unref(enumerate);
        m_api->udev_unref(context);
        return true;
    }

    std::mutex m_lock;
    const UdevApi* m_api = nullptr;
    const std::string m_sysfsRoot;
};

std::mutex g_sourceLock;
std::shared_ptr<DeviceSource> g_source;

}  // namespace

std::shared_ptr<DeviceSource> NewUdevDeviceSource(const std::string& sysfsRoot) {
    return std::make_shared<UdevDeviceSource>(sysfsRoot);
}

DeviceSource& CurrentDeviceSource() {
    std::lock_guard<std::mutex> guard(g_sourceLock);
    if (!g_source) {
        g_source = NewUdevDeviceSource();
    }
    return *g_source;
}

void SetDeviceSource(std::shared_ptr<DeviceSource> source) {
    std::lock_guard<std::mutex> guard(g_sourceLock);
    g_source = std::move(source);
}

std::string PortTag(const TtyDeviceInfo& device) {
    if (BeginsWithIgnoringCase(device.description, "Quarn") ||
        BeginsWithIgnoringCase(device.description, "Mirel")) {
        return " [" + device.description + "]";
    }
    if (Contains(device.hardwareId, kVidQuarn) && Contains(device.hardwareId, kPidVirtualCom)) {
        return " [Quarn Virtual COM]";
    }
    return {};
}

bool UartPresent(const std::string& devnode) {
    const int fd = open(devnode.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return true;  // cannot tell (held, or not ours to open): keep it
    }
    serial_struct info{};
    const bool noUart = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
    close(fd);
    return !noUart;
}

int ListComPorts(StringList& list) {
    list.clear();
    std::vector<TtyDeviceInfo> devices;
    if (CurrentDeviceSource().ListTtyDevices(&devices)) {
        std::vector<std::pair<int, std::string>> entries;
        for (const auto& device : devices) {
            // Serial ports only: terminals with a device behind them and a device node.
            if (device.subsystem != "tty" || !device.hasParent || device.devnode.size() <= 5 ||
                device.devnode.rfind("/dev/", 0) != 0) {
                continue;
            }
            if (device.uartMissing) {
                continue;  // registered by the kernel, but no hardware behind it
            }
            std::string name = device.devnode;
            if (!device.stableName.empty() && device.stableName.find(' ') == std::string::npos) {
                name = device.stableName + " (" +
                       device.devnode.substr(device.devnode.rfind('/') + 1) + ")";
            }
            entries.emplace_back(ExaminePortName(device.devnode).portNumber,
                                 name + PortTag(device));
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& entry : entries) {
            list.push_back(std::move(entry.second));
        }
        return 1;
    }
    // No device database: every legacy serial port that opens is there. One that another
    // program holds is therefore not listed.
    for (int n = 0; n < 255; ++n) {
        const std::string name = "/dev/ttyS" + std::to_string(n);
        const int fd = open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const bool free = isatty(fd) != 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        if (free && UartPresent(name)) {
            list.push_back(name);
        }
    }
    return 1;
}

bool FtdiLibraryUsable() {
    return CFTD2xxPort::LibraryPresent();
}

int FindDevicesWithoutDriver() {
    std::vector<UsbDeviceInfo> devices;
    if (!CurrentDeviceSource().ListUsbDevices(&devices)) {
        return 0;
    }
    int flags = 0;
    for (const auto& device : devices) {
        if (device.driverBound) {
            continue;
        }
        if (Contains(device.hardwareId, kVidQuarn) && Contains(device.hardwareId, kPidVirtualCom)) {
            flags |= kDriverMissingVirtualCom;
        } else if (Contains(device.hardwareId, kVidFtdi) &&
                   Contains(device.hardwareId, kPidFtdiReader) && !FtdiLibraryUsable()) {
            // An FTDI reader used through libftd2xx has no kernel driver bound while idle; it
            // lacks a driver only when the library cannot serve it either.
            flags |= kDriverMissingFtdi;
        }
    }
    return flags;
}

bool IsAcceptedHidReader(int vendorId, int productId) {
    if (vendorId == 0x16C0) {
        return productId == 0x4E27;
    }
    if (vendorId == 0x7A3C) {
        return productId == 0x0C5C || productId == 0x0C5E || productId == 0x0C5F ||
               productId == 0x0C60;
    }
    return false;
}

std::string HidReaderName(const HidDeviceInfo& device) {
    return (device.hasSerial ? device.serial : std::string("4821-????")) + " HID";
}

int CountMakersHidReaders() {
    std::vector<HidDeviceInfo> devices;
    if (!CurrentDeviceSource().ListHidDevices(&devices)) {
        return 0;
    }
    return static_cast<int>(
        std::count_if(devices.begin(), devices.end(), [](const HidDeviceInfo& device) {
            return IsAcceptedHidReader(device.vendorId, device.productId);
        }));
}

void ListHidReaders(StringList& list) {
    std::vector<HidDeviceInfo> devices;
    // A reader that cannot be opened is not offered: without hidapi there is no HID link.
    if (!HidAvailable() || !CurrentDeviceSource().ListHidDevices(&devices)) {
        return;
    }
    for (const auto& device : devices) {
        if (IsAcceptedHidReader(device.vendorId, device.productId)) {
            AppendUnique(list, HidReaderName(device));
        }
    }
}

bool HasMakersSerialPrefix(const std::string& entry) {
    const std::string head = entry.substr(0, 4);
    int value = 0;
    for (char c : head) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return !head.empty() && value >= 5260 && value <= 5269;
}

}  // namespace kvara

extern "C" {

int KvaraListComPorts(char* buffer, int size) {
    kvara::StringList list;
    kvara::ListComPorts(list);
    return kvara::WriteList(list, buffer, size);
}

int KvaraCheckUsbDrivers(void) {
    return kvara::FindDevicesWithoutDriver();
}

int KvaraCountHidReadersWithoutSupport(void) {
    return kvara::HidAvailable() ? 0 : kvara::CountMakersHidReaders();
}

int KvaraListUsbDevices(char* buffer, int size) {
    // FTDI readers by serial number first (nobody else has them open), then the HID readers.
    // Only entries with the maker's serial number prefixes are written.
    kvara::StringList all;
    kvara::CFTD2xxPort ftdi;
    ftdi.ListFtdiSerials(all);
    kvara::ListHidReaders(all);
    kvara::StringList makers;
    for (const auto& entry : all) {
        if (kvara::HasMakersSerialPrefix(entry)) {
            makers.push_back(entry);
        }
    }
    return kvara::WriteList(makers, buffer, size);
}

int KvaraIsVirtualComDriverInstalled(void) {
    return kvara::CurrentDeviceSource().VirtualComDriverAvailable() ? 1 : 0;
}

}  // extern "C"
