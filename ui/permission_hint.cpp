#include "ui/permission_hint.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace kvara {

std::string DevicePathOf(const std::string& interfaceText) {
    std::string name = interfaceText;
    const std::size_t blank = name.find(' ');
    if (blank != std::string::npos) {
        name.resize(blank);
    }
    // A bus address ":n" at the end; stable device names keep their own colons.
    const std::size_t colon = name.rfind(':');
    if (colon != std::string::npos && colon > 0 && colon + 1 < name.size() &&
        name.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
        name.resize(colon);
    }
    if (!name.empty() && name[0] == '/') {
        return name;
    }
    std::size_t start = name.rfind("\\\\.\\", 0) == 0 ? 4 : 0;
    if (name.size() > start + 3 && (name.compare(start, 3, "COM") == 0 || name.compare(start, 3, "com") == 0) &&
        name[start + 3] >= '1' && name[start + 3] <= '9') {
        int number = 0;
        for (std::size_t i = start + 3; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])) && number < 100000; ++i) {
            number = number * 10 + (name[i] - '0');
        }
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    return {};
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
