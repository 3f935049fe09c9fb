// One UCI context per use, released on every path.
#pragma once

#include <uci.h>

namespace diag {

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

}  // namespace diag
