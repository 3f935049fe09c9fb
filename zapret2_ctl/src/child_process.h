// Running a program as a child with an explicit argument vector and
// environment, and waiting for it.
#pragma once

#include <sys/types.h>

namespace zapret2_ctl {

// fork + execve; the child ends with status 127 when execve fails.
// Returns the child's PID, or -1 with errno set when fork fails.
pid_t spawn_child(const char* path, char* const argv[], char* const envp[]);

// waitpid that retries on EINTR. Returns 0 and the status, or -1 with errno.
int wait_child(pid_t pid, int* status);

} // namespace zapret2_ctl
