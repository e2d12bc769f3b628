// SPDX-License-Identifier: MIT
#include "ui/device_monitor.h"

#include <QSocketNotifier>

#include "reader/kvara.h"

namespace kvara {

DeviceMonitor::DeviceMonitor(QObject* parent) : QObject(parent) {}

DeviceMonitor::~DeviceMonitor() {
    delete m_notifier;
    if (m_monitor >= 0) {
        KvaraCloseDeviceMonitor(m_monitor);
    }
}

bool DeviceMonitor::Start() {
    m_monitor = KvaraOpenDeviceMonitor();
    if (m_monitor < 0) {
        return false;
    }
    m_notifier = new QSocketNotifier(m_monitor, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceMonitor::OnReadable);
    return true;
}

void DeviceMonitor::OnReadable() {
    switch (KvaraReadDeviceChange(m_monitor)) {
        case KVARA_DEVICE_ADDED:
            emit DeviceChanged(kDeviceArrival);
            break;
        case KVARA_DEVICE_CHANGED:
            emit DeviceChanged(kDeviceNodesChanged);
            break;
        default:
            break;
    }
}

}  // namespace kvara
