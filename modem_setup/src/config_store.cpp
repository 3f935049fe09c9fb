#include "config_store.h"

#include "handles.h"
#include "modem_state.h"

#include <cstdio>
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

uci_context_handle ctx;

void load_package_of(const char* path) {
    char package[64];
    std::size_t n = std::strcspn(path, ".");
    if (n > sizeof package - 1) n = sizeof package - 1;
    std::memcpy(package, path, n);
    package[n] = '\0';
    uci_package* p = nullptr;
    (void)uci_load(ctx.get(), package, &p); // an already loaded package answers "duplicate"
}

/// Looks `text` (modified in place) up; true on a successful look-up.
bool lookup(uci_ptr& ptr, char* text) {
    std::memset(&ptr, 0, sizeof ptr);
    return uci_lookup_ptr(ctx.get(), &ptr, text, true) == UCI_OK;
}

/// Loads the package of `path`, then looks "path" (no value) or "path=value"
/// up in `text`, which `ptr` points into afterwards. False without a context
/// or when the look-up fails.
template <std::size_t N>
bool lookup_path(char (&text)[N], uci_ptr& ptr, const char* path, const char* value) {
    if (!ctx) return false;
    load_package_of(path);
    if (value)
        std::snprintf(text, N, "%s=%s", path, value);
    else
        copy_text(text, path);
    return lookup(ptr, text);
}

/// Saves the package's changes when the change `rc` reports succeeded.
void save_if_done(int rc, const uci_ptr& ptr) {
    if (rc == UCI_OK) uci_save(ctx.get(), ptr.p);
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

void cfg_open() {
    if (!ctx) ctx = uci_context_handle(uci_alloc_context());
}

void cfg_close() {
    ctx.reset();
}

bool cfg_is_open() {
    return static_cast<bool>(ctx);
}

bool cfg_get(const char* path, char* buf, std::size_t cap) {
    buf[0] = '\0';
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(text, ptr, path, nullptr) || !complete(ptr) || !ptr.o) return false;
    if (ptr.o->type != UCI_TYPE_STRING) return false;
    copy_text(buf, cap, ptr.o->v.string);
    return true;
}

void cfg_set(const char* path, const char* value) {
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(text, ptr, path, value ? value : "")) return;
    if (unresolved_extended_section(ptr)) {
        // uci_set would create a section literally named "@type[0]", which no
        // parser reads back: the whole package would stop loading. A type write
        // gets a new unnamed section of that type; an option write is skipped.
        if (ptr.option || !ptr.p || !ptr.value || !*ptr.value) return;
        uci_section* s = nullptr;
        if (uci_add_section(ctx.get(), ptr.p, ptr.value, &s) == UCI_OK) uci_save(ctx.get(), ptr.p);
        return;
    }
    save_if_done(uci_set(ctx.get(), &ptr), ptr);
}

void cfg_delete(const char* path) {
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(text, ptr, path, nullptr) || !complete(ptr)) return;
    save_if_done(uci_delete(ctx.get(), &ptr), ptr);
}

void cfg_add_list(const char* path, const char* value) {
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(text, ptr, path, value) || !ptr.s) return;
    save_if_done(uci_add_list(ctx.get(), &ptr), ptr);
}

void cfg_del_list(const char* path, const char* value) {
    char text[256];
    uci_ptr ptr;
    if (!lookup_path(text, ptr, path, value) || !ptr.s) return;
    save_if_done(uci_del_list(ctx.get(), &ptr), ptr);
}

bool cfg_has_value(const char* path, const char* value) {
    char text[128];
    uci_ptr ptr;
    if (!lookup_path(text, ptr, path, nullptr) || !complete(ptr) || !ptr.o) return false;
    return option_holds(ptr.o, value);
}

void cfg_commit(const char* package) {
    if (!ctx) return;
    char text[64];
    copy_text(text, package);
    uci_ptr ptr;
    if (!lookup(ptr, text) || !ptr.p) return;
    uci_commit(ctx.get(), &ptr.p, false);
}

bool find_wan_zone(char (&zone)[64]) {
    zone[0] = '\0';
    if (!ctx) return false;
    char text[] = "firewall";
    uci_ptr ptr;
    if (!lookup(ptr, text) || !ptr.p) return false;
    uci_element* e;
    uci_foreach_element(&ptr.p->sections, e) {
        uci_section* s = uci_to_section(e);
        if (std::strcmp(s->type, "zone") != 0) continue;
        uci_option* name = uci_lookup_option(ctx.get(), s, "name");
        if (!name || !option_holds(name, "wan")) continue;
        // A name that would not fit is not cut into the name of another section.
        if (std::strlen(e->name) > sizeof zone - 1) return false;
        copy_text(zone, e->name);
        return true;
    }
    return false;
}

} // namespace korvel
