// Test build only: waits return at once; waits and attribute writes are
// appended, one line each, to the file named by KORVEL_TRACE (when set), the
// same file the fake router commands of the tests append their calls to.
#include "seam.h"

#include "handles.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace korvel {

namespace {
void trace(const std::string& line) {
    const char* path = std::getenv("KORVEL_TRACE");
    if (!path || !*path) return;
    unique_fd fd(open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) return;
    std::string out = line + "\n";
    ssize_t n = write(fd.get(), out.data(), out.size());
    (void)n;
}
} // namespace

void wait_seconds(unsigned seconds) {
    trace("sleep " + std::to_string(seconds));
}

void note_write(const char* path, const char* text, std::size_t len) {
    std::string shown;
    for (std::size_t i = 0; i < len; ++i) {
        if (text[i] == '\n')
            shown += "\\n";
        else if (text[i] == '\r')
            shown += "\\r";
        else
            shown += text[i];
    }
    trace(std::string("write ") + path + " [" + shown + "]");
}

} // namespace korvel
