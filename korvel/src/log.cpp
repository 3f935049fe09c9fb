#include "log.h"

#include "handles.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

bool check_marker(const char* path) {
    std::time_t now = std::time(nullptr);
    struct stat sb;
    if (stat(path, &sb) == 0 && marker_fresh_at(now, sb.st_mtime)) {
        utimensat(AT_FDCWD, path, nullptr, 0); // both times to now
        return true;
    }
    unique_fd fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return false;
}

namespace {

void write_line(const char* text) {
    char line[512];
    int n = std::snprintf(line, sizeof line, "%s\n", text);
    if (n < 0) return;
    std::size_t len = static_cast<std::size_t>(n) < sizeof line ? n : sizeof line - 1;
    {
        // One write per line: the kernel log takes each write as one record.
        unique_fd kmsg(open("/dev/kmsg", O_WRONLY | O_APPEND | O_CLOEXEC));
        if (kmsg) {
            ssize_t w = write(kmsg.get(), line, len);
            (void)w;
        }
    }
    std::fputs(line, stderr);
}

} // namespace

void log_line(const modem_state& st, const char* text) {
    if (!st.log_quiet) write_line(text);
}

void log_error(const char* text) {
    write_line(text);
}

} // namespace korvel
