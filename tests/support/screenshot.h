// SPDX-License-Identifier: MIT
// Screenshots of the windows for the documentation, taken by tests and programs when
// KVARA_SCREENSHOT_DIR names a folder (scripts/screenshots runs them under Xvfb with a window
// manager). Without it nothing happens.
#pragma once

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cstdlib>

namespace kvara::test {

inline bool ScreenshotsWanted() {
    return !qEnvironmentVariableIsEmpty("KVARA_SCREENSHOT_DIR");
}

// The window manager's frame around a window, asked of the X server: the ancestor of the
// window just below the root. (Qt learns the frame's size from a property the window manager
// may set after Qt has looked.) Empty without X or without a frame.
inline QRect WindowManagerFrame(QWidget* window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) {
        return {};
    }
    xcb_connection_t* connection = x11->connection();
    xcb_window_t current = static_cast<xcb_window_t>(window->winId());
    for (;;) {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(connection, xcb_query_tree(connection, current), nullptr);
        if (tree == nullptr) {
            return {};
        }
        const xcb_window_t parent = tree->parent;
        const xcb_window_t root = tree->root;
        std::free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE) {
            break;
        }
        current = parent;
    }
    if (current == static_cast<xcb_window_t>(window->winId())) {
        return {};  // not reparented: no frame
    }
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, current), nullptr);
    if (geometry == nullptr) {
        return {};
    }
    const QRect frame(geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                      geometry->height + 2 * geometry->border_width);
    std::free(geometry);
    return frame;
}

// Saves the screen area of the given windows, frames and title bars included, as name (a path
// below the screenshot folder). On a platform without a screen to read (offscreen) the first
// window's own rendering is saved instead.
inline bool SaveScreenshot(const QString& name, const QList<QWidget*>& windows) {
    const QString folder = qEnvironmentVariable("KVARA_SCREENSHOT_DIR");
    if (folder.isEmpty() || windows.isEmpty()) {
        return false;
    }
    const bool screen = QGuiApplication::platformName() == QLatin1String("xcb");
    for (QWidget* window : windows) {
        if (!QTest::qWaitForWindowExposed(window)) {
            return false;
        }
        (void)QTest::qWaitFor([&] { return !screen || WindowManagerFrame(window).isValid(); },
                              2000);
    }
    // The window manager draws its frames, the windows paint after being mapped.
    QTest::qWait(400);
    QRect area;
    for (QWidget* window : windows) {
        const QRect frame = WindowManagerFrame(window);
        area |= frame.isValid() ? frame : window->frameGeometry();
    }
    const QString path = QDir(folder).filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QPixmap shot;
    if (screen) {
        shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                            area.height());
    } else {
        shot = windows.first()->grab();
    }
    return shot.save(path);
}

}  // namespace kvara::test
