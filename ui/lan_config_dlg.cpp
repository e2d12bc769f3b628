// SPDX-License-Identifier: MIT
#include "ui/lan_config_dlg.h"

#include <QButtonGroup>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "protocol/datagram.h"
#include "reader/kvara.h"
#include "ui/busy.h"
#include "ui/message_box.h"
#include "ui_lan_config_dlg.h"

namespace kvara {

namespace {

int g_reachWaitMs = 25000;

QString Dotted(const net::Ipv4& address) {
    return QString::fromStdString(net::FormatIpv4(address));
}

// The text of an address field as the address control gives it: blank reads as 0.0.0.0.
QString AddressText(const QLineEdit* field) {
    const QString text = field->text().trimmed();
    return text.isEmpty() ? QStringLiteral("0.0.0.0") : text;
}

}  // namespace

QRegularExpression Ipv4WhileTyping() {
    const QString octet = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
    return QRegularExpression(QStringLiteral("(%1)?(\\.(%1)?){0,3}").arg(octet));
}

bool IsCompleteIpv4(const QString& text) {
    const QStringList octets = text.split(QLatin1Char('.'));
    if (octets.size() != 4) {
        return false;
    }
    for (const QString& octet : octets) {
        bool ok = false;
        const int value = octet.toInt(&ok);
        if (octet.isEmpty() || octet.size() > 3 || !ok || value < 0 || value > 255) {
            return false;
        }
    }
    return true;
}

QString MaskFromHostBits(int hostBits) {
    return Dotted(net::MaskOfHostBits(hostBits));
}

void CLanConfig::SetReachWaitForTesting(int ms) {
    g_reachWaitMs = ms;
}

CLanConfig::CLanConfig(const QString& readerAddress, QWidget* parent)
    : QDialog(parent), m_readerAddress(readerAddress), m_ui(std::make_unique<Ui::CLanConfig>()) {
    m_ui->setupUi(this);
    m_automatic = m_ui->automaticRadio;
    m_fixed = m_ui->fixedRadio;
    m_name = m_ui->dhcpName;
    m_address = m_ui->addressField;
    m_port = m_ui->portField;
    m_mask = m_ui->maskField;
    m_gateway = m_ui->gatewayField;
    m_ok = m_ui->okButton;
    m_cancel = m_ui->cancelButton;
    m_progress = m_ui->progress;
    m_progress->hide();
    // Neither mode is chosen until the reader's settings are known; SetMode() keeps them apart.
    auto* group = new QButtonGroup(this);
    group->addButton(m_automatic, 0);
    group->addButton(m_fixed, 1);
    group->setExclusive(false);
    m_port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_port));
    // Each octet is checked as it is typed: "999" never gets into the field.
    for (QLineEdit* ip : {m_address, m_mask, m_gateway}) {
        ip->setValidator(new QRegularExpressionValidator(Ipv4WhileTyping(), ip));
    }
    connect(m_ok, &QPushButton::clicked, this, &CLanConfig::Apply);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(group, &QButtonGroup::idClicked, this, [this](int id) { SetMode(id); });
    Load();
}

CLanConfig::~CLanConfig() = default;

int CLanConfig::Mode() const {
    if (m_automatic->isChecked()) {
        return 0;
    }
    return m_fixed->isChecked() ? 1 : -1;
}

void CLanConfig::SetMode(int mode) {
    m_automatic->setChecked(mode == 0);
    m_fixed->setChecked(mode == 1);
    UpdateEnabling();
}

void CLanConfig::UpdateEnabling() {
    const int mode = Mode();
    if (mode < 0) {
        return;  // neither chosen: everything stays as it is
    }
    m_name->setEnabled(mode == 0);
    for (QLineEdit* fixedField : {m_address, m_mask, m_gateway, m_port}) {
        fixedField->setEnabled(mode == 1);
    }
}

void CLanConfig::Load() {
    const QByteArray address = m_readerAddress.toLocal8Bit();
    const int link = KvaraOpenConfigLink(address.constData());
    unsigned char bytes[net::kRecordBytes] = {};
    net::Record0 record;
    if (link > 0 &&
        KvaraReadNetConfig(link, 0, bytes, net::kRecordBytes) ==
            static_cast<int>(net::kRecordBytes) &&
        net::ReadRecord0(bytes, net::kRecordBytes, &record)) {
        const bool fixed = net::IsFixedAddress(record.address);
        m_address->setText(Dotted(record.address));
        m_mask->setText(fixed ? MaskFromHostBits(record.hostBits)
                              : QStringLiteral("255.255.255.0"));
        m_gateway->setText(Dotted(record.gateway));
        m_port->setText(QString::number(record.tcpPort));
        m_name->setText(
            QString::fromLatin1(record.name.data(), static_cast<qsizetype>(record.name.size())));
        SetMode(fixed ? 1 : 0);
    }
    if (link > 0) {
        KvaraCloseConfigLink(link, 0);
    }
}

void CLanConfig::ShowApplying(bool applying) {
    setEnabled(!applying);
    m_ok->setVisible(!applying);
    m_cancel->setVisible(!applying);
    m_progress->setVisible(applying);
}

void CLanConfig::Apply() {
    bool ok = false;
    const int port = m_port->text().isEmpty() ? 0 : m_port->text().toInt(&ok);
    if (!m_port->text().isEmpty() && (!ok || port < 0 || port > 65535)) {
        ShowMessage(this,
                    tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.").arg(0).arg(65535));
        m_port->setFocus();
        return;
    }
    // An address the reader could not take is refused here, before the reader is asked.
    QList<QLineEdit*> addresses = {m_gateway};
    if (Mode() != 0) {
        addresses = {m_address, m_mask, m_gateway};
    }
    for (QLineEdit* field : addresses) {
        if (!IsCompleteIpv4(AddressText(field))) {
            ShowMessage(this, tr("Keine gültige IP-Adresse: %1\nVier Zahlen von 0 bis 255, durch "
                                 "Punkte getrennt.")
                                  .arg(field->text()));
            field->setFocus();
            return;
        }
    }
    QString newAddress;
    QString mask;
    if (Mode() != 0) {
        newAddress = AddressText(m_address) + QStringLiteral("-%1").arg(port);
        mask = AddressText(m_mask);
    } else {
        newAddress = QStringLiteral("[") + m_name->text() + QStringLiteral("]");
    }
    const QString gateway = AddressText(m_gateway);

    ShowApplying(true);
    m_progress->setRange(0, g_reachWaitMs);
    m_progress->setValue(0);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = KvaraSetNetworkConfig(
        m_readerAddress.toLocal8Bit().constData(), newAddress.toLocal8Bit().constData(),
        mask.toLocal8Bit().constData(), gateway.toLocal8Bit().constData());
    if (result != 0) {
        QGuiApplication::restoreOverrideCursor();
        ShowMessage(this, tr("IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!"));
        Load();
        ShowApplying(false);
        return;
    }
    m_readerAddress = newAddress;
    QElapsedTimer waited;
    waited.start();
    const QByteArray target = newAddress.toLocal8Bit();
    do {
        PauseMs(100);
        m_progress->setValue(static_cast<int>(std::min<qint64>(waited.elapsed(), g_reachWaitMs)));
    } while (KvaraPing(target.constData()) != 1 && waited.elapsed() < g_reachWaitMs);
    ShowApplying(false);
    QGuiApplication::restoreOverrideCursor();
    done(QDialog::Accepted);
}

}  // namespace kvara
