// SPDX-License-Identifier: MIT
// "Abbrechen" for an operation that waits for a reader: a small window over the main window's
// status line that appears once the operation has waited a moment. It is a window of its own,
// shown without taking the focus, because the reader library disables the active window while
// a command waits; its click is seen between two commands, and the operation stops before its
// next command.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace kvara {

class CCancelOffer : public QWidget {
    Q_OBJECT

public:
    // anchor: the widget the window appears over (the main window's status line).
    explicit CCancelOffer(QWidget* anchor);

    // An operation begins: no cancel yet; the window appears after delayMs unless End() comes
    // first.
    void Begin(int delayMs);
    void End();
    bool Cancelled() const { return m_cancelled; }
    // Shows the window at once (tests, and operations known to take long).
    void Offer();

private:
    void OnCancel();

    QPointer<QWidget> m_anchor;
    QTimer* m_timer = nullptr;
    QLabel* m_text = nullptr;
    QPushButton* m_button = nullptr;
    bool m_cancelled = false;
};

}  // namespace kvara
