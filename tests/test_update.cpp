// SPDX-License-Identifier: MIT
// Version comparison, the version files on an HTTPS server of the test's own, and installers:
// their download, their check and their start.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/https_fixture.h"
#include "update/version_check.h"

using kvara::IsNewerVersion;
using kvara::UpdateFailure;
using kvara::UpdateOutcome;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A shell installer of `size` bytes whose second line leaves a mark when it runs.
std::string MarkingScript(const std::string& marker, std::size_t size) {
    std::string script = "#!/bin/sh\ntouch '" + marker + "'\n";
    while (script.size() < size) {
        script += "# the rest of a longer installer\n";
    }
    script.resize(size);
    return script;
}

// Waits for a file a started program leaves (it runs on its own, so its end is not seen).
bool MarkerAppears(const std::string& marker) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!Exists(marker) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Exists(marker);
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    std::string text(size * 2 + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), bytes, size);
    text.pop_back();
    return text;
}

std::string Base64(const unsigned char* bytes, std::size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.pop_back();
    return text;
}

std::string Sha256Of(const std::string& content) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(content.data()),
                       content.size());
    return Hex(digest, sizeof digest);
}

struct SigningKey {
    SigningKey() {
        EXPECT_GE(sodium_init(), 0);
        crypto_sign_keypair(pub, secret);
    }
    std::string Public() const { return Base64(pub, sizeof pub); }
    std::string Sign(const std::string& content) const {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr,
                             reinterpret_cast<const unsigned char*>(content.data()), content.size(),
                             secret);
        return Base64(signature, sizeof signature);
    }
    unsigned char pub[crypto_sign_PUBLICKEYBYTES];
    unsigned char secret[crypto_sign_SECRETKEYBYTES];
};

// Runs a check's download to its end.
void RunCheck(kvara::CVersionCheck& check) {
    auto reported = std::make_shared<std::promise<void>>();
    auto done = reported->get_future();
    ASSERT_TRUE(check.StartCheck([reported](int) { reported->set_value(); }, 1));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

}  // namespace

TEST(VersionCompare, MajorsAsNumbersMinorsAndBuildsAsTexts) {
    EXPECT_TRUE(IsNewerVersion("1.9", "", "2.0", ""));
    EXPECT_FALSE(IsNewerVersion("10.0", "", "9.9", ""));
    EXPECT_FALSE(IsNewerVersion("1.9", "", "1.10", ""));  // "9" does not sort before "10"
    EXPECT_TRUE(
        IsNewerVersion("1.9", "2025-01-01", "1.10", "2025-02-01"));  // ...but the build does
    EXPECT_TRUE(IsNewerVersion("1.2 ", "", "1.3", ""));
    EXPECT_TRUE(IsNewerVersion("1.00", "2025-02-01", "1.00", "2025-03-14"));
    EXPECT_FALSE(IsNewerVersion("1.00", "2025-03-14", "1.00", "2025-03-14"));
    EXPECT_TRUE(IsNewerVersion("1.05", "", "1.05", "1"));  // a device has no local build
    EXPECT_FALSE(IsNewerVersion("3.0", "2025-01-01", "2.0",
                                "2026-01-01"));  // a lower version, whatever its build
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
        // Downloads land in a folder of the test's own, removed with the server's.
        tmp = server.dir + "/tmp";
        mkdir(tmp.c_str(), 0700);
        const char* saved = std::getenv("TMPDIR");
        m_savedTmp = saved != nullptr ? saved : "";
        setenv("TMPDIR", tmp.c_str(), 1);
    }
    void TearDown() override {
        kvara::SetUpdateServer("https://127.0.0.1:1");
        kvara::SetUpdatePublicKey("");
        kvara::SetDownloadLimits(kvara::DefaultDownloadLimits());
        if (m_savedTmp.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", m_savedTmp.c_str(), 1);
        }
    }

    // Lists the installer at `address` (a path on the server, or a whole address) in the
    // program's entry, with more lines when given, and runs the software check.
    void Offer(const std::string& address, const std::string& more = {}) {
        const std::string installer = address.starts_with("/") ? server.Base() + address : address;
        server.Put("/rfid/software/RFIDVersionsUHF.txt",
                   "[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\nInstaller=" + installer +
                       "\n" + more);
        // Each offer has a check of its own; they all end with the test.
        m_checks.push_back(
            std::make_unique<kvara::CVersionCheck>("RFIDVersionsUHF.txt", "Kvara_Programmer"));
        RunCheck(*m_checks.back());
    }
    std::string Download(UpdateOutcome* outcome, const kvara::TransferControl& control = {}) {
        return m_checks.back()->DownloadInstaller({}, control, outcome);
    }
    // The download folders in the test's temporary folder.
    std::vector<std::string> Folders() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(tmp)) {
            if (entry.path().filename().string().starts_with("kvara-update.")) {
                found.push_back(entry.path().string());
            }
        }
        return found;
    }

    kvara::test::HttpsServer server;
    std::string tmp;

private:
    std::vector<std::unique_ptr<kvara::CVersionCheck>> m_checks;
    std::string m_savedTmp;
};

TEST_F(UpdateServerTest, FetchesOnlyVerifiedCompleteTexts) {
    server.Put("/hello.txt", "Hallo\r\nWelt");
    EXPECT_EQ(kvara::FetchText(server.Base() + "/hello.txt"), "Hallo\r\nWelt");
    EXPECT_EQ(kvara::FetchText(server.Base() + "/missing.txt"), "");  // 404
    EXPECT_EQ(kvara::FetchText(server.Base() + "/truncated"), "");
    EXPECT_EQ(kvara::FetchText("http://127.0.0.1:" + std::to_string(server.port) + "/hello.txt"),
              "");
    kvara::SetUpdateServer(server.Base());  // the system's authorities do not know this server
    EXPECT_EQ(kvara::FetchText(server.Base() + "/hello.txt"), "");
    EXPECT_EQ(kvara::FetchText(""), "");
}

TEST_F(UpdateServerTest, SoftwareAndDeviceChecks) {
    server.Put("/rfid/software/RFIDVersionsUHF.txt",
               "[Kvara_Programmer]\r\nVersion=99.1\r\nBuild=2099-01-01\r\nInstaller=" +
                   server.Base() + "/kvara-setup.sh\r\n");
    server.Put(
        "/rfid/software/RFIDDeviceVersions.txt",
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

TEST(VersionCompare, LowerVersionIsNeverNewerWhateverItsBuild) {
    EXPECT_TRUE(kvara::IsLowerVersion("1.00", "0.50"));
    EXPECT_FALSE(IsNewerVersion("1.00", "2025-01-01", "0.50", "2099-12-31"));
    EXPECT_FALSE(
        IsNewerVersion("1.05", "", "1.03", "2099-12-31"));  // a firmware has no local build
    EXPECT_FALSE(kvara::IsLowerVersion("1.9", "1.10"));     // 10 is more than 9 ...
    EXPECT_TRUE(IsNewerVersion("1.9", "2025-01-01", "1.10",
                               "2025-02-01"));  // ... so the build still counts
    EXPECT_FALSE(kvara::IsLowerVersion("1.2 ", "1.2"));
    EXPECT_TRUE(
        IsNewerVersion("1.00", "2025-01-01", "1.00", "2025-02-01"));  // same version, later build
}

TEST_F(UpdateServerTest, LowerVersionIsNotOffered) {
    ASSERT_GE(std::strtol(kvara::GetProductVersion().c_str(), nullptr, 10), 1);
    server.Put("/rfid/software/RFIDVersionsUHF.txt",
               "[Kvara_Programmer]\nVersion=0.50\nBuild=2099-12-31\n");
    server.Put("/rfid/software/RFIDDeviceVersions.txt",
               "[Alias]\n322=KvaraP30\n[KvaraP30]\nVersion=1.03\nBuild=2099-12-31\n");
    kvara::CVersionCheck software("RFIDVersionsUHF.txt", "Kvara_Programmer");
    RunCheck(software);
    EXPECT_FALSE(software.IsNewerAvailable());
    kvara::CVersionCheck device("RFIDDeviceVersions.txt", "");
    device.SetDevice("Kvara P30", "322", "1.05");
    RunCheck(device);
    ASSERT_TRUE(device.FindDeviceSection());
    EXPECT_FALSE(device.IsNewerAvailable());
}

TEST_F(UpdateServerTest, CutOffInstallerIsRefusedAndNeverRuns) {
    const std::string marker = server.dir + "/ran";
    const std::string script = MarkingScript(marker, 3112);
    ASSERT_LT(script.find('\n', 10), 70u);  // the piece that arrives would leave the mark
    server.Put("/kvara-setup.sh", script);
    UpdateOutcome outcome;

    // Without a length the end of the connection proves nothing, even with a clean TLS close.
    Offer("/cut/kvara-setup.sh?bytes=70");
    const std::string path = Download(&outcome);
    if (!path.empty()) {
        kvara::LaunchInstaller(path, nullptr);  // what the about dialog does with a path
    }
    EXPECT_EQ(path, "");
    EXPECT_EQ(outcome.failure, UpdateFailure::Incomplete);
    EXPECT_EQ(outcome.received, 70u);
    EXPECT_EQ(outcome.announced, -1);
    EXPECT_TRUE(Folders().empty());

    // Less than announced.
    EXPECT_FALSE(kvara::DownloadToFile(server.Base() + "/truncated", tmp + "/half", {}, &outcome));
    EXPECT_EQ(outcome.failure, UpdateFailure::Incomplete);
    EXPECT_FALSE(Exists(tmp + "/half"));

    // Chunked framing that breaks off, and one that ends properly.
    Offer("/chunked/kvara-setup.sh?cut=2500");
    EXPECT_EQ(Download(&outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::Incomplete);
    Offer("/chunked/kvara-setup.sh");
    const std::string whole = Download(&outcome);
    ASSERT_NE(whole, "") << static_cast<int>(outcome.failure);
    EXPECT_EQ(ReadAll(whole), script);
    EXPECT_FALSE(Exists(marker));

    // A version file is held to the same rule.
    server.Put("/hello.txt", "[Kvara_Programmer]\nVersion=2.0\n");
    EXPECT_EQ(kvara::FetchText(server.Base() + "/cut/hello.txt?bytes=20", nullptr, &outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::Incomplete);
}

// Stand-ins for xdg-open, pkexec and sh, first in PATH: each notes its arguments in a log and
// exits with the code it was given.
class FakeTools {
public:
    explicit FakeTools(const std::string& dir) : m_bin(dir + "/bin"), m_log(dir + "/tools.log") {
        mkdir(m_bin.c_str(), 0700);
        m_path = std::getenv("PATH");
        setenv("PATH", (m_bin + ":" + m_path).c_str(), 1);
        for (const char* tool : {"xdg-open", "pkexec", "sh"}) {
            Answer(tool, 0);
        }
    }
    ~FakeTools() { setenv("PATH", m_path.c_str(), 1); }
    void Answer(const std::string& tool, int code) const {
        const std::string file = m_bin + "/" + tool;
        std::ofstream(file) << "#!/bin/sh\necho \"" << tool << " $*\" >> '" << m_log << "'\nexit "
                            << code << "\n";
        chmod(file.c_str(), 0755);
    }
    std::string Log() const { return ReadAll(m_log); }
    // The log once a tool that runs on its own has written its line (the file appears a
    // moment before the line is in it).
    std::string LogOnceWritten() const {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        std::string log = Log();
        while (!log.ends_with('\n') && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            log = Log();
        }
        return log;
    }
    void Clear() const { std::remove(m_log.c_str()); }

private:
    std::string m_bin;
    std::string m_log;
    std::string m_path;
};

TEST_F(UpdateServerTest, OnlyPackagesProgramsAndScriptsAreStarted) {
    FakeTools tools(server.dir);
    UpdateOutcome outcome;
    std::string error;
    bool asked = false;
    kvara::LaunchOptions options;
    options.confirmPackageInstall = [&asked] {
        asked = true;
        return false;
    };

    // Neither package, program nor script: not started by any means, and left where it is.
    server.Put("/kvara-setup.bin", "\x89PNG\r\n\x1a\n some picture, not an installer");
    tools.Answer("xdg-open", 3);
    Offer("/kvara-setup.bin");
    const std::string other = Download(&outcome);
    ASSERT_NE(other, "");
    EXPECT_EQ(kvara::ClassifyInstaller(other), kvara::InstallerKind::Other);
    EXPECT_EQ(kvara::StartInstaller(other, options, &error), kvara::LaunchResult::NotStartable);
    EXPECT_EQ(tools.Log(), "");  // neither the opener nor sh saw it
    EXPECT_TRUE(Exists(other));

    // A package goes to the desktop's package installer; when that refuses, pkexec apt-get
    // only with the user's yes.
    server.Put("/kvara-programmer_2.0_amd64.deb",
               "!<arch>\ndebian-binary   1712000000  0     0     100644  4         `\n2.0\n");
    Offer("/kvara-programmer_2.0_amd64.deb");
    const std::string package = Download(&outcome);
    ASSERT_NE(package, "");
    tools.Answer("xdg-open", 0);
    EXPECT_EQ(kvara::StartInstaller(package, options, &error), kvara::LaunchResult::Started);
    EXPECT_EQ(tools.Log(), "xdg-open " + package + "\n");
    EXPECT_FALSE(asked);
    tools.Clear();
    tools.Answer("xdg-open", 3);
    EXPECT_EQ(kvara::StartInstaller(package, options, &error), kvara::LaunchResult::Failed);
    EXPECT_TRUE(asked);
    EXPECT_EQ(tools.Log(), "xdg-open " + package + "\n");
    EXPECT_EQ(error, "The File\n\"" + package + "\"\ncan not be started!\nError 3");
    tools.Clear();
    options.confirmPackageInstall = [] { return true; };
    EXPECT_EQ(kvara::StartInstaller(package, options, &error), kvara::LaunchResult::Started);
    EXPECT_EQ(tools.Log(), "xdg-open " + package + "\npkexec apt-get install -y " + package + "\n");
    tools.Clear();

    // A script runs by itself; sh only when it cannot (here: not executable).
    const std::string marker = server.dir + "/script-ran";
    server.Put("/kvara-setup.sh", MarkingScript(marker, 200));
    Offer("/kvara-setup.sh");
    const std::string script = Download(&outcome);
    ASSERT_NE(script, "");
    EXPECT_EQ(kvara::StartInstaller(script, options, &error), kvara::LaunchResult::Started);
    EXPECT_TRUE(MarkerAppears(marker));
    EXPECT_EQ(tools.Log(), "");
    chmod(script.c_str(), 0600);
    EXPECT_EQ(kvara::StartInstaller(script, options, &error), kvara::LaunchResult::Started);
    EXPECT_EQ(tools.LogOnceWritten(), "sh " + script + "\n");
    tools.Clear();

    // A program (ELF) runs directly.
    server.Put("/kvara-setup", ReadAll("/bin/true"));
    Offer("/kvara-setup");
    const std::string program = Download(&outcome);
    ASSERT_NE(program, "");
    EXPECT_EQ(kvara::ClassifyInstaller(program), kvara::InstallerKind::Program);
    EXPECT_EQ(kvara::StartInstaller(program, options, &error), kvara::LaunchResult::Started);
    EXPECT_EQ(tools.Log(), "");
}

TEST_F(UpdateServerTest, WithAKeyOnlyTheMakersSignedInstallerIsKept) {
    const SigningKey maker;
    const SigningKey stranger;
    kvara::SetUpdatePublicKey(maker.Public());
    const std::string marker = server.dir + "/signed-ran";
    const std::string script = MarkingScript(marker, 900);
    server.Put("/kvara-setup.sh", script);
    UpdateOutcome outcome;

    const std::vector<std::pair<std::string, UpdateFailure>> refused = {
        {"Signature=" + stranger.Sign(script) + "\n", UpdateFailure::BadSignature},
        {"Signature=" + maker.Sign(script + "\n") + "\n",
         UpdateFailure::BadSignature},  // another file's
        {"Signature=not*base64\n", UpdateFailure::BadSignature},
        {"", UpdateFailure::NoSignature},
        {"SHA256=" + Sha256Of(script) + "\n",
         UpdateFailure::NoSignature},  // a checksum is no signature
        {"Signature=" + maker.Sign(script) + "\nSHA256=" + Sha256Of("other") + "\n",
         UpdateFailure::BadChecksum},
    };
    for (const auto& [lines, failure] : refused) {
        Offer("/kvara-setup.sh", lines);
        const std::string path = Download(&outcome);
        if (!path.empty()) {
            kvara::LaunchInstaller(path, nullptr);
        }
        EXPECT_EQ(path, "") << lines;
        EXPECT_EQ(outcome.failure, failure) << lines;
        EXPECT_TRUE(Folders().empty()) << lines;  // the file is gone with its folder
    }
    EXPECT_FALSE(Exists(marker));

    Offer("/kvara-setup.sh",
          "Signature=" + maker.Sign(script) + "\nSHA256=" + Sha256Of(script) + "\n");
    const std::string path = Download(&outcome);
    ASSERT_NE(path, "") << static_cast<int>(outcome.failure);
    std::string error;
    ASSERT_TRUE(kvara::LaunchInstaller(path, &error)) << error;
    EXPECT_TRUE(MarkerAppears(marker));
}

// The way docs/updates.md tells the maker to sign, with openssl alone.
TEST_F(UpdateServerTest, SignatureMadeWithOpensslIsAccepted) {
    const std::string dir = server.dir + "/maker";
    server.Put("/kvara-setup.sh", "#!/bin/sh\nexit 0\n");
    const std::string sign =
        "mkdir -p '" + dir + "' && cd '" + dir +
        "' && openssl genpkey -algorithm ed25519 -out maker.pem"
        " && openssl pkey -in maker.pem -pubout -outform DER | tail -c 32 | base64 -w0 > public.txt"
        " && openssl pkeyutl -sign -inkey maker.pem -rawin -in '" +
        server.root + "/kvara-setup.sh' | base64 -w0 > signature.txt";
    ASSERT_EQ(std::system(sign.c_str()), 0);
    kvara::SetUpdatePublicKey(ReadAll(dir + "/public.txt"));
    UpdateOutcome outcome;
    Offer("/kvara-setup.sh", "Signature=" + ReadAll(dir + "/signature.txt") + "\n");
    EXPECT_NE(Download(&outcome), "") << static_cast<int>(outcome.failure);
    EXPECT_TRUE(outcome.Ok());
}

TEST_F(UpdateServerTest, WithoutAKeyAListedSha256MustMatch) {
    const std::string content = MarkingScript(server.dir + "/unused", 500);
    server.Put("/kvara-setup.sh", content);
    UpdateOutcome outcome;
    std::string upper = Sha256Of(content);
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string& lines :
         {"SHA256=" + Sha256Of(content) + "\n", "SHA256=" + upper + "\n",
          std::string(),                                        // no value: only the length vouches
          "Signature=" + SigningKey().Sign(content) + "\n"}) {  // no key to check it
        Offer("/kvara-setup.sh", lines);
        const std::string path = Download(&outcome);
        EXPECT_NE(path, "") << lines;
        EXPECT_TRUE(outcome.Ok()) << lines;
    }
    const std::size_t kept = Folders().size();
    for (const std::string& wrong :
         {Sha256Of(content + " "), Sha256Of(content).substr(2), std::string("xyz")}) {
        Offer("/kvara-setup.sh", "SHA256=" + wrong + "\n");
        EXPECT_EQ(Download(&outcome), "") << wrong;
        EXPECT_EQ(outcome.failure, UpdateFailure::BadChecksum) << wrong;
        EXPECT_EQ(Folders().size(), kept) << wrong;
    }
}

TEST_F(UpdateServerTest, RedirectsStayOnTheUpdateHost) {
    const std::string port = std::to_string(server.port);
    server.Put("/kvara-setup.sh", "#!/bin/sh\nexit 0\n");
    server.Put("/hello.txt", "Hallo");
    UpdateOutcome outcome;
    // Another host name for the same server, and another port of the same host.
    for (const std::string& away : {"https://localhost:" + port + "/kvara-setup.sh",
                                    std::string("https://127.0.0.1:1/kvara-setup.sh")}) {
        Offer("/redirect?to=" + away);
        EXPECT_EQ(Download(&outcome), "") << away;
        EXPECT_EQ(outcome.failure, UpdateFailure::ForeignRedirect) << away;
        EXPECT_EQ(outcome.detail, away);
        EXPECT_TRUE(Folders().empty());
    }
    EXPECT_EQ(
        kvara::FetchText(server.Base() + "/redirect?to=https://localhost:" + port + "/hello.txt",
                         nullptr, &outcome),
        "");
    EXPECT_EQ(outcome.failure, UpdateFailure::ForeignRedirect);

    Offer("/redirect?to=/kvara-setup.sh");
    const std::string path = Download(&outcome);
    ASSERT_NE(path, "") << static_cast<int>(outcome.failure);
    EXPECT_EQ(ReadAll(path), "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(kvara::FetchText(server.Base() + "/redirect?to=/hello.txt"), "Hallo");
}

TEST_F(UpdateServerTest, InstallerSizeIsCapped) {
    UpdateOutcome outcome;
    // Announced beyond the cap: refused before the body, not after it.
    Offer("/length/629145600?send=65536&hold=10");
    const auto start = Clock::now();
    EXPECT_EQ(Download(&outcome), "");
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_EQ(outcome.failure, UpdateFailure::TooLarge);
    EXPECT_EQ(outcome.announced, 629145600);
    EXPECT_EQ(outcome.received, 0u);
    EXPECT_TRUE(Folders().empty());

    // Without a length: stopped where the cap is passed.
    kvara::SetDownloadLimits({1024 * 1024, kvara::DefaultDownloadLimits().stallLimit});
    Offer("/stream?bytes=4000000");
    EXPECT_EQ(Download(&outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::TooLarge);
    EXPECT_LE(outcome.received, 1024u * 1024u);
    Offer("/stream?bytes=1048576");
    EXPECT_NE(Download(&outcome), "");  // exactly the cap is allowed

    // A version file over its cap says so.
    server.Put("/big.txt", std::string(kvara::kVersionFileCap + 1, 'x'));
    EXPECT_EQ(kvara::FetchText(server.Base() + "/big.txt", nullptr, &outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::TooLarge);
}

TEST_F(UpdateServerTest, StalledTransferIsGivenUpSlowOneIsNot) {
    kvara::SetDownloadLimits(
        {kvara::DefaultDownloadLimits().maxInstallerBytes, std::chrono::milliseconds(1000)});
    UpdateOutcome outcome;
    Offer("/length/1000?send=100&hold=10");
    auto start = Clock::now();
    EXPECT_EQ(Download(&outcome), "");
    EXPECT_LT(SecondsSince(start), 5.0);
    EXPECT_EQ(outcome.failure, UpdateFailure::Stalled);
    EXPECT_EQ(outcome.received, 100u);
    EXPECT_TRUE(Folders().empty());

    // Slower in total than the stall limit, but never silent that long: it completes.
    const std::string content(40000, 'k');
    server.Put("/kvara-setup.bin", content);
    Offer("/slow/kvara-setup.bin?pieces=4&pause=0.5");
    std::uint64_t shown = 0;
    std::int64_t announced = 0;
    kvara::TransferControl control;
    control.progress = [&](std::uint64_t received, std::int64_t length) {
        shown = received;
        announced = length;
    };
    start = Clock::now();
    const std::string path = Download(&outcome, control);
    EXPECT_GE(SecondsSince(start), 1.4);
    ASSERT_NE(path, "") << static_cast<int>(outcome.failure);
    EXPECT_EQ(ReadAll(path), content);
    EXPECT_EQ(shown, content.size());
    EXPECT_EQ(announced, static_cast<std::int64_t>(content.size()));
}

TEST_F(UpdateServerTest, CancelStopsTheDownloadAtOnce) {
    UpdateOutcome outcome;
    std::atomic<bool> cancel{false};
    kvara::TransferControl control;
    control.cancel = &cancel;
    control.progress = [&](std::uint64_t, std::int64_t) {
        cancel = true;
    };  // as soon as bytes come
    Offer("/length/1000?send=100&hold=10");
    const auto start = Clock::now();
    EXPECT_EQ(Download(&outcome, control), "");
    EXPECT_LT(SecondsSince(start), 3.0);
    EXPECT_EQ(outcome.failure, UpdateFailure::Cancelled);
    EXPECT_TRUE(Folders().empty());
}

TEST_F(UpdateServerTest, EachFailureKeepsItsCause) {
    server.Put("/hello.txt", "Hallo");
    UpdateOutcome outcome;
    EXPECT_EQ(kvara::FetchText(server.Base() + "/missing.txt", nullptr, &outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::HttpStatus);
    EXPECT_EQ(outcome.status, 404);
    kvara::FetchText("https://127.0.0.1:1/hello.txt", nullptr, &outcome);
    EXPECT_EQ(outcome.failure, UpdateFailure::Connection);
    kvara::FetchText("http://127.0.0.1:" + std::to_string(server.port) + "/hello.txt", nullptr,
                     &outcome);
    EXPECT_EQ(outcome.failure, UpdateFailure::Address);
    kvara::SetUpdateServer(server.Base());  // the system's authorities do not know this server
    kvara::FetchText(server.Base() + "/hello.txt", nullptr, &outcome);
    EXPECT_EQ(outcome.failure, UpdateFailure::Certificate);
    kvara::SetUpdateServer(server.Base(), server.cert);

    // A check keeps the cause of its version file; an installer download reports its own.
    kvara::CVersionCheck device("RFIDDeviceVersions.txt", "");
    RunCheck(device);
    EXPECT_EQ(device.FetchOutcome().failure, UpdateFailure::HttpStatus);
    Offer("/not-there.sh");
    EXPECT_EQ(Download(&outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::HttpStatus);
    EXPECT_EQ(outcome.status, 404);
    server.Put("/rfid/software/RFIDVersionsUHF.txt", "[Kvara_Programmer]\nVersion=99.0\n");
    kvara::CVersionCheck software("RFIDVersionsUHF.txt", "Kvara_Programmer");
    RunCheck(software);
    EXPECT_EQ(software.DownloadInstaller({}, {}, &outcome), "");
    EXPECT_EQ(outcome.failure, UpdateFailure::Address);  // no installer listed
}

TEST_F(UpdateServerTest, DownloadFoldersGoWhenFailedAndAtTheNextStart) {
    UpdateOutcome outcome;
    Offer("/not-there.sh");
    EXPECT_EQ(Download(&outcome), "");
    EXPECT_TRUE(Folders().empty());

    server.Put("/kvara-setup.sh", "#!/bin/sh\nexit 0\n");
    Offer("/kvara-setup.sh");
    const std::string ours = Download(&outcome);
    ASSERT_NE(ours, "");
    // Folders of earlier runs, and things that only look like them.
    const std::string earlier = tmp + "/kvara-update.Earlier";
    mkdir(earlier.c_str(), 0700);
    std::ofstream(earlier + "/kvara-setup.sh") << "old";
    mkdir((tmp + "/kvara-update.Empty").c_str(), 0700);
    const std::string elsewhere = server.dir + "/elsewhere";
    mkdir(elsewhere.c_str(), 0700);
    std::ofstream(elsewhere + "/keep") << "keep";
    ASSERT_EQ(symlink(elsewhere.c_str(), (tmp + "/kvara-update.Link").c_str()), 0);
    std::ofstream(tmp + "/kvara-update.File") << "a file";

    EXPECT_EQ(kvara::RemoveLeftoverDownloads(), 2);
    EXPECT_FALSE(Exists(earlier));
    EXPECT_FALSE(Exists(tmp + "/kvara-update.Empty"));
    EXPECT_TRUE(Exists(ours));  // this run's: it may be starting now
    EXPECT_TRUE(Exists(elsewhere + "/keep"));
    EXPECT_TRUE(Exists(tmp + "/kvara-update.File"));
}

TEST_F(UpdateServerTest, EndingOneCheckLeavesTheOthersWorking) {
    server.Put("/hello.txt", "Hallo");
    server.Put("/rfid/software/RFIDVersionsUHF.txt",
               "[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\n");
    {
        kvara::CVersionCheck first("RFIDVersionsUHF.txt", "Kvara_Programmer");
        RunCheck(first);
    }
    {
        // Ending a check whose download hangs stops that download at once.
        auto hanging = std::make_unique<kvara::CVersionCheck>("../../length/1000?send=10&hold=10",
                                                              "Kvara_Programmer");
        hanging->StartCheck(nullptr, 0);
        const auto start = Clock::now();
        hanging.reset();
        EXPECT_LT(SecondsSince(start), 3.0);
    }
    EXPECT_EQ(kvara::FetchText(server.Base() + "/hello.txt"), "Hallo");
    kvara::CVersionCheck second("RFIDVersionsUHF.txt", "Kvara_Programmer");
    RunCheck(second);
    EXPECT_EQ(second.GetRemoteVersion(), "99.0");
}
