// SPDX-License-Identifier: MIT
// A stand-in for the application's window system behind the reader library's hook table: one
// window that can play the active and the main window, a focus owner, a wait cursor, and a
// message pump that counts its dispatches and runs what a test wants done inside a wait.
//
// One fake serves both ways in: Install() fills the library's own table (tests linked with the
// static library), InstallPublic() goes through KvaraSetUiHooks (tests of libkvara.so). Either
// stays until Uninstall() or the fake's end. One fake is installed at a time.
#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "common/ui_hooks.h"
#include "reader/kvara.h"

namespace kvara::test {

class FakeWindow {
public:
    // The roles the window plays. Neither: the hooks are a bare message pump, and a command's
    // window lock finds no window to disable.
    bool isActiveWindow = false;
    bool isMainWindow = false;

    // The state the library changes.
    bool enabled = true;
    int focusOwner = 0;  // its address stands for the window that holds the focus
    void* focus = &focusOwner;

    // What the hooks saw. A dispatch counts as disabled or focused by the state at its time.
    int pumps = 0;
    int disabledPumps = 0;
    int focusedPumps = 0;
    int cursorBegins = 0;
    int cursorEnds = 0;

    // Run at every dispatch; its result is the pump's ("something was dispatched"). It may
    // replace itself.
    std::function<bool()> onEveryPump;
    // Run at the next dispatch only.
    std::function<void()> onNextPump;

    FakeWindow() = default;
    FakeWindow(const FakeWindow&) = delete;
    FakeWindow& operator=(const FakeWindow&) = delete;
    ~FakeWindow() { Uninstall(); }

    void Install() {
        Current() = this;
        UiHooks hooks;
        hooks.pumpPendingMessages = [] { return Current()->Pump(); };
        hooks.activeWindow = []() -> WindowRef { return Current()->ActiveWindow(); };
        hooks.mainWindow = []() -> WindowRef { return Current()->MainWindow(); };
        hooks.isWindowEnabled = [](WindowRef) { return Current()->enabled; };
        hooks.enableWindow = [](WindowRef, bool enable) { Current()->enabled = enable; };
        hooks.focusWindow = []() -> WindowRef { return Current()->focus; };
        hooks.setFocus = [](WindowRef window) { Current()->focus = window; };
        hooks.beginWaitCursor = [] { ++Current()->cursorBegins; };
        hooks.endWaitCursor = [] { ++Current()->cursorEnds; };
        SetUiHooks(hooks);
        m_uninstall = [] { ResetUiHooks(); };
    }

    void InstallPublic() {
        Current() = this;
        KvaraUiHooks hooks{};
        hooks.pumpPendingMessages = [] { return Current()->Pump() ? 1 : 0; };
        hooks.activeWindow = []() -> void* { return Current()->ActiveWindow(); };
        hooks.mainWindow = []() -> void* { return Current()->MainWindow(); };
        hooks.isWindowEnabled = [](void*) { return Current()->enabled ? 1 : 0; };
        hooks.enableWindow = [](void*, int enable) { Current()->enabled = enable != 0; };
        hooks.focusWindow = []() -> void* { return Current()->focus; };
        hooks.setFocus = [](void* window) { Current()->focus = window; };
        hooks.beginWaitCursor = [] { ++Current()->cursorBegins; };
        hooks.endWaitCursor = [] { ++Current()->cursorEnds; };
        KvaraSetUiHooks(&hooks);
        m_uninstall = [] { KvaraSetUiHooks(nullptr); };
    }

    void Uninstall() {
        if (m_uninstall) {
            std::exchange(m_uninstall, nullptr)();
        }
        if (Current() == this) {
            Current() = nullptr;
        }
    }

    // The threads on which messages were dispatched, in order.
    std::vector<std::thread::id> PumpThreads() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_pumpThreads;
    }

private:
    static FakeWindow*& Current() {
        static FakeWindow* current = nullptr;
        return current;
    }

    void* ActiveWindow() { return isActiveWindow ? this : nullptr; }
    void* MainWindow() { return isMainWindow ? this : nullptr; }

    bool Pump() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_pumpThreads.push_back(std::this_thread::get_id());
            ++pumps;
            disabledPumps += enabled ? 0 : 1;
            focusedPumps += focus != nullptr ? 1 : 0;
        }
        if (auto once = std::exchange(onNextPump, nullptr)) {
            once();
        }
        if (onEveryPump) {
            const auto call = onEveryPump;  // it may replace itself
            return call();
        }
        return false;
    }

    void (*m_uninstall)() = nullptr;
    std::mutex m_lock;
    std::vector<std::thread::id> m_pumpThreads;
};

}  // namespace kvara::test
