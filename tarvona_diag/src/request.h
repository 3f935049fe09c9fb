// The request of one run: CGI query and command line, test selection,
// response headers and the help text. Pure; the caller does the I/O.
#pragma once

#include <cstddef>

#include "report.h"

namespace tarvona_diag {

struct request {
    char action[32]; // "download" asks for an attachment (CGI only)
    char format[16]; // "json" selects the JSON renderer
    char tests[512]; // comma-separated keys; empty means all
};

// action "run", format "text", tests empty.
void set_request_defaults(request& rq);

// Looks up name in a raw query string: the first "&"-separated segment that
// begins with name followed by "=" gives its value, verbatim (no
// percent-decoding), cut to cap - 1 bytes. Returns false (dst untouched)
// when the parameter is absent.
bool query_param(const char* query, const char* name, char* dst, size_t cap);

// Applies the "action", "tests" and "format" parameters of a query.
void apply_query(const char* query, request& rq);

// Applies the arguments left to right (argv[0] is skipped). Returns true
// when "--help" or "-h" was met: the caller prints the help and stops.
bool apply_arguments(int argc, const char* const* argv, request& rq);

// Fills f from a test list: all 34 on when the list is empty; otherwise the
// four always-on system tests plus every listed key (items trimmed, empty
// items and unknown keys ignored, compared case-sensitively).
void select_tests(const char* tests, test_flags& f);

bool wants_json(const request& rq);
bool wants_download(const request& rq);

// The CGI response headers, ending in the empty line. timestamp is the time
// taken now ("%Y-%m-%d %H:%M:%S"); it names the download file. Returns the
// length written into out (cut to cap - 1).
size_t format_headers(const request& rq, const char* timestamp, char* out, size_t cap);

// The usage text printed by --help.
extern const char help_text[];

} // namespace tarvona_diag
