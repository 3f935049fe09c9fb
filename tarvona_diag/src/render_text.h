// The Russian text report: the record in, the output buffer out.
#pragma once

#include "report.h"

namespace tarvona_diag {

// Appends the whole text report of r for the tests of f to the output
// buffer (which the caller has emptied). Runs no command, reads no file.
void render_text_report(const diag_report& r, const test_flags& f);

} // namespace tarvona_diag
