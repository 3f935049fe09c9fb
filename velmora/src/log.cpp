#include "log.h"

#include "options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <syslog.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr size_t log_line_cap = 1024;

void write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

} // namespace

void log_msg(const char* fmt, ...) {
    if (g_settings.debug_level <= 0) return;
    char line[log_line_cap];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    size_t len =
        static_cast<size_t>(n) < sizeof line - 2 ? static_cast<size_t>(n) : sizeof line - 2;
    syslog(LOG_INFO, "%s", line);
    // One write per line keeps each line whole, and reaches a pipe at once.
    line[len] = '\n';
    write_all(STDOUT_FILENO, line, len + 1);
}

} // namespace velmora
