#include "files.h"

#include "handles.h"
#include "seam.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {

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

namespace {

bool write_all(int fd, const char* data, std::size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return false;
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool replace_file(const char* path, const char* data, std::size_t len) {
    // A link stays a link: its target is the file replaced.
    char target[PATH_MAX];
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (!realpath(path, target)) return false;
    } else if (std::snprintf(target, sizeof target, "%s", path) >=
               static_cast<int>(sizeof target)) {
        errno = ENAMETOOLONG;
        return false;
    }
    // The directory (".", "/" or the part before the last "/") and the name.
    char dir[PATH_MAX];
    const char* slash = std::strrchr(target, '/');
    const char* base = slash ? slash + 1 : target;
    if (!slash)
        std::snprintf(dir, sizeof dir, ".");
    else if (slash == target)
        std::snprintf(dir, sizeof dir, "/");
    else
        std::snprintf(dir, sizeof dir, "%.*s", static_cast<int>(slash - target), target);
    char tmp[PATH_MAX];
    int n = std::snprintf(tmp, sizeof tmp, "%s/.%s.XXXXXX", dir, base);
    if (n < 0 || n >= static_cast<int>(sizeof tmp)) {
        errno = ENAMETOOLONG;
        return false;
    }

    bool old = stat(target, &st) == 0;
    mode_t mode = 0644;
    if (old) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    unique_fd fd(mkostemp(tmp, O_CLOEXEC));
    if (!fd) return false;
    bool ok = write_all(fd.get(), data, len) && fchmod(fd.get(), mode) == 0;
    if (ok && old && (st.st_uid != geteuid() || st.st_gid != getegid()))
        ok = fchown(fd.get(), st.st_uid, st.st_gid) == 0;
    ok = ok && fsync(fd.get()) == 0;
    int err = ok ? 0 : errno; // the first failure is the reason given
    if (fd.reset() != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(tmp, target) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(tmp);
        errno = err;
        return false;
    }
    // The rename itself reaches the disk with the directory.
    unique_fd d(open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d) fsync(d.get());
    return true;
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
