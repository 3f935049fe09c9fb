// tarvona_diag: router diagnostics report, from a shell or as a CGI program.
//
// One run is one request: read the request, collect, render, print, exit 0.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "collect.h"
#include "probes.h"
#include "render_json.h"
#include "render_text.h"
#include "report.h"
#include "request.h"

namespace {

void write_all(const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = write(STDOUT_FILENO, data, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace diag;

    static request rq;
    set_request_defaults(rq);
    apply_query(getenv("QUERY_STRING"), rq);
    if (apply_arguments(argc, argv, rq)) {
        write_all(help_text, strlen(help_text));
        return 0;
    }

    static test_flags flags;
    select_tests(rq.tests, flags);

    diag_report& report = report_storage();
    collect_report(flags, report);

    out_reset();
    size_t length;
    if (wants_json(rq)) {
        length = render_json(report);
    } else {
        render_text_report(report, flags);
        length = out_position();
    }
    if (length > output_capacity - 1) length = output_capacity - 1;

    // A client that went away must not turn the run into a signal death:
    // from here on a closed stdout is a failed write, and the exit stays 0.
    // (Not earlier: the commands of the collection inherit the disposition.)
    signal(SIGPIPE, SIG_IGN);
    if (getenv("REQUEST_METHOD")) {
        char now[32], headers[512];
        format_timestamp(now, sizeof now);
        write_all(headers, format_headers(rq, now, headers, sizeof headers));
    }
    write_all(output_buffer, length);
    return 0;
}
