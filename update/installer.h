// SPDX-License-Identifier: MIT
// A downloaded installer between the transfer and its start: the proof that it is the maker's
// file, the private folder it lands in, and the way it is started.
#pragma once

#include <functional>
#include <string>

#include "update/transfer.h"

namespace kvara {

// What the version entry says about the installer file.
struct InstallerProof {
    std::string sha256;     // "SHA256": hex of the file's SHA-256, or empty
    std::string signature;  // "Signature": base64 of the file's Ed25519 signature, or empty
};

// Checks a file against its proof. With a public key (base64 of 32 bytes) a signature that
// verifies with it is required; a listed SHA256 value must match in any case. Returns None,
// NoSignature, BadSignature, BadChecksum or LocalFile (the file cannot be read).
UpdateFailure VerifyInstaller(const std::string& path, const InstallerProof& proof,
                              const std::string& publicKey);

// A new private folder for one download, kvara-update.XXXXXX (mode 0700) under $TMPDIR or /tmp.
// It stays locked until the program ends, so the clean-up of another instance leaves it
// alone. Empty on failure, with errno set.
std::string MakeDownloadFolder();
// Removes a download folder with what is in it.
void RemoveDownloadFolder(const std::string& folder);
// Removes the user's download folders that no running instance holds, left by earlier runs.
// Returns how many were removed.
int RemoveLeftoverDownloads();

enum class InstallerKind {
    Package,  // a Debian package (name .deb, an ar archive): the system's package installer
    Program,  // an ELF executable, AppImages included: run directly
    Script,   // starts with "#!": run directly, else by sh
    Other,    // not started
};
InstallerKind ClassifyInstaller(const std::string& path);

enum class LaunchResult {
    Started,
    Missing,       // no file at the path
    NotStartable,  // neither package, program nor script: left where it is
    Failed,        // every start method for its kind failed
};

struct LaunchOptions {
    // Asked when the desktop's opener does not take a package: install it with
    // "pkexec apt-get install" instead? No question: no such attempt.
    std::function<bool()> confirmPackageInstall;
};

// Starts a downloaded installer the way its kind needs. For Missing and Failed, error holds
// the message to show; the file is never removed here.
LaunchResult StartInstaller(const std::string& path, const LaunchOptions& options,
                            std::string* error);
// The same without the package question; true when started.
bool LaunchInstaller(const std::string& path, std::string* error);

}  // namespace kvara
