// File helpers over kernel attribute files and small text files.
#pragma once

#include <cstddef>

namespace korvel {

/// Reads the first line of `path` into `buf` of capacity `cap` (at most
/// cap - 1 characters, line end kept). False when the file cannot be opened or
/// is empty.
bool read_first_line(const char* path, char* buf, std::size_t cap);

/// Writes `text` exactly (no newline added) to `path`, truncating it; a file
/// that cannot be opened is skipped silently.
void write_sysfs(const char* path, const char* text);

/// Replaces the file `path` with `len` bytes of `data` atomically: a
/// temporary file in the same directory is written, flushed to disk, given
/// the old file's mode and owner, and renamed over it (over the target when
/// `path` is a symbolic link). On any failure the old file stays as it was,
/// the temporary file is removed and the answer is false, with errno saying
/// why (ENOSPC on a full flash).
bool replace_file(const char* path, const char* data, std::size_t len);

/// Reads the target of the symbolic link `path` into `buf`; false when it is
/// unreadable or empty.
bool read_link(const char* path, char* buf, std::size_t cap);

/// Calls `fn(name)` for each entry of the directory `path` in directory order,
/// "." and ".." left out, until `fn` returns true. False when the directory
/// cannot be listed or no call returned true.
template <typename Fn> bool find_entry(const char* path, Fn fn);

} // namespace korvel

#include "handles.h"
#include <cstring>

namespace korvel {

template <typename Fn> bool find_entry(const char* path, Fn fn) {
    dir_handle d(opendir(path));
    if (!d) return false;
    while (dirent* e = readdir(d.get())) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (fn(static_cast<const char*>(e->d_name))) return true;
    }
    return false;
}

} // namespace korvel
