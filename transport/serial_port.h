// The serial link: a COM port (serial device node) or an FTDI device, a watcher thread that
// writes queued frames and hands every received byte on, and the line's status events.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "common/bytes.h"
#include "reader/serial_link.h"
#include "transport/ftdi_binding.h"

namespace kvara {

// Line error flags, in the layout the line error event reports them.
constexpr std::uint32_t kLineRxOver = 0x0001;
constexpr std::uint32_t kLineOverrun = 0x0002;
constexpr std::uint32_t kLineParity = 0x0004;
constexpr std::uint32_t kLineFrame = 0x0008;
constexpr std::uint32_t kLineBreak = 0x0010;
constexpr std::uint32_t kLineDeviceGone = 0x0800;

// The result of examining a port name before opening it.
struct PortName {
    bool comName = false;   // a COM name: a device path under /dev, or COMn
    std::string openName;   // device path to open, or the FTDI serial number
    int portNumber = 0;
};

// COM names: a device path, normally under /dev, or a symlink to one such as a simulated
// reader's stable link (anything from a blank on, such as a "[...]" tag, is dropped); or "COM"
// in any case followed by a digit 1-9, optionally behind "\\.\", meaning /dev/ttyS(n-1).
// Every other name is an FTDI serial number, used unchanged. Only a terminal device opens.
PortName ExaminePortName(const std::string& name);

class CUSBSerialPort : public CSerialLink {
public:
    CUSBSerialPort();
    ~CUSBSerialPort() override;
    CUSBSerialPort(const CUSBSerialPort&) = delete;
    CUSBSerialPort& operator=(const CUSBSerialPort&) = delete;

    bool OpenLine(void* owner, const std::string& name, int baudRate, char parity, int dataBits,
                  int stopBits, int handshake, std::uint32_t eventMask,
                  std::size_t bufferSize) override;
    bool StartWatcher() override;
    // Appends bytes to the transmit buffer and wakes the watcher; a length of -1 means up to
    // the first zero byte. Bytes that do not fit the buffer are dropped.
    void QueueWrite(const std::uint8_t* data, int length);
    // Stops the watcher and closes the device; harmless on a closed object.
    void CloseLine();

    // CReaderLink
    void SetReceiver(CByteReceiver* receiver) override { m_receiver.store(receiver); }
    bool Send(const std::uint8_t* data, std::size_t length) override;
    void Close() override { CloseLine(); }
    // Drops what is still queued for the device (a flow-controlled line holds it back).
    void Withdraw() override;
    bool IsUsbDevice() const override { return m_ftdiRoute; }

    bool IsOpen() const { return DeviceOpen(); }
    bool IsWatcherRunning() const { return m_running.load(); }
    bool IsFtdiRoute() const { return m_ftdiRoute; }
    int PortNumber() const { return m_portNumber; }
    const std::string& DevicePath() const { return m_devicePath; }

    // Events, raised on the watcher thread (the modem-line events also at open). The owner of
    // a reader port gives no owner window, so only the byte event has an effect: it hands the
    // byte to the receiver.
    virtual void OnByteReceived(std::uint8_t byte);
    // The bytes of one read, in order: handed to the receiver as one batch when there is one,
    // otherwise one OnByteReceived per byte.
    virtual void OnBytesAvailable(const std::uint8_t* data, std::size_t length);
    virtual void OnCtsChanged(bool on) { (void)on; }
    virtual void OnBreak() {}
    virtual void OnLineError(std::uint32_t flags) { (void)flags; }
    virtual void OnRingChanged(bool on) { (void)on; }
    virtual void OnRlsdChanged(bool on) { (void)on; }
    virtual void OnDsrChanged(bool on) { (void)on; }
    virtual void OnBytesWritten(std::size_t count) { (void)count; }
    virtual void OnTransmitIdle() {}

private:
    bool Configure(int baudRate, char parity, int dataBits, int stopBits, int handshake);
    bool OpenFtdi(const std::string& serial, int baudRate, char parity, int dataBits, int stopBits, int handshake);
    bool FtdiStatusPoll();
    bool DeviceOpen() const;
    void ReportLinesAtOpen(bool rlsd, bool dsr, bool cts, bool ring);
    void ReportModemLines(bool cts, bool dsr, bool rlsd, bool ring);
    void Watch();
    bool StatusPoll(short deviceEvents);
    bool ReadBatch();
    void Flush();
    bool WriteQueued();
    void CloseDevice();

    std::atomic<CByteReceiver*> m_receiver{nullptr};
    std::atomic<int> m_fd{-1};
    CFTD2xxPort m_ftdi;             // the FTDI route's library
    FT_HANDLE m_ftHandle = nullptr;  // guarded by m_transmitLock
    std::atomic<bool> m_ftOpen{false};
    int m_shutdownEvent = -1;  // eventfd
    int m_writeEvent = -1;     // eventfd
    std::thread m_watcher;
    bool m_watcherStarted = false;
    std::atomic<bool> m_running{false};
    std::mutex m_startLock;
    std::condition_variable m_started;
    bool m_watcherBegun = false;  // guarded by m_startLock; set by the watcher as it begins

    std::mutex m_transmitLock;
    ByteBuffer m_transmit;
    std::size_t m_bufferSize = 0;
    bool m_outputBlocked = false;  // the device took part of a write; wait until writable

    std::uint32_t m_eventMask = 0;
    bool m_ftdiRoute = false;
    int m_portNumber = 0;
    std::string m_devicePath;
    void* m_owner = nullptr;

    // Modem-line states last reported, and the line counters last seen.
    bool m_cts = false;
    bool m_dsr = false;
    bool m_rlsd = false;
    bool m_ring = false;
    bool m_haveCounters = false;
    int m_breaks = 0;
    int m_frameErrors = 0;
    int m_overruns = 0;
    int m_parityErrors = 0;
    int m_bufferOverruns = 0;
};

}  // namespace kvara
