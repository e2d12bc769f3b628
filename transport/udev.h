// SPDX-License-Identifier: MIT
// libudev, bound once for the process at run time: the device listing and the device monitor
// share one table of its entry points, typed from its own header, every one or none.
#pragma once

#include <libudev.h>

namespace kvara {

struct UdevApi {
    decltype(&::udev_new) udev_new = nullptr;
    decltype(&::udev_unref) udev_unref = nullptr;
    decltype(&::udev_enumerate_new) udev_enumerate_new = nullptr;
    decltype(&::udev_enumerate_unref) udev_enumerate_unref = nullptr;
    decltype(&::udev_enumerate_add_match_subsystem) udev_enumerate_add_match_subsystem = nullptr;
    decltype(&::udev_enumerate_scan_devices) udev_enumerate_scan_devices = nullptr;
    decltype(&::udev_enumerate_get_list_entry) udev_enumerate_get_list_entry = nullptr;
    decltype(&::udev_list_entry_get_next) udev_list_entry_get_next = nullptr;
    decltype(&::udev_list_entry_get_name) udev_list_entry_get_name = nullptr;
    decltype(&::udev_device_new_from_syspath) udev_device_new_from_syspath = nullptr;
    decltype(&::udev_device_unref) udev_device_unref = nullptr;
    decltype(&::udev_device_get_devnode) udev_device_get_devnode = nullptr;
    decltype(&::udev_device_get_devtype) udev_device_get_devtype = nullptr;
    decltype(&::udev_device_get_syspath) udev_device_get_syspath = nullptr;
    decltype(&::udev_device_get_driver) udev_device_get_driver = nullptr;
    decltype(&::udev_device_get_parent) udev_device_get_parent = nullptr;
    decltype(&::udev_device_get_parent_with_subsystem_devtype)
        udev_device_get_parent_with_subsystem_devtype = nullptr;
    decltype(&::udev_device_get_sysattr_value) udev_device_get_sysattr_value = nullptr;
    decltype(&::udev_device_get_property_value) udev_device_get_property_value = nullptr;
    decltype(&::udev_device_get_devlinks_list_entry) udev_device_get_devlinks_list_entry = nullptr;
    decltype(&::udev_device_get_action) udev_device_get_action = nullptr;
    decltype(&::udev_monitor_new_from_netlink) udev_monitor_new_from_netlink = nullptr;
    decltype(&::udev_monitor_filter_add_match_subsystem_devtype)
        udev_monitor_filter_add_match_subsystem_devtype = nullptr;
    decltype(&::udev_monitor_enable_receiving) udev_monitor_enable_receiving = nullptr;
    decltype(&::udev_monitor_get_fd) udev_monitor_get_fd = nullptr;
    decltype(&::udev_monitor_receive_device) udev_monitor_receive_device = nullptr;
    decltype(&::udev_monitor_unref) udev_monitor_unref = nullptr;
};

// The bound table, or null when libudev (libudev.so.1) or one of its entry points is missing.
const UdevApi* Udev();

}  // namespace kvara
