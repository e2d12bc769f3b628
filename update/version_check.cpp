#include "update/version_check.h"

#include <curl/curl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "settings/ini.h"

#ifndef KVARA_PRODUCT_VERSION
#define KVARA_PRODUCT_VERSION ""
#endif
#ifndef KVARA_UPDATE_SERVER
#define KVARA_UPDATE_SERVER "https://www.quarn.de"
#endif

extern char** environ;

namespace kvara {

namespace {

constexpr const char* kUpdatePath = "/rfid/software/";
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kTransferTimeoutSeconds = 120;

std::mutex g_serverLock;
std::string g_server = KVARA_UPDATE_SERVER;
std::string g_caFile;
// Set while the program ends, so a transfer still running stops at once.
std::atomic<bool> g_shuttingDown{false};

void CurlGlobal() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

int Progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return g_shuttingDown.load() ? 1 : 0; }

// A transfer of address into sink; true only for a complete transfer with a 2xx status.
bool Transfer(const std::string& address, size_t (*sink)(char*, size_t, size_t, void*), void* target) {
    CurlGlobal();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return false;
    }
    std::string caFile;
    {
        std::lock_guard<std::mutex> guard(g_serverLock);
        caFile = g_caFile;
    }
    curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, sink);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, target);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");  // never in the clear
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
    // Never a cached copy.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Progress);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return result == CURLE_OK && status >= 200 && status < 300;
}

size_t AppendText(char* data, size_t size, size_t count, void* target) {
    auto* text = static_cast<std::string*>(target);
    const size_t bytes = size * count;
    if (text->size() + bytes > 1024 * 1024) {
        return 0;  // a version file is small; anything larger is not one
    }
    // A zero byte ends the text of its chunk, as the version files are plain text.
    text->append(data, strnlen(data, bytes));
    return bytes;
}

size_t WriteFile(char* data, size_t size, size_t count, void* target) {
    return std::fwrite(data, size, count, static_cast<FILE*>(target));
}

std::string FileNameOf(const std::string& address) {
    const std::size_t slash = address.rfind('/');
    std::string name = slash == std::string::npos || slash == 0 ? address : address.substr(slash + 1);
    const std::size_t query = name.find_first_of("?#");
    if (query != std::string::npos) {
        name.resize(query);
    }
    return name;
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
    std::tm local {};
    if (localtime_r(&info.st_mtime, &local) == nullptr) {
        return {};
    }
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d", &local) > 0 ? std::string(text) : std::string();
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

bool IsNewerVersion(const std::string& localVersion, const std::string& localBuild,
                    const std::string& offeredVersion, const std::string& offeredBuild) {
    std::string localMajor;
    std::string localMinor;
    std::string offeredMajor;
    std::string offeredMinor;
    SplitVersion(localVersion, &localMajor, &localMinor);
    SplitVersion(offeredVersion, &offeredMajor, &offeredMinor);
    const long local = std::strtol(localMajor.c_str(), nullptr, 10);
    const long offered = std::strtol(offeredMajor.c_str(), nullptr, 10);
    if (local < offered) {
        return true;
    }
    if (local == offered && localMinor < offeredMinor) {
        return true;
    }
    return !offeredBuild.empty() && localBuild < offeredBuild;
}

void SetUpdateServer(const std::string& base, const std::string& caFile) {
    std::lock_guard<std::mutex> guard(g_serverLock);
    g_server = base;
    g_caFile = caFile;
}

std::string UpdateServer() {
    std::lock_guard<std::mutex> guard(g_serverLock);
    return g_server;
}

std::string FetchText(const std::string& address) {
    std::string text;
    if (address.empty() || !Transfer(address, &AppendText, &text)) {
        return {};
    }
    return text;
}

bool DownloadToFile(const std::string& address, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool done = Transfer(address, &WriteFile, file);
    const bool closed = std::fclose(file) == 0;
    if (!done || !closed) {
        std::remove(path.c_str());  // no half file left behind
        return false;
    }
    return true;
}

bool LaunchInstaller(const std::string& path, std::string* error) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error != nullptr) {
            *error = "The File\n\"" + path + "\"\ndoes not exist!";
        }
        return false;
    }
    // Three ways, each reporting its own code: run it, let the desktop open it, run it by sh.
    auto spawn = [](const char* program, std::vector<const char*> args, bool wait) {
        pid_t pid = 0;
        args.push_back(nullptr);
        const int rc = posix_spawnp(&pid, program, nullptr, nullptr, const_cast<char* const*>(args.data()), environ);
        if (rc != 0) {
            return rc;
        }
        if (!wait) {
            return 0;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const int direct = access(path.c_str(), X_OK) == 0 ? spawn(path.c_str(), {path.c_str()}, false) : EACCES;
    if (direct == 0) {
        return true;
    }
    const int opener = spawn("xdg-open", {"xdg-open", path.c_str()}, true);
    if (opener == 0) {
        return true;
    }
    const int shell = spawn("sh", {"sh", path.c_str()}, false);
    if (shell == 0) {
        return true;
    }
    if (error != nullptr) {
        *error = "The File\n\"" + path + "\"\ncan not be started!\nError " + std::to_string(direct) + " " +
                 std::to_string(opener) + " " + std::to_string(shell);
    }
    return false;
}

CVersionCheck::CVersionCheck(std::string fileName, std::string section)
    : m_fileName(std::move(fileName)), m_section(std::move(section)) {}

CVersionCheck::~CVersionCheck() {
    g_shuttingDown = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

std::string CVersionCheck::Address() const { return UpdateServer() + kUpdatePath + m_fileName; }

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
    const std::string text = FetchText(Address());
    Notify notify;
    int command = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fileText = text;
        notify = m_notify;
        command = m_command;
        m_finished = true;
    }
    if (notify) {
        notify(command);
    }
    m_running = false;
}

bool CVersionCheck::IsCheckDone() const { return m_started && m_finished && !m_running; }

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

std::string CVersionCheck::GetRemoteVersion() const { return Value("Version"); }

std::string CVersionCheck::GetInstallerAddress() const { return Value("Installer"); }

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

std::string CVersionCheck::DownloadInstaller(const std::string& dir) const {
    const std::string address = GetInstallerAddress();
    if (address.empty()) {
        return {};
    }
    const std::string name = FileNameOf(address);
    if (name.empty() || name == "." || name == "..") {
        return {};  // not a file name to write to
    }
    std::string directory = dir;
    if (directory.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kvara-update.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            return {};
        }
        directory = pattern;
    }
    if (directory.back() != '/') {
        directory += '/';
    }
    const std::string path = directory + name;
    if (!DownloadToFile(address, path)) {
        return {};
    }
    chmod(path.c_str(), 0700);  // an installer to run
    return path;
}

void CVersionCheck::SetDevice(const std::string& name, const std::string& code, const std::string& firmware) {
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
