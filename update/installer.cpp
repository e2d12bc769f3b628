// SPDX-License-Identifier: MIT
#include "update/installer.h"
#include "common/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sodium.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

extern char** environ;

namespace kvara {

namespace {

constexpr const char* kFolderPrefix = "kvara-update.";

std::string TempRoot() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// The folders of this run's downloads with the descriptors that hold their locks; they stay
// open until the program ends (the lock goes with them), or until the folder is removed.
std::mutex g_foldersLock;
std::map<std::string, int>& HeldFolders() {
    static std::map<std::string, int> folders;
    return folders;
}

// A file mapped for reading (an empty file maps to an empty range).
class MappedFile {
public:
    explicit MappedFile(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (fd >= 0) {
                close(fd);
            }
            return;
        }
        m_size = static_cast<std::size_t>(info.st_size);
        if (m_size > 0) {
            void* data = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
            m_data = data == MAP_FAILED ? nullptr : data;
        }
        m_ok = m_size == 0 || m_data != nullptr;
        close(fd);
    }
    ~MappedFile() {
        if (m_data != nullptr) {
            munmap(m_data, m_size);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Ok() const { return m_ok; }
    const unsigned char* Data() const {
        static const unsigned char empty = 0;
        return m_data != nullptr ? static_cast<const unsigned char*>(m_data) : &empty;
    }
    std::size_t Size() const { return m_size; }

private:
    void* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_ok = false;
};

// Exactly `size` bytes from hex or base64 text (surrounding blanks allowed), or false.
bool DecodeHex(const std::string& text, unsigned char* out, std::size_t size) {
    std::size_t length = 0;
    const char* end = nullptr;
    return sodium_hex2bin(out, size, text.c_str(), text.size(), " \t\r\n", &length, &end) == 0 &&
           length == size && end == text.c_str() + text.size();
}

bool DecodeBase64(const std::string& text, unsigned char* out, std::size_t size) {
    std::vector<unsigned char> buffer(size + 3);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(buffer.data(), buffer.size(), text.c_str(), text.size(), " \t\r\n",
                          &length, &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != size || end != text.c_str() + text.size()) {
        return false;
    }
    std::memcpy(out, buffer.data(), size);
    return true;
}

// Starts a program; waits for it when asked. The result: 0, the spawn's error code, the exit
// code, or -1 for a program ended by a signal.
int Spawn(const std::string& program, const std::vector<std::string>& args, bool wait) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0 || !wait) {
        return rc;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string CannotStart(const std::string& path, const std::vector<int>& codes) {
    std::string text = "The File\n\"" + path + "\"\ncan not be started!\nError";
    for (const int code : codes) {
        text += " " + std::to_string(code);
    }
    return text;
}

}  // namespace

UpdateFailure VerifyInstaller(const std::string& path, const InstallerProof& proof,
                              const std::string& publicKey) {
    if (sodium_init() < 0) {
        return UpdateFailure::BadSignature;  // nothing can be verified: nothing runs
    }
    const bool signatureRequired = !publicKey.empty();
    if (signatureRequired && proof.signature.find_first_not_of(" \t\r\n") == std::string::npos) {
        return UpdateFailure::NoSignature;
    }
    const MappedFile file(path);
    if (!file.Ok()) {
        return UpdateFailure::LocalFile;
    }
    if (!proof.sha256.empty()) {
        std::array<unsigned char, crypto_hash_sha256_BYTES> listed{};
        std::array<unsigned char, crypto_hash_sha256_BYTES> actual{};
        crypto_hash_sha256(actual.data(), file.Data(), file.Size());
        if (!DecodeHex(proof.sha256, listed.data(), listed.size()) ||
            sodium_memcmp(listed.data(), actual.data(), actual.size()) != 0) {
            return UpdateFailure::BadChecksum;
        }
    }
    if (signatureRequired) {
        std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> key{};
        std::array<unsigned char, crypto_sign_BYTES> signature{};
        if (!DecodeBase64(publicKey, key.data(), key.size()) ||
            !DecodeBase64(proof.signature, signature.data(), signature.size()) ||
            crypto_sign_verify_detached(signature.data(), file.Data(), file.Size(), key.data()) !=
                0) {
            return UpdateFailure::BadSignature;
        }
    }
    return UpdateFailure::None;
}

std::string MakeDownloadFolder() {
    std::string pattern = TempRoot() + "/" + kFolderPrefix + "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    const int fd = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        rmdir(pattern.c_str());
        errno = error;
        return {};
    }
    std::lock_guard<std::mutex> guard(g_foldersLock);
    HeldFolders()[pattern] = fd;
    return pattern;
}

void RemoveDownloadFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::lock_guard<std::mutex> guard(g_foldersLock);
    const auto held = HeldFolders().find(folder);
    if (held != HeldFolders().end()) {
        close(held->second);
        HeldFolders().erase(held);
    }
}

int RemoveLeftoverDownloads() {
    const std::string root = TempRoot();
    DIR* dir = opendir(root.c_str());
    if (dir == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, kFolderPrefix, std::strlen(kFolderPrefix)) != 0) {
            continue;
        }
        const std::string path = root + "/" + entry->d_name;
        struct stat info {};
        // Only real folders of this user; a link of the same name is not followed.
        if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
            continue;
        }
        const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // A folder that a running instance holds is in use: its download or its installer.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            if (std::filesystem::remove_all(path, ignored) > 0) {
                ++removed;
            }
        }
        close(fd);
    }
    closedir(dir);
    return removed;
}

InstallerKind ClassifyInstaller(const std::string& path) {
    std::array<char, 8> head{};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return InstallerKind::Other;
    }
    const ssize_t got = read(fd, head.data(), head.size());
    close(fd);
    const std::string_view start(head.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
    if (start.starts_with("\x7f"
                          "ELF")) {
        return InstallerKind::Program;
    }
    if (start.starts_with("#!")) {
        return InstallerKind::Script;
    }
    if (start.starts_with("!<arch>\n") && EndsWithIgnoringCase(path, ".deb")) {
        return InstallerKind::Package;
    }
    return InstallerKind::Other;
}

LaunchResult StartInstaller(const std::string& path, const LaunchOptions& options,
                            std::string* error) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error != nullptr) {
            *error = "The File\n\"" + path + "\"\ndoes not exist!";
        }
        return LaunchResult::Missing;
    }
    std::vector<int> codes;
    switch (ClassifyInstaller(path)) {
        case InstallerKind::Program:
            codes.push_back(Spawn(path, {path}, false));
            break;
        case InstallerKind::Script:
            codes.push_back(Spawn(path, {path}, false));
            if (codes.back() != 0) {
                codes.push_back(Spawn("sh", {"sh", path}, false));
            }
            break;
        case InstallerKind::Package:
            codes.push_back(Spawn("xdg-open", {"xdg-open", path}, true));
            if (codes.back() != 0 && options.confirmPackageInstall &&
                options.confirmPackageInstall()) {
                codes.push_back(
                    Spawn("pkexec", {"pkexec", "apt-get", "install", "-y", path}, true));
            }
            break;
        case InstallerKind::Other:
            if (error != nullptr) {
                error->clear();
            }
            return LaunchResult::NotStartable;
    }
    if (codes.back() == 0) {
        return LaunchResult::Started;
    }
    if (error != nullptr) {
        *error = CannotStart(path, codes);
    }
    return LaunchResult::Failed;
}

bool LaunchInstaller(const std::string& path, std::string* error) {
    return StartInstaller(path, {}, error) == LaunchResult::Started;
}

}  // namespace kvara
