#include "transport/hid_link.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>

#include "reader/handles.h"
#include "reader/link_factory.h"
#include "reader/port.h"
#include "transport/device_list.h"

namespace kvara {

namespace {

// hidapi entry points, bound once for the process: every one or none.
struct HidApi {
    int (*hid_init)() = nullptr;
    void* (*hid_open_path)(const char* path) = nullptr;
    int (*hid_write)(void* device, const unsigned char* data, std::size_t length) = nullptr;
    int (*hid_read_timeout)(void* device, unsigned char* data, std::size_t length, int ms) = nullptr;
    void (*hid_close)(void* device) = nullptr;
    bool loaded = false;
};

const HidApi& Api() {
    static HidApi api;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return;
        }
        HidApi bound;
        bound.hid_init = reinterpret_cast<int (*)()>(dlsym(library, "hid_init"));
        bound.hid_open_path = reinterpret_cast<void* (*)(const char*)>(dlsym(library, "hid_open_path"));
        bound.hid_write = reinterpret_cast<int (*)(void*, const unsigned char*, std::size_t)>(dlsym(library, "hid_write"));
        bound.hid_read_timeout =
            reinterpret_cast<int (*)(void*, unsigned char*, std::size_t, int)>(dlsym(library, "hid_read_timeout"));
        bound.hid_close = reinterpret_cast<void (*)(void*)>(dlsym(library, "hid_close"));
        if (bound.hid_init == nullptr || bound.hid_open_path == nullptr || bound.hid_write == nullptr ||
            bound.hid_read_timeout == nullptr || bound.hid_close == nullptr || bound.hid_init() != 0) {
            dlclose(library);
            return;  // all or nothing: the link then finds no devices
        }
        bound.loaded = true;
        api = bound;
    });
    return api;
}

}  // namespace

bool HidAvailable() { return Api().loaded; }

CHidLink::~CHidLink() { CloseHidLink(); }

bool CHidLink::OpenHidLink(const std::string& name) {
    const HidApi& api = Api();
    if (!api.loaded) {
        return false;
    }
    CloseHidLink();
    std::vector<HidDeviceInfo> devices;
    if (!CurrentDeviceSource().ListHidDevices(&devices)) {
        return false;
    }
    for (const auto& device : devices) {
        if (!IsAcceptedHidReader(device.vendorId, device.productId) || HidReaderName(device) != name) {
            continue;
        }
        HidReportLengths lengths;
        ByteBuffer descriptor;
        if (CurrentDeviceSource().ReadHidDescriptor(device.devnode, &descriptor)) {
            ParseReportLengths(descriptor, &lengths);
        }
        if (lengths.input > kMaxHidInputReport || lengths.output > kMaxHidOutputReport || lengths.input < 2 ||
            lengths.output < 4) {
            continue;  // reports this link cannot carry
        }
        void* handle = api.hid_open_path(device.devnode.c_str());
        if (handle == nullptr) {
            continue;  // held by the system or another program: pass it over
        }
        m_device = handle;
        m_lengths = lengths;
        m_name = name;
        m_linkId = HidHandles().Acquire();
        return true;
    }
    return false;
}

bool CHidLink::WriteReport(const ByteBuffer& report) {
    return m_device != nullptr && Api().hid_write(m_device, report.data(), report.size()) == static_cast<int>(report.size());
}

bool CHidLink::WriteHidReports(const std::uint8_t* data, std::size_t count) {
    if (m_device == nullptr) {
        return false;
    }
    for (const ByteBuffer& report : BuildOutputReports(data, count, m_lengths.output)) {
        if (!WriteReport(report)) {
            return false;
        }
    }
    return true;
}

bool CHidLink::SetReportMode(int mode) {
    return WriteReport(BuildModeReport(static_cast<std::uint8_t>(mode), m_lengths.output));
}

std::size_t CHidLink::ReadHidInput(std::uint8_t* buffer, std::size_t max) {
    if (m_device == nullptr || buffer == nullptr) {
        return 0;
    }
    std::uint8_t report[kMaxHidInputReport] = {};
    // hidraw hands over a report without its id byte when the device does not number them:
    // read behind a zero id so the report always starts with it.
    const int n = Api().hid_read_timeout(m_device, report + 1, m_lengths.input - 1, 1);
    if (n < 0) {
        // The device is gone. Its handle stays taken until the link is closed, so the reader
        // can still be closed by it; commands meanwhile run into their time-out.
        Api().hid_close(m_device);
        m_device = nullptr;
        return 0;
    }
    if (n == 0) {
        return 0;
    }
    return InputReportPayload(report, static_cast<std::size_t>(n) + 1, m_lengths.input, buffer, max);
}

void CHidLink::CloseHidLink() {
    if (m_device != nullptr) {
        Api().hid_close(m_device);
        m_device = nullptr;
    }
    if (m_linkId != 0) {
        HidHandles().Release(m_linkId);
        m_linkId = 0;
    }
}

bool OpenHidLinkForPort(CKvara_Port& port, const std::string& name) {
    auto link = std::make_unique<CHidLink>();
    CHidLink* hid = link.get();
    port.AttachHidLink(std::move(link));
    if (!hid->OpenHidLink(name)) {
        return false;
    }
    hid->SetReportMode(0);
    return true;
}

}  // namespace kvara
