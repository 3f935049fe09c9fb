// Process-wide state of velmora: its settings, log sink, request counter and the generator behind
// the pauses between attempts. The settings are written once before any thread starts.
#pragma once

#include "options.h"

#include <cstdint>

namespace velmora {

extern settings g_settings;

/// printf-style; when debug_level > 0 writes the text and a newline to stdout in one write and
/// sends the text to the system log at LOG_INFO. Does nothing at all otherwise.
void log_msg(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

/// Returns the next request number (the first is 0); safe from any thread.
int64_t next_request_id();

/// Seeds the process-wide pause generator (once, at start-up).
void seed_random(uint64_t seed);

/// Next pseudo-random number in [0, bound); safe from any thread, lock-free.
unsigned random_below(unsigned bound);

} // namespace velmora
