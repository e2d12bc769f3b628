// SPDX-License-Identifier: MIT
// SeriesRate: how many tags a minute a series encodes, measured over its latest tags from the
// moment it started or went on after a pause, so that a pause or a gap on the belt long ago does
// not drag the figure down for the rest of the run. Standard library only.
#pragma once

#include <cstdint>
#include <deque>

namespace kvara {

class SeriesRate {
public:
    // The run starts, or goes on after a pause, at this moment (milliseconds of a steady
    // clock): what came before no longer counts.
    void Start(std::int64_t ms);
    // A tag was handled at this moment.
    void Add(std::int64_t ms);
    // Tags a minute over the latest tags since the start; 0 before the first.
    int PerMinute() const;

    // How many of the latest tags the figure is taken over.
    static constexpr std::size_t kTags = 20;

private:
    // The start (until kTags tags pushed it out) and the moments of the latest tags.
    std::deque<std::int64_t> m_moments;
};

}  // namespace kvara
