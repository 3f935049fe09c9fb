// tarvona_diag: router diagnostics report, from a shell or as a CGI program.
//
// One run is one request: read the request, collect, render, print. Exit 0,
// or 1 when the output could not be written (a full disk, /dev/full).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "collect.h"
#include "command_runner.h"
#include "probes.h"
#include "render_json.h"
#include "render_text.h"
#include "report.h"
#include "request.h"

namespace {

// Writes all of data; false (errno set) when a write fails.
bool write_all(const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = write(STDOUT_FILENO, data, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// A regular file holds the output only once the file system has taken it:
// a full flash may say so only now. Pipes and terminals have nothing to
// flush.
bool flush_stdout() {
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) && fsync(STDOUT_FILENO) != 0 &&
        errno != EINVAL && errno != EROFS)
        return false;
    return close(STDOUT_FILENO) == 0 || errno == EINTR;
}

// Exit status after a failed write of the output. A broken pipe means the
// reader went away on purpose (the web server's client, `| head` in a
// shell): nothing to tell anyone, and under CGI not even a failure.
int write_failed(bool cgi) {
    int err = errno;
    if (err == EPIPE) return cgi ? 0 : 1;
    fprintf(stderr, "tarvona_diag: ошибка записи в стандартный вывод: %s\n", strerror(err));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tarvona_diag;

    static request rq;
    set_request_defaults(rq);
    apply_query(getenv("QUERY_STRING"), rq);
    const bool cgi = getenv("REQUEST_METHOD") != nullptr;
    if (apply_arguments(argc, argv, rq)) {
        signal(SIGPIPE, SIG_IGN);
        if (!write_all(help_text, strlen(help_text)) || !flush_stdout()) return write_failed(cgi);
        return 0;
    }

    static test_flags flags;
    select_tests(rq.tests, flags);

    end_jobs_on_signals();

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
    // from here on a closed stdout is a failed write (quiet under CGI).
    // (Not earlier: the commands of the collection inherit the disposition.)
    signal(SIGPIPE, SIG_IGN);
    if (cgi) {
        char now[32], headers[512];
        format_timestamp(now, sizeof now);
        if (!write_all(headers, format_headers(rq, now, headers, sizeof headers)))
            return write_failed(cgi);
    }
    if (!write_all(output_buffer, length) || !flush_stdout()) return write_failed(cgi);
    return 0;
}
