// SPDX-License-Identifier: MIT
#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "sim/write_all.h"

namespace kvara::sim {

PtyServer::PtyServer(std::shared_ptr<SimReader> reader, std::string symlinkPath)
    : m_reader(std::move(reader)), m_symlink(std::move(symlinkPath)) {}

PtyServer::~PtyServer() {
    Stop();
}

bool PtyServer::Start() {
    if (!m_serve.Open() || !OpenTerminal()) {
        return false;
    }
    m_scheduler = std::make_unique<PieceScheduler>([this](const ByteBuffer& b) { Emit(b); });
    m_serve.Start([this] { Serve(); });
    return true;
}

void PtyServer::Stop() {
    m_serve.Stop();
    if (m_scheduler) {
        m_scheduler->Stop();
    }
    CloseTerminal();
    if (!m_symlink.empty()) {
        unlink(m_symlink.c_str());
    }
}

bool PtyServer::OpenTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0) {
            close(master);
        }
        return false;
    }
    char name[128] = {};
    if (ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return false;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return false;
    }
    // Raw from the start, so nothing the reader sends is echoed or translated before the
    // programmer configures the line itself.
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_master = master;
        m_slaveHold = slave;
        m_path = name;
    }
    if (!m_symlink.empty()) {
        const std::string temporary = m_symlink + ".new";
        unlink(temporary.c_str());
        if (symlink(name, temporary.c_str()) != 0 ||
            rename(temporary.c_str(), m_symlink.c_str()) != 0) {
            unlink(temporary.c_str());
        }
    }
    return true;
}

void PtyServer::CloseTerminal() {
    std::lock_guard<std::mutex> guard(m_lock);
    for (int* fd : {&m_master, &m_slaveHold}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void PtyServer::Unplug() {
    if (m_scheduler) {
        m_scheduler->Cancel();
    }
    CloseTerminal();
    m_serve.Wake();
}

bool PtyServer::Replug() {
    CloseTerminal();
    const bool ok = OpenTerminal();
    m_serve.Wake();
    return ok;
}

std::string PtyServer::Path() const {
    if (!m_symlink.empty()) {
        return m_symlink;
    }
    return DevicePath();
}

std::string PtyServer::DevicePath() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_path;
}

void PtyServer::Serve() {
    std::uint8_t buffer[512];
    while (!m_serve.Stopping()) {
        int master = -1;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            master = m_master;
        }
        pollfd fds[2] = {{m_serve.WakeFd(), POLLIN, 0}, {master, POLLIN, 0}};
        const int ready = poll(fds, master >= 0 ? 2 : 1, -1);
        if (ready < 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            m_serve.Drain();
            continue;  // look at the (possibly new) terminal again
        }
        if (master < 0 || (fds[1].revents & POLLIN) == 0) {
            continue;
        }
        std::unique_lock<std::mutex> guard(m_lock);
        if (master != m_master) {
            continue;
        }
        const ssize_t n = read(master, buffer, sizeof buffer);
        guard.unlock();
        if (n <= 0) {
            continue;
        }
        m_scheduler->Dispatch(m_reader->Receive(buffer, static_cast<std::size_t>(n)));
    }
}

void PtyServer::Emit(const ByteBuffer& bytes) {
    WriteAll(m_lock, m_master, bytes, &::write);
}

}  // namespace kvara::sim
