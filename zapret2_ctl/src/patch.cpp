#include "patch.h"

#include "embedded_scripts.h"
#include "handles.h"
#include "log.h"
#include "patch_steps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zapret2_ctl {

const patch_entry patch_table[] = {
    {"/opt/zapret2/common/custom.sh", embedded_custom_sh, embedded_custom_sh_size, 1},
    {"/opt/zapret2/init.d/openwrt/zapret2", embedded_init_script, embedded_init_script_size, 1},
};
const std::size_t patch_table_size = sizeof patch_table / sizeof patch_table[0];

namespace {

constexpr const char* backup_suffix = ".orig";
// Names tried for the temporary file before giving up (others may be left
// by runs that were killed, or belong to a run going on now).
constexpr unsigned temp_name_attempts = 100;

using path_buffer = char[patch_path_capacity];

bool exists(const char* path) {
    struct stat st;
    return ::lstat(path, &st) == 0;
}

bool build_path(path_buffer& buf, const char* fmt, const char* target, const char* suffix) {
    int n = std::snprintf(buf, sizeof buf, fmt, target, suffix);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buf) {
        log_error("patches: path too long: %s", target);
        return false;
    }
    return true;
}

// The directory holding target ("." for a bare name); it always fits, as
// the target's own path does.
void parent_dir(path_buffer& dir, const char* target) {
    const char* slash = std::strrchr(target, '/');
    if (!slash) {
        std::snprintf(dir, sizeof dir, ".");
        return;
    }
    std::size_t len = slash == target ? 1 : static_cast<std::size_t>(slash - target);
    std::snprintf(dir, sizeof dir, "%.*s", static_cast<int>(len), target);
}

// Makes the directory's entries (a new link, a rename) durable. A file
// system that cannot sync a directory (EINVAL) has nothing to flush.
bool sync_dir(const char* dir) {
    unique_fd fd(::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return false;
    return ::fsync(fd.get()) == 0 || errno == EINVAL;
}

// Makes a change of the target's names (a rename, a removed link) durable;
// a failure is logged.
bool sync_target_dir(const char* target) {
    path_buffer dir;
    parent_dir(dir, target);
    if (sync_dir(dir)) return true;
    log_error("patches: fsync %s failed: %s", dir, std::strerror(errno));
    return false;
}

// Writes every byte, retrying short writes and interrupted calls.
bool write_all(int fd, const unsigned char* data, std::size_t len) {
    while (len > 0) {
        ssize_t n = ::write(fd, data, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a new file "<dir>/.<name>.<pid>-<n>" beside the target, never
// opening one that exists (O_EXCL): two runs, or a file left by a run that
// was killed, never share it. tmp receives the name; an error is logged.
unique_fd create_temp(path_buffer& tmp, const char* target, mode_t mode) {
    path_buffer dir;
    parent_dir(dir, target);
    const char* slash = std::strrchr(target, '/');
    const char* name = slash ? slash + 1 : target;
    int pid = static_cast<int>(::getpid());
    for (unsigned attempt = 0;; ++attempt) {
        int n = std::snprintf(tmp, sizeof tmp, "%s/.%s.%d-%u", dir, name, pid, attempt);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof tmp) {
            log_error("patches: path too long: %s", target);
            return unique_fd();
        }
        unique_fd fd(::open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
        if (fd || errno != EEXIST || attempt + 1 >= temp_name_attempts) {
            if (!fd) log_error("patches: open %s failed: %s", tmp, std::strerror(errno));
            return fd;
        }
    }
}

// Replaces the target with the entry's content in one rename: the new text
// goes to a temporary file beside it, is flushed to storage, then renamed
// over the target, and the directory is synced. Until the rename the target
// is untouched; on a failure the temporary file is removed. Returns false on
// a failure that counts.
bool install_content(const patch_entry& e) {
    mode_t mode = e.executable ? 0755 : 0644;
    path_buffer tmp;
    unique_fd fd = create_temp(tmp, e.target, mode);
    if (!fd) return false;

    reach_step(patch_step::during_write);
    if (!write_all(fd.get(), e.content, e.length) || ::fsync(fd.get()) != 0) {
        log_error("patches: write %s failed: %s", tmp, std::strerror(errno));
        fd.reset();
        ::unlink(tmp);
        return false;
    }
    if (::fchmod(fd.get(), mode) != 0)
        log_error("patches: fchmod %s failed: %s", tmp, std::strerror(errno));
    if (fd.reset() != 0) {
        log_error("patches: write %s failed: %s", tmp, std::strerror(errno));
        ::unlink(tmp);
        return false;
    }

    reach_step(patch_step::before_rename);
    if (::rename(tmp, e.target) != 0) {
        log_error("patches: rename %s -> %s failed: %s", tmp, e.target, std::strerror(errno));
        ::unlink(tmp);
        return false;
    }
    if (!sync_target_dir(e.target)) return false;
    log_info("patches: applied %s", e.target);
    return true;
}

// The backup is a second name (hard link) of the service's file: the target
// itself stays in place until the new text replaces it.
bool make_backup(const patch_entry& e, const char* backup) {
    reach_step(patch_step::before_backup);
    path_buffer dir;
    parent_dir(dir, e.target);
    if (::link(e.target, backup) != 0 || !sync_dir(dir)) {
        log_error("patches: backup %s -> %s failed: %s", e.target, backup, std::strerror(errno));
        return false;
    }
    reach_step(patch_step::after_backup);
    return true;
}

// One entry of patch-apply; false when it counts as a failure.
bool apply_one(const patch_entry& e) {
    path_buffer backup;
    if (!build_path(backup, "%s%s", e.target, backup_suffix)) return false;

    // The first backup is kept for good: it holds the service's own text.
    if (!exists(backup)) {
        if (!exists(e.target)) {
            log_warn("patches: target missing, skipping: %s", e.target);
            return true;
        }
        if (!make_backup(e, backup)) return false;
    }
    return install_content(e);
}

bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    return ::lstat(a, &sa) == 0 && ::lstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool revert_one(const patch_entry& e) {
    path_buffer backup;
    if (!build_path(backup, "%s%s", e.target, backup_suffix)) return false;
    if (!exists(backup)) return true;
    // A run that stopped after making the backup left both names on the
    // service's file: dropping the second name restores the unpatched state
    // (a rename between two names of one file would change nothing).
    bool restored =
        same_file(backup, e.target) ? ::unlink(backup) == 0 : ::rename(backup, e.target) == 0;
    if (!restored) {
        log_error("patches: restore %s -> %s failed: %s", backup, e.target, std::strerror(errno));
        return false;
    }
    if (!sync_target_dir(e.target)) return false;
    log_info("patches: reverted %s", e.target);
    return true;
}

} // namespace

int patch_apply(const patch_entry* table, std::size_t count) {
    int failures = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (!apply_one(table[i])) ++failures;
    return failures ? 1 : 0;
}

int patch_revert(const patch_entry* table, std::size_t count) {
    int failures = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (!revert_one(table[i])) ++failures;
    return failures ? 1 : 0;
}

int cmd_patch_apply() {
    return patch_apply(patch_table, patch_table_size);
}
int cmd_patch_revert() {
    return patch_revert(patch_table, patch_table_size);
}

} // namespace zapret2_ctl
