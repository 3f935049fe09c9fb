// Move-only owners of file descriptors, FILE* streams and DIR* handles.
#pragma once

#include <cstdio>
#include <dirent.h>
#include <unistd.h>
#include <utility>

namespace zapret2 {

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

class unique_file {
  public:
    explicit unique_file(std::FILE* f) : f_(f) {}
    unique_file(unique_file&& o) noexcept : f_(std::exchange(o.f_, nullptr)) {}
    unique_file(const unique_file&) = delete;
    unique_file& operator=(const unique_file&) = delete;
    unique_file& operator=(unique_file&&) = delete;
    ~unique_file() { close(); }

    std::FILE* get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }
    // Closes now; returns fclose()'s result (0 when nothing was open).
    int close() {
        int rc = 0;
        if (f_) rc = std::fclose(f_);
        f_ = nullptr;
        return rc;
    }

  private:
    std::FILE* f_;
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

} // namespace zapret2
