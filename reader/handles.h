// SPDX-License-Identifier: MIT
// Process-wide pools of reader handles, one per link kind.
#pragma once

#include <mutex>
#include <set>

namespace kvara {

// Hands out the smallest integer above its base that it does not already hold out.
class HandlePool {
public:
    explicit HandlePool(int base) : m_base(base) {}
    int Acquire();
    void Release(int handle);
    bool Holds(int handle) const;

private:
    const int m_base;
    mutable std::mutex m_lock;
    std::set<int> m_inUse;
};

constexpr int kSerialHandleBase = 0;
constexpr int kHidHandleBase = 10000;
constexpr int kTcpHandleBase = 20000;

HandlePool& SerialHandles();
HandlePool& HidHandles();
HandlePool& TcpHandles();

}  // namespace kvara
