// Context life cycle, directories and error reporting.
#include "context.h"

#include "tree.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace uci_host {

[[noreturn]] void fail(int code) {
    throw uci_failure{code};
}

} // namespace uci_host

using namespace uci_host;

extern "C" {

char const uci_command_char[] = {'+', '-', '\0', '@', '^', '|', '~', '\0'};

static const char* const error_text[] = {
    "Success",   "Out of memory", "Invalid argument", "Entry not found",
    "I/O error", "Parse error",   "Duplicate entry",  "Unknown error",
};

static bool delta_path_has(uci_context* ctx, const char* dir) {
    return find_element(&ctx->delta_path, dir) != nullptr;
}

static void delta_path_add(uci_context* ctx, const char* dir) {
    list_add_tail(&ctx->delta_path, &element_new(UCI_TYPE_PATH, dir)->list);
}

uci_context* uci_alloc_context(void) {
    auto* ctx = static_cast<uci_context*>(std::calloc(1, sizeof(uci_context)));
    if (!ctx) return nullptr;
    list_init(&ctx->root);
    list_init(&ctx->backends);
    list_init(&ctx->delta_path);
    ctx->flags = static_cast<uci_flags>(UCI_FLAG_STRICT | UCI_FLAG_SAVED_DELTA);
    ctx->confdir = strdup(UCI_CONFDIR);
    ctx->savedir = strdup(UCI_SAVEDIR);
    ctx->conf2dir = strdup(UCI_CONF2DIR);
    bool ok = ctx->confdir && ctx->savedir && ctx->conf2dir;
    try {
        if (ok) delta_path_add(ctx, UCI_SAVEDIR);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        uci_free_context(ctx);
        return nullptr;
    }
    return ctx;
}

void uci_free_context(uci_context* ctx) {
    if (!ctx) return;
    uci_element *e, *tmp;
    uci_foreach_element_safe(&ctx->root, tmp, e) package_free(uci_to_package(e));
    uci_foreach_element_safe(&ctx->delta_path, tmp, e) element_free(e);
    delete ctx->pctx;
    std::free(ctx->confdir);
    std::free(ctx->savedir);
    std::free(ctx->conf2dir);
    std::free(ctx->buf);
    std::free(ctx);
}

static int set_dir(uci_context* ctx, char* uci_context::*field, const char* dir) {
    return guard(ctx, [&] {
        if (!dir || !*dir) fail(UCI_ERR_INVAL);
        char* copy = dup_text(dir);
        std::free(ctx->*field);
        ctx->*field = copy;
        return UCI_OK;
    });
}

int uci_set_confdir(uci_context* ctx, const char* dir) {
    return set_dir(ctx, &uci_context::confdir, dir);
}

int uci_set_conf2dir(uci_context* ctx, const char* dir) {
    return set_dir(ctx, &uci_context::conf2dir, dir);
}

int uci_add_delta_path(uci_context* ctx, const char* dir) {
    return guard(ctx, [&] {
        if (!dir || !*dir) fail(UCI_ERR_INVAL);
        if (delta_path_has(ctx, dir)) fail(UCI_ERR_DUPLICATE);
        delta_path_add(ctx, dir);
        return UCI_OK;
    });
}

// The new directory also joins the end of the delta path; the default one
// stays there, so its changes keep being applied.
int uci_set_savedir(uci_context* ctx, const char* dir) {
    return guard(ctx, [&] {
        if (!dir || !*dir) fail(UCI_ERR_INVAL);
        if (!delta_path_has(ctx, dir)) delta_path_add(ctx, dir);
        char* copy = dup_text(dir);
        std::free(ctx->savedir);
        ctx->savedir = copy;
        return UCI_OK;
    });
}

int uci_set_backend(uci_context* ctx, const char* name) {
    return guard(ctx, [&] {
        if (!name) fail(UCI_ERR_INVAL);
        if (std::strcmp(name, "file") != 0) fail(UCI_ERR_NOTFOUND);
        return UCI_OK;
    });
}

bool uci_validate_text(const char* str) {
    return str && valid_text(str);
}

// "prefix: message" plus, for a parse error, " (reason) at line N, byte B".
// The position comes from the last parse error and is only shown with one.
static std::string error_string(uci_context* ctx, const char* prefix) {
    int err = ctx ? ctx->err : UCI_ERR_INVAL;
    if (err < 0 || err >= UCI_ERR_LAST) err = UCI_ERR_UNKNOWN;
    std::string out;
    if (prefix) {
        out += prefix;
        out += ": ";
    }
    out += error_text[err];
    if (err == UCI_ERR_PARSE && ctx && ctx->pctx) {
        char info[64];
        std::snprintf(info, sizeof info, ") at line %d, byte %zu", ctx->pctx->line,
                      ctx->pctx->byte);
        out += " (";
        out += ctx->pctx->reason.empty() ? "unknown" : ctx->pctx->reason;
        out += info;
    }
    return out;
}

void uci_perror(uci_context* ctx, const char* str) {
    try {
        std::string text = error_string(ctx, str);
        std::fprintf(stderr, "%s\n", text.c_str());
    } catch (...) {
    }
}

void uci_get_errorstr(uci_context* ctx, char** dest, const char* str) {
    if (!dest) return;
    try {
        *dest = strdup(error_string(ctx, str).c_str());
    } catch (...) {
        *dest = nullptr;
    }
}

} // extern "C"
