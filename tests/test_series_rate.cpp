// SPDX-License-Identifier: MIT
// Tags a minute of a series: over the latest tags since the start or the end of a pause, so
// that a long pause does not drag the figure down afterwards.
#include <gtest/gtest.h>

#include "ui/series_rate.h"

using kvara::SeriesRate;

TEST(SeriesRateTest, CountsFromTheStartAndOverTheLatestTags) {
    SeriesRate rate;
    EXPECT_EQ(rate.PerMinute(), 0);
    rate.Start(1000);
    EXPECT_EQ(rate.PerMinute(), 0);  // no tag yet
    rate.Add(1500);                  // the first tag half a second after the start
    EXPECT_EQ(rate.PerMinute(), 120);
    for (int i = 2; i <= 100; ++i) {
        rate.Add(1000 + i * 500);
    }
    EXPECT_EQ(rate.PerMinute(), 120);
    // The belt gets faster: after as many tags as the figure is taken over, only the new pace
    // counts.
    std::int64_t at = 1000 + 100 * 500;
    for (std::size_t i = 0; i < SeriesRate::kTags; ++i) {
        at += 100;
        rate.Add(at);
    }
    EXPECT_EQ(rate.PerMinute(), 600);
}

TEST(SeriesRateTest, APauseDoesNotCount) {
    SeriesRate rate;
    rate.Start(0);
    rate.Add(1000);
    rate.Add(2000);
    // Ten minutes of pause, then the run goes on at the same pace.
    rate.Start(602000);
    rate.Add(603000);
    EXPECT_EQ(rate.PerMinute(), 60);
    // Without a start the first tag starts the measure.
    SeriesRate unstarted;
    unstarted.Add(5000);
    EXPECT_EQ(unstarted.PerMinute(), 0);
    unstarted.Add(5000);
    EXPECT_EQ(unstarted.PerMinute(), 0);  // no time between them: no figure
    unstarted.Add(7000);
    EXPECT_EQ(unstarted.PerMinute(), 60);
}
