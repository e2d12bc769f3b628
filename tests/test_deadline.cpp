// SPDX-License-Identifier: MIT
// The deadline every wait measures with, on a clock the test sets.
#include <gtest/gtest.h>

#include "common/deadline.h"

using kvara::Deadline;
using namespace std::chrono_literals;

TEST(Deadline, RemainingTimeRoundsUpAndNeverGoesNegative) {
    const auto t0 = Deadline::Clock::time_point{} + 1000s;
    const Deadline d = Deadline::InMs(100, t0);
    EXPECT_FALSE(d.Expired(t0));
    EXPECT_EQ(d.RemainingMs(t0), 100);
    EXPECT_EQ(d.RemainingMs(t0 + 99ms + 1us), 1);  // a wait never ends early
    EXPECT_TRUE(d.Expired(t0 + 100ms));
    EXPECT_EQ(d.RemainingMs(t0 + 5s), 0);
    EXPECT_EQ(d.Remaining(t0 + 5s), Deadline::Clock::duration::zero());
    EXPECT_EQ(Deadline::InMs(-5, t0).RemainingMs(t0), 0);  // a negative span is already over
}

TEST(Deadline, NoDeadlineAndHugeSpansDoNotOverflow) {
    const Deadline never;
    EXPECT_TRUE(never.Never());
    EXPECT_FALSE(never.Expired());
    EXPECT_EQ(never.RemainingMs(), -1);
    const Deadline far = Deadline::In(Deadline::Clock::duration::max());
    EXPECT_TRUE(far.Never());
    const auto t0 = Deadline::Clock::time_point{} + 1000s;
    const Deadline longWait = Deadline::In(std::chrono::hours(24 * 365 * 100), t0);
    EXPECT_EQ(longWait.RemainingMs(t0), INT_MAX);
    EXPECT_EQ(Deadline::InMs(50, t0).Or(never).RemainingMs(t0), 50);
    EXPECT_EQ(never.Or(Deadline::InMs(7, t0)).RemainingMs(t0), 7);
}
