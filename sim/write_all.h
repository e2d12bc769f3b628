// SPDX-License-Identifier: MIT
// Writing an answer to the descriptor of a simulated server's peer.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <mutex>

#include "common/bytes.h"

namespace kvara::sim {

using WriteFunction = ssize_t (*)(int descriptor, const void* data, std::size_t length);

// Writes the bytes to the descriptor that `descriptor` holds under `lock` (it can be closed
// meanwhile: then nothing more is written), waiting up to a moment for room each time the peer
// is full; what the peer does not take then is dropped, as a wire would.
void WriteAll(std::mutex& lock, const int& descriptor, const ByteBuffer& bytes,
              WriteFunction write);

}  // namespace kvara::sim
