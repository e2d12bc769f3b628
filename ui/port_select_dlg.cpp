// SPDX-License-Identifier: MIT
#include "ui/port_select_dlg.h"

#include <QFileInfo>

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "common/string_table.h"
#include "common/text.h"
#include "reader/kvara.h"
#include "settings/settings.h"
#include "ui/busy.h"
#include "ui/device_monitor.h"
#include "ui/ip_search_dlg.h"
#include "ui/main_logic.h"
#include "ui/message_box.h"
#include "ui/port_logic.h"

namespace kvara {

namespace {

// The widest the interface list grows for long entries, in pixels.
constexpr int kWidestList = 560;

constexpr int kListBytes = 255;
constexpr int kRefreshTicks = 15;  // after this many ticks the timer stops: 17 refreshes
constexpr int kModeSwitchWaitMs = 1000;
constexpr int kDriverPageWaitMs = 2000;
const char* const kBaudRates[] = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};

int g_refreshPeriodMs = 1000;
// Process-wide: a refresh that is running turns further device changes away (its message
// boxes let them arrive).
bool g_refreshRunning = false;

const QString kUsbPrefix = QStringLiteral("USB: ");
const QString kLanPrefix = QStringLiteral("LAN: ");

}  // namespace

void CPortSelectDlg::SetRefreshPeriodForTesting(int ms) {
    g_refreshPeriodMs = ms;
}

CPortSelectDlg::CPortSelectDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("portSelectDialog"));
    setWindowTitle(tr("Schnittstelle"));
    m_lineValue = ReadInt(keys::kBaudrate);
    m_name = ReadText(keys::kPortName);
    m_timeoutMs = ReadInt(keys::kTimeout);
    m_ethernet = ReadInt(keys::kEthernet);
    m_address = ReadInt(keys::kAddress);
    if (m_name.isEmpty()) {
        m_name = QStringLiteral("COM1");
        WriteText(keys::kPortName, m_name);
    }
    if (m_name.startsWith(kUsbPrefix)) {
        SyncUsbList();
        if (m_usbList.empty()) {
            m_name.clear();
            WriteText(keys::kPortName, m_name);
        } else if (std::find(m_usbList.begin(), m_usbList.end(),
                             m_name.mid(kUsbPrefix.size()).toStdString()) == m_usbList.end()) {
            m_name = kUsbPrefix + QString::fromStdString(m_usbList.front());
            WriteText(keys::kPortName, m_name);
        }
        m_lanChosen = false;
    } else if (m_name.startsWith(kLanPrefix) && m_ethernet != 0) {
        const QByteArray reader = m_name.mid(kLanPrefix.size()).toLocal8Bit();
        if (KvaraPing(reader.constData()) == 1) {
            m_lanChosen = true;  // the reader answers where it was
        } else if (SyncLanList(), m_lanList.empty()) {
            m_name.clear();
            WriteText(keys::kPortName, m_name);
            m_lanChosen = false;
        } else {
            if (std::find(m_lanList.begin(), m_lanList.end(),
                          m_name.mid(kLanPrefix.size()).toStdString()) == m_lanList.end()) {
                m_name = kLanPrefix + QString::fromStdString(m_lanList.front());
                WriteText(keys::kPortName, m_name);
            }
            m_lanChosen = true;
        }
    } else {
        m_lanChosen = false;
    }
    BuildLayout();
}

CPortSelectDlg::~CPortSelectDlg() = default;

void CPortSelectDlg::BuildLayout() {
    auto* root = new QVBoxLayout(this);
    root->addWidget(BuildInterfaceGroup());
    root->addLayout(BuildLineGrid());

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    root->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &CPortSelectDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPortSelectDlg::reject);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CPortSelectDlg::OnSelectionChanged);
    connect(m_hidButton, &QPushButton::clicked, this, &CPortSelectDlg::OnHidMode);
    connect(m_vcomButton, &QPushButton::clicked, this, &CPortSelectDlg::OnVirtualCom);
    connect(m_ethernetCheck, &QCheckBox::clicked, this, &CPortSelectDlg::OnEthernetClicked);
    connect(m_ipButton, &QPushButton::clicked, this, &CPortSelectDlg::OnIpSearch);

    m_monitor = new DeviceMonitor(this);
    connect(m_monitor, &DeviceMonitor::DeviceChanged, this, &CPortSelectDlg::OnDeviceChange);
    m_monitor->Start();
}

QGroupBox* CPortSelectDlg::BuildInterfaceGroup() {
    auto* group = new QGroupBox(tr("Schnittstelle auswählen"), this);
    auto* groupLayout = new QVBoxLayout(group);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("interfaceList"));
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    groupLayout->addWidget(m_list);
    auto* ethernetRow = new QHBoxLayout;
    m_ethernetCheck = new QCheckBox(tr("Ethernet aktivieren"), this);
    m_ethernetCheck->setObjectName(QStringLiteral("ethernetCheck"));
    m_ipButton = new QPushButton(tr("IP ?"), this);
    m_ipButton->setObjectName(QStringLiteral("ipButton"));
    m_ipButton->setAutoDefault(false);
    ethernetRow->addWidget(m_ethernetCheck);
    ethernetRow->addWidget(m_ipButton);
    groupLayout->addLayout(ethernetRow);
    auto* modeRow = new QHBoxLayout;
    m_hidButton = new QPushButton(tr("HID-Modus"), this);
    m_hidButton->setObjectName(QStringLiteral("hidModeButton"));
    m_vcomButton = new QPushButton(tr("VCOM-Modus"), this);
    m_vcomButton->setObjectName(QStringLiteral("virtualComButton"));
    for (QPushButton* button : {m_hidButton, m_vcomButton}) {
        button->setCheckable(true);
        button->setAutoDefault(false);
        modeRow->addWidget(button);
    }
    groupLayout->addLayout(modeRow);
    m_hidHint = new QLabel(this);
    m_hidHint->setObjectName(QStringLiteral("hidSupportHint"));
    m_hidHint->setWordWrap(true);
    m_hidHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hidHint->setVisible(false);
    groupLayout->addWidget(m_hidHint);
    return group;
}

QGridLayout* CPortSelectDlg::BuildLineGrid() {
    auto* grid = new QGridLayout;
    m_baud = new QComboBox(this);
    m_baud->setObjectName(QStringLiteral("baudCombo"));
    for (const char* rate : kBaudRates) {
        m_baud->addItem(QLatin1String(rate));
    }
    m_parity = new QComboBox(this);
    m_parity->setObjectName(QStringLiteral("parityCombo"));
    m_parity->addItems({tr("keine"), tr("gerade"), tr("ungerade")});
    m_stopBits = new QComboBox(this);
    m_stopBits->setObjectName(QStringLiteral("stopBitsCombo"));
    m_stopBits->addItems({QStringLiteral("1"), QStringLiteral("2")});
    m_timeoutField = new QLineEdit(this);
    m_timeoutField->setObjectName(QStringLiteral("timeoutField"));
    m_addressField = new QLineEdit(this);
    m_addressField->setObjectName(QStringLiteral("addressField"));
    for (QLineEdit* field : {m_timeoutField, m_addressField}) {
        field->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    }
    grid->addWidget(new QLabel(tr("Baudrate"), this), 0, 0);
    grid->addWidget(m_baud, 0, 1);
    grid->addWidget(new QLabel(tr("Parität"), this), 1, 0);
    grid->addWidget(m_parity, 1, 1);
    grid->addWidget(new QLabel(tr("Stopbits:"), this), 2, 0);
    grid->addWidget(m_stopBits, 2, 1);
    grid->addWidget(new QLabel(tr("Timeout in [ms]"), this), 3, 0);
    grid->addWidget(m_timeoutField, 3, 1);
    grid->addWidget(new QLabel(tr("Geräteadresse [dez.]"), this), 4, 0);
    grid->addWidget(m_addressField, 4, 1);
    return grid;
}

int CPortSelectDlg::exec() {
    InitDialog();
    return QDialog::exec();
}

void CPortSelectDlg::InitDialog() {
    ShowValues();
    if (m_ethernet != 0) {
        if (m_lanList.empty()) {
            SyncLanList();
        }
    } else {
        m_lanList.clear();
    }
    if (m_usbList.empty()) {
        SyncUsbList();
    }
    if (m_comList.empty()) {
        SyncComList();
    }
    FillList();
    SelectName();
    SetLineControlsFor(m_name);
    UpdateModeButtons(m_name);
    m_ipButton->setVisible(m_ethernet != 0);
    PostRefresh();
}

void CPortSelectDlg::ShowValues() {
    const kvara::LineValue line = SplitLineValue(m_lineValue);
    const int code = line.parityIndex;
    m_baud->setCurrentIndex(m_baud->findText(QString::number(line.baudRate)));  // -1: none selected
    m_parity->setCurrentIndex(code == 1 ? 1 : code == 2 ? 2 : 0);
    m_stopBits->setCurrentIndex(code == 3 ? 1 : 0);
    m_timeoutField->setText(QString::number(m_timeoutMs));
    m_addressField->setText(QString::number(m_address));
    m_ethernetCheck->setChecked(m_ethernet != 0);
}

bool CPortSelectDlg::SyncComList() {
    char answer[kListBytes] = {};
    const int n = KvaraListComPorts(answer, kListBytes);
    return SyncList(m_comList, answer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool CPortSelectDlg::SyncUsbList() {
    char answer[kListBytes] = {};
    const int n = KvaraListUsbDevices(answer, kListBytes);
    return SyncList(m_usbList, answer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool CPortSelectDlg::SyncLanList() {
    char answer[kListBytes] = {};
    const int n = KvaraFindLanReadersEx(answer, kListBytes);
    return SyncList(m_lanList, answer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void CPortSelectDlg::FillList() {
    const QSignalBlocker block(m_list);
    m_list->clear();
    for (const auto& entry : m_comList) {
        m_list->addItem(QString::fromStdString(WithoutDevicePrefix(entry)));
    }
    for (const auto& entry : m_usbList) {
        m_list->addItem(kUsbPrefix + QString::fromStdString(entry));
    }
    for (const auto& entry : m_lanList) {
        m_list->addItem(kLanPrefix + QString::fromStdString(entry));
    }
    // Stable device names are long: widen the list so that the short name beside them shows.
    int widest = 0;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        item->setToolTip(item->text());
        widest = std::max(widest, m_list->fontMetrics().horizontalAdvance(item->text()));
    }
    m_list->setMinimumWidth(std::min(widest + 40, kWidestList));
}

void CPortSelectDlg::SelectName() {
    const QSignalBlocker block(m_list);
    m_list->clearSelection();
    for (int row = 0; row < m_list->count(); ++row) {
        if (BeginsWithIgnoringCase(m_list->item(row)->text().toStdString(), m_name.toStdString())) {
            m_list->setCurrentRow(row);
            // The selection changed without its signal: the line controls follow it here (a
            // network reader picked through "IP ?" has no baud rate).
            SetLineControlsFor(m_list->item(row)->text());
            return;
        }
    }
    // A serial port that is there but that the listing does not show (a pseudo terminal, a
    // name of the user's own) is the port in use all the same: it heads the list and stays
    // chosen, so that OK keeps it.
    if (m_name.startsWith(QLatin1Char('/')) && QFileInfo::exists(m_name)) {
        m_list->insertItem(0, m_name);
        m_list->item(0)->setToolTip(m_name);
        m_list->setCurrentRow(0);
        SetLineControlsFor(m_name);
        return;
    }
    m_name.clear();  // nothing matches
    m_list->setCurrentRow(-1);
}

void CPortSelectDlg::SetLineControlsFor(const QString& text) {
    const bool serial = !text.startsWith(kUsbPrefix) && !text.startsWith(kLanPrefix);
    for (QComboBox* combo : {m_baud, m_parity, m_stopBits}) {
        combo->setEnabled(serial);
    }
    m_lanChosen = text.startsWith(kLanPrefix);
}

void CPortSelectDlg::UpdateModeButtons(const QString& text) {
    const std::string entry = text.toStdString();
    const bool hid = IsSwitchableHidReader(entry);
    const bool vcom = !hid && IsVirtualComReader(entry);
    m_hidButton->setEnabled(hid || vcom);
    m_vcomButton->setEnabled(hid || vcom);
    m_hidButton->setChecked(hid);
    m_vcomButton->setChecked(vcom);
}

void CPortSelectDlg::OnSelectionChanged() {
    const auto selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        UpdateModeButtons(QString());
        return;
    }
    const QString text = selected.first()->text();
    SetLineControlsFor(text);
    UpdateModeButtons(text);
}

void CPortSelectDlg::PostRefresh() {
    QMetaObject::invokeMethod(
        this, [this] { OnDeviceChange(kRefreshRequest); }, Qt::QueuedConnection);
}

bool CPortSelectDlg::RefreshPass() {
    bool changed = false;
    if (m_ethernet != 0) {
        changed |= SyncLanList();
    } else if (!m_lanList.empty()) {
        m_lanList.clear();
        changed = true;
    }
    changed |= SyncUsbList();
    changed |= SyncComList();
    if (changed) {
        FillList();
    }
    UpdateHidHint();
    SelectName();
    ++m_refreshCount;
    return changed;
}

void CPortSelectDlg::OnDeviceChange(int code) {
    if (g_refreshRunning) {
        return;
    }
    if (code == kDeviceArrival || code == kDeviceNodesChanged) {
        if (m_timerId != 0) {
            killTimer(m_timerId);
        }
        m_timerId = startTimer(g_refreshPeriodMs);
        m_tickCount = 0;
    }
    g_refreshRunning = true;
    const bool refresh =
        code == kDeviceArrival || code == kDeviceNodesChanged || code == kRefreshRequest;
    if (refresh) {
        RefreshPass();
    }
    if (CheckDrivers() && refresh) {
        RefreshPass();  // never more than two passes
    }
    g_refreshRunning = false;
    UpdateModeButtons(m_name);
}

void CPortSelectDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timerId || m_timerId == 0) {
        QDialog::timerEvent(event);
        return;
    }
    if (m_tickCount++ > kRefreshTicks) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
    PostRefresh();
}

void CPortSelectDlg::OfferDriverDownload(bool virtualComMissing) {
    QString question;
    if (virtualComMissing) {
        question += QString::fromStdString(LoadString(114)) + QLatin1Char('\n');
    }
    question += QString::fromStdString(LoadString(116)) + QLatin1Char('\n');
    if (AskYesNo(this, question)) {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(LoadString(102))));
        PauseMs(kDriverPageWaitMs);
    }
}

// Offers the driver download for what is missing, once per kind of device and dialog: the
// refreshes after a plug-in would otherwise ask the same question again and again.
bool CPortSelectDlg::CheckDrivers() {
    const int missing = KvaraCheckUsbDrivers() & ~m_driversAsked;
    if (missing == 0) {
        return false;
    }
    m_driversAsked |= missing;
    OfferDriverDownload((missing & 2) != 0);
    return true;
}

QString CPortSelectDlg::HidSupportHint() const {
    return m_hidHint->isHidden() ? QString() : m_hidHint->text();
}

void CPortSelectDlg::UpdateHidHint() {
    const int unsupported = KvaraCountHidReadersWithoutSupport();
    if (unsupported > 0) {
        m_hidHint->setText(
            tr("USB-HID-Leser gefunden, aber die HID-Unterstützung fehlt. Bitte das Paket "
               "libhidapi-hidraw0 installieren (sudo apt install libhidapi-hidraw0) und das "
               "Programm neu starten."));
    }
    m_hidHint->setVisible(unsupported > 0);
}

void CPortSelectDlg::OnHidMode() {
    {
        UiBusyScope busy;
        const auto selected = m_list->selectedItems();
        if (!selected.isEmpty()) {
            m_name = selected.first()->text();
            if (IsVirtualComReader(m_name.toStdString())) {
                const QByteArray name = m_name.toLocal8Bit();
                const int handle = KvaraOpenPort(name.constData(), 19200, 0, 1000);
                if (handle > 0) {
                    KvaraSetUsbMode(handle, 1);
                    KvaraClosePort(handle);
                    m_name.clear();
                    PauseMs(kModeSwitchWaitMs);
                }
            }
        }
    }
    UpdateModeButtons(m_name);
}

void CPortSelectDlg::OnVirtualCom() {
    {
        UiBusyScope busy;
        const auto selected = m_list->selectedItems();
        if (!selected.isEmpty()) {
            m_name = selected.first()->text();
            if (IsSwitchableHidReader(m_name.toStdString())) {
                if (KvaraIsVirtualComDriverInstalled() == 1) {
                    const QByteArray name = m_name.mid(kUsbPrefix.size()).toLocal8Bit();
                    const int handle = KvaraOpenPort(name.constData(), 19200, 0, 1000);
                    if (handle > 0) {
                        KvaraSetUsbMode(handle, 2);
                        KvaraClosePort(handle);
                        m_name.clear();
                        PauseMs(kModeSwitchWaitMs);
                    }
                } else {
                    OfferDriverDownload(true);
                }
            }
        }
    }
    UpdateModeButtons(m_name);
}

void CPortSelectDlg::OnEthernetClicked() {
    m_ethernet = m_ethernetCheck->isChecked() ? 1 : 0;
    PostRefresh();
    m_ipButton->setVisible(m_ethernet != 0);
}

void CPortSelectDlg::OnIpSearch() {
    if (m_ethernet == 0) {
        return;
    }
    CIPAddrSuche search(this);
    search.exec();
    const QString text = search.Result();
    if (!text.isEmpty()) {
        // A reader with a name is kept by its name, wherever its address goes.
        const int close = text.indexOf(QLatin1Char(']'), 1);
        m_name = kLanPrefix + (close > 0 ? text.left(close + 1) : text);
    }
    PostRefresh();
}

void CPortSelectDlg::accept() {
    bool ok = false;
    const int timeout = m_timeoutField->text().trimmed().toInt(&ok);
    if (!ok || timeout < 10 || timeout > 300000) {
        ShowMessage(this,
                    tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.").arg(10).arg(300000));
        m_timeoutField->setFocus();
        return;
    }
    const int address = m_addressField->text().trimmed().toInt(&ok);
    if (!ok || address < 1 || address > 255) {
        ShowMessage(this, tr("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.").arg(1).arg(255));
        m_addressField->setFocus();
        return;
    }
    m_timeoutMs = timeout;
    m_address = address;
    m_ethernet = m_ethernetCheck->isChecked() ? 1 : 0;
    const auto selected = m_list->selectedItems();
    if (!selected.isEmpty()) {
        m_name = selected.first()->text();
        WriteText(keys::kPortName, m_name);
        m_lanChosen = m_name.startsWith(kLanPrefix);
    }
    if (m_baud->currentIndex() >= 0) {
        m_lineValue = LineValueOf(m_baud->currentText().toInt(), m_parity->currentIndex(),
                                  m_stopBits->currentIndex() + 1);
        WriteInt(keys::kBaudrate, m_lineValue);
    } else {
        m_lineValue = 19200;
    }
    WriteInt(keys::kTimeout, m_timeoutMs);
    WriteInt(keys::kAddress, m_address);
    WriteInt(keys::kEthernet, m_ethernet);
    QDialog::accept();
}

}  // namespace kvara
