#include "daemon_probe.h"

#include "handles.h"
#include "log.h"
#include "paths.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zapret2_ctl {

namespace {

constexpr std::size_t pid_path_capacity = 4096;
// Longest PID file read, in bytes: a PID and a newline need far fewer; a
// longer file is not a PID file.
constexpr std::size_t pid_file_max_size = 63;

// The PID a file names: 0 when empty, not a number, not positive or beyond
// the int range (a wrapped value could name an unrelated live process).
// -1 when the file cannot be opened or is not a regular file of at most
// pid_file_max_size bytes: a FIFO (opened without waiting for a writer), a
// device or a directory is never read.
int read_pid_file(const char* path) {
    unique_fd fd(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return -1;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::size_t>(st.st_size) > pid_file_max_size)
        return -1;
    char text[pid_file_max_size + 1];
    ssize_t n;
    do {
        n = ::read(fd.get(), text, pid_file_max_size);
    } while (n < 0 && errno == EINTR);
    if (fd.reset() != 0) log_warn("fclose failed for %s", path);
    if (n < 0) return -1;
    text[n] = '\0';

    errno = 0;
    char* end = nullptr;
    long pid = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || pid <= 0 || pid > INT_MAX) return 0;
    return static_cast<int>(pid);
}

// A PID that is never the service's daemon: init, and this program itself.
bool never_a_daemon(int pid) {
    return pid == 1 || pid == static_cast<int>(::getpid());
}

// Called with each live PID; returns true to go on, false to stop the walk.
using pid_visitor = bool (*)(int pid, void* ctx);

// Walks the "nfqws2_" files of dir in directory order and calls visit with
// each PID that may be the daemon and answers a signal-0 probe.
void daemon_scan_in(const char* dir, pid_visitor visit, void* ctx) {
    unique_dir d(::opendir(dir));
    if (!d) {
        if (errno != ENOENT)
            log_warn("Failed to open PID directory %s: %s", dir, std::strerror(errno));
        return;
    }
    std::size_t prefix_len = std::strlen(pid_file_prefix);
    while (const dirent* ent = ::readdir(d.get())) {
        if (std::strncmp(ent->d_name, pid_file_prefix, prefix_len) != 0) continue;
        char path[pid_path_capacity];
        int n = std::snprintf(path, sizeof path, "%s/%s", dir, ent->d_name);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof path) continue;
        int pid = read_pid_file(path);
        if (pid > 0 && !never_a_daemon(pid) && ::kill(pid, 0) == 0) {
            if (!visit(pid, ctx)) break;
        }
    }
}

} // namespace

int daemon_count_in(const char* dir) {
    int count = 0;
    daemon_scan_in(
        dir,
        [](int, void* c) {
            ++*static_cast<int*>(c);
            return true;
        },
        &count);
    return count;
}

int daemon_first_pid_in(const char* dir) {
    int first = 0;
    daemon_scan_in(
        dir,
        [](int pid, void* c) {
            *static_cast<int*>(c) = pid;
            return false;
        },
        &first);
    return first;
}

int daemon_count() {
    return daemon_count_in(pid_dir);
}
int daemon_first_pid() {
    return daemon_first_pid_in(pid_dir);
}

} // namespace zapret2_ctl
