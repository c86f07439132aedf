#pragma once

#include <cstddef>
#include <cstdint>

namespace zefto::sha256blocks {

// Whether the processor has the SHA extensions (and the SSE levels the code
// around them needs); asked once.
bool available();

// Runs SHA-256's compression over `count` whole 64-byte blocks, updating the
// eight state words a..h. Only where available().
void compress(std::uint32_t state[8], const unsigned char *blocks, std::size_t count);

} // namespace zefto::sha256blocks
