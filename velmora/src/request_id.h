// Numbers of the requests, as the log lines show them ("[req #N]").
#pragma once

#include <cstdint>

namespace velmora {

/// Returns the next request number (the first is 0). Called by the event loop only.
int64_t next_request_id();

} // namespace velmora
