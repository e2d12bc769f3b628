// Device arrivals and removals from the kernel, through a libudev monitor (loaded at run time)
// watched by the window system's event loop.
#pragma once

#include <QObject>
#include <memory>

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
    // False when there is no libudev or no monitor: no notifications then.
    bool Start();

signals:
    // kDeviceArrival for an added device, kDeviceNodesChanged for a removed or rebound one.
    void DeviceChanged(int code);

private:
    void OnReadable();

    struct Binding;
    std::unique_ptr<Binding> m_binding;
    void* m_udev = nullptr;
    void* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kvara
