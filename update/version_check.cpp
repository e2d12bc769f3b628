// SPDX-License-Identifier: MIT
#include "update/version_check.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "settings/ini.h"

#ifndef KVARA_PRODUCT_VERSION
#define KVARA_PRODUCT_VERSION ""
#endif

namespace kvara {

namespace {

constexpr const char* kUpdatePath = "/rfid/software/";

std::string FileNameOf(const std::string& address) {
    const std::size_t slash = address.rfind('/');
    std::string name =
        slash == std::string::npos || slash == 0 ? address : address.substr(slash + 1);
    const std::size_t query = name.find_first_of("?#");
    if (query != std::string::npos) {
        name.resize(query);
    }
    return name;
}

long Number(const std::string& text) {
    return std::strtol(text.c_str(), nullptr, 10);
}

// A version's major as a decimal number and its minor as text.
struct VersionParts {
    long major;
    std::string minor;
};

VersionParts PartsOf(const std::string& version) {
    std::string major;
    std::string minor;
    SplitVersion(version, &major, &minor);
    return {Number(major), minor};
}

UpdateOutcome Failed(UpdateFailure failure, std::string detail = {}) {
    UpdateOutcome outcome;
    outcome.failure = failure;
    outcome.detail = std::move(detail);
    return outcome;
}

}  // namespace

std::string GetProductVersion() {
    std::string version = KVARA_PRODUCT_VERSION;
    if (version.empty() || version.size() > 19) {
        return "-.--";
    }
    if (version.size() < 4) {
        version += ' ';
    }
    return version;
}

std::string GetExecutableDate() {
    struct stat info {};
    if (stat("/proc/self/exe", &info) != 0) {
        return {};
    }
    std::tm local{};
    if (localtime_r(&info.st_mtime, &local) == nullptr) {
        return {};
    }
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d", &local) > 0 ? std::string(text)
                                                                    : std::string();
}

void SplitVersion(const std::string& version, std::string* major, std::string* minor) {
    const std::size_t dot = version.find('.');
    if (dot != std::string::npos && dot != 0) {
        *major = version.substr(0, dot);
        *minor = version.substr(dot + 1);
    } else {
        *major = version;
        minor->clear();
    }
}

bool IsLowerVersion(const std::string& localVersion, const std::string& offeredVersion) {
    const VersionParts local = PartsOf(localVersion);
    const VersionParts offered = PartsOf(offeredVersion);
    return offered.major < local.major ||
           (offered.major == local.major && Number(offered.minor) < Number(local.minor));
}

bool IsNewerVersion(const std::string& localVersion, const std::string& localBuild,
                    const std::string& offeredVersion, const std::string& offeredBuild) {
    if (IsLowerVersion(localVersion, offeredVersion)) {
        return false;  // never an older program or firmware as an update
    }
    const VersionParts local = PartsOf(localVersion);
    const VersionParts offered = PartsOf(offeredVersion);
    if (local.major < offered.major) {
        return true;
    }
    if (local.major == offered.major && local.minor < offered.minor) {
        return true;
    }
    return !offeredBuild.empty() && localBuild < offeredBuild;
}

CVersionCheck::CVersionCheck(std::string fileName, std::string section)
    : m_fileName(std::move(fileName)), m_section(std::move(section)) {}

CVersionCheck::~CVersionCheck() {
    m_stop = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::string CVersionCheck::Address() const {
    const std::string server = UpdateServer();
    return server.empty() ? std::string() : server + kUpdatePath + m_fileName;
}

std::string CVersionCheck::FileText() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_fileText;
}

void CVersionCheck::ResetForTesting() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_started = false;
    m_finished = false;
    m_running = false;
    m_fileText.clear();
    m_outcome = {};
    m_notify = nullptr;
    m_command = 0;
}

bool CVersionCheck::StartCheck(Notify notify, int command) {
    Notify reportNow;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_notify = std::move(notify);
        m_command = command;
        if (!m_started) {
            m_started = true;
            m_running = true;
            try {
                m_worker = std::thread([this] { Download(); });
            } catch (const std::system_error&) {
                m_running = false;
                m_started = false;
                return false;
            }
            return true;
        }
        if (m_finished && m_notify && m_command != 0) {
            reportNow = m_notify;
        }
    }
    if (reportNow) {
        reportNow(command);
    }
    return true;
}

void CVersionCheck::Download() {
    UpdateOutcome outcome;
    const std::string address = Address();
    const std::string text =
        address.empty() ? std::string() : FetchText(address, &m_stop, &outcome);
    Notify notify;
    int command = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fileText = text;
        m_outcome = outcome;
        notify = m_notify;
        command = m_command;
        m_finished = true;
    }
    if (notify) {
        notify(command);
    }
    m_running = false;
}

bool CVersionCheck::IsCheckDone() const {
    return m_started && m_finished && !m_running;
}

std::string CVersionCheck::Value(const std::string& key) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_fileText.empty()) {
        return {};
    }
    CPrivateProfile profile;
    profile.Parse(m_fileText);
    return profile.GetString(m_section, key, "");
}

bool CVersionCheck::ReadRemoteVersion(std::string* version, std::string* build) const {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_fileText.empty()) {
            version->clear();
            build->clear();
            return false;
        }
    }
    *version = Value("Version");
    *build = Value("Build");
    return true;
}

std::string CVersionCheck::GetRemoteVersion() const {
    return Value("Version");
}

std::string CVersionCheck::GetInstallerAddress() const {
    return Value("Installer");
}

bool CVersionCheck::FindDeviceSection() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!IsCheckDone()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::lock_guard<std::mutex> guard(m_lock);
    CPrivateProfile profile;
    profile.Parse(m_fileText);
    const std::string alias = profile.GetString("Alias", m_deviceCode, "");
    if (alias.empty()) {
        return false;
    }
    m_section = alias;
    return true;
}

bool CVersionCheck::IsNewerAvailable() const {
    std::string version;
    std::string build;
    if (!ReadRemoteVersion(&version, &build)) {
        return false;
    }
    std::string firmware;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        firmware = m_deviceFirmware;
    }
    if (!firmware.empty()) {
        return IsNewerVersion(firmware, "", version, build);
    }
    return IsNewerVersion(GetProductVersion(), GetExecutableDate(), version, build);
}

UpdateOutcome CVersionCheck::FetchOutcome() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_outcome;
}

std::string CVersionCheck::DownloadInstaller(const std::string& dir) const {
    UpdateOutcome outcome;
    return DownloadInstaller(dir, {}, &outcome);
}

std::string CVersionCheck::DownloadInstaller(const std::string& dir, const TransferControl& control,
                                             UpdateOutcome* outcome) const {
    const std::string address = GetInstallerAddress();
    const std::string name = FileNameOf(address);
    if (address.empty() || name.empty() || name == "." || name == "..") {
        *outcome = Failed(UpdateFailure::Address);
        return {};  // no file name to write to
    }
    const std::string folder = dir.empty() ? MakeDownloadFolder() : std::string();
    if (dir.empty() && folder.empty()) {
        *outcome = Failed(UpdateFailure::LocalFile, std::strerror(errno));
        return {};
    }
    std::string directory = dir.empty() ? folder : dir;
    if (directory.back() != '/') {
        directory += '/';
    }
    const std::string path = directory + name;
    if (DownloadToFile(address, path, control, outcome)) {
        outcome->failure =
            VerifyInstaller(path, {Value("SHA256"), Value("Signature")}, UpdatePublicKey());
    }
    if (!outcome->Ok()) {
        std::remove(path.c_str());  // not the maker's whole file: it never runs
        if (!folder.empty()) {
            RemoveDownloadFolder(folder);
        }
        return {};
    }
    const InstallerKind kind = ClassifyInstaller(path);
    chmod(path.c_str(),
          kind == InstallerKind::Program || kind == InstallerKind::Script ? 0700 : 0600);
    return path;
}

void CVersionCheck::SetDevice(const std::string& name, const std::string& code,
                              const std::string& firmware) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_deviceName = name;
    m_deviceCode = code;
    m_deviceFirmware = firmware;
}

CVersionCheck& SoftwareCheck() {
    static CVersionCheck check("RFIDVersionsUHF.txt", "Kvara_Programmer");
    return check;
}

CVersionCheck& DeviceCheck() {
    static CVersionCheck check("RFIDDeviceVersions.txt", "");
    return check;
}

}  // namespace kvara
