// SPDX-License-Identifier: MIT
// The one deadline type of the project: a point on the monotonic clock that a wait must not
// pass, and what is left of it in the forms the waits need (a duration for condition
// variables, whole milliseconds rounded up for poll()). Time points come from the clock the
// caller measures with, so a test can run the waits on a clock of its own.
#pragma once

#include <algorithm>
#include <chrono>
#include <climits>

namespace kvara {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    // No deadline: never expires, RemainingMs() is -1 (poll's "wait without end").
    Deadline() = default;
    static Deadline At(Clock::time_point end) { return Deadline(end); }
    static Deadline In(Clock::duration span, Clock::time_point now = Clock::now()) {
        return Deadline(span >= Clock::time_point::max() - now ? Clock::time_point::max()
                                                               : now + span);
    }
    static Deadline InMs(long long ms, Clock::time_point now = Clock::now()) {
        return In(std::chrono::milliseconds(std::max(0LL, ms)), now);
    }

    bool Never() const { return m_end == Clock::time_point::max(); }
    Clock::time_point End() const { return m_end; }
    bool Expired(Clock::time_point now = Clock::now()) const { return !Never() && now >= m_end; }
    // What is left; zero once expired, the largest duration for no deadline.
    Clock::duration Remaining(Clock::time_point now = Clock::now()) const {
        if (Never()) {
            return Clock::duration::max();
        }
        return now >= m_end ? Clock::duration::zero() : m_end - now;
    }
    // Whole milliseconds left, rounded up (a wait never ends early), at most INT_MAX; 0 once
    // expired; -1 for no deadline.
    int RemainingMs(Clock::time_point now = Clock::now()) const {
        if (Never()) {
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(Remaining(now)).count();
        return static_cast<int>(std::min<long long>(left, INT_MAX));
    }
    // The earlier of two deadlines.
    Deadline Or(const Deadline& other) const { return Deadline(std::min(m_end, other.m_end)); }

private:
    explicit Deadline(Clock::time_point end) : m_end(end) {}
    Clock::time_point m_end = Clock::time_point::max();
};

}  // namespace kvara
