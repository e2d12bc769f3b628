// SPDX-License-Identifier: MIT
// The serial ports and USB devices present, from the system's device database, with the
// maker's tags; and whether one of the maker's USB devices lacks its driver.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace kvara {

// A terminal device as the device database describes it.
struct TtyDeviceInfo {
    std::string devnode;       // /dev/ttyUSB0
    std::string subsystem;     // "tty" for terminals
    bool hasParent = false;    // virtual terminals and pseudo terminals have none
    std::string description;   // USB product string or the database's model name
    std::string hardwareId;    // "USB\VID_7A3C&PID_0C5D" for USB devices, else empty
    std::string stableName;    // /dev/serial/by-id/... when the system gives the port one
    bool uartMissing = false;  // a legacy port the kernel registered without a UART behind it
};

// A USB device (not an interface) and whether any of its interfaces has a driver bound.
struct UsbDeviceInfo {
    std::string hardwareId;
    bool driverBound = false;
};

// A HID device with its USB ids and serial number string (empty when it has none).
struct HidDeviceInfo {
    int vendorId = 0;
    int productId = 0;
    std::string serial;
    bool hasSerial = false;
    std::string devnode;  // /dev/hidrawN
};

// Where the device lists come from: the system's device database, or a stand-in in tests.
class DeviceSource {
public:
    virtual ~DeviceSource() = default;
    // False when the database cannot be read at all.
    virtual bool ListTtyDevices(std::vector<TtyDeviceInfo>* devices) = 0;
    virtual bool ListUsbDevices(std::vector<UsbDeviceInfo>* devices) = 0;
    virtual bool ListHidDevices(std::vector<HidDeviceInfo>* devices) = 0;
    // The report descriptor of a HID device node; false when it cannot be read.
    virtual bool ReadHidDescriptor(const std::string& devnode, ByteBuffer* descriptor) = 0;
    // Whether the virtual COM driver (the kernel's CDC ACM driver) is available.
    virtual bool VirtualComDriverAvailable() = 0;
};

// The device source in use (libudev, loaded at run time, by default).
DeviceSource& CurrentDeviceSource();
// Replaces the device source; null restores the system's.
void SetDeviceSource(std::shared_ptr<DeviceSource> source);
// The system's device database. Report descriptors are read below sysfsRoot
// (<root>/class/hidraw/<node>/device/report_descriptor); tests give a folder of their own.
std::shared_ptr<DeviceSource> NewUdevDeviceSource(const std::string& sysfsRoot = "/sys");

// The maker's USB ids.
constexpr const char* kVidQuarn = "VID_7A3C";
constexpr const char* kPidVirtualCom = "PID_0C5D";
constexpr const char* kVidFtdi = "VID_0403";
constexpr const char* kPidFtdiReader = "PID_E5A1";

constexpr int kDriverMissingFtdi = 1;
constexpr int kDriverMissingVirtualCom = 2;

// Fills the list with the serial ports present, tagged and sorted by port number; when the
// database cannot be read, probes /dev/ttyS0 to /dev/ttyS254 instead. Always 1. A port with a
// stable name is listed by it, its short device name beside it in parentheses
// ("/dev/serial/by-id/usb-Quarn_Kvara-if00 (ttyACM0) [Quarn Virtual COM]"): the short name
// changes from one plug-in to the next. Legacy ports without a UART are left out.
int ListComPorts(StringList& list);
// Whether a serial device node has a UART behind it: false only when its driver says so
// (TIOCGSERIAL reports no port type); true for every other terminal and when it cannot tell.
bool UartPresent(const std::string& devnode);
// The tag an entry gets: " [<description>]" for the maker's own descriptions, " [Quarn
// Virtual COM]" for the maker's virtual COM device, or nothing.
std::string PortTag(const TtyDeviceInfo& device);
// The driver flags (0 when nothing is missing or the database cannot be read). Bit 0: an
// FTDI-based reader that neither the kernel's FTDI driver (bound) nor libftd2xx can serve.
int FindDevicesWithoutDriver();
// Whether the FTDI D2XX library loads.
bool FtdiLibraryUsable();

// Whether a HID device is one of the maker's readers (by vendor and product id).
bool IsAcceptedHidReader(int vendorId, int productId);
// The reader name of a HID reader: its serial number followed by " HID", "4821-???? HID"
// without a serial number.
std::string HidReaderName(const HidDeviceInfo& device);
// Appends the names of the maker's HID readers not yet in the list; none without hidapi.
void ListHidReaders(StringList& list);
// The maker's HID readers present, whether or not they can be opened.
int CountMakersHidReaders();
// Whether a USB list entry carries one of the maker's serial number prefixes: its first four
// characters (the whole entry when shorter) read as a number between 5260 and 5269.
bool HasMakersSerialPrefix(const std::string& entry);

}  // namespace kvara
