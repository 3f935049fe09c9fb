#include "patch.h"

#include "commands.h"
#include "embedded_scripts.h"
#include "handles.h"
#include "log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zapret2 {

const patch_entry patch_table[] = {
    {"/opt/zapret2/common/custom.sh", embedded_custom_sh, embedded_custom_sh_size, 1},
    {"/opt/zapret2/init.d/openwrt/zapret2", embedded_init_script, embedded_init_script_size, 1},
};
const std::size_t patch_table_size = sizeof patch_table / sizeof patch_table[0];

namespace {

constexpr const char* backup_suffix = ".orig";

bool exists(const char* path) {
    struct stat st;
    return ::lstat(path, &st) == 0;
}

bool build_path(char (&buf)[patch_path_capacity], const char* fmt, const char* target,
                const char* suffix) {
    int n = std::snprintf(buf, sizeof buf, fmt, target, suffix);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buf) {
        log_error("patches: path too long: %s", target);
        return false;
    }
    return true;
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

// Puts the entry's content at its target through "<target>.tmp" and a
// rename. Returns false on a failure that counts.
bool install_content(const patch_entry& e) {
    char tmp[patch_path_capacity];
    if (!build_path(tmp, "%s%s", e.target, ".tmp")) return false;

    mode_t mode = e.executable ? 0755 : 0644;
    unique_fd fd(::open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode));
    if (!fd) {
        log_error("patches: open %s failed: %s", tmp, std::strerror(errno));
        return false;
    }
    // Flushed to storage before the rename, so a power cut cannot leave an
    // empty script in place.
    if (!write_all(fd.get(), e.content, e.length) || ::fsync(fd.get()) != 0) {
        log_error("patches: write %s failed: %s", tmp, std::strerror(errno));
        fd.reset();
        ::unlink(tmp);
        return false;
    }
    if (::fchmod(fd.get(), mode) != 0)
        log_error("patches: fchmod %s failed: %s", tmp, std::strerror(errno));
    fd.reset();

    if (::rename(tmp, e.target) != 0) {
        log_error("patches: rename %s -> %s failed: %s", tmp, e.target, std::strerror(errno));
        ::unlink(tmp);
        return false;
    }
    log_info("patches: applied %s", e.target);
    return true;
}

// One entry of patch-apply; false when it counts as a failure.
bool apply_one(const patch_entry& e) {
    char backup[patch_path_capacity];
    if (!build_path(backup, "%s%s", e.target, backup_suffix)) return false;

    // The first backup is kept for good: it holds the service's own text.
    if (!exists(backup)) {
        if (!exists(e.target)) {
            log_warn("patches: target missing, skipping: %s", e.target);
            return true;
        }
        if (::rename(e.target, backup) != 0) {
            log_error("patches: backup %s -> %s failed: %s", e.target, backup,
                      std::strerror(errno));
            return false;
        }
    }
    return install_content(e);
}

bool revert_one(const patch_entry& e) {
    char backup[patch_path_capacity];
    if (!build_path(backup, "%s%s", e.target, backup_suffix)) return false;
    if (!exists(backup)) return true;
    if (::rename(backup, e.target) != 0) {
        log_error("patches: restore %s -> %s failed: %s", backup, e.target, std::strerror(errno));
        return false;
    }
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

int cmd_patch_apply() { return patch_apply(patch_table, patch_table_size); }
int cmd_patch_revert() { return patch_revert(patch_table, patch_table_size); }

} // namespace zapret2
