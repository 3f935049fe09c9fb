// Properties the packet code must keep for any bytes at all; shared by the libFuzzer target and
// the seeded random-input unit test. Aborts (via __builtin_trap) when one is broken, so both
// harnesses and the sanitizers see the fault.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

void check_packet_invariants(const uint8_t* data, size_t size);

} // namespace velmora
