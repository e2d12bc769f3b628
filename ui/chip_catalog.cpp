// SPDX-License-Identifier: MIT
#include "ui/chip_catalog.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#ifndef KVARA_DATA_DIR
#define KVARA_DATA_DIR "/usr/share/kvara-programmer"
#endif

namespace kvara {

const TidCatalog& ChipCatalog() {
    static const TidCatalog catalog = [] {
        const QString folder = QCoreApplication::applicationDirPath();
        const QStringList places = {
            folder + QStringLiteral("/tid-chips.txt"),
            folder + QStringLiteral("/../share/kvara-programmer/tid-chips.txt"),
            QStringLiteral(KVARA_DATA_DIR "/tid-chips.txt")};
        for (const QString& path : places) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                return ParseTidCatalog(file.readAll().toStdString());
            }
        }
        return TidCatalog{};
    }();
    return catalog;
}

}  // namespace kvara
