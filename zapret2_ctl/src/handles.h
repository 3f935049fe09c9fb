// The owners of zapret2-ctl's handles: file descriptors, DIR* handles, flock
// locks and the UCI context. All are move-only or fixed. (The program opens
// no FILE* stream of its own: it writes only to stdout and stderr.)
#pragma once

#include <dirent.h>
#include <sys/file.h>
#include <uci.h>
#include <unistd.h>
#include <utility>

namespace zapret2_ctl {

class unique_fd {
  public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    unique_fd& operator=(unique_fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now; returns close()'s result (0 when nothing was open).
    int reset() {
        int rc = 0;
        if (fd_ >= 0) rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_ = -1;
};

class unique_dir {
  public:
    explicit unique_dir(DIR* d) : d_(d) {}
    unique_dir(const unique_dir&) = delete;
    unique_dir& operator=(const unique_dir&) = delete;
    ~unique_dir() {
        if (d_) ::closedir(d_);
    }
    DIR* get() const { return d_; }
    explicit operator bool() const { return d_ != nullptr; }

  private:
    DIR* d_;
};

// Holds an exclusive flock on an open file; released before the file closes.
class flock_holder {
  public:
    explicit flock_holder(int fd) : fd_(fd) {}
    flock_holder(const flock_holder&) = delete;
    flock_holder& operator=(const flock_holder&) = delete;
    ~flock_holder() { ::flock(fd_, LOCK_UN); }

  private:
    int fd_;
};

// Owns a UCI context (and the package loaded into it).
class uci_session {
  public:
    uci_session() : ctx_(uci_alloc_context()) {}
    ~uci_session() {
        if (pkg_) uci_unload(ctx_, pkg_);
        if (ctx_) uci_free_context(ctx_);
    }
    uci_session(const uci_session&) = delete;
    uci_session& operator=(const uci_session&) = delete;

    uci_context* ctx() const { return ctx_; }
    // Loads the package, from confdir when given (null: the standard UCI
    // directory). Returns libuci's code: UCI_OK when package() holds it;
    // otherwise uci_get_errorstr() tells why (with the parse position).
    int load(const char* confdir, const char* package) {
        if (confdir) {
            int rc = uci_set_confdir(ctx_, confdir);
            if (rc != UCI_OK) return rc;
        }
        int rc = uci_load(ctx_, package, &pkg_);
        if (rc != UCI_OK) pkg_ = nullptr;
        return rc;
    }
    uci_package* package() const { return pkg_; }

  private:
    uci_context* ctx_;
    uci_package* pkg_ = nullptr;
};

} // namespace zapret2_ctl
