// Packages on disk: load, save (change files), commit (atomic rewrite),
// import, export and the list of packages.
#include "file.h"

#include "context.h"
#include "delta.h"
#include "handles.h"
#include "parse.h"
#include "tree.h"
#include "write.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace uci_host {

namespace {

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads fd to its end; false on a read error.
bool read_all(int fd, std::string& out) {
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

int flock_retry(int fd, int op) {
    int rc;
    do
        rc = ::flock(fd, op);
    while (rc < 0 && errno == EINTR);
    return rc;
}

// Opens `path` and locks it exclusively. A change file is replaced by a
// rename when changes are reverted; when that happened while this process
// waited for the lock, the file now on disk is opened instead, so that
// nothing is written into the replaced one. -1 with errno on failure.
int open_locked(const std::string& path, int flags, mode_t mode) {
    for (;;) {
        unique_fd fd(::open(path.c_str(), flags, mode));
        if (fd.get() < 0 || flock_retry(fd.get(), LOCK_EX) != 0) return -1;
        struct stat held, now;
        if (::fstat(fd.get(), &held) != 0) return -1;
        if (::stat(path.c_str(), &now) != 0) {
            if (errno != ENOENT || !(flags & O_CREAT)) return -1;
        } else if (now.st_dev == held.st_dev && now.st_ino == held.st_ino) {
            return fd.release();
        }
    }
}

std::string dirname_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Replaces `target` with `data` through "<dir>/.<pkg>.uci-XXXXXX": write,
// fsync, give it the old file's mode, rename. A failure removes the
// temporary file and leaves the old file as it was.
void write_atomically(const std::string& target, std::string_view pkg, std::string_view data,
                      mode_t mode) {
    std::string tmpl = dirname_of(target) + "/." + std::string(pkg) + ".uci-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    unique_fd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) fail(UCI_ERR_IO);
    bool ok = write_all(fd.get(), data) && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
    ok = ::close(fd.release()) == 0 && ok;
    if (!ok || ::rename(name.data(), target.c_str()) != 0) {
        ::unlink(name.data());
        fail(UCI_ERR_IO);
    }
}

mode_t file_mode_or(const char* path, mode_t fallback) {
    struct stat st;
    if (path && ::stat(path, &st) == 0) return st.st_mode & 07777;
    return fallback;
}

// Parses a whole text as the package `name`; the package is not yet in ctx.
uci_package* parse_package(uci_context* ctx, std::string_view name, std::string_view text) {
    uci_package* p = package_new(ctx, name);
    std::vector<uci_package*> created;
    parse_options opt;
    opt.strict = ctx->flags & UCI_FLAG_STRICT;
    parse_error err;
    bool ok;
    try {
        ok = parse_text(ctx, text, p, created, opt, err);
    } catch (...) {
        package_free(p);
        throw;
    }
    if (!ok) {
        package_free(p);
        set_parse_error(ctx, err);
        fail(UCI_ERR_PARSE);
    }
    return p;
}

// Reads, parses and applies the change files of the package `name`.
uci_package* read_package(uci_context* ctx, const char* name) {
    if (!name || !*name) fail(UCI_ERR_INVAL);
    bool by_path = name[0] == '/' || (name[0] == '.' && name[1] == '/');
    std::string path, pkg_name;
    if (by_path) {
        path = name;
        const char* base = std::strrchr(name, '/') + 1;
        pkg_name = base;
        if (!valid_package_name(pkg_name)) fail(UCI_ERR_NOTFOUND);
    } else {
        if (!valid_package_name(name)) fail(UCI_ERR_NOTFOUND);
        pkg_name = name;
        path = config_path(ctx, name);
    }
    std::string text;
    if (!read_file(path, text)) fail(UCI_ERR_NOTFOUND);
    uci_package* p = parse_package(ctx, pkg_name, text);
    try {
        p->path = dup_text(path);
        p->has_delta = !by_path;
        if (p->has_delta) apply_delta_files(ctx, p);
    } catch (...) {
        package_free(p);
        throw;
    }
    return p;
}

void save_pending(uci_context* ctx, uci_package* p) {
    if (uci_list_empty(&p->delta)) return;
    if (!ctx->savedir) fail(UCI_ERR_INVAL);
    if (::mkdir(ctx->savedir, file_mode_or(ctx->confdir, UCI_DIRMODE) & 0777) != 0 &&
        errno != EEXIST)
        fail(UCI_ERR_IO);
    std::string text;
    uci_element* e;
    uci_foreach_element(&p->delta, e) {
        text += delta_line(p->e.name, uci_to_delta(e));
        text += '\n';
    }
    std::string file = path_in(ctx->savedir, p->e.name);
    unique_fd fd(open_locked(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                             file_mode_or(p->path, UCI_FILEMODE)));
    if (fd.get() < 0) fail(UCI_ERR_IO);
    bool ok = write_all(fd.get(), text);
    flock_retry(fd.get(), LOCK_UN);
    if (!ok) fail(UCI_ERR_IO);
    // Written changes now count as saved ones.
    uci_element* tmp;
    uci_foreach_element_safe(&p->delta, tmp, e) {
        list_del(&e->list);
        if (ctx->flags & UCI_FLAG_SAVED_DELTA)
            list_add_tail(&p->saved_delta, &e->list);
        else
            delta_free(uci_to_delta(e));
    }
}

void truncate_saved(uci_context* ctx, uci_package* p) {
    if (!ctx->savedir) return;
    std::string file = path_in(ctx->savedir, p->e.name);
    unique_fd fd(open_locked(file, O_WRONLY | O_CLOEXEC, 0));
    if (fd.get() < 0) {
        if (errno == ENOENT) return;
        fail(UCI_ERR_IO);
    }
    if (::ftruncate(fd.get(), 0) != 0) fail(UCI_ERR_IO);
    flock_retry(fd.get(), LOCK_UN);
}

} // namespace

void rewrite_saved(uci_context* ctx, std::string_view pkg,
                   const std::function<std::string(const std::string&)>& change) {
    std::string file = path_in(ctx->savedir, pkg);
    unique_fd fd(open_locked(file, O_RDONLY | O_CLOEXEC, 0));
    if (fd.get() < 0) {
        if (errno == ENOENT) return;
        fail(UCI_ERR_IO);
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) fail(UCI_ERR_IO);
    std::string text;
    if (!read_all(fd.get(), text)) fail(UCI_ERR_IO);
    // Still under the lock: nobody appends meanwhile.
    write_atomically(file, pkg, change(text), st.st_mode & 07777);
}

std::string path_in(std::string_view dir, std::string_view name) {
    std::string path(dir);
    path += '/';
    path += name;
    return path;
}

std::string config_path(const uci_context* ctx, std::string_view name) {
    return path_in(ctx->confdir ? ctx->confdir : UCI_CONFDIR, name);
}

bool read_file(const std::string& path, std::string& out) {
    out.clear();
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return read_all(fd.get(), out);
}

uci_package* load_package(uci_context* ctx, const char* name) {
    uci_package* p = read_package(ctx, name);
    list_add_tail(&ctx->root, &p->e.list);
    return p;
}

} // namespace uci_host

using namespace uci_host;

extern "C" {

int uci_load(uci_context* ctx, const char* name, uci_package** package) {
    return guard(ctx, [&] {
        if (!name) fail(UCI_ERR_INVAL);
        const char* base = std::strrchr(name, '/');
        if (find_package(ctx, base ? base + 1 : name)) fail(UCI_ERR_DUPLICATE);
        uci_package* p = load_package(ctx, name);
        if (package) *package = p;
        return UCI_OK;
    });
}

int uci_unload(uci_context* ctx, uci_package* p) {
    return guard(ctx, [&] {
        if (!p) fail(UCI_ERR_INVAL);
        package_free(p);
        return UCI_OK;
    });
}

int uci_save(uci_context* ctx, uci_package* p) {
    return guard(ctx, [&] {
        if (!p) fail(UCI_ERR_INVAL);
        if (!p->has_delta) {
            uci_package* q = p;
            int rc = uci_commit(ctx, &q, false);
            if (rc != UCI_OK) fail(rc);
            return UCI_OK;
        }
        save_pending(ctx, p);
        return UCI_OK;
    });
}

// With changes tracked, the file is read again under the lock and every
// change file applied to it, so edits that other processes saved meanwhile
// are kept; *p is replaced by the result. overwrite writes the package in
// memory as it stands (saved changes are already in it) and clears the
// changes, pending and saved.
int uci_commit(uci_context* ctx, uci_package** pp, bool overwrite) {
    return guard(ctx, [&] {
        if (!pp || !*pp) fail(UCI_ERR_INVAL);
        uci_package* p = *pp;
        std::string path = p->path ? p->path : config_path(ctx, p->e.name);
        unique_fd lock(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, UCI_FILEMODE));
        if (lock.get() < 0 || flock_retry(lock.get(), LOCK_EX) != 0) fail(UCI_ERR_IO);
        struct stat st;
        mode_t mode = ::fstat(lock.get(), &st) == 0 ? st.st_mode & 07777 : UCI_FILEMODE;
        char real[PATH_MAX];
        std::string target = ::realpath(path.c_str(), real) ? std::string(real) : path;

        if (!p->has_delta || overwrite) {
            write_atomically(target, p->e.name,
                             write_package(p, false, ctx->flags & UCI_FLAG_EXPORT_NAME), mode);
            if (p->has_delta) truncate_saved(ctx, p);
            delta_list_clear(&p->delta);
            delta_list_clear(&p->saved_delta);
            return UCI_OK;
        }

        save_pending(ctx, p);
        std::string text;
        if (!read_file(path, text)) fail(UCI_ERR_IO);
        uci_package* fresh = parse_package(ctx, p->e.name, text);
        int applied;
        try {
            fresh->path = dup_text(path);
            fresh->has_delta = true;
            applied = apply_delta_files(ctx, fresh);
            if (applied > 0)
                write_atomically(target, fresh->e.name,
                                 write_package(fresh, false, ctx->flags & UCI_FLAG_EXPORT_NAME),
                                 mode);
            truncate_saved(ctx, fresh);
        } catch (...) {
            package_free(fresh);
            throw;
        }
        delta_list_clear(&fresh->saved_delta);
        list_insert_before(&p->e.list, &fresh->e.list);
        package_free(p);
        *pp = fresh;
        return UCI_OK;
    });
}

int uci_import(uci_context* ctx, FILE* stream, const char* name, uci_package** package,
               bool single) {
    return guard(ctx, [&] {
        if (!stream) fail(UCI_ERR_INVAL);
        std::string text;
        char buf[8192];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, stream)) > 0)
            text.append(buf, n);
        if (std::ferror(stream)) fail(UCI_ERR_IO);

        uci_package* current = package && *package ? *package : nullptr;
        bool merge = current != nullptr;
        std::vector<uci_package*> created;
        if (!current && name) {
            if (!valid_package_name(name)) fail(UCI_ERR_INVAL);
            if (find_package(ctx, name)) fail(UCI_ERR_DUPLICATE);
            current = package_new(ctx, name);
            created.push_back(current);
        }
        parse_options opt;
        opt.strict = ctx->flags & UCI_FLAG_STRICT;
        opt.ignore_package_lines = single;
        opt.record = merge && current->has_delta;
        parse_error err;
        bool ok;
        try {
            ok = parse_text(ctx, text, current, created, opt, err);
        } catch (...) {
            for (uci_package* p : created)
                package_free(p);
            throw;
        }
        if (!ok) {
            for (uci_package* p : created)
                package_free(p);
            set_parse_error(ctx, err);
            fail(UCI_ERR_PARSE);
        }
        for (uci_package* p : created)
            list_add_tail(&ctx->root, &p->e.list);
        if (package) *package = current;
        return UCI_OK;
    });
}

int uci_export(uci_context* ctx, FILE* stream, uci_package* package, bool header) {
    return guard(ctx, [&] {
        if (!stream || !package) fail(UCI_ERR_INVAL);
        std::string text = write_package(package, header, ctx->flags & UCI_FLAG_EXPORT_NAME);
        if (std::fwrite(text.data(), 1, text.size(), stream) != text.size()) fail(UCI_ERR_IO);
        return UCI_OK;
    });
}

// One malloc'd block: the pointer array (NULL-terminated), then the names.
// The caller frees it with one free().
int uci_list_configs(uci_context* ctx, char*** list) {
    return guard(ctx, [&] {
        if (!list) fail(UCI_ERR_INVAL);
        std::vector<std::string> names;
        DIR* dir = ::opendir(ctx->confdir ? ctx->confdir : UCI_CONFDIR);
        if (!dir) fail(UCI_ERR_NOTFOUND);
        try {
            while (dirent* de = ::readdir(dir)) {
                if (!valid_package_name(de->d_name)) continue;
                struct stat st;
                std::string path = config_path(ctx, de->d_name);
                if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    names.emplace_back(de->d_name);
            }
        } catch (...) {
            ::closedir(dir);
            throw;
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        std::size_t size = (names.size() + 1) * sizeof(char*);
        for (const std::string& s : names)
            size += s.size() + 1;
        char** block = static_cast<char**>(std::malloc(size));
        if (!block) fail(UCI_ERR_MEM);
        char* text = reinterpret_cast<char*>(block + names.size() + 1);
        for (std::size_t i = 0; i < names.size(); i++) {
            std::memcpy(text, names[i].c_str(), names[i].size() + 1);
            block[i] = text;
            text += names[i].size() + 1;
        }
        block[names.size()] = nullptr;
        *list = block;
        return UCI_OK;
    });
}

} // extern "C"
