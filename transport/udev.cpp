// SPDX-License-Identifier: MIT
#include "transport/udev.h"

#include <mutex>

#include "common/dynamic_library.h"

namespace kvara {

const UdevApi* Udev() {
    static DynamicLibrary library;
    static UdevApi api;
    static bool bound = false;
    static std::once_flag once;
    std::call_once(once, [] {
        if (!library.Open("libudev.so.1")) {
            return;
        }
        Resolver resolve(library);
        resolve("udev_new", api.udev_new);
        resolve("udev_unref", api.udev_unref);
        resolve("udev_enumerate_new", api.udev_enumerate_new);
        resolve("udev_enumerate_unref", api.udev_enumerate_unref);
        resolve("udev_enumerate_add_match_subsystem", api.udev_enumerate_add_match_subsystem);
        resolve("udev_enumerate_scan_devices", api.udev_enumerate_scan_devices);
        resolve("udev_enumerate_get_list_entry", api.udev_enumerate_get_list_entry);
        resolve("udev_list_entry_get_next", api.udev_list_entry_get_next);
        resolve("udev_list_entry_get_name", api.udev_list_entry_get_name);
        resolve("udev_device_new_from_syspath", api.udev_device_new_from_syspath);
        resolve("udev_device_unref", api.udev_device_unref);
        resolve("udev_device_get_devnode", api.udev_device_get_devnode);
        resolve("udev_device_get_devtype", api.udev_device_get_devtype);
        resolve("udev_device_get_syspath", api.udev_device_get_syspath);
        resolve("udev_device_get_driver", api.udev_device_get_driver);
        resolve("udev_device_get_parent", api.udev_device_get_parent);
        resolve("udev_device_get_parent_with_subsystem_devtype",
                api.udev_device_get_parent_with_subsystem_devtype);
        resolve("udev_device_get_sysattr_value", api.udev_device_get_sysattr_value);
        resolve("udev_device_get_property_value", api.udev_device_get_property_value);
        resolve("udev_device_get_devlinks_list_entry", api.udev_device_get_devlinks_list_entry);
        resolve("udev_device_get_action", api.udev_device_get_action);
        resolve("udev_monitor_new_from_netlink", api.udev_monitor_new_from_netlink);
        resolve("udev_monitor_filter_add_match_subsystem_devtype",
                api.udev_monitor_filter_add_match_subsystem_devtype);
        resolve("udev_monitor_enable_receiving", api.udev_monitor_enable_receiving);
        resolve("udev_monitor_get_fd", api.udev_monitor_get_fd);
        resolve("udev_monitor_receive_device", api.udev_monitor_receive_device);
        resolve("udev_monitor_unref", api.udev_monitor_unref);
        if (!resolve.AllFound()) {
            api = UdevApi{};
            library.Close();
            return;
        }
        bound = true;
    });
    return bound ? &api : nullptr;
}

}  // namespace kvara
