// Owners of the system handles velmora opens: a descriptor and a stdio stream, each closed
// exactly once when its owner goes.
#pragma once

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace velmora {

/// Owns a file descriptor (-1: none). Move-only.
class unique_fd {
  public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    /// Gives up ownership without closing.
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

/// Closes a stream that was only read: nothing is lost when its close fails, so the result is
/// not looked at. A stream that is written must be closed by its writer, who checks the result.
struct file_closer {
    void operator()(FILE* f) const { (void)std::fclose(f); }
};
/// Owns a stdio stream opened with fopen for reading.
using file_ptr = std::unique_ptr<FILE, file_closer>;

} // namespace velmora
