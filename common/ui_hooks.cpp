// SPDX-License-Identifier: MIT
#include "common/ui_hooks.h"

namespace kvara {

namespace {
UiHooks g_hooks;
}  // namespace

void SetUiHooks(const UiHooks& hooks) {
    g_hooks = hooks;
}

void ResetUiHooks() {
    g_hooks = UiHooks{};
}

const UiHooks& GetUiHooks() {
    return g_hooks;
}

bool HasMessagePump() {
    return g_hooks.pumpPendingMessages != nullptr;
}

bool PumpPendingMessages() {
    return g_hooks.pumpPendingMessages != nullptr && g_hooks.pumpPendingMessages();
}

namespace {

bool IsEnabled(WindowRef window) {
    return window != nullptr && g_hooks.isWindowEnabled != nullptr &&
           g_hooks.isWindowEnabled(window);
}

void Enable(WindowRef window, bool enable) {
    if (window != nullptr && g_hooks.enableWindow != nullptr) {
        g_hooks.enableWindow(window, enable);
    }
}

}  // namespace

BusyScope::BusyScope() {
    if (g_hooks.beginWaitCursor != nullptr) {
        g_hooks.beginWaitCursor();
    }
    m_window = g_hooks.mainWindow != nullptr ? g_hooks.mainWindow() : nullptr;
    if (m_window != nullptr) {
        m_wasEnabled = IsEnabled(m_window);
        Enable(m_window, false);
    }
}

BusyScope::~BusyScope() {
    if (m_window != nullptr && m_wasEnabled) {
        Enable(m_window, true);
    }
    if (g_hooks.endWaitCursor != nullptr) {
        g_hooks.endWaitCursor();
    }
}

WindowLock::WindowLock(bool lock) : m_locked(lock) {
    if (!m_locked) {
        return;
    }
    m_window = g_hooks.activeWindow != nullptr ? g_hooks.activeWindow() : nullptr;
    if (m_window != nullptr) {
        m_wasEnabled = IsEnabled(m_window);
        Enable(m_window, false);
    }
    m_focus = g_hooks.focusWindow != nullptr ? g_hooks.focusWindow() : nullptr;
    if (g_hooks.setFocus != nullptr) {
        g_hooks.setFocus(nullptr);
    }
}

WindowLock::~WindowLock() {
    Release();
}

void WindowLock::Release() {
    if (!m_locked) {
        return;
    }
    m_locked = false;
    // A window that was already disabled before the command stays disabled.
    if (m_window != nullptr && m_wasEnabled) {
        Enable(m_window, true);
    }
    if (g_hooks.setFocus != nullptr) {
        g_hooks.setFocus(m_focus);
    }
}

}  // namespace kvara
