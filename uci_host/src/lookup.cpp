// Look-ups: "pkg[.section[.option]][=value]" with "@type[index]" sections.
#include "context.h"
#include "file.h"
#include "tree.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace uci_host;

namespace {

// Resolves "@type[idx]" ("@[idx]" counts every section). Fails with INVAL
// on bad syntax; a missing section is no error (nullptr).
uci_section* resolve_extended(uci_package* p, const char* text) {
    if (text[0] != '@') fail(UCI_ERR_INVAL);
    const char* open = std::strchr(text, '[');
    std::size_t len = std::strlen(text);
    if (!open || len < 3 || text[len - 1] != ']') fail(UCI_ERR_INVAL);
    std::string_view type(text + 1, static_cast<std::size_t>(open - text - 1));
    char* end = nullptr;
    errno = 0;
    long idx = std::strtol(open + 1, &end, 10);
    if (end != text + len - 1 || errno != 0) fail(UCI_ERR_INVAL);

    auto matches = [&](uci_section* s) { return type.empty() || type == s->type; };
    long count = 0;
    uci_element* e;
    uci_foreach_element(&p->sections, e) if (matches(uci_to_section(e))) count++;
    if (idx < 0) idx += count;
    if (idx < 0 || idx >= count) return nullptr;
    uci_foreach_element(&p->sections, e) {
        uci_section* s = uci_to_section(e);
        if (matches(s) && idx-- == 0) return s;
    }
    return nullptr;
}

// Splits str in place into the fields of ptr (zeroed first).
void split_ptr(uci_ptr* ptr, char* str) {
    std::memset(ptr, 0, sizeof *ptr);
    auto bad = [&] {
        std::memset(ptr, 0, sizeof *ptr);
        fail(UCI_ERR_PARSE);
    };
    if (char* eq = std::strchr(str, '=')) {
        *eq = '\0';
        ptr->value = eq + 1;
    }
    char* parts[4] = {str, nullptr, nullptr, nullptr};
    int n = 1;
    for (char* c = str; *c; c++) {
        if (*c == '.') {
            if (n == 4) bad();
            *c = '\0';
            parts[n++] = c + 1;
        }
    }
    if (n == 4) bad();
    ptr->package = parts[0];
    ptr->section = parts[1];
    ptr->option = parts[2];
    ptr->target = n == 1 ? UCI_TYPE_PACKAGE : n == 2 ? UCI_TYPE_SECTION : UCI_TYPE_OPTION;
    if (!valid_package_name(ptr->package)) bad();
    if (ptr->section && !valid_name(ptr->section))
        ptr->flags = static_cast<decltype(ptr->flags)>(ptr->flags | uci_ptr::UCI_LOOKUP_EXTENDED);
    if (ptr->option && !valid_name(ptr->option)) bad();
    if (ptr->value && !valid_text(ptr->value)) bad();
}

void add_flag(uci_ptr* ptr, int flag) {
    ptr->flags = static_cast<decltype(ptr->flags)>(ptr->flags | flag);
}

} // namespace

extern "C" {

int uci_parse_ptr(uci_context* ctx, uci_ptr* ptr, char* str) {
    return guard(ctx, [&] {
        if (!ptr || !str) fail(UCI_ERR_INVAL);
        split_ptr(ptr, str);
        return UCI_OK;
    });
}

int uci_lookup_ptr(uci_context* ctx, uci_ptr* ptr, char* str, bool extended) {
    return guard(ctx, [&] {
        if (!ptr) fail(UCI_ERR_INVAL);
        if (str) split_ptr(ptr, str);
        add_flag(ptr, uci_ptr::UCI_LOOKUP_DONE);

        if (ptr->flags & uci_ptr::UCI_LOOKUP_EXTENDED && !extended) fail(UCI_ERR_INVAL);

        uci_package* p = ptr->p;
        if (!p) {
            if (!ptr->package) fail(UCI_ERR_INVAL);
            p = find_package(ctx, ptr->package);
            if (!p) p = load_package(ctx, ptr->package);
            ptr->p = p;
        }
        ptr->last = &p->e;
        if (!ptr->section) {
            add_flag(ptr, uci_ptr::UCI_LOOKUP_COMPLETE);
            return UCI_OK;
        }

        uci_section* s;
        if (ptr->flags & uci_ptr::UCI_LOOKUP_EXTENDED) {
            try {
                s = resolve_extended(p, ptr->section);
            } catch (const uci_failure&) {
                std::memset(ptr, 0, sizeof *ptr);
                throw;
            }
            if (s) ptr->section = s->e.name;
        } else {
            s = find_section(p, ptr->section);
        }
        ptr->s = s;
        if (!s) return UCI_OK;
        ptr->last = &s->e;
        if (ptr->option) {
            uci_option* o = find_option(s, ptr->option);
            ptr->o = o;
            if (!o) return UCI_OK;
            ptr->last = &o->e;
        }
        add_flag(ptr, uci_ptr::UCI_LOOKUP_COMPLETE);
        return UCI_OK;
    });
}

int uci_lookup_next(uci_context* ctx, uci_element** e, uci_list* list, const char* name) {
    return guard(ctx, [&] {
        if (!e || !list || !name) fail(UCI_ERR_INVAL);
        uci_element* found = find_element(list, name);
        if (!found) fail(UCI_ERR_NOTFOUND);
        *e = found;
        return UCI_OK;
    });
}

} // extern "C"
