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

std::string DeviceOpenCause(const std::string& path, int error) {
    std::string cause = SystemErrorText(error);
    if (error == EACCES || error == EPERM) {
        struct stat info {};
        const group* owner = stat(path.c_str(), &info) == 0 ? getgrgid(info.st_gid) : nullptr;
        const std::string name = owner != nullptr && owner->gr_name != nullptr && info.st_gid != 0
                                     ? owner->gr_name
                                     : "dialout";
        cause += " (the device belongs to the group \"" + name +
                 "\": join it with sudo usermod -aG " + name + " $USER, then log in again)";
    } else if (error == EBUSY || error == EWOULDBLOCK) {
        cause = "in use by another program";
    }
    return cause;
}

}  // namespace kvara
