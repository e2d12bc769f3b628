// SPDX-License-Identifier: MIT
#include "ui/lan_config_dlg.h"

#include <QButtonGroup>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>

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
    // Up to three digits an octet: a digit too many is refused as typed, a value above 255 is
    // shown as wrong and refused by OK, never cut to another address without a word.
    return QRegularExpression(QStringLiteral("[0-9]{0,3}(\\.[0-9]{0,3}){0,3}"));
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
    // The shape of an address is kept as it is typed; an octet above 255 turns the field red.
    for (QLineEdit* ip : {m_address, m_mask, m_gateway}) {
        ip->setValidator(new QRegularExpressionValidator(Ipv4WhileTyping(), ip));
        connect(ip, &QLineEdit::textChanged, this, [ip] {
            const bool wrong = HasOctetAbove255(ip->text());
            ip->setStyleSheet(wrong ? QStringLiteral("color: #c00000") : QString());
            ip->setToolTip(wrong ? tr("Jede der vier Zahlen liegt zwischen 0 und 255") : QString());
        });
    }
    connect(m_ok, &QPushButton::clicked, this, &CLanConfig::Apply);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_progress->isVisible()) {
            m_waitCancelled = true;  // the wait for the new address ends; the change stands
            return;
        }
        reject();
    });
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

namespace {

// The settings record of the reader at address; false when it does not answer there.
bool ReadSettingsAt(const QString& address, net::Record0* record) {
    const QByteArray text = address.toLocal8Bit();
    const int link = KvaraOpenConfigLink(text.constData());
    unsigned char bytes[net::kRecordBytes] = {};
    const bool read = link > 0 &&
                      KvaraReadNetConfig(link, 0, bytes, net::kRecordBytes) ==
                          static_cast<int>(net::kRecordBytes) &&
                      net::ReadRecord0(bytes, net::kRecordBytes, record);
    if (link > 0) {
        KvaraCloseConfigLink(link, 0);
    }
    return read;
}

}  // namespace

bool HasOctetAbove255(const QString& text) {
    for (const QString& octet : text.split(QLatin1Char('.'))) {
        bool ok = false;
        if (octet.toInt(&ok) > 255 && ok) {
            return true;
        }
    }
    return false;
}

namespace {

// What a reader holds, as a message says it.
QString DescribeSettings(const QString& address, const net::Record0& record) {
    const QString ip =
        net::IsFixedAddress(record.address)
            ? Dotted(record.address)
            : CLanConfig::tr("automatisch (DHCP-Name „%1“)")
                  .arg(QString::fromLatin1(record.name.data(),
                                           static_cast<qsizetype>(record.name.size())));
    const QString mask = net::IsFixedAddress(record.address) ? MaskFromHostBits(record.hostBits)
                                                             : QStringLiteral("–");
    return CLanConfig::tr(
               "Der Leser antwortet unter %1 und hat jetzt:\nIP-Adresse: %2\n"
               "Subnetzmaske: %3\nGateway: %4\nPort: %5")
        .arg(address, ip, mask, Dotted(record.gateway))
        .arg(record.tcpPort);
}

}  // namespace

void CLanConfig::Load() {
    net::Record0 record;
    if (ReadSettingsAt(m_readerAddress, &record)) {
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
}

void CLanConfig::ShowApplying(bool applying) {
    for (QWidget* field : {static_cast<QWidget*>(m_automatic), static_cast<QWidget*>(m_fixed),
                           static_cast<QWidget*>(m_name), static_cast<QWidget*>(m_address),
                           static_cast<QWidget*>(m_port), static_cast<QWidget*>(m_mask),
                           static_cast<QWidget*>(m_gateway)}) {
        field->setEnabled(!applying);
    }
    m_ok->setVisible(!applying);
    m_cancel->setVisible(!applying);
    m_progress->setVisible(applying);
    if (!applying) {
        UpdateEnabling();
    }
}

bool CLanConfig::FieldsUsable(int* port) {
    bool ok = false;
    *port = m_port->text().isEmpty() ? 0 : m_port->text().toInt(&ok);
    if (!m_port->text().isEmpty() && (!ok || *port < 0 || *port > 65535)) {
        ShowMessage(this,
                    tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.").arg(0).arg(65535));
        m_port->setFocus();
        return false;
    }
    // An address the reader could not take is refused here, before the reader is asked.
    QList<QLineEdit*> addresses = {m_gateway};
    if (Mode() != 0) {
        addresses = {m_address, m_mask, m_gateway};
    }
    for (QLineEdit* field : addresses) {
        if (!IsCompleteIpv4(AddressText(field))) {
            const QString name = field == m_address ? tr("IP-Adresse")
                                 : field == m_mask  ? tr("Subnetzmaske")
                                                    : tr("Gateway");
            ShowMessage(this, tr("„%1“: Keine gültige IP-Adresse: %2\nVier Zahlen von 0 bis 255, "
                                 "durch Punkte getrennt.")
                                  .arg(name, field->text()));
            field->setFocus();
            return false;
        }
    }
    return true;
}

void CLanConfig::Apply() {
    int port = 0;
    if (!FieldsUsable(&port)) {
        return;
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
        ReportWhatTheReaderHolds(newAddress);
        return;
    }
    m_readerAddress = newAddress;
    // The reader may take a while to answer at its new address: the wait can be cut short.
    m_waitCancelled = false;
    m_cancel->setVisible(true);
    m_cancel->setEnabled(true);
    QElapsedTimer waited;
    waited.start();
    const QByteArray target = newAddress.toLocal8Bit();
    do {
        WaitAllowingCancel(100);
        m_progress->setValue(static_cast<int>(std::min<qint64>(waited.elapsed(), g_reachWaitMs)));
    } while (!m_waitCancelled && KvaraPing(target.constData()) != 1 &&
             waited.elapsed() < g_reachWaitMs);
    ShowApplying(false);
    QGuiApplication::restoreOverrideCursor();
    done(QDialog::Accepted);
}

void CLanConfig::ReportWhatTheReaderHolds(const QString& newAddress) {
    // The change did not go through as a whole. Where the reader answers now, and what it holds
    // there, is what the user needs: it may well have taken the new address.
    net::Record0 record;
    QString answersAt;
    if (ReadSettingsAt(m_readerAddress, &record)) {
        answersAt = m_readerAddress;
    } else if (newAddress != m_readerAddress && ReadSettingsAt(newAddress, &record)) {
        answersAt = newAddress;
    }
    QGuiApplication::restoreOverrideCursor();
    if (answersAt.isEmpty()) {
        ShowMessage(this,
                    tr("Die Einstellungen konnten nicht bestätigt werden: Der Leser antwortet "
                       "weder unter %1 noch unter %2. Womöglich hat er die neue Adresse "
                       "übernommen, die von diesem Rechner aus nicht erreichbar ist. „IP ?“ im "
                       "Dialog „Schnittstelle“ sucht ihn im Netz.")
                        .arg(m_readerAddress, newAddress));
    } else {
        ShowMessage(this, tr("Nicht alle Einstellungen wurden übernommen.") +
                              QStringLiteral("\n\n") + DescribeSettings(answersAt, record));
    }
    ShowApplying(false);
    if (!answersAt.isEmpty() && answersAt != m_readerAddress) {
        // The reader is at its new address now: the window reconnects there.
        m_readerAddress = answersAt;
        done(QDialog::Accepted);
        return;
    }
    Load();
}

void CLanConfig::WaitAllowingCancel(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace kvara
