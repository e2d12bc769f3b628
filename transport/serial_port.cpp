#include "transport/serial_port.h"

#include "transport/line_speed.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace kvara {

namespace {

// How often the watcher looks at the modem lines and line counters when nothing else wakes it.
constexpr int kStatusPollMs = 100;
// FTDI devices: the latency timer asked of the device, and how often the watcher looks.
constexpr std::uint8_t kFtdiLatencyMs = 2;
constexpr int kFtdiPollMs = 2;
// Modem status bits as the FTDI library reports them.
constexpr DWORD kMsCtsOn = 0x10;
constexpr DWORD kMsDsrOn = 0x20;
constexpr DWORD kMsRingOn = 0x40;
constexpr DWORD kMsRlsdOn = 0x80;
constexpr std::size_t kReadChunk = 256;

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Trailing decimal number of a device name (ttyUSB0 -> 0, pts/12 -> 12).
int TrailingNumber(const std::string& path) {
    std::size_t end = path.size();
    std::size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(path[start - 1])) != 0) {
        --start;
    }
    int value = 0;
    for (std::size_t i = start; i < end && value < 100000000; ++i) {
        value = value * 10 + (path[i] - '0');
    }
    return value;
}

int LeadingNumber(const std::string& text, std::size_t from) {
    int value = 0;
    for (std::size_t i = from; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0 &&
                               value < 100000000;
         ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

speed_t SpeedFor(int baud, bool* known) {
    *known = true;
    switch (baud) {
        case 50: return B50;
        case 75: return B75;
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 500000: return B500000;
        case 576000: return B576000;
        case 921600: return B921600;
        case 1000000: return B1000000;
        case 1152000: return B1152000;
        case 1500000: return B1500000;
        case 2000000: return B2000000;
        default: *known = false; return B0;
    }
}

// Errors that mean the device itself is gone, as opposed to a request it does not support.
bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

void Signal(int eventFd) {
    if (eventFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(eventFd, &one, sizeof one);
    }
}

void Drain(int eventFd) {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = read(eventFd, &value, sizeof value);
}

}  // namespace

PortName ExaminePortName(const std::string& name) {
    PortName result;
    if (StartsWith(name, "/")) {
        result.comName = true;
        result.openName = name.substr(0, name.find(' '));
        result.portNumber = TrailingNumber(result.openName);
        return result;
    }
    const std::size_t start = StartsWith(name, "\\\\.\\") ? 4 : 0;
    if (name.size() >= start + 4 &&
        std::toupper(static_cast<unsigned char>(name[start])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[start + 1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[start + 2])) == 'M' && name[start + 3] >= '1' &&
        name[start + 3] <= '9') {
        result.comName = true;
        result.portNumber = LeadingNumber(name, start + 3);
        result.openName = "/dev/ttyS" + std::to_string(result.portNumber - 1);
        return result;
    }
    result.openName = name;
    result.portNumber = LeadingNumber(name, start);
    return result;
}

std::unique_ptr<CSerialLink> NewSerialLink() { return std::make_unique<CUSBSerialPort>(); }

CUSBSerialPort::CUSBSerialPort() = default;

CUSBSerialPort::~CUSBSerialPort() { CloseLine(); }

bool CUSBSerialPort::OpenLine(void* owner, const std::string& name, int baudRate, char parity,
                              int dataBits, int stopBits, int handshake, std::uint32_t eventMask,
                              std::size_t bufferSize) {
    const PortName examined = ExaminePortName(name);
    CloseLine();  // a previous watcher and device, if any

    m_ftdiRoute = !examined.comName;
    m_portNumber = examined.portNumber;
    m_owner = owner;
    m_eventMask = eventMask;
    {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        m_transmit.clear();
        m_transmit.reserve(bufferSize);
        m_bufferSize = bufferSize;
        m_outputBlocked = false;
    }
    m_shutdownEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_writeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_shutdownEvent < 0 || m_writeEvent < 0) {
        CloseLine();
        return false;
    }
    if (m_ftdiRoute) {
        if (!OpenFtdi(examined.openName, baudRate, parity, dataBits, stopBits, handshake)) {
            CloseLine();
            return false;
        }
        return true;
    }

    m_devicePath = examined.openName;
    const int fd = open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        CloseLine();
        return false;
    }
    // Only a terminal device may be a COM port: a name that leads to anything else (a file, a
    // directory, /dev/null) never gets a frame written to it.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || isatty(fd) == 0) {
        ::close(fd);
        CloseLine();
        return false;
    }
    // Without sharing: refuse a device that another port object or program holds.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        CloseLine();
        return false;
    }
    ioctl(fd, TIOCEXCL);
    m_fd.store(fd);

    // A line that cannot be set raw at the asked rate would echo, translate or hold back the
    // reader's bytes: such an open fails.
    if (!Configure(baudRate, parity, dataBits, stopBits, handshake)) {
        CloseLine();
        return false;
    }
    tcflush(fd, TCIOFLUSH);

    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        ReportLinesAtOpen((lines & TIOCM_CAR) != 0, (lines & TIOCM_DSR) != 0, (lines & TIOCM_CTS) != 0,
                          (lines & TIOCM_RNG) != 0);
    }
    serial_icounter_struct counters {};
    m_haveCounters = ioctl(fd, TIOCGICOUNT, &counters) == 0;
    if (m_haveCounters) {
        m_breaks = counters.brk;
        m_frameErrors = counters.frame;
        m_overruns = counters.overrun;
        m_parityErrors = counters.parity;
        m_bufferOverruns = counters.buf_overrun;
    }
    return true;
}

bool CUSBSerialPort::Configure(int baudRate, char parity, int dataBits, int stopBits,
                               int handshake) {
    const int fd = m_fd.load();
    termios tio {};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (dataBits) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        default: tio.c_cflag |= CS8; break;
    }
    if (parity == 'E' || parity == 'e') {
        tio.c_cflag |= PARENB;
    } else if (parity == 'O' || parity == 'o') {
        tio.c_cflag |= PARENB | PARODD;
    }
    if (stopBits == 2) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    switch (handshake) {
        case 1:  // RTS/CTS handshake
        case 3:  // RTS handshake; the kernel ties it to CTS flow control
            tio.c_cflag |= CRTSCTS;
            break;
        case 2:  // XON/XOFF both ways
            tio.c_iflag |= IXON | IXOFF;
            tio.c_cc[VSTART] = 0x11;
            tio.c_cc[VSTOP] = 0x13;
            break;
        default:
            break;
    }
    tio.c_cc[VMIN] = 0;  // reads return at once with what is buffered
    tio.c_cc[VTIME] = 0;
    bool known = false;
    const speed_t speed = SpeedFor(baudRate, &known);
    if (known && (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0)) {
        return false;
    }
    // Raw 8-bit first, whatever the rate; a rate the table lacks is then set through the
    // kernel's arbitrary-rate interface.
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || (!known && !SetArbitraryLineSpeed(fd, baudRate))) {
        return false;
    }
    // DTR and RTS on, as the reader expects from an open port.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);
    return true;
}

bool CUSBSerialPort::OpenFtdi(const std::string& serial, int baudRate, char parity, int dataBits,
                              int stopBits, int handshake) {
    const FT_HANDLE handle = m_ftdi.W32CreateFile(serial);
    if (IsInvalidFtHandle(handle)) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        m_ftHandle = handle;
        m_ftOpen.store(true);
    }
    m_devicePath = serial;
    m_ftdi.SetLatencyTimer(handle, kFtdiLatencyMs);
    // Read time-outs that make a read return at once with what is buffered; no write time-out.
    FTTIMEOUTS timeouts{0xFFFFFFFFu, 0, 0, 0, 0};
    FTDCB dcb{};
    // The configuration stops at the first call that fails; the open stands.
    if (m_ftdi.W32SetCommTimeouts(handle, &timeouts) != 0 && m_ftdi.W32SetCommMask(handle, m_eventMask) != 0 &&
        m_ftdi.W32GetCommState(handle, &dcb) != 0) {
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = static_cast<DWORD>(baudRate);
        dcb.ByteSize = static_cast<std::uint8_t>(dataBits);
        dcb.Parity = parity == 'E' || parity == 'e' ? 2 : (parity == 'O' || parity == 'o' ? 1 : 0);
        dcb.fParity = dcb.Parity != 0 ? 1 : 0;
        dcb.StopBits = stopBits == 2 ? 2 : 0;
        dcb.fBinary = 1;
        dcb.fTXContinueOnXoff = 1;
        dcb.fAbortOnError = 0;
        dcb.fDsrSensitivity = 0;
        dcb.fDtrControl = 1;  // enable
        dcb.fNull = 0;
        dcb.fOutxCtsFlow = handshake == 1 ? 1 : 0;
        dcb.fOutxDsrFlow = handshake == 1 ? 1 : 0;
        dcb.fRtsControl = handshake == 1 || handshake == 3 ? 2 : 1;  // handshake or enable
        dcb.fOutX = handshake == 2 ? 1 : 0;
        dcb.fInX = handshake == 2 ? 1 : 0;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        m_ftdi.W32SetCommState(handle, &dcb);
    }
    m_ftdi.W32PurgeComm(handle, 0x0C);
    DWORD lines = 0;
    if (m_ftdi.W32GetCommModemStatus(handle, &lines) != 0) {
        ReportLinesAtOpen((lines & kMsRlsdOn) != 0, (lines & kMsDsrOn) != 0, (lines & kMsCtsOn) != 0,
                          (lines & kMsRingOn) != 0);
    }
    return true;
}

// The lines that are on when the port opens, in the order RLSD, DSR, CTS, RING.
void CUSBSerialPort::ReportLinesAtOpen(bool rlsd, bool dsr, bool cts, bool ring) {
    m_rlsd = rlsd;
    m_dsr = dsr;
    m_cts = cts;
    m_ring = ring;
    if (rlsd) {
        OnRlsdChanged(true);
    }
    if (dsr) {
        OnDsrChanged(true);
    }
    if (cts) {
        OnCtsChanged(true);
    }
    if (ring) {
        OnRingChanged(true);
    }
}

// Every line that differs from its last state, in the order CTS, DSR, RLSD, RING.
void CUSBSerialPort::ReportModemLines(bool cts, bool dsr, bool rlsd, bool ring) {
    if (cts != m_cts) {
        m_cts = cts;
        OnCtsChanged(cts);
    }
    if (dsr != m_dsr) {
        m_dsr = dsr;
        OnDsrChanged(dsr);
    }
    if (rlsd != m_rlsd) {
        m_rlsd = rlsd;
        OnRlsdChanged(rlsd);
    }
    if (ring != m_ring) {
        m_ring = ring;
        OnRingChanged(ring);
    }
}

bool CUSBSerialPort::DeviceOpen() const {
    return m_fd.load() >= 0 || m_ftOpen.load();
}

bool CUSBSerialPort::FtdiStatusPoll() {
    FT_HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        handle = m_ftHandle;
    }
    DWORD errors = 0;
    FTCOMSTAT status{};
    if (handle == nullptr || m_ftdi.W32ClearCommError(handle, &errors, &status) == 0) {
        return false;
    }
    if (status.cbOutQue == 0) {
        OnTransmitIdle();
    }
    if ((errors & kLineBreak) != 0) {
        OnBreak();
        errors &= ~kLineFrame;
    }
    if ((errors & 0x050F) != 0) {
        OnLineError(errors);
    }
    DWORD lines = 0;
    if (m_ftdi.W32GetCommModemStatus(handle, &lines) == 0) {
        return false;
    }
    ReportModemLines((lines & kMsCtsOn) != 0, (lines & kMsDsrOn) != 0, (lines & kMsRlsdOn) != 0,
                     (lines & kMsRingOn) != 0);
    std::uint8_t buffer[kReadChunk];
    DWORD pending = status.cbInQue;
    while (pending > 0) {
        DWORD read = 0;
        const DWORD want = std::min<DWORD>(pending, sizeof buffer);
        if (m_ftdi.W32ReadFile(handle, buffer, want, &read) == 0) {
            const DWORD error = m_ftdi.W32GetLastError(handle);
            OnLineError(error == 5 ? kLineDeviceGone : 0);
            return true;  // the rest is read at the next poll
        }
        if (read == 0) {
            break;
        }
        OnBytesAvailable(buffer, std::min<std::size_t>(read, sizeof buffer));
        pending -= std::min(pending, read);
    }
    return true;
}

bool CUSBSerialPort::StartWatcher() {
    if (m_watcherStarted || !DeviceOpen()) {
        return false;
    }
    m_watcherStarted = true;
    try {
        m_watcher = std::thread([this] { Watch(); });
    } catch (const std::system_error&) {
        return false;
    }
    // Wait until the watcher has begun, not until it runs: a device that vanished right after
    // the open ends the watcher at once, and it may be over before this thread looks.
    std::unique_lock<std::mutex> guard(m_startLock);
    m_started.wait(guard, [this] { return m_watcherBegun; });
    return true;
}

bool CUSBSerialPort::Send(const std::uint8_t* data, std::size_t length) {
    if (length <= static_cast<std::size_t>(INT32_MAX)) {
        QueueWrite(data, static_cast<int>(length));
    }
    return true;  // queued; a frame the line loses shows as a missing answer
}

void CUSBSerialPort::Withdraw() {
    std::lock_guard<std::mutex> guard(m_transmitLock);
    m_transmit.clear();
    m_outputBlocked = false;
}

void CUSBSerialPort::QueueWrite(const std::uint8_t* data, int length) {
    if (data == nullptr || length < -1) {
        return;
    }
    std::size_t count = 0;
    if (length == -1) {
        while (data[count] != 0) {
            ++count;
        }
    } else {
        count = static_cast<std::size_t>(length);
    }
    std::lock_guard<std::mutex> guard(m_transmitLock);
    const bool wasEmpty = m_transmit.empty();
    if (m_transmit.size() + count <= m_bufferSize) {
        m_transmit.insert(m_transmit.end(), data, data + count);
    }
    // With nothing ahead of it and a watcher that runs, the frame goes straight to the device
    // (a non-blocking write); what the device does not take waits for the watcher. FTDI
    // devices are written by the watcher only.
    if (!m_ftdiRoute && wasEmpty && !m_transmit.empty() && m_running.load() && WriteQueued()) {
        return;
    }
    Signal(m_writeEvent);
}

void CUSBSerialPort::OnByteReceived(std::uint8_t byte) {
    if (CByteReceiver* receiver = m_receiver.load()) {
        receiver->OnByteReceived(byte);
    }
}

void CUSBSerialPort::OnBytesAvailable(const std::uint8_t* data, std::size_t length) {
    if (CByteReceiver* receiver = m_receiver.load()) {
        receiver->OnBytesReceived(data, length);
        return;
    }
    for (std::size_t i = 0; i < length; ++i) {
        OnByteReceived(data[i]);
    }
}

void CUSBSerialPort::Watch() {
    {
        std::lock_guard<std::mutex> guard(m_startLock);
        m_running.store(true);
        m_watcherBegun = true;
    }
    m_started.notify_all();

    while (m_ftdiRoute && m_ftOpen.load()) {
        // The FTDI library offers no descriptor to wait on: look at the device every few
        // milliseconds (its latency timer), and at once when a frame is queued.
        pollfd events[2] = {{m_shutdownEvent, POLLIN, 0}, {m_writeEvent, POLLIN, 0}};
        if (poll(events, 2, kFtdiPollMs) < 0) {
            continue;
        }
        if ((events[0].revents & POLLIN) != 0) {
            break;
        }
        if ((events[1].revents & POLLIN) != 0) {
            Drain(m_writeEvent);
            Flush();
        }
        if (!FtdiStatusPoll()) {
            OnLineError(kLineDeviceGone);
            CloseDevice();
            break;
        }
    }
    while (!m_ftdiRoute && m_fd.load() >= 0) {
        bool wantOutput = false;
        {
            std::lock_guard<std::mutex> guard(m_transmitLock);
            wantOutput = m_outputBlocked && !m_transmit.empty();
        }
        pollfd fds[3] = {{m_shutdownEvent, POLLIN, 0},
                         {m_writeEvent, POLLIN, 0},
                         {m_fd.load(), static_cast<short>(POLLIN | (wantOutput ? POLLOUT : 0)), 0}};
        const int ready = poll(fds, 3, kStatusPollMs);
        if (ready < 0) {
            continue;  // interrupted; look again
        }
        if ((fds[0].revents & POLLIN) != 0) {
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            Drain(m_writeEvent);
            Flush();
        } else if ((fds[2].revents & POLLOUT) != 0) {
            Flush();
        }
        if (!StatusPoll(fds[2].revents)) {
            // The device is gone: close it and end. Queued bytes are never sent; the reader
            // port notices only that no answer comes.
            OnLineError(kLineDeviceGone);
            CloseDevice();
            break;
        }
    }
    m_running.store(false);
}

bool CUSBSerialPort::StatusPoll(short deviceEvents) {
    const int fd = m_fd.load();
    int outQueue = 0;
    if (ioctl(fd, TIOCOUTQ, &outQueue) != 0 && DeviceGone(errno)) {
        return false;
    }
    if (outQueue == 0) {
        std::lock_guard<std::mutex> guard(m_transmitLock);
        if (m_transmit.empty()) {
            OnTransmitIdle();
        }
    }
    if (m_haveCounters) {
        serial_icounter_struct counters {};
        if (ioctl(fd, TIOCGICOUNT, &counters) == 0) {
            std::uint32_t flags = 0;
            if (counters.brk != m_breaks) {
                OnBreak();
            } else if (counters.frame != m_frameErrors) {
                flags |= kLineFrame;
            }
            if (counters.overrun != m_overruns) {
                flags |= kLineOverrun;
            }
            if (counters.parity != m_parityErrors) {
                flags |= kLineParity;
            }
            if (counters.buf_overrun != m_bufferOverruns) {
                flags |= kLineRxOver;
            }
            if (flags != 0) {
                OnLineError(flags);
            }
            m_breaks = counters.brk;
            m_frameErrors = counters.frame;
            m_overruns = counters.overrun;
            m_parityErrors = counters.parity;
            m_bufferOverruns = counters.buf_overrun;
        }
    }
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        ReportModemLines((lines & TIOCM_CTS) != 0, (lines & TIOCM_DSR) != 0, (lines & TIOCM_CAR) != 0,
                         (lines & TIOCM_RNG) != 0);
    } else if (DeviceGone(errno)) {
        return false;  // a pseudo terminal has no modem lines (ENOTTY/EINVAL): that is fine
    }
    if ((deviceEvents & POLLIN) != 0 && !ReadBatch()) {
        return false;
    }
    // Hang-up (a USB adapter pulled, the other end of a pseudo terminal closed) or an error.
    return (deviceEvents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool CUSBSerialPort::ReadBatch() {
    std::uint8_t buffer[kReadChunk];
    for (;;) {
        const ssize_t n = read(m_fd.load(), buffer, sizeof buffer);
        if (n > 0) {
            OnBytesAvailable(buffer, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof buffer) {
                return true;
            }
            continue;
        }
        if (n == 0) {
            // A raw line that returns at once (VMIN = VTIME = 0) reads 0 bytes when nothing is
            // buffered. A hang-up is told by poll() (POLLHUP, POLLERR) or a read error, never by
            // an empty read: after a read of exactly a whole chunk, the next one is empty.
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        }
        OnLineError(errno == EACCES ? kLineDeviceGone : 0);
        return !DeviceGone(errno);
    }
}

void CUSBSerialPort::Flush() {
    std::lock_guard<std::mutex> guard(m_transmitLock);
    if (m_transmit.empty()) {
        m_outputBlocked = false;
        OnTransmitIdle();
        return;
    }
    WriteQueued();
}

// Writes as much of the transmit buffer as the device takes; true when all of it went out.
// Called with the transmit lock held.
bool CUSBSerialPort::WriteQueued() {
    if (m_ftdiRoute) {
        DWORD written = 0;
        if (m_ftHandle == nullptr ||
            m_ftdi.W32WriteFile(m_ftHandle, m_transmit.data(), static_cast<DWORD>(m_transmit.size()), &written) == 0) {
            return false;  // stays queued for the next flush
        }
        const std::size_t taken = std::min<std::size_t>(written, m_transmit.size());
        m_transmit.erase(m_transmit.begin(), m_transmit.begin() + static_cast<std::ptrdiff_t>(taken));
        if (taken > 0) {
            OnBytesWritten(taken);
        }
        return m_transmit.empty();
    }
    const int fd = m_fd.load();
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < m_transmit.size()) {
        const ssize_t n = write(fd, m_transmit.data() + written, m_transmit.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;  // the rest stays queued and goes out when the device takes it
    }
    m_transmit.erase(m_transmit.begin(), m_transmit.begin() + static_cast<std::ptrdiff_t>(written));
    m_outputBlocked = !m_transmit.empty();
    if (written > 0) {
        OnBytesWritten(written);
    }
    return m_transmit.empty();
}

// Under the transmit lock: the calling thread writes queued frames straight to the device
// (WriteQueued, with that lock held) while the watcher may find the device gone and close it.
// Without the lock the number could be closed between the writer's load and its write, and
// once reused by another open the frame would go to some other file.
void CUSBSerialPort::CloseDevice() {
    std::lock_guard<std::mutex> guard(m_transmitLock);
    if (m_ftHandle != nullptr) {
        m_ftdi.W32CloseHandle(m_ftHandle);
        m_ftHandle = nullptr;
    }
    m_ftOpen.store(false);
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
}

void CUSBSerialPort::CloseLine() {
    if (m_watcher.joinable()) {
        Signal(m_shutdownEvent);
        m_watcher.join();
    }
    m_watcherStarted = false;
    m_running.store(false);
    {
        std::lock_guard<std::mutex> guard(m_startLock);
        m_watcherBegun = false;
    }
    for (int* event : {&m_shutdownEvent, &m_writeEvent}) {
        if (*event >= 0) {
            ::close(*event);
            *event = -1;
        }
    }
    CloseDevice();
    std::lock_guard<std::mutex> guard(m_transmitLock);
    m_transmit.clear();
    m_transmit.shrink_to_fit();
    m_bufferSize = 0;
    m_outputBlocked = false;
}

}  // namespace kvara
