// SPDX-License-Identifier: MIT
#include "transport/hid_link.h"

#include <hidapi/hidapi.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "common/dynamic_library.h"
#include "common/open_cause.h"

#include "reader/handles.h"
#include "transport/device_list.h"

namespace kvara {

namespace {

// hidapi's entry points, typed from its own header.
struct HidApi {
    decltype(&::hid_init) hid_init = nullptr;
    decltype(&::hid_open_path) hid_open_path = nullptr;
    decltype(&::hid_write) hid_write = nullptr;
    decltype(&::hid_read_timeout) hid_read_timeout = nullptr;
    decltype(&::hid_close) hid_close = nullptr;
    bool loaded = false;
};

struct HidBinding {
    std::mutex lock;
    std::string name = "libhidapi-hidraw.so.0";
    bool bound = false;
    DynamicLibrary library;
    HidApi api;
};

HidBinding& Binding() {
    static HidBinding binding;
    return binding;
}

// Binds hidapi once (again after the library name changed): every entry point or none.
const HidApi& Api() {
    HidBinding& binding = Binding();
    std::lock_guard<std::mutex> guard(binding.lock);
    if (binding.bound) {
        return binding.api;
    }
    binding.bound = true;
    HidApi api;
    if (binding.library.Open(binding.name)) {
        Resolver resolve(binding.library);
        resolve("hid_init", api.hid_init);
        resolve("hid_open_path", api.hid_open_path);
        resolve("hid_write", api.hid_write);
        resolve("hid_read_timeout", api.hid_read_timeout);
        resolve("hid_close", api.hid_close);
        api.loaded = resolve.AllFound() && api.hid_init() == 0;
    }
    if (!api.loaded) {
        api = HidApi{};
        binding.library.Close();  // the link then finds no devices
    }
    binding.api = api;
    return binding.api;
}

}  // namespace

// Writes reports on a thread of its own: the link waits for a write only so long, and a write
// that the device never takes holds up neither the command nor the closing of the link.
struct HidWriter {
    std::mutex lock;
    std::condition_variable signal;
    hid_device* device = nullptr;
    std::optional<ByteBuffer> job;  // the report to write next
    bool writing = false;
    bool done = false;  // the last job is finished; result holds hid_write's answer
    int result = -1;
    bool closing = false;
    std::thread thread;

    void Run() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            signal.wait(guard, [this] { return job.has_value() || closing; });
            if (job) {
                const ByteBuffer report = std::move(*job);
                job.reset();
                writing = true;
                signal.notify_all();  // the link's wait for the device starts now
                guard.unlock();
                const int n = Api().hid_write(device, report.data(), report.size());
                guard.lock();
                writing = false;
                result = n;
                done = true;
                signal.notify_all();
                continue;
            }
            // Closing with nothing left to write. If the link has let go of the device while a
            // write was stuck, this thread closes it now that the write has returned.
            if (device != nullptr) {
                Api().hid_close(device);
                device = nullptr;
            }
            return;
        }
    }
};

void SetHidLibraryName(const std::string& name) {
    HidBinding& binding = Binding();
    std::lock_guard<std::mutex> guard(binding.lock);
    binding.name = name;
    binding.bound = false;
    binding.api = HidApi{};
    binding.library.Close();
}

bool HidAvailable() {
    return Api().loaded;
}

CHidLink::~CHidLink() {
    CloseHidLink();
}

bool CHidLink::OpenHidLink(const std::string& name) {
    const HidApi& api = Api();
    if (!api.loaded) {
        SetOpenCause("the HID library (libhidapi-hidraw) is not installed");
        return false;
    }
    CloseHidLink();
    std::vector<HidDeviceInfo> devices;
    if (!CurrentDeviceSource().ListHidDevices(&devices)) {
        return false;
    }
    for (const auto& device : devices) {
        if (!IsAcceptedHidReader(device.vendorId, device.productId) ||
            HidReaderName(device) != name) {
            continue;
        }
        HidReportLengths lengths;
        ByteBuffer descriptor;
        if (CurrentDeviceSource().ReadHidDescriptor(device.devnode, &descriptor)) {
            ParseReportLengths(descriptor, &lengths);
        }
        if (lengths.input > kMaxHidInputReport || lengths.output > kMaxHidOutputReport ||
            lengths.input < 2 || lengths.output < 4) {
            continue;  // reports this link cannot carry
        }
        errno = 0;
        hid_device* handle = api.hid_open_path(device.devnode.c_str());
        if (handle == nullptr) {
            SetOpenCause(device.devnode + ": " +
                         DeviceOpenCause(device.devnode, errno != 0 ? errno : EBUSY));
            continue;  // held by the system or another program: pass it over
        }
        auto writer = std::make_shared<HidWriter>();
        writer->device = handle;
        try {
            writer->thread = std::thread([raw = writer.get(), keep = writer] {
                (void)keep;  // a detached writer outlives the link
                raw->Run();
            });
        } catch (const std::system_error&) {
            api.hid_close(handle);
            return false;
        }
        m_writer = std::move(writer);
        m_device = handle;
        m_lengths = lengths;
        m_name = name;
        m_linkId = HidHandles().Acquire();
        SetReportMode(0);
        return true;
    }
    SetOpenCauseIfNone("no HID reader of that name is attached");
    return false;
}

bool CHidLink::WriteReport(const ByteBuffer& report) {
    if (m_device == nullptr || !m_writer) {
        return false;
    }
    HidWriter& writer = *m_writer;
    std::unique_lock<std::mutex> guard(writer.lock);
    if (writer.writing || writer.job) {
        return false;  // an earlier report is still stuck in the device
    }
    writer.done = false;
    writer.job = report;
    writer.signal.notify_all();
    // The limit is for the device: the writer picks the report up at once unless the machine
    // is busy, so its own start is waited for apart (generously).
    if (!writer.signal.wait_for(guard, std::chrono::seconds(1),
                                [&] { return writer.writing || writer.done; })) {
        return false;
    }
    const bool finished = writer.signal.wait_for(guard, std::chrono::milliseconds(kHidWriteLimitMs),
                                                 [&] { return writer.done; });
    return finished && writer.result == static_cast<int>(report.size());
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
        ReleaseDevice();
        return 0;
    }
    if (n == 0) {
        return 0;
    }
    return InputReportPayload(report, static_cast<std::size_t>(n) + 1, m_lengths.input, buffer,
                              max);
}

// Lets go of the device. Its writer closes it: at once when no write is stuck, otherwise when
// the stuck write returns; only then may the device go.
void CHidLink::ReleaseDevice() {
    m_device = nullptr;
    if (!m_writer) {
        return;
    }
    bool stuck = false;
    {
        std::lock_guard<std::mutex> guard(m_writer->lock);
        m_writer->closing = true;  // a report still pending (the mode report) goes out first
        stuck = m_writer->writing || m_writer->job.has_value();
        m_writer->signal.notify_all();
    }
    if (stuck) {
        m_writer->thread.detach();  // it holds its own reference to the writer
    } else {
        m_writer->thread.join();
    }
    m_writer.reset();
}

void CHidLink::CloseHidLink() {
    if (m_device != nullptr) {
        SetReportMode(1);
    }
    ReleaseDevice();
    if (m_linkId != 0) {
        HidHandles().Release(m_linkId);
        m_linkId = 0;
    }
}

}  // namespace kvara
