#include "config_store.h"

#include "modem_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <uci.h>
}

namespace korvel {

int uci_free_fn::operator()(uci_context* c) const {
    uci_free_context(c);
    return 0;
}

namespace {

void load_package_of(uci_context* ctx, const char* path) {
    char package[64];
    std::size_t n = std::strcspn(path, ".");
    if (n > sizeof package - 1) n = sizeof package - 1;
    std::memcpy(package, path, n);
    package[n] = '\0';
    uci_package* p = nullptr;
    (void)uci_load(ctx, package, &p); // an already loaded package answers "duplicate"
}

/// Looks `text` (modified in place) up; the library's answer.
int lookup(uci_context* ctx, uci_ptr& ptr, char* text) {
    std::memset(&ptr, 0, sizeof ptr);
    return uci_lookup_ptr(ctx, &ptr, text, true);
}

/// Loads the package of `path`, then looks "path" (no value) or "path=value"
/// up in `text`, which `ptr` points into afterwards. False without a context
/// or when the look-up fails.
template <std::size_t N>
bool lookup_path(uci_context* ctx, char (&text)[N], uci_ptr& ptr, const char* path,
                 const char* value) {
    if (!ctx) return false;
    load_package_of(ctx, path);
    if (value)
        std::snprintf(text, N, "%s=%s", path, value);
    else
        copy_text(text, path);
    return lookup(ctx, ptr, text) == UCI_OK;
}

/// Saves the package's changes when the change `rc` reports succeeded. A save
/// that fails leaves the change pending in memory; the package's commit saves
/// it again and reports the failure.
void save_if_done(uci_context* ctx, int rc, const uci_ptr& ptr) {
    if (rc == UCI_OK) (void)uci_save(ctx, ptr.p);
}

/// Looks "path=value" up and, when it names a section, applies the list
/// change (uci_add_list or uci_del_list) and saves.
void change_list(uci_context* ctx, const char* path, const char* value,
                 int (*change)(uci_context*, uci_ptr*)) {
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(ctx, text, ptr, path, value) || !ptr.s) return;
    save_if_done(ctx, change(ctx, &ptr), ptr);
}

bool complete(const uci_ptr& ptr) {
    return (ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE) != 0;
}

bool option_holds(const uci_option* o, const char* value) {
    if (o->type == UCI_TYPE_STRING) return std::strcmp(o->v.string, value) == 0;
    uci_element* e;
    uci_foreach_element(&o->v.list, e) {
        if (std::strcmp(e->name, value) == 0) return true;
    }
    return false;
}

/// "@type[...]" section text that the look-up could not resolve to a section.
bool unresolved_extended_section(const uci_ptr& ptr) {
    return !ptr.s && ptr.section && ptr.section[0] == '@';
}

} // namespace

config_store::config_store() : ctx_(uci_alloc_context()) {}

uci_context* config_store::for_change() {
    if (!ctx_) misused_ = true;
    return ctx_.get();
}

bool config_store::failed(const char* what, const char* reason) {
    if (!error_[0]) std::snprintf(error_, sizeof error_, "could not save %s: %s", what, reason);
    return false;
}

bool config_store::uci_failed(const char* verb, const char* package) {
    int saved_errno = errno;
    bool io = ctx_ && ctx_.get()->err == UCI_ERR_IO;
    char* message = nullptr;
    if (ctx_) uci_get_errorstr(ctx_.get(), &message, nullptr);
    const char* dir = ctx_ && ctx_.get()->confdir ? ctx_.get()->confdir : UCI_CONFDIR;
    if (!error_[0]) {
        // The library says only "I/O error"; the system's reason (a full
        // flash: "No space left on device") is what the owner can act on.
        if (io && saved_errno != 0)
            std::snprintf(error_, sizeof error_, "could not %s %s/%s: %s (%s)", verb, dir, package,
                          message ? message : "UCI error", std::strerror(saved_errno));
        else
            std::snprintf(error_, sizeof error_, "could not %s %s/%s: %s", verb, dir, package,
                          message ? message : "UCI error");
    }
    std::free(message);
    return false;
}

bool config_store::get(const char* path, char* buf, std::size_t cap) {
    buf[0] = '\0';
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(ctx_.get(), text, ptr, path, nullptr) || !complete(ptr) || !ptr.o)
        return false;
    if (ptr.o->type != UCI_TYPE_STRING) return false;
    copy_text(buf, cap, ptr.o->v.string);
    return true;
}

void config_store::set(const char* path, const char* value) {
    uci_context* ctx = for_change();
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(ctx, text, ptr, path, value ? value : "")) return;
    if (unresolved_extended_section(ptr)) {
        // uci_set would create a section literally named "@type[0]", which no
        // parser reads back: the whole package would stop loading. A type write
        // gets a new unnamed section of that type; an option write is skipped.
        if (ptr.option || !ptr.p || !ptr.value || !*ptr.value) return;
        uci_section* s = nullptr;
        if (uci_add_section(ctx, ptr.p, ptr.value, &s) == UCI_OK) (void)uci_save(ctx, ptr.p);
        return;
    }
    save_if_done(ctx, uci_set(ctx, &ptr), ptr);
}

void config_store::remove(const char* path) {
    uci_context* ctx = for_change();
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(ctx, text, ptr, path, nullptr) || !complete(ptr)) return;
    save_if_done(ctx, uci_delete(ctx, &ptr), ptr);
}

void config_store::add_list(const char* path, const char* value) {
    change_list(for_change(), path, value, uci_add_list);
}

void config_store::del_list(const char* path, const char* value) {
    change_list(for_change(), path, value, uci_del_list);
}

bool config_store::has_value(const char* path, const char* value) {
    char text[128];
    uci_ptr ptr;
    if (!lookup_path(ctx_.get(), text, ptr, path, nullptr) || !complete(ptr) || !ptr.o)
        return false;
    return option_holds(ptr.o, value);
}

bool config_store::commit(const char* package) {
    if (!ctx_ || misused_) return failed(package, "no UCI context is open");
    char text[64];
    copy_text(text, package);
    uci_ptr ptr;
    int rc = lookup(ctx_.get(), ptr, text);
    if (rc == UCI_ERR_NOTFOUND) return true; // not installed: nothing to save
    if (rc != UCI_OK || !ptr.p) return uci_failed("read", package);
    errno = 0;
    if (uci_commit(ctx_.get(), &ptr.p, false) != UCI_OK) return uci_failed("save", package);
    return true;
}

bool config_store::readable(const char* package) {
    if (!ctx_) return failed(package, "no UCI context is open");
    char text[64];
    copy_text(text, package);
    uci_ptr ptr;
    int rc = lookup(ctx_.get(), ptr, text);
    if (rc == UCI_OK || rc == UCI_ERR_NOTFOUND) return true;
    return uci_failed("read", package);
}

bool config_store::find_wan_zone(char (&zone)[64]) {
    zone[0] = '\0';
    if (!ctx_) return false;
    char text[] = "firewall";
    uci_ptr ptr;
    if (lookup(ctx_.get(), ptr, text) != UCI_OK || !ptr.p) return false;
    uci_element* e;
    uci_foreach_element(&ptr.p->sections, e) {
        uci_section* s = uci_to_section(e);
        if (std::strcmp(s->type, "zone") != 0) continue;
        uci_option* name = uci_lookup_option(ctx_.get(), s, "name");
        if (!name || !option_holds(name, "wan")) continue;
        // A name that would not fit is not cut into the name of another section.
        if (std::strlen(e->name) > sizeof zone - 1) return false;
        copy_text(zone, e->name);
        return true;
    }
    return false;
}

} // namespace korvel
