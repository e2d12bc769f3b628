// SPDX-License-Identifier: MIT
// Device arrivals and removals from the kernel, through the reader library's device monitor,
// watched by the window system's event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kvara {

// Device-change codes, as the interface dialog's refresh understands them.
constexpr int kDeviceArrival = 0x8000;
constexpr int kDeviceNodesChanged = 0x0007;
constexpr int kDeviceRemoveComplete = 0x8004;
constexpr int kRefreshRequest = 24;

class DeviceMonitor : public QObject {
    Q_OBJECT

public:
    explicit DeviceMonitor(QObject* parent = nullptr);
    ~DeviceMonitor() override;
    // False when the library has no monitor (no libudev): no notifications then.
    bool Start();

signals:
    // kDeviceArrival for an added device, kDeviceNodesChanged for a removed or rebound one.
    void DeviceChanged(int code);

private:
    void OnReadable();

    int m_monitor = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kvara
