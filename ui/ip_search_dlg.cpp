// SPDX-License-Identifier: MIT
#include "ui/ip_search_dlg.h"

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
    auto* close = new QPushButton(tr("Schliessen"), this);
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
        if (!AskRetry(this,
                      tr("Keine Geräte gefunden!\nBitte prüfen Sie die Firewall-Einstellungen!\n"
                         "Evtl. muss das Programm manuell in der Firewall freigegeben werden."),
                      tr("Liste aller gefundenen IP-Adressen"))) {
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
