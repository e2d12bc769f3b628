// SPDX-License-Identifier: MIT
// A PostgreSQL cluster of the test's own: initdb into a temporary folder as the user postgres
// (the server refuses to run as root), the server listening only on a Unix socket in that
// folder, stopped and removed again at the end. Never the machine's own cluster, never a port.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace kvara::test {

class PgCluster {
public:
    // Starts the cluster; Uri() is empty and Why() says why when it cannot be had.
    PgCluster() {
        if (geteuid() != 0) {
            m_why = "a cluster of the test's own needs root (to run the server as postgres)";
            return;
        }
        m_bin = FindBin();
        if (m_bin.empty()) {
            m_why = "PostgreSQL's server is not installed (Debian package postgresql)";
            return;
        }
        char folder[] = "/tmp/kvara-pg-XXXXXX";
        if (mkdtemp(folder) == nullptr) {
            m_why = "no temporary folder";
            return;
        }
        m_dir = folder;
        const std::string data = m_dir + "/data";
        if (!Run("chown postgres " + m_dir) ||
            !AsPostgres(m_bin + "/initdb -D " + data + " -A trust -U postgres --no-sync")) {
            m_why = "initdb failed";
            return;
        }
        if (!AsPostgres(m_bin + "/pg_ctl -D " + data + " -w -l " + m_dir + "/server.log -o \"-k " +
                        m_dir +
                        " -c listen_addresses='' -c max_connections=40 -c fsync=on\" start")) {
            m_why = "the server did not start (see " + m_dir + "/server.log)";
            return;
        }
        m_started = true;
        m_uri = "postgresql:///postgres?host=" + m_dir + "&user=postgres";
    }

    ~PgCluster() {
        if (m_started) {
            AsPostgres(m_bin + "/pg_ctl -D " + m_dir + "/data -m immediate -w stop");
        }
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    const std::string& Uri() const { return m_uri; }
    const std::string& Why() const { return m_why; }
    // A database of its own for one test.
    std::string NewDatabase(const std::string& name) {
        AsPostgres(m_bin + "/createdb -h " + m_dir + " " + name);
        return "postgresql:///" + name + "?host=" + m_dir + "&user=postgres";
    }

private:
    static std::string FindBin() {
        for (const char* version : {"17", "16", "15", "14", "13"}) {
            const std::string bin = std::string("/usr/lib/postgresql/") + version + "/bin";
            if (access((bin + "/initdb").c_str(), X_OK) == 0) {
                return bin;
            }
        }
        return {};
    }
    static bool Run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }
    static bool AsPostgres(const std::string& command) {
        return Run("cd /tmp && runuser -u postgres -- " + command);
    }

    std::string m_bin;
    std::string m_dir;
    std::string m_uri;
    std::string m_why;
    bool m_started = false;
};

}  // namespace kvara::test
