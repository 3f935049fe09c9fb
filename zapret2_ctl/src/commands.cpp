// status, genconfig and reset.
#include "commands.h"

#include "child_process.h"
#include "daemon_probe.h"
#include "handles.h"
#include "log.h"
#include "paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zapret2_ctl {

int cmd_status(const zapret2_config& cfg) {
    int count = daemon_count();
    if (count <= 0) {
        std::puts("zapret2 inactive");
        return 1;
    }
    int first = daemon_first_pid();
    std::puts("zapret2 is running");
    std::printf("  Instances: %d\n", count);
    std::printf("  First PID: %d\n", first);
    std::printf("  Strategies: %d enabled\n", config_count_enabled(cfg));
    return 0;
}

namespace {

int lock_exclusive(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX) == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

// Runs the generator with the lock held; true on success.
bool run_generator() {
    char* argv[] = {const_cast<char*>(generator_path), nullptr};
    char* envp[] = {nullptr};
    pid_t pid = spawn_child(generator_path, argv, envp);
    if (pid < 0) {
        log_error("Fork failed: %s", std::strerror(errno));
        return false;
    }
    int status = 0;
    if (wait_child(pid, &status) != 0) {
        log_error("Waitpid failed: %s", std::strerror(errno));
        return false;
    }
    if (!WIFEXITED(status)) { // killed by a signal
        log_error("Config generation terminated abnormally");
        return false;
    }
    if (WEXITSTATUS(status) != 0) {
        log_error("Config generation failed (exit %d)", WEXITSTATUS(status));
        return false;
    }
    log_info("Config generated successfully");
    return true;
}

} // namespace

int cmd_genconfig() {
    log_info("Generating config from UCI...");
    // Close-on-exec: the generator (and anything it leaves behind) must not
    // keep the lock after this run ends.
    unique_fd fd(::open(genconfig_lock_file, O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        log_error("Failed to open lock file: %s", std::strerror(errno));
        return genconfig_failure_status;
    }
    if (lock_exclusive(fd.get()) != 0) {
        log_error("Failed to acquire lock: %s", std::strerror(errno));
        return genconfig_failure_status;
    }
    flock_holder held(fd.get());
    return run_generator() ? 0 : genconfig_failure_status;
}

int cmd_reset() {
    if (::access(defaults_file, R_OK) != 0) {
        std::fprintf(stderr, "Defaults file not found: %s\n", defaults_file);
        return 1;
    }
    char* argv[] = {const_cast<char*>(reset_shell), const_cast<char*>("-c"),
                    const_cast<char*>(reset_command), nullptr};
    char* envp[] = {const_cast<char*>(reset_env_path), nullptr};
    pid_t pid = spawn_child(reset_shell, argv, envp);
    if (pid < 0) {
        std::fputs("Fork failed\n", stderr);
        return 1;
    }
    int status = 0;
    if (wait_child(pid, &status) != 0) {
        std::fputs("Waitpid failed\n", stderr);
        return 1;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        std::puts("Configuration reset to defaults");
        return 0;
    }
    std::fputs("Failed to reset configuration\n", stderr);
    return 1;
}

} // namespace zapret2_ctl
