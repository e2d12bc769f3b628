// SPDX-License-Identifier: MIT
// Process-wide pools of reader handles, one per link kind.
#pragma once

#include <mutex>
#include <set>

namespace kvara {

// How many handles each range has: the ranges stay disjoint.
constexpr int kHandleRange = 9999;

// Hands out the integers above its base in turn, skipping those it holds out, and starts again
// at the smallest after the last of its range: a handle given back is not given out again until
// the others have had their turn, so that a caller who still holds a closed reader's handle
// (a call cut off by the close, say) finds no other reader behind it.
class HandlePool {
public:
    explicit HandlePool(int base) : m_base(base), m_next(base + 1) {}
    // The next free handle; 0 when every handle of the range is held out.
    int Acquire();
    void Release(int handle);
    bool Holds(int handle) const;

private:
    const int m_base;
    mutable std::mutex m_lock;
    std::set<int> m_inUse;
    int m_next;  // where the search for the next free handle starts
};

constexpr int kSerialHandleBase = 0;
constexpr int kHidHandleBase = 10000;
constexpr int kTcpHandleBase = 20000;

HandlePool& SerialHandles();
HandlePool& HidHandles();
HandlePool& TcpHandles();

}  // namespace kvara
