// SPDX-License-Identifier: MIT
// series_station: the programmer's main window as one station of a line, for
// test_series_kills, which kills it at random moments. It connects to the reader named on its
// command line, opens "Serie kodieren" from the window's menu, picks the job from the store
// (or makes it from its template when the store has none yet) and starts it; once no tag has
// come for a while it stops the run, saves the job's report when asked to, and ends with 0.
//
//   series_station CONFIG_DIR READER STORE JOB [REPORT]
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>

#include "settings/settings.h"
#include "ui/main_dialog.h"
#include "ui/message_box.h"
#include "ui/qt_hooks.h"
#include "ui/series_dlg.h"
#include "update/version_check.h"

namespace {

// Accepts the file dialog of the report export with the file given.
class SaveAs : public QObject {
public:
    explicit SaveAs(QString path) : m_path(std::move(path)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QFileDialog*>(watched);
        if (dialog != nullptr && event->type() == QEvent::Show) {
            QTimer::singleShot(0, dialog, [dialog, path = m_path] {
                dialog->selectFile(path);
                QMetaObject::invokeMethod(dialog, "accept");
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_path;
};

template <typename T>
T* In(QWidget* dialog, const char* name) {
    T* widget = dialog->findChild<T*>(QLatin1String(name));
    if (widget == nullptr) {
        std::fprintf(stderr, "series_station: no widget %s\n", name);
        std::exit(3);
    }
    return widget;
}

// The job picked from the store, or, when the store has none yet, made from its template.
void ChooseJob(kvara::CSeriesDlg* dialog, const QString& job) {
    In<QPushButton>(dialog, "loadJobsButton")->click();
    auto* jobs = In<QComboBox>(dialog, "jobCombo");
    const int index = jobs->findData(job);
    if (index >= 0) {
        In<QRadioButton>(dialog, "continueJobRadio")->setChecked(true);
        jobs->setCurrentIndex(index);
        return;
    }
    In<QRadioButton>(dialog, "newJobRadio")->setChecked(true);
    In<QRadioButton>(dialog, "templateRadio")->setChecked(true);
    In<QLineEdit>(dialog, "jobNameField")->setText(job);
    In<QLineEdit>(dialog, "gtinField")->setText(QStringLiteral("80614141123458"));
    In<QSpinBox>(dialog, "prefixLengthSpin")->setValue(7);
    In<QLineEdit>(dialog, "firstSerialField")->setText(QStringLiteral("1"));
    In<QLineEdit>(dialog, "lastSerialField")->setText(QStringLiteral("150"));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: series_station CONFIG_DIR READER STORE JOB [REPORT]\n");
        return 2;
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, args[1]);
    kvara::InstallQtHooks();
    kvara::SetUpdateServer("https://127.0.0.1:9");  // nothing reaches the real update host
    kvara::SetMessageResponder([](const QString& text, bool) {
        std::fprintf(stderr, "series_station: %s\n", qPrintable(text));
        return true;
    });
    kvara::WriteInt(kvara::keys::kUpdate, 0);
    kvara::WriteText(kvara::keys::kPortName, args[2]);
    kvara::CKvara_ProgrammerDlg window;
    window.InitDialog();
    window.show();
    window.findChild<QAction*>(QStringLiteral("seriesAction"))->trigger();
    auto* dialog = window.findChild<kvara::CSeriesDlg*>();
    In<QLineEdit>(dialog, "storeField")->setText(args[3]);
    ChooseJob(dialog, args[4]);
    In<QPushButton>(dialog, "startButton")->click();
    SaveAs saveAs(args.value(5));
    app.installEventFilter(&saveAs);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QString state = In<QLabel>(dialog, "stateLabel")->text();
        if (dialog->HoldsReader()) {
            if (state.startsWith(QStringLiteral("Warte auf"))) {
                In<QPushButton>(dialog, "stopButton")->click();  // the belt is empty
            }
            return;
        }
        poll.stop();
        if (args.size() > 5) {
            In<QPushButton>(dialog, "exportButton")->click();
        }
        std::printf("%s\n", qPrintable(state));
        app.exit(state.startsWith(QStringLiteral("Angehalten")) ||
                         state.contains(QStringLiteral("fertig"))
                     ? 0
                     : 1);
    });
    poll.start(20);
    return app.exec();
}
