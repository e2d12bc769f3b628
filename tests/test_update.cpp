// Version comparison, the version files on an HTTPS server of the test's own, and installers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/support/https_fixture.h"
#include "update/version_check.h"

using kvara::IsNewerVersion;

TEST(VersionCompare, MajorsAsNumbersMinorsAndBuildsAsTexts) {
    EXPECT_TRUE(IsNewerVersion("1.9", "", "2.0", ""));
    EXPECT_FALSE(IsNewerVersion("10.0", "", "9.9", ""));
    EXPECT_FALSE(IsNewerVersion("1.9", "", "1.10", ""));  // "9" does not sort before "10"
    EXPECT_TRUE(IsNewerVersion("1.9", "2025-01-01", "1.10", "2025-02-01"));  // ...but the build does
    EXPECT_TRUE(IsNewerVersion("1.2 ", "", "1.3", ""));
    EXPECT_TRUE(IsNewerVersion("1.00", "2025-02-01", "1.00", "2025-03-14"));
    EXPECT_FALSE(IsNewerVersion("1.00", "2025-03-14", "1.00", "2025-03-14"));
    EXPECT_TRUE(IsNewerVersion("1.05", "", "1.05", "1"));  // a device has no local build
    EXPECT_TRUE(IsNewerVersion("3.0", "2025-01-01", "2.0", "2026-01-01"));  // build counts even then
    std::string major;
    std::string minor;
    kvara::SplitVersion(".5", &major, &minor);
    EXPECT_EQ(major, ".5");
    EXPECT_EQ(minor, "");
    kvara::SplitVersion("2.3.4", &major, &minor);
    EXPECT_EQ(major, "2");
    EXPECT_EQ(minor, "3.4");
}

TEST(VersionCompare, ProgramVersionAndDate) {
    const std::string version = kvara::GetProductVersion();
    EXPECT_GE(version.size(), 4u);
    const std::string date = kvara::GetExecutableDate();
    ASSERT_EQ(date.size(), 10u);
    EXPECT_EQ(date[4], '-');
}

class UpdateServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.Running()) {
            GTEST_SKIP() << "no HTTPS test server (openssl, python3)";
        }
        kvara::SetUpdateServer(server.Base(), server.cert);
    }
    void TearDown() override { kvara::SetUpdateServer("https://127.0.0.1:1"); }
    kvara::test::HttpsServer server;
};

TEST_F(UpdateServerTest, FetchesOnlyVerifiedCompleteTexts) {
    server.Put("/hello.txt", "Hallo\r\nWelt");
    EXPECT_EQ(kvara::FetchText(server.Base() + "/hello.txt"), "Hallo\r\nWelt");
    EXPECT_EQ(kvara::FetchText(server.Base() + "/missing.txt"), "");  // 404
    EXPECT_EQ(kvara::FetchText(server.Base() + "/truncated"), "");
    EXPECT_EQ(kvara::FetchText("http://127.0.0.1:" + std::to_string(server.port) + "/hello.txt"), "");
    kvara::SetUpdateServer(server.Base());  // the system's authorities do not know this server
    EXPECT_EQ(kvara::FetchText(server.Base() + "/hello.txt"), "");
    EXPECT_EQ(kvara::FetchText(""), "");
}

TEST_F(UpdateServerTest, SoftwareAndDeviceChecks) {
    server.Put("/rfid/software/RFIDVersionsUHF.txt",
               "[Kvara_Programmer]\r\nVersion=99.1\r\nBuild=2099-01-01\r\nInstaller=" + server.Base() + "/kvara-setup.sh\r\n");
    server.Put("/rfid/software/RFIDDeviceVersions.txt",
               "[Alias]\n322=KvaraP30\n[KvaraP30]\nVersion=1.07\nInstaller=" + server.Base() + "/fw.sh\n");
    kvara::CVersionCheck software("RFIDVersionsUHF.txt", "Kvara_Programmer");
    std::atomic<int> notified{0};
    ASSERT_TRUE(software.StartCheck([&](int command) { notified = command; }, 1034));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!software.IsCheckDone() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(software.IsCheckDone());
    EXPECT_EQ(notified.load(), 1034);
    std::string version;
    std::string build;
    ASSERT_TRUE(software.ReadRemoteVersion(&version, &build));
    EXPECT_EQ(version, "99.1");
    EXPECT_EQ(build, "2099-01-01");
    EXPECT_TRUE(software.IsNewerAvailable());
    // A second start after the end reports at once, to the new receiver.
    int again = 0;
    software.StartCheck([&](int command) { again = command; }, 77);
    EXPECT_EQ(again, 77);

    kvara::CVersionCheck device("RFIDDeviceVersions.txt", "");
    device.SetDevice("Kvara P30", "322", "1.05");
    device.StartCheck(nullptr, 0);
    EXPECT_TRUE(device.FindDeviceSection());
    EXPECT_EQ(device.GetRemoteVersion(), "1.07");
    EXPECT_TRUE(device.IsNewerAvailable());
    device.SetDevice("Kvara P20", "312", "1.05");
    EXPECT_FALSE(device.FindDeviceSection());  // not in "Alias": the section stays
}

TEST_F(UpdateServerTest, MissingFileMeansNoUpdate) {
    kvara::CVersionCheck check("NotThere.txt", "Kvara_Programmer");
    check.StartCheck(nullptr, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!check.IsCheckDone() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string version;
    std::string build;
    EXPECT_FALSE(check.ReadRemoteVersion(&version, &build));
    EXPECT_FALSE(check.IsNewerAvailable());
    EXPECT_EQ(check.DownloadInstaller(), "");
}

TEST_F(UpdateServerTest, InstallerDownloadAndLaunch) {
    const std::string marker = server.dir + "/started";
    server.Put("/kvara-setup.sh", "#!/bin/sh\ntouch '" + marker + "'\n");
    server.Put("/rfid/software/RFIDVersionsUHF.txt",
               "[Kvara_Programmer]\nVersion=9\nInstaller=" + server.Base() + "/kvara-setup.sh\n");
    kvara::CVersionCheck check("RFIDVersionsUHF.txt", "Kvara_Programmer");
    check.StartCheck(nullptr, 0);
    while (!check.IsCheckDone()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string path = check.DownloadInstaller();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.find("/kvara-update."), std::string::npos);  // a private directory
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::string error;
    ASSERT_TRUE(kvara::LaunchInstaller(path, &error)) << error;
    for (int i = 0; i < 200 && access(marker.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);
    // Into a given directory without a trailing slash; a broken transfer leaves nothing.
    const std::string into = server.dir + "/into";
    mkdir(into.c_str(), 0700);
    EXPECT_EQ(check.DownloadInstaller(into), into + "/kvara-setup.sh");
    EXPECT_FALSE(kvara::DownloadToFile(server.Base() + "/truncated", into + "/half"));
    EXPECT_NE(access((into + "/half").c_str(), F_OK), 0);
    EXPECT_FALSE(kvara::DownloadToFile(server.Base() + "/missing", into + "/none"));
    EXPECT_NE(access((into + "/none").c_str(), F_OK), 0);
}

TEST(Installer, MissingAndUnstartableFiles) {
    std::string error;
    EXPECT_FALSE(kvara::LaunchInstaller("/tmp/kvara-no-such-installer", &error));
    EXPECT_EQ(error, "The File\n\"/tmp/kvara-no-such-installer\"\ndoes not exist!");
    EXPECT_FALSE(kvara::LaunchInstaller("/tmp", &error));
}
