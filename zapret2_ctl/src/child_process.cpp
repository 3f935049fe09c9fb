#include "child_process.h"

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace zapret2_ctl {

pid_t spawn_child(const char* path, char* const argv[], char* const envp[]) {
    // What this process has buffered goes out before anything the child
    // writes to the same descriptors. A stream that cannot take it keeps its
    // error for its own writer to report; the child is started either way.
    (void)std::fflush(nullptr);
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
