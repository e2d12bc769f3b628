// SPDX-License-Identifier: MIT
#include "net/discovery.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "common/ui_hooks.h"

namespace kvara::net {

int SearchAllAdapters(CDatagramEndpoint& endpoint, StringList& result, int timeoutMs, bool filter) {
    BusyScope busy;
    endpoint.EnumerateAdapters();
    result.clear();
    if (!endpoint.SelectFirstAdapter()) {
        return 0;
    }
    // One time limit for the whole search. Each adapter gets an equal share of what is left,
    // so that a network where answers never stop cannot take the time of the others.
    const auto end = endpoint.Now() + std::chrono::milliseconds(kSearchLimitMs);
    auto adaptersLeft = static_cast<std::int64_t>(endpoint.Adapters().size());
    do {
        const auto now = endpoint.Now();
        endpoint.SetDeadline(now + (end - now) / std::max<std::int64_t>(adaptersLeft--, 1));
        endpoint.DiscoverOnAdapter(result, timeoutMs, filter);
    } while (endpoint.Now() < end && endpoint.SelectNextAdapter());
    endpoint.SetDeadline(CDatagramEndpoint::Clock::time_point::max());
    return static_cast<int>(result.size());
}

std::string ResolveAddress(CDatagramEndpoint& endpoint, const std::string& text) {
    std::string namePart;
    if (text.empty() || !BracketedNamePart(text, false, &namePart)) {
        return text;
    }
    return endpoint.ResolveName(namePart);
}

}  // namespace kvara::net
