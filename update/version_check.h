// Checks on the maker's update server for newer versions of the program and of the connected
// reader's firmware, and fetches and starts an offered installer.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kvara {

// The version texts of the running program: its product version ("-.--" when there is none,
// one blank appended when shorter than 4 characters) and the date of its file ("%Y-%m-%d").
std::string GetProductVersion();
std::string GetExecutableDate();

// Major = text before the first "." (when that dot is not the first character), minor = the
// text after it; otherwise major = the whole text and minor empty.
void SplitVersion(const std::string& version, std::string* major, std::string* minor);
// Whether the offered version or build is newer than the local one: majors compared as
// decimal numbers, then minors and builds as texts.
bool IsNewerVersion(const std::string& localVersion, const std::string& localBuild,
                    const std::string& offeredVersion, const std::string& offeredBuild);

// Where the version files live ("https://host"), and the certificate authorities to trust
// (empty: the system's). Tests point both at a server of their own.
void SetUpdateServer(const std::string& base, const std::string& caFile = {});
std::string UpdateServer();

// The text at a web address (TLS verified, no cached copy); empty on any failure.
std::string FetchText(const std::string& address);
// Downloads an address into a file. Only a complete transfer with a success status counts;
// otherwise the file is removed.
bool DownloadToFile(const std::string& address, const std::string& path);

// Starts a downloaded program: directly when it is executable, else with the desktop's opener,
// else with sh. On failure error holds the message to show.
bool LaunchInstaller(const std::string& path, std::string* error);

class CVersionCheck {
public:
    using Notify = std::function<void(int command)>;

    CVersionCheck(std::string fileName, std::string section);
    ~CVersionCheck();
    CVersionCheck(const CVersionCheck&) = delete;
    CVersionCheck& operator=(const CVersionCheck&) = delete;

    // Starts the download once; later calls only change where its end is reported (and report
    // at once when it has ended). notify runs on the download thread or the caller's.
    bool StartCheck(Notify notify, int command);
    bool IsCheckDone() const;
    bool ReadRemoteVersion(std::string* version, std::string* build) const;
    std::string GetRemoteVersion() const;
    std::string GetInstallerAddress() const;
    // Looks the device code up in the file's "Alias" section (waiting up to 500 ms for the
    // download); on success that alias becomes the section.
    bool FindDeviceSection();
    bool IsNewerAvailable() const;
    // Downloads the installer into dir (a new private temporary directory when empty); the
    // file's path, or empty.
    std::string DownloadInstaller(const std::string& dir = {}) const;

    // The connected reader (device check only).
    void SetDevice(const std::string& name, const std::string& code, const std::string& firmware);
    std::string Address() const;
    std::string FileText() const;
    // Back to "not started" (after the download has ended), so a test can check again.
    void ResetForTesting();

private:
    std::string Value(const std::string& key) const;
    void Download();

    std::string m_fileName;
    mutable std::mutex m_lock;  // guards everything below that the download thread touches
    std::string m_section;
    std::string m_deviceName;
    std::string m_deviceCode;
    std::string m_deviceFirmware;
    std::string m_fileText;
    Notify m_notify;
    int m_command = 0;
    std::thread m_worker;
    bool m_started = false;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_finished{false};
};

// The two process-wide checks.
CVersionCheck& SoftwareCheck();  // "RFIDVersionsUHF.txt", section "Kvara_Programmer"
CVersionCheck& DeviceCheck();    // "RFIDDeviceVersions.txt", section from "Alias"

}  // namespace kvara
