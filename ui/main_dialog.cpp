// SPDX-License-Identifier: MIT
#include "ui/main_dialog.h"

#include <algorithm>
#include <limits>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/string_table.h"
#include "protocol/hex_text.h"
#include "protocol/names.h"
#include "protocol/tag_memory.h"
#include "reader/errors.h"
#include "reader/kvara.h"
#include "settings/settings.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/busy.h"
#include "ui/cancel_offer.h"
#include "ui/chip_catalog.h"
#include "ui/epc_gtin_dlg.h"
#include "ui/gs1_texts.h"
#include "ui/lan_config_dlg.h"
#include "ui/main_logic.h"
#include "ui/message_box.h"
#include "ui/permission_hint.h"
#include "ui/port_select_dlg.h"
#include "ui/sperren_dlg.h"
#include "ui/tag_export.h"
#include "ui/tx_power_dlg.h"
#include "update/version_check.h"

#ifndef KVARA_PROGRAM_VERSION
#define KVARA_PROGRAM_VERSION "1.xx"
#endif

namespace kvara {

namespace {

constexpr int kBufferBytes = 200;
constexpr int kSelectCapacity = 64;  // bytes of the EPC that addresses a tag
constexpr int kEpcCapacity = 196;
constexpr int kInventoryBuffer = 100;
constexpr int kMaxInventoryAnswers = 255;
constexpr int kRefindPasses = 6;
constexpr int kRfPauseMs = 200;

// Results of the read and write wrappers besides byte counts.
constexpr int kResultFailed = -1;
constexpr int kResultSelectFailed = -2;
constexpr int kResultNoReader = -3;
constexpr int kResultLockFailed = -4;
constexpr int kResultCancelled = -5;

// KvaraOpenPort: the link opened, but no reader identified itself on it.
constexpr int kOpenNotIdentified = -11;

// Room left for a window's title bar and borders before it is shown and they are known.
constexpr int kFrameAllowance = 16;

// How long an operation waits for the reader before "Abbrechen" is offered.
constexpr int kCancelOfferMs = 1000;

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString Hex(const std::uint8_t* bytes, std::size_t count) {
    return FromUtf8(FormatHexBytes(bytes, count));
}

QString Hex(const ByteBuffer& bytes) {
    return FromUtf8(FormatHexBytes(bytes));
}

// The bytes a reader command delivered into a buffer of capacity bytes: none for a failure.
ByteBuffer Delivered(const std::uint8_t* buffer, int n, int capacity) {
    return ByteBuffer(buffer, buffer + std::clamp(n, 0, capacity));
}

ByteBuffer ParseHex(const QString& text, std::size_t capacity) {
    return ParseHexBytes(text.toStdString(), capacity);
}

// A number field as the user left it: a signed whole number, not a number reads as 0.
int NumberOrZero(const QLineEdit* field) {
    bool ok = false;
    const int value = field->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void SetTextIfDifferent(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
    }
}

void SetTextIfDifferent(QPlainTextEdit* field, const QString& text) {
    if (field->toPlainText() != text) {
        field->setPlainText(text);
    }
}

// "Passwort verwenden" with its password field right beside it.
QHBoxLayout* PasswordRow(QCheckBox* check, QLineEdit* field) {
    auto* row = new QHBoxLayout;
    row->addWidget(check);
    row->addWidget(field);
    row->addStretch(1);
    return row;
}

}  // namespace

CKvara_ProgrammerDlg::CKvara_ProgrammerDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    setProperty("kvaraMainWindow", true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Quarn Kvara Programmer"));
    setWindowIcon(ProgramIcon());
    BuildLayout();
    m_cancelOffer = new CCancelOffer(m_statusField);
    // The reader's firmware check downloads in the background from the start.
    if (UpdateChecksEnabled()) {
        DeviceCheck().StartCheck(nullptr, 0);
    }
}

CKvara_ProgrammerDlg::~CKvara_ProgrammerDlg() {
    if (m_initialized) {
        SavePlacement();
    }
    CloseReader();
    delete m_cancelOffer;
}

CKvara_ProgrammerDlg::Operation::Operation(CKvara_ProgrammerDlg& window) : m_window(window) {
    if (m_window.m_operations++ == 0) {
        m_window.m_cancelOffer->Begin(kCancelOfferMs);
    }
}

CKvara_ProgrammerDlg::Operation::~Operation() {
    if (--m_window.m_operations == 0) {
        m_window.m_cancelOffer->End();
    }
}

void CKvara_ProgrammerDlg::BuildLayout() {
    // Everything sits in a scroll area: on a screen too small for the window (large fonts, a
    // small display) it scrolls instead of reaching off the screen. Where it fits, no scroll
    // bar shows and nothing looks different.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("contentScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_content = new QWidget(m_scroll);
    m_content->setObjectName(QStringLiteral("content"));
    outer->addWidget(m_scroll);
    auto* root = new QVBoxLayout(m_content);
    auto digitsOnly = [this](QLineEdit* field) {
        field->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    };
    auto makeField = [this](const char* name, bool readOnly) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QLatin1String(name));
        field->setReadOnly(readOnly);
        if (readOnly) {
            field->setFocusPolicy(Qt::ClickFocus);  // selectable with the mouse, no tab stop
        }
        return field;
    };
    auto makeButton = [this](const QString& text, const char* name) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    };
    auto makePassword = [this](const char* checkName, const char* fieldName, QCheckBox** check,
                               QLineEdit** field) {
        *check = new QCheckBox(tr("Passwort verwenden"), this);
        (*check)->setObjectName(QLatin1String(checkName));
        *field = new QLineEdit(this);
        (*field)->setObjectName(QLatin1String(fieldName));
        // Eight digits, or four bytes with blanks between them as the program shows them.
        (*field)->setMaxLength(11);
        (*field)->setMaximumWidth(110);
    };

    // Top: the tag list and the general buttons.
    auto* top = new QHBoxLayout;
    auto* tagColumn = new QGridLayout;
    tagColumn->addWidget(new QLabel(tr("EPC:"), this), 0, 0);
    m_epcEdit = makeField("epcEdit", false);
    tagColumn->addWidget(m_epcEdit, 0, 1);
    tagColumn->addWidget(new QLabel(tr("Anzahl:"), this), 0, 2);
    m_countField = makeField("countField", true);
    m_countField->setMaximumWidth(50);
    tagColumn->addWidget(m_countField, 0, 3);
    m_epcList = new QListWidget(this);
    m_epcList->setObjectName(QStringLiteral("epcList"));
    m_epcList->setSortingEnabled(true);
    m_epcList->setMaximumHeight(70);
    tagColumn->addWidget(m_epcList, 1, 1, 1, 3);
    top->addLayout(tagColumn, 1);

    auto* buttons = new QGridLayout;
    m_cyclicButton = makeButton(tr("Inventur zyklisch"), "cyclicButton");
    m_cyclicButton->setCheckable(true);
    m_inventoryButton = makeButton(tr("Inventur"), "inventoryButton");
    m_readAllButton = makeButton(tr("Alles lesen"), "readAllButton");
    m_closeButton = makeButton(tr("Schließen"), "closeButton");
    m_lockButton = makeButton(tr("Sperren"), "lockButton");
    m_menuButton = new QToolButton(this);
    m_menuButton->setObjectName(QStringLiteral("menuButton"));
    m_menuButton->setText(QStringLiteral("\u2630"));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setToolTip(
        tr("Menü: Schnittstelle wählen, Sendeleistung, IP-Adresse, Export, Sprache, Info"));
    buttons->addWidget(m_cyclicButton, 0, 0);
    buttons->addWidget(m_inventoryButton, 0, 1);
    buttons->addWidget(m_menuButton, 0, 2, Qt::AlignRight);
    buttons->addWidget(m_readAllButton, 1, 0);
    buttons->addWidget(m_closeButton, 1, 1);
    buttons->addWidget(m_lockButton, 2, 0);
    top->addLayout(buttons);
    root->addLayout(top);

    // EPC bank.
    auto* epcGroup = new QGroupBox(tr("Electronic Product Code (Bank 1)"), this);
    epcGroup->setObjectName(QStringLiteral("epcGroup"));
    auto* epc = new QGridLayout(epcGroup);
    makePassword("epcUsePassword", "epcPassword", &m_epcUsePassword, &m_epcPassword);
    epc->addLayout(PasswordRow(m_epcUsePassword, m_epcPassword), 0, 0, 1, 4);
    epc->addWidget(new QLabel(tr("CRC / PC :"), this), 1, 0);
    m_crcField = makeField("crcField", true);
    m_pcField = makeField("pcField", true);
    auto* crcPc = new QHBoxLayout;
    crcPc->addWidget(m_crcField);
    crcPc->addWidget(new QLabel(QStringLiteral("/"), this));
    crcPc->addWidget(m_pcField);
    epc->addLayout(crcPc, 1, 1, 1, 2);
    epc->addWidget(new QLabel(tr("Nutzlänge:"), this), 1, 3);
    m_useLengthField = makeField("useLengthField", false);
    digitsOnly(m_useLengthField);
    epc->addWidget(m_useLengthField, 1, 4);
    epc->addWidget(new QLabel(tr("AFI:"), this), 1, 5);
    m_afiField = makeField("afiField", false);
    digitsOnly(m_afiField);
    epc->addWidget(m_afiField, 1, 6);
    m_isoCheck = new QCheckBox(tr("ISO/IEC-15961-Modus"), this);
    m_isoCheck->setObjectName(QStringLiteral("isoCheck"));
    epc->addWidget(m_isoCheck, 1, 7);
    epc->addWidget(new QLabel(tr("Länge:"), this), 2, 0);
    m_epcLengthField = makeField("epcLengthField", true);
    m_epcLengthField->setMaximumWidth(50);
    epc->addWidget(m_epcLengthField, 2, 1);
    epc->addWidget(new QLabel(tr("EPC:"), this), 2, 2, Qt::AlignRight);
    m_epcField = makeField("epcField", false);
    epc->addWidget(m_epcField, 2, 3, 1, 5);
    // The EPC's GS1 identity, or why it has none, right under it.
    m_gs1Label = new QLabel(this);
    m_gs1Label->setObjectName(QStringLiteral("gs1Label"));
    m_gs1Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    epc->addWidget(m_gs1Label, 3, 3, 1, 5);
    auto* epcRead = makeButton(tr("Lesen"), "epcReadButton");
    auto* epcWrite = makeButton(tr("Schreiben"), "epcWriteButton");
    auto* epcFromGtin = makeButton(tr("Aus GTIN ..."), "epcFromGtinButton");
    epcFromGtin->setToolTip(tr("EPC aus GTIN, Firmennummer, Filter und Seriennummer bilden"));
    epc->addWidget(epcRead, 0, 8);
    epc->addWidget(epcWrite, 2, 8);
    epc->addWidget(epcFromGtin, 3, 8);
    root->addWidget(epcGroup);

    // TID bank.
    auto* tidGroup = new QGroupBox(tr("Tag ID (Bank 2)"), this);
    tidGroup->setObjectName(QStringLiteral("tidGroup"));
    auto* tid = new QGridLayout(tidGroup);
    tid->addWidget(new QLabel(tr("TID:"), this), 0, 0);
    m_tidField = makeField("tidField", true);
    tid->addWidget(m_tidField, 0, 1, 1, 5);
    tid->addWidget(new QLabel(tr("Länge:"), this), 1, 0);
    m_tidLengthField = makeField("tidLengthField", true);
    m_tidLengthField->setMaximumWidth(50);
    tid->addWidget(m_tidLengthField, 1, 1);
    tid->addWidget(new QLabel(tr("Hersteller:"), this), 1, 2, Qt::AlignRight);
    m_manufacturerField = makeField("manufacturerField", true);
    tid->addWidget(m_manufacturerField, 1, 3);
    tid->addWidget(new QLabel(tr("Modell:"), this), 1, 4, Qt::AlignRight);
    m_modelField = makeField("modelField", true);
    tid->addWidget(m_modelField, 1, 5);
    auto* tidRead = makeButton(tr("Lesen"), "tidReadButton");
    tid->addWidget(tidRead, 0, 6);
    root->addWidget(tidGroup);

    // User bank.
    auto* userGroup = new QGroupBox(tr("User Memory (Bank 3)"), this);
    userGroup->setObjectName(QStringLiteral("userGroup"));
    auto* user = new QGridLayout(userGroup);
    makePassword("userUsePassword", "userPassword", &m_userUsePassword, &m_userPassword);
    user->addLayout(PasswordRow(m_userUsePassword, m_userPassword), 0, 0, 1, 3);
    user->addWidget(new QLabel(tr("Start:"), this), 0, 3, Qt::AlignRight);
    m_userStartField = makeField("userStartField", false);
    digitsOnly(m_userStartField);
    user->addWidget(m_userStartField, 0, 4);
    user->addWidget(new QLabel(tr("Länge:"), this), 0, 5, Qt::AlignRight);
    m_userLengthField = makeField("userLengthField", false);
    digitsOnly(m_userLengthField);
    user->addWidget(m_userLengthField, 0, 6);
    user->addWidget(new QLabel(tr("Daten:"), this), 1, 0);
    m_userDataField = new QPlainTextEdit(this);
    m_userDataField->setObjectName(QStringLiteral("userDataField"));
    m_userDataField->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_userDataField->setMaximumHeight(60);
    m_userDataField->setTabChangesFocus(true);
    user->addWidget(m_userDataField, 1, 1, 1, 6);
    auto* userRead = makeButton(tr("Lesen"), "userReadButton");
    auto* userWrite = makeButton(tr("Schreiben"), "userWriteButton");
    user->addWidget(userRead, 0, 7);
    user->addWidget(userWrite, 1, 7, Qt::AlignTop);
    root->addWidget(userGroup);

    // Reserved bank.
    auto* resGroup = new QGroupBox(tr("Reserved (Bank 0)"), this);
    resGroup->setObjectName(QStringLiteral("resGroup"));
    auto* res = new QGridLayout(resGroup);
    makePassword("resUsePassword", "resPassword", &m_resUsePassword, &m_resPassword);
    res->addLayout(PasswordRow(m_resUsePassword, m_resPassword), 0, 0, 1, 3);
    res->addWidget(new QLabel(tr("Kill-Passwort:"), this), 1, 0);
    m_killField = makeField("killField", false);
    res->addWidget(m_killField, 1, 1, 1, 2);
    auto* killRead = makeButton(tr("Lesen"), "killReadButton");
    auto* killWrite = makeButton(tr("Schreiben"), "killWriteButton");
    res->addWidget(killRead, 1, 3);
    res->addWidget(killWrite, 1, 4);
    res->addWidget(new QLabel(tr("Access-Passwort:"), this), 2, 0);
    m_accessField = makeField("accessField", false);
    res->addWidget(m_accessField, 2, 1, 1, 2);
    auto* accessRead = makeButton(tr("Lesen"), "accessReadButton");
    auto* accessWrite = makeButton(tr("Schreiben"), "accessWriteButton");
    res->addWidget(accessRead, 2, 3);
    res->addWidget(accessWrite, 2, 4);
    root->addWidget(resGroup);

    // Status.
    auto* statusGroup = new QGroupBox(tr("Status"), this);
    auto* status = new QHBoxLayout(statusGroup);
    m_statusField = makeField("statusField", true);
    m_statusField->setFocusPolicy(Qt::NoFocus);
    status->addWidget(m_statusField);
    root->addWidget(statusGroup);
    auto* hint = new QLabel(tr("Drücken Sie F1, um die Hilfefunktion zu aktivieren"), this);
    hint->setObjectName(QStringLiteral("helpHint"));
    root->addWidget(hint);
    m_scroll->setWidget(m_content);

    for (QWidget* data : std::initializer_list<QWidget*>{
             m_crcField, m_pcField, m_useLengthField, m_afiField, m_epcLengthField, m_epcField,
             m_tidField, m_tidLengthField, m_manufacturerField, m_modelField, m_userDataField,
             m_killField, m_accessField}) {
        data->setProperty("tagData", true);
    }
    m_groupBoxes[static_cast<int>(FieldGroup::kEpc)] = epcGroup;
    m_groupBoxes[static_cast<int>(FieldGroup::kTid)] = tidGroup;
    m_groupBoxes[static_cast<int>(FieldGroup::kUser)] = userGroup;
    m_groupBoxes[static_cast<int>(FieldGroup::kKill)] = resGroup;
    m_groupBoxes[static_cast<int>(FieldGroup::kAccess)] = resGroup;
    for (int group = 0; group < kFieldGroups; ++group) {
        m_groupTitles[group] = m_groupBoxes[group]->title();
    }
    ConnectGroupEdits();

    connect(m_epcList, &QListWidget::currentTextChanged, this, [this](const QString& text) {
        if (text.isEmpty()) {
            return;
        }
        m_epcEdit->setText(text);
        // A tag chosen in the list: the status line names it, and says when fields still show
        // another tag's data.
        bool marked = false;
        for (QGroupBox* box : m_groupBoxes) {
            marked = marked || box->property("otherTag").toBool();
        }
        ShowStatus(marked ? tr("Ausgewählt: %1 – die markierten Felder zeigen Daten eines "
                               "anderen Transponders")
                                .arg(text)
                          : tr("Ausgewählt: %1").arg(text),
                   0);
    });
    connect(m_epcEdit, &QLineEdit::textChanged, this, &CKvara_ProgrammerDlg::UpdateOriginMarks);
    // A click on the tag that is highlighted already addresses it again, over a typed EPC.
    connect(m_epcList, &QListWidget::itemClicked, this, &CKvara_ProgrammerDlg::OnTagClicked);
    connect(m_epcList, &QListWidget::itemActivated, this, &CKvara_ProgrammerDlg::OnTagClicked);
    connect(m_inventoryButton, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnInventory);
    connect(m_cyclicButton, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnCyclicToggled);
    connect(m_readAllButton, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnReadAll);
    connect(m_closeButton, &QPushButton::clicked, this, [this] { done(kEndQuit); });
    connect(m_lockButton, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnLock);
    connect(epcRead, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnEpcRead);
    connect(epcWrite, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnEpcWrite);
    connect(epcFromGtin, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnEpcFromGtin);
    connect(tidRead, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnTidRead);
    connect(userRead, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnUserRead);
    connect(userWrite, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnUserWrite);
    connect(killRead, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnKillRead);
    connect(killWrite, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnKillWrite);
    connect(accessRead, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnAccessRead);
    connect(accessWrite, &QPushButton::clicked, this, &CKvara_ProgrammerDlg::OnAccessWrite);
    connect(m_epcField, &QLineEdit::textChanged, this, &CKvara_ProgrammerDlg::OnEpcTextChanged);
    connect(m_useLengthField, &QLineEdit::textChanged, this,
            &CKvara_ProgrammerDlg::OnUseLengthChanged);
    connect(m_afiField, &QLineEdit::textChanged, this, &CKvara_ProgrammerDlg::OnAfiChanged);
    connect(m_isoCheck, &QCheckBox::clicked, this, &CKvara_ProgrammerDlg::OnIsoClicked);
    for (QLineEdit* even : {m_userStartField, m_userLengthField, m_useLengthField}) {
        even->installEventFilter(this);
    }
    BuildMenu();
}

void CKvara_ProgrammerDlg::BuildMenu() {
    // Desktops here do not let a program extend the window's system menu: the same entries sit
    // in a menu button at the top right and in the window's context menu.
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("systemMenu"));
    m_menu->addAction(tr("Schnittstelle wählen"), this, &CKvara_ProgrammerDlg::OnChooseInterface)
        ->setObjectName(QStringLiteral("interfaceAction"));
    m_menu->addAction(tr("Sendeleistung einstellen"), this, &CKvara_ProgrammerDlg::OnTransmitPower)
        ->setObjectName(QStringLiteral("powerAction"));
    m_ipAction = m_menu->addAction(tr("IP-Adresse"), this, &CKvara_ProgrammerDlg::OnIpAddress);
    m_ipAction->setObjectName(QStringLiteral("ipAction"));
    m_menu->addSeparator();
    m_menu
        ->addAction(tr("Inventur kopieren"), this,
                    [this] { CopyText(InventoryCsvText(), m_inventory.empty()); })
        ->setObjectName(QStringLiteral("copyInventoryAction"));
    m_menu
        ->addAction(tr("Inventur als CSV speichern ..."), this,
                    [this] { SaveWithDialog(InventoryCsvText()); })
        ->setObjectName(QStringLiteral("saveInventoryAction"));
    m_menu
        ->addAction(tr("Gelesene Speicherbänke kopieren"), this,
                    [this] { CopyText(BanksCsvText(), m_reads.empty()); })
        ->setObjectName(QStringLiteral("copyBanksAction"));
    m_menu
        ->addAction(tr("Gelesene Speicherbänke als CSV speichern ..."), this,
                    [this] { SaveWithDialog(BanksCsvText()); })
        ->setObjectName(QStringLiteral("saveBanksAction"));
    m_menu->addSeparator();
    const int language = ReadInt(keys::kLanguage);
    if (language != 0) {
        m_menu->addAction(tr("Deutsch"), this, [this] { OnLanguage(0); })
            ->setObjectName(QStringLiteral("germanAction"));
    }
    if (language != 1) {
        m_menu->addAction(tr("Englisch"), this, [this] { OnLanguage(1); })
            ->setObjectName(QStringLiteral("englishAction"));
    }
    m_menu->addSeparator();
    m_menu
        ->addAction(tr("Inf&o über Quarn Kvara Programmer ..."), this,
                    &CKvara_ProgrammerDlg::OnAbout)
        ->setObjectName(QStringLiteral("aboutAction"));
    m_menuButton->setMenu(m_menu);
}

void CKvara_ProgrammerDlg::AfterCyclic(std::function<void()> action) {
    if (!m_cyclicRunning) {
        action();
        return;
    }
    m_afterCyclic = std::move(action);
    m_cyclicButton->setChecked(false);
}

void CKvara_ProgrammerDlg::OnChooseInterface() {
    if (m_cyclicButton->isChecked()) {
        return;
    }
    // The reader stays open while the user chooses: "Abbrechen" keeps it, and so does a choice
    // that does not open, once the user gives up on it.
    const SavedInterface before = SavedInterface::Read();
    const bool hadReader = m_handle != 0;
    const bool hadLan = m_lan;
    CPortSelectDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) {
        before.Write();  // the dialog may have put another entry in place of a vanished one
        m_lan = hadLan;
        return;
    }
    if (m_handle != 0 && KvaraClosePort(m_handle) != 0) {
        ShowMessage(this, FromUtf8(ErrorText(KvaraGetLastError(m_handle))));
    }
    m_handle = 0;
    SetTitle(QString());
    m_powerDialog = false;
    for (;;) {
        m_lan = dialog.LanChosen();
        const QString iface =
            FromUtf8(InterfaceText(dialog.InterfaceName().toStdString(), dialog.Address()));
        if (ConnectReader(iface, ReadInt(keys::kBaudrate), ReadInt(keys::kTimeout))) {
            RecordVersions();
            break;
        }
        if (dialog.exec() != QDialog::Accepted) {
            // Back to the reader the window had.
            before.Write();
            m_lan = hadLan;
            if (hadReader &&
                ConnectReader(FromUtf8(InterfaceText(before.name.toStdString(), before.address)),
                              before.lineValue, before.timeoutMs)) {
                RecordVersions();
            }
            break;
        }
    }
    Refresh();
    m_ipAction->setEnabled(m_lan);
}

CKvara_ProgrammerDlg::SavedInterface CKvara_ProgrammerDlg::SavedInterface::Read() {
    return SavedInterface{ReadText(keys::kPortName), ReadInt(keys::kBaudrate),
                          ReadInt(keys::kTimeout), ReadInt(keys::kAddress),
                          ReadInt(keys::kEthernet)};
}

void CKvara_ProgrammerDlg::SavedInterface::Write() const {
    WriteText(keys::kPortName, name);
    WriteInt(keys::kBaudrate, lineValue);
    WriteInt(keys::kTimeout, timeoutMs);
    WriteInt(keys::kAddress, address);
    WriteInt(keys::kEthernet, ethernet);
}

void CKvara_ProgrammerDlg::OnTransmitPower() {
    AfterCyclic([this] {
        if (m_handle == 0) {
            ShowMessage(this, tr("Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"));
            return;
        }
        if (!m_powerDialog) {
            ShowMessage(
                this, tr("Diese Funktion kann nur bei Kvara P20 oder Kvara P30 verwendet werden!"));
            return;
        }
        CTXPowerDlg dialog(m_handle, this);
        dialog.exec();
    });
}

void CKvara_ProgrammerDlg::OnIpAddress() {
    if (m_cyclicButton->isChecked()) {
        return;
    }
    if (m_handle != 0) {
        KvaraClosePort(m_handle);
        m_handle = 0;
    }
    if (m_lan) {
        const QString iface = FromUtf8(
            InterfaceText(ReadText(keys::kPortName).toStdString(), ReadInt(keys::kAddress)));
        CLanConfig dialog(iface, this);
        if (dialog.exec() == QDialog::Accepted) {
            WriteText(keys::kPortName, QStringLiteral("LAN: ") + dialog.ReaderAddress());
        }
    }
    ConnectLoop(false);
    Refresh();
    m_ipAction->setEnabled(m_lan);
}

void CKvara_ProgrammerDlg::OnLanguage(int language) {
    AfterCyclic([this, language] {
        WriteInt(keys::kLanguage, language);
        done(kEndLanguage);
    });
}

void CKvara_ProgrammerDlg::OnAbout() {
    if (m_aboutOpen) {
        return;  // one about box at a time: the open one shows both update lines
    }
    m_aboutOpen = true;
    CAboutDlg dialog(m_recordedModel, m_recordedFirmware, this);
    dialog.exec();
    m_aboutOpen = false;
}

void CKvara_ProgrammerDlg::OnSoftwareChecked() {
    if (SoftwareCheck().IsNewerAvailable()) {
        OnAbout();
    }
}

void CKvara_ProgrammerDlg::OnDeviceVersionsRecorded() {
    if (DeviceCheck().FindDeviceSection() && DeviceCheck().IsNewerAvailable()) {
        OnAbout();
    }
}

void CKvara_ProgrammerDlg::ConnectLoop(bool showDialogFirst) {
    CPortSelectDlg dialog(this);
    bool showDialog = showDialogFirst;
    for (;;) {
        if (showDialog && dialog.exec() != QDialog::Accepted) {
            m_lan = dialog.LanChosen();
            return;
        }
        showDialog = true;
        m_lan = dialog.LanChosen();
        const QString iface =
            FromUtf8(InterfaceText(dialog.InterfaceName().toStdString(), dialog.Address()));
        if (ConnectReader(iface, ReadInt(keys::kBaudrate), ReadInt(keys::kTimeout))) {
            RecordVersions();
            return;
        }
    }
}

void CKvara_ProgrammerDlg::RecordVersions() {
    unsigned char type[kDeviceTypeBytes + 1] = {};
    char model[31] = {};
    const int n = KvaraGetDeviceType(m_handle, type, sizeof type, model, sizeof model);
    if (n < static_cast<int>(kDeviceTypeBytes)) {
        return;
    }
    m_recordedModel = QString::fromLocal8Bit(model);
    m_recordedCode =
        QString::fromLatin1(reinterpret_cast<const char*>(type), kDeviceTypeFirmwareDigit);
    m_recordedFirmware =
        FromUtf8(RecordedFirmwareVersion(static_cast<char>(type[kDeviceTypeFirmwareDigit])));
    DeviceCheck().SetDevice(m_recordedModel.toStdString(), m_recordedCode.toStdString(),
                            m_recordedFirmware.toStdString());
    if (ReadInt(keys::kUpdate) != 0 && UpdateChecksEnabled()) {
        QMetaObject::invokeMethod(this, &CKvara_ProgrammerDlg::OnDeviceVersionsRecorded,
                                  Qt::QueuedConnection);
    }
}

void CKvara_ProgrammerDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (m_menu != nullptr && !m_menu->isEmpty()) {
        m_menu->exec(event->globalPos());
    }
}

void CKvara_ProgrammerDlg::InitDialog() {
    m_titleBase = windowTitle();
    FitToScreen(QGuiApplication::primaryScreen());
    ConnectLoop(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_ipAction->setEnabled(m_lan);
    Refresh();
    if (ReadInt(keys::kUpdate) != 0 && UpdateChecksEnabled()) {
        QPointer<CKvara_ProgrammerDlg> self(this);
        SoftwareCheck().StartCheck(
            [self](int) {
                QMetaObject::invokeMethod(
                    qApp,
                    [self] {
                        if (self) {
                            self->OnSoftwareChecked();
                        }
                    },
                    Qt::QueuedConnection);
            },
            kVersionCheckDone);
    }
    RestorePlacement();
    m_initialized = true;
}

void CKvara_ProgrammerDlg::SetTitle(const QString& link) {
    setWindowTitle(m_titleBase + QStringLiteral(" V") + QStringLiteral(KVARA_PROGRAM_VERSION) +
                   QStringLiteral(" <") + link + QStringLiteral(">"));
}

bool CKvara_ProgrammerDlg::ConnectReader(const QString& interfaceText, int lineValue,
                                         int timeoutMs) {
    if (m_titleBase.isEmpty()) {
        m_titleBase = windowTitle();
    }
    SetTitle(QString());
    m_powerDialog = false;
    const LineValue line = SplitLineValue(lineValue);
    const QByteArray name = interfaceText.toLocal8Bit();
    const int handle = KvaraOpenPort(name.constData(), line.baudRate, line.parityIndex, timeoutMs);
    if (handle == kOpenNotIdentified) {
        // The line opened, but no reader answered on it in time: a slow or sleeping reader, a
        // wrong baud rate or address. "Fehler beim Öffnen des Ports" would send the user looking at
        // the port.
        ShowMessage(this, tr("Der Port %1 ist offen, aber kein Leser hat innerhalb von %2 ms "
                             "geantwortet.\nIst der Leser eingeschaltet, und stimmen Baudrate, "
                             "Adresse und Timeout (☰ > Schnittstelle wählen)?")
                              .arg(interfaceText)
                              .arg(timeoutMs));
        return false;
    }
    if (handle < 0) {
        QString text = FromUtf8(ErrorText(KvaraGetLastError(handle)));
        const std::string hint = PermissionHint(interfaceText.toStdString());
        if (!hint.empty()) {
            text += QLatin1Char('\n') +
                    tr("Kein Zugriff auf %1: Der Benutzer muss zur Gruppe %2 gehören "
                       "(sudo usermod -aG %2 $USER, dann neu anmelden).")
                        .arg(FromUtf8(DevicePathOf(interfaceText.toStdString())), FromUtf8(hint));
        }
        ShowMessage(this, text);
        return false;
    }
    unsigned char type[kDeviceTypeBytes] = {};
    char model[33] = {};
    const int typeLength = KvaraGetDeviceType(handle, type, sizeof type, model, sizeof model);
    if (typeLength < 0) {
        KvaraClosePort(handle);
        ShowMessage(this, FromUtf8(ErrorText(11)));
        return false;
    }
    const ByteBuffer answer(type, type + typeLength);
    const int modelCode = ModelCode(answer);
    const char firmwareDigit = typeLength >= static_cast<int>(kDeviceTypeBytes)
                                   ? static_cast<char>(type[kDeviceTypeFirmwareDigit])
                                   : '\0';
    QString firmware =
        FromUtf8(FormatFirmwareTitle(LoadString(139), FirmwareDigitForTitle(firmwareDigit)));
    if (IsReaderOnly(modelCode)) {
        KvaraClosePort(handle);
        ShowMessage(this, FromUtf8(LoadString(231)));
        return false;
    }
    KvaraSetReaderMode(handle, 0);
    m_powerDialog = HasTransmitPowerDialog(modelCode);
    if (m_powerDialog) {
        unsigned char info[256] = {};
        const int n = KvaraExecute(handle, kCommandReaderInfo, nullptr, 0, info, sizeof info);
        if (n > 0) {
            const QString text =
                QString::fromLatin1(reinterpret_cast<const char*>(info), n).left(99);
            firmware += QStringLiteral("[") + text + QStringLiteral("]");
        }
    }
    QString link = QString::fromLocal8Bit(model) + QStringLiteral(" ");
    if (KvaraIsUsbLink(handle) > 0) {
        link += QStringLiteral("USB:");
    }
    link += interfaceText;
    KvaraSetNoWindowLock(handle, 0);
    m_handle = handle;
    SetTitle(link + QStringLiteral(" ") + firmware);
    return true;
}

void CKvara_ProgrammerDlg::CloseReader() {
    if (m_handle != 0) {
        KvaraClosePort(m_handle);
        m_handle = 0;
    }
}

int CKvara_ProgrammerDlg::CommandHandle() {
    if (m_closing) {
        CloseReader();
    }
    if (m_operations > 0 && m_cancelOffer->Cancelled()) {
        return 0;
    }
    return m_handle;
}

int CKvara_ProgrammerDlg::NoCommandResult() const {
    return m_operations > 0 && m_cancelOffer->Cancelled() ? kResultCancelled : kResultNoReader;
}

bool CKvara_ProgrammerDlg::CheckReaderAfterTimeout() {
    if (m_handle == 0 || (m_operations > 0 && m_cancelOffer->Cancelled())) {
        return false;
    }
    unsigned char type[kDeviceTypeBytes] = {};
    if (KvaraGetDeviceType(m_handle, type, sizeof type, nullptr, 0) >= 0) {
        return false;
    }
    CloseReader();
    SetTitle(QString());
    m_statusField->setText(
        StatusText() +
        tr(" – Der Leser antwortet nicht mehr, die Verbindung wurde getrennt. Neu verbinden: "
           "☰ > Schnittstelle wählen"));
    return true;
}

QString CKvara_ProgrammerDlg::HexFault(const QString& text) const {
    const std::string bytes = text.toStdString();
    const std::size_t at = FindNonHexCharacter(bytes);
    if (at != std::string::npos) {
        const QList<uint> rest = QString::fromStdString(bytes.substr(at)).toUcs4();
        const char32_t bad = rest.isEmpty() ? U'?' : rest.first();
        QString shown;
        if (bad == U'\n' || bad == U'\r') {
            shown = tr("Zeilenumbruch");
        } else if (bad == U'\t') {
            shown = tr("Tabulator");
        } else if (QChar::isPrint(bad) && bad != U' ') {
            shown = QStringLiteral("„") + QString::fromUcs4(&bad, 1) + QStringLiteral("“");
        } else {
            shown = QStringLiteral("U+%1")
                        .arg(static_cast<uint>(bad), 4, 16, QLatin1Char('0'))
                        .toUpper();
        }
        return tr("Ungültiges Zeichen %1").arg(shown);
    }
    std::size_t length = 0;
    const std::size_t odd = FindOddHexRun(bytes, &length);
    if (odd != std::string::npos) {
        constexpr std::size_t kShownDigits = 12;
        QString run = QString::fromStdString(bytes.substr(odd, std::min(length, kShownDigits)));
        if (length > kShownDigits) {
            run += QStringLiteral("\u2026");
        }
        return tr("Ungerade Anzahl Hex-Ziffern bei „%1“ (ein Byte sind zwei Ziffern)").arg(run);
    }
    return QString();
}

bool CKvara_ProgrammerDlg::HexFieldUsable(const QString& text, const QString& fieldName) {
    const QString fault = HexFault(text);
    if (fault.isEmpty()) {
        return true;
    }
    ShowStatus(tr("%1 in „%2“: es wurde nichts geschrieben").arg(fault, fieldName), 0);
    return false;
}

bool CKvara_ProgrammerDlg::GroupPassword(bool use, const QString& text, const QString& groupName,
                                         std::optional<ByteBuffer>* password) {
    password->reset();
    if (!use) {
        return true;
    }
    QString fault = HexFault(text);
    if (fault.isEmpty()) {
        ByteBuffer bytes = ParseHex(text, kBufferBytes);
        if (bytes.size() == kPasswordBytes) {
            *password = std::move(bytes);
            return true;
        }
        fault = tr("Ein Passwort hat 4 Byte (8 Hex-Ziffern)");
    }
    ShowStatus(tr("Passwort (%1): %2, es wurde nichts gesendet").arg(groupName, fault), 0);
    return false;
}

bool CKvara_ProgrammerDlg::SelectionUsable() {
    return HexFieldUsable(m_epcEdit->text(), tr("EPC der Auswahl"));
}

ByteBuffer CKvara_ProgrammerDlg::SelectedTag() const {
    return ParseHex(m_epcEdit->text(), kSelectCapacity);
}

void CKvara_ProgrammerDlg::ShowNothingWritten() {
    ShowStatus(tr("Nichts geschrieben"), 0);
}

bool CKvara_ProgrammerDlg::ConfirmOrigin(FieldGroup group, const QString& groupName) {
    const ByteBuffer selected = SelectedTag();
    ByteBuffer origin;
    if (m_handle == 0 || !m_origins.FromOtherTag(group, selected) ||
        !m_origins.Known(group, &origin)) {
        return true;
    }
    if (AskYesNo(this,
                 tr("Die Daten in „%1“ stammen von Transponder %2.\n"
                    "Ausgewählt ist Transponder %3.\n\n"
                    "Trotzdem auf Transponder %3 schreiben?")
                     .arg(groupName, Hex(origin), Hex(selected)),
                 false)) {
        return true;
    }
    ShowNothingWritten();
    return false;
}

bool CKvara_ProgrammerDlg::ConfirmEpcOfAnotherTag(const ByteBuffer& newEpc) {
    const ByteBuffer selected = SelectedTag();
    if (m_handle == 0 || newEpc.empty() || newEpc == selected || InventoryCount(newEpc) == 0) {
        return true;
    }
    if (AskYesNo(this,
                 tr("Der EPC %1 steht schon auf einem anderen Transponder der letzten "
                    "Inventur. Danach tragen zwei Transponder denselben EPC.\n\n"
                    "Trotzdem auf Transponder %2 schreiben?")
                     .arg(Hex(newEpc), Hex(selected)),
                 false)) {
        return true;
    }
    ShowNothingWritten();
    return false;
}

void CKvara_ProgrammerDlg::ConnectGroupEdits() {
    auto edited = [this](FieldGroup group) { return [this, group] { OnGroupEdited(group); }; };
    for (QLineEdit* field : {m_useLengthField, m_afiField, m_epcField}) {
        connect(field, &QLineEdit::textChanged, this, edited(FieldGroup::kEpc));
    }
    connect(m_isoCheck, &QCheckBox::clicked, this, edited(FieldGroup::kEpc));
    connect(m_userDataField, &QPlainTextEdit::textChanged, this, edited(FieldGroup::kUser));
    connect(m_killField, &QLineEdit::textChanged, this, edited(FieldGroup::kKill));
    connect(m_accessField, &QLineEdit::textChanged, this, edited(FieldGroup::kAccess));
}

void CKvara_ProgrammerDlg::OnGroupEdited(FieldGroup group) {
    if (m_refreshing) {
        return;
    }
    const ByteBuffer selected = SelectedTag();
    if (selected.empty()) {
        m_origins.Clear(group);
    } else {
        m_origins.Set(group, selected);
    }
    UpdateOriginMarks();
}

void CKvara_ProgrammerDlg::UpdateOriginMarks() {
    const ByteBuffer selected = SelectedTag();
    for (int group = 0; group < kFieldGroups; ++group) {
        QGroupBox* box = m_groupBoxes[group];
        // The Reserved box holds two groups: marked when either came from another tag.
        bool marked = false;
        ByteBuffer origin;
        for (int other = 0; other < kFieldGroups; ++other) {
            if (m_groupBoxes[other] == box &&
                m_origins.FromOtherTag(static_cast<FieldGroup>(other), selected)) {
                marked = m_origins.Known(static_cast<FieldGroup>(other), &origin);
                break;
            }
        }
        if (box->property("otherTag").toBool() == marked &&
            (!marked || box->property("originTag").toByteArray() ==
                            QByteArray(reinterpret_cast<const char*>(origin.data()),
                                       static_cast<qsizetype>(origin.size())))) {
            continue;
        }
        box->setProperty("otherTag", marked);
        box->setProperty("originTag", QByteArray(reinterpret_cast<const char*>(origin.data()),
                                                 static_cast<qsizetype>(origin.size())));
        if (marked) {
            const QString tag = FromUtf8(ShortEpcText(origin));
            box->setTitle(m_groupTitles[group] + tr(" – Daten von Transponder %1").arg(tag));
            box->setToolTip(tr("Diese Felder zeigen Daten von Transponder %1, nicht vom "
                               "ausgewählten Transponder.")
                                .arg(Hex(origin)));
            // The fields that hold the tag's data, not the password or the addresses.
            box->setStyleSheet(
                QStringLiteral("*[tagData=\"true\"] { background-color: #fff0c2; "
                               "color: #000000; }"));
        } else {
            box->setTitle(m_groupTitles[group]);
            box->setToolTip(QString());
            box->setStyleSheet(QString());
        }
    }
}

QString CKvara_ProgrammerDlg::StatusText() const {
    return m_statusField->text();
}

bool CKvara_ProgrammerDlg::CyclicPressed() const {
    return m_cyclicButton->isChecked();
}

bool CKvara_ProgrammerDlg::Validate() {
    struct NumberField {
        QLineEdit* field;
        int* value;
        bool even;
        QString name;
        int minimum;
        int maximum;
    };
    constexpr int kAny = std::numeric_limits<int>::max();
    const NumberField numbers[] = {
        {m_countField, &m_values.count, false, tr("Anzahl"), -kAny, kAny},
        // The PC word's five length bits count whole words: 62 bytes at most.
        {m_useLengthField, &m_values.epcUseLength, true, tr("Nutzlänge"), 0, kMaxUseLength},
        {m_afiField, &m_values.afi, false, tr("AFI"), 0, 255},
        {m_epcLengthField, &m_values.epcLength, false, tr("Länge"), -kAny, kAny},
        {m_tidLengthField, &m_values.tidLength, false, tr("Länge"), -kAny, kAny},
        {m_userStartField, &m_values.userStart, true, tr("Start"), 0, kAny},
        {m_userLengthField, &m_values.userLength, true, tr("Länge"), 0, kAny},
    };
    for (const auto& number : numbers) {
        bool ok = false;
        const int value = number.field->text().trimmed().toInt(&ok);
        if (!ok) {
            ShowMessage(this, tr("„%1“: Geben Sie eine ganze Zahl ein.").arg(number.name));
            number.field->setFocus();
            return false;
        }
        if (value < number.minimum || value > number.maximum) {
            ShowMessage(this, tr("„%1“: Geben Sie eine ganze Zahl zwischen %2 und %3 ein.")
                                  .arg(number.name)
                                  .arg(number.minimum)
                                  .arg(number.maximum));
            number.field->setFocus();
            return false;
        }
        // Fields that hold whole words never reach the reader with an odd value, even when
        // the button was pressed without leaving the field.
        *number.value = number.even ? RoundDownToEven(value) : value;
    }
    m_values.epcUsePassword = m_epcUsePassword->isChecked();
    m_values.epcPassword = m_epcPassword->text();
    m_values.crc = m_crcField->text();
    m_values.pc = m_pcField->text();
    m_values.iso = m_isoCheck->isChecked();
    m_values.epcData = m_epcField->text();
    m_values.tid = m_tidField->text();
    m_values.manufacturer = m_manufacturerField->text();
    m_values.model = m_modelField->text();
    m_values.userUsePassword = m_userUsePassword->isChecked();
    m_values.userPassword = m_userPassword->text();
    m_values.userData = m_userDataField->toPlainText();
    m_values.resUsePassword = m_resUsePassword->isChecked();
    m_values.resPassword = m_resPassword->text();
    m_values.killPassword = m_killField->text();
    m_values.accessPassword = m_accessField->text();
    return true;
}

void CKvara_ProgrammerDlg::Refresh() {
    // What Refresh() writes is the program's, not a change of the user's.
    const bool wasRefreshing = m_refreshing;
    m_refreshing = true;
    SetTextIfDifferent(m_countField, QString::number(m_values.count));
    m_epcUsePassword->setChecked(m_values.epcUsePassword);
    SetTextIfDifferent(m_epcPassword, m_values.epcPassword);
    SetTextIfDifferent(m_crcField, m_values.crc);
    SetTextIfDifferent(m_pcField, m_values.pc);
    SetTextIfDifferent(m_useLengthField, QString::number(m_values.epcUseLength));
    SetTextIfDifferent(m_afiField, QString::number(m_values.afi));
    m_isoCheck->setChecked(m_values.iso);
    SetTextIfDifferent(m_epcField, m_values.epcData);
    SetTextIfDifferent(m_epcLengthField, QString::number(m_values.epcLength));
    SetTextIfDifferent(m_tidField, m_values.tid);
    SetTextIfDifferent(m_tidLengthField, QString::number(m_values.tidLength));
    SetTextIfDifferent(m_manufacturerField, m_values.manufacturer);
    SetTextIfDifferent(m_modelField, m_values.model);
    // The numbers stay in reach behind the names.
    m_manufacturerField->setToolTip(m_values.tidNumbers);
    m_modelField->setToolTip(m_values.tidNumbers);
    m_userUsePassword->setChecked(m_values.userUsePassword);
    SetTextIfDifferent(m_userPassword, m_values.userPassword);
    SetTextIfDifferent(m_userStartField, QString::number(m_values.userStart));
    SetTextIfDifferent(m_userLengthField, QString::number(m_values.userLength));
    SetTextIfDifferent(m_userDataField, m_values.userData);
    m_resUsePassword->setChecked(m_values.resUsePassword);
    SetTextIfDifferent(m_resPassword, m_values.resPassword);
    SetTextIfDifferent(m_killField, m_values.killPassword);
    SetTextIfDifferent(m_accessField, m_values.accessPassword);
    m_refreshing = wasRefreshing;
    UpdateOriginMarks();
}

void CKvara_ProgrammerDlg::ShowStatus(const QString& text, int code) {
    m_statusField->setText(FromUtf8(StatusLine(text.toStdString(), code)));
}

bool CKvara_ProgrammerDlg::ReportResult(bool write, int result, int lastError) {
    if (result > 0) {
        ShowStatus(write ? tr("Schreiben erfolgreich") : tr("Lesen erfolgreich"), 0);
        return false;
    }
    switch (result) {
        case 0:
            return false;
        case kResultFailed:
            if (write && lastError == KVARA_ERROR_TIMEOUT) {
                // The write went out, its answer did not come back: the tag may well hold the
                // new data.
                ShowStatus(tr("Schreiben: Ergebnis unbekannt, der Transponder kann verändert sein"),
                           lastError);
            } else {
                ShowStatus(write ? tr("Fehler beim Schreiben") : tr("Fehler beim Lesen"),
                           lastError);
            }
            if (lastError == KVARA_ERROR_TIMEOUT) {
                CheckReaderAfterTimeout();
            }
            return true;
        case kResultCancelled:
            ShowStatus(write ? tr("Abgebrochen, nichts geschrieben") : tr("Abgebrochen"), 0);
            return true;
        case kResultSelectFailed:
            // A reader that vanished or went silent fails the select first; "Fehler beim Auswählen"
            // alone would send the user looking for the tag.
            if (lastError == KVARA_ERROR_TIMEOUT) {
                ShowStatus(tr("Fehler beim Auswählen: Der Leser antwortet nicht"), 0);
                CheckReaderAfterTimeout();
            } else if (lastError == KVARA_ERROR_OUT_OF_STEP) {
                ShowStatus(tr("Fehler beim Auswählen"), lastError);
            } else {
                ShowStatus(tr("Fehler beim Auswählen"), 0);
            }
            return true;
        case kResultNoReader:
            ShowStatus(tr("Kein Zugriff auf Gerät möglich"), 0);
            return true;
        case kResultLockFailed:
            ShowStatus(tr("Fehler beim Sperren"), lastError);
            return true;
        default:
            ShowStatus(write ? tr("Fehler beim Schreiben") : tr("Fehler beim Lesen"), lastError);
            return true;
    }
}

std::optional<ByteBuffer> CKvara_ProgrammerDlg::PasswordIfUsed(bool use,
                                                               const QString& text) const {
    if (!use) {
        return std::nullopt;
    }
    ByteBuffer password = ParseHex(text, 10);
    if (password.size() != kPasswordBytes) {
        return std::nullopt;
    }
    return password;
}

bool CKvara_ProgrammerDlg::SelectCurrentTag() {
    if (CommandHandle() == 0) {
        return false;
    }
    const ByteBuffer epc = ParseHex(m_epcEdit->text(), kSelectCapacity);
    return KvaraSelectTag(m_handle, epc.data(), static_cast<int>(epc.size())) != -1;
}

int CKvara_ProgrammerDlg::ReadBankExact(int bank, int byteAddress,
                                        const std::optional<ByteBuffer>& password,
                                        std::uint8_t* buffer, int count) {
    if (CommandHandle() == 0) {
        return NoCommandResult();
    }
    if (!SelectCurrentTag()) {
        return CommandHandle() == 0 ? NoCommandResult() : kResultSelectFailed;
    }
    if (CommandHandle() == 0) {
        return NoCommandResult();
    }
    const int result = password ? KvaraReadBytesPwd(m_handle, bank, byteAddress / 2,
                                                    password->data(), buffer, count)
                                : KvaraReadBytes(m_handle, bank, byteAddress / 2, buffer, count);
    return result == -1 ? kResultFailed : result;
}

int CKvara_ProgrammerDlg::ReadBankToEnd(int bank, int byteAddress,
                                        const std::optional<ByteBuffer>& password,
                                        std::uint8_t* buffer, int capacity) {
    if (CommandHandle() == 0) {
        return NoCommandResult();
    }
    if (!SelectCurrentTag()) {
        return CommandHandle() == 0 ? NoCommandResult() : kResultSelectFailed;
    }
    if (CommandHandle() == 0) {
        return NoCommandResult();
    }
    const int result = password ? KvaraReadBankPwd(m_handle, bank, byteAddress / 2,
                                                   password->data(), buffer, capacity)
                                : KvaraReadBank(m_handle, bank, byteAddress / 2, buffer, capacity);
    return result == -1 ? kResultFailed : result;
}

int CKvara_ProgrammerDlg::WriteBank(int bank, int byteAddress,
                                    const std::optional<ByteBuffer>& password,
                                    const std::uint8_t* data, int count) {
    if (CommandHandle() == 0) {
        return NoCommandResult();
    }
    if (!SelectCurrentTag()) {
        return CommandHandle() == 0 ? NoCommandResult() : kResultSelectFailed;
    }
    if (CommandHandle() == 0) {
        return NoCommandResult();
    }
    const int result =
        password ? KvaraWriteBankPwd(m_handle, bank, byteAddress / 2, password->data(), data, count)
                 : KvaraWriteBank(m_handle, bank, byteAddress / 2, data, count);
    return result == -1 ? kResultFailed : count;
}

bool CKvara_ProgrammerDlg::RunInventory() {
    if (m_handle != 0 && CommandHandle() == 0) {
        ShowStatus(tr("Abgebrochen"), 0);  // cancelled: no command goes out
        return false;
    }
    std::uint8_t answer[kInventoryBuffer] = {};
    const int n = KvaraInventory(CommandHandle(), 0, answer, kInventoryBuffer);
    auto clear = [this] {
        m_inventory.clear();
        m_epcList->clear();
        m_epcEdit->clear();
        m_values.count = 0;
        SetTextIfDifferent(m_countField, QStringLiteral("0"));
    };
    if (n == -1) {
        clear();
        const int error = KvaraGetLastError(m_handle);
        m_statusField->setText(FromUtf8(ErrorText(error)));
        if (error == KVARA_ERROR_TIMEOUT) {
            CheckReaderAfterTimeout();
        }
        return false;
    }
    const auto first = DecodeInventoryEntry(Delivered(answer, n, kInventoryBuffer));
    if (!first || first->remaining == 0) {
        clear();
        ShowStatus(tr("Kein Transponder gefunden"), 0);
        return false;
    }
    // The window repaints while each command waits: the list changes only once every answer
    // is in, so that it never shows part of an inventory beside the whole count.
    std::vector<ByteBuffer> found = {first->epc};
    int latest = first->remaining;
    // The count falls by one per answer; a reader that never lets it fall cannot keep the
    // window here for more answers than the count byte can count.
    for (int more = 0; latest > 1 && more < kMaxInventoryAnswers; ++more) {
        std::uint8_t next[kInventoryBuffer] = {};
        const int m = KvaraInventory(CommandHandle(), 2, next, kInventoryBuffer);
        const auto entry = DecodeInventoryEntry(Delivered(next, m, kInventoryBuffer));
        if (!entry || entry->epc.empty()) {
            break;
        }
        found.push_back(entry->epc);
        latest = entry->remaining;
    }
    m_inventory = std::move(found);
    m_values.count = first->remaining;
    SetTextIfDifferent(m_countField, QString::number(m_values.count));
    m_epcList->clear();
    for (const ByteBuffer& epc : m_inventory) {
        m_epcList->addItem(Hex(epc));
    }
    m_epcList->setCurrentRow(0);
    m_epcEdit->setText(m_epcList->item(0)->text());
    ShowStatus(tr("Transponder gefunden: %1").arg(m_inventory.size()), 0);
    return true;
}

bool CKvara_ProgrammerDlg::SelectListed(const ByteBuffer& epc) {
    const QString text = Hex(epc);
    for (int row = 0; row < m_epcList->count(); ++row) {
        if (m_epcList->item(row)->text() == text) {
            m_epcList->setCurrentRow(row);
            m_epcEdit->setText(text);
            return true;
        }
    }
    return false;
}

void CKvara_ProgrammerDlg::OnInventory() {
    if (m_handle == 0 || !Validate()) {
        return;
    }
    Operation operation(*this);
    RunInventory();
    Refresh();
}

void CKvara_ProgrammerDlg::OnCyclicToggled() {
    if (m_handle == 0 || !m_cyclicButton->isChecked() || m_cyclicRunning) {
        return;
    }
    if (!Validate()) {
        m_cyclicButton->setChecked(false);
        return;
    }
    m_cyclicRunning = true;
    m_statusField->clear();
    SetCyclicControlsEnabled(false);
    Refresh();
    KvaraSetNoWindowLock(m_handle, 1);
    while (m_cyclicButton->isChecked() && m_handle != 0) {
        Refresh();
        RunInventory();
        Refresh();
        repaint();
        QCoreApplication::processEvents();
    }
    if (m_handle != 0) {
        KvaraSetNoWindowLock(m_handle, 0);
    }
    SetCyclicControlsEnabled(true);
    m_cyclicRunning = false;
    Refresh();
    if (m_afterCyclic) {
        auto action = std::move(m_afterCyclic);
        m_afterCyclic = nullptr;
        action();
    }
}

void CKvara_ProgrammerDlg::SetCyclicControlsEnabled(bool enabled) {
    if (!enabled) {
        m_disabledForCyclic.clear();
        for (QWidget* child : findChildren<QWidget*>()) {
            if (child != m_cyclicButton && child->isEnabled() &&
                (qobject_cast<QAbstractButton*>(child) != nullptr ||
                 qobject_cast<QLineEdit*>(child) != nullptr ||
                 qobject_cast<QPlainTextEdit*>(child) != nullptr ||
                 qobject_cast<QListWidget*>(child) != nullptr)) {
                child->setEnabled(false);
                m_disabledForCyclic.append(child);
            }
        }
        return;
    }
    for (const auto& child : m_disabledForCyclic) {
        if (child) {
            child->setEnabled(true);
        }
    }
    m_disabledForCyclic.clear();
}

void CKvara_ProgrammerDlg::OnReadAll() {
    if (!Validate()) {
        return;
    }
    // A password that cannot be used stops everything before anything is sent.
    std::optional<ByteBuffer> password;
    if (!GroupPassword(m_values.epcUsePassword, m_values.epcPassword, tr("EPC"), &password) ||
        !GroupPassword(m_values.userUsePassword, m_values.userPassword, tr("User Memory"),
                       &password) ||
        !GroupPassword(m_values.resUsePassword, m_values.resPassword, tr("Reserved"), &password)) {
        return;
    }
    // The tag the user chose is read, when it is still in the field.
    const ByteBuffer chosen = SelectedTag();
    Operation operation(*this);
    const bool hadReader = m_handle != 0;
    if (RunInventory() && !chosen.empty()) {
        SelectListed(chosen);
    }
    // A reader that went away, or a cancel, ends the reads: the status line keeps why.
    auto goOn = [this, hadReader] { return !hadReader || CommandHandle() != 0; };
    if (goOn()) {
        ReadEpc();
    }
    if (goOn()) {
        ReadTid();
    }
    if (goOn()) {
        m_values.userStart = 0;
        ReadUser(0, 0);
    }
    if (goOn()) {
        ReadAccessPassword();
    }
    if (goOn()) {
        ReadKillPassword();
    }
    Refresh();
}

void CKvara_ProgrammerDlg::OnLock() {
    CSperrenDlg dialog(this);
    dialog.SetPassword(m_values.accessPassword);  // as it stood after the last operation
    if (dialog.exec() != kLockExecute) {
        return;
    }
    // The password must be four bytes of hex text; otherwise the dialog comes again with what
    // the user left in it.
    auto passwordOf = [this](const QString& text) -> std::optional<ByteBuffer> {
        if (!HexFieldUsable(text, tr("Passwort"))) {
            return std::nullopt;
        }
        ByteBuffer password = ParseHex(text, kBufferBytes);
        if (password.size() != kPasswordBytes) {
            ShowStatus(FromUtf8(LoadString(124)), 0);
            return std::nullopt;
        }
        return password;
    };
    std::optional<ByteBuffer> password = passwordOf(dialog.Password());
    while (!password) {
        if (dialog.exec() != kLockExecute) {
            return;
        }
        password = passwordOf(dialog.Password());
    }
    if (!SelectionUsable() || !ConfirmLock(dialog, *password)) {
        return;
    }
    Operation operation(*this);
    if (CommandHandle() == 0) {
        ReportResult(true, NoCommandResult(), 0);
    } else if (!SelectCurrentTag()) {
        ReportResult(true, CommandHandle() == 0 ? NoCommandResult() : kResultSelectFailed,
                     KvaraGetLastError(m_handle));
    } else if (CommandHandle() == 0) {
        ReportResult(true, NoCommandResult(), 0);
    } else if (KvaraLock(m_handle, dialog.Area(), dialog.Protection(), password->data()) == -1) {
        ReportResult(true, kResultLockFailed, KvaraGetLastError(m_handle));
    } else {
        ShowStatus(tr("Sperren erfolgreich"), 0);
    }
}

bool CKvara_ProgrammerDlg::ConfirmLock(const CSperrenDlg& dialog, const ByteBuffer& password) {
    const QString what = tr("Transponder: %1\nBereich: %2\nSchutz: %3")
                             .arg(Hex(SelectedTag()), dialog.AreaText(), dialog.ProtectionText());
    // A permanent lock or unlock can never be undone on the tag: ask once more, with No as the
    // answer Enter gives.
    const bool permanent = dialog.Protection() == 1 || dialog.Protection() == 3;
    if (permanent &&
        !AskYesNo(this,
                  what + QStringLiteral("\n\n") +
                      tr("Diese Einstellung kann am Transponder nie wieder geändert werden. "
                         "Wirklich ausführen?"),
                  false)) {
        ShowStatus(tr("Nicht gesperrt"), 0);
        return false;
    }
    // With the access password 00000000 a tag needs no password at all: a lock "by password"
    // then protects nothing.
    const bool zeroPassword =
        std::all_of(password.begin(), password.end(), [](std::uint8_t b) { return b == 0; });
    if (dialog.Protection() == 2 && zeroPassword &&
        !AskYesNo(this,
                  what + QStringLiteral("\n\n") +
                      tr("Das Access-Passwort ist 00000000. Ein Transponder mit diesem Passwort "
                         "verlangt keines: Jeder Leser kann den Bereich trotz der Sperre ändern. "
                         "Schreiben Sie zuerst ein anderes Access-Passwort.\n\n"
                         "Trotzdem sperren?"),
                  false)) {
        ShowStatus(tr("Nicht gesperrt"), 0);
        return false;
    }
    return true;
}

void CKvara_ProgrammerDlg::ReadEpc() {
    std::optional<ByteBuffer> password;
    if (!GroupPassword(m_values.epcUsePassword, m_values.epcPassword, tr("EPC"), &password)) {
        return;
    }
    std::uint8_t buffer[kBufferBytes] = {};
    const int n = ReadBankToEnd(KVARA_BANK_EPC, 0, password, buffer, kBufferBytes);
    if (ReportResult(false, n, KvaraGetLastError(m_handle))) {
        m_values.crc.clear();
        m_values.pc.clear();
        m_values.epcData.clear();
        m_values.epcLength = 0;
        m_origins.Clear(FieldGroup::kEpc);
        ForgetRead(KVARA_BANK_EPC);
        return;
    }
    RecordRead(KVARA_BANK_EPC, 0, Delivered(buffer, n, kBufferBytes));
    m_origins.Set(FieldGroup::kEpc, SelectedTag());
    const EpcBank bank = DecodeEpcBank(Delivered(buffer, n, kBufferBytes));
    m_values.crc = Hex(bank.crcBytes);
    if (bank.pc) {
        m_values.pc = Hex(bank.pcBytes);
        m_values.epcUseLength = bank.pc->epcBytes;
        m_values.afi = bank.pc->afi;
        m_values.iso = bank.pc->isoToggle;
        m_values.epcData = Hex(bank.epc);
        m_values.epcLength = static_cast<int>(bank.epc.size());
    } else {
        m_values.pc.clear();
        m_values.afi = 0;
        m_values.iso = false;
        m_values.epcLength = 0;
        m_values.epcData.clear();
    }
}

void CKvara_ProgrammerDlg::OnEpcRead() {
    if (!Validate()) {
        return;
    }
    Operation operation(*this);
    ReadEpc();
    Refresh();
}

void CKvara_ProgrammerDlg::OnEpcWrite() {
    std::optional<ByteBuffer> password;
    if (!Validate() || !SelectionUsable() || !HexFieldUsable(m_values.epcData, tr("EPC")) ||
        !GroupPassword(m_values.epcUsePassword, m_values.epcPassword, tr("EPC"), &password)) {
        return;
    }
    const ByteBuffer epc = ParseHex(m_values.epcData, m_values.epcData.size());
    if (epc.size() > static_cast<std::size_t>(kMaxUseLength)) {
        ShowStatus(tr("„EPC“: %1 Byte, der PC kann höchstens %2 Byte angeben: es wurde nichts "
                      "geschrieben")
                       .arg(epc.size())
                       .arg(kMaxUseLength),
                   0);
        return;
    }
    if (!ConfirmOrigin(FieldGroup::kEpc, tr("EPC")) || !ConfirmDuplicateEpc()) {
        return;
    }
    // Without a reader the write ends with "Kein Zugriff auf Gerät möglich"; nothing to ask.
    if (m_handle != 0 && !SettleUseLength(epc.size())) {
        Refresh();
        return;
    }
    // The tag answers an inventory under its EPC as the PC word's length field cuts it.
    const std::size_t coded = static_cast<std::size_t>(m_values.epcUseLength / 2 * 2);
    const ByteBuffer answersAs(epc.begin(), epc.begin() + std::min(coded, epc.size()));
    if (!ConfirmEpcOfAnotherTag(answersAs)) {
        Refresh();
        return;
    }
    Operation operation(*this);
    std::uint8_t pc[kPcBytes] = {0, 0};
    if (!m_values.pc.isEmpty()) {
        const ByteBuffer parsed = ParseHex(m_values.pc, 2);
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            pc[i] = parsed[i];
        }
    } else if (ReadBankExact(KVARA_BANK_EPC, kEpcBankPcOffset, password, pc, kPcBytes) !=
               static_cast<int>(kPcBytes)) {
        pc[0] = 0;
    }
    // The length and the toggle from the fields; the User memory and XPC indicators as they were.
    pc[0] = PcWithToggle(PcWithLength(m_values.epcUseLength, pc[0], kPcUserMemoryBit | kPcXpcBit),
                         m_values.iso);
    pc[1] = static_cast<std::uint8_t>(m_values.afi & 0xFF);
    ByteBuffer data = {pc[0], pc[1]};
    data.insert(data.end(), epc.begin(), epc.end());
    const QString addressedBefore = m_epcEdit->text();
    const ByteBuffer tagBefore = SelectedTag();
    ForgetRead(
        KVARA_BANK_EPC);  // whatever the write did, the bank read before is not the tag's now
    const int result = WriteBank(KVARA_BANK_EPC, kEpcBankPcOffset, password, data.data(),
                                 static_cast<int>(data.size()));
    ReportResult(true, result, KvaraGetLastError(m_handle));
    if (result > 0) {
        // The tag computes a new CRC over the new PC and EPC: the old one is no longer its.
        m_values.crc.clear();
        m_values.pc = Hex(pc, kPcBytes);
        if (coded <= epc.size()) {
            // What was read from the tag is the tag's under its new EPC.
            m_origins.Renamed(tagBefore, answersAs);
            if (m_readTag == tagBefore) {
                m_readTag = answersAs;
            }
            m_origins.Set(FieldGroup::kEpc, answersAs);
        }
    }
    // The inventory that finds the tag again reports on the status line itself; the write's
    // result is what the user needs to see, so it stays there.
    const QString writeResult = StatusText();
    RefindWrittenTag(Hex(answersAs), coded > epc.size(), addressedBefore);
    m_statusField->setText(writeResult);
    Refresh();
}

bool CKvara_ProgrammerDlg::SettleUseLength(std::size_t epcBytes) {
    if (!UseLengthDisagrees(m_values.epcUseLength, epcBytes)) {
        return true;
    }
    const int typed = UseLengthForEpc(epcBytes);
    const Answer answer = AskYesNoCancel(
        this, tr("Die Nutzlänge (%1 Byte) passt nicht zum eingegebenen EPC (%2 Byte).\n\n"
                 "Ja: Nutzlänge %3 verwenden (die Länge des eingegebenen EPC).\n"
                 "Nein: Nutzlänge %1 beibehalten.\n"
                 "Abbrechen: nichts schreiben.")
                  .arg(m_values.epcUseLength)
                  .arg(epcBytes)
                  .arg(typed));
    if (answer == Answer::kCancel) {
        ShowNothingWritten();
        return false;
    }
    if (answer == Answer::kYes) {
        m_values.epcUseLength = typed;
        return true;
    }
    // A length of 0 leaves the tag without an EPC: only when the user says so once more.
    if (m_values.epcUseLength / 2 == 0 && epcBytes > 0 &&
        !AskYesNo(this,
                  tr("Mit der Nutzlänge 0 hat der Transponder danach keinen EPC mehr. "
                     "Trotzdem schreiben?"),
                  false)) {
        ShowNothingWritten();
        return false;
    }
    return true;
}

void CKvara_ProgrammerDlg::RefindWrittenTag(const QString& writtenEpc, bool writtenIsPrefix,
                                            const QString& addressedBefore) {
    // Another tag in the field does not end the search: it goes on until the written tag (or,
    // after a failed write, the tag as it was) answers.
    auto find = [this](const QString& epc, bool prefix) -> QListWidgetItem* {
        for (int row = 0; row < m_epcList->count(); ++row) {
            const QString listed = m_epcList->item(row)->text();
            if (listed == epc || (prefix && listed.startsWith(epc + QLatin1Char(' ')))) {
                return m_epcList->item(row);
            }
        }
        return nullptr;
    };
    for (int pass = 0; pass < kRefindPasses && CommandHandle() != 0; ++pass) {
        KvaraSetRf(m_handle, 0);
        PauseMs(kRfPauseMs);
        if (CommandHandle() == 0) {
            return;
        }
        KvaraSetRf(m_handle, 1);
        PauseMs(kRfPauseMs);
        if (!RunInventory()) {
            // A reader that does not answer (or a cancel) ends the search; an empty field
            // does not.
            if (m_handle == 0 || CommandHandle() == 0 ||
                KvaraGetLastError(m_handle) == KVARA_ERROR_TIMEOUT) {
                return;
            }
            continue;
        }
        QListWidgetItem* found = find(writtenEpc, writtenIsPrefix);
        if (found == nullptr) {
            found = find(addressedBefore, false);
        }
        if (found != nullptr) {
            m_epcList->setCurrentItem(found);
            m_epcEdit->setText(found->text());
            return;
        }
    }
}

void CKvara_ProgrammerDlg::OnTagClicked(QListWidgetItem* item) {
    if (item != nullptr && !item->text().isEmpty()) {
        m_epcEdit->setText(item->text());
    }
}

void CKvara_ProgrammerDlg::ReadTid() {
    std::uint8_t buffer[kBufferBytes] = {};
    const int n = ReadBankToEnd(KVARA_BANK_TID, 0, std::nullopt, buffer, kBufferBytes);
    const bool failed = ReportResult(false, n, KvaraGetLastError(m_handle));
    if (failed || n < 2) {
        m_values.tid.clear();
        m_values.tidLength = 0;
        m_values.manufacturer.clear();
        m_values.model.clear();
        m_values.tidNumbers.clear();
        m_origins.Clear(FieldGroup::kTid);
        ForgetRead(KVARA_BANK_TID);
        return;
    }
    RecordRead(KVARA_BANK_TID, 0, Delivered(buffer, n, kBufferBytes));
    m_origins.Set(FieldGroup::kTid, SelectedTag());
    m_values.tid = Hex(buffer, static_cast<std::size_t>(n));
    m_values.tidLength = n;
    const TidIdentity identity = TidIdentityOf(Delivered(buffer, n, kBufferBytes), ChipCatalog());
    m_values.manufacturer = FromUtf8(identity.manufacturer);
    m_values.model = FromUtf8(identity.model);
    m_values.tidNumbers = FromUtf8(identity.numbers);
}

void CKvara_ProgrammerDlg::OnTidRead() {
    if (!Validate()) {
        return;
    }
    Operation operation(*this);
    ReadTid();
    Refresh();
}

int CKvara_ProgrammerDlg::ReadUser(int start, int length) {
    std::optional<ByteBuffer> password;
    if (!GroupPassword(m_values.userUsePassword, m_values.userPassword, tr("User Memory"),
                       &password)) {
        return m_values.userLength;
    }
    std::uint8_t buffer[kBufferBytes] = {};
    int n = 0;
    if (length != 0) {
        // A length beyond the buffer is read as far as the buffer goes.
        n = ReadBankExact(KVARA_BANK_USER, start, password, buffer,
                          std::clamp(length, 0, kBufferBytes));
    } else {
        n = ReadBankToEnd(KVARA_BANK_USER, start, password, buffer, kBufferBytes);
    }
    int newLength = 0;
    if (ReportResult(false, n, KvaraGetLastError(m_handle))) {
        m_values.userData.clear();
        m_origins.Clear(FieldGroup::kUser);
        ForgetRead(KVARA_BANK_USER);
    } else {
        m_values.userData = n < 2 ? QString() : Hex(buffer, static_cast<std::size_t>(n));
        newLength = n;
        m_origins.Set(FieldGroup::kUser, SelectedTag());
        if (n < 2) {
            ForgetRead(KVARA_BANK_USER);
        } else {
            RecordRead(KVARA_BANK_USER, start, Delivered(buffer, n, kBufferBytes));
        }
    }
    m_values.userLength = newLength;
    return newLength;
}

void CKvara_ProgrammerDlg::OnUserRead() {
    if (!Validate()) {
        return;
    }
    Operation operation(*this);
    ReadUser(m_values.userStart, m_values.userLength);
    Refresh();
}

void CKvara_ProgrammerDlg::OnUserWrite() {
    std::optional<ByteBuffer> password;
    if (!Validate() || !SelectionUsable() || !HexFieldUsable(m_values.userData, tr("Daten")) ||
        !GroupPassword(m_values.userUsePassword, m_values.userPassword, tr("User Memory"),
                       &password)) {
        return;
    }
    ByteBuffer data = ParseHex(m_values.userData, m_values.userData.size());
    if (data.size() > static_cast<std::size_t>(kBufferBytes)) {
        ShowStatus(tr("„Daten“: %1 Byte, höchstens %2 Byte auf einmal: es wurde nichts "
                      "geschrieben")
                       .arg(data.size())
                       .arg(kBufferBytes),
                   0);
        return;
    }
    if (m_values.userLength > kBufferBytes) {
        ShowStatus(tr("„Länge“: höchstens %1 Byte auf einmal: es wurde nichts geschrieben")
                       .arg(kBufferBytes),
                   0);
        return;
    }
    if (!ConfirmOrigin(FieldGroup::kUser, tr("Daten")) || !ConfirmDuplicateEpc()) {
        return;
    }
    if (static_cast<int>(data.size()) != m_values.userLength && !SettleUserLength(&data)) {
        Refresh();
        return;
    }
    Operation operation(*this);
    if (data.empty()) {
        ShowNothingWritten();
    } else if (WriteUserWords(data, password)) {
        // What the field shows now stands on the selected tag.
        m_origins.Set(FieldGroup::kUser, SelectedTag());
    }
    Refresh();
}

bool CKvara_ProgrammerDlg::SettleUserLength(ByteBuffer* data) {
    const int length = m_values.userLength;
    const int typed = static_cast<int>(data->size());
    const QString yes = length > typed
                            ? tr("die Daten und dahinter %1 Null-Bytes").arg(length - typed)
                            : tr("nur die ersten %1 Byte der Daten").arg(length);
    const Answer answer = AskYesNoCancel(
        this,
        tr("Angegebene Datenlänge (%1 Byte) entspricht nicht den eingetragenen Daten (%2 Byte)."
           "\n\nJa: %1 Byte schreiben, %3.\n"
           "Nein: die %2 Byte der Daten schreiben, „Länge“ wird %2.\n"
           "Abbrechen: nichts schreiben.")
            .arg(length)
            .arg(typed)
            .arg(yes),
        Answer::kCancel);
    if (answer == Answer::kCancel) {
        ShowNothingWritten();
        return false;
    }
    if (answer == Answer::kYes) {
        data->resize(static_cast<std::size_t>(length), 0);
    } else {
        m_values.userLength = typed;
    }
    m_values.userData = Hex(*data);
    return true;
}

bool CKvara_ProgrammerDlg::WriteUserWords(const ByteBuffer& data,
                                          const std::optional<ByteBuffer>& password) {
    const int start = m_values.userStart;
    // Only the words that differ from what was last read from this tag at these addresses go to
    // it; without such a read (or with the tag's EPC on several tags) everything does.
    std::vector<ByteRun> runs = {{0, data.size()}};
    const ByteBuffer tag = SelectedTag();
    if (tag == m_readTag && InventoryCount(tag) <= 1) {
        for (const auto& [key, known] : m_reads) {
            if (key.first == KVARA_BANK_USER) {
                runs = ChangedWordRuns(start, data, key.second, known);
            }
        }
    }
    // What stands on the tag now is the write's to say; the next write compares with a new read.
    ForgetRead(KVARA_BANK_USER);
    int written = 0;
    for (const ByteRun& run : runs) {
        const int result =
            WriteBank(KVARA_BANK_USER, start + static_cast<int>(run.offset), password,
                      data.data() + run.offset, static_cast<int>(run.length));
        if (ReportResult(true, result, KvaraGetLastError(m_handle))) {
            if (result == kResultCancelled && written > 0) {
                ShowStatus(tr("Abgebrochen: %1 von %2 Wörtern geschrieben")
                               .arg(written)
                               .arg(WordsOf(data.size())),
                           0);
            }
            return false;
        }
        written += WordsOf(run.length);
    }
    if (runs.empty()) {
        ShowStatus(
            tr("Keine Änderung gegenüber dem zuletzt Gelesenen: 0 von %1 Wörtern geschrieben")
                .arg(WordsOf(data.size())),
            0);
    } else {
        ShowStatus(tr("Schreiben erfolgreich: %1 von %2 Wörtern geschrieben")
                       .arg(written)
                       .arg(WordsOf(data.size())),
                   0);
    }
    return true;
}

void CKvara_ProgrammerDlg::ReadPassword(std::size_t byteAddress, QString* target) {
    std::optional<ByteBuffer> password;
    if (!GroupPassword(m_values.resUsePassword, m_values.resPassword, tr("Reserved"), &password)) {
        return;
    }
    const FieldGroup group =
        byteAddress == kReservedKillOffset ? FieldGroup::kKill : FieldGroup::kAccess;
    std::uint8_t buffer[kPasswordBytes] = {};
    const int n = ReadBankExact(KVARA_BANK_RESERVED, byteAddress, password, buffer, kPasswordBytes);
    const bool failed = ReportResult(false, n, KvaraGetLastError(m_handle));
    const bool whole = !failed && n == static_cast<int>(kPasswordBytes);
    *target = whole ? Hex(buffer, kPasswordBytes) : QString();
    if (whole) {
        m_origins.Set(group, SelectedTag());
        RecordRead(KVARA_BANK_RESERVED, static_cast<int>(byteAddress),
                   ByteBuffer(buffer, buffer + kPasswordBytes));
    } else {
        m_origins.Clear(group);
        ForgetRead(KVARA_BANK_RESERVED, static_cast<int>(byteAddress));
    }
}

void CKvara_ProgrammerDlg::ReadKillPassword() {
    ReadPassword(kReservedKillOffset, &m_values.killPassword);
}

void CKvara_ProgrammerDlg::ReadAccessPassword() {
    ReadPassword(kReservedAccessOffset, &m_values.accessPassword);
}

void CKvara_ProgrammerDlg::OnKillRead() {
    if (!Validate()) {
        return;
    }
    Operation operation(*this);
    ReadKillPassword();
    Refresh();
}

void CKvara_ProgrammerDlg::OnAccessRead() {
    if (!Validate()) {
        return;
    }
    Operation operation(*this);
    ReadAccessPassword();
    Refresh();
}

void CKvara_ProgrammerDlg::WritePassword(std::size_t byteAddress, const QString& text,
                                         bool isAccess) {
    const QString name = isAccess ? tr("Access-Passwort") : tr("Kill-Passwort");
    std::optional<ByteBuffer> resPassword;
    if (!SelectionUsable() || !HexFieldUsable(text, name) ||
        !GroupPassword(m_values.resUsePassword, m_values.resPassword, tr("Reserved"),
                       &resPassword)) {
        Refresh();
        return;
    }
    const ByteBuffer password = ParseHex(text, kBufferBytes);
    if (password.size() != kPasswordBytes) {
        ShowStatus(FromUtf8(LoadString(124)), 0);
        Refresh();
        return;
    }
    const FieldGroup group = isAccess ? FieldGroup::kAccess : FieldGroup::kKill;
    if (!ConfirmOrigin(group, name) || !ConfirmDuplicateEpc()) {
        Refresh();
        return;
    }
    Operation operation(*this);
    ForgetRead(KVARA_BANK_RESERVED, static_cast<int>(byteAddress));
    const int result =
        WriteBank(KVARA_BANK_RESERVED, byteAddress, resPassword, password.data(), kPasswordBytes);
    const bool failed = ReportResult(true, result, KvaraGetLastError(m_handle));
    if (!failed) {
        m_origins.Set(group, SelectedTag());
    }
    if (isAccess && !failed) {
        // The next protected operation uses the new password. Written as eight digits without
        // blanks, as the password fields show a password typed whole.
        const QString compact = Hex(password).remove(QLatin1Char(' '));
        m_values.epcPassword = compact;
        m_values.userPassword = compact;
        m_values.resPassword = compact;
    }
    Refresh();
}

void CKvara_ProgrammerDlg::OnKillWrite() {
    if (Validate()) {
        WritePassword(kReservedKillOffset, m_values.killPassword, false);
    }
}

void CKvara_ProgrammerDlg::OnAccessWrite() {
    if (Validate()) {
        WritePassword(kReservedAccessOffset, m_values.accessPassword, true);
    }
}

void CKvara_ProgrammerDlg::OnEpcTextChanged() {
    const ByteBuffer epc = ParseHex(m_epcField->text(), kBufferBytes);
    SetTextIfDifferent(m_epcLengthField, QString::number(static_cast<int>(epc.size())));
    ShowGs1Identity(epc,
                    FindNonHexCharacter(m_epcField->text().toStdString()) == std::string::npos);
}

void CKvara_ProgrammerDlg::ShowGs1Identity(const ByteBuffer& epc, bool usable) {
    if (epc.empty()) {
        m_gs1Label->clear();
        m_gs1Label->setToolTip(QString());
        return;
    }
    const EpcIdentity identity = usable ? DescribeEpc(epc) : EpcIdentity{};
    if (!identity.gs1) {
        m_gs1Label->setText(tr("Kein GS1-EPC"));
        m_gs1Label->setToolTip(usable ? Gs1ReasonText(identity.why)
                                      : tr("Der EPC enthält andere Zeichen als Hex-Ziffern"));
        return;
    }
    QString text = FromUtf8(identity.pureIdentity);
    if (!identity.elementString.empty()) {
        text += QStringLiteral("   ") + FromUtf8(identity.elementString);
    }
    m_gs1Label->setText(text);
    m_gs1Label->setToolTip(FromUtf8(identity.tagUri));
}

void CKvara_ProgrammerDlg::OnEpcFromGtin() {
    CEpcFromGtinDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.Epc().empty() || !Validate()) {
        return;
    }
    m_values.epcData = Hex(dialog.Epc());
    m_values.epcLength = static_cast<int>(dialog.Epc().size());
    m_values.epcUseLength = UseLengthForEpc(dialog.Epc().size());
    Refresh();
    OnGroupEdited(FieldGroup::kEpc);  // the user's EPC for the selected tag
}

int CKvara_ProgrammerDlg::InventoryCount(const ByteBuffer& epc) const {
    return static_cast<int>(std::count(m_inventory.begin(), m_inventory.end(), epc));
}

bool CKvara_ProgrammerDlg::ConfirmDuplicateEpc() {
    const ByteBuffer epc = SelectedTag();
    const int count = InventoryCount(epc);
    if (m_handle == 0 || count <= 1) {
        return true;
    }
    // The select addresses every tag with this EPC: the write goes to whichever answers.
    if (AskYesNo(this,
                 tr("Die letzte Inventur hat den EPC %1 auf %2 Transpondern gefunden. "
                    "Geschrieben wird auf den, der zuerst antwortet. Trotzdem schreiben?")
                     .arg(Hex(epc))
                     .arg(count),
                 false)) {
        return true;
    }
    ShowNothingWritten();
    return false;
}

void CKvara_ProgrammerDlg::RecordRead(int bank, int byteAddress, const ByteBuffer& bytes) {
    const ByteBuffer tag = ParseHex(m_epcEdit->text(), kSelectCapacity);
    if (tag != m_readTag) {
        m_reads.clear();
        m_readTag = tag;
    }
    if (bank == KVARA_BANK_USER) {
        ForgetRead(KVARA_BANK_USER);  // one stretch of User memory: the last one read
    }
    m_reads[{bank, byteAddress}] = bytes;
}

void CKvara_ProgrammerDlg::ForgetRead(int bank, int byteAddress) {
    for (auto it = m_reads.begin(); it != m_reads.end();) {
        const bool match =
            it->first.first == bank && (byteAddress < 0 || it->first.second == byteAddress);
        it = match ? m_reads.erase(it) : std::next(it);
    }
}

QString CKvara_ProgrammerDlg::InventoryCsvText() const {
    return FromUtf8(InventoryCsv(m_inventory));
}

QString CKvara_ProgrammerDlg::BanksCsvText() const {
    std::vector<BankRead> reads;
    for (const auto& [key, bytes] : m_reads) {
        reads.push_back({key.first, key.second, bytes});
    }
    return FromUtf8(BanksCsv(m_readTag, reads));
}

void CKvara_ProgrammerDlg::CopyText(const QString& text, bool empty) {
    if (empty) {
        ShowStatus(tr("Nichts zu kopieren"), 0);
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    ShowStatus(tr("In die Zwischenablage kopiert"), 0);
}

void CKvara_ProgrammerDlg::SaveWithDialog(const QString& text) {
    QString path = QFileDialog::getSaveFileName(this, tr("Als CSV speichern"), QString(),
                                                tr("CSV-Dateien (*.csv);;Alle Dateien (*)"));
    if (path.isEmpty()) {
        return;
    }
    // A name without an extension gets the one the filter offers.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".csv");
    }
    QString error;
    if (SaveCsv(path, text, &error)) {
        ShowStatus(tr("Gespeichert: %1").arg(path), 0);
    } else {
        ShowMessage(this, tr("Die Datei %1 konnte nicht gespeichert werden: %2").arg(path, error));
    }
}

bool CKvara_ProgrammerDlg::SaveCsv(const QString& path, const QString& text, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

// The PC reactions change a PC the field shows. An empty field stays empty: it means the
// tag's PC is not known, and an EPC write then reads the tag's own PC bits first.
void CKvara_ProgrammerDlg::OnUseLengthChanged() {
    if (m_pcField->text().isEmpty()) {
        return;
    }
    // A length the PC cannot code leaves the PC as it was; a write refuses it.
    const int length = NumberOrZero(m_useLengthField);
    if (length < 0 || length > kMaxUseLength) {
        return;
    }
    ByteBuffer pc = ParseHex(m_pcField->text(), 2);
    pc.resize(2, 0);
    pc[0] = PcWithLength(length, pc[0], kPcUserMemoryBit | kPcXpcBit | kPcToggleBit);
    SetTextIfDifferent(m_pcField, Hex(pc.data(), 2));
}

void CKvara_ProgrammerDlg::OnAfiChanged() {
    if (m_pcField->text().isEmpty()) {
        return;
    }
    const int afi = NumberOrZero(m_afiField);
    if (afi < 0 || afi > 255) {
        return;  // not a byte: the PC stays, and a write refuses it
    }
    ByteBuffer pc = ParseHex(m_pcField->text(), 2);
    pc.resize(2, 0);
    pc[1] = static_cast<std::uint8_t>(afi);
    SetTextIfDifferent(m_pcField, Hex(pc.data(), 2));
}

void CKvara_ProgrammerDlg::OnIsoClicked() {
    if (m_pcField->text().isEmpty()) {
        return;
    }
    ByteBuffer pc = ParseHex(m_pcField->text(), 2);
    pc.resize(2, 0);
    pc[0] = PcWithToggle(pc[0], m_isoCheck->isChecked());
    SetTextIfDifferent(m_pcField, Hex(pc.data(), 2));
}

bool CKvara_ProgrammerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        auto* field = qobject_cast<QLineEdit*>(watched);
        bool ok = false;
        const int value = field != nullptr ? field->text().trimmed().toInt(&ok) : 0;
        if (ok && value % 2 != 0) {
            field->setText(QString::number(RoundDownToEven(value)));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CKvara_ProgrammerDlg::done(int code) {
    if (m_cyclicButton->isChecked()) {
        return;  // the window does not close while the cyclic toggle is pressed
    }
    // The window may close while a reader command waits (its wait dispatches the close). The
    // operation around that command then ends at its next command instead of going on with
    // a reader nobody watches: CommandHandle() closes the reader.
    m_closing = true;
    QDialog::done(code);
}

void CKvara_ProgrammerDlg::reject() {
    done(kEndQuit);
}

void CKvara_ProgrammerDlg::closeEvent(QCloseEvent* event) {
    if (m_cyclicButton->isChecked()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CKvara_ProgrammerDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();  // Enter never closes the window
        return;
    }
    QDialog::keyPressEvent(event);
}

void CKvara_ProgrammerDlg::FitToScreen(const QScreen* screen) {
    // The window's natural size, as a window takes it by itself: its content's preferred size,
    // at most two thirds of the screen, but never less than the content needs.
    QSize natural = m_content->sizeHint();
    if (screen != nullptr) {
        natural = natural.boundedTo(screen->availableGeometry().size() * 2 / 3);
    }
    natural = natural.expandedTo(m_content->minimumSizeHint());
    QSize room = natural;
    if (screen != nullptr) {
        // The title bar and borders are not known before the window is shown: room for them.
        const QSize decoration = isVisible() ? frameGeometry().size() - geometry().size()
                                             : QSize(kFrameAllowance, 3 * kFrameAllowance);
        room = screen->availableGeometry().size() - decoration;
    }
    const QSize fits = natural.boundedTo(room);
    // Where the whole fits, the window keeps its natural size as its least; elsewhere the
    // content scrolls in a window the screen can hold.
    setMinimumSize(natural == fits ? natural : m_content->minimumSizeHint().boundedTo(fits));
    resize(fits);
}

void CKvara_ProgrammerDlg::SavePlacement() {
    const QRect frame = frameGeometry();
    WriteInt(keys::kLeft, frame.left());
    WriteInt(keys::kTop, frame.top());
    WriteInt(keys::kRight, frame.left() + frame.width());
    WriteInt(keys::kBottom, frame.top() + frame.height());
}

void CKvara_ProgrammerDlg::RestorePlacement() {
    Rect saved{ReadInt(keys::kLeft), ReadInt(keys::kTop), ReadInt(keys::kRight),
               ReadInt(keys::kBottom)};
    if (saved.right - saved.left <= 0) {
        return;
    }
    // The screen the saved place lies on (the nearest one when it lies on none), and the
    // window whole on it: a placement saved by an older, smaller window would otherwise put the
    // bottom of this one below the screen.
    const QPoint savedAt(saved.left, saved.top);
    const QScreen* screen = QGuiApplication::screenAt(savedAt);
    if (screen == nullptr) {
        int nearest = std::numeric_limits<int>::max();
        for (const QScreen* candidate : QGuiApplication::screens()) {
            const QRect area = candidate->availableGeometry();
            const int distance = (QPoint(std::clamp(savedAt.x(), area.left(), area.right()),
                                         std::clamp(savedAt.y(), area.top(), area.bottom())) -
                                  savedAt)
                                     .manhattanLength();
            if (distance < nearest) {
                nearest = distance;
                screen = candidate;
            }
        }
    }
    if (screen == nullptr) {
        return;
    }
    FitToScreen(screen);
    const QRect area = screen->availableGeometry();
    const QSize decoration = frameGeometry().size() - geometry().size();
    const QSize least = minimumSize() + decoration;
    const Rect placed = PlaceOnScreen(
        saved, least.width(), least.height(),
        Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    move(placed.left, placed.top);
    resize(QSize(placed.right - placed.left, placed.bottom - placed.top) - decoration);
}

}  // namespace kvara
