#include "process.h"

#include "handles.h"
#include "text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel {

void flush_output() {
    (void)std::fflush(nullptr); // nothing to do about a failure (see process.h)
}

int run_shell(const char* command) {
    flush_output();
    return std::system(command);
}

void run_line(const char* command, char* buf, std::size_t cap) {
    buf[0] = '\0';
    flush_output();
    pipe_handle p(popen(command, "re"));
    if (!p) return;
    if (!std::fgets(buf, static_cast<int>(cap), p.get())) buf[0] = '\0';
    cut_line_end(buf);
    p.reset();
}

void run_output(const char* command, char* buf, std::size_t cap) {
    buf[0] = '\0';
    flush_output();
    pipe_handle p(popen(command, "re"));
    if (!p) return;
    std::size_t n = std::fread(buf, 1, cap - 1, p.get());
    buf[n] = '\0';
    // Whatever does not fit is read and dropped, so the command is not left
    // blocked on a full pipe.
    char rest[256];
    while (std::fread(rest, 1, sizeof rest, p.get()) > 0) {
    }
    p.reset();
}

bool names_other_process(const char* pid_text, pid_t self, pid_t parent) {
    const char* p = pid_text;
    while (*p) {
        char* end = nullptr;
        long pid = std::strtol(p, &end, 10);
        if (end == p) { // not a number: step over one character
            ++p;
            continue;
        }
        if (pid != self && pid != parent) return true;
        p = end;
    }
    return false;
}

bool other_instance_running(const char* name) {
    char command[128];
    std::snprintf(command, sizeof command, "pidof %s 2>/dev/null", name);
    flush_output();
    pipe_handle p(popen(command, "re"));
    if (!p) return false;
    bool other = false;
    char line[256];
    while (std::fgets(line, sizeof line, p.get()))
        if (names_other_process(line, getpid(), getppid())) other = true;
    return other;
}

int run_program(const char* program, const char* arg) {
    flush_output();
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        execl(program, program, arg, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return status;
}

} // namespace korvel
