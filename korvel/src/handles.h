// Move-only owners of the C handles korvel uses: FILE*, popen pipes, DIR*,
// fds and the UCI context.
#pragma once

#include <cstdio>
#include <dirent.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

struct uci_context;

namespace korvel {

template <typename T, typename Close> class handle {
  public:
    handle() = default;
    explicit handle(T h) : h_(h) {}
    handle(handle&& o) noexcept : h_(std::exchange(o.h_, invalid())) {}
    handle& operator=(handle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, invalid());
        }
        return *this;
    }
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    ~handle() { reset(); }

    T get() const { return h_; }
    explicit operator bool() const { return h_ != invalid(); }
    /// Closes now; returns what the close function returned (0 when empty).
    int reset() {
        int rc = 0;
        if (h_ != invalid()) rc = Close{}(std::exchange(h_, invalid()));
        return rc;
    }

  private:
    static constexpr T invalid() {
        if constexpr (std::is_pointer_v<T>)
            return nullptr;
        else
            return -1;
    }
    T h_ = invalid();
};

struct fclose_fn {
    int operator()(FILE* f) const { return std::fclose(f); }
};
struct pclose_fn {
    int operator()(FILE* f) const { return pclose(f); }
};
struct closedir_fn {
    int operator()(DIR* d) const { return closedir(d); }
};
struct close_fn {
    int operator()(int fd) const { return close(fd); }
};
/// Frees a UCI context (defined where libuci is linked: config_store.cpp).
struct uci_free_fn {
    int operator()(uci_context* ctx) const;
};

using file_handle = handle<FILE*, fclose_fn>;
using pipe_handle = handle<FILE*, pclose_fn>; // reset() returns the wait status
using dir_handle = handle<DIR*, closedir_fn>;
using unique_fd = handle<int, close_fn>;
using uci_context_handle = handle<uci_context*, uci_free_fn>;

} // namespace korvel
