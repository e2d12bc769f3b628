// SPDX-License-Identifier: MIT
#include "transport/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "common/open_cause.h"
#include "transport/line_speed.h"

namespace kvara {

namespace {

// How often the watcher looks at the modem lines and line counters when nothing else wakes it.
constexpr int kStatusPollMs = 100;
constexpr std::size_t kReadChunk = 256;

speed_t SpeedFor(int baud, bool* known) {
    *known = true;
    switch (baud) {
        case 50:
            return B50;
        case 75:
            return B75;
        case 110:
            return B110;
        case 134:
            return B134;
        case 150:
            return B150;
        case 200:
            return B200;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 1800:
            return B1800;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 500000:
            return B500000;
        case 576000:
            return B576000;
        case 921600:
            return B921600;
        case 1000000:
            return B1000000;
        case 1152000:
            return B1152000;
        case 1500000:
            return B1500000;
        case 2000000:
            return B2000000;
        default:
            *known = false;
            return B0;
    }
}

// Errors that mean the device itself is gone, as opposed to a request it does not support.
bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

// The slave side of a Unix 98 pseudo terminal (/dev/pts/n): majors 136 to 143.
bool IsPseudoTerminal(const struct stat& info) {
    constexpr unsigned kFirstPtsMajor = 136;
    constexpr unsigned kPtsMajors = 8;
    return major(info.st_rdev) >= kFirstPtsMajor &&
           major(info.st_rdev) < kFirstPtsMajor + kPtsMajors;
}

}  // namespace

CUSBSerialPort::~CUSBSerialPort() {
    CloseLine();
}

bool CUSBSerialPort::OpenDevice(const std::string& name, const LineSettings& line) {
    const PortName examined = ExaminePortName(name);
    if (!examined.comName) {
        return false;  // not a COM name: an FTDI serial number is the FTDI link's
    }
    m_portNumber = examined.portNumber;
    m_devicePath = examined.openName;
    const int fd = open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetOpenCause(DeviceOpenCause(m_devicePath, errno));
        return false;
    }
    // Only a terminal device may be a COM port: a name that leads to anything else (a file, a
    // directory, /dev/null) never gets a frame written to it.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || isatty(fd) == 0) {
        ::close(fd);
        SetOpenCause("not a serial port");
        return false;
    }
    // Without sharing: refuse a device that another port object or program holds.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetOpenCause(DeviceOpenCause(m_devicePath, errno));
        ::close(fd);
        return false;
    }
    // Exclusive mode keeps out programs that do not lock. Not on a pseudo terminal: there the
    // mode belongs to a terminal that lives as long as its other side (the simulated reader),
    // and a process killed while holding it could not clear it, so every later open by an
    // ordinary user would be refused; the lock above still keeps other readers' programs out.
    if (!IsPseudoTerminal(info)) {
        ioctl(fd, TIOCEXCL);
    }
    m_fd.store(fd);

    // A line that cannot be set raw at the asked rate would echo, translate or hold back the
    // reader's bytes: such an open fails.
    if (!Configure(line)) {
        SetOpenCause("the line cannot be set to " + std::to_string(line.baudRate) + " baud");
        return false;  // the descriptor is closed with the line
    }
    tcflush(fd, TCIOFLUSH);

    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        ReportLinesAtOpen((lines & TIOCM_CAR) != 0, (lines & TIOCM_DSR) != 0,
                          (lines & TIOCM_CTS) != 0, (lines & TIOCM_RNG) != 0);
    }
    serial_icounter_struct counters{};
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

bool CUSBSerialPort::Configure(const LineSettings& line) {
    const int baudRate = line.baudRate;
    const char parity = line.parity;
    const int dataBits = line.dataBits;
    const int stopBits = line.stopBits;
    const int handshake = line.handshake;
    const int fd = m_fd.load();
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
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

void CUSBSerialPort::WatchDevice() {
    while (m_fd.load() >= 0) {
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
            CloseDeviceLocked();
            break;
        }
    }
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
        serial_icounter_struct counters{};
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
        ReportModemLines((lines & TIOCM_CTS) != 0, (lines & TIOCM_DSR) != 0,
                         (lines & TIOCM_CAR) != 0, (lines & TIOCM_RNG) != 0);
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

// Writes as much of the transmit buffer as the device takes; true when all of it went out.
// Called with the transmit lock held.
bool CUSBSerialPort::WriteQueued() {
    const int fd = m_fd.load();
    if (fd < 0) {
        return false;
    }
    if (!m_outputBlocked && !m_transmit.empty()) {
        // A frame starts to go out: bytes the device holds that the watcher has not read yet
        // came before it, so they are no answer to it.
        int pending = 0;
        ReportFrameOut(ioctl(fd, FIONREAD, &pending) == 0 && pending > 0);
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

void CUSBSerialPort::CloseDevice() {
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        // The exclusive mode belongs to the terminal, not to this descriptor: on a pseudo
        // terminal (or any device whose other side stays open) it would outlive the close and
        // turn away every later open by an ordinary user.
        ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
}

}  // namespace kvara
