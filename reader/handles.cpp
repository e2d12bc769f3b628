// SPDX-License-Identifier: MIT
#include "reader/handles.h"

namespace kvara {

int HandlePool::Acquire() {
    std::lock_guard<std::mutex> guard(m_lock);
    int candidate = m_base + 1;
    for (int held : m_inUse) {  // ascending
        if (held > candidate) {
            break;
        }
        if (held == candidate) {
            ++candidate;
        }
    }
    m_inUse.insert(candidate);
    return candidate;
}

void HandlePool::Release(int handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_inUse.erase(handle);
}

bool HandlePool::Holds(int handle) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_inUse.count(handle) != 0;
}

HandlePool& SerialHandles() {
    static HandlePool pool(kSerialHandleBase);
    return pool;
}

HandlePool& HidHandles() {
    static HandlePool pool(kHidHandleBase);
    return pool;
}

HandlePool& TcpHandles() {
    static HandlePool pool(kTcpHandleBase);
    return pool;
}

}  // namespace kvara
