// SPDX-License-Identifier: MIT
// WindowPlacement: the main window's size rule and its saved place. The window takes its
// natural size where the screen holds it, else as much as the screen allows with its content
// scrolling; it comes back where it was last closed, whole on the screen it was on.
#pragma once

class QScreen;
class QWidget;

namespace kvara {

class WindowPlacement {
public:
    // content: the widget in the window's scroll area, whose size the window is made for.
    WindowPlacement(QWidget* window, QWidget* content) : m_window(window), m_content(content) {}

    // The window at its natural size where the screen holds it, else as large as the screen
    // allows with its content scrolling.
    void FitToScreen(const QScreen* screen);
    // The window's frame into the settings, and back from them.
    void Save() const;
    void Restore();

private:
    QWidget* m_window;
    QWidget* m_content;
};

}  // namespace kvara
