// SPDX-License-Identifier: MIT
#include "reader/handles.h"

namespace kvara {

int HandlePool::Acquire() {
    std::lock_guard<std::mutex> guard(m_lock);
    int candidate = m_next;
    for (int tried = 0; m_inUse.count(candidate) != 0; ++tried) {
        if (tried == kHandleRange) {
            return 0;  // every handle of the range is held out: the link gets none
        }
        candidate = candidate >= m_base + kHandleRange ? m_base + 1 : candidate + 1;
    }
    m_inUse.insert(candidate);
    m_next = candidate >= m_base + kHandleRange ? m_base + 1 : candidate + 1;
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
