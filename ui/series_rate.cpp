// SPDX-License-Identifier: MIT
#include "ui/series_rate.h"

namespace kvara {

void SeriesRate::Start(std::int64_t ms) {
    m_moments.clear();
    m_moments.push_back(ms);
}

void SeriesRate::Add(std::int64_t ms) {
    if (m_moments.empty()) {
        m_moments.push_back(ms);  // no start given: the first tag starts the measure
        return;
    }
    m_moments.push_back(ms);
    while (m_moments.size() > kTags + 1) {
        m_moments.pop_front();
    }
}

int SeriesRate::PerMinute() const {
    if (m_moments.size() < 2) {
        return 0;
    }
    const std::int64_t span = m_moments.back() - m_moments.front();
    const auto tags = static_cast<std::int64_t>(m_moments.size() - 1);
    if (span <= 0) {
        return 0;
    }
    return static_cast<int>((tags * 60000 + span / 2) / span);
}

}  // namespace kvara
