// SPDX-License-Identifier: MIT
// Interface-dialog logic: keeping a list in step with a listing, entry kinds, line values.
#include <gtest/gtest.h>

#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/text.h"
#include "ui/permission_hint.h"
#include "ui/port_logic.h"

using kvara::StringList;

namespace {

// A listing answer: entries, each with its zero, and the closing zero.
std::string Answer(const StringList& entries) {
    std::string answer;
    for (const auto& e : entries) {
        answer += e;
        answer.push_back('\0');
    }
    answer.push_back('\0');
    return answer;
}

bool Sync(StringList& stored, const StringList& fresh) {
    const std::string answer = Answer(fresh);
    return kvara::SyncList(stored, answer.data(), answer.size());
}

}  // namespace

TEST(SyncList, FollowsTheListingAndReportsChanges) {
    StringList stored;
    EXPECT_FALSE(Sync(stored, {}));
    EXPECT_TRUE(Sync(stored, {"a", "b"}));
    EXPECT_EQ(stored, (StringList{"a", "b"}));
    EXPECT_FALSE(Sync(stored, {"a", "b"}));
    EXPECT_TRUE(Sync(stored, {"a", "c", "d"}));
    EXPECT_EQ(stored, (StringList{"a", "c", "d"}));
    EXPECT_TRUE(Sync(stored, {"a"}));
    EXPECT_EQ(stored, (StringList{"a"}));
    EXPECT_TRUE(Sync(stored, {}));
    EXPECT_TRUE(stored.empty());
    // Only what the buffer holds is seen; an unterminated tail still counts as an entry.
    const std::string cut("abc\0de", 6);
    EXPECT_TRUE(kvara::SyncList(stored, cut.data(), 6));
    EXPECT_EQ(stored, (StringList{"abc", "de"}));
    EXPECT_TRUE(kvara::SyncList(stored, nullptr, 100));
    EXPECT_TRUE(stored.empty());
}

TEST(EntryKinds, SwitchableHidAndVirtualCom) {
    EXPECT_TRUE(kvara::IsSwitchableHidReader("USB: 5260-0001 HID"));
    EXPECT_TRUE(kvara::IsSwitchableHidReader("USB: 5266-1234 HID"));
    EXPECT_FALSE(kvara::IsSwitchableHidReader("USB: 5261-0001 HID"));
    EXPECT_FALSE(kvara::IsSwitchableHidReader("5260-0001 HID"));  // prefix at the very start
    EXPECT_FALSE(kvara::IsSwitchableHidReader("USB: 5260-0001"));
    EXPECT_TRUE(kvara::IsVirtualComReader("COM4 [Quarn Virtual COM]"));
    EXPECT_TRUE(kvara::IsVirtualComReader("/dev/ttyACM0 [Quarn Virtual COM]"));
    EXPECT_FALSE(kvara::IsVirtualComReader("COM1"));
    EXPECT_FALSE(kvara::IsVirtualComReader("USB: x [Quarn Virtual COM]"));
}

TEST(LineValues, FromTheDialogsChoices) {
    EXPECT_EQ(kvara::LineValueOf(9600, 1, 2), 9601);  // even parity wins over two stop bits
    EXPECT_EQ(kvara::LineValueOf(19200, 0, 2), 19203);
    EXPECT_EQ(kvara::LineValueOf(19200, 2, 1), 19202);
    EXPECT_EQ(kvara::LineValueOf(115200, 0, 1), 115200);
    EXPECT_EQ(kvara::WithoutDevicePrefix("\\\\.\\COM3"), "COM3");
    EXPECT_EQ(kvara::WithoutDevicePrefix("/dev/ttyS0"), "/dev/ttyS0");
    EXPECT_TRUE(kvara::BeginsWithIgnoringCase("COM4 [Quarn Virtual COM]", "com4"));
    EXPECT_FALSE(kvara::BeginsWithIgnoringCase("COM", "COM4"));
}

TEST(PermissionHint, DevicePathsOfInterfaceTexts) {
    EXPECT_EQ(kvara::DevicePathOf("/dev/ttyUSB0 [Quarn Virtual COM]:1"), "/dev/ttyUSB0");
    EXPECT_EQ(kvara::DevicePathOf("COM3:1"), "/dev/ttyS2");
    EXPECT_EQ(
        kvara::DevicePathOf("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 (ttyUSB0)"),
        "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ(kvara::DevicePathOf("\\\\.\\COM12"), "/dev/ttyS11");
    EXPECT_EQ(kvara::DevicePathOf("52601234:1"), "");
    EXPECT_EQ(kvara::DevicePathOf(""), "");
    EXPECT_EQ(kvara::PermissionHint("/dev/kvara-nowhere:1"), "");  // missing, not forbidden
}

TEST(PermissionHint, NamesTheGroupThatGrantsAccess) {
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to become a user without access";
    }
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(chmod(name, 0660), 0);
    struct stat info {};
    ASSERT_EQ(stat(name, &info), 0);
    const group* owner = getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string expected = owner->gr_name;
    const pid_t child = fork();
    if (child == 0) {
        // As a user outside the device's group the open would fail: the hint names the group.
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        _exit(kvara::PermissionHint(std::string(name) + ":1") == expected ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(kvara::PermissionHint(std::string(name)), "");  // root may open it
    close(master);
    close(slave);
}
