// SPDX-License-Identifier: MIT
#include "common/open_cause.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace kvara {

namespace {

thread_local std::string t_cause;

}  // namespace

void ClearOpenCause() {
    t_cause.clear();
}

void SetOpenCause(const std::string& cause) {
    t_cause = cause;
}

void SetOpenCauseIfNone(const std::string& cause) {
    if (t_cause.empty()) {
        t_cause = cause;
    }
}

const std::string& OpenCause() {
    return t_cause;
}

std::string SystemErrorText(int error) {
    char buffer[256] = {};
    // The GNU strerror_r returns its text, which need not be the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? text : "error " + std::to_string(error);
}

std::string DeviceGroup(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    const group* owner = getgrgid(info.st_gid);
    return owner != nullptr && owner->gr_name != nullptr ? owner->gr_name : "dialout";
}

std::string DeviceOpenCause(const std::string& path, int error) {
    std::string cause = SystemErrorText(error);
    if (error == EACCES || error == EPERM) {
        std::string name = DeviceGroup(path);
        if (name.empty() || name == "root") {
            name = "dialout";  // no group of its own to join: the usual one for serial ports
        }
        cause += " (the device belongs to the group \"" + name +
                 "\": join it with sudo usermod -aG " + name + " $USER, then log in again)";
    } else if (error == EBUSY || error == EWOULDBLOCK) {
        cause = "in use by another program";
    }
    return cause;
}

}  // namespace kvara
