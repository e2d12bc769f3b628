// The real main window on the offscreen platform, driven against the simulated reader on a
// pseudo terminal.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <array>
#include <memory>
#include <tuple>

#include "reader/kvara.h"
#include "settings/settings.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "ui/app.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"
#include "ui/device_monitor.h"
#include "ui/port_select_dlg.h"
#include "ui/qt_hooks.h"
#include "ui/about_dlg.h"
#include "ui/label.h"
#include "update/version_check.h"
#include "tests/support/https_fixture.h"
#include "ui/sperren_dlg.h"
#include <QGroupBox>
#include <QRadioButton>
#include "ui/tx_power_dlg.h"
#include "tests/fakes/fake_hidapi.h"
#include "tests/support/device_stand_in.h"
#include <QAction>
#include <QComboBox>
#include <QMenu>

using kvara::ByteBuffer;
using kvara::CKvara_ProgrammerDlg;
using kvara::sim::SimConfig;
using kvara::sim::SimFault;
using kvara::sim::SimTag;

namespace {

const ByteBuffer kEpcA = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};
const ByteBuffer kEpcB = {0xBB, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};
const ByteBuffer kEpcC = {0xCC, 0x01, 0x02, 0x03};

ByteBuffer Mode0Answer(const ByteBuffer& data) {
    ByteBuffer frame = {0x02, 0x01, 0x00, static_cast<std::uint8_t>(data.size())};
    for (std::uint8_t b : data) {
        frame.push_back(b);
    }
    std::uint8_t bcc = 0;
    for (std::size_t i = 1; i < frame.size(); ++i) {
        bcc ^= frame[i];
    }
    frame.push_back(bcc);
    return frame;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_config;
    std::shared_ptr<kvara::sim::SimReader> m_reader;
    std::unique_ptr<kvara::sim::PtyServer> m_server;
    std::unique_ptr<CKvara_ProgrammerDlg> m_window;
    QStringList m_messages;
    bool m_answerYes = true;
    // The interface dialog, when the window shows it: counted and answered by this action
    // (cancelled unless a test says otherwise).
    QTimer m_dialogWatch;
    int m_portDialogs = 0;
    std::function<void(kvara::CPortSelectDlg*)> m_portDialogAction;
    // The lock dialog: each showing is answered by the next action (cancelled when none).
    std::vector<std::function<void(kvara::CSperrenDlg*)>> m_lockActions;
    int m_lockDialogs = 0;
    // The update server of these tests; about boxes that open on their own are counted, the
    // most of them open at once, and the lines of the last one.
    std::unique_ptr<kvara::test::HttpsServer> m_updates;
    int m_aboutDialogs = 0;
    int m_mostAboutBoxes = 0;
    QStringList m_aboutLines;
    // While set and false for a box, that box stays open.
    std::function<bool(kvara::CAboutDlg*)> m_aboutReady;

    void ServeVersions(const std::string& software, const std::string& devices) {
        m_updates->Put("/rfid/software/RFIDVersionsUHF.txt", software);
        m_updates->Put("/rfid/software/RFIDDeviceVersions.txt", devices);
        kvara::SoftwareCheck().ResetForTesting();
        kvara::DeviceCheck().ResetForTesting();
    }

    void StartReader(SimConfig config, std::vector<SimTag> tags) {
        m_reader = std::make_shared<kvara::sim::SimReader>(config);
        m_reader->SetTags(std::move(tags));
        m_server = std::make_unique<kvara::sim::PtyServer>(m_reader);
        QVERIFY(m_server->Start());
        kvara::WriteText(kvara::keys::kPortName, QString::fromStdString(m_server->Path()));
    }

    void OpenWindow() {
        m_window = std::make_unique<CKvara_ProgrammerDlg>();
        m_window->InitDialog();
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = m_window->findChild<T*>(QLatin1String(name));
        if (widget == nullptr) {
            qFatal("no widget %s", name);
        }
        return widget;
    }
    QLineEdit* Field(const char* name) { return Find<QLineEdit>(name); }
    void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
    void Type(const char* name, const QString& text) {
        QLineEdit* field = Field(name);
        field->setFocus();
        field->setText(text);
    }
    std::vector<kvara::sim::SimRequest> RequestsOf(std::uint8_t command) {
        std::vector<kvara::sim::SimRequest> found;
        for (const auto& r : m_reader->Requests()) {
            if (r.command == command) {
                found.push_back(r);
            }
        }
        return found;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        kvara::InstallQtHooks();
        kvara::SetMessageResponder([this](const QString& text, bool) {
            m_messages << text;
            return m_answerYes;
        });
        m_updates = std::make_unique<kvara::test::HttpsServer>();
        QVERIFY(m_updates->Running());
        kvara::SetUpdateServer(m_updates->Base(), m_updates->cert);
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
        m_dialogWatch.setInterval(5);
        connect(&m_dialogWatch, &QTimer::timeout, this, [this] {
            if (auto* about = qobject_cast<kvara::CAboutDlg*>(QApplication::activeModalWidget());
                about != nullptr && about->isVisible() && !about->property("answered").toBool()) {
                int open = 0;
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    open += qobject_cast<kvara::CAboutDlg*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
                }
                m_mostAboutBoxes = std::max(m_mostAboutBoxes, open);
                if (m_aboutReady && !m_aboutReady(about)) {
                    return;
                }
                about->setProperty("answered", true);
                ++m_aboutDialogs;
                m_aboutLines = QStringList{about->ProgramLine()->text(), about->FirmwareLine()->text()};
                about->reject();
                return;
            }
            if (auto* lock = qobject_cast<kvara::CSperrenDlg*>(QApplication::activeModalWidget());
                lock != nullptr && lock->isVisible() && lock->property("answered").toInt() != m_lockDialogs + 1) {
                ++m_lockDialogs;
                lock->setProperty("answered", m_lockDialogs);
                if (m_lockActions.empty()) {
                    lock->reject();
                } else {
                    auto action = m_lockActions.front();
                    m_lockActions.erase(m_lockActions.begin());
                    action(lock);
                }
                return;
            }
            auto* dialog = qobject_cast<kvara::CPortSelectDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible() || dialog->property("answered").toBool()) {
                return;
            }
            dialog->setProperty("answered", true);
            ++m_portDialogs;
            if (m_portDialogAction) {
                m_portDialogAction(dialog);
            } else {
                dialog->reject();
            }
        });
        m_dialogWatch.start();
    }

    void init() {
        QFile::remove(m_config.path() + QStringLiteral("/Quarn Applikationen/Kvara Programmer.conf"));
        m_messages.clear();
        m_answerYes = true;
        m_portDialogs = 0;
        m_portDialogAction = nullptr;
        m_lockActions.clear();
        m_lockDialogs = 0;
        m_aboutDialogs = 0;
        m_mostAboutBoxes = 0;
        m_aboutLines.clear();
        m_aboutReady = nullptr;
    }

    void cleanup() {
        if (m_window) {
            Find<QPushButton>("cyclicButton")->setChecked(false);
        }
        m_window.reset();
        if (m_server) {
            m_server->Stop();
        }
        m_server.reset();
        m_reader.reset();
    }

    void connectsAndShowsTheReaderInTheTitle() {
        StartReader(SimConfig{.infoText = "Sim 1"}, {});
        OpenWindow();
        QVERIFY(m_window->ReaderHandle() > 0);
        const QString expected = QStringLiteral("Quarn Kvara Programmer V%1 <Kvara P20 %2:1 FW V1.00[Sim 1]>")
                                     .arg(QStringLiteral(KVARA_PROGRAM_VERSION),
                                          QString::fromStdString(m_server->Path()));
        QCOMPARE(m_window->windowTitle(), expected);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_reader->ReaderMode(), 0);
    }

    void readerOnlyModelIsRefused() {
        StartReader(SimConfig{.deviceType = "3110"}, {});
        OpenWindow();
        QCOMPARE(m_window->ReaderHandle(), 0);
        QCOMPARE(m_messages.value(0),
                 QStringLiteral("Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!"));
        QCOMPARE(m_portDialogs, 1);  // the interface dialog follows
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" <>")));
    }

    void inventoryOfThreeTagsSelectsTheAlphabeticallyFirst() {
        StartReader({}, {SimTag::WithEpc(kEpcB), SimTag::WithEpc(kEpcC), SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("3"));
        QCOMPARE(Find<QListWidget>("epcList")->count(), 3);
        QCOMPARE(Field("epcEdit")->text(), QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B"));
        QCOMPARE(RequestsOf(0xC0).size(), std::size_t{3});
    }

    void epcReadOfFourBytesShowsCrcAndPcOnly() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Type("epcField", QStringLiteral("11 22"));
        m_reader->PushFault(SimFault{.raw = Mode0Answer({0x12, 0x34, 0x30, 0x05}), .forCommand = 0xC3});
        Click("epcReadButton");
        QCOMPARE(Field("crcField")->text(), QStringLiteral("12 34"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("30 05"));
        QCOMPARE(Field("epcField")->text(), QString());
        QCOMPARE(Field("epcLengthField")->text(), QStringLiteral("0"));
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("12"));
        QCOMPARE(Field("afiField")->text(), QStringLiteral("5"));
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
    }

    void epcWriteCodesTheLengthIntoThePcWord() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.epcBank[2] |= 0x06;  // bits 1-2 of the PC, which the write keeps
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
        Click("epcReadButton");
        QCOMPARE(Field("pcField")->text(), QStringLiteral("36 00"));
        const QString newEpc = QStringLiteral("E2 00 00 00 00 00 00 00 00 00 12 34");
        Type("epcField", newEpc);
        Type("useLengthField", QStringLiteral("12"));
        Type("afiField", QStringLiteral("0"));
        Find<QCheckBox>("isoCheck")->setChecked(false);
        Click("epcWriteButton");
        const auto writes = RequestsOf(0xC4);
        QCOMPARE(writes.size(), std::size_t{1});
        ByteBuffer expected = {1, 1, 0, 0, 0x36, 0x00, 0xE2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};
        QCOMPARE(writes[0].payload, expected);
        QCOMPARE(m_reader->Tags()[0].Epc(), ByteBuffer(expected.begin() + 6, expected.end()));
        // Found again under the new EPC after the field went off and on.
        QCOMPARE(Field("epcEdit")->text(), newEpc);
        QVERIFY(!RequestsOf(0xF5).empty());
    }

    void useLengthFieldReactsAtOnceAndRoundsDownOnLeaving() {
        StartReader({}, {});
        OpenWindow();
        Field("pcField")->setText(QStringLiteral("07 00"));
        Type("useLengthField", QStringLiteral("13"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("37 00"));  // 6 words
        Field("afiField")->setFocus();
        QCOMPARE(Field("useLengthField")->text(), QStringLiteral("12"));
        Type("useLengthField", QStringLiteral("64"));  // 32 words: only five bits remain
        QCOMPARE(Field("pcField")->text(), QStringLiteral("07 00"));
        Type("afiField", QStringLiteral("255"));
        QCOMPARE(Field("pcField")->text(), QStringLiteral("07 FF"));
        QTest::mouseClick(Find<QCheckBox>("isoCheck"), Qt::LeftButton);
        QVERIFY(Find<QCheckBox>("isoCheck")->isChecked());
        QCOMPARE(Field("pcField")->text(), QStringLiteral("07 FF"));
        QTest::mouseClick(Find<QCheckBox>("isoCheck"), Qt::LeftButton);
        QCOMPARE(Field("pcField")->text(), QStringLiteral("06 FF"));
        Type("epcField", QStringLiteral("AB CD EF"));
        QCOMPARE(Field("epcLengthField")->text(), QStringLiteral("3"));
    }

    void userWriteAsksAboutTheLength() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Type("userLengthField", QStringLiteral("4"));
        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("11 22"));
        m_answerYes = true;
        Click("userWriteButton");
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].startsWith(QStringLiteral("Angegebene Datenlänge")));
        QCOMPARE(RequestsOf(0xC4).back().payload, (ByteBuffer{3, 0, 0, 0, 0x11, 0x22, 0x00, 0x00}));
        QCOMPARE(Find<QPlainTextEdit>("userDataField")->toPlainText(), QStringLiteral("11 22 00 00"));
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));

        Find<QPlainTextEdit>("userDataField")->setPlainText(QStringLiteral("11 22"));
        m_answerYes = false;
        Click("userWriteButton");
        QCOMPARE(RequestsOf(0xC4).back().payload, (ByteBuffer{3, 0, 0, 0, 0x11, 0x22}));
        QCOMPARE(Field("userLengthField")->text(), QStringLiteral("2"));

        // A length the data buffer cannot hold is refused: nothing is written.
        const std::size_t writes = RequestsOf(0xC4).size();
        Type("userLengthField", QStringLiteral("300"));
        m_answerYes = true;
        Click("userWriteButton");
        QCOMPARE(RequestsOf(0xC4).size(), writes);
        QVERIFY(m_window->StatusText().startsWith(QStringLiteral("Fehler")));
    }

    void accessPasswordWriteCopiesIntoTheThreePasswordFields() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        Type("accessField", QStringLiteral("11 22 33 44"));
        Click("accessWriteButton");
        QCOMPARE(RequestsOf(0xC4).back().payload, (ByteBuffer{0, 2, 0, 0, 0x11, 0x22, 0x33, 0x44}));
        for (const char* name : {"epcPassword", "userPassword", "resPassword"}) {
            QCOMPARE(Field(name)->text(), QStringLiteral("11223344"));
        }
        // The new password is now needed and used for a protected read.
        Find<QCheckBox>("resUsePassword")->setChecked(true);
        Click("accessReadButton");
        QCOMPARE(RequestsOf(0xC3).back().payload,
                 (ByteBuffer{0, 2, 0, 0, 4, 0x11, 0x22, 0x33, 0x44}));
        QCOMPARE(Field("accessField")->text(), QStringLiteral("11 22 33 44"));

        Type("killField", QStringLiteral("11 22 33"));
        const std::size_t writes = RequestsOf(0xC5).size() + RequestsOf(0xC4).size();
        Click("killWriteButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Das Passwort muss 4 Byte lang sein!"));
        QCOMPARE(RequestsOf(0xC5).size() + RequestsOf(0xC4).size(), writes);
    }

    void readAllWithoutAReader() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        QCOMPARE(m_messages.value(0), QStringLiteral("Fehler beim Port öffnen"));
        QCOMPARE(m_window->ReaderHandle(), 0);
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" <>")));
        Click("readAllButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein Zugriff auf Gerät möglich"));
        Click("epcReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein Zugriff auf Gerät möglich"));
    }

    void cyclicToggleWithoutAReaderStaysPressedAndKeepsTheWindowOpen() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        Click("cyclicButton");
        QVERIFY(m_window->CyclicPressed());
        QVERIFY(!m_window->CyclicRunning());
        Click("closeButton");
        QVERIFY(m_window->isVisible());
        m_window->reject();
        QVERIFY(m_window->isVisible());
        Click("cyclicButton");
        QVERIFY(!m_window->CyclicPressed());
        Click("closeButton");
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->result(), kvara::kEndQuit);
    }

    void cyclicInventoryKeepsTheWindowEnabledAndEndsOnRelease() {
        StartReader(SimConfig{.answerDelayMs = 5}, {SimTag::WithEpc(kEpcA), SimTag::WithEpc(kEpcB)});
        OpenWindow();
        bool windowEnabledDuring = false;
        bool readButtonDisabledDuring = false;
        QTimer::singleShot(150, this, [&] {
            windowEnabledDuring = m_window->isEnabled();
            readButtonDisabledDuring = !Find<QPushButton>("epcReadButton")->isEnabled();
            QTest::mouseClick(Find<QPushButton>("cyclicButton"), Qt::LeftButton);
        });
        Click("cyclicButton");  // returns when the loop has ended
        QVERIFY(windowEnabledDuring);
        QVERIFY(readButtonDisabledDuring);
        QVERIFY(!m_window->CyclicRunning());
        QVERIFY(Find<QPushButton>("epcReadButton")->isEnabled());
        QVERIFY(Find<QPushButton>("lockButton")->isEnabled());
        QCOMPARE(Field("countField")->text(), QStringLiteral("2"));
        QVERIFY(RequestsOf(0xC0).size() >= 4);
    }

    void windowIsDisabledWhileACommandWaits() {
        StartReader(SimConfig{.answerDelayMs = 150}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        bool enabledDuring = true;
        QTimer::singleShot(60, this, [&] { enabledDuring = m_window->isEnabled(); });
        Click("tidReadButton");
        QVERIFY(!enabledDuring);
        QVERIFY(m_window->isEnabled());
    }

    void statusLineCarriesTheReaderErrorInAngleBrackets() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        m_reader->PushFault(SimFault{.status = 0x17, .forCommand = 0xC3});
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler beim Lesen <Kollision Fehler>"));
        QCOMPARE(Field("tidField")->text(), QString());
        m_reader->PushFault(SimFault{.status = 0xFF, .forCommand = 0xC3});
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler beim Lesen <Unbekannter Fehler (-1) aufgetreten!>"));
        Type("epcEdit", QStringLiteral("DE AD"));
        Click("tidReadButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler bei Select"));
        m_reader->PushFault(SimFault{.status = 21, .forCommand = 0xC0});
        Click("inventoryButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Kein gültiger Transponder vorhanden!"));
        QCOMPARE(Field("countField")->text(), QStringLiteral("0"));
    }

    void readAllFillsEveryBank() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.user = {0x10, 0x20, 0x30, 0x40};
        tag.reserved = {1, 2, 3, 4, 5, 6, 7, 8};
        StartReader({}, {tag});
        OpenWindow();
        Click("readAllButton");
        QCOMPARE(Field("epcField")->text(), QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B"));
        QCOMPARE(Field("tidField")->text().left(11), QStringLiteral("E2 80 11 05"));
        // The simulated tags carry an Impinj Monza 4QT TID: names from the catalogue beside the
        // program, the numbers behind them.
        QCOMPARE(Field("manufacturerField")->text(), QStringLiteral("Impinj"));
        QCOMPARE(Field("modelField")->text(), QStringLiteral("Monza 4QT"));
        QCOMPARE(Field("modelField")->toolTip(), QStringLiteral("MDID 0x001, TMN 0x105"));
        QCOMPARE(Find<QPlainTextEdit>("userDataField")->toPlainText(), QStringLiteral("10 20 30 40"));
        QCOMPARE(Field("userLengthField")->text(), QStringLiteral("4"));
        QCOMPARE(Field("killField")->text(), QStringLiteral("01 02 03 04"));
        QCOMPARE(Field("accessField")->text(), QStringLiteral("05 06 07 08"));
        QCOMPARE(m_window->StatusText(), QStringLiteral("Lesen erfolgreich"));
    }

    void hostileTextNeverWritesWithoutAWriteButton() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        Click("inventoryButton");
        const QString junk = QString(10000, QLatin1Char('Z')) + QStringLiteral("\n\r\t%s%n");
        for (const char* name : {"epcEdit", "epcField", "epcPassword", "userPassword", "resPassword",
                                 "killField", "accessField", "userStartField", "userLengthField",
                                 "useLengthField", "afiField"}) {
            Field(name)->setText(junk);
        }
        Find<QPlainTextEdit>("userDataField")->setPlainText(junk);
        for (const char* button : {"inventoryButton", "readAllButton", "epcReadButton", "tidReadButton",
                                   "userReadButton", "killReadButton", "accessReadButton"}) {
            Click(button);
        }
        QVERIFY(RequestsOf(0xC4).empty());
        QVERIFY(RequestsOf(0xC5).empty());
        // Fields that only take digits refused the letters; with them empty the operations
        // stop at the whole-number check.
        QVERIFY(!m_messages.isEmpty());
        QCOMPARE(m_messages.last(), QStringLiteral("Geben Sie eine ganze Zahl ein."));
    }

    void corruptSettingsFallBackToDefaults() {
        const QString dir = m_config.path() + QStringLiteral("/Quarn Applikationen");
        QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/Kvara Programmer.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x01\x02[Port\nTimeout=abc\nBaudrate=1e99\n[Version]\nUpdate=@Variant(garbage)\n"
                   "[Settings]\nSprache=1,2\n\xff\xfe\n");
        file.close();
        QCOMPARE(kvara::ReadInt(kvara::keys::kTimeout), 500);
        QCOMPARE(kvara::ReadInt(kvara::keys::kBaudrate), 19200);
        QCOMPARE(kvara::ReadInt(kvara::keys::kUpdate), 1);
        QCOMPARE(kvara::ReadInt(kvara::keys::kLanguage), 0);
        QCOMPARE(kvara::ReadInt(kvara::keys::kAddress), 1);
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QString());
        kvara::WriteInt(kvara::keys::kTimeout, 750);
        QCOMPARE(kvara::ReadInt(kvara::keys::kTimeout), 750);
    }

    void placementIsSavedAndRestoredInsideTheScreens() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        kvara::WriteInt(kvara::keys::kLeft, -5000);
        kvara::WriteInt(kvara::keys::kTop, 40);
        kvara::WriteInt(kvara::keys::kRight, -5000 + 300);
        kvara::WriteInt(kvara::keys::kBottom, 40 + 200);
        OpenWindow();
        QCOMPARE(m_window->frameGeometry().left(), 0);
        QCOMPARE(m_window->frameGeometry().top(), 40);
        m_window->move(30, 50);
        m_window.reset();
        QCOMPARE(kvara::ReadInt(kvara::keys::kLeft), 30);
        QCOMPARE(kvara::ReadInt(kvara::keys::kTop), 50);
        QVERIFY(kvara::ReadInt(kvara::keys::kRight) > 30);
    }

    void englishCatalogueFollowsTheLanguageSetting() {
        kvara::CKvara_ProgrammerApp app;
        app.ChooseLanguage();
        QVERIFY(!app.EnglishLoaded());
        kvara::WriteInt(kvara::keys::kLanguage, 1);
        app.ChooseLanguage();
        QVERIFY(app.EnglishLoaded());
        QCOMPARE(QCoreApplication::translate("kvara::CKvara_ProgrammerDlg", "Lesen"), QStringLiteral("Read"));
        QCOMPARE(QCoreApplication::translate("StringTable", "Kollision Fehler"), QStringLiteral("Collision error"));
        kvara::WriteInt(kvara::keys::kLanguage, 0);
        app.ChooseLanguage();
        QVERIFY(!app.EnglishLoaded());
        QCOMPARE(QCoreApplication::translate("kvara::CKvara_ProgrammerDlg", "Lesen"), QStringLiteral("Lesen"));
    }

    // --- the interface dialog ---

    void lineValuesShowAsBaudParityAndStopBits() {
        const std::pair<int, std::array<const char*, 3>> cases[] = {
            {9601, {"9600", "gerade", "1"}}, {19203, {"19200", "keine", "2"}}, {19250, {"19200", "keine", "1"}},
            {19202, {"19200", "ungerade", "1"}}, {12345, {"", "keine", "1"}}};
        for (const auto& [line, shown] : cases) {
            kvara::WriteInt(kvara::keys::kBaudrate, line);
            kvara::CPortSelectDlg dialog;
            dialog.InitDialog();
            QCOMPARE(dialog.findChild<QComboBox*>("baudCombo")->currentText(), QLatin1String(shown[0]));
            QCOMPARE(dialog.findChild<QComboBox*>("parityCombo")->currentText(), QLatin1String(shown[1]));
            QCOMPARE(dialog.findChild<QComboBox*>("stopBitsCombo")->currentText(), QLatin1String(shown[2]));
        }
    }

    void okStoresTheLineValueAndValidatesItsNumbers() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial("/dev/ttyUSB0", "");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        dialog.findChild<QComboBox*>("baudCombo")->setCurrentText(QStringLiteral("9600"));
        dialog.findChild<QComboBox*>("parityCombo")->setCurrentIndex(1);
        dialog.findChild<QComboBox*>("stopBitsCombo")->setCurrentIndex(1);
        dialog.findChild<QListWidget*>("interfaceList")->setCurrentRow(0);
        dialog.findChild<QLineEdit*>("timeoutField")->setText(QStringLiteral("5"));
        dialog.accept();
        QCOMPARE(m_messages.value(0), QStringLiteral("Geben Sie eine ganze Zahl zwischen 10 und 300000 ein."));
        QCOMPARE(dialog.result(), 0);
        dialog.findChild<QLineEdit*>("timeoutField")->setText(QStringLiteral("800"));
        dialog.findChild<QLineEdit*>("addressField")->setText(QStringLiteral("256"));
        dialog.accept();
        QCOMPARE(m_messages.value(1), QStringLiteral("Geben Sie eine ganze Zahl zwischen 1 und 255 ein."));
        dialog.findChild<QLineEdit*>("addressField")->setText(QStringLiteral("7"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(kvara::ReadInt(kvara::keys::kBaudrate), 9601);
        QCOMPARE(kvara::ReadInt(kvara::keys::kTimeout), 800);
        QCOMPARE(kvara::ReadInt(kvara::keys::kAddress), 7);
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("/dev/ttyUSB0"));
    }

    void savedNamesAreCheckedAtConstruction() {
        kvara::test::ScopedDeviceStandIn stand;
        {
            kvara::CPortSelectDlg dialog;  // nothing saved: COM1, written back
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("COM1"));
        }
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("COM1"));
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("USB: 52601234 HID"));
        {
            kvara::CPortSelectDlg dialog;  // that USB reader is gone and no other is there
            QCOMPARE(dialog.InterfaceName(), QString());
        }
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QString());
        stand.devices->hid = {{0x7A3C, 0x0C5C, "52605555", true, "/dev/hidraw0"}};
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("USB: 52601234 HID"));
        {
            kvara::CPortSelectDlg dialog;  // gone, but another of the maker's readers is there
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("USB: 52605555 HID"));
        }
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName), QStringLiteral("USB: 52605555 HID"));
        {
            kvara::CPortSelectDlg dialog;  // present: kept
            dialog.InitDialog();
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("USB: 52605555 HID"));
            QVERIFY(!dialog.findChild<QComboBox*>("baudCombo")->isEnabled());
            QVERIFY(dialog.findChild<QPushButton*>("hidModeButton")->isEnabled() == false);
        }
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("LAN: 10.0.0.5"));
        kvara::WriteInt(kvara::keys::kEthernet, 0);
        {
            kvara::CPortSelectDlg dialog;  // not checked while Ethernet is off...
            QCOMPARE(dialog.InterfaceName(), QStringLiteral("LAN: 10.0.0.5"));
            dialog.InitDialog();  // ...but nothing in the list matches it
            QCOMPARE(dialog.InterfaceName(), QString());
        }
    }

    void modeButtonsFollowTheSelectedEntry() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial("/dev/ttyS0", "");
        stand.devices->AddUsbSerial("/dev/ttyACM4", "CDC", "USB\\VID_7A3C&PID_0C5D");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        auto* list = dialog.findChild<QListWidget*>("interfaceList");
        auto* hid = dialog.findChild<QPushButton*>("hidModeButton");
        auto* vcom = dialog.findChild<QPushButton*>("virtualComButton");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QStringLiteral("/dev/ttyACM4 [Quarn Virtual COM]"));
        list->setCurrentRow(1);
        QVERIFY(vcom->isChecked() && vcom->isEnabled());
        QVERIFY(!hid->isChecked() && hid->isEnabled());
        list->setCurrentRow(0);
        QVERIFY(!vcom->isEnabled() && !hid->isEnabled());
        QVERIFY(!vcom->isChecked() && !hid->isChecked());
    }

    void hidModeSwitchesAVirtualComReader() {
        StartReader({}, {});
        kvara::WriteText(kvara::keys::kPortName, QString());
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial(m_server->DevicePath(), "CDC", "USB\\VID_7A3C&PID_0C5D");
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        auto* list = dialog.findChild<QListWidget*>("interfaceList");
        list->setCurrentRow(0);
        dialog.findChild<QPushButton*>("hidModeButton")->click();
        QCOMPARE(m_reader->UsbMode(), 1);
        QCOMPARE(dialog.InterfaceName(), QString());
    }

    void aDeviceArrivalBringsSeventeenRefreshes() {
        kvara::test::ScopedDeviceStandIn stand;
        kvara::CPortSelectDlg::SetRefreshPeriodForTesting(5);
        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        QCoreApplication::processEvents();  // the refresh the dialog asks for at its start
        const int before = dialog.RefreshCount();
        stand.devices->AddUsbSerial("/dev/ttyUSB3", "");
        dialog.OnDeviceChange(kvara::kDeviceArrival);
        QCOMPARE(dialog.RefreshCount(), before + 1);
        QVERIFY(dialog.findChild<QListWidget*>("interfaceList")->count() == 1);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.RefreshTimerRunning(), 3000);
        QTest::qWait(30);
        QCOMPARE(dialog.RefreshCount(), before + 1 + 17);
        // A code that is neither an arrival nor a change refreshes nothing.
        dialog.OnDeviceChange(kvara::kDeviceRemoveComplete);
        QCOMPARE(dialog.RefreshCount(), before + 1 + 17);
        kvara::CPortSelectDlg::SetRefreshPeriodForTesting(1000);
    }

    void missingDriverIsOfferedOnceAndRefreshesTwice() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->usb = {{"USB\\VID_7A3C&PID_0C5D", false}};
        m_answerYes = false;
        {
            kvara::CPortSelectDlg dialog;
            m_messages.clear();
            dialog.InitDialog();
            QCoreApplication::processEvents();  // the dialog's first refresh asks, then refreshes again
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages[0], QStringLiteral("Kein Quarn USB Treiber für VCOM Gerät installiert!\nTreiber laden und installieren?\n"));
            QCOMPARE(dialog.RefreshCount(), 2);
            // The same device at the next refreshes: the question is not asked again.
            for (int i = 0; i < 17; ++i) {
                dialog.OnDeviceChange(kvara::kRefreshRequest);
            }
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(dialog.RefreshCount(), 2 + 17);
            // An FTDI reader without a kernel driver, with the FTDI library there (the tests'
            // build of it): nothing is missing.
            stand.devices->usb.push_back({"USB\\VID_0403&PID_E5A1", false});
            dialog.OnDeviceChange(kvara::kDeviceRemoveComplete);
            QCOMPARE(m_messages.size(), 1);
        }
        // Another dialog asks once more.
        kvara::CPortSelectDlg again;
        again.InitDialog();
        QCoreApplication::processEvents();
        QCOMPARE(m_messages.size(), 2);
    }

    // --- the main window's connection and menu ---

    void typeAnswerWithItsFirmwareDigitInTheTitle() {
        for (const auto& [type, title, recorded] :
             {std::tuple{"3225", "FW V1.05", "1.05"}, std::tuple{"322a", "FW V1.10", "1.36"}}) {
            StartReader(SimConfig{.deviceType = type, .infoText = ""}, {});
            OpenWindow();
            const QString tail = QStringLiteral("Kvara P30 %1:1 %2>").arg(QString::fromStdString(m_server->Path()), QLatin1String(title));
            QVERIFY2(m_window->windowTitle().endsWith(tail), qPrintable(m_window->windowTitle()));
            QCOMPARE(m_window->RecordedFirmware(), QLatin1String(recorded));
            QCOMPARE(m_window->RecordedModelCode(), QStringLiteral("322"));
            cleanup();
        }
    }

    void transmitPowerOnlyForP20AndP30() {
        StartReader(SimConfig{.deviceType = "3130"}, {});
        OpenWindow();
        m_window->OnTransmitPower();
        QCOMPARE(m_messages.value(0), QStringLiteral("Diese Funktion kann nur bei Kvara P20 oder Kvara P30 verwendet werden!"));
        cleanup();
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        m_messages.clear();
        m_window->OnTransmitPower();
        QCOMPARE(m_messages.value(0), QStringLiteral("Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"));
    }

    void transmitPowerDialogReadsAndStores() {
        StartReader(SimConfig{.txPower = 205}, {});
        OpenWindow();
        kvara::CTXPowerDlg dialog(m_window->ReaderHandle());
        auto* list = dialog.findChild<QComboBox*>("powerList");
        QCOMPARE(list->currentText(), QStringLiteral("20"));
        list->setCurrentText(QStringLiteral("27"));
        QTest::mouseClick(dialog.findChild<QPushButton*>("powerWriteButton"), Qt::LeftButton);
        QCOMPARE(m_reader->Requests().back().payload, (ByteBuffer{0x0E, 0x01, 0x01}));
        QCOMPARE(m_reader->StoredTxPower(), 270);
        QCOMPARE(kvara::CTXPowerDlg::IndexOfPower(280), -1);
        QCOMPARE(kvara::CTXPowerDlg::IndexOfPower(129), -1);
        QCOMPARE(kvara::CTXPowerDlg::IndexOfPower(200), 7);
        m_reader->PushFault(SimFault{.status = 0x16, .forCommand = 0x08});
        QTest::mouseClick(dialog.findChild<QPushButton*>("powerWriteButton"), Qt::LeftButton);
        QCOMPARE(m_messages.value(0), QStringLiteral("Einstellung für Sendeleistung kann nicht im Gerät gespeichert werden!"));
        // A reading out of range leaves no selection, and nothing can be written then.
        m_reader->SetConfig(SimConfig{.txPower = 300});
        QTest::mouseClick(dialog.findChild<QPushButton*>("powerReadButton"), Qt::LeftButton);
        QCOMPARE(list->currentIndex(), -1);
        QVERIFY(!dialog.findChild<QPushButton*>("powerWriteButton")->isEnabled());
    }

    void languageEntriesFollowTheSetting() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        for (const auto& [language, german, english] :
             {std::tuple{0, false, true}, std::tuple{1, true, false}, std::tuple{2, true, true}}) {
            kvara::WriteInt(kvara::keys::kLanguage, language);
            OpenWindow();
            QCOMPARE(m_window->SystemMenu()->findChild<QAction*>("germanAction") != nullptr, german);
            QCOMPARE(m_window->SystemMenu()->findChild<QAction*>("englishAction") != nullptr, english);
            QVERIFY(!m_window->SystemMenu()->findChild<QAction*>("ipAction")->isEnabled());
            m_window.reset();
        }
        OpenWindow();
        m_window->OnLanguage(1);
        QCOMPARE(m_window->result(), kvara::kEndLanguage);
        QCOMPARE(kvara::ReadInt(kvara::keys::kLanguage), 1);
    }

    void languageEntryDuringTheCyclicInventoryEndsItFirst() {
        StartReader({}, {SimTag::WithEpc(kEpcA)});
        OpenWindow();
        bool runningWhenChosen = false;
        QTimer::singleShot(100, this, [&] {
            runningWhenChosen = m_window->CyclicRunning();
            m_window->OnChooseInterface();  // ignored while the toggle is pressed
            m_window->OnLanguage(0);
        });
        Click("cyclicButton");
        QVERIFY(runningWhenChosen);
        QCOMPARE(m_portDialogs, 0);
        QVERIFY(!m_window->CyclicRunning());
        QCOMPARE(m_window->result(), kvara::kEndLanguage);
        QCOMPARE(kvara::ReadInt(kvara::keys::kLanguage), 0);
    }

    void aNewUserPicksTheReaderFromTheList() {
        // The saved interface points nowhere; the device database shows the maker's virtual
        // COM device, whose device node is the simulated reader's terminal.
        StartReader(SimConfig{.deviceType = "3220", .infoText = "Werkstatt"}, {SimTag::WithEpc(kEpcA)});
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/ttyUSB7"));
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial("/dev/ttyS0", "");
        stand.devices->AddUsbSerial(m_server->DevicePath(), "CDC", "USB\\VID_7A3C&PID_0C5D");
        m_portDialogAction = [](kvara::CPortSelectDlg* dialog) {
            auto* list = dialog->findChild<QListWidget*>("interfaceList");
            for (int row = 0; row < list->count(); ++row) {
                if (list->item(row)->text().contains(QStringLiteral("[Quarn Virtual COM]"))) {
                    list->setCurrentRow(row);
                }
            }
            dialog->accept();
        };
        OpenWindow();
        QCOMPARE(m_messages.value(0), QStringLiteral("Fehler beim Port öffnen"));
        QCOMPARE(m_portDialogs, 1);
        QVERIFY(m_window->ReaderHandle() > 0);
        QVERIFY2(m_window->windowTitle().contains(QStringLiteral("<Kvara P30 ") + QString::fromStdString(m_server->DevicePath()) +
                                                  QStringLiteral(" [Quarn Virtual COM]:1 FW V1.00[Werkstatt]>")),
                 qPrintable(m_window->windowTitle()));
        QCOMPARE(kvara::ReadText(kvara::keys::kPortName),
                 QString::fromStdString(m_server->DevicePath()) + QStringLiteral(" [Quarn Virtual COM]"));
        Click("inventoryButton");
        QCOMPARE(Field("countField")->text(), QStringLiteral("1"));
    }

    void chooseInterfaceClosesTheReaderAndConnectsAgain() {
        StartReader({}, {});
        OpenWindow();
        const int first = m_window->ReaderHandle();
        QVERIFY(first > 0);
        m_portDialogAction = [](kvara::CPortSelectDlg* dialog) { dialog->reject(); };
        m_window->OnChooseInterface();
        QCOMPARE(m_window->ReaderHandle(), 0);
        QCOMPARE(KvaraGetLastError(first), 3);  // closed
        m_portDialogAction = [this](kvara::CPortSelectDlg* dialog) {
            auto* list = dialog->findChild<QListWidget*>("interfaceList");
            const auto found = list->findItems(QString::fromStdString(m_server->Path()), Qt::MatchStartsWith);
            if (!found.isEmpty()) {
                list->setCurrentItem(found.first());
            }
            dialog->accept();
        };
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->AddUsbSerial(m_server->Path(), "");
        m_window->OnChooseInterface();
        QVERIFY(m_window->ReaderHandle() > 0);
        QCOMPARE(m_window->RecordedModel(), QStringLiteral("Kvara P20"));
    }

    void startUpLoopShowsANewWindowAfterALanguageSwitch() {
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        kvara::CKvara_ProgrammerApp app;
        int windows = 0;
        bool englishInSecond = false;
        QTimer watch;
        watch.setInterval(5);
        connect(&watch, &QTimer::timeout, this, [&] {
            auto* window = qobject_cast<CKvara_ProgrammerDlg*>(QApplication::activeModalWidget());
            if (window == nullptr || !window->isVisible() || window->property("seen").toBool()) {
                return;
            }
            window->setProperty("seen", true);
            if (++windows == 1) {
                window->OnLanguage(1);  // end code 10: a new window in English
            } else {
                englishInSecond = window->findChild<QPushButton*>("readAllButton")->text() == QStringLiteral("Read all");
                window->findChild<QPushButton*>("closeButton")->click();  // end code 2
            }
        });
        watch.start();
        QCOMPARE(app.Run(), 0);
        QCOMPARE(windows, 2);
        QVERIFY(englishInSecond);
        QVERIFY(app.EnglishLoaded());
        kvara::WriteInt(kvara::keys::kLanguage, 0);
        app.ChooseLanguage();
    }

    void missingCatalogueLeavesGerman() {
        const QString catalogue = kvara::CKvara_ProgrammerApp::FindCatalogue();
        QVERIFY(!catalogue.isEmpty());
        QVERIFY(QFile::rename(catalogue, catalogue + QStringLiteral(".away")));
        kvara::WriteInt(kvara::keys::kLanguage, 1);
        kvara::CKvara_ProgrammerApp app;
        app.ChooseLanguage();
        QVERIFY(!app.EnglishLoaded());
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();  // the menu follows the setting, not the texts in use
        QVERIFY(m_window->SystemMenu()->findChild<QAction*>("germanAction") != nullptr);
        QVERIFY(m_window->SystemMenu()->findChild<QAction*>("englishAction") == nullptr);
        QCOMPARE(Find<QPushButton>("readAllButton")->text(), QStringLiteral("Alles lesen"));
        QVERIFY(QFile::rename(catalogue + QStringLiteral(".away"), catalogue));
        kvara::WriteInt(kvara::keys::kLanguage, 0);
    }

    void lockDialogTitlesItsProtectionGroupByTheArea() {
        kvara::CSperrenDlg dialog;
        QTimer::singleShot(0, this, [&] {
            auto* group = dialog.findChild<QGroupBox*>("protectionGroup");
            QVERIFY(dialog.findChild<QRadioButton*>("area0")->isChecked());
            QVERIFY(dialog.findChild<QRadioButton*>("protection0")->isChecked());
            QCOMPARE(group->title(), QStringLiteral("Schreib- / Leseschutz"));
            QTest::mouseClick(dialog.findChild<QRadioButton*>("area2"), Qt::LeftButton);
            QCOMPARE(group->title(), QStringLiteral("Schreibschutz"));
            QTest::mouseClick(dialog.findChild<QRadioButton*>("area1"), Qt::LeftButton);
            QCOMPARE(group->title(), QStringLiteral("Schreib- / Leseschutz"));
            auto* password = dialog.findChild<QLineEdit*>("lockPassword");
            password->clear();
            QTest::keyClicks(password, QStringLiteral("11 22 33 44 55"));
            QCOMPARE(password->text(), QStringLiteral("11 22 33 44"));
            QTest::keyClick(password, Qt::Key_Return);  // Enter cancels
        });
        m_lockActions.push_back([](kvara::CSperrenDlg*) {});  // leave it to the timer above
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void lockFromTheMainWindow() {
        SimTag tag = SimTag::WithEpc(kEpcA);
        tag.reserved = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
        StartReader({}, {tag});
        OpenWindow();
        Click("inventoryButton");
        Click("accessReadButton");  // the lock dialog offers the password of the last operation
        Type("accessField", QStringLiteral("99 99 99 99"));  // typed, not used: not offered
        QString offered;
        m_lockActions.push_back([&](kvara::CSperrenDlg* dialog) {
            offered = dialog->findChild<QLineEdit*>("lockPassword")->text();
            dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("11 22"));
            dialog->findChild<QRadioButton*>("area4")->setChecked(true);
            dialog->findChild<QRadioButton*>("protection2")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        m_lockActions.push_back([&](kvara::CSperrenDlg* dialog) {
            QCOMPARE(m_window->StatusText(), QStringLiteral("Das Passwort muss 4 Byte lang sein!"));
            QVERIFY(dialog->findChild<QRadioButton*>("area4")->isChecked());  // left as the user left it
            dialog->findChild<QLineEdit*>("lockPassword")->setText(QStringLiteral("11223344"));
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        Click("lockButton");
        QCOMPARE(offered, QStringLiteral("11 22 33 44"));
        QCOMPARE(m_lockDialogs, 2);
        QCOMPARE(m_window->StatusText(), QStringLiteral("Schreiben erfolgreich"));
        QCOMPARE(RequestsOf(0xC6).back().payload, (ByteBuffer{0x11, 0x22, 0x33, 0x44, 2, 4}));

        // A permanent lock needs a second yes; without it nothing is sent.
        m_answerYes = false;
        m_lockActions.push_back([](kvara::CSperrenDlg* dialog) {
            dialog->findChild<QRadioButton*>("protection3")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        Click("lockButton");
        QCOMPARE(RequestsOf(0xC6).size(), std::size_t{1});
        m_reader->PushFault(SimFault{.status = 23, .forCommand = 0xC6});
        m_answerYes = true;
        m_lockActions.push_back([](kvara::CSperrenDlg* dialog) {
            dialog->findChild<QRadioButton*>("protection0")->setChecked(true);
            dialog->findChild<QPushButton*>("executeButton")->click();
        });
        Click("lockButton");
        QCOMPARE(m_window->StatusText(), QStringLiteral("Fehler bei Lock <Kollision Fehler>"));
    }

    void usbHidReaderConnectsAndSwitchesToVirtualCom() {
        kvara::test::ScopedDeviceStandIn stand;
        stand.devices->hid = {{0x7A3C, 0x0C5C, "5260-0007", true, "fake:ui"}};
        auto reader = fakehid::AddDevice("fake:ui");
        reader->SetConfig(SimConfig{.infoText = "HID"});
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("USB: 5260-0007 HID"));
        OpenWindow();
        QVERIFY2(m_window->windowTitle().endsWith(QStringLiteral("<Kvara P20 USB:5260-0007 HID:1 FW V1.00[HID]>")),
                 qPrintable(m_window->windowTitle()));
        m_window.reset();  // closes the reader

        kvara::CPortSelectDlg dialog;
        dialog.InitDialog();
        auto* list = dialog.findChild<QListWidget*>("interfaceList");
        const auto found = list->findItems(QStringLiteral("USB: 5260-0007 HID"), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list->setCurrentItem(found.first());
        QVERIFY(dialog.findChild<QPushButton*>("hidModeButton")->isChecked());
        stand.devices->virtualComDriver = false;  // first without the driver: it is offered
        m_answerYes = false;
        dialog.findChild<QPushButton*>("virtualComButton")->click();
        QCOMPARE(m_messages.value(0), QStringLiteral("Kein Quarn USB Treiber für VCOM Gerät installiert!\nTreiber laden und installieren?\n"));
        QCOMPARE(reader->UsbMode(), 0);
        stand.devices->virtualComDriver = true;
        list->setCurrentItem(list->findItems(QStringLiteral("USB: 5260-0007 HID"), Qt::MatchExactly).first());
        dialog.findChild<QPushButton*>("virtualComButton")->click();
        QCOMPARE(reader->UsbMode(), 2);
        QCOMPARE(dialog.InterfaceName(), QString());
        fakehid::Reset();
    }

    void aboutBoxUpdateLines() {
        ServeVersions("[Kvara_Programmer]\nVersion=1.00\nBuild=2000-01-01\n",
                      "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.00\n");
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(), QStringLiteral("Quarn Kvara Programmer ist aktuell"));
            QCOMPARE(about.ProgramLine()->TextColour(), QColor(128, 128, 128));
            QVERIFY(!about.ProgramLine()->Clickable());
            QCOMPARE(about.FirmwareLine()->text(), QString());
            QCOMPARE(about.findChild<QLabel*>("libraryLine")->text(), QStringLiteral("SDK Version 1.19"));
        }
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        {
            kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
            QTRY_COMPARE(about.FirmwareLine()->text(), QStringLiteral("Kvara P20 V1.00  ist aktuell"));
        }
        ServeVersions("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\nInstaller=x\n",
                      "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07\n");
        kvara::DeviceCheck().SetDevice("Kvara P20", "312", "1.00");
        kvara::DeviceCheck().StartCheck(nullptr, 0);
        {
            kvara::CAboutDlg about(QStringLiteral("Kvara P20"), QStringLiteral("1.00"));
            QTRY_COMPARE(about.ProgramLine()->text(), QStringLiteral("Neue Version:Quarn Kvara Programmer => V 99.0 (2099-01-01)"));
            QCOMPARE(about.ProgramLine()->TextColour(), QColor(192, 0, 0));
            QVERIFY(about.ProgramLine()->Clickable());
            QCOMPARE(about.FirmwareLine()->text(), QStringLiteral("Update Kvara P20 V1.00 => V1.07"));
            QVERIFY(about.FirmwareLine()->Clickable());
        }
        {
            // The check has ended: a second box is told at once.
            kvara::CAboutDlg again{QString(), QString()};
            QCoreApplication::processEvents();
            QCOMPARE(again.ProgramLine()->TextColour(), QColor(192, 0, 0));
        }
        ServeVersions("[Kvara_Programmer]\nVersion=2.0\n", "");
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(), QStringLiteral("Keine Datei gefunden: Update Prüfung nicht möglich!"));
            QCOMPARE(about.ProgramLine()->TextColour(), QColor(255, 0, 0));
        }
        m_updates->Put("/rfid/software/RFIDVersionsUHF.txt", "");  // an empty file is no file
        kvara::SoftwareCheck().ResetForTesting();
        {
            kvara::CAboutDlg about{QString(), QString()};
            QTRY_COMPARE(about.ProgramLine()->text(), QStringLiteral("Keine Internet Verbindung: Update Prüfung nicht möglich!"));
            about.findChild<QCheckBox*>("autoCheck")->setChecked(false);
            QTest::keyClick(&about, Qt::Key_Escape);
        }
        QCOMPARE(kvara::ReadInt(kvara::keys::kUpdate), 0);
        kvara::WriteInt(kvara::keys::kUpdate, 1);
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }

    void newerProgramAtStartOpensTheAboutBox() {
        ServeVersions("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\n", "[Alias]\n");
        kvara::WriteText(kvara::keys::kPortName, QStringLiteral("/dev/kvara-nowhere"));
        OpenWindow();
        QTRY_COMPARE(m_aboutDialogs, 1);
        m_window.reset();
        kvara::WriteInt(kvara::keys::kUpdate, 0);  // not when the user switched it off
        kvara::SoftwareCheck().ResetForTesting();
        OpenWindow();
        QTest::qWait(300);
        QCOMPARE(m_aboutDialogs, 1);
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }

    void oneAboutBoxForBothUpdates() {
        ServeVersions("[Kvara_Programmer]\nVersion=99.0\nBuild=2099-01-01\n",
                      "[Alias]\n312=KvaraP20\n[KvaraP20]\nVersion=1.07\n");
        // Both files are in before the window starts, so both of its reports come at once.
        for (kvara::CVersionCheck* check : {&kvara::SoftwareCheck(), &kvara::DeviceCheck()}) {
            check->StartCheck(nullptr, 0);
            QTRY_VERIFY(check->IsCheckDone());
        }
        StartReader({}, {});
        // A box stays open until both its lines offer an update.
        m_aboutReady = [](kvara::CAboutDlg* about) {
            return about->ProgramLine()->text().startsWith(QStringLiteral("Neue Version:")) &&
                   about->FirmwareLine()->text().startsWith(QStringLiteral("Update "));
        };
        m_window = std::make_unique<CKvara_ProgrammerDlg>();
        m_window->InitDialog();
        m_window->show();
        QTRY_COMPARE(m_aboutDialogs, 1);
        QTest::qWait(300);
        QCOMPARE(m_aboutDialogs, 1);
        QCOMPARE(m_mostAboutBoxes, 1);
        QCOMPARE(m_aboutLines, (QStringList{QStringLiteral("Neue Version:Quarn Kvara Programmer => V 99.0 (2099-01-01)"),
                                            QStringLiteral("Update Kvara P20 V1.00 => V1.07")}));
        ServeVersions("[Kvara_Programmer]\nVersion=0.1\nBuild=2000-01-01\n", "[Alias]\n");
    }

    void labelsAndTransparentPictures() {
        kvara::CLabel label;
        label.ApplyText(QStringLiteral("not an address")).ApplyLinkMode(true);
        label.resize(200, 20);
        int clicks = 0;
        connect(&label, &kvara::CLabel::Clicked, this, [&] { ++clicks; });
        QTest::mouseClick(&label, Qt::LeftButton);
        QCOMPARE(clicks, 1);  // nothing opened, the click still reported
        label.SetClickable(false);
        QTest::mouseClick(&label, Qt::LeftButton);
        QCOMPARE(clicks, 1);
        label.ApplyFontHeight(12);
        QCOMPARE(label.font().pixelSize(), 12);
        label.ApplyFontHeight(-12);
        QCOMPARE(label.font().pixelSize(), 12);
        label.ApplyText(124);
        QCOMPARE(label.StoredText(), QStringLiteral("Das Passwort muss 4 Byte lang sein!"));

        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(255, 255, 255));
        image.setPixel(1, 0, qRgb(254, 255, 255));
        kvara::CBitmapStatic picture;
        picture.SetBitmap(QPixmap::fromImage(image));
        QVERIFY(!picture.pixmap().hasAlphaChannel() || picture.pixmap().mask().isNull());
        picture.EnableTransparency();
        const QImage shown = picture.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);    // white shows the background
        QCOMPARE(qAlpha(shown.pixel(1, 0)), 255);  // near-white is drawn as is
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
