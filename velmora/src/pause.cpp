#include "pause.h"

namespace velmora {

namespace {

uint64_t random_state = 1;

} // namespace

void seed_random(uint64_t seed) {
    random_state = seed;
}

unsigned random_below(unsigned bound) {
    // 64-bit LCG (Knuth's MMIX constants); the high bits are the usable ones.
    random_state = random_state * 6364136223846793005ULL + 1442695040888963407ULL;
    return bound == 0 ? 0 : static_cast<unsigned>((random_state >> 33) % bound);
}

} // namespace velmora
