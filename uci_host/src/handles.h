// Move-only owners of the C handles of the stand-in, its tool and its tests:
// fds, FILE* and the uci_context.
#pragma once

#include "uci.h"

#include <cstdio>
#include <memory>
#include <unistd.h>
#include <utility>

namespace uci_host {

// Owns a file descriptor.
class unique_fd {
  public:
    explicit unique_fd(int fd = -1) : fd_(fd) {}
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// For streams that are only read: a failed close loses nothing there, and a
// destructor has nobody to tell. A stream that is written is closed, and
// its fclose() checked, by its writer.
struct file_close {
    void operator()(FILE* f) const { (void)std::fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_close>;

struct context_free {
    void operator()(uci_context* ctx) const { uci_free_context(ctx); }
};
using context_ptr = std::unique_ptr<uci_context, context_free>;

} // namespace uci_host
