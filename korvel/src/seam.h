// The two places where korvel meets the clock and the kernel's attribute
// files in a way tests need to observe. The shipped program links seam_real.cpp
// (plain sleep, no tracing); the test build links seam_trace.cpp, which
// returns from waits at once and records waits and attribute writes in order.
#pragma once

#include <cstddef>

namespace korvel {

/// Waits `seconds` whole seconds.
void wait_seconds(unsigned seconds);

/// Called by write_sysfs before each write to a kernel attribute file.
void note_write(const char* path, const char* text, std::size_t len);

} // namespace korvel
