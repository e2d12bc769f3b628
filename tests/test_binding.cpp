// SPDX-License-Identifier: MIT
// Run-time binding of system libraries, and the library's device monitor on top of libudev.
#include <gtest/gtest.h>

#include <libudev.h>
#include <unistd.h>

#include "common/dynamic_library.h"
#include "reader/kvara.h"
#include "transport/udev.h"

using kvara::DynamicLibrary;
using kvara::Resolver;

TEST(DynamicLibrary, TypedEntryPointsAllOrNone) {
    DynamicLibrary missing;
    EXPECT_FALSE(missing.Open("libkvara-no-such-library.so.9"));
    decltype(&::udev_new) create = reinterpret_cast<decltype(&::udev_new)>(1);
    EXPECT_FALSE(missing.Resolve("udev_new", create));
    EXPECT_EQ(create, nullptr);

    DynamicLibrary udev;
    ASSERT_TRUE(udev.Open("libudev.so.1"));
    Resolver resolve(udev);
    decltype(&::udev_unref) unref = nullptr;
    EXPECT_TRUE(resolve("udev_new", create));
    EXPECT_TRUE(resolve("udev_unref", unref));
    EXPECT_TRUE(resolve.AllFound());
    void (*absent)() = nullptr;
    EXPECT_FALSE(resolve("udev_no_such_entry_point", absent));
    EXPECT_FALSE(resolve.AllFound());  // one missing spoils the table
    udev.Close();
    EXPECT_FALSE(udev.IsOpen());

    // The library's own binding is complete and shared.
    ASSERT_NE(kvara::Udev(), nullptr);
    EXPECT_EQ(kvara::Udev(), kvara::Udev());
}

TEST(DeviceMonitor, OpensReadsAndClosesAndSurvivesBogusDescriptors) {
    EXPECT_EQ(KvaraReadDeviceChange(-1), -1);
    EXPECT_EQ(KvaraReadDeviceChange(987654), -1);
    KvaraCloseDeviceMonitor(-1);
    KvaraCloseDeviceMonitor(987654);
    const int monitor = KvaraOpenDeviceMonitor();
    if (monitor < 0) {
        GTEST_SKIP() << "no netlink monitor on this machine";
    }
    EXPECT_EQ(KvaraReadDeviceChange(monitor), 0);  // nothing pending: does not wait
    KvaraCloseDeviceMonitor(monitor);
    EXPECT_EQ(KvaraReadDeviceChange(monitor), -1);
}
