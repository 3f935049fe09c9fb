#include "command_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "handles.h"

namespace tarvona_diag {

namespace {

constexpr size_t line_piece = 1024; // output is taken in pieces of at most 1023 bytes
constexpr int reap_wait_ms = 1000;  // a shell that closed its output and was killed
constexpr size_t read_chunk = 4096;

// State of one job. A job is under way from start_command until
// finish_command; it has ended when its output is closed.
struct job {
    bool used = false;
    bool killed = false; // its limit passed and its group was killed
    pid_t pid = -1;      // the shell, and the id of its process group
    fd_holder out{-1};   // read end of its standard output, non-blocking
    fd_holder exit{-1};  // pidfd of the shell (-1 where the kernel has none)
    char* buf = nullptr;
    size_t cap = 0;
    size_t stored = 0;
    char piece[line_piece] = {};
    size_t piece_len = 0;
    int64_t deadline = 0; // monotonic ms: the limit
    int64_t give_up = 0;  // monotonic ms: end of the drain after a kill

    bool ended() const { return out.get() < 0; }
};

job g_jobs[max_jobs];

// The process groups of the jobs not yet reaped, for the signal handler:
// an interrupted report takes its commands with it (they are in groups of
// their own, so a Ctrl-C at the terminal does not reach them).
volatile sig_atomic_t g_groups[max_jobs];

int64_t now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A descriptor above 0..2: with a standard descriptor closed at start the
// kernel would hand that number out, and the child's own stdin or stdout
// would then be taken by it.
int above_standard(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

int open_exit_fd(pid_t pid) {
#ifdef SYS_pidfd_open
    // pidfds are close-on-exec from the start.
    return above_standard(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
#else
    (void)pid;
    return -1;
#endif
}

// One piece of output (a line, or 1023 bytes of a longer one) into the
// buffer if it fits whole. A NUL byte ends the piece, as it ends the text.
void commit_piece(job& j) {
    size_t n = strnlen(j.piece, j.piece_len);
    if (j.stored + n < j.cap) {
        memcpy(j.buf + j.stored, j.piece, n);
        j.stored += n;
        j.buf[j.stored] = '\0';
    }
    j.piece_len = 0;
}

void take_output(job& j, const char* data, size_t n) {
    while (n > 0) {
        size_t room = line_piece - 1 - j.piece_len;
        size_t take = n < room ? n : room;
        const void* nl = memchr(data, '\n', take);
        if (nl) take = static_cast<size_t>(static_cast<const char*>(nl) - data) + 1;
        memcpy(j.piece + j.piece_len, data, take);
        j.piece_len += take;
        data += take;
        n -= take;
        if (nl || j.piece_len == line_piece - 1) commit_piece(j);
    }
}

void kill_group(const job& j) {
    // The shell is not reaped before this: it keeps the group's id taken.
    if (j.pid > 0) kill(-j.pid, SIGKILL);
}

// Called before the shell is reaped (or given up): from then on its group
// id may be taken by another process.
void forget_group(const job& j) {
    g_groups[&j - g_jobs] = 0;
}

// The shell has closed its output (it ended, or it closed its stdout):
// what is left of its group is ended and the shell reaped.
void reap(job& j) {
    kill_group(j);
    forget_group(j);
    if (j.exit.get() >= 0) {
        pollfd p{j.exit.get(), POLLIN, 0};
        while (poll(&p, 1, reap_wait_ms) < 0 && errno == EINTR) {
        }
        while (waitpid(j.pid, nullptr, WNOHANG) < 0 && errno == EINTR) {
        }
    } else {
        while (waitpid(j.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

void close_output(job& j) {
    if (j.piece_len > 0) commit_piece(j);
    j.out.reset();
}

// Reads what the pipe holds now; at its end the job has ended.
void drain(job& j) {
    char chunk[read_chunk];
    for (;;) {
        ssize_t n = read(j.out.get(), chunk, sizeof chunk);
        if (n > 0) {
            take_output(j, chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        close_output(j);
        reap(j);
        return;
    }
}

// One round for every job under way: ends those past their limit, waits
// (until the nearest limit at most) for output, and reads it.
void serve() {
    pollfd fds[max_jobs];
    job* owner[max_jobs];
    int n = 0;
    int64_t now = now_ms();
    int64_t wait = -1;
    for (job& j : g_jobs) {
        if (!j.used || j.ended()) continue;
        if (!j.killed && now >= j.deadline) {
            kill_group(j);
            j.killed = true;
            j.give_up = now + drain_after_kill_ms;
        }
        if (j.killed && now >= j.give_up) {
            // Something outside the group still holds the output, or the
            // command cannot die (a process stuck in the kernel): leave it.
            close_output(j);
            forget_group(j);
            waitpid(j.pid, nullptr, WNOHANG);
            continue;
        }
        int64_t until = (j.killed ? j.give_up : j.deadline) - now;
        if (wait < 0 || until < wait) wait = until;
        fds[n] = pollfd{j.out.get(), POLLIN, 0};
        owner[n++] = &j;
    }
    if (n == 0) return;
    if (poll(fds, static_cast<nfds_t>(n), static_cast<int>(wait)) <= 0) return;
    for (int i = 0; i < n; ++i)
        if (fds[i].revents) drain(*owner[i]);
}

bool spawn(const char* cmd, job& j) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    fd_holder rd(above_standard(ends[0]));
    fd_holder wr(above_standard(ends[1]));
    if (rd.get() < 0 || wr.get() < 0) return false;
    if (fcntl(rd.get(), F_SETFL, O_NONBLOCK) != 0) return false;

    spawn_settings s;
    if (!s.ok()) return false;
    if (posix_spawn_file_actions_addopen(s.actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) ||
        posix_spawn_file_actions_adddup2(s.actions(), wr.get(), STDOUT_FILENO) ||
        posix_spawnattr_setflags(s.attr(), POSIX_SPAWN_SETPGROUP) ||
        posix_spawnattr_setpgroup(s.attr(), 0))
        return false;
    char sh[] = "sh", dash_c[] = "-c";
    char* argv[] = {sh, dash_c, const_cast<char*>(cmd), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/bin/sh", s.actions(), s.attr(), argv, environ) != 0) return false;
    j.pid = pid;
    g_groups[&j - g_jobs] = pid;
    j.out.reset(rd.release());
    j.exit.reset(open_exit_fd(pid));
    return true;
}

extern "C" void end_jobs_and_die(int sig) {
    for (int i = 0; i < max_jobs; ++i)
        if (g_groups[i] > 0) kill(-g_groups[i], SIGKILL);
    raise(sig); // the handler was reset: the default action follows
}

} // namespace

void end_jobs_on_signals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = end_jobs_and_die;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

int start_command(const char* cmd, char* buf, size_t cap, int limit_ms) {
    if (!buf || cap == 0) return -1;
    buf[0] = '\0';
    if (!cmd) return -1;
    int id = 0;
    while (id < max_jobs && g_jobs[id].used)
        ++id;
    if (id == max_jobs) return -1;
    job& j = g_jobs[id];
    j.buf = buf;
    j.cap = cap;
    j.stored = 0;
    j.piece_len = 0;
    j.killed = false;
    if (!spawn(cmd, j)) return -1;
    j.used = true;
    j.deadline = now_ms() + (limit_ms > 0 ? limit_ms : 0);
    return id;
}

int finish_command(int id) {
    if (id < 0 || id >= max_jobs || !g_jobs[id].used) return -1;
    job& j = g_jobs[id];
    while (!j.ended())
        serve();
    j.exit.reset();
    j.used = false;
    return static_cast<int>(j.stored);
}

int jobs_under_way() {
    int n = 0;
    for (const job& j : g_jobs)
        n += j.used;
    return n;
}

} // namespace tarvona_diag
