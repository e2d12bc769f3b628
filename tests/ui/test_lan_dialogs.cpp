// SPDX-License-Identifier: MIT
// The reader search and LAN configuration dialogs, and the interface dialog's Ethernet list,
// against simulated network readers in network namespaces of the test's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "netns_fixture.h"
#include "settings/settings.h"
#include "tests/support/device_stand_in.h"
#include "tests/support/screenshot.h"
#include "ui/app_icon.h"
#include "ui/ip_search_dlg.h"
#include "ui/lan_config_dlg.h"
#include "ui/message_box.h"
#include "ui/port_select_dlg.h"

using kvara::test::Ip;
using kvara::test::NetnsTest;

// Failures show texts as texts.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

class LanDialogTest : public NetnsTest {
protected:
    void SetUp() override {
        NetnsTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        kvara::SetMessageResponder([this](const QString& text, bool) {
            messages << text;
            return answerYes;
        });
        kvara::CLanConfig::SetReachWaitForTesting(3000);
        segment = AddSegment({"10.77.1.1/24"});
    }
    void TearDown() override {
        kvara::SetMessageResponder(nullptr);
        NetnsTest::TearDown();
    }
    template <typename T>
    static T* Child(QWidget& parent, const char* name) {
        T* child = parent.findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QTemporaryDir m_config;
    QStringList messages;
    bool answerYes = false;
    std::string segment;
};

}  // namespace

TEST(LanDialogLogic, MasksAndSearchKeys) {
    EXPECT_EQ(kvara::MaskFromHostBits(8), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(kvara::MaskFromHostBits(0), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(kvara::MaskFromHostBits(12), QStringLiteral("255.255.240.0"));
    EXPECT_EQ(kvara::MaskFromHostBits(32), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(kvara::MaskFromHostBits(200), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(kvara::SearchKey(QStringLiteral("[AB12]10.77.1.33-10001")), QStringLiteral("[AB12]"));
    EXPECT_EQ(kvara::SearchKey(QStringLiteral("[open")), QString());
    EXPECT_EQ(kvara::SearchKey(QStringLiteral("10.77.1.9-10001")),
              QStringLiteral("10.77.1.9-10001"));
}

TEST_F(LanDialogTest, SearchListsTheMakersReadersOnceAndOthersApart) {
    AddReader(segment, "10.77.1.100", {.configured = Ip("10.77.1.100")});
    AddReader(segment, "10.77.1.33", {.name = "AB12"});
    AddReader(segment, "10.77.1.50", {.configured = Ip("10.77.1.50"), .deviceText = "xp-9000"});
    kvara::CIPAddrSuche search;
    ASSERT_TRUE(search.Refresh());
    QListWidget* list = search.List();
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) {
        texts << list->item(row)->text();
    }
    EXPECT_EQ(texts,
              (QStringList{"10.77.1.100-10001", "[AB12]10.77.1.33-10001", "10.77.1.50-10001"}));
    EXPECT_EQ(list->item(0)->data(Qt::UserRole).toInt(), kvara::kMakersReader);
    EXPECT_EQ(list->item(1)->data(Qt::UserRole).toInt(), kvara::kMakersReader);
    EXPECT_FALSE(list->item(1)->font().italic());
    EXPECT_EQ(list->item(2)->data(Qt::UserRole).toInt(), kvara::kOtherDevice);
    EXPECT_TRUE(list->item(2)->font().italic());
    EXPECT_EQ(list->item(2)->foreground().color(), QColor(255, 0, 0));
    EXPECT_FALSE(Child<QPushButton>(search, "changeButton")->isEnabled());

    list->setCurrentRow(2);  // another maker's device: not a result
    EXPECT_TRUE(Child<QPushButton>(search, "changeButton")->isEnabled());
    search.reject();
    EXPECT_EQ(search.Result(), QString());

    kvara::CIPAddrSuche pick;
    ASSERT_TRUE(pick.Refresh());
    pick.List()->setCurrentRow(1);
    pick.reject();
    EXPECT_EQ(pick.Result(), QStringLiteral("[AB12]10.77.1.33-10001"));
}

TEST_F(LanDialogTest, NothingFoundAsksToRetry) {
    kvara::CIPAddrSuche search;
    answerYes = false;  // Cancel
    EXPECT_FALSE(search.Refresh());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Keine Geräte gefunden!")));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Firewall")));

    // Without a network adapter there is no firewall to blame.
    ASSERT_EQ(std::system(("ip -n " + lib + " link set " + segment + " down").c_str()), 0);
    EXPECT_FALSE(kvara::HasNetworkAdapter());
    EXPECT_FALSE(search.Refresh());
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(QStringLiteral("keine aktive Netzwerkverbindung")))
        << messages[1].toStdString();
    EXPECT_FALSE(messages[1].contains(QStringLiteral("Firewall")));
}

TEST_F(LanDialogTest, LanConfigurationReadsTheReadersSettings) {
    AddReader(segment, "10.77.1.20",
              {.configured = Ip("10.77.1.20"),
               .hostBits = 8,
               .gateway = Ip("10.77.1.254"),
               .tcpPort = 4001,
               .name = "FIX"});
    AddReader(segment, "10.77.1.21", {.name = "AUTO1"});
    kvara::CLanConfig fixed(QStringLiteral("10.77.1.20-4001:1"));
    EXPECT_EQ(fixed.Mode(), 1);
    EXPECT_EQ(Child<QLineEdit>(fixed, "addressField")->text(), QStringLiteral("10.77.1.20"));
    EXPECT_EQ(Child<QLineEdit>(fixed, "maskField")->text(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(Child<QLineEdit>(fixed, "gatewayField")->text(), QStringLiteral("10.77.1.254"));
    EXPECT_EQ(Child<QLineEdit>(fixed, "portField")->text(), QStringLiteral("4001"));
    EXPECT_FALSE(Child<QLineEdit>(fixed, "dhcpName")->isEnabled());

    kvara::CLanConfig automatic(QStringLiteral("10.77.1.21-10001"));
    EXPECT_EQ(automatic.Mode(), 0);
    EXPECT_EQ(Child<QLineEdit>(automatic, "maskField")->text(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(Child<QLineEdit>(automatic, "dhcpName")->text(), QStringLiteral("AUTO1"));
    EXPECT_TRUE(Child<QLineEdit>(automatic, "dhcpName")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(automatic, "addressField")->isEnabled());
    // Switching swaps what can be edited and keeps what the fields hold.
    Child<QRadioButton>(automatic, "fixedRadio")->click();
    EXPECT_EQ(automatic.Mode(), 1);
    EXPECT_TRUE(Child<QLineEdit>(automatic, "addressField")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(automatic, "dhcpName")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(automatic, "dhcpName")->text(), QStringLiteral("AUTO1"));
    Child<QLineEdit>(automatic, "dhcpName")->setText(QStringLiteral("ABCDEFGHIJK"));
    EXPECT_EQ(Child<QLineEdit>(automatic, "dhcpName")->text().size(), 8);

    kvara::CLanConfig nobody(QStringLiteral("10.77.1.99"));  // does not answer
    EXPECT_EQ(nobody.Mode(), -1);
    EXPECT_TRUE(Child<QLineEdit>(nobody, "addressField")->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(nobody, "dhcpName")->isEnabled());
}

TEST_F(LanDialogTest, ApplyingAFixedAddressHandsBackTheNewAddressText) {
    auto& reader = AddReader(segment, "10.77.1.30", {.configured = Ip("10.77.1.30")});
    kvara::CLanConfig dialog(QStringLiteral("10.77.1.30-10001"));
    ASSERT_EQ(dialog.Mode(), 1);
    Child<QLineEdit>(dialog, "addressField")->setText(QStringLiteral("10.77.1.50"));
    dialog.Apply();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_EQ(dialog.ReaderAddress(), QStringLiteral("10.77.1.50-10001"));
    EXPECT_EQ(reader.address, "10.77.1.50");
    EXPECT_TRUE(messages.isEmpty());
}

// A change that cannot be confirmed says that the reader answers at neither address, and
// keeps the dialog open with what the reader last showed.
TEST_F(LanDialogTest, AFailedChangeSaysSoAndReloads) {
    auto& reader = AddReader(segment, "10.77.1.31", {.configured = Ip("10.77.1.31")});
    kvara::CLanConfig dialog(QStringLiteral("10.77.1.31-10001"));
    reader.net->SetFault(kvara::sim::SimNetFault{.silent = true});
    Child<QLineEdit>(dialog, "addressField")->setText(QStringLiteral("10.77.1.60"));
    dialog.Apply();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral(
        "Die Einstellungen konnten nicht bestätigt werden: Der Leser antwortet weder unter "
        "10.77.1.31-10001 noch unter 10.77.1.60-10001.")))
        << messages[0].toStdString();
    EXPECT_NE(dialog.result(), int(QDialog::Accepted));
    EXPECT_TRUE(Child<QPushButton>(dialog, "okButton")->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.ReaderAddress(), QStringLiteral("10.77.1.31-10001"));
}

// The reader takes the new address, but not the gateway: the dialog says what it holds now,
// not that nothing was set, and hands back the new address for the window to reconnect to.
TEST_F(LanDialogTest, APartlyTakenChangeTellsWhatTheReaderHolds) {
    auto& reader = AddReader(segment, "10.77.1.32", {.configured = Ip("10.77.1.32")});
    kvara::CLanConfig dialog(QStringLiteral("10.77.1.32-10001"));
    reader.net->SetFault(kvara::sim::SimNetFault{.unackedWrites = 100});
    Child<QLineEdit>(dialog, "addressField")->setText(QStringLiteral("10.77.1.61"));
    Child<QLineEdit>(dialog, "gatewayField")->setText(QStringLiteral("10.77.1.254"));
    dialog.Apply();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(
        messages[0].startsWith(QStringLiteral("Nicht alle Einstellungen wurden übernommen.")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("IP-Adresse: 10.77.1.61")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Gateway: 0.0.0.0")))
        << messages[0].toStdString();
    EXPECT_EQ(reader.net->Configured(), Ip("10.77.1.61"));
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_EQ(dialog.ReaderAddress(), QStringLiteral("10.77.1.61-10001"));
}

TEST_F(LanDialogTest, InterfaceDialogListsNetworkReadersWhenEthernetIsOn) {
    AddReader(segment, "10.77.1.40", {.configured = Ip("10.77.1.40")});
    kvara::WriteInt(kvara::keys::kEthernet, 1);
    kvara::WriteText(kvara::keys::kPortName, QStringLiteral("LAN: 10.77.1.40-10001"));
    {
        kvara::CPortSelectDlg dialog;  // it answers where it was: kept
        EXPECT_TRUE(dialog.LanChosen());
        EXPECT_EQ(dialog.InterfaceName(), QStringLiteral("LAN: 10.77.1.40-10001"));
        dialog.InitDialog();
        auto* list = Child<QListWidget>(dialog, "interfaceList");
        EXPECT_EQ(list->findItems(QStringLiteral("LAN: 10.77.1.40-10001"), Qt::MatchExactly).size(),
                  1);
        EXPECT_EQ(list->currentItem()->text(), QStringLiteral("LAN: 10.77.1.40-10001"));
    }
    kvara::WriteText(kvara::keys::kPortName, QStringLiteral("LAN: 10.77.1.77-10001"));
    {
        kvara::CPortSelectDlg dialog;  // gone: the first reader found takes its place
        EXPECT_EQ(dialog.InterfaceName(), QStringLiteral("LAN: 10.77.1.40-10001"));
        EXPECT_TRUE(dialog.LanChosen());
    }
    EXPECT_EQ(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("LAN: 10.77.1.40-10001"));
}

// A network reader picked through "IP ?" has no baud rate, parity or stop bits: the dialog
// greys them out as it does for a network reader selected in its list.
TEST_F(LanDialogTest, AReaderPickedThroughTheSearchHasNoSerialLine) {
    AddReader(segment, "10.77.1.45", {.configured = Ip("10.77.1.45")});
    kvara::test::ScopedDeviceStandIn stand;
    stand.devices->AddUsbSerial("/dev/ttyS0", "");
    kvara::WriteInt(kvara::keys::kEthernet, 1);
    kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/ttyS0"));
    kvara::CPortSelectDlg dialog;
    dialog.InitDialog();
    QCoreApplication::processEvents();
    auto* baud = Child<QComboBox>(dialog, "baudCombo");
    ASSERT_TRUE(baud->isEnabled());
    QTimer pick;
    pick.setInterval(5);
    QObject::connect(&pick, &QTimer::timeout, [&] {
        if (auto* search = qobject_cast<kvara::CIPAddrSuche*>(QApplication::activeModalWidget())) {
            search->List()->setCurrentRow(0);
            search->reject();
        }
    });
    pick.start();
    Child<QPushButton>(dialog, "ipButton")->click();
    pick.stop();
    QCoreApplication::processEvents();  // the refresh the dialog asked for
    EXPECT_EQ(dialog.InterfaceName(), QStringLiteral("LAN: 10.77.1.45-10001"));
    EXPECT_EQ(Child<QListWidget>(dialog, "interfaceList")->currentItem()->text(),
              QStringLiteral("LAN: 10.77.1.45-10001"));
    EXPECT_TRUE(dialog.LanChosen());
    EXPECT_FALSE(baud->isEnabled());
    EXPECT_FALSE(Child<QComboBox>(dialog, "parityCombo")->isEnabled());
    EXPECT_FALSE(Child<QComboBox>(dialog, "stopBitsCombo")->isEnabled());
}

// The address fields keep an address's shape as it is typed, but never cut a number: an octet
// above 255 turns the field red and OK refuses it, naming the field; so does an incomplete
// address, before the reader is asked.
TEST_F(LanDialogTest, AddressFieldsRefuseOctetsAbove255WithoutCuttingThem) {
    kvara::CLanConfig dialog(QStringLiteral("10.77.1.99"));  // nobody answers: every field editable
    auto* address = Child<QLineEdit>(dialog, "addressField");
    address->clear();
    QTest::keyClicks(address, QStringLiteral("10.77.9.300"));
    EXPECT_EQ(address->text(), QStringLiteral("10.77.9.300"));
    EXPECT_FALSE(address->styleSheet().isEmpty());
    auto* mask = Child<QLineEdit>(dialog, "maskField");
    mask->clear();
    QTest::keyClicks(mask, QStringLiteral("255.255.2555.0"));
    EXPECT_EQ(mask->text(), QStringLiteral("255.255.255.0"));
    EXPECT_TRUE(mask->styleSheet().isEmpty());
    Child<QLineEdit>(dialog, "gatewayField")->setText(QStringLiteral("10.77.1.1"));
    Child<QLineEdit>(dialog, "portField")->setText(QStringLiteral("10001"));
    Child<QRadioButton>(dialog, "fixedRadio")->click();
    dialog.Apply();
    address->setText(QStringLiteral("10.77.1"));
    dialog.Apply();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].startsWith(
        QStringLiteral("„IP-Adresse“: Keine gültige IP-Adresse: 10.77.9.300")))
        << messages[0].toStdString();
    EXPECT_TRUE(
        messages[1].startsWith(QStringLiteral("„IP-Adresse“: Keine gültige IP-Adresse: 10.77.1")))
        << messages[1].toStdString();
    EXPECT_NE(dialog.result(), int(QDialog::Accepted));
    EXPECT_TRUE(Child<QPushButton>(dialog, "okButton")->isVisibleTo(&dialog));
}

// The manual's pictures of the reader search and the LAN configuration, in German and English
// (scripts/screenshots; skipped otherwise).
TEST_F(LanDialogTest, Screenshots) {
    if (!kvara::test::ScreenshotsWanted()) {
        GTEST_SKIP() << "KVARA_SCREENSHOT_DIR is not set";
    }
    QApplication::setWindowIcon(kvara::ProgramIcon());  // as the program sets it
    AddReader(segment, "10.77.1.100",
              {.configured = Ip("10.77.1.100"), .hostBits = 8, .gateway = Ip("10.77.1.1")});
    AddReader(segment, "10.77.1.33", {.name = "AB12"});
    AddReader(segment, "10.77.1.50", {.configured = Ip("10.77.1.50"), .deviceText = "xp-9000"});
    for (const QString& language : {QStringLiteral("de"), QStringLiteral("en")}) {
        QTranslator english;
        if (language == QLatin1String("en")) {
            ASSERT_TRUE(english.load(QStringLiteral(KVARA_CATALOGUE)));
            QCoreApplication::installTranslator(&english);
        }
        {
            kvara::CIPAddrSuche search;
            ASSERT_TRUE(search.Refresh());
            search.List()->setCurrentRow(0);
            search.show();
            EXPECT_TRUE(kvara::test::SaveScreenshot(language + QStringLiteral("/reader-search.png"),
                                                    {&search}));
        }
        {
            kvara::CLanConfig config(QStringLiteral("10.77.1.100-10001"));
            config.show();
            EXPECT_TRUE(kvara::test::SaveScreenshot(language + QStringLiteral("/lan-config.png"),
                                                    {&config}));
        }
        QCoreApplication::removeTranslator(&english);
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");  // scripts/screenshots sets xcb
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
