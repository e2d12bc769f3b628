// SPDX-License-Identifier: MIT
// The USB HID link: frames in output reports, answers pulled from input reports while the
// port waits. The device is found in the device database by its reader name and driven through
// hidapi (hidraw backend), loaded at run time.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "protocol/hid_report.h"
#include "reader/link.h"

struct hid_device_;

namespace kvara {

// Whether hidapi could be loaded with every entry point the link needs.
bool HidAvailable();
// The hidapi library the link loads (libhidapi-hidraw.so.0); a test points it elsewhere to see
// how the library behaves without HID support. Takes effect at the next use.
void SetHidLibraryName(const std::string& name);

// The longest a report write may take before the command fails: hidraw writes block while the
// device takes no report, and a USB driver may hold them for seconds.
constexpr int kHidWriteLimitMs = 50;

struct HidWriter;

class CHidLink final : public CReaderLink {
public:
    CHidLink() = default;
    ~CHidLink() override;
    CHidLink(const CHidLink&) = delete;
    CHidLink& operator=(const CHidLink&) = delete;

    // Opens the first of the maker's HID readers with this reader name (closing the link
    // first) and sends its mode report 0. False when HID support is missing or no such reader
    // opens.
    bool OpenHidLink(const std::string& name);
    // Sends the frame as output reports; false when a report did not go out.
    bool WriteHidReports(const std::uint8_t* data, std::size_t count);
    // Copies the payload of one pending input report (waits at most 1 ms); 0 when there is
    // none. A read error releases the device; the link id stays until CloseHidLink.
    std::size_t ReadHidInput(std::uint8_t* buffer, std::size_t max);
    // Sends the mode report 1 and closes the device; gives the handle back.
    void CloseHidLink();
    const HidReportLengths& Lengths() const { return m_lengths; }
    const std::string& Name() const { return m_name; }

    // CReaderLink
    void SetReceiver(CByteReceiver* receiver) override { (void)receiver; }
    bool Send(const std::uint8_t* data, std::size_t length) override {
        return WriteHidReports(data, length);
    }
    std::size_t ReadInput(std::uint8_t* buffer, std::size_t max) override {
        return ReadHidInput(buffer, max);
    }
    bool PullsInput() const override { return true; }
    int Handle() const override { return m_linkId; }
    bool IsUsbDevice() const override { return true; }
    void Close() override { CloseHidLink(); }
    // Sends the HID link's mode report (0 after opening, 1 before closing).
    bool SetReportMode(int mode);

private:
    bool WriteReport(const ByteBuffer& report);
    void ReleaseDevice();

    hid_device_* m_device = nullptr;
    // The thread that writes reports, so that a write the device does not take can be given up
    // on; it owns the device once the link lets go of it while a write is still stuck.
    std::shared_ptr<HidWriter> m_writer;
    std::atomic<int> m_linkId{0};  // read by the registry on any thread
    std::string m_name;
    HidReportLengths m_lengths;
};

}  // namespace kvara
