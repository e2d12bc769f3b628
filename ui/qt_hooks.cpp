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

// Whether the calling thread is the one the widgets live on.
bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// How deep the window's thread is in pumps of reader commands' waits.
int g_pumpDepth = 0;

int Pump() {
    if (!OnWindowThread()) {
        return 0;
    }
    QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
    if (dispatcher == nullptr) {
        return 0;
    }
    ++g_pumpDepth;
    QCoreApplication::sendPostedEvents();
    const bool dispatched = dispatcher->processEvents(QEventLoop::AllEvents);
    --g_pumpDepth;
    return dispatched ? 1 : 0;
}

// The last active top-level window: the active modal dialog or window, else the main window.
void* ActiveWindow() {
    if (!OnWindowThread()) {
        return nullptr;
    }
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
    return OnWindowThread() ? Hand(ApplicationMainWindow()) : nullptr;
}

std::string Translate(int id, const char* german) {
    (void)id;
    return QCoreApplication::translate("StringTable", german).toStdString();
}

}  // namespace

bool InsideReaderWait() {
    return g_pumpDepth > 0;
}

void InstallQtHooks() {
    KvaraUiHooks hooks{};
    hooks.pumpPendingMessages = &Pump;
    hooks.activeWindow = &ActiveWindow;
    hooks.mainWindow = &MainWindow;
    hooks.isWindowEnabled = [](void* window) {
        QWidget* widget = OnWindowThread() ? Back(window) : nullptr;
        return widget != nullptr && widget->isEnabled() ? 1 : 0;
    };
    hooks.enableWindow = [](void* window, int enable) {
        if (QWidget* widget = OnWindowThread() ? Back(window) : nullptr) {
            widget->setEnabled(enable != 0);
        }
    };
    hooks.focusWindow = []() {
        return OnWindowThread() ? Hand(QApplication::focusWidget()) : nullptr;
    };
    hooks.setFocus = [](void* window) {
        if (!OnWindowThread()) {
            return;
        }
        if (window == nullptr) {
            if (QWidget* focused = QApplication::focusWidget()) {
                focused->clearFocus();
            }
        } else if (QWidget* widget = Back(window)) {
            widget->setFocus();
        }
    };
    hooks.beginWaitCursor = [] {
        if (OnWindowThread()) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        }
    };
    hooks.endWaitCursor = [] {
        if (OnWindowThread()) {
            QGuiApplication::restoreOverrideCursor();
        }
    };
    KvaraSetUiHooks(&hooks);
    SetStringTranslator(&Translate);
}

}  // namespace kvara
