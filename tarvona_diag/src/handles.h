// Owners of the C handles tarvona_diag uses: each releases its handle on
// every path and cannot be copied.
#pragma once

#include <cstdio>
#include <memory>
#include <spawn.h>
#include <unistd.h>

#include <json-c/json.h>
#include <uci.h>

namespace tarvona_diag {

// A file descriptor, closed on scope exit (negative: none).
class fd_holder {
  public:
    explicit fd_holder(int fd) : fd_(fd) {}
    ~fd_holder() {
        if (fd_ >= 0) close(fd_);
    }
    fd_holder(const fd_holder&) = delete;
    fd_holder& operator=(const fd_holder&) = delete;
    int get() const { return fd_; }
    // Closes the held descriptor (if any) and holds fd instead.
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    // Gives the descriptor up without closing it.
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

// The settings of one posix_spawn call (file actions and attributes),
// destroyed on scope exit. ok() is false when they could not be set up.
class spawn_settings {
  public:
    spawn_settings() {
        actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
        attr_ok_ = posix_spawnattr_init(&attr_) == 0;
    }
    ~spawn_settings() {
        if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
        if (attr_ok_) posix_spawnattr_destroy(&attr_);
    }
    spawn_settings(const spawn_settings&) = delete;
    spawn_settings& operator=(const spawn_settings&) = delete;
    bool ok() const { return actions_ok_ && attr_ok_; }
    posix_spawn_file_actions_t* actions() { return &actions_; }
    posix_spawnattr_t* attr() { return &attr_; }

  private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
    bool actions_ok_ = false;
    bool attr_ok_ = false;
};

// One UCI context per use, released on every path.
class uci_handle {
  public:
    // confdir: configuration directory to use instead of the default (null
    // keeps the default).
    explicit uci_handle(const char* confdir = nullptr) : ctx_(uci_alloc_context()) {
        if (ctx_ && confdir && uci_set_confdir(ctx_, confdir) != UCI_OK) {
            uci_free_context(ctx_);
            ctx_ = nullptr;
        }
    }
    ~uci_handle() {
        if (ctx_) uci_free_context(ctx_);
    }
    uci_handle(const uci_handle&) = delete;
    uci_handle& operator=(const uci_handle&) = delete;

    uci_context* get() const { return ctx_; }

    // Loads a package; null when the context or the load failed.
    uci_package* load(const char* package) {
        uci_package* p = nullptr;
        if (!ctx_ || uci_load(ctx_, package, &p) != UCI_OK) return nullptr;
        return p;
    }

  private:
    uci_context* ctx_;
};

// A json-c object tree, released (json_object_put) on scope exit.
struct json_put {
    void operator()(json_object* o) const { json_object_put(o); }
};
using json_root = std::unique_ptr<json_object, json_put>;

} // namespace tarvona_diag
