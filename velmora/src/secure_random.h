// Unpredictable numbers for everything an attacker off the path must not guess: the message ID of
// every upstream attempt and background check, the lifetime of an upstream socket and the choice
// among idle sockets. Drawn from the kernel's cryptographic generator (getrandom), a block at a
// time. Used by the event loop only.
#pragma once

#include <cstdint>

namespace velmora {

/// Fills the first block. Returns 0, or the errno of getrandom when the kernel gives nothing
/// (the daemon then refuses to start).
int secure_random_init();

/// A uniformly random 16-bit number.
uint16_t secure_random_u16();

/// A uniformly random number in [0, bound); 0 when bound is 0.
unsigned secure_random_below(unsigned bound);

} // namespace velmora
