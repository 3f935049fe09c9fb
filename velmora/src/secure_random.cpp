#include "secure_random.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/random.h>

namespace velmora {

namespace {

// One getrandom call per block: a few hundred attempts at the cost of one system call.
constexpr size_t block_bytes = 512;

uint8_t block[block_bytes];
size_t used = block_bytes;

int fill() {
    size_t got = 0;
    while (got < block_bytes) {
        ssize_t n = getrandom(block + got, block_bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        got += static_cast<size_t>(n);
    }
    used = 0;
    return 0;
}

void take(void* out, size_t n) {
    if (used + n > block_bytes && fill() != 0) {
        // getrandom does not fail once it has worked (the start-up fill proved it does); should
        // it ever, the block is stirred rather than handing out the same bytes again.
        for (size_t i = 0; i < block_bytes; i++)
            block[i] = static_cast<uint8_t>(block[i] * 167u + block[(i + 1) % block_bytes] + i);
        used = 0;
    }
    std::memcpy(out, block + used, n);
    used += n;
}

} // namespace

int secure_random_init() {
    return fill();
}

uint16_t secure_random_u16() {
    uint16_t v;
    take(&v, sizeof v);
    return v;
}

unsigned secure_random_below(unsigned bound) {
    if (bound <= 1) return 0;
    // Rejection keeps it uniform: values in the incomplete last range are drawn again.
    const uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
    uint32_t v;
    do
        take(&v, sizeof v);
    while (v >= limit);
    return v % bound;
}

} // namespace velmora
