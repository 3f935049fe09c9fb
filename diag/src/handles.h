// Owners of the C handles tarvona_diag uses: each releases its handle on
// every path and cannot be copied.
#pragma once

#include <cstdio>
#include <memory>
#include <unistd.h>

#include <json-c/json.h>
#include <uci.h>

namespace diag {

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

  private:
    int fd_;
};

// Pipe from popen, closed (and waited for) on scope exit.
class pipe_reader {
  public:
    explicit pipe_reader(const char* cmd) : f_(popen(cmd, "re")) {}
    ~pipe_reader() {
        if (f_) pclose(f_);
    }
    pipe_reader(const pipe_reader&) = delete;
    pipe_reader& operator=(const pipe_reader&) = delete;
    FILE* get() const { return f_; }

  private:
    FILE* f_;
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

}  // namespace diag
