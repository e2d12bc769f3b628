// SPDX-License-Identifier: MIT
// Checks on the maker's update server for newer versions of the program and of the connected
// reader's firmware, and fetches and starts an offered installer.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "update/installer.h"
#include "update/transfer.h"
#include "update/update_config.h"

namespace kvara {

// The version texts of the running program: its product version ("-.--" when there is none,
// one blank appended when shorter than 4 characters) and the date of its file ("%Y-%m-%d").
std::string GetProductVersion();
std::string GetExecutableDate();

// Major = text before the first "." (when that dot is not the first character), minor = the
// text after it; otherwise major = the whole text and minor empty.
void SplitVersion(const std::string& version, std::string* major, std::string* minor);
// Whether the offered version is lower than the local one: majors, then minors, as decimal
// numbers (so 1.10 is not lower than 1.9).
bool IsLowerVersion(const std::string& localVersion, const std::string& offeredVersion);
// Whether the offered version or build is newer than the local one: majors compared as
// decimal numbers, then minors and builds as texts. A lower version is never newer, whatever
// its build.
bool IsNewerVersion(const std::string& localVersion, const std::string& localBuild,
                    const std::string& offeredVersion, const std::string& offeredBuild);

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
    // How the version file's download ended (its failure, when the text is empty).
    UpdateOutcome FetchOutcome() const;
    // Downloads the installer into dir (a new private temporary folder when empty, removed
    // again when the download fails) and checks it against the "SHA256" and "Signature"
    // values of the entry. The file's path, or empty with the cause in outcome; a file that
    // fails its check is removed.
    std::string DownloadInstaller(const std::string& dir = {}) const;
    std::string DownloadInstaller(const std::string& dir, const TransferControl& control,
                                  UpdateOutcome* outcome) const;

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
    UpdateOutcome m_outcome;
    Notify m_notify;
    int m_command = 0;
    std::thread m_worker;
    bool m_started = false;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_stop{false};  // set when this check ends: its transfer stops at once
};

// The two process-wide checks.
CVersionCheck& SoftwareCheck();  // "RFIDVersionsUHF.txt", section "Kvara_Programmer"
CVersionCheck& DeviceCheck();    // "RFIDDeviceVersions.txt", section from "Alias"

}  // namespace kvara
