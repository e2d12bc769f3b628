// SPDX-License-Identifier: MIT
// Finding readers on the network: the search over every local adapter, and the address of a
// reader that an address text names by its bracketed name. Both run on the thread of the
// endpoint they are given, which a test can give a clock of its own.
#pragma once

#include <string>

#include "common/bytes.h"
#include "net/datagram_endpoint.h"

namespace kvara::net {

// A whole search over every adapter, answers and record 2 checks included, ends within this.
constexpr int kSearchLimitMs = 10000;

// Search over every adapter of this computer through the endpoint (inside a busy scope),
// waiting timeoutMs on each for the next answer; filter: only the maker's devices, checked by
// their record 2. The list is replaced by the entries in ascending byte order; returns its size.
// The endpoint's deadline is none afterwards.
int SearchAllAdapters(CDatagramEndpoint& endpoint, StringList& result, int timeoutMs, bool filter);

// The address text with its bracketed name replaced by the reader's "a.b.c.d-port", or empty
// when no reader answers to the name on any adapter; a text without "[" comes back unchanged.
std::string ResolveAddress(CDatagramEndpoint& endpoint, const std::string& text);

}  // namespace kvara::net
