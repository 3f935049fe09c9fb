// The random pause between two attempts at one server, and the pseudo-random generator behind it
// (seeded with the time at start-up; nothing an attacker must not guess comes from it: see
// secure_random.h). Used by the event loop only.
#pragma once

#include <cstdint>

namespace velmora {

constexpr unsigned pause_base_ms = 50;
constexpr unsigned pause_spread_ms = 100; // pause is base + [0, spread) ms

/// Seeds the generator (once, at start-up).
void seed_random(uint64_t seed);

/// Next pseudo-random number in [0, bound).
unsigned random_below(unsigned bound);

/// The pause before the next attempt, in ms.
inline unsigned next_pause_ms() {
    return pause_base_ms + random_below(pause_spread_ms);
}

} // namespace velmora
