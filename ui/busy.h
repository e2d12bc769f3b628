// SPDX-License-Identifier: MIT
// For its lifetime: the wait cursor, and the application's main window disabled (enabled again
// only if it was enabled before).
#pragma once

#include <QPointer>
#include <QWidget>

namespace kvara {

class UiBusyScope {
public:
    UiBusyScope();
    ~UiBusyScope();
    UiBusyScope(const UiBusyScope&) = delete;
    UiBusyScope& operator=(const UiBusyScope&) = delete;

private:
    QPointer<QWidget> m_main;
    bool m_wasEnabled = false;
};

// Waits without taking user input, so windows paint but nobody starts another operation.
void PauseMs(int ms);

// The application's main window (the programmer's main dialog), or null.
QWidget* ApplicationMainWindow();

}  // namespace kvara
