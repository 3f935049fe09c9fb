// Change files ("save" files): one change per line,
//   [prefix]pkg.section[.option][='value']
// with the prefixes '+' add section, '-' remove, '@' rename, '^' reorder,
// '|' add list item, '~' remove list item, and none for a plain set.
#include "delta.h"

#include "file.h"
#include "parse.h"
#include "tree.h"

#include <cstring>

namespace uci_host {

namespace {

constexpr char prefix_of[] = {'+', '-', '\0', '@', '^', '|', '~'};

struct change_line {
    uci_command cmd = UCI_CMD_CHANGE;
    std::string_view section, option;
    bool has_option = false;
    const char* value = nullptr;
};

// Splits one change word; false for lines that are never applied.
bool split_change(std::string& word, std::string_view package, change_line& ch) {
    std::size_t start = 0;
    if (!word.empty()) {
        for (int i = 0; i < __UCI_CMD_MAX; i++) {
            if (prefix_of[i] && word[0] == prefix_of[i]) {
                ch.cmd = static_cast<uci_command>(i);
                start = 1;
                break;
            }
        }
    }
    std::size_t eq = word.find('=', start);
    if (eq != std::string::npos) {
        word[eq] = '\0';
        ch.value = word.c_str() + eq + 1;
    }
    std::string_view path(word.c_str() + start,
                          (eq == std::string::npos ? word.size() : eq) - start);
    std::size_t d1 = path.find('.');
    if (d1 == std::string_view::npos || path.substr(0, d1) != package) return false;
    std::string_view rest = path.substr(d1 + 1);
    std::size_t d2 = rest.find('.');
    ch.section = rest.substr(0, d2);
    if (d2 != std::string_view::npos) {
        ch.option = rest.substr(d2 + 1);
        ch.has_option = true;
        if (!valid_name(ch.option)) return false;
    }
    if (!valid_name(ch.section)) return false;
    if (!ch.value && ch.cmd != UCI_CMD_REMOVE) return false;
    if (ch.value && !valid_text(ch.value)) return false;
    return true;
}

// Applies one change; false when it does not fit the package.
bool apply(uci_package* p, const change_line& ch) {
    uci_section* s = find_section(p, ch.section);
    uci_option* o = s && ch.has_option ? find_option(s, ch.option) : nullptr;
    switch (ch.cmd) {
    case UCI_CMD_ADD:
        if (ch.has_option || !valid_type(ch.value)) return false;
        if (s)
            section_set_type(s, ch.value);
        else
            section_add(p, ch.value, ch.section)->anonymous = true;
        return true;
    case UCI_CMD_CHANGE:
        if (ch.has_option) {
            if (!s) return false;
            if (*ch.value)
                option_set(s, ch.option, ch.value);
            else if (o)
                option_free(o);
            return true;
        }
        if (!*ch.value) {
            if (s) section_free(s);
            return true;
        }
        if (!valid_type(ch.value)) return false;
        if (s)
            section_set_type(s, ch.value);
        else
            section_add(p, ch.value, ch.section);
        return true;
    case UCI_CMD_REMOVE:
        if (ch.has_option) {
            if (!o) return false;
            long idx;
            bool dropped;
            if (ch.value && *ch.value && o->type == UCI_TYPE_LIST)
                return parse_index(ch.value, idx) && option_del_index(o, idx, dropped);
            option_free(o);
            return true;
        }
        if (!s) return false;
        section_free(s);
        return true;
    case UCI_CMD_RENAME:
        if (!valid_name(ch.value)) return false;
        if (ch.has_option) {
            if (!o) return false;
            option_rename(o, ch.value);
        } else {
            if (!s) return false;
            section_rename(s, ch.value);
        }
        return true;
    case UCI_CMD_REORDER: {
        long pos;
        if (ch.has_option || !s || !parse_index(ch.value, pos)) return false;
        section_move(s, pos);
        return true;
    }
    case UCI_CMD_LIST_ADD:
        if (!ch.has_option || !s) return false;
        option_add_item(s, ch.option, ch.value);
        return true;
    case UCI_CMD_LIST_DEL:
        if (!ch.has_option || !o) return false;
        option_del_items(o, ch.value);
        return true;
    default:
        return false;
    }
}

} // namespace

std::string delta_line(std::string_view package, const uci_delta* d) {
    std::string line;
    if (d->cmd >= 0 && d->cmd < __UCI_CMD_MAX && prefix_of[d->cmd]) line += prefix_of[d->cmd];
    line += package;
    line += '.';
    line += d->section;
    if (d->e.name) {
        line += '.';
        line += d->e.name;
    }
    if (d->value) {
        line += '=';
        line += quote(d->value);
    }
    return line;
}

int apply_delta_text(uci_context* ctx, uci_package* p, std::string_view text) {
    int applied = 0;
    std::size_t pos = 0;
    std::string word;
    bool bad = false;
    while (read_word(text, pos, word, bad)) {
        // Whatever follows the word on its line is not part of the change.
        while (pos < text.size() && text[pos] != '\n')
            pos++;
        change_line ch;
        if (!split_change(word, p->e.name, ch) || !apply(p, ch)) continue;
        applied++;
        if (ctx->flags & UCI_FLAG_SAVED_DELTA) {
            uci_delta* d =
                delta_new(ch.cmd, ch.section,
                          ch.has_option ? std::string(ch.option).c_str() : nullptr, ch.value);
            list_add_tail(&p->saved_delta, &d->e.list);
        }
    }
    return applied;
}

int apply_delta_files(uci_context* ctx, uci_package* p) {
    int applied = 0;
    std::string text;
    uci_element* e;
    uci_foreach_element(&ctx->delta_path, e) {
        if (ctx->savedir && std::strcmp(e->name, ctx->savedir) == 0) continue;
        if (read_file(path_in(e->name, p->e.name), text)) applied += apply_delta_text(ctx, p, text);
    }
    if (ctx->savedir && read_file(path_in(ctx->savedir, p->e.name), text))
        applied += apply_delta_text(ctx, p, text);
    return applied;
}

} // namespace uci_host
