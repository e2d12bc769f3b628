// SPDX-License-Identifier: MIT
// kvara-programmer: programs UHF RFID tags through Kvara readers.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "ui/app.h"

int main(int argc, char** argv) {
    // Answered without a window (and without a display).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kvara-programmer %s\n",
                        kvara::CKvara_ProgrammerApp::VersionText().c_str());
            const std::string catalogue = kvara::CKvara_ProgrammerApp::CatalogueText();
            std::printf("English texts: %s\n", catalogue.empty() ? "not found" : catalogue.c_str());
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "usage: kvara-programmer [--help] [--version]\n"
                "Programs UHF RFID tags through Kvara readers: the window of the Kvara "
                "Programmer.\n"
                "The command line for scripts is kvara (see kvara --help).\n");
            return 0;
        }
    }
    QApplication application(argc, argv);
    kvara::CKvara_ProgrammerApp app;
    return app.Run();
}
