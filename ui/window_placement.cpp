// SPDX-License-Identifier: MIT
#include "ui/window_placement.h"

#include <algorithm>
#include <limits>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "settings/settings.h"
#include "ui/main_logic.h"

namespace kvara {

namespace {

// Room left for a window's title bar and borders before it is shown and they are known.
constexpr int kFrameAllowance = 16;

// The screen a saved place lies on, or the nearest one when it lies on none.
const QScreen* ScreenNearest(const QPoint& savedAt) {
    const QScreen* screen = QGuiApplication::screenAt(savedAt);
    if (screen != nullptr) {
        return screen;
    }
    int nearest = std::numeric_limits<int>::max();
    for (const QScreen* candidate : QGuiApplication::screens()) {
        const QRect area = candidate->availableGeometry();
        const int distance = (QPoint(std::clamp(savedAt.x(), area.left(), area.right()),
                                     std::clamp(savedAt.y(), area.top(), area.bottom())) -
                              savedAt)
                                 .manhattanLength();
        if (distance < nearest) {
            nearest = distance;
            screen = candidate;
        }
    }
    return screen;
}

}  // namespace

void WindowPlacement::FitToScreen(const QScreen* screen) {
    // The window's natural size, as a window takes it by itself: its content's preferred size,
    // at most two thirds of the screen, but never less than the content needs.
    QSize natural = m_content->sizeHint();
    if (screen != nullptr) {
        natural = natural.boundedTo(screen->availableGeometry().size() * 2 / 3);
    }
    natural = natural.expandedTo(m_content->minimumSizeHint());
    QSize room = natural;
    if (screen != nullptr) {
        // The title bar and borders are not known before the window is shown: room for them.
        const QSize decoration =
            m_window->isVisible() ? m_window->frameGeometry().size() - m_window->geometry().size()
                                  : QSize(kFrameAllowance, 3 * kFrameAllowance);
        room = screen->availableGeometry().size() - decoration;
    }
    const QSize fits = natural.boundedTo(room);
    // Where the whole fits, the window keeps its natural size as its least; elsewhere the
    // content scrolls in a window the screen can hold.
    m_window->setMinimumSize(natural == fits ? natural
                                             : m_content->minimumSizeHint().boundedTo(fits));
    m_window->resize(fits);
}

void WindowPlacement::Save() const {
    const QRect frame = m_window->frameGeometry();
    WriteInt(keys::kLeft, frame.left());
    WriteInt(keys::kTop, frame.top());
    WriteInt(keys::kRight, frame.left() + frame.width());
    WriteInt(keys::kBottom, frame.top() + frame.height());
}

void WindowPlacement::Restore() {
    Rect saved{ReadInt(keys::kLeft), ReadInt(keys::kTop), ReadInt(keys::kRight),
               ReadInt(keys::kBottom)};
    if (saved.right - saved.left <= 0) {
        return;
    }
    // The window whole on the screen the saved place lies on: a placement saved by an older,
    // smaller window would otherwise put the bottom of this one below the screen.
    const QScreen* screen = ScreenNearest(QPoint(saved.left, saved.top));
    if (screen == nullptr) {
        return;
    }
    FitToScreen(screen);
    const QRect area = screen->availableGeometry();
    const QSize decoration = m_window->frameGeometry().size() - m_window->geometry().size();
    const QSize least = m_window->minimumSize() + decoration;
    const Rect placed = PlaceOnScreen(
        saved, least.width(), least.height(),
        Rect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
    m_window->move(placed.left, placed.top);
    m_window->resize(QSize(placed.right - placed.left, placed.bottom - placed.top) - decoration);
}

}  // namespace kvara
