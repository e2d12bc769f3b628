// SPDX-License-Identifier: MIT
// The few things a reader command needs from the window system, as a table of hooks.
//
// The library never calls the user-interface toolkit itself. The application fills this table
// at start; with no hooks installed (tests, other programs) every hook does nothing and every
// command still works. Hooks are only called on the thread that runs reader commands.
#pragma once

namespace kvara {

// Opaque reference to a top-level window of the application.
using WindowRef = void*;

struct UiHooks {
    // Dispatches every window message waiting for the calling thread and returns as soon as
    // the queue is empty; never waits. Returns true when it dispatched anything.
    bool (*pumpPendingMessages)() = nullptr;
    // The application's last active top-level window: the most recently active popup of the
    // main window, or the main window itself. Null when there is none.
    WindowRef (*activeWindow)() = nullptr;
    // The application's main window, or null.
    WindowRef (*mainWindow)() = nullptr;
    bool (*isWindowEnabled)(WindowRef window) = nullptr;
    void (*enableWindow)(WindowRef window, bool enable) = nullptr;
    // The window that holds the keyboard focus, or null; setFocus(null) removes the focus.
    WindowRef (*focusWindow)() = nullptr;
    void (*setFocus)(WindowRef window) = nullptr;
    void (*beginWaitCursor)() = nullptr;
    void (*endWaitCursor)() = nullptr;
};

// Installs the hook table (copied). Call once at start, before any reader command runs.
void SetUiHooks(const UiHooks& hooks);
// Restores the do-nothing defaults.
void ResetUiHooks();
const UiHooks& GetUiHooks();

// Dispatches pending window messages without waiting; true when any were dispatched.
bool PumpPendingMessages();
// Whether a message pump is installed: waits then wake up now and again to dispatch messages;
// without one they sleep until what they wait for happens.
bool HasMessagePump();

// For its lifetime: shows the wait cursor and disables the application's main window. On exit
// re-enables the main window only if it was enabled before, and restores the normal cursor.
// Without a main window it only changes the cursor.
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    WindowRef m_window = nullptr;
    bool m_wasEnabled = false;
};

// Disables the active top-level window and takes the keyboard focus away for a reader command;
// Release() (or the destructor) gives both back. Does nothing when constructed with lock=false.
class WindowLock {
public:
    explicit WindowLock(bool lock);
    ~WindowLock();
    WindowLock(const WindowLock&) = delete;
    WindowLock& operator=(const WindowLock&) = delete;
    void Release();

private:
    bool m_locked = false;
    WindowRef m_window = nullptr;
    bool m_wasEnabled = false;
    WindowRef m_focus = nullptr;
};

}  // namespace kvara
