#include "child_process.h"

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace zapret2_ctl {

pid_t spawn_child(const char* path, char* const argv[], char* const envp[]) {
    // Buffered output must not be written twice by the child.
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execve(path, argv, envp);
        ::_exit(127);
    }
    return pid;
}

int wait_child(pid_t pid, int* status) {
    for (;;) {
        if (::waitpid(pid, status, 0) == pid) return 0;
        if (errno != EINTR) return -1;
    }
}

} // namespace zapret2_ctl
