// The error model of the library, shared by every entry point.
//
// The public C API (uci.h) is a thin layer: every entry point runs its body
// through guard(), which turns the internal uci_failure, std::bad_alloc and any
// other exception into a return code stored in ctx->err. Nothing throws out
// of the library. The context itself (directories, flags, error text) is
// uci.h's uci_alloc_context() and its neighbours.
#pragma once

#include "uci.h"

#include <cstddef>
#include <new>
#include <string>

// Where a parse went wrong; reachable through ctx->pctx after a PARSE error.
struct uci_parse_context {
    std::string reason;
    int line = 0;
    std::size_t byte = 0;
};

namespace uci_host {

// Raised inside the library; guard() turns it into the return code.
struct uci_failure {
    int code;
};

[[noreturn]] void fail(int code);

template <class F> int guard(uci_context* ctx, F&& body) noexcept {
    if (!ctx) return UCI_ERR_INVAL;
    ctx->err = UCI_OK;
    // A parse position belongs to the call that failed, never to a later one.
    delete ctx->pctx;
    ctx->pctx = nullptr;
    int rc;
    try {
        rc = body();
    } catch (const uci_failure& f) {
        rc = f.code;
    } catch (const std::bad_alloc&) {
        rc = UCI_ERR_MEM;
    } catch (...) {
        rc = UCI_ERR_UNKNOWN;
    }
    ctx->err = rc;
    return rc;
}

} // namespace uci_host
