// SPDX-License-Identifier: MIT
#include "ui/busy.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

namespace kvara {

QWidget* ApplicationMainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->property("kvaraMainWindow").toBool() && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

UiBusyScope::UiBusyScope() : m_main(ApplicationMainWindow()) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_main) {
        m_wasEnabled = m_main->isEnabled();
        m_main->setEnabled(false);
    }
}

UiBusyScope::~UiBusyScope() {
    if (m_main && m_wasEnabled) {
        m_main->setEnabled(true);
    }
    QGuiApplication::restoreOverrideCursor();
}

void PauseMs(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace kvara
