// SPDX-License-Identifier: MIT
// The real main window on the offscreen platform against the simulated reader on a pseudo
// terminal, for Qt Test programs: a settings folder of the test's own, message boxes answered
// by the test, and the dialogs the window opens handed to actions of the test.
//
// A test class derives from MainWindowFixture and calls SetUpFixture() from initTestCase(),
// ResetFixture() from init() and TearDownWindow() from cleanup().
#pragma once

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "settings/settings.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"
#include "ui/qt_hooks.h"
#include "update/version_check.h"

namespace kvara::test {

// The EPCs of the window tests' simulated tags: two of 12 bytes that sort A before B, and a short
// one; kTextA and kTextB as the window shows the first two.
inline const ByteBuffer kEpcA = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05,
                                 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};
inline const ByteBuffer kEpcB = {0xBB, 0x01, 0x02, 0x03, 0x04, 0x05,
                                 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B};
inline const ByteBuffer kEpcC = {0xCC, 0x01, 0x02, 0x03};
inline const QString kTextA = QStringLiteral("AA 01 02 03 04 05 06 07 08 09 0A 0B");
inline const QString kTextB = QStringLiteral("BB 01 02 03 04 05 06 07 08 09 0A 0B");

// A mode-0 answer frame with status 0 and the given data, as the reader would send it.
inline ByteBuffer ReaderAnswer(const ByteBuffer& data) {
    ByteBuffer frame = {0x02, 0x01, 0x00, static_cast<std::uint8_t>(data.size())};
    for (std::uint8_t byte : data) {  // not insert(): GCC 12 warns falsely about its bounds
        frame.push_back(byte);
    }
    std::uint8_t bcc = 0;
    for (std::size_t i = 1; i < frame.size(); ++i) {
        bcc ^= frame[i];
    }
    frame.push_back(bcc);
    return frame;
}

class MainWindowFixture : public QObject {
protected:
    // Once per test program.
    void SetUpFixture() {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        InstallQtHooks();
        InstallResponder();
        // Nothing may reach the real update host: the firmware check that every main window
        // starts goes to a closed port on loopback.
        SetUpdateServer("https://127.0.0.1:9");
        qApp->installEventFilter(this);
    }

    // Before each test: fresh settings (no update check), no answers, no actions.
    void ResetFixture() {
        QFile::remove(m_config.path() +
                      QStringLiteral("/Quarn Applikationen/Kvara Programmer.conf"));
        WriteInt(keys::kUpdate, 0);
        m_messages.clear();
        m_answerYes = true;
        m_answers.clear();
        m_choices.clear();
        m_dialogActions.clear();
        m_unanswered.clear();
        InstallResponder();
    }

    void TearDownWindow() {
        if (m_window) {
            if (auto* cyclic = m_window->findChild<QPushButton*>(QStringLiteral("cyclicButton"))) {
                cyclic->setChecked(false);
            }
        }
        m_window.reset();
        if (m_server) {
            m_server->Stop();
        }
        m_server.reset();
        m_reader.reset();
        InstallResponder();
    }

    // The reader's terminal, under symlinkPath when one is given (the name the window shows).
    void StartReader(sim::SimConfig config, std::vector<sim::SimTag> tags,
                     const std::string& symlinkPath = {}) {
        m_reader = std::make_shared<sim::SimReader>(config);
        m_reader->SetTags(std::move(tags));
        m_server = std::make_unique<sim::PtyServer>(m_reader, symlinkPath);
        QVERIFY(m_server->Start());
        WriteText(keys::kPortName, QString::fromStdString(m_server->Path()));
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
    // Clicks a row of the tag list where a user would.
    void ClickTag(int row) {
        auto* list = Find<QListWidget>("epcList");
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    std::vector<sim::SimRequest> RequestsOf(std::uint8_t command) const {
        std::vector<sim::SimRequest> found;
        for (const auto& request : m_reader->Requests()) {
            if (request.command == command) {
                found.push_back(request);
            }
        }
        return found;
    }

    // The next dialog of type T that opens (a QMessageBox too, once the responder is off) is
    // handed to the action; dialogs without an action are cancelled and counted by class.
    template <typename T>
    void WhenShown(std::function<void(T*)> action) {
        m_dialogActions.push_back(
            DialogAction{[](QDialog* dialog) { return qobject_cast<T*>(dialog) != nullptr; },
                         [action](QDialog* dialog) { action(qobject_cast<T*>(dialog)); }});
    }
    int Unanswered(const char* className) const {
        const auto it = m_unanswered.find(QByteArray(className));
        return it == m_unanswered.end() ? 0 : it->second;
    }

    // Qt's own message boxes instead of the responder, for what only they show (default
    // buttons, positions, button texts). ResetFixture() and TearDownWindow() turn the
    // responder on again.
    void UseRealMessageBoxes() {
        SetMessageResponder(nullptr);
        SetChoiceResponder(nullptr);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog != nullptr && dialog->isWindow() &&
                qobject_cast<CKvara_ProgrammerDlg*>(dialog) == nullptr) {
                QPointer<QDialog> shown(dialog);
                // After the dialog's own event loop has started.
                QTimer::singleShot(0, this, [this, shown] {
                    if (shown && shown->isVisible()) {
                        AnswerDialog(shown);
                    }
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

    QTemporaryDir m_config;
    std::shared_ptr<sim::SimReader> m_reader;
    std::unique_ptr<sim::PtyServer> m_server;
    std::unique_ptr<CKvara_ProgrammerDlg> m_window;
    // Every message and question, in order. Questions take the next of m_answers, else
    // m_answerYes.
    QStringList m_messages;
    bool m_answerYes = true;
    std::deque<bool> m_answers;
    // Yes/No/Cancel questions take the next of m_choices; without one they are answered as a
    // Yes/No question (Yes or No).
    std::deque<kvara::Answer> m_choices;

private:
    void InstallResponder() {
        SetMessageResponder([this](const QString& text, bool) {
            m_messages << text;
            if (m_answers.empty()) {
                return m_answerYes;
            }
            const bool answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
        SetChoiceResponder([this](const QString& text) {
            if (m_choices.empty()) {
                m_messages << text;
                bool yes = m_answerYes;
                if (!m_answers.empty()) {
                    yes = m_answers.front();
                    m_answers.pop_front();
                }
                return yes ? kvara::Answer::kYes : kvara::Answer::kNo;
            }
            m_messages << text;
            const kvara::Answer answer = m_choices.front();
            m_choices.pop_front();
            return answer;
        });
    }

    struct DialogAction {
        std::function<bool(QDialog*)> matches;
        std::function<void(QDialog*)> run;
    };

    void AnswerDialog(QDialog* dialog) {
        for (auto it = m_dialogActions.begin(); it != m_dialogActions.end(); ++it) {
            if (it->matches(dialog)) {
                const auto run = it->run;
                m_dialogActions.erase(it);  // before it runs: it may ask for more
                run(dialog);
                return;
            }
        }
        ++m_unanswered[QByteArray(dialog->metaObject()->className())];
        dialog->reject();
    }

    std::vector<DialogAction> m_dialogActions;
    std::map<QByteArray, int> m_unanswered;
};

}  // namespace kvara::test
