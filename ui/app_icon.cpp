// SPDX-License-Identifier: MIT
#include "ui/app_icon.h"

namespace kvara {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/kvara/icons/kvara-programmer-%1.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace kvara
