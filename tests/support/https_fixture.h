// SPDX-License-Identifier: MIT
// An HTTPS server of the test's own on loopback, with a certificate made for it, standing for
// the maker's update server.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace kvara::test {

class HttpsServer {
public:
    HttpsServer() {
        char pattern[] = "/tmp/kvara-https.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            return;
        }
        dir = pattern;
        root = dir + "/www";
        cert = dir + "/cert.pem";
        const std::string key = dir + "/key.pem";
        const std::string make =
            "mkdir -p '" + root +
            "/rfid/software' && openssl req -x509 -newkey rsa:2048 -nodes -keyout '" + key +
            "' -out '" + cert +
            "' -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -days 2 "
            ">/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) {
            return;
        }
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl("/usr/bin/python3", "python3", KVARA_HTTPS_SERVER, root.c_str(), cert.c_str(),
                  key.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE* stream = fdopen(out[0], "r");
        int number = 0;
        if (stream != nullptr && std::fscanf(stream, "%d", &number) == 1) {
            port = number;
        }
        if (stream != nullptr) {
            std::fclose(stream);
        }
    }
    ~HttpsServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (!dir.empty()) {
            std::system(("rm -rf '" + dir + "'").c_str());
        }
    }
    bool Running() const { return port > 0; }
    std::string Base() const { return "https://127.0.0.1:" + std::to_string(port); }
    // Puts a file on the server.
    void Put(const std::string& path, const std::string& content) const {
        std::ofstream(root + path, std::ios::binary) << content;
    }

    std::string dir;
    std::string root;
    std::string cert;
    int port = 0;

private:
    pid_t m_pid = -1;
};

}  // namespace kvara::test
