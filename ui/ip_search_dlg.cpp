// SPDX-License-Identifier: MIT
#include "ui/ip_search_dlg.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "reader/kvara.h"
#include "ui/busy.h"
#include "ui/lan_config_dlg.h"
#include "ui/message_box.h"

namespace kvara {

namespace {

constexpr int kSearchBytes = 2000;

QStringList Entries(int (*search)(char*, int)) {
    QByteArray buffer(kSearchBytes, '\0');
    const int n = search(buffer.data(), kSearchBytes);
    QStringList entries;
    if (n <= 1) {
        return entries;
    }
    int pos = 0;
    while (pos < n && buffer[pos] != '\0') {
        const QByteArray entry(buffer.constData() + pos);
        entries << QString::fromLocal8Bit(entry);
        pos += entry.size() + 1;
    }
    return entries;
}

void Style(QListWidgetItem* item, int value) {
    item->setData(Qt::UserRole, value);
    QFont font = item->font();
    font.setItalic(value == kOtherDevice);
    item->setFont(font);
    if (value == kOtherDevice) {
        item->setForeground(QColor(255, 0, 0));
    } else {
        item->setData(Qt::ForegroundRole, QVariant());
    }
}

}  // namespace

QString SearchKey(const QString& entry) {
    if (!entry.startsWith(QLatin1Char('['))) {
        return entry;
    }
    const int close = entry.indexOf(QLatin1Char(']'));
    return close < 0 ? QString() : entry.left(close + 1);
}

CIPAddrSuche::CIPAddrSuche(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("readerSearchDialog"));
    setWindowTitle(tr("Liste aller gefundenen IP-Adressen"));
    auto* layout = new QVBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("readerList"));
    layout->addWidget(m_list);
    m_change = new QPushButton(tr("IP-Adresse ändern"), this);
    m_change->setObjectName(QStringLiteral("changeButton"));
    m_change->setAutoDefault(false);
    auto* close = new QPushButton(tr("Schließen"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setDefault(true);
    layout->addWidget(m_change);
    layout->addWidget(close);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
            [this] { m_change->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_change, &QPushButton::clicked, this, &CIPAddrSuche::OnChange);
    connect(close, &QPushButton::clicked, this, &CIPAddrSuche::reject);
    m_change->setEnabled(false);
    // Wide enough for the title, which window managers set in bold beside their buttons.
    QFont bold = font();
    bold.setBold(true);
    setMinimumWidth(QFontMetrics(bold).horizontalAdvance(windowTitle()) + 120);
}

int CIPAddrSuche::exec() {
    if (!Refresh()) {
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

bool HasNetworkAdapter() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return true;  // unknown: the firewall hint stays possible
    }
    bool found = false;
    for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next) {
        found = entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
                (entry->ifa_flags & IFF_UP) != 0 && (entry->ifa_flags & IFF_LOOPBACK) == 0;
    }
    freeifaddrs(list);
    return found;
}

bool CIPAddrSuche::Refresh() {
    for (;;) {
        m_list->clear();
        {
            UiBusyScope busy;
            for (const QString& entry : Entries(&KvaraFindLanReadersEx)) {
                auto* item = new QListWidgetItem(entry, m_list);
                Style(item, kMakersReader);
            }
            for (const QString& entry : Entries(&KvaraFindLanReaders)) {
                const QString key = SearchKey(entry);
                QListWidgetItem* known = nullptr;
                for (int row = 0; row < m_list->count() && known == nullptr; ++row) {
                    if (m_list->item(row)->text().compare(key, Qt::CaseInsensitive) == 0) {
                        known = m_list->item(row);
                    }
                }
                if (known != nullptr) {
                    known->setText(entry);  // same place, still the maker's reader
                    Style(known, kMakersReader);
                } else {
                    Style(new QListWidgetItem(entry, m_list), kOtherDevice);
                }
            }
        }
        if (m_list->count() > 0) {
            m_change->setEnabled(!m_list->selectedItems().isEmpty());
            return true;
        }
        // Without a network there is nothing a firewall could have held back.
        const QString why =
            HasNetworkAdapter()
                ? tr("Keine Geräte gefunden!\nBitte prüfen Sie die Firewall-Einstellungen!\n"
                     "Evtl. muss das Programm manuell in der Firewall freigegeben werden.")
                : tr("Keine Geräte gefunden: Dieser Rechner hat keine aktive Netzwerkverbindung "
                     "(keinen eingeschalteten Netzwerkadapter mit IPv4-Adresse).\n"
                     "Bitte verbinden Sie den Rechner mit dem Netz der Leser.");
        if (!AskRetry(this, why, tr("Liste aller gefundenen IP-Adressen"))) {
            done(QDialog::Rejected);
            return false;
        }
    }
}

void CIPAddrSuche::OnChange() {
    const auto selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    CLanConfig config(selected.first()->text(), this);
    if (config.exec() == QDialog::Accepted) {
        PauseMs(300);
        Refresh();
    }
}

void CIPAddrSuche::reject() {
    const auto selected = m_list->selectedItems();
    if (!selected.isEmpty() && selected.first()->data(Qt::UserRole).toInt() == kMakersReader) {
        m_result = selected.first()->text();
    }
    QDialog::reject();
}

}  // namespace kvara
