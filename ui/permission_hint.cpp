// SPDX-License-Identifier: MIT
#include "ui/permission_hint.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "protocol/names.h"

namespace kvara {

std::string DevicePathOf(const std::string& interfaceText) {
    // The rule the reader library opens by: the address suffix off, then a COM name's device.
    const PortName port = ExaminePortName(SplitAddressSuffix(interfaceText).name);
    return port.comName ? port.openName : std::string();
}

std::string PermissionHint(const std::string& interfaceText) {
    const std::string path = DevicePathOf(interfaceText);
    if (path.empty() || access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES) {
        return {};
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    const group* owner = getgrgid(info.st_gid);
    return owner != nullptr && owner->gr_name != nullptr ? owner->gr_name : "dialout";
}

}  // namespace kvara
