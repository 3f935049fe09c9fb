// Changes through the API: each one edits the tree and, when the package
// tracks changes, adds a pending change that uci_save writes out.
//
// Names and types are checked here as the file reader checks them, so a
// hand-filled uci_ptr cannot store something that the next load rejects.
#include "change.h"

#include "context.h"
#include "file.h"
#include "parse.h"
#include "tree.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace uci_host;

namespace {

void need_section_and_value(const uci_ptr* ptr) {
    if (!ptr || !ptr->p || !ptr->s || !ptr->value || !ptr->option) fail(UCI_ERR_INVAL);
    if (!valid_name(ptr->option) || !valid_text(ptr->value)) fail(UCI_ERR_INVAL);
}

void delete_target(uci_ptr* ptr) {
    uci_package* p = ptr->p;
    if (ptr->o) {
        uci_option* o = ptr->o;
        record(p, UCI_CMD_REMOVE, o->section->e.name, o->e.name, nullptr);
        option_free(o);
        ptr->o = nullptr;
    } else if (ptr->s) {
        uci_section* s = ptr->s;
        record(p, UCI_CMD_REMOVE, s->e.name, nullptr, nullptr);
        section_free(s);
        ptr->s = nullptr;
    }
}

// Whether a change to `sec` (and `opt`, empty for the section itself) falls
// under a revert of `section` (empty: the whole package) and `option`
// (empty: the whole section).
bool reverted(std::string_view section, std::string_view option, std::string_view sec,
              std::string_view opt) {
    if (section.empty()) return true;
    if (sec != section) return false;
    return option.empty() || option == opt;
}

} // namespace

namespace uci_host {

std::string revert_kept_lines(std::string_view text, std::string_view package,
                              std::string_view section, std::string_view option) {
    std::string kept;
    std::size_t pos = 0, line_start = 0;
    std::string word;
    bool bad = false;
    while (read_word(text, pos, word, bad)) {
        while (pos < text.size() && text[pos] != '\n')
            pos++;
        std::string_view line(text.data() + line_start, pos - line_start);
        line_start = pos;
        std::string_view w(word);
        if (!w.empty() && std::strchr("+-@^|~", w[0])) w.remove_prefix(1);
        w = w.substr(0, w.find('='));
        std::string_view sec, opt;
        bool ours = w.substr(0, w.find('.')) == package;
        if (ours) {
            std::string_view rest = w.substr(w.find('.') + 1);
            sec = rest.substr(0, rest.find('.'));
            if (rest.find('.') != std::string_view::npos) opt = rest.substr(rest.find('.') + 1);
        }
        if (ours && reverted(section, option, sec, opt)) continue;
        while (!line.empty() && line.front() == '\n')
            line.remove_prefix(1);
        kept += line;
        kept += '\n';
    }
    return kept;
}

} // namespace uci_host

extern "C" {

int uci_set(uci_context* ctx, uci_ptr* ptr) {
    return guard(ctx, [&] {
        if (!ptr || !ptr->p || !ptr->value) fail(UCI_ERR_INVAL);
        if (!ptr->s && (ptr->option || !ptr->section)) fail(UCI_ERR_INVAL);
        uci_package* p = ptr->p;
        const char* value = ptr->value;

        if (!*value) {
            // An empty value deletes what exists, and is a no-op otherwise.
            if (ptr->option ? ptr->o != nullptr : ptr->s != nullptr) delete_target(ptr);
            return UCI_OK;
        }
        if (!valid_text(value)) fail(UCI_ERR_INVAL);

        if (ptr->option) {
            if (!valid_name(ptr->option)) fail(UCI_ERR_INVAL);
            uci_section* s = ptr->s;
            if (option_set(s, ptr->option, value))
                record(p, UCI_CMD_CHANGE, s->e.name, ptr->option, value);
            ptr->o = find_option(s, ptr->option);
            return UCI_OK;
        }

        if (!valid_type(value)) fail(UCI_ERR_INVAL);
        if (ptr->s) {
            if (std::strcmp(ptr->s->type, value) != 0) {
                section_set_type(ptr->s, value);
                record(p, UCI_CMD_CHANGE, ptr->s->e.name, nullptr, value);
            }
            return UCI_OK;
        }
        if (!valid_name(ptr->section)) fail(UCI_ERR_INVAL);
        ptr->s = section_add(p, value, ptr->section);
        record(p, UCI_CMD_CHANGE, ptr->s->e.name, nullptr, value);
        return UCI_OK;
    });
}

int uci_add_list(uci_context* ctx, uci_ptr* ptr) {
    return guard(ctx, [&] {
        need_section_and_value(ptr);
        option_add_item(ptr->s, ptr->option, ptr->value);
        record(ptr->p, UCI_CMD_LIST_ADD, ptr->s->e.name, ptr->option, ptr->value);
        ptr->o = find_option(ptr->s, ptr->option);
        return UCI_OK;
    });
}

int uci_del_list(uci_context* ctx, uci_ptr* ptr) {
    return guard(ctx, [&] {
        need_section_and_value(ptr);
        uci_option* o = find_option(ptr->s, ptr->option);
        ptr->o = o;
        if (!o || o->type != UCI_TYPE_LIST) return UCI_OK;
        record(ptr->p, UCI_CMD_LIST_DEL, ptr->s->e.name, ptr->option, ptr->value);
        if (option_del_items(o, ptr->value)) ptr->o = nullptr;
        return UCI_OK;
    });
}

// On a list option, a value names the 0-based index of the one item to drop.
int uci_delete(uci_context* ctx, uci_ptr* ptr) {
    return guard(ctx, [&] {
        if (!ptr || !ptr->p) fail(UCI_ERR_INVAL);
        if (!(ptr->flags & uci_ptr::UCI_LOOKUP_COMPLETE)) fail(UCI_ERR_NOTFOUND);
        if (!ptr->s) fail(UCI_ERR_INVAL); // a whole package cannot be deleted
        uci_option* o = ptr->o;
        if (o && o->type == UCI_TYPE_LIST && ptr->value && *ptr->value) {
            long idx;
            if (!parse_index(ptr->value, idx)) fail(UCI_ERR_INVAL);
            std::string name = o->e.name;
            bool dropped;
            if (!option_del_index(o, idx, dropped)) fail(UCI_ERR_NOTFOUND);
            if (dropped) ptr->o = nullptr;
            record(ptr->p, UCI_CMD_REMOVE, ptr->s->e.name, name.c_str(), ptr->value);
            return UCI_OK;
        }
        delete_target(ptr);
        return UCI_OK;
    });
}

int uci_add_section(uci_context* ctx, uci_package* p, const char* type, uci_section** res) {
    return guard(ctx, [&] {
        if (!p || !type || !valid_type(type)) fail(UCI_ERR_INVAL);
        uci_section* s = section_add(p, type, "");
        record(p, UCI_CMD_ADD, s->e.name, nullptr, type);
        if (res) *res = s;
        return UCI_OK;
    });
}

int uci_rename(uci_context* ctx, uci_ptr* ptr) {
    return guard(ctx, [&] {
        if (!ptr || !ptr->p || !ptr->s || !ptr->value || !valid_name(ptr->value))
            fail(UCI_ERR_INVAL);
        uci_section* s = ptr->s;
        if (ptr->o) {
            if (find_option(s, ptr->value)) fail(UCI_ERR_DUPLICATE);
            record(ptr->p, UCI_CMD_RENAME, s->e.name, ptr->o->e.name, ptr->value);
            option_rename(ptr->o, ptr->value);
            return UCI_OK;
        }
        if (ptr->option) fail(UCI_ERR_NOTFOUND);
        if (std::strcmp(s->e.name, ptr->value) != 0 && find_section(ptr->p, ptr->value))
            fail(UCI_ERR_DUPLICATE);
        record(ptr->p, UCI_CMD_RENAME, s->e.name, nullptr, ptr->value);
        section_rename(s, ptr->value);
        return UCI_OK;
    });
}

int uci_reorder_section(uci_context* ctx, uci_section* s, int pos) {
    return guard(ctx, [&] {
        if (!s || pos < 0) fail(UCI_ERR_INVAL);
        section_move(s, pos);
        std::string value = std::to_string(pos);
        record(s->package, UCI_CMD_REORDER, s->e.name, nullptr, value.c_str());
        return UCI_OK;
    });
}

// Drops the changes to the target (pending and saved in the save directory)
// and reads the package again; ptr->p then points to the new package.
int uci_revert(uci_context* ctx, uci_ptr* ptr) {
    return guard(ctx, [&] {
        if (!ptr || !ptr->p) fail(UCI_ERR_INVAL);
        uci_package* p = ptr->p;
        std::string name = p->e.name;
        std::string section = ptr->section ? ptr->section : "";
        std::string option = ptr->option ? ptr->option : "";

        if (p->has_delta && ctx->savedir) {
            rewrite_saved(ctx, name, [&](const std::string& text) {
                return revert_kept_lines(text, name, section, option);
            });
        }
        // Pending changes of other targets stay pending.
        std::vector<uci_delta*> keep;
        uci_element *e, *tmp;
        uci_foreach_element_safe(&p->delta, tmp, e) {
            uci_delta* d = uci_to_delta(e);
            list_del(&d->e.list);
            if (reverted(section, option, d->section, d->e.name ? d->e.name : ""))
                delta_free(d);
            else
                keep.push_back(d);
        }
        uci_package* fresh;
        try {
            fresh = load_package(ctx, p->path && !p->has_delta ? p->path : name.c_str());
        } catch (...) {
            for (uci_delta* d : keep)
                list_add_tail(&p->delta, &d->e.list);
            throw;
        }
        list_del(&fresh->e.list);
        list_insert_before(&p->e.list, &fresh->e.list);
        package_free(p);
        for (uci_delta* d : keep)
            list_add_tail(&fresh->delta, &d->e.list);
        ptr->p = fresh;
        ptr->s = nullptr;
        ptr->o = nullptr;
        ptr->last = &fresh->e;
        return UCI_OK;
    });
}

// Reads one argument of a command stream: *str is the rest of the current
// line (a new line is read when it is empty), *result the word.
int uci_parse_argument(uci_context* ctx, FILE* stream, char** str, char** result) {
    return guard(ctx, [&] {
        if (!stream || !str || !result) fail(UCI_ERR_INVAL);
        *result = nullptr;
        if (!*str || !**str) {
            std::string line;
            int c;
            while ((c = std::fgetc(stream)) != EOF) {
                line += static_cast<char>(c);
                if (c == '\n') break;
            }
            char* copy = dup_text(line);
            std::free(ctx->buf);
            ctx->buf = copy;
            ctx->bufsz = static_cast<int>(line.size() + 1);
            *str = ctx->buf;
        }
        std::string_view text(*str);
        std::size_t pos = 0;
        std::string word;
        bool bad = false;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            pos++;
        if (pos < text.size() && text[pos] == '\n') {
            *str += pos + 1;
            return UCI_OK;
        }
        if (!read_word(text, pos, word, bad)) {
            if (bad) fail(UCI_ERR_PARSE);
            *str += text.size();
            return UCI_OK;
        }
        // The word is stored over the consumed text (it is never longer).
        char* out = *str;
        std::memcpy(out, word.data(), word.size());
        out[word.size()] = '\0';
        *result = out;
        *str += pos < text.size() ? pos + 1 : pos;
        return UCI_OK;
    });
}

void uci_parse_section(uci_section* s, const uci_parse_option* opts, int n_opts, uci_option** tb) {
    if (!s || !opts || !tb || n_opts <= 0) return;
    std::fill_n(tb, n_opts, nullptr);
    uci_element* e;
    uci_foreach_element(&s->options, e) {
        uci_option* o = uci_to_option(e);
        for (int i = 0; i < n_opts; i++) {
            if (tb[i] || !opts[i].name || std::strcmp(opts[i].name, o->e.name) != 0) continue;
            if (opts[i].type == o->type) tb[i] = o;
            break;
        }
    }
}

uint32_t uci_hash_options(uci_option** tb, int n_opts) {
    uint32_t h = 0xdeadc0de;
    auto add = [&](const char* t) {
        for (; *t; t++)
            h = h * 33 + static_cast<unsigned char>(*t);
    };
    for (int i = 0; i < n_opts; i++) {
        uci_option* o = tb ? tb[i] : nullptr;
        if (!o) continue;
        add(o->e.name);
        if (o->type == UCI_TYPE_STRING) {
            add(o->v.string);
        } else {
            uci_element* e;
            uci_foreach_element(&o->v.list, e) add(e->name);
        }
    }
    return h & 0x7fffffff;
}

} // extern "C"
