// SPDX-License-Identifier: MIT
// "Liste aller gefundenen IP-Adressen": every device on the local networks that answers the
// reader search; the maker's readers can be picked, any device reconfigured.
#pragma once

#include <QDialog>
#include <QString>

class QListWidget;
class QPushButton;

namespace kvara {

// Whether this machine has a network adapter that is up, not loopback, with an IPv4 address.
bool HasNetworkAdapter();

// Item values: a reader of the maker, any other device.
constexpr int kMakersReader = 1;
constexpr int kOtherDevice = 2;

class CIPAddrSuche : public QDialog {
    Q_OBJECT

public:
    explicit CIPAddrSuche(QWidget* parent = nullptr);

    // Searches and fills the list; false when nothing was found and the user gave up.
    bool Refresh();
    // The chosen reader's entry text after the dialog ended, or empty.
    QString Result() const { return m_result; }
    QListWidget* List() const { return m_list; }

    int exec() override;

public slots:
    void reject() override;

private:
    void OnChange();

    QString m_result;
    QListWidget* m_list = nullptr;
    QPushButton* m_change = nullptr;
};

// The key an unfiltered search entry is matched by: up to its first "]" for a named entry
// (empty without one), the whole entry otherwise.
QString SearchKey(const QString& entry);

}  // namespace kvara
