// JSON report renderer.
#pragma once

#include <cstddef>

#include "report.h"

namespace tarvona_diag {

// Builds the JSON document of r (for the tests selected in r.flags) and
// replaces the content of the output buffer with it. The document is always
// one complete, valid JSON text: when it would not fit the buffer, the
// longest texts (the log first) are shortened with a visible marker.
// Returns the number of bytes written.
size_t render_json(const diag_report& r);

} // namespace tarvona_diag
