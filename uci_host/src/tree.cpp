// The in-memory tree: packages, sections, options, list items, and the
// name rules shared by the parser, the look-ups and the change operations.
#include "tree.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace uci_host {

// ---- names and texts ----

static bool is_alnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool valid_name(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (!is_alnum(c) && c != '_') return false;
    return true;
}

bool valid_package_name(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (!is_alnum(c) && c != '_' && c != '-') return false;
    return true;
}

bool valid_type(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (c < 33 || c > 126) return false;
    return true;
}

bool valid_text(std::string_view s) {
    for (unsigned char c : s)
        if (c < 32 && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

// The router is a 64-bit Arm machine, where char is unsigned; hashing the
// bytes unsigned gives its names on every host.
static std::uint32_t djb2(std::string_view s) {
    std::uint32_t h = 5381;
    for (unsigned char c : s)
        h = h * 33 + c;
    return h & 0x7fffffff;
}

// "cfg" + counter (%02x) + low 16 bits of the type's hash (%04x).
static std::string anonymous_name(unsigned counter, std::string_view type) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "cfg%02x%04x", counter, djb2(type) & 0xffff);
    return buf;
}

std::string quote(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '\'';
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

bool parse_index(const char* text, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0;
}

// ---- lists ----

void list_init(uci_list* l) {
    l->next = l->prev = l;
}

void list_insert_before(uci_list* pos, uci_list* item) {
    item->prev = pos->prev;
    item->next = pos;
    pos->prev->next = item;
    pos->prev = item;
}

void list_add_tail(uci_list* head, uci_list* item) {
    list_insert_before(head, item);
}

void list_del(uci_list* item) {
    item->prev->next = item->next;
    item->next->prev = item->prev;
    list_init(item);
}

char* dup_text(std::string_view s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (!p) throw std::bad_alloc();
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

template <class T> static T* alloc_zeroed() {
    void* p = std::calloc(1, sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
}

uci_element* element_new(uci_type type, std::string_view name) {
    auto* e = alloc_zeroed<uci_element>();
    list_init(&e->list);
    e->type = type;
    try {
        e->name = dup_text(name);
    } catch (...) {
        std::free(e);
        throw;
    }
    return e;
}

void element_free(uci_element* e) {
    list_del(&e->list);
    std::free(e->name);
    std::free(e);
}

uci_element* find_element(const uci_list* list, std::string_view name) {
    uci_element* e;
    uci_foreach_element(list, e) if (name == e->name) return e;
    return nullptr;
}

static uci_element* item_new(std::string_view value) {
    return element_new(UCI_TYPE_ITEM, value);
}

static void items_free(uci_list* head) {
    uci_element *e, *tmp;
    uci_foreach_element_safe(head, tmp, e) element_free(e);
}

// ---- packages ----

uci_package* package_new(uci_context* ctx, std::string_view name) {
    auto* p = alloc_zeroed<uci_package>();
    list_init(&p->e.list);
    p->e.type = UCI_TYPE_PACKAGE;
    list_init(&p->sections);
    list_init(&p->delta);
    list_init(&p->saved_delta);
    p->ctx = ctx;
    try {
        p->e.name = dup_text(name);
    } catch (...) {
        std::free(p);
        throw;
    }
    return p;
}

void package_free(uci_package* p) {
    if (!p) return;
    uci_element *e, *tmp;
    uci_foreach_element_safe(&p->sections, tmp, e) section_free(uci_to_section(e));
    delta_list_clear(&p->delta);
    delta_list_clear(&p->saved_delta);
    list_del(&p->e.list);
    std::free(p->path);
    std::free(p->e.name);
    std::free(p);
}

uci_package* find_package(uci_context* ctx, std::string_view name) {
    uci_element* e = find_element(&ctx->root, name);
    return e ? uci_to_package(e) : nullptr;
}

// ---- sections ----

uci_section* find_section(uci_package* p, std::string_view name) {
    uci_element* e = find_element(&p->sections, name);
    return e ? uci_to_section(e) : nullptr;
}

uci_section* section_add(uci_package* p, std::string_view type, std::string_view name) {
    auto* s = alloc_zeroed<uci_section>();
    list_init(&s->e.list);
    list_init(&s->options);
    s->e.type = UCI_TYPE_SECTION;
    s->package = p;
    p->n_section++;
    try {
        s->type = dup_text(type);
        if (name.empty()) {
            s->anonymous = true;
            s->e.name = dup_text(anonymous_name(static_cast<unsigned>(p->n_section), type));
        } else {
            s->e.name = dup_text(name);
        }
    } catch (...) {
        std::free(s->type);
        std::free(s);
        throw;
    }
    list_add_tail(&p->sections, &s->e.list);
    return s;
}

void section_set_type(uci_section* s, std::string_view type) {
    char* t = dup_text(type);
    std::free(s->type);
    s->type = t;
}

void section_free(uci_section* s) {
    uci_element *e, *tmp;
    uci_foreach_element_safe(&s->options, tmp, e) option_free(uci_to_option(e));
    list_del(&s->e.list);
    std::free(s->type);
    std::free(s->e.name);
    std::free(s);
}

void section_rename(uci_section* s, std::string_view name) {
    char* n = dup_text(name);
    std::free(s->e.name);
    s->e.name = n;
    s->anonymous = false;
}

void section_move(uci_section* s, long pos) {
    uci_list* head = &s->package->sections;
    list_del(&s->e.list);
    uci_list* at = head->next;
    for (long i = 0; i < pos && at != head; i++)
        at = at->next;
    list_insert_before(at, &s->e.list);
}

// ---- options ----

uci_option* find_option(uci_section* s, std::string_view name) {
    uci_element* e = find_element(&s->options, name);
    return e ? uci_to_option(e) : nullptr;
}

static uci_option* option_new(uci_section* s, std::string_view name) {
    auto* o = alloc_zeroed<uci_option>();
    list_init(&o->e.list);
    o->e.type = UCI_TYPE_OPTION;
    o->section = s;
    try {
        o->e.name = dup_text(name);
    } catch (...) {
        std::free(o);
        throw;
    }
    return o;
}

bool option_set(uci_section* s, std::string_view name, std::string_view value) {
    uci_option* o = find_option(s, name);
    if (o && o->type == UCI_TYPE_STRING && value == o->v.string) return false;
    char* v = dup_text(value);
    if (!o) {
        try {
            o = option_new(s, name);
        } catch (...) {
            std::free(v);
            throw;
        }
        list_add_tail(&s->options, &o->e.list);
    } else if (o->type == UCI_TYPE_LIST) {
        items_free(&o->v.list);
    } else {
        std::free(o->v.string);
    }
    o->type = UCI_TYPE_STRING;
    o->v.string = v;
    return true;
}

void option_add_item(uci_section* s, std::string_view name, std::string_view value) {
    uci_element* item = item_new(value);
    uci_option* o = find_option(s, name);
    if (!o) {
        try {
            o = option_new(s, name);
        } catch (...) {
            element_free(item);
            throw;
        }
        o->type = UCI_TYPE_LIST;
        list_init(&o->v.list);
        list_add_tail(&s->options, &o->e.list);
    } else if (o->type == UCI_TYPE_STRING) {
        uci_element* old;
        try {
            old = item_new(o->v.string);
        } catch (...) {
            element_free(item);
            throw;
        }
        std::free(o->v.string);
        o->type = UCI_TYPE_LIST;
        list_init(&o->v.list);
        list_add_tail(&o->v.list, &old->list);
    }
    list_add_tail(&o->v.list, &item->list);
}

// A list whose last item goes is removed with it: the file form has no way
// to hold an empty list, so memory and file would disagree otherwise.
static bool drop_if_empty(uci_option* o) {
    if (!uci_list_empty(&o->v.list)) return false;
    // No items to free: the option goes (not option_free, whose string branch
    // the compiler cannot rule out here).
    list_del(&o->e.list);
    std::free(o->e.name);
    std::free(o);
    return true;
}

bool option_del_items(uci_option* o, std::string_view value) {
    if (o->type != UCI_TYPE_LIST) return false;
    uci_element *e, *tmp;
    uci_foreach_element_safe(&o->v.list, tmp, e) {
        if (value == e->name) element_free(e);
    }
    return drop_if_empty(o);
}

bool option_del_index(uci_option* o, long index, bool& dropped) {
    dropped = false;
    if (o->type != UCI_TYPE_LIST || index < 0) return false;
    uci_element* e;
    long i = 0;
    uci_foreach_element(&o->v.list, e) {
        if (i++ == index) {
            element_free(e);
            dropped = drop_if_empty(o);
            return true;
        }
    }
    return false;
}

void option_free(uci_option* o) {
    if (o->type == UCI_TYPE_LIST)
        items_free(&o->v.list);
    else
        std::free(o->v.string);
    list_del(&o->e.list);
    std::free(o->e.name);
    std::free(o);
}

void option_rename(uci_option* o, std::string_view name) {
    char* n = dup_text(name);
    std::free(o->e.name);
    o->e.name = n;
}

// ---- pending changes ----

uci_delta* delta_new(uci_command cmd, std::string_view section, const char* option,
                     const char* value) {
    auto* d = alloc_zeroed<uci_delta>();
    list_init(&d->e.list);
    d->e.type = UCI_TYPE_DELTA;
    d->cmd = cmd;
    try {
        d->section = dup_text(section);
        if (option) d->e.name = dup_text(option);
        if (value) d->value = dup_text(value);
    } catch (...) {
        delta_free(d);
        throw;
    }
    return d;
}

void delta_free(uci_delta* d) {
    list_del(&d->e.list);
    std::free(d->section);
    std::free(d->e.name);
    std::free(d->value);
    std::free(d);
}

void delta_list_clear(uci_list* head) {
    uci_element *e, *tmp;
    uci_foreach_element_safe(head, tmp, e) delta_free(uci_to_delta(e));
}

void record(uci_package* p, uci_command cmd, std::string_view section, const char* option,
            const char* value) {
    if (!p->has_delta) return;
    uci_delta* d = delta_new(cmd, section, option, value);
    list_add_tail(&p->delta, &d->e.list);
}

} // namespace uci_host
