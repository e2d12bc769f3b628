// SPDX-License-Identifier: MIT
#include "ui/qt_hooks.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include "common/string_table.h"
#include "reader/kvara.h"
#include "ui/busy.h"

namespace kvara {

namespace {

// Windows handed to the library are remembered with a guard, so a window that a message
// dispatched during the wait has destroyed is never touched when the library gives it back.
QHash<void*, QPointer<QWidget>>& Known() {
    static QHash<void*, QPointer<QWidget>> known;
    return known;
}

void* Hand(QWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    auto& known = Known();
    for (auto it = known.begin(); it != known.end();) {
        it = it.value().isNull() ? known.erase(it) : std::next(it);
    }
    known.insert(widget, QPointer<QWidget>(widget));
    return widget;
}

QWidget* Back(void* window) {
    const auto it = Known().constFind(window);
    return it == Known().constEnd() ? nullptr : it.value().data();
}

int Pump() {
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    if (dispatcher == nullptr) {
        return 0;
    }
    QCoreApplication::sendPostedEvents();
    return dispatcher->processEvents(QEventLoop::AllEvents) ? 1 : 0;
}

// The last active top-level window: the active modal dialog or window, else the main window.
void* ActiveWindow() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) {
        window = QApplication::activeWindow();
    }
    // The window that offers "Abbrechen" must stay usable while a command waits.
    if (window != nullptr && window->property("kvaraCancelOffer").toBool()) {
        window = nullptr;
    }
    if (window == nullptr) {
        window = ApplicationMainWindow();
    }
    return Hand(window);
}

void* MainWindow() {
    return Hand(ApplicationMainWindow());
}

std::string Translate(int id, const char* german) {
    (void)id;
    return QCoreApplication::translate("StringTable", german).toStdString();
}

}  // namespace

void InstallQtHooks() {
    KvaraUiHooks hooks{};
    hooks.pumpPendingMessages = &Pump;
    hooks.activeWindow = &ActiveWindow;
    hooks.mainWindow = &MainWindow;
    hooks.isWindowEnabled = [](void* window) {
        QWidget* widget = Back(window);
        return widget != nullptr && widget->isEnabled() ? 1 : 0;
    };
    hooks.enableWindow = [](void* window, int enable) {
        if (QWidget* widget = Back(window)) {
            widget->setEnabled(enable != 0);
        }
    };
    hooks.focusWindow = []() { return Hand(QApplication::focusWidget()); };
    hooks.setFocus = [](void* window) {
        if (window == nullptr) {
            if (QWidget* focused = QApplication::focusWidget()) {
                focused->clearFocus();
            }
        } else if (QWidget* widget = Back(window)) {
            widget->setFocus();
        }
    };
    hooks.beginWaitCursor = [] { QGuiApplication::setOverrideCursor(Qt::WaitCursor); };
    hooks.endWaitCursor = [] { QGuiApplication::restoreOverrideCursor(); };
    KvaraSetUiHooks(&hooks);
    SetStringTranslator(&Translate);
}

}  // namespace kvara
