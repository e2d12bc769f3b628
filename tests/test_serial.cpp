// SPDX-License-Identifier: MIT
// The serial link on pseudo terminals: names, line settings, the watcher, queueing, unplug.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <mutex>
#include <thread>

#include "common/log.h"
#include "reader/handles.h"
#include "transport/ftdi_binding.h"
#include "transport/ftdi_link.h"
#include "transport/line_speed.h"
#include "transport/serial_port.h"

using kvara::ByteBuffer;
using kvara::CUSBSerialPort;
using kvara::ExaminePortName;

namespace {

// A pseudo terminal pair: the test plays the reader on the master side.
struct Pty {
    Pty() {
        char name[128] = {};
        EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
    }
    ~Pty() {
        CloseMaster();
        CloseSlave();
    }
    // The test's own handle of the terminal, so that only the link holds it open.
    void CloseSlave() {
        if (slave >= 0) {
            close(slave);
            slave = -1;
        }
    }
    void CloseMaster() {
        if (master >= 0) {
            close(master);
            master = -1;
        }
    }
    // Reads what the link wrote, waiting up to timeoutMs for the first byte.
    ByteBuffer ReadMaster(int timeoutMs = 500) {
        ByteBuffer out;
        pollfd p = {master, POLLIN, 0};
        while (poll(&p, 1, out.empty() ? timeoutMs : 20) > 0) {
            std::uint8_t buffer[1024];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }
    int master = -1;
    int slave = -1;
    std::string path;
};

// Records the events of the link.
class RecordingPort : public CUSBSerialPort {
public:
    void OnByteReceived(std::uint8_t byte) override {
        std::lock_guard<std::mutex> guard(lock);
        received.push_back(byte);
    }
    void OnTransmitIdle() override { ++idle; }
    void OnBytesWritten(std::size_t count) override { written += count; }
    void OnLineError(std::uint32_t flags) override { lineErrors |= flags; }
    ByteBuffer Received() {
        std::lock_guard<std::mutex> guard(lock);
        return received;
    }
    std::mutex lock;
    ByteBuffer received;
    std::atomic<int> idle{0};
    std::atomic<std::size_t> written{0};
    std::atomic<std::uint32_t> lineErrors{0};
};

bool OpenDefault(kvara::CSerialLineBase& port, const std::string& path, int baud = 19200,
                 char parity = 'N', int stopBits = 1) {
    kvara::LineSettings line;
    line.baudRate = baud;
    line.parity = parity;
    line.stopBits = stopBits;
    return port.OpenLine(path, line);
}

template <typename Predicate>
bool Eventually(Predicate predicate, int timeoutMs = 1000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (predicate()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return predicate();
}

}  // namespace

TEST(PortNames, ComNamesAndFtdiRoute) {
    for (const char* name : {"com7", "COM7", "\\\\.\\COM7", "cOm7: [x]"}) {
        const auto examined = ExaminePortName(name);
        EXPECT_TRUE(examined.comName) << name;
        EXPECT_EQ(examined.openName, "/dev/ttyS6") << name;
        EXPECT_EQ(examined.portNumber, 7) << name;
    }
    const auto tagged = ExaminePortName("\\\\.\\COM12 [Quarn Virtual COM]");
    EXPECT_EQ(tagged.openName, "/dev/ttyS11");
    EXPECT_EQ(tagged.portNumber, 12);
    for (const char* name : {"COM0", "COM", "COMX", "5260A1B2", "\\\\.\\FT1234"}) {
        const auto examined = ExaminePortName(name);
        EXPECT_FALSE(examined.comName) << name;
        EXPECT_EQ(examined.openName, name);
    }
    EXPECT_EQ(ExaminePortName("\\\\.\\12AB").portNumber, 12);
    const auto device = ExaminePortName("/dev/ttyUSB3 [Quarn Virtual COM]");
    EXPECT_TRUE(device.comName);
    EXPECT_EQ(device.openName, "/dev/ttyUSB3");
    EXPECT_EQ(device.portNumber, 3);
    EXPECT_EQ(ExaminePortName("/dev/pts/17").portNumber, 17);
}

TEST(SerialLink, AppliesTheLineDefinition) {
    Pty pty;
    CUSBSerialPort port;
    ASSERT_TRUE(OpenDefault(port, pty.path, 9600, 'E', 2));
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    // (A pseudo terminal drops the parity bits; real serial drivers keep them.)
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(port.PortNumber(), std::stoi(pty.path.substr(pty.path.rfind('/') + 1)));
    port.CloseLine();

    // A rate the termios table lacks still opens, raw 8-bit at exactly that rate.
    ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;  // as a terminal left cooked by another program
    tio.c_oflag |= OPOST;
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &tio), 0);
    ASSERT_TRUE(OpenDefault(port, pty.path, 12345, 'O', 1));
    ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(kvara::LineSpeed(pty.slave), 12345);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    port.CloseLine();

    // A rate no line can have fails the open instead of leaving the line as it was.
    for (int baud : {0, -9600}) {
        EXPECT_FALSE(OpenDefault(port, pty.path, baud)) << baud;
        EXPECT_FALSE(port.IsOpen());
    }
}

TEST(SerialLink, WatcherDeliversBytesInOrderAndWritesQueuedFrames) {
    Pty pty;
    RecordingPort port;
    ASSERT_TRUE(OpenDefault(port, pty.path));
    ASSERT_TRUE(port.StartWatcher());
    EXPECT_TRUE(port.IsWatcherRunning());
    EXPECT_FALSE(port.StartWatcher());  // one watcher per object

    ByteBuffer sent;
    for (int i = 0; i < 300; ++i) {
        sent.push_back(static_cast<std::uint8_t>(i * 7));
    }
    ASSERT_EQ(write(pty.master, sent.data(), sent.size()), 300);
    EXPECT_TRUE(Eventually([&] { return port.Received().size() == 300; }));
    EXPECT_EQ(port.Received(), sent);

    const std::uint8_t frame[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
    port.QueueWrite(frame, 5);
    EXPECT_EQ(pty.ReadMaster(), ByteBuffer(frame, frame + 5));
    EXPECT_TRUE(Eventually([&] { return port.written.load() == 5; }));

    const std::uint8_t text[] = {'a', 'b', 0, 'c'};
    port.QueueWrite(text, -1);  // up to the first zero byte
    EXPECT_EQ(pty.ReadMaster(), (ByteBuffer{'a', 'b'}));
    port.QueueWrite(nullptr, 5);
    port.QueueWrite(text, -7);
}

TEST(SerialLink, BytesBeyondTheBufferAreDroppedButTheWatcherIsWoken) {
    Pty pty;
    RecordingPort port;
    ASSERT_TRUE(OpenDefault(port, pty.path));
    // Not started: nothing drains the buffer, so its 512 bytes fill up.
    const ByteBuffer first(500, 0x11);
    const ByteBuffer second(13, 0x22);
    port.QueueWrite(first.data(), 500);
    port.QueueWrite(second.data(), 13);  // 513 > 512: dropped
    const ByteBuffer third(12, 0x33);
    port.QueueWrite(third.data(), 12);  // exactly 512: kept
    ASSERT_TRUE(port.StartWatcher());
    ByteBuffer expected = first;
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(pty.ReadMaster(), expected);

    // With nothing queued a wake-up only reports an idle transmitter.
    const int idleBefore = port.idle.load();
    const std::size_t writtenBefore = port.written.load();
    port.QueueWrite(third.data(), 0);
    EXPECT_TRUE(Eventually([&] { return port.idle.load() > idleBefore; }));
    EXPECT_EQ(port.written.load(), writtenBefore);
}

TEST(SerialLink, UnpluggedDeviceEndsTheWatcherAndLeavesTheObjectClosable) {
    Pty pty;
    RecordingPort port;
    ASSERT_TRUE(OpenDefault(port, pty.path));
    ASSERT_TRUE(port.StartWatcher());
    pty.CloseSlave();
    pty.CloseMaster();  // the device vanishes
    EXPECT_TRUE(Eventually([&] { return !port.IsWatcherRunning(); }));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(port.lineErrors.load() & kvara::kLineDeviceGone, 0u);
    const std::uint8_t frame[] = {1, 2, 3};
    port.QueueWrite(frame, 3);  // returns normally; nothing is sent
    EXPECT_FALSE(port.StartWatcher());
    port.CloseLine();
    port.CloseLine();
}

TEST(SerialLink, OpenRefusals) {
    CUSBSerialPort never;
    never.CloseLine();  // never opened: harmless
    EXPECT_FALSE(never.StartWatcher());
    EXPECT_FALSE(OpenDefault(never, "/dev/definitely-not-here"));
    EXPECT_FALSE(OpenDefault(never, "/dev/null"));  // not a terminal
    EXPECT_FALSE(OpenDefault(never, "/dev"));
    EXPECT_FALSE(OpenDefault(never, "5260ABCD"));  // a serial number is the FTDI link's
    EXPECT_FALSE(never.IsUsbDevice());
    EXPECT_EQ(never.Handle(), 0);
    kvara::CFtdiLink ftdi;
    EXPECT_FALSE(OpenDefault(ftdi, "5260ABCD"));  // without the library
    EXPECT_TRUE(ftdi.IsUsbDevice());

    Pty pty;
    CUSBSerialPort first;
    CUSBSerialPort second;
    ASSERT_TRUE(OpenDefault(first, pty.path));
    EXPECT_FALSE(OpenDefault(second, pty.path));  // without sharing
    EXPECT_EQ(second.Handle(), 0);
    EXPECT_FALSE(first.IsUsbDevice());
    first.CloseLine();
    EXPECT_TRUE(OpenDefault(second, pty.path));
}

// An ordinary user opens a port again after closing it: the exclusive mode of the terminal
// does not outlive the close (root, who runs the tests, is never refused by it, so the open,
// close and open again run in a child process as the user nobody).
TEST(SerialLink, AnOrdinaryUserOpensAPortAgain) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    Pty pty;
    ASSERT_EQ(chmod(pty.path.c_str(), 0666), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(10);
        }
        for (int round = 0; round < 3; ++round) {
            CUSBSerialPort port;
            if (!OpenDefault(port, pty.path)) {
                _exit(20 + round);
            }
            port.CloseLine();
        }
        // A process killed while it holds the port (a series station, kvara encode) leaves
        // nothing behind that refuses the next open.
        const pid_t holder = fork();
        if (holder == 0) {
            CUSBSerialPort port;
            if (OpenDefault(port, pty.path)) {
                raise(SIGKILL);
            }
            _exit(1);
        }
        int held = 0;
        if (holder < 0 || waitpid(holder, &held, 0) != holder || !WIFSIGNALED(held)) {
            _exit(30);
        }
        CUSBSerialPort port;
        _exit(OpenDefault(port, pty.path) ? 0 : 31);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not become nobody; 2n: open n+1 refused; "
                                         "30: the holder did not open; 31: refused after a kill";
}

// A serial link holds a handle of the serial range from its open to its close; handles are
// given out in turn, so a closed link's handle is not the next one's.
TEST(SerialLink, HandlesFromOpenToClose) {
    Pty a;
    Pty b;
    Pty c;
    CUSBSerialPort first;
    CUSBSerialPort second;
    CUSBSerialPort third;
    ASSERT_TRUE(OpenDefault(first, a.path));
    ASSERT_TRUE(OpenDefault(second, b.path));
    const int handle = first.Handle();
    EXPECT_GT(handle, 0);
    EXPECT_LT(handle, kvara::kHidHandleBase);
    EXPECT_EQ(second.Handle(), handle + 1);
    first.CloseLine();
    EXPECT_EQ(first.Handle(), 0);
    ASSERT_TRUE(OpenDefault(third, c.path));
    EXPECT_EQ(third.Handle(), handle + 2);
}

TEST(SerialLink, ReopeningTheSameObject) {
    Pty a;
    Pty b;
    RecordingPort port;
    ASSERT_TRUE(OpenDefault(port, a.path));
    ASSERT_TRUE(port.StartWatcher());
    ASSERT_TRUE(OpenDefault(port, b.path));  // closes the first device and its watcher
    ASSERT_TRUE(port.StartWatcher());
    const std::uint8_t byte = 0x5A;
    ASSERT_EQ(write(b.master, &byte, 1), 1);
    EXPECT_TRUE(Eventually([&] { return port.Received().size() == 1; }));
}

TEST(FtdiLibrary, AbsentLibraryIsTriedAgainAndSaidOnceInEnglish) {
    static std::vector<std::string> lines;
    lines.clear();
    kvara::SetLogSink([](const std::string& line) { lines.push_back(line); });
    kvara::CFTD2xxPort binding;
    kvara::StringList list;
    binding.ListFtdiSerials(list);
    binding.ListFtdiSerials(list);
    kvara::CFtdiLink port;
    EXPECT_FALSE(port.OpenLine("52601234", kvara::LineSettings{}));
    kvara::SetLogSink(nullptr);
    EXPECT_TRUE(list.empty());
    // An optional library that is not there is one note per process, not one per look.
    EXPECT_LE(lines.size(), 1u);
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("libftd2xx.so not loaded (", 0), 0u) << line;
        EXPECT_NE(line.find("FTDI readers are not listed"), std::string::npos) << line;
    }
}

// Frames written on the calling thread while the device vanishes and the watcher closes it.
// The close waits for a write in progress, so no write uses the descriptor's number after it
// was closed; a descriptor that takes the number over (here a pipe) never receives a frame.
// The thread sanitizer build reported the close that did not wait.
TEST(SerialLink, FramesWrittenWhileTheDeviceVanishesNeverReachAReusedDescriptor) {
    const std::uint8_t frame[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
    for (int round = 0; round < 10; ++round) {
        Pty pty;
        CUSBSerialPort port;
        ASSERT_TRUE(OpenDefault(port, pty.path));
        ASSERT_TRUE(port.StartWatcher());
        pty.CloseSlave();
        // The reader takes frames for a few milliseconds, then its device is pulled.
        std::thread reader([&pty] {
            const auto pull = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
            std::uint8_t buffer[1024];
            pollfd p = {pty.master, POLLIN, 0};
            while (std::chrono::steady_clock::now() < pull) {
                if (poll(&p, 1, 1) > 0 && read(pty.master, buffer, sizeof buffer) <= 0) {
                    break;
                }
            }
            pty.CloseMaster();
        });
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (port.IsWatcherRunning() && std::chrono::steady_clock::now() < end) {
            port.QueueWrite(frame, sizeof frame);
        }
        reader.join();
        ASSERT_FALSE(port.IsWatcherRunning());
        EXPECT_FALSE(port.IsOpen());

        int pipeEnds[2];
        ASSERT_EQ(pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC), 0);
        for (int i = 0; i < 10; ++i) {
            port.QueueWrite(frame, sizeof frame);
        }
        std::uint8_t scratch[16];
        EXPECT_EQ(read(pipeEnds[0], scratch, sizeof scratch), -1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        port.CloseLine();
    }
}

// The watcher reads in pieces of 256 bytes. A read that fills a whole piece is followed by an
// empty one; that is a quiet line, not a hang-up, and the link must stay open for the next
// answer. Sizes around every multiple of the piece, then one more byte each time.
TEST(SerialLink, ReadsOfWholePiecesKeepTheLineOpen) {
    Pty pty;
    RecordingPort port;
    ASSERT_TRUE(OpenDefault(port, pty.path));
    ASSERT_TRUE(port.StartWatcher());
    std::size_t total = 0;
    for (std::size_t size : {255u, 256u, 257u, 511u, 512u, 513u, 767u, 768u, 1024u}) {
        const ByteBuffer burst(size, static_cast<std::uint8_t>(size));
        ASSERT_EQ(write(pty.master, burst.data(), burst.size()), static_cast<ssize_t>(size));
        total += size;
        ASSERT_TRUE(Eventually([&] { return port.Received().size() == total; })) << size;
        ASSERT_TRUE(port.IsWatcherRunning()) << "closed after " << size << " bytes";
        const std::uint8_t frame[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
        port.QueueWrite(frame, sizeof frame);
        EXPECT_EQ(pty.ReadMaster(), ByteBuffer(frame, frame + 5)) << size;
    }
    EXPECT_EQ(port.lineErrors.load() & kvara::kLineDeviceGone, 0u);
}

// A device that vanishes between the open and the start ends the watcher at once, maybe before
// the starting thread looks; the start must still return.
TEST(SerialLink, StartReturnsWhenTheDeviceVanishedBeforeIt) {
    for (int round = 0; round < 200; ++round) {
        Pty pty;
        CUSBSerialPort port;
        ASSERT_TRUE(OpenDefault(port, pty.path));
        pty.CloseSlave();
        pty.CloseMaster();
        auto started = std::async(std::launch::async, [&port] { return port.StartWatcher(); });
        if (started.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << "StartWatcher never returned (round " << round << ")";
            std::_Exit(1);  // the waiting thread cannot be freed
        }
        EXPECT_TRUE(started.get());
        EXPECT_TRUE(Eventually([&] { return !port.IsWatcherRunning(); }));
        port.CloseLine();
    }
}
