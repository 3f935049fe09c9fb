#include "files.h"

#include "fd.h"
#include "seam.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace korvel {

bool read_line(const char* path, char (&buf)[256]) {
    return read_first_line(path, buf, 256);
}

bool read_first_line(const char* path, char* buf, std::size_t cap) {
    buf[0] = '\0';
    file_handle f(std::fopen(path, "re"));
    if (!f) return false;
    if (!std::fgets(buf, static_cast<int>(cap), f.get())) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

void write_sysfs(const char* path, const char* text) {
    std::size_t len = std::strlen(text);
    note_write(path, text, len);
    unique_fd fd(open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) return;
    ssize_t n = write(fd.get(), text, len);
    (void)n; // the kernel's answer to an attribute write is not looked at
}

bool read_link(const char* path, char* buf, std::size_t cap) {
    ssize_t n = readlink(path, buf, cap - 1);
    if (n <= 0) {
        buf[0] = '\0';
        return false;
    }
    buf[n] = '\0';
    return true;
}

} // namespace korvel
